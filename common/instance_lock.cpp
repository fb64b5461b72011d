#include "instance_lock.h"

#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace morvane {

InstanceLock::~InstanceLock() {
    // Closing the only descriptor of the open file description drops the flock.
    if (fd_ >= 0) ::close(fd_);
}

bool InstanceLock::acquire(const std::string& temp_folder) {
    if (fd_ >= 0) return true;
    const std::string path = temp_folder + "/Tarvik_morvane.lock";
    const int fd = ::open(path.c_str(), O_CREAT | O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

}  // namespace morvane
