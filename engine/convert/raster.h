#pragma once
// The raster path: every source that ImageMagick reads itself becomes one JPEG file, or
// one per image for a page series or a GIF or ICO source of several images.

#include <string>

#include "arg_vector.h"
#include "convert_source.h"
#include "outcome.h"

namespace morvane {

struct JobSettings;

// The convert-style vector: "Tarvik", the source, "-quality" N, ["-interlace" "Line"],
// ["-sample" size, with "!" unless the aspect ratio is kept], [text watermark], output.
[[nodiscard]] ArgVector raster_arguments(const JobSettings& job, const std::string& source,
                                         const std::string& output);

// Which codecs a raster conversion may use: the plain format change of a JPEG or PNG
// source goes through the codecs themselves unless ImageMagick is asked for (which
// writes the same bytes; the tests compare the two).
enum class RasterCodecs { PlainWhenPossible, ImageMagickOnly };

[[nodiscard]] Outcome convert_raster(RunContext& ctx, const std::string& source,
                                     const OutputName& output,
                                     RasterCodecs codecs = RasterCodecs::PlainWhenPossible);

// One picture file of the engine's own (a video frame) made into one JPEG output through
// the same option walk, closing pass and writing, with the vector of picture_arguments.
// No progress is reported and no status text shown; the caller does both. Skipped when
// the image watermark cannot be read, Unreadable with the library's reason when no image
// was read, Refused when an option value of the vector is refused.

// The vector of one picture: "Tarvik", the input, "-quality" N, ["-interlace" "Line"],
// ["-sample" size, with "!" unless the aspect ratio is kept], output. No text watermark.
[[nodiscard]] ArgVector picture_arguments(const JobSettings& job, const std::string& input,
                                          const std::string& output);

// `output` is taken literally. With `image_watermark` the job's image watermark (mode 2)
// goes on the output.
[[nodiscard]] Outcome convert_picture(RunContext& ctx, const std::string& input,
                                      const std::string& output, bool image_watermark);

}  // namespace morvane
