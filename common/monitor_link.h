#pragma once
// The engine's side of the progress link to the front end's Monitor window. A link
// that is not connected (no window found, or the peer has gone) sends nothing.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "link_wire.h"

namespace morvane {

// How long the engine waits for each answer of the window, in milliseconds: the
// milliseconds $MORVANE_LINK_TIMEOUT_MS gives (read once; tests shorten the wait with
// it), else kLinkAnswerTimeoutMs.
[[nodiscard]] int link_answer_limit_ms();
// The limit a value of $MORVANE_LINK_TIMEOUT_MS gives: a positive whole number of
// milliseconds; anything else (null included) gives kLinkAnswerTimeoutMs.
[[nodiscard]] int link_answer_limit_from(const char* text);

class MonitorLink {
  public:
    MonitorLink() = default;  // a null handle: every send is skipped
    MonitorLink(const MonitorLink&) = delete;
    MonitorLink& operator=(const MonitorLink&) = delete;
    MonitorLink(MonitorLink&& other) noexcept;
    MonitorLink& operator=(MonitorLink&& other) noexcept;
    ~MonitorLink();

    // Looks the Monitor window up by its title in the temporary folder.
    [[nodiscard]] static MonitorLink find_window(const std::string& temp_folder);

    [[nodiscard]] bool connected() const { return fd_ >= 0 || sink_ != nullptr; }
    // From now on a connected link keeps its messages in `sink` instead of sending them
    // (answered with 0); the engine sends them later, in source order.
    void record(std::vector<LinkFrame>* sink) {
        if (fd_ >= 0) sink_ = sink;
    }
    // Ends the link for the rest of the run (the window no longer hears anything).
    void disconnect() { drop(); }
    // Replaces a connected link's socket by a fresh connection to the window in the same
    // temporary folder (one who shared the old socket may have stopped in mid-message).
    // The old connection is shut down for every process that holds a copy of it, so the
    // window sees it end. No window there: the link is no longer connected.
    void reconnect();
    // `waiting(true)` runs before and `waiting(false)` after each exchange that waits for
    // the window (a message sent and its answer read), so that whoever keeps the time of
    // a conversion can leave those waits out; empty: nothing runs.
    void on_wait(std::function<void(bool waiting)> waiting) { waiting_ = std::move(waiting); }

    // One synchronous message; returns the receiver's answer, 0 when not connected.
    std::int64_t send_message(std::uint32_t message, std::int64_t wparam, std::int64_t lparam,
                              std::string_view text = {});

    // Engine-side helpers for the reports the converters and walks make.
    void run_start();
    void progress(int position);
    void announce_file(std::string_view path);  // file mailbox, WM_RUN_FILE, position 5
    void status(std::string_view text);         // status mailbox, WM_RUN_STATUS
    void run_end(int lparam);
    // A message box owned by the Monitor window; 0 when not connected.
    std::int64_t message_box(std::string_view caption, std::string_view body, std::int64_t flags);
    // The same, for a box that waits for the user: its answer takes as long as the user
    // does, without a time limit.
    std::int64_t ask_user(std::string_view caption, std::string_view body, std::int64_t flags);

  private:
    MonitorLink(int fd, std::string temp_folder) : fd_(fd), temp_folder_(std::move(temp_folder)) {}
    void drop();
    std::int64_t send(const LinkFrame& frame, int timeout_ms);
    [[nodiscard]] bool exchange(const LinkFrame& frame, std::int64_t& answer, int timeout_ms);
    int fd_ = -1;
    std::string temp_folder_;
    std::vector<LinkFrame>* sink_ = nullptr;
    std::function<void(bool)> waiting_;
};

}  // namespace morvane
