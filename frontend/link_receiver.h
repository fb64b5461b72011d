#pragma once
// The Monitor window's end of the progress link: listens while the window lives, serves
// every engine connection under a socket notifier and answers each frame, at once or
// when the handler's reply comes (a question the user answers). The UI thread never
// waits for bytes: a frame is handled once all of it has arrived.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include <QObject>

#include <sys/types.h>

#include "link_wire.h"
#include "monitor_listener.h"

class QSocketNotifier;

namespace morvane {

class LinkReceiver : public QObject {
    Q_OBJECT

  public:
    using Reply = std::function<void(std::int64_t answer)>;
    // Runs for every frame with the process id of the peer that connected; it calls
    // `reply` once, now or later. The connection's next frame waits for that answer.
    using Handler = std::function<void(const LinkFrame& frame, pid_t peer, Reply reply)>;

    LinkReceiver(Handler handler, QObject* parent = nullptr);
    ~LinkReceiver() override;

    [[nodiscard]] bool listen(const std::string& temp_folder);
    [[nodiscard]] std::size_t connections() const { return connections_.size(); }
    // False once a window that listened later in the same folder has taken the link:
    // engines started from now on talk to that window.
    [[nodiscard]] bool holds_link() const { return listener_.holds_name(); }

  private:
    struct Connection;
    void accept_ready();
    void read_ready(int serial);
    void dispatch(const std::shared_ptr<Connection>& connection);
    void answer(const std::weak_ptr<Connection>& weak, std::int64_t value);
    void close_connection(int serial);

    Handler handler_;
    MonitorListener listener_;
    QSocketNotifier* accept_notifier_ = nullptr;
    std::map<int, std::shared_ptr<Connection>> connections_;
    int next_serial_ = 0;
};

}  // namespace morvane
