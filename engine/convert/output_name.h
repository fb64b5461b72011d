#pragma once
// An output file name that may hold the engine's own number placeholder ("%05d" for a
// page series, "%d" for the images of a GIF or ICO source). Every other '%' in the name
// is part of the file name and is never expanded.

#include <cstddef>
#include <string>

namespace morvane {

struct OutputName {
    std::string path;                             // with the placeholder text in place
    std::size_t placeholder = std::string::npos;  // offset of the placeholder in `path`
    int width = 0;                                // 5 for "%05d", 0 for "%d"

    [[nodiscard]] static OutputName plain(std::string path);
    // `prefix` + "%05d" (width 5) or "%d" (width 0) + `suffix`.
    [[nodiscard]] static OutputName numbered(const std::string& prefix, int width,
                                             const std::string& suffix);

    [[nodiscard]] bool has_placeholder() const { return placeholder != std::string::npos; }
    // The name with the placeholder replaced by the number (the path itself when plain).
    [[nodiscard]] std::string for_number(unsigned number) const;
    // The same name with its placeholder part replaced, for a series derived from it:
    // drive, folder and base name of this plain name followed by "_%d.jpg".
    [[nodiscard]] OutputName image_series() const;
};

// The output names of every route, formed here alone: the converters write under them,
// and the sweep after a killed worker looks for its work files by them. Repeated '/'
// are collapsed.

// A source's own output in `folder`: "<folder>/<name>.jpg", or for a series of pages
// "<folder>/<name>%05d.jpg".
[[nodiscard]] OutputName source_output(const std::string& folder, const std::string& source,
                                       bool page_series);

// A document's pages: "<folder><base>.jpg" for a document of one page, else
// "<folder><base>_%05d.jpg" numbered from 1. Here and below `folder` ends in '/', or is
// empty for the names within their folder.
[[nodiscard]] OutputName document_page_outputs(const std::string& folder, const std::string& base,
                                               std::size_t pages);

// A video's frames: "<folder><base>_%d.jpg" numbered from 0.
[[nodiscard]] OutputName video_frame_outputs(const std::string& folder, const std::string& base);

}  // namespace morvane
