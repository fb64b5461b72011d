#pragma once
// The engine's run: start-up, the log header, one of the three run modes, the footer,
// the clean-up and the end of a monitored run. Returns the process exit status.

namespace morvane {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitNoLog = 1;
inline constexpr int kExitNoSource = 100;
inline constexpr int kExitNoTarget = 101;

[[nodiscard]] int run_engine(int argc, char** argv);

}  // namespace morvane
