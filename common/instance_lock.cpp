#include "instance_lock.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

namespace {

std::string error_text(int error) {
    return error == ELOOP ? "it is a symbolic link" : std::strerror(error);
}

// The lock file opened for locking: never through a symbolic link, never blocking on a
// FIFO, and only a regular file; -1 with the reason otherwise.
int open_lock_file(const std::string& path, std::string& reason) {
    const int fd =
        ::open(path.c_str(), O_CREAT | O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        reason = error_text(errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = "it is not a regular file";
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

InstanceLock::~InstanceLock() {
    // Closing the only descriptor of the open file description drops the flock.
    if (fd_ >= 0) ::close(fd_);
}

std::string InstanceLock::path_in(const std::string& temp_folder) {
    return temp_folder + "/" + kLockFileName;
}

LockStatus InstanceLock::acquire(const std::string& temp_folder, std::string& reason) {
    if (fd_ >= 0) return LockStatus::Taken;
    const int fd = open_lock_file(path_in(temp_folder), reason);
    if (fd < 0) return LockStatus::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return LockStatus::HeldByAnother;
        reason = error_text(error);
        return LockStatus::Failed;
    }
    fd_ = fd;
    return LockStatus::Taken;
}

}  // namespace morvane
