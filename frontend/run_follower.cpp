#include "run_follower.h"

#include <algorithm>
#include <csignal>

#include <QFile>
#include <QLabel>
#include <QTimer>

#include <sys/wait.h>

#include "exit_status.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "path_util.h"

namespace morvane {
namespace {

// The engine's exit statuses for a run that stopped before its end.
QString meaning_of_exit(int status) {
    if (const char* meaning = exit_meaning(status)) return meaning;
    return QString("exit status %1").arg(status);
}

// The caption and body of a message-box frame: caption, one NUL, body.
std::pair<QString, QString> box_texts(const std::string& text) {
    const std::size_t nul = text.find('\0');
    if (nul == std::string::npos) return {kMessageCaption, QString::fromUtf8(text)};
    return {QString::fromUtf8(text.substr(0, nul)), QString::fromUtf8(text.substr(nul + 1))};
}

}  // namespace

std::string monitored_argument(const std::string& job_file) {
    std::string argument = "G|" + job_file;
    tidy_path(argument);
    return argument;
}

QString early_end_text(int wait_status, bool connected, bool listening) {
    if (!listening) {
        return "The conversion process has ended. This window could not follow it: the "
               "link in the temporary folder cannot be opened, or a settings window opened "
               "later has taken it over.\n\n"
               "Look at the log file (\"Last log\") for what was converted.";
    }
    if (wait_status >= 0 && WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0 && !connected) {
        return "The conversion process did not start: another conversion is running "
               "(\"Mono-instance\" is set).";
    }
    const QString why = wait_status >= 0 && WIFEXITED(wait_status)
                            ? meaning_of_exit(WEXITSTATUS(wait_status))
                            : ending_of(wait_status);
    return QString(
               "The conversion process ended early: %1.\n\n"
               "Look at the log file (\"Last log\") for details.")
        .arg(why);
}

QString mailbox_text(const QString& text) {
    if (text.size() <= kMailboxLength) return text;
    int length = kMailboxLength;
    if (text.at(length - 1).isHighSurrogate()) --length;
    return text.left(length);
}

RunFollower::RunFollower(QWidget* owner, const Desktop& desktop, QLabel* file_mailbox,
                         QLabel* status_mailbox)
    : QObject(owner),
      owner_(owner),
      desktop_(desktop),
      file_mailbox_(file_mailbox),
      status_mailbox_(status_mailbox),
      receiver_(
          new LinkReceiver([this](const LinkFrame& frame, pid_t peer,
                                  const LinkReceiver::Reply& reply) { handle(frame, peer, reply); },
                           this)),
      children_(new ChildWatch(this)) {}

bool RunFollower::listen(const std::string& temp_folder) {
    listening_ = receiver_->listen(temp_folder);
    return listening_;
}

// The window comes first and the engine a moment later, so that the window is on the
// screen before the first message; the wait is a timer, the window stays responsive.
void RunFollower::launch(const std::string& engine, const std::string& job_file) {
    auto* window = new ProcessingWindow(owner_);
    current_ = window;
    const int serial = ++next_serial_;
    launches_.push_back(Launch{serial, -1, window});
    connect(window, &ProcessingWindow::stop_wanted, this, [this, window] { ask_stop(window); });
    emit processing_opened(window);
    const std::string argument = monitored_argument(job_file);
    QTimer::singleShot(kLaunchDelayMs, this, [this, engine, argument, serial] {
        start_engine(engine, argument, serial);
    });
}

// A run the user stopped before its engine started is not started at all. The window of
// an engine that cannot start goes before the message comes, not behind it.
void RunFollower::start_engine(const std::string& engine, const std::string& argument, int serial) {
    const auto launch = launch_numbered(serial);
    if (launch == launches_.end()) return;
    const QPointer<ProcessingWindow> window = launch->window;
    std::string error;
    const pid_t pid = launch->stop ? -1 : start_program(engine, {argument}, error);
    if (pid < 0) {
        const bool stopped = launch->stop;
        launches_.erase(launch);
        if (window) {
            window->hide();
            window->deleteLater();
        }
        if (stopped) return;
        desktop_.message_box(
            owner_, kMessageCaption,
            QString("Cannot start the conversion program %1: %2")
                .arg(QFile::decodeName(engine.c_str()), QString::fromStdString(error)),
            MB_ICONERROR);
        return;
    }
    launch->pid = pid;
    children_->watch(pid, [this, pid](int status) { engine_gone(pid, status); });
}

// An engine that ended with its window still up ended without its end message.
void RunFollower::engine_gone(pid_t pid, int wait_status) {
    Launch launch;
    for (auto it = launches_.begin(); it != launches_.end(); ++it) {
        if (it->pid != pid) continue;
        launch = *it;
        launches_.erase(it);
        break;
    }
    if (launch.window) {
        launch.window->hide();
        launch.window->deleteLater();
    }
    emit engine_ended(wait_status);
    if (launch.ended_run) return;
    desktop_.message_box(
        owner_, kMessageCaption,
        early_end_text(wait_status, launch.connected,
                       listening_ && (launch.connected || receiver_->holds_link())),
        MB_ICONWARNING);
}

void RunFollower::note_peer(pid_t peer, const LinkFrame& frame) {
    for (Launch& launch : launches_) {
        if (launch.pid != peer) continue;
        launch.connected = true;
        if (frame.message == WM_RUN_END && frame.lparam != 0) launch.ended_run = true;
        if (launch.stop) send_stop(launch);
    }
}

RunFollower::Launch* RunFollower::launch_of(const ProcessingWindow* window) {
    for (Launch& launch : launches_) {
        if (window != nullptr && launch.window == window) return &launch;
    }
    return nullptr;
}

std::vector<RunFollower::Launch>::iterator RunFollower::launch_numbered(int serial) {
    return std::find_if(launches_.begin(), launches_.end(),
                        [serial](const Launch& launch) { return launch.serial == serial; });
}

// Escape (or a close) on a Processing window: the question comes once at a time,
// and not again once the run is stopping.
void RunFollower::ask_stop(ProcessingWindow* window) {
    Launch* launch = launch_of(window);
    if (launch == nullptr || launch->asking || launch->stop) return;
    launch->asking = true;
    show_message_later(desktop_, window, kMessageCaption, kStopQuestion, MB_YESNO_ICONQUESTION,
                       [self = QPointer<RunFollower>(this),
                        guarded = QPointer<ProcessingWindow>(window)](int answer) {
                           if (self) self->stop_answered(guarded, answer);
                       });
}

// Yes stops the run; No, or a run that ended meanwhile, leaves everything as it was.
void RunFollower::stop_answered(const QPointer<ProcessingWindow>& window, int answer) {
    Launch* launch = launch_of(window);
    if (launch == nullptr) return;
    launch->asking = false;
    if (answer != IDYES) return;
    launch->stop = true;
    window->setWindowTitle("Stopping...");
    // An engine is told once it has spoken on the link: by then it handles the signal
    // (before, the signal would kill it). Without the link there is no telling when.
    if (launch->connected || !listening_ || !receiver_->holds_link()) send_stop(*launch);
}

// The engine, in a session of its own, alone gets the signal: it finishes the sources it
// has begun and ends its run as usual.
void RunFollower::send_stop(Launch& launch) {
    if (launch.pid <= 0 || launch.stop_sent) return;
    launch.stop_sent = true;
    (void)::kill(launch.pid, SIGTERM);
}

void RunFollower::handle(const LinkFrame& frame, pid_t peer, const LinkReceiver::Reply& reply) {
    note_peer(peer, frame);
    ProcessingWindow* window = current_;
    switch (frame.message) {
        case WM_SETTEXT:
            if (frame.wparam == IDC_RUN_FILE_TEXT)
                file_mailbox_->setText(QFile::decodeName(frame.text.c_str()));
            if (frame.wparam == IDC_RUN_STATUS_TEXT)
                status_mailbox_->setText(QFile::decodeName(frame.text.c_str()));
            break;
        case WM_COMMAND:
            if (window && frame.wparam == IDM_RUN_START) window->command(IDM_PROC_RESET, 0);
            if (window && frame.wparam == IDM_RUN_PROGRESS)
                window->command(IDM_PROC_SETPOS, frame.lparam);
            break;
        case WM_RUN_FILE:
            if (window) window->show_file(mailbox_text(file_mailbox_->text()));
            break;
        case WM_RUN_STATUS:
            if (window) window->show_status(mailbox_text(status_mailbox_->text()));
            break;
        case WM_RUN_END:
            end_run(frame.lparam);
            break;
        case WM_LINK_MESSAGE_BOX:
            ask(frame, reply);
            return;
        default:
            break;
    }
    reply(0);
}

void RunFollower::end_run(std::int64_t lparam) {
    if (!current_) return;
    current_->hide();
    if (lparam == 0) return;
    current_->deleteLater();
    current_ = nullptr;
}

// The answer goes back when the user has pressed a button; meanwhile every other
// connection is served as usual.
void RunFollower::ask(const LinkFrame& frame, const LinkReceiver::Reply& reply) {
    const auto [caption, body] = box_texts(frame.text);
    show_message_later(desktop_, owner_, caption, body, frame.wparam,
                       [reply](int answer) { reply(answer); });
}

}  // namespace morvane
