#include "link_peer.h"

#include <utility>

#include <unistd.h>

#include "link_ids.h"

namespace morvane::test {

LinkPeer::LinkPeer(const std::string& temp_folder, LinkHandler answer, int close_after)
    : answer_(std::move(answer)), close_after_(close_after) {
    if (listener_.listen(temp_folder)) thread_ = std::thread([this] { serve(); });
}

LinkPeer::LinkPeer(const std::string& temp_folder, std::int64_t box_answer, int close_after)
    : LinkPeer(
          temp_folder,
          [box_answer](const LinkFrame& frame) -> std::int64_t {
              return frame.message == WM_LINK_MESSAGE_BOX ? box_answer : 0;
          },
          close_after) {}

LinkPeer::~LinkPeer() {
    (void)frames();
}

std::vector<LinkFrame> LinkPeer::frames() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

void LinkPeer::serve() {
    // Engines connect one after another; each connection is served until it ends.
    while (!stop_) {
        const int connection = listener_.accept_engine(50);
        if (connection < 0) continue;
        ++connections_;
        bool open = true;
        while (open) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (close_after_ >= 0 && static_cast<int>(frames_.size()) >= close_after_) break;
            }
            open = serve_frame(connection, [this](const LinkFrame& frame) {
                std::lock_guard<std::mutex> lock(mutex_);
                frames_.push_back(frame);
                return answer_(frame);
            });
        }
        ::close(connection);
    }
}

std::string describe(const LinkFrame& frame) {
    std::string text = std::to_string(frame.message) + " " + std::to_string(frame.wparam) + " " +
                       std::to_string(frame.lparam);
    if (!frame.text.empty()) {
        std::string shown = frame.text;
        for (char& c : shown) {
            if (c == '\0') c = '|';
        }
        text += " \"" + shown + "\"";
    }
    return text;
}

}  // namespace morvane::test
