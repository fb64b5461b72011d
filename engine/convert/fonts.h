#pragma once
// The one place that knows fontconfig: the font file a family name stands for.

#include <string>

namespace morvane {

// The file fontconfig matches for `family` (for "Arial": Liberation Sans on Debian);
// empty when nothing matches or fontconfig cannot start.
[[nodiscard]] std::string font_file_for(const char* family);

}  // namespace morvane
