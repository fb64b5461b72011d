#pragma once
// The engine's exit statuses and what each means, in the words the settings window
// uses when a run ends early.

#include <array>

namespace morvane {

inline constexpr int kExitNormal = 0;
inline constexpr int kExitNoLog = 1;
inline constexpr int kExitNoLock = 2;     // the single-instance lock cannot be taken
inline constexpr int kExitNoImaging = 3;  // ImageMagick cannot be started
inline constexpr int kExitNoSource = 100;
inline constexpr int kExitNoTarget = 101;

struct ExitMeaning {
    int status;
    const char* text;
};

inline constexpr std::array kExitMeanings{
    ExitMeaning{kExitNoLog, "the log file cannot be created in the temporary folder"},
    ExitMeaning{kExitNoLock, "the single-instance lock cannot be taken"},
    ExitMeaning{kExitNoImaging, "ImageMagick cannot be started"},
    ExitMeaning{kExitNoSource, "the job has no source folder"},
    ExitMeaning{kExitNoTarget, "the job has no target folder"},
};

// What a status that ends a run early means; nullptr for one the engine never gives so.
[[nodiscard]] constexpr const char* exit_meaning(int status) {
    for (const ExitMeaning& meaning : kExitMeanings) {
        if (meaning.status == status) return meaning.text;
    }
    return nullptr;
}

}  // namespace morvane
