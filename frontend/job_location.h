#pragma once
// Which job file the settings window owns: the one beside the program, or, when the
// user cannot write the program folder, one in the user's config folder made from it.

#include <string>

namespace morvane {

// Tarvik_morvane.ini in the program folder, tidied.
[[nodiscard]] std::string job_file_beside(const std::string& program_folder);

// `program_folder` ends in '/'. `config_home` is $XDG_CONFIG_HOME or empty.
[[nodiscard]] std::string choose_job_file(const std::string& program_folder,
                                          const std::string& config_home, const std::string& home);

// The same, from /proc/self/exe and the environment; the config copy is made here when
// it is missing and the program folder holds a default.
[[nodiscard]] std::string job_file_of_this_user();

// Copies the program folder's job file to `user_file` when that does not exist yet,
// creating its folders; false when a copy was needed and failed.
[[nodiscard]] bool make_user_job_file(const std::string& default_file,
                                      const std::string& user_file);

}  // namespace morvane
