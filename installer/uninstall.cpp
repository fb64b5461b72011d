#include "uninstall.h"

#include <cerrno>

#include <unistd.h>

#include "copy_step.h"
#include "install_record.h"
#include "path_util.h"

namespace morvane {
namespace {

// Unlinks one path (a link itself, never what it points to) and notes how it went.
void remove_into(const std::string& path, UninstallReport& report) {
    if (::unlink(path.c_str()) == 0) {
        report.removed.push_back(path);
    } else if (errno != ENOENT) {
        report.failed.push_back(path);
    }
}

// The user's job file when it differs from the one installed; an unreadable one counts.
bool changed_job_file(const std::string& name, const std::string& path, const std::string& hash) {
    return name == kInstalledJobFile && !hash.empty() && ::access(path.c_str(), F_OK) == 0 &&
           sha256_of_file(path) != hash;
}

}  // namespace

std::optional<UninstallReport> uninstall(
    const std::string& folder,
    const std::function<bool(const std::string& path)>& ask_remove_changed) {
    const std::optional<InstallRecord> record = read_install_record(folder);
    if (!record) return std::nullopt;
    UninstallReport report;
    for (const auto& [name, hash] : record->files) {
        if (name == kInstallRecordName) continue;
        const std::string path = join_path(folder, name);
        if (changed_job_file(name, path, hash) && !ask_remove_changed(path)) {
            report.kept.push_back(path);
            continue;
        }
        remove_into(path, report);
    }
    for (const std::string& path : record->menu_files) remove_into(path, report);
    if (report.failed.empty()) remove_into(join_path(folder, kInstallRecordName), report);
    report.folder_removed = ::rmdir(folder.c_str()) == 0;
    return report;
}

}  // namespace morvane
