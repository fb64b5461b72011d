#pragma once
// The folder that holds the running program (from /proc/self/exe), ending in '/'.

#include <string>

namespace morvane {

[[nodiscard]] std::string program_folder();

}  // namespace morvane
