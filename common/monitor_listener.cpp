#include "monitor_listener.h"

#include <cerrno>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace morvane {

MonitorListener::~MonitorListener() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlink(path_.c_str());
}

bool MonitorListener::listen(const std::string& temp_folder) {
    path_ = link_socket_path(temp_folder);
    fd_ = link_listen(path_);
    return fd_ >= 0;
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
