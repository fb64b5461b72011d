#pragma once
// The engine's run: start-up, the log header, one of the three run modes, the footer,
// the clean-up and the end of a monitored run. Returns the process exit status.

#include "imaging.h"

namespace morvane {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitNoLog = 1;
inline constexpr int kExitNoLock = 2;     // the single-instance lock cannot be taken
inline constexpr int kExitNoImaging = 3;  // ImageMagick cannot be started
inline constexpr int kExitNoSource = 100;
inline constexpr int kExitNoTarget = 101;

// The whole run, with ImageMagick started by `start_imaging`.
[[nodiscard]] int run_engine(int argc, char** argv, ImagingStarter start_imaging);

}  // namespace morvane
