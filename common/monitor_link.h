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

  private:
    explicit MonitorLink(int fd) : fd_(fd) {}
    void drop();
    [[nodiscard]] bool exchange(const LinkFrame& frame, std::int64_t& answer);
    int fd_ = -1;
    std::vector<LinkFrame>* sink_ = nullptr;
    std::function<void(bool)> waiting_;
};

}  // namespace morvane
