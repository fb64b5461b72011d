#pragma once
// The nine watermark anchors in the order the settings window lists them: the job file's
// PARAMS/watermark_location is an index into this list, and the engine hands the name on.

#include <array>

namespace morvane {

inline constexpr std::array<const char*, 9> kWatermarkLocations{"Center",     "East",       "North",
                                                                "North-East", "North-West", "South",
                                                                "South-East", "South-West", "West"};

}  // namespace morvane
