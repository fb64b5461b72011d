#pragma once
// A PNG source read through libpng as ImageMagick reads it, for the plain format change.

#include <memory>

#include "plain_codecs.h"
#include "plain_codecs_pvt.h"

namespace morvane::codec {

// The source in `file`; nothing when the source is declined.
[[nodiscard]] std::unique_ptr<Source> open_png_source(File file);

}  // namespace morvane::codec
