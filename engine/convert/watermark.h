#pragma once
// Watermarks on the raster path.

#include "arg_vector.h"

namespace morvane {

struct JobSettings;

// Appends the text-watermark option group (watermark mode 1) to a raster vector, before
// its output name. The group is not part of the engine yet: nothing is appended.
void append_text_watermark(const JobSettings& job, ArgVector& args);

}  // namespace morvane
