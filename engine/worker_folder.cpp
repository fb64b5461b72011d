#include "worker_folder.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging.h"
#include "path_util.h"

namespace morvane {
namespace {

constexpr std::string_view kHead = "Tarvik_morvane-";
constexpr std::string_view kTail = ".magick";
constexpr const char* kLockName = "worker.lock";
constexpr std::string_view kMagickHead = "magick-";

std::string folder_name(pid_t pid) {
    return std::string(kHead) + std::to_string(pid) + std::string(kTail);
}

bool is_worker_folder_name(std::string_view name) {
    if (!name.starts_with(kHead) || !name.ends_with(kTail)) return false;
    const std::string_view number =
        name.substr(kHead.size(), name.size() - kHead.size() - kTail.size());
    return !number.empty() &&
           std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A folder of this user's that nobody else may enter, opened without following a link;
// -1 for anything else.
int open_own_folder(int parent, const std::string& name) {
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Removes the regular files named "magick-*" from the folder, and its lock file when
// `with_lock` says so; links, folders and other names stay.
void clear_folder(int folder, bool with_lock) {
    const int listing = ::dup(folder);  // closedir closes the descriptor it was given
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (dir == nullptr) {
        if (listing >= 0) ::close(listing);
        return;
    }
    std::vector<std::string> doomed;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        struct stat info {};
        if ((name.starts_with(kMagickHead) || (with_lock && name == kLockName)) &&
            ::fstatat(folder, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(info.st_mode)) {
            doomed.emplace_back(name);
        }
    }
    ::closedir(dir);
    for (const std::string& name : doomed) (void)::unlinkat(folder, name.c_str(), 0);
}

// Removes the worker folder `name` unless a live process holds its lock.
void remove_unless_held(int parent, const std::string& name) {
    const int folder = open_own_folder(parent, name);
    if (folder < 0) return;
    const int lock = ::openat(folder, kLockName, O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    // Without a lock file its worker died before it took the folder; one taking it right
    // now finds its folder gone and makes it again.
    const bool free = lock < 0 ? errno == ENOENT : ::flock(lock, LOCK_EX | LOCK_NB) == 0;
    if (free) {
        clear_folder(folder, true);
        (void)::unlinkat(parent, name.c_str(), AT_REMOVEDIR);  // fails while anything is left
    }
    if (lock >= 0) ::close(lock);
    ::close(folder);
}

// The folder and the lock file are still the ones at their names: no sweep of another
// run removed them between their making and the lock.
bool still_in_place(int parent, const std::string& name, int folder, int lock) {
    struct stat folder_now {
    }, folder_held{}, lock_now{}, lock_held{};
    return ::fstatat(parent, name.c_str(), &folder_now, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(folder, &folder_held) == 0 && same_file(folder_now, folder_held) &&
           ::fstatat(folder, kLockName, &lock_now, AT_SYMLINK_NOFOLLOW) == 0 &&
           ::fstat(lock, &lock_held) == 0 && same_file(lock_now, lock_held);
}

// Makes and locks the folder; the lock's descriptor, or -1.
int lock_folder(int parent, const std::string& name) {
    if (::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) return -1;
    const int folder = open_own_folder(parent, name);
    if (folder < 0) return -1;
    int lock = ::openat(folder, kLockName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (lock >= 0 &&
        (::flock(lock, LOCK_EX | LOCK_NB) != 0 || !still_in_place(parent, name, folder, lock))) {
        ::close(lock);
        lock = -1;
    }
    // What a dead process of the same number left is this worker's to remove.
    if (lock >= 0) clear_folder(folder, false);
    ::close(folder);
    return lock;
}

}  // namespace

WorkerFolder::~WorkerFolder() {
    if (lock_ >= 0) ::close(lock_);
}

bool WorkerFolder::take(const std::string& temp_folder) {
    if (temp_folder.empty() || lock_ >= 0) return lock_ >= 0;
    const int parent = ::open(temp_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return false;
    const std::string name = folder_name(::getpid());
    // A sweep of another run may take a folder away just as it is made: made again.
    for (int attempt = 0; attempt < 3 && lock_ < 0; ++attempt) lock_ = lock_folder(parent, name);
    ::close(parent);
    if (lock_ < 0) return false;
    path_ = join_path(temp_folder, name);
    set_imaging_temporary_folder(path_);
    return true;
}

void remove_worker_folder(const std::string& temp_folder, pid_t pid) {
    if (temp_folder.empty() || pid <= 0) return;
    const int parent = ::open(temp_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return;
    remove_unless_held(parent, folder_name(pid));
    ::close(parent);
}

void sweep_worker_folders(const std::string& temp_folder) {
    if (temp_folder.empty()) return;
    DIR* dir = ::opendir(temp_folder.c_str());
    if (dir == nullptr) return;
    std::vector<std::string> folders;
    while (const dirent* entry = ::readdir(dir)) {
        if (is_worker_folder_name(entry->d_name)) folders.emplace_back(entry->d_name);
    }
    for (const std::string& name : folders) remove_unless_held(::dirfd(dir), name);
    ::closedir(dir);
}

}  // namespace morvane
