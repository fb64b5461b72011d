#include "path_util.h"

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>

#include <sys/stat.h>
#include <unistd.h>
#include <sys/types.h>

namespace morvane {

namespace {

// Drops every '/' that directly follows another '/' from `from` on; the characters
// before `from` are kept as they are.
void collapse_slashes_from(std::string& path, std::size_t from) {
    if (path.size() <= from) return;
    std::size_t out = from;
    for (std::size_t in = from; in < path.size(); ++in) {
        const char c = path[in];
        if (c == '/' && out > 0 && path[out - 1] == '/') continue;
        path[out++] = c;
    }
    path.resize(out);
}

// mkdir with the usual 0777 (the umask narrows it); an existing folder or any other
// failure is left for the caller's later steps to notice.
void make_one_folder(const std::string& path) {
    if (path.empty()) return;
    (void)::mkdir(path.c_str(), 0777);
}

// Creates the folder named by the text before each '/' of the path, left to right.
void create_prefix_folders(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '/' && path[i - 1] != '/') make_one_folder(path.substr(0, i));
    }
}

}  // namespace

bool is_folder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

void tidy_path(std::string& path) {
    collapse_slashes_from(path, 0);
}

bool is_network_path(std::string_view path) {
    return path.size() >= 2 && path[0] == '/' && path[1] == '/';
}

void tidy_network_path(std::string& path) {
    // The first two characters stay; a '/' right after them is dropped like every
    // later repeat, so "///x" becomes "//x".
    collapse_slashes_from(path, 2);
}

void tidy_source_path(std::string& path) {
    if (is_network_path(path)) {
        tidy_network_path(path);
    } else {
        tidy_path(path);
    }
}

PathParts split_path(std::string_view path) {
    PathParts parts;
    const std::size_t slash = path.rfind('/');
    const std::size_t name_start = slash == std::string_view::npos ? 0 : slash + 1;
    parts.folder = std::string(path.substr(0, name_start));
    const std::string_view file_name = path.substr(name_start);
    const std::size_t dot = file_name.rfind('.');
    if (dot == std::string_view::npos) {
        parts.name = std::string(file_name);
    } else {
        parts.name = std::string(file_name.substr(0, dot));
        parts.ext = std::string(file_name.substr(dot));
    }
    return parts;
}

std::string join_path(std::string_view folder, std::string_view name) {
    std::string joined;
    joined.reserve(folder.size() + name.size() + 1);
    joined.append(folder);
    joined.push_back('/');
    joined.append(name);
    tidy_path(joined);
    return joined;
}

void create_folder_path(const std::string& path) {
    create_prefix_folders(path);
    make_one_folder(path);
}

void create_file_folders(const std::string& file_path) {
    create_prefix_folders(file_path);
}

std::string absolute_path(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    char* folder = ::getcwd(nullptr, 0);
    if (folder == nullptr) return path;
    std::string absolute = join_path(folder, path);
    std::free(folder);
    return absolute;
}

std::vector<std::string> paths_named(const std::string& folder, std::string_view head,
                                     std::string_view tail) {
    std::vector<std::string> paths;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return paths;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.size() >= head.size() + tail.size() && name.starts_with(head) &&
            name.ends_with(tail)) {
            paths.push_back(join_path(folder, name));
        }
    }
    ::closedir(dir);
    return paths;
}

void remove_files_matching(const std::string& folder,
                           const std::function<bool(const std::string& name)>& matches) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> doomed;  // read first: the folder changes as they go
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && matches(name)) doomed.push_back(name);
    }
    for (const std::string& name : doomed) {
        struct stat info {};
        if (::fstatat(::dirfd(dir), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            !S_ISDIR(info.st_mode)) {
            (void)::unlinkat(::dirfd(dir), name.c_str(), 0);
        }
    }
    ::closedir(dir);
}

}  // namespace morvane
