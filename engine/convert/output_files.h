#pragma once
// The file-system rules around a conversion: outputs written whole under a temporary
// name and renamed into place, the overwrite rule, the refusal to write over a source,
// and the move of a converted source.

#include <cstddef>
#include <string>

#include "run_context.h"

namespace morvane {

enum class WriteStatus { Written, Exists, Failed };

// True when the output name exists (any kind of file); the overwrite rule keeps it.
[[nodiscard]] bool output_exists(const std::string& path);

// True when both paths name the same existing file (same device and inode).
[[nodiscard]] bool is_same_file(const std::string& a, const std::string& b);

// Writes the bytes to a temporary name in the output's folder and renames it into
// place. With `replace` false an output that exists (or appears meanwhile) is kept and
// the status is Exists. On failure nothing is left behind and `reason` says why.
[[nodiscard]] WriteStatus write_output_file(const std::string& path, const void* data,
                                            std::size_t size, bool replace, std::string& reason);

// Moves a converted source into FOLDERS/move_path: copy to a temporary name there,
// sync, rename over the destination, then delete the source. Logs the outcome.
void move_source(RunContext& ctx, const std::string& source);

}  // namespace morvane
