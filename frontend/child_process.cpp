#include "child_process.h"

#include <cerrno>
#include <cstring>

#include <QTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace morvane {

pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                    std::string& error) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own session: a signal to the window's terminal or process group spares it.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    pid_t child = -1;
    const int failed =
        posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        error = std::strerror(failed);
        return -1;
    }
    return child;
}

ChildWatch::ChildWatch(QObject* parent, int interval_ms)
    : QObject(parent), timer_(new QTimer(this)) {
    timer_->setInterval(interval_ms);
    connect(timer_, &QTimer::timeout, this, &ChildWatch::collect);
}

void ChildWatch::watch(pid_t child, std::function<void(int)> ended) {
    children_[child] = std::move(ended);
    timer_->start();
}

// Each ended child leaves the list before its callback runs, so a callback that shows
// a message (and so runs events, this timer included) never sees it twice.
void ChildWatch::collect() {
    std::vector<std::pair<std::function<void(int)>, int>> ended;
    for (auto it = children_.begin(); it != children_.end();) {
        int status = 0;
        const pid_t got = ::waitpid(it->first, &status, WNOHANG);
        if (got == 0 || (got < 0 && errno == EINTR)) {
            ++it;
            continue;
        }
        ended.emplace_back(std::move(it->second), got < 0 ? -1 : status);
        it = children_.erase(it);
    }
    if (children_.empty()) timer_->stop();
    for (auto& [callback, status] : ended) callback(status);
}

QString ending_of(int wait_status) {
    if (wait_status < 0) return "ended in an unknown way";
    if (WIFSIGNALED(wait_status)) {
        const int signal = WTERMSIG(wait_status);
        return QString("killed by signal %1 (%2)")
            .arg(signal)
            .arg(QString::fromUtf8(strsignal(signal)));
    }
    return QString("exit status %1").arg(WEXITSTATUS(wait_status));
}

}  // namespace morvane
