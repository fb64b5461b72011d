#pragma once
// The output options of the document converters: quality, interlace, size, density and
// the text watermark, appended to a convert-style vector run through ImageMagick.

#include "arg_vector.h"

namespace morvane {

struct JobSettings;

// Appends "-quality" Q, ["-interlace" "Plane"], the resizing ("-filter" "lanczos"
// "-sample" size when the aspect ratio is kept, else "-resize" size!), "-density" QxQ and,
// with a text watermark, its group.
void build_output_options(const JobSettings& job, ArgVector& args);

}  // namespace morvane
