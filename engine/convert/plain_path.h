#pragma once
// The plain format change: a JPEG or PNG source of which the job asks only a JPEG quality
// and progressive mode is converted by the two codecs themselves, giving the bytes, the
// progress and the outcome that the ImageMagick path gives, at the codecs' own cost.
// Every other source takes the ImageMagick path.

#include <optional>
#include <string>

#include "outcome.h"

namespace morvane {

struct JobSettings;
struct RunContext;

// True when the job asks nothing of a raster source but a JPEG quality of 1 to 100 and
// its progressive mode: no size and no watermark.
[[nodiscard]] bool is_plain_job(const JobSettings& job);

// Converts `input` into the one output `output`, once "Reading..." has been shown.
// Nothing when the source is left to ImageMagick: then no output was written and the
// overwrite rule not yet applied (the progress of a source given up half-way, a damaged
// one, has been reported up to "Writing image # 1...").
[[nodiscard]] std::optional<Outcome> convert_plain(RunContext& ctx, const std::string& input,
                                                   const std::string& output);

}  // namespace morvane
