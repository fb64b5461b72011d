#pragma once
// The receiving half of the progress link: listens where the engine looks for the
// Monitor window, accepts the engine's connection and answers each frame with what a
// handler returns, so the engine's sends stay synchronous.

#include <cstdint>
#include <functional>
#include <string>

#include <sys/types.h>

#include "link_wire.h"

namespace morvane {

using LinkHandler = std::function<std::int64_t(const LinkFrame&)>;

class MonitorListener {
  public:
    MonitorListener() = default;
    MonitorListener(const MonitorListener&) = delete;
    MonitorListener& operator=(const MonitorListener&) = delete;
    // Stops listening and removes the socket file, unless a listener started later in
    // the same folder has put its own there.
    ~MonitorListener();

    // Starts listening in the temporary folder; a socket file already there (stale, or
    // another window's) is replaced: engines find the window that listened last.
    [[nodiscard]] bool listen(const std::string& temp_folder);
    [[nodiscard]] int fd() const { return fd_; }
    // True while the socket file is still this listener's.
    [[nodiscard]] bool holds_name() const;

    // One engine's connection, or -1 when none came within the time (-1 ms: wait).
    [[nodiscard]] int accept_engine(int timeout_ms) const;

  private:
    int fd_ = -1;
    std::string path_;
    dev_t device_ = 0;  // the socket file's identity
    ino_t inode_ = 0;
};

// Reads one frame from an engine's connection, hands it to the handler and sends the
// handler's result back. False when the engine has gone (the caller closes the socket).
[[nodiscard]] bool serve_frame(int connection, const LinkHandler& handler);

}  // namespace morvane
