#include "temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "path_util.h"

namespace morvane {

namespace {

// $TMPDIR without its trailing '/'s ("/" stays "/"), when it names a directory.
std::optional<std::string> folder_from_environment() {
    const char* value = std::getenv("TMPDIR");
    if (value == nullptr || *value == '\0') return std::nullopt;
    if (!is_folder(value)) return std::nullopt;
    std::string folder(value);
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

bool ensure_private_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) == 0) {
        (void)::chmod(path.c_str(), 0700);  // whatever the umask took away
    } else if (errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode)) return false;
    if (info.st_uid != ::getuid()) return false;
    return (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}

std::optional<std::string> user_temp_folder() {
    if (auto folder = folder_from_environment()) return folder;
    std::string folder = "/tmp/tarvik_morvane-" + std::to_string(::getuid());
    if (!ensure_private_folder(folder)) return std::nullopt;
    return folder;
}

}  // namespace morvane
