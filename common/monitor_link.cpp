#include "monitor_link.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <utility>

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include "link_ids.h"
#include "link_wire.h"

namespace morvane {

int link_answer_limit_from(const char* text) {
    if (text == nullptr || *text < '0' || *text > '9') return kLinkAnswerTimeoutMs;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value <= 0 || value > INT_MAX) return kLinkAnswerTimeoutMs;
    return static_cast<int>(value);
}

int link_answer_limit_ms() {
    static const int limit = link_answer_limit_from(std::getenv("MORVANE_LINK_TIMEOUT_MS"));
    return limit;
}

MonitorLink::MonitorLink(MonitorLink&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      temp_folder_(std::move(other.temp_folder_)),
      sink_(std::exchange(other.sink_, nullptr)),
      waiting_(std::move(other.waiting_)) {}

MonitorLink& MonitorLink::operator=(MonitorLink&& other) noexcept {
    if (this != &other) {
        drop();
        fd_ = std::exchange(other.fd_, -1);
        temp_folder_ = std::move(other.temp_folder_);
        sink_ = std::exchange(other.sink_, nullptr);
        waiting_ = std::move(other.waiting_);
    }
    return *this;
}

MonitorLink::~MonitorLink() {
    drop();
}

void MonitorLink::drop() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    sink_ = nullptr;
}

// No window listening there gives a null handle: every report is skipped.
MonitorLink MonitorLink::find_window(const std::string& temp_folder) {
    const int fd = link_connect(link_socket_path(temp_folder));
    if (fd < 0) return MonitorLink();
    // A window that stops reading is as gone as one that closed.
    const int limit_ms = link_answer_limit_ms();
    timeval limit{limit_ms / 1000, (limit_ms % 1000) * 1000};
    (void)::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    return MonitorLink(fd, temp_folder);
}

void MonitorLink::reconnect() {
    if (fd_ < 0) return;
    // Workers forked earlier hold copies of the socket: only a shutdown ends the
    // connection for them too, and so for the window.
    (void)::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
    MonitorLink fresh = find_window(temp_folder_);
    fd_ = std::exchange(fresh.fd_, -1);
}

std::int64_t MonitorLink::send_message(std::uint32_t message, std::int64_t wparam,
                                       std::int64_t lparam, std::string_view text) {
    return send(LinkFrame{message, wparam, lparam, std::string(text)}, link_answer_limit_ms());
}

std::int64_t MonitorLink::send(const LinkFrame& frame, int timeout_ms) {
    if (sink_ != nullptr) {
        sink_->push_back(frame);
        return 0;
    }
    if (!connected()) return 0;
    std::int64_t answer = 0;
    if (!exchange(frame, answer, timeout_ms)) {
        drop();  // the window has gone: the rest of the run is silent
        return 0;
    }
    return answer;
}

bool MonitorLink::exchange(const LinkFrame& frame, std::int64_t& answer, int timeout_ms) {
    if (waiting_) waiting_(true);
    const bool answered = write_frame(fd_, frame) && read_answer(fd_, answer, timeout_ms);
    if (waiting_) waiting_(false);
    return answered;
}

void MonitorLink::run_start() {
    send_message(WM_COMMAND, IDM_RUN_START, 0);
}

void MonitorLink::progress(int position) {
    send_message(WM_COMMAND, IDM_RUN_PROGRESS, position);
}

void MonitorLink::announce_file(std::string_view path) {
    if (!connected()) return;
    send_message(WM_SETTEXT, IDC_RUN_FILE_TEXT, 0, path);
    send_message(WM_RUN_FILE, 0, 0);
    progress(5);
}

void MonitorLink::status(std::string_view text) {
    if (!connected()) return;
    send_message(WM_SETTEXT, IDC_RUN_STATUS_TEXT, 0, text);
    send_message(WM_RUN_STATUS, 0, 0);
}

void MonitorLink::run_end(int lparam) {
    send_message(WM_RUN_END, 0, lparam);
}

namespace {

LinkFrame box_frame(std::string_view caption, std::string_view body, std::int64_t flags) {
    std::string text(caption);
    text.push_back('\0');
    text.append(body);
    return LinkFrame{WM_LINK_MESSAGE_BOX, flags, 0, std::move(text)};
}

}  // namespace

std::int64_t MonitorLink::message_box(std::string_view caption, std::string_view body,
                                      std::int64_t flags) {
    if (!connected()) return 0;
    return send(box_frame(caption, body, flags), link_answer_limit_ms());
}

std::int64_t MonitorLink::ask_user(std::string_view caption, std::string_view body,
                                   std::int64_t flags) {
    if (!connected()) return 0;
    return send(box_frame(caption, body, flags), -1);
}

}  // namespace morvane
