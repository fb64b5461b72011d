#pragma once
// A JPEG source read through libjpeg as ImageMagick reads it, for the plain format change.

#include <memory>
#include <optional>

#include "plain_codecs.h"
#include "plain_codecs_pvt.h"

namespace morvane::codec {

// The source in `file`, decoded at the scale ImageMagick picks for `scale_box` when one
// is given; nothing when the source is declined.
[[nodiscard]] std::unique_ptr<Source> open_jpeg_source(File file, std::optional<Box> scale_box);

}  // namespace morvane::codec
