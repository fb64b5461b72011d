#pragma once
// File descriptors: an owner that closes on every way out, and whole-buffer reads and
// writes carried on after EINTR and short transfers.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace morvane {

// Owns one descriptor (-1: none) and closes it when it goes.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            (void)close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { (void)close(); }

    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] explicit operator bool() const { return fd_ >= 0; }
    // Closes now; false when the close reports an error (a write that did not land).
    bool close();

  private:
    int fd_ = -1;
};

// Writes all `size` bytes; false when the descriptor refuses one (errno says why).
[[nodiscard]] bool write_all(int fd, const void* data, std::size_t size);
// Reads what is left of the file (until end of file or an error).
[[nodiscard]] std::string read_rest(int fd);
// Puts `bytes` at `path` whole or not at all: a private temporary file beside it, given
// `mode`, written, synced and renamed over it. False with `error` saying why.
[[nodiscard]] bool replace_whole(const std::string& path, std::string_view bytes, unsigned mode,
                                 std::string& error);
// Reads exactly `size` bytes; false at end of file or on an error before that.
[[nodiscard]] bool read_exactly(int fd, void* data, std::size_t size);

}  // namespace morvane
