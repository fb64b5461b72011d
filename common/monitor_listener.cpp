#include "monitor_listener.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvane {

MonitorListener::~MonitorListener() {
    if (fd_ < 0) return;
    if (holds_name()) ::unlink(path_.c_str());
    ::close(fd_);
}

bool MonitorListener::listen(const std::string& temp_folder) {
    path_ = link_socket_path(temp_folder);
    fd_ = link_listen(path_);
    struct stat st;
    if (fd_ >= 0 && ::lstat(path_.c_str(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    return fd_ >= 0;
}

bool MonitorListener::holds_name() const {
    struct stat st;
    return fd_ >= 0 && ::lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_dev == device_ && st.st_ino == inode_;
}

int MonitorListener::accept_engine(int timeout_ms) const {
    pollfd ready{fd_, POLLIN, 0};
    int polled = 0;
    do {
        polled = ::poll(&ready, 1, timeout_ms);
    } while (polled < 0 && errno == EINTR);
    if (polled <= 0) return -1;
    return ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

bool serve_frame(int connection, const LinkHandler& handler) {
    LinkFrame frame;
    if (!read_frame(connection, frame)) return false;
    return write_answer(connection, handler(frame));
}

}  // namespace morvane
