#pragma once
// A stand-in for the Monitor window: listens on the link in a temporary folder, records
// every frame the engine sends and answers with scripted results.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link_wire.h"
#include "monitor_listener.h"

namespace morvane::test {

class LinkPeer {
  public:
    // `answer` gives the result of each frame (it runs on the peer's thread). With
    // `close_after` >= 0 the peer hangs up after answering that many frames.
    LinkPeer(const std::string& temp_folder, LinkHandler answer, int close_after = -1);
    // Answers message boxes with `box_answer` (IDNO by default) and the rest with 0.
    explicit LinkPeer(const std::string& temp_folder, std::int64_t box_answer = 7,
                      int close_after = -1);
    LinkPeer(const LinkPeer&) = delete;
    LinkPeer& operator=(const LinkPeer&) = delete;
    ~LinkPeer();

    [[nodiscard]] bool listening() const { return listener_.fd() >= 0; }
    // Stops listening and returns every frame received, in order, over all connections.
    [[nodiscard]] std::vector<LinkFrame> frames();
    // How many connections the peer has accepted (each is served until it ends).
    [[nodiscard]] int connections() const { return connections_; }

  private:
    void serve();

    MonitorListener listener_;
    LinkHandler answer_;
    int close_after_;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::vector<LinkFrame> frames_;
    std::thread thread_;
};

// Readable form of a frame for test messages: "273 1241 5" or "12 1049 0 \"text\"".
[[nodiscard]] std::string describe(const LinkFrame& frame);

}  // namespace morvane::test
