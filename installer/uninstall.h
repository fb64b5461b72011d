#pragma once
// Removing an installation: exactly the files and menu entries its record lists, the
// record and, when nothing else is left, the folder.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace morvane {

struct UninstallReport {
    std::vector<std::string> removed;
    std::vector<std::string> kept;
    std::vector<std::string> failed;
    bool folder_removed = false;
};

// Removes the recorded files of `folder` (a job file whose bytes differ from the recorded
// hash only when `ask_remove_changed(path)` says yes), the recorded menu files, the record
// itself (kept when something could not be removed, for another try) and the folder when
// it is then empty. Files already gone are passed over. nullopt when the folder has no
// valid record; then nothing is touched.
[[nodiscard]] std::optional<UninstallReport> uninstall(
    const std::string& folder,
    const std::function<bool(const std::string& path)>& ask_remove_changed);

}  // namespace morvane
