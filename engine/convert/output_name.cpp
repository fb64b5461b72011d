#include "output_name.h"

#include <cstdio>

#include "path_util.h"

namespace morvane {

namespace {

// The text of the placeholder for a given width: "%d" or "%0<width>d".
std::string placeholder_text(int width) {
    return width > 0 ? "%0" + std::to_string(width) + "d" : std::string("%d");
}

}  // namespace

OutputName OutputName::plain(std::string path) {
    OutputName name;
    name.path = std::move(path);
    return name;
}

OutputName OutputName::numbered(const std::string& prefix, int width, const std::string& suffix) {
    OutputName name;
    name.width = width > 0 ? width : 0;
    name.path = prefix + placeholder_text(name.width) + suffix;
    name.placeholder = prefix.size();
    return name;
}

std::string OutputName::for_number(unsigned number) const {
    if (!has_placeholder()) return path;
    char digits[32];
    std::snprintf(digits, sizeof digits, "%0*u", width, number);
    const std::size_t length = placeholder_text(width).size();
    return path.substr(0, placeholder) + digits + path.substr(placeholder + length);
}

OutputName OutputName::image_series() const {
    const PathParts parts = split_path(path);
    return numbered(parts.drive + parts.folder + parts.name + "_", 0, ".jpg");
}

OutputName source_output(const std::string& folder, const std::string& source, bool page_series) {
    std::string stem = folder + "/" + split_path(source).name;
    tidy_path(stem);
    if (page_series) return OutputName::numbered(stem, 5, ".jpg");
    return OutputName::plain(stem + ".jpg");
}

OutputName document_page_outputs(const std::string& folder, const std::string& base,
                                 std::size_t pages) {
    std::string stem = folder + base;
    tidy_path(stem);
    if (pages == 1) return OutputName::plain(stem + ".jpg");
    return OutputName::numbered(stem + "_", 5, ".jpg");
}

OutputName video_frame_outputs(const std::string& folder, const std::string& base) {
    std::string stem = folder + base + "_";
    tidy_path(stem);
    return OutputName::numbered(stem, 0, ".jpg");
}

}  // namespace morvane
