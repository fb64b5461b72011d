#include "link_receiver.h"

#include <cerrno>

#include <QPointer>
#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include "fd_io.h"

namespace morvane {

struct LinkReceiver::Connection {
    int serial = 0;
    UniqueFd fd;
    pid_t peer = -1;
    QSocketNotifier* notifier = nullptr;
    std::string received;
    bool awaiting = false;     // a frame has been handed out and not yet answered
    bool dispatching = false;  // inside dispatch(): an answer given now needs no new turn
};

namespace {

pid_t peer_of(int fd) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) return -1;
    return credentials.pid;
}

}  // namespace

LinkReceiver::LinkReceiver(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

LinkReceiver::~LinkReceiver() {
    for (auto& [serial, connection] : connections_) delete connection->notifier;
}

bool LinkReceiver::listen(const std::string& temp_folder) {
    if (!listener_.listen(temp_folder)) return false;
    accept_notifier_ = new QSocketNotifier(listener_.fd(), QSocketNotifier::Read, this);
    connect(accept_notifier_, &QSocketNotifier::activated, this, &LinkReceiver::accept_ready);
    return true;
}

void LinkReceiver::accept_ready() {
    const int fd = listener_.accept_engine(0);
    if (fd < 0) return;
    auto connection = std::make_shared<Connection>();
    connection->serial = ++next_serial_;
    connection->fd = UniqueFd(fd);
    connection->peer = peer_of(fd);
    connection->notifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    const int serial = connection->serial;
    connect(connection->notifier, &QSocketNotifier::activated, this,
            [this, serial] { read_ready(serial); });
    connections_[serial] = std::move(connection);
}

// Takes what has arrived; a peer that has gone (or sends nonsense) loses its connection
// and whatever part of a frame it left.
void LinkReceiver::read_ready(int serial) {
    const auto found = connections_.find(serial);
    if (found == connections_.end()) return;
    const std::shared_ptr<Connection> connection = found->second;
    char buffer[65536];
    const ssize_t got = ::recv(connection->fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (got <= 0) {
        close_connection(serial);
        return;
    }
    connection->received.append(buffer, static_cast<std::size_t>(got));
    dispatch(connection);
}

void LinkReceiver::dispatch(const std::shared_ptr<Connection>& connection) {
    connection->dispatching = true;
    while (!connection->awaiting) {
        LinkFrame frame;
        const FrameTake taken = take_frame(connection->received, frame);
        if (taken == FrameTake::Malformed) {
            close_connection(connection->serial);
            return;
        }
        if (taken == FrameTake::Incomplete) break;
        connection->awaiting = true;
        const std::weak_ptr<Connection> weak = connection;
        QPointer<LinkReceiver> self(this);
        handler_(frame, connection->peer, [self, weak](std::int64_t value) {
            if (self) self->answer(weak, value);
        });
        if (!self || connections_.count(connection->serial) == 0) return;
    }
    connection->dispatching = false;
    connection->notifier->setEnabled(!connection->awaiting);
}

void LinkReceiver::answer(const std::weak_ptr<Connection>& weak, std::int64_t value) {
    const std::shared_ptr<Connection> connection = weak.lock();
    if (!connection || !connection->awaiting) return;
    connection->awaiting = false;
    if (!write_answer(connection->fd.get(), value)) {
        close_connection(connection->serial);
        return;
    }
    if (!connection->dispatching) dispatch(connection);
}

void LinkReceiver::close_connection(int serial) {
    const auto found = connections_.find(serial);
    if (found == connections_.end()) return;
    found->second->notifier->setEnabled(false);
    found->second->notifier->deleteLater();
    connections_.erase(found);
}

}  // namespace morvane
