#pragma once
// The user's temporary folder: $TMPDIR when it names a directory, otherwise a private
// folder /tmp/tarvik_morvane-<uid> created with mode 0700.

#include <optional>
#include <string>

namespace morvane {

// The folder path without a trailing '/', or nothing when the private folder cannot be
// created or exists but is not a directory owned by the user without group/other access.
[[nodiscard]] std::optional<std::string> user_temp_folder();

// Creates `path` with mode 0700 when it is missing, then accepts it only when it is a
// directory (not a symbolic link) owned by the user without group/other access.
[[nodiscard]] bool ensure_private_folder(const std::string& path);

}  // namespace morvane
