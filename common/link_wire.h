#pragma once
// The wire of the progress link: a Unix stream socket named after the Monitor window's
// title in the temporary folder, and the frames that travel over it. Every frame is
// answered with one 64-bit result before the next may be sent.

#include <cstdint>
#include <string>
#include <string_view>

namespace morvane {

inline constexpr int kLinkAnswerTimeoutMs = 30000;

// One message: little-endian u32 message, i64 wParam, i64 lParam, u32 length, text.
struct LinkFrame {
    std::uint32_t message = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
    std::string text;
};

// "<temporary folder>/Tarvik_morvane Monitor".
[[nodiscard]] std::string link_socket_path(const std::string& temp_folder);

// A connected stream socket, or -1 when nothing listens there (no file, a file that is
// not a socket, a stale socket).
[[nodiscard]] int link_connect(const std::string& socket_path);

// A listening socket at the path; a stale socket file there is replaced, any other file
// is left alone and the result is -1.
[[nodiscard]] int link_listen(const std::string& socket_path);

// The frame's bytes as they go on the wire.
[[nodiscard]] std::string encode_frame(const LinkFrame& frame);

// Whole-frame I/O; false when the peer has gone, the bytes are malformed or the answer
// did not come within the time limit. Writes never raise SIGPIPE.
[[nodiscard]] bool write_frame(int fd, const LinkFrame& frame);
[[nodiscard]] bool read_frame(int fd, LinkFrame& frame);
[[nodiscard]] bool write_answer(int fd, std::int64_t answer);
[[nodiscard]] bool read_answer(int fd, std::int64_t& answer, int timeout_ms = kLinkAnswerTimeoutMs);

}  // namespace morvane

namespace morvane {

// What taking a frame off the front of a buffer of received bytes gave.
enum class FrameTake { Taken, Incomplete, Malformed };

// Reads one whole frame from the front of `bytes` and sets `used` to its size; Incomplete
// while bytes are still missing, Malformed when its length cannot be right.
[[nodiscard]] FrameTake decode_frame(std::string_view bytes, LinkFrame& frame, std::size_t& used);

// Takes one whole frame off the front of `buffer` (the bytes are removed); Incomplete
// while bytes are still missing, Malformed when its length cannot be right.
[[nodiscard]] FrameTake take_frame(std::string& buffer, LinkFrame& frame);

}  // namespace morvane
