#pragma once
// Follows the runs the Monitor window launches: relays the engine's messages to the
// newest Processing window, shows the engine's questions, stops a run the user asks to
// stop, and closes the Processing window of an engine that ends without its end
// message, saying why it ended.

#include <cstdint>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>

#include <sys/types.h>

#include "child_process.h"
#include "desktop.h"
#include "link_receiver.h"
#include "processing_window.h"

class QLabel;
class QTimer;

namespace morvane {

inline constexpr int kLaunchDelayMs = 300;
inline constexpr int kMailboxLength = 259;  // characters copied on from a mailbox
inline constexpr const char* kStopQuestion =
    "Stop the conversion? The files being converted now are finished first.";

class RunFollower : public QObject {
    Q_OBJECT

  public:
    // `owner` owns the Processing windows and the message boxes; the mailboxes are the
    // Monitor window's hidden controls 1049 and 1050.
    RunFollower(QWidget* owner, const Desktop& desktop, QLabel* file_mailbox,
                QLabel* status_mailbox);

    // Listens on the link in the temporary folder for as long as this object lives.
    [[nodiscard]] bool listen(const std::string& temp_folder);
    // Opens a Processing window and, after the launch delay, starts `engine` with the
    // one argument "G|<job file>".
    void launch(const std::string& engine, const std::string& job_file);
    // The newest Processing window, null once it is destroyed.
    [[nodiscard]] ProcessingWindow* current() const { return current_; }

    // Handles one frame of the link as the Monitor window's dialog procedure would.
    void handle(const LinkFrame& frame, pid_t peer, const LinkReceiver::Reply& reply);

  signals:
    void processing_opened(ProcessingWindow* window);
    void engine_ended(int wait_status);

  private:
    struct Launch {
        int serial = 0;
        pid_t pid = -1;  // until the engine is started
        QPointer<ProcessingWindow> window;
        bool connected = false;  // the engine spoke on the link
        bool ended_run = false;  // its end message came
        bool asking = false;     // the stop question is up
        bool stop = false;       // the user said Yes to it
        bool stop_sent = false;  // the engine was told
    };
    void start_engine(const std::string& engine, const std::string& argument, int serial);
    void engine_gone(pid_t pid, int wait_status);
    void note_peer(pid_t peer, const LinkFrame& frame);
    [[nodiscard]] Launch* launch_of(const ProcessingWindow* window);
    [[nodiscard]] std::vector<Launch>::iterator launch_numbered(int serial);
    void ask_stop(ProcessingWindow* window);
    void stop_answered(const QPointer<ProcessingWindow>& window, int answer);
    void send_stop(Launch& launch);
    void ask(const LinkFrame& frame, const LinkReceiver::Reply& reply);
    void end_run(std::int64_t lparam);

    QWidget* owner_;
    Desktop desktop_;
    QLabel* file_mailbox_;
    QLabel* status_mailbox_;
    LinkReceiver* receiver_;
    ChildWatch* children_;
    bool listening_ = false;
    QPointer<ProcessingWindow> current_;
    std::vector<Launch> launches_;
    int next_serial_ = 0;
};

// The command-line argument of the monitored run: "G|" and the tidied job file path.
[[nodiscard]] std::string monitored_argument(const std::string& job_file);

// What the user is told about an engine that ended without its end message, given how
// it ended, whether it ever spoke on the link and whether the window was listening.
[[nodiscard]] QString early_end_text(int wait_status, bool connected, bool listening = true);

// A mailbox's text as it is copied on: at most 259 characters, never half a character.
[[nodiscard]] QString mailbox_text(const QString& text);

}  // namespace morvane
