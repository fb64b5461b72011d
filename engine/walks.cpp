#include "walks.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

#include "job_settings.h"
#include "monitor_link.h"
#include "path_util.h"
#include "stop_request.h"

namespace morvane {
namespace {

std::string upper_ascii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// The names in a folder, sorted, read before anything is converted: outputs and moved
// files written into the folder during the walk are not picked up again.
std::vector<std::string> folder_names(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

enum class EntryKind { File, Folder, FolderLink, Other };

EntryKind entry_kind(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return EntryKind::Other;
    if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
    if (S_ISLNK(st.st_mode)) {
        if (stat(path.c_str(), &st) != 0) return EntryKind::File;  // dangling: logged as unreadable
        if (S_ISDIR(st.st_mode)) return EntryKind::FolderLink;
    }
    // Pipes, sockets and devices are no pictures, and reading a pipe would never end.
    return S_ISREG(st.st_mode) ? EntryKind::File : EntryKind::Other;
}

std::string child_path(const std::string& folder, const std::string& name) {
    std::string path = folder + "/" + name;
    tidy_source_path(path);
    return path;
}

bool admitted(const RunContext& ctx, const std::string& name) {
    return passes_filter(split_path(name).ext, ctx.job.extension_filter);
}

bool same_folder(const struct stat& a, const std::string& path) {
    struct stat b;
    return !path.empty() && stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

// The walk never descends into the folders the run writes to.
bool is_output_folder(const RunContext& ctx, const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) return false;
    return same_folder(st, ctx.job.target) || (ctx.job.move && same_folder(st, ctx.job.move_path));
}

}  // namespace

bool passes_filter(std::string_view ext, std::string_view filter) {
    if (ext.empty()) return false;
    return upper_ascii(filter).find(upper_ascii(ext)) != std::string::npos;
}

unsigned walk_flat(RunContext& ctx, Workers& workers, const std::string& root) {
    unsigned count = 0;
    for (const std::string& name : folder_names(root)) {
        if (workers.stopped()) break;
        const std::string path = child_path(root, name);
        if (entry_kind(path) != EntryKind::File || !admitted(ctx, name)) continue;
        workers.hand_on(path, true, [&ctx] {
            if (!ctx.link.connected()) return;
            ctx.link.progress(100);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        });
        ++count;
    }
    return count;
}

unsigned walk_folder(RunContext& ctx, Workers& workers, const std::string& root) {
    unsigned count = 0;
    for (const std::string& name : folder_names(root)) {
        if (workers.stopped()) break;
        if (name.front() == '.') continue;
        const std::string path = child_path(root, name);
        const EntryKind kind = entry_kind(path);
        if (kind == EntryKind::Folder) {
            if (!is_output_folder(ctx, path)) count += walk_folder(ctx, workers, path);
        } else if (kind == EntryKind::File && admitted(ctx, name)) {
            workers.hand_on(path, true);
            ++count;
        }
    }
    return count;
}

}  // namespace morvane
