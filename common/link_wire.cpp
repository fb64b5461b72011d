#include "link_wire.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "link_ids.h"
#include "path_util.h"

namespace morvane {
namespace {

// Frames larger than this are refused: no text of the link comes near it.
constexpr std::uint32_t kMaxText = 16 * 1024 * 1024;
constexpr std::size_t kHeaderSize = 4 + 8 + 8 + 4;

// A socket address for the path. A path too long for sun_path is reached through the
// folder's descriptor (/proc/self/fd/N/name); `folder_fd` then holds it open.
bool make_address(const std::string& path, sockaddr_un& address, int& folder_fd) {
    folder_fd = -1;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::string name = path;
    if (name.size() >= sizeof address.sun_path) {
        const PathParts parts = split_path(path);
        folder_fd = ::open(parts.folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folder_fd < 0) return false;
        name = "/proc/self/fd/" + std::to_string(folder_fd) + "/" + parts.name + parts.ext;
        if (name.size() >= sizeof address.sun_path) return false;
    }
    std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
    return true;
}

// Runs connect or bind on a fresh socket with the path's address.
template <typename Call>
int socket_at(const std::string& path, Call call) {
    sockaddr_un address;
    int folder_fd = -1;
    int fd = -1;
    if (make_address(path, address, folder_fd)) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && call(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (folder_fd >= 0) ::close(folder_fd);
    return fd;
}

void put(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint64_t get(const unsigned char* in, int bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
    return value;
}

// Fills the frame's numbers from its header and gives the length of its text.
std::uint32_t decode_header(const unsigned char* header, LinkFrame& frame) {
    frame.message = static_cast<std::uint32_t>(get(header, 4));
    frame.wparam = static_cast<std::int64_t>(get(header + 4, 8));
    frame.lparam = static_cast<std::int64_t>(get(header + 12, 8));
    return static_cast<std::uint32_t>(get(header + 20, 4));
}

bool send_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads exactly `size` bytes; a negative timeout waits as long as it takes.
bool receive_all(int fd, void* buffer, std::size_t size, int timeout_ms) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, timeout_ms);
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) return false;
        const ssize_t got = ::recv(fd, out, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

std::string link_socket_path(const std::string& temp_folder) {
    std::string path = temp_folder + "/" + kMonitorTitle;
    tidy_path(path);
    return path;
}

int link_connect(const std::string& socket_path) {
    return socket_at(socket_path, [](int fd, const sockaddr* address, socklen_t size) {
        return ::connect(fd, address, size);
    });
}

int link_listen(const std::string& socket_path) {
    struct stat st;
    if (::lstat(socket_path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode)) return -1;
        ::unlink(socket_path.c_str());
    }
    return socket_at(socket_path, [](int fd, const sockaddr* address, socklen_t size) {
        if (::bind(fd, address, size) != 0) return -1;
        return ::listen(fd, 4);
    });
}

std::string encode_frame(const LinkFrame& frame) {
    std::string bytes;
    bytes.reserve(kHeaderSize + frame.text.size());
    put(bytes, frame.message, 4);
    put(bytes, static_cast<std::uint64_t>(frame.wparam), 8);
    put(bytes, static_cast<std::uint64_t>(frame.lparam), 8);
    put(bytes, frame.text.size(), 4);
    bytes += frame.text;
    return bytes;
}

bool write_frame(int fd, const LinkFrame& frame) {
    if (frame.text.size() > kMaxText) return false;
    const std::string bytes = encode_frame(frame);
    return send_all(fd, bytes.data(), bytes.size());
}

bool read_frame(int fd, LinkFrame& frame) {
    unsigned char header[kHeaderSize];
    if (!receive_all(fd, header, sizeof header, -1)) return false;
    const std::uint32_t length = decode_header(header, frame);
    if (length > kMaxText) return false;
    frame.text.assign(length, '\0');
    return length == 0 || receive_all(fd, frame.text.data(), length, kLinkAnswerTimeoutMs);
}

bool write_answer(int fd, std::int64_t answer) {
    std::string bytes;
    put(bytes, static_cast<std::uint64_t>(answer), 8);
    return send_all(fd, bytes.data(), bytes.size());
}

bool read_answer(int fd, std::int64_t& answer, int timeout_ms) {
    unsigned char bytes[8];
    if (!receive_all(fd, bytes, sizeof bytes, timeout_ms)) return false;
    answer = static_cast<std::int64_t>(get(bytes, 8));
    return true;
}

}  // namespace morvane

namespace morvane {

FrameTake decode_frame(std::string_view bytes, LinkFrame& frame, std::size_t& used) {
    if (bytes.size() < kHeaderSize) return FrameTake::Incomplete;
    LinkFrame decoded;
    const std::uint32_t length =
        decode_header(reinterpret_cast<const unsigned char*>(bytes.data()), decoded);
    if (length > kMaxText) return FrameTake::Malformed;
    if (bytes.size() < kHeaderSize + length) return FrameTake::Incomplete;
    decoded.text = bytes.substr(kHeaderSize, length);
    frame = std::move(decoded);
    used = kHeaderSize + length;
    return FrameTake::Taken;
}

FrameTake take_frame(std::string& buffer, LinkFrame& frame) {
    std::size_t used = 0;
    const FrameTake taken = decode_frame(buffer, frame, used);
    if (taken == FrameTake::Taken) buffer.erase(0, used);
    return taken;
}

}  // namespace morvane
