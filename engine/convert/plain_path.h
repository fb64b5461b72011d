#pragma once
// The plain conversion: a JPEG or PNG source of which the job asks only a JPEG quality,
// progressive mode and a sampled size is converted by the two codecs themselves, giving
// the bytes, the progress and the outcome that the ImageMagick path gives, at the codecs'
// own cost. Every other source takes the ImageMagick path.

#include <optional>
#include <string>

#include "outcome.h"
#include "plain_codecs.h"
#include "plain_jpeg_writer.h"

namespace morvane {

struct JobSettings;
struct RunContext;

// True when the job asks nothing of a raster source but a JPEG quality of 1 to 100, its
// progressive mode and a size of the form WIDTHxHEIGHT (sampled, with or without the
// aspect ratio): no watermark.
[[nodiscard]] bool is_plain_job(const JobSettings& job);

// The box a JPEG source is decoded for when the job asks a size and the source is named
// .jpg, .jpeg or .jpe: ImageMagick is told it and decodes at a reduced scale that still
// covers the size, and so does the plain path.
[[nodiscard]] std::optional<codec::Box> jpeg_decode_box(const JobSettings& job,
                                                        const std::string& source);

// Converts `input` into the one output `output`, once "Reading..." has been shown.
// Nothing when the source is left to ImageMagick: then no output was written and the
// overwrite rule not yet applied (the progress of a source given up half-way, a damaged
// one, has been reported up to "Writing image # 1...").
[[nodiscard]] std::optional<Outcome> convert_plain(RunContext& ctx, const std::string& input,
                                                   const std::string& output);

}  // namespace morvane
