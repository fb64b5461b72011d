#pragma once
// The engine's command line: the arguments joined into one text, cut into "|" fields,
// and the run form those fields select.

#include <string>
#include <string_view>
#include <vector>

#include "job_settings.h"

namespace morvane {

inline constexpr std::size_t kCommandLineBuffer = 10000;
inline constexpr std::size_t kMaxFields = 10;

// argv[1..] joined with single blanks.
[[nodiscard]] std::string join_arguments(int argc, char** argv);

// One pair of surrounding double quotes dropped, then split at every "|"; empty fields
// are dropped and at most ten fields are kept. Only the first 9,999 characters count.
[[nodiscard]] std::vector<std::string> split_command_line(std::string_view line);

// What the fields ask for.
struct Invocation {
    bool complete = true;    // false: a form without its required fields; the run ends at once
    bool monitored = false;  // the "G" form: the Monitor window is looked up
    RunMode mode = RunMode::Folders;  // Files is decided later, by the file-list file
    std::string job_file;             // the one the run reads, single-instance setting included
    std::string source;               // single-file forms
    std::string output;  // single-file forms; empty: target folder + base name + ".jpg"
};

[[nodiscard]] Invocation select_form(const std::vector<std::string>& fields,
                                     const std::string& default_job_file);

// The single-file output name when the command line names none: the target folder,
// the source's base name and ".jpg".
[[nodiscard]] std::string default_single_output(const std::string& target,
                                                const std::string& source);

}  // namespace morvane
