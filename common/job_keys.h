#pragma once
// The job file's keys described once: section, key, kind, the engine's and the front
// end's defaults and the buffer size a value is read into. The engine's reader and the
// front end's loading and saving both work from these tables.

#include <cstddef>
#include <span>
#include <string_view>

#include "path_util.h"

namespace morvane {

inline constexpr const char* kJobFileName = "Tarvik_morvane.ini";
inline constexpr const char* kFileListName = "t.log";
inline constexpr const char* kRunLogName = "Tarvik_morvane.log";

inline constexpr std::size_t kPathBuffer = kLongestJobPath + 1;
inline constexpr std::size_t kWatermarkTextBuffer = 256;
inline constexpr std::size_t kSizeBuffer = 50;
inline constexpr std::size_t kColorBuffer = 15;

enum class KeyKind { Path, Text, Integer, Switch };

// What the settings window does with a key.
enum class FrontEnd {
    Saves,      // written at every save that gets that far
    SavesWhen,  // written only when its governing switch says so; otherwise kept as it is
    Menu,       // read at start, written only by its menu item
    None,       // engine only: the window neither shows nor writes it
};

struct JobKey {
    std::string_view section;
    std::string_view key;
    KeyKind kind;
    std::string_view engine_default;  // decimal text for numbers; "" for none
    std::string_view fe_default;      // what the window shows when the key is missing
    std::size_t buffer;               // text buffer size; values are cut to buffer - 1 characters
    FrontEnd front_end;
};

// Every key of the job file except the FORMATS switches.
[[nodiscard]] std::span<const JobKey> job_keys();

// The key's row; the program stops on a name that is not in the table (a coding error).
[[nodiscard]] const JobKey& job_key(std::string_view section, std::string_view key);

// One FORMATS switch and the extensions it admits to the folder walk, in the order the
// extension filter is built; made from the source format table (source_formats.h).
struct FormatKey {
    std::string_view key;
    std::string_view extensions;  // blank-separated, each with its leading dot
    bool front_end_writes;        // false for a key without a row in the window (CSL)
};

[[nodiscard]] std::span<const FormatKey> format_keys();

// The front end's default of a number or switch key, as an integer.
[[nodiscard]] int fe_default_int(std::string_view section, std::string_view key);

// The engine's default of a number or switch key, as an integer (0 when it has none).
[[nodiscard]] int engine_default_int(std::string_view section, std::string_view key);

}  // namespace morvane
