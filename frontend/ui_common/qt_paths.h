#pragma once
// The path helpers of common/path_util for the windows' QString paths (file names in
// the locale's encoding, as the file system keeps them).

#include <QString>

namespace morvane {

// Doubled slashes collapsed.
[[nodiscard]] QString tidied_path(const QString& path);
// The folder, one slash and the name, tidied.
[[nodiscard]] QString joined_path(const QString& folder, const QString& name);

}  // namespace morvane
