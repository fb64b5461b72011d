#pragma once
// The engine's run: start-up, the log header, one of the three run modes, the footer,
// the clean-up and the end of a monitored run. Returns the process exit status.

#include "exit_status.h"
#include "imaging.h"

namespace morvane {

// The whole run, with ImageMagick started by `start_imaging`.
[[nodiscard]] int run_engine(int argc, char** argv, ImagingStarter start_imaging);

}  // namespace morvane
