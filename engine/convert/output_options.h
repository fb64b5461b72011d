#pragma once
// The JPEG output options every converter passes to ImageMagick: the quality and
// interlace of every vector, the size check that every source goes through, and the
// output options of the document converters (quality, interlace, size, density and the
// text watermark).

#include <optional>
#include <string>
#include <string_view>

#include "arg_vector.h"

namespace morvane {

struct JobSettings;

// The largest picture the engine makes: the sides and the area ImageMagick is held to.
inline constexpr unsigned long long kMostPixelsASide = 16000;
inline constexpr unsigned long long kMostPixels = 128ULL * 1024 * 1024;

// Appends "-quality" Q and, when the job asks for progressive output, "-interlace" and
// `interlace` ("Line" for the pictures and watermarks, "Plane" for documents).
void append_quality(const JobSettings& job, const char* interlace, ArgVector& args);

// Why PARAMS/size cannot be honoured (a side above kMostPixelsASide, an area above
// kMostPixels, a number beyond any picture); nothing when it can, when it is empty, or
// when it is no pair of numbers at all (the option walk refuses such a value).
[[nodiscard]] std::optional<std::string> size_problem(const JobSettings& job);

// PARAMS/size as "WIDTHxHEIGHT" and nothing else, both above 0; nothing for any other text.
struct WholeSize {
    unsigned width = 0;
    unsigned height = 0;
};
[[nodiscard]] std::optional<WholeSize> whole_size(std::string_view text);

// Appends "-quality" Q, ["-interlace" "Plane"], the resizing ("-filter" "lanczos"
// "-sample" size when the aspect ratio is kept, else "-resize" size!), "-density" QxQ and,
// with a text watermark, its group.
void build_output_options(const JobSettings& job, ArgVector& args);

}  // namespace morvane
