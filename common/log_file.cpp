#include "log_file.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace morvane {

LogFile::~LogFile() {
    close();
}

bool LogFile::open(const std::string& path) {
    close();
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    file_ = ::fdopen(fd, "wb");
    if (file_ == nullptr) {
        ::close(fd);
        return false;
    }
    return true;
}

void LogFile::write(std::string_view text) {
    if (sink_ != nullptr) {
        sink_->append(text);
        return;
    }
    if (file_ == nullptr || text.empty()) return;
    (void)std::fwrite(text.data(), 1, text.size(), file_);
}

void LogFile::printf(const char* format, ...) {
    if (file_ == nullptr && sink_ == nullptr) return;
    std::vector<char> buffer(512);
    for (;;) {
        va_list args;
        va_start(args, format);
        const int length = std::vsnprintf(buffer.data(), buffer.size(), format, args);
        va_end(args);
        if (length < 0) return;
        const auto needed = static_cast<std::size_t>(length);
        if (needed < buffer.size()) {
            write(std::string_view(buffer.data(), needed));
            return;
        }
        buffer.resize(needed + 1);
    }
}

void LogFile::flush() {
    if (file_ != nullptr) (void)std::fflush(file_);
}

void LogFile::close() {
    if (file_ != nullptr) (void)std::fclose(file_);
    file_ = nullptr;
}

}  // namespace morvane
