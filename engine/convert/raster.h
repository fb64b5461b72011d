#pragma once
// The raster path: every source that ImageMagick reads itself becomes one JPEG file, or
// one per image for a page series or a GIF or ICO source of several images.

#include <string>

#include "arg_vector.h"
#include "convert_source.h"

namespace morvane {

struct JobSettings;

// The convert-style vector: "Tarvik", the source, "-quality" N, ["-interlace" "Line"],
// ["-sample" size, with "!" unless the aspect ratio is kept], [text watermark], output.
[[nodiscard]] ArgVector raster_arguments(const JobSettings& job, const std::string& source,
                                         const std::string& output);

[[nodiscard]] ConvertOutcome convert_raster(RunContext& ctx, const std::string& source,
                                            const OutputName& output);

}  // namespace morvane
