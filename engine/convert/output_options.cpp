#include "output_options.h"

#include <cctype>
#include <string>
#include <string_view>

#include "job_settings.h"
#include "watermark.h"

namespace morvane {

namespace {

// The leading decimal number of `text`, moving past it; nullopt when there is none.
// Anything beyond the largest side is as good as infinite.
std::optional<unsigned long long> take_number(std::string_view& text) {
    std::size_t digits = 0;
    unsigned long long value = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) {
        if (value <= kMostPixels) value = value * 10 + static_cast<unsigned>(text[digits] - '0');
        ++digits;
    }
    if (digits == 0) return std::nullopt;
    text.remove_prefix(digits);
    return value;
}

}  // namespace

void append_quality(const JobSettings& job, const char* interlace, ArgVector& args) {
    args.push_back("-quality");
    args.push_back(std::to_string(job.quality));
    if (job.progressive != 0) {
        args.push_back("-interlace");
        args.push_back(interlace);
    }
}

std::optional<std::string> size_problem(const JobSettings& job) {
    std::string_view text = job.size;
    const auto width = take_number(text);
    if (!width || text.empty() || (text.front() != 'x' && text.front() != 'X')) return std::nullopt;
    text.remove_prefix(1);
    const auto height = take_number(text);
    if (!height) return std::nullopt;
    if (*width <= kMostPixelsASide && *height <= kMostPixelsASide &&
        *width * *height <= kMostPixels) {
        return std::nullopt;
    }
    return "the size " + job.size + " cannot be made: a picture may have at most " +
           std::to_string(kMostPixelsASide) + " pixels a side and " +
           std::to_string(kMostPixels / (1024 * 1024)) + " megapixels";
}

std::optional<WholeSize> whole_size(std::string_view text) {
    const auto width = take_number(text);
    if (!width || text.empty() || text.front() != 'x') return std::nullopt;
    text.remove_prefix(1);
    const auto height = take_number(text);
    if (!height || !text.empty() || *width == 0 || *height == 0) return std::nullopt;
    if (*width > kMostPixelsASide || *height > kMostPixelsASide) return std::nullopt;
    return WholeSize{static_cast<unsigned>(*width), static_cast<unsigned>(*height)};
}

void build_output_options(const JobSettings& job, ArgVector& args) {
    append_quality(job, "Plane", args);
    if (!job.size.empty()) {
        if (job.aspect_ratio != 0) {
            args.push_back("-filter");
            args.push_back("lanczos");
            args.push_back("-sample");
            args.push_back(job.size);
        } else {
            args.push_back("-resize");
            args.push_back(job.size + "!");
        }
    }
    // The density carries the JPEG quality, as the document converters always had it.
    const std::string quality = std::to_string(job.quality);
    args.push_back("-density");
    args.push_back(quality + "x" + quality);
    if (job.watermark_mode == 1 && !job.watermark_txt.empty()) append_text_watermark(job, args);
}

}  // namespace morvane
