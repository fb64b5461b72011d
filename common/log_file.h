#pragma once
// A byte-exact text log: created or truncated on open, written without any line-end
// translation (callers write their own "\r\n"), flushed on request.

#include <cstdio>
#include <string>
#include <string_view>

namespace morvane {

class LogFile {
  public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    // Creates or truncates the file (mode 0600, not through a symbolic link).
    [[nodiscard]] bool open(const std::string& path);
    [[nodiscard]] bool is_open() const { return file_ != nullptr; }

    // From now on the text goes to `sink` instead of the file (a conversion that runs
    // beside others hands its lines to the engine, which writes them in source order).
    void capture(std::string* sink) { sink_ = sink; }

    void write(std::string_view text);
    // printf-style formatting; the text is written whole, however long.
    void printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void flush();
    void close();

  private:
    std::FILE* file_ = nullptr;
    std::string* sink_ = nullptr;
};

}  // namespace morvane
