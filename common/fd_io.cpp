#include "fd_io.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

#include <unistd.h>

namespace morvane {

bool UniqueFd::close() {
    if (fd_ < 0) return true;
    const int status = ::close(fd_);
    fd_ = -1;
    return status == 0;
}

bool write_all(int fd, const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

std::string read_rest(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

bool read_exactly(int fd, void* data, std::size_t size) {
    char* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = ::read(fd, bytes, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool replace_whole(const std::string& path, std::string_view bytes, unsigned mode,
                   std::string& error) {
    std::string temporary = path + ".XXXXXX";
    UniqueFd fd(::mkstemp(temporary.data()));  // never through a link
    if (!fd) {
        error = std::strerror(errno);
        return false;
    }
    const bool done = ::fchmod(fd.get(), static_cast<mode_t>(mode)) == 0 &&
                      write_all(fd.get(), bytes.data(), bytes.size()) && ::fsync(fd.get()) == 0 &&
                      fd.close() && ::rename(temporary.c_str(), path.c_str()) == 0;
    if (done) return true;
    error = std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace morvane
