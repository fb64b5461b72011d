#pragma once
// Source discovery in FOLDERS mode: the extension test and the two walks over the source
// folder, flat or recursive, that hand every admitted file on to the workers until the
// user asks the run to stop.

#include <string>
#include <string_view>

#include "run_context.h"
#include "workers.h"

namespace morvane {

// True when the extension (dot included) occurs anywhere in the filter, letter case
// ignored; an empty extension never passes.
[[nodiscard]] bool passes_filter(std::string_view ext, std::string_view filter);

// Walks the source folder without descending; returns the number of files dispatched.
unsigned walk_flat(RunContext& ctx, Workers& workers, const std::string& root);

// Walks the folder and its sub-folders depth first; dot files and dot folders are
// skipped, symbolic links to folders are not followed, and the target and move folders
// are not walked into. Returns the number of files dispatched.
unsigned walk_folder(RunContext& ctx, Workers& workers, const std::string& root);

}  // namespace morvane
