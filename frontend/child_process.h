#pragma once
// Programs the window starts and does not wait for: started in a session of their own
// (closing the window never stops them), and watched for their end without blocking.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include <sys/types.h>

class QTimer;

namespace morvane {

// Starts `program` (a path, or a name looked up in PATH) with its arguments and the
// window's environment and folder; the child's id, or -1 with `error` saying why.
[[nodiscard]] pid_t start_program(const std::string& program, const std::vector<std::string>& args,
                                  std::string& error);

// Learns when started programs end: every `interval_ms` it collects the ones that have.
class ChildWatch : public QObject {
    Q_OBJECT

  public:
    explicit ChildWatch(QObject* parent = nullptr, int interval_ms = 100);
    // `ended` runs once with the wait status of the child.
    void watch(pid_t child, std::function<void(int wait_status)> ended);
    [[nodiscard]] bool watching() const { return !children_.empty(); }

  private:
    void collect();

    QTimer* timer_;
    std::map<pid_t, std::function<void(int)>> children_;
};

// The end of a program as a user reads it: "exit status 100", "killed by signal 9".
[[nodiscard]] QString ending_of(int wait_status);

}  // namespace morvane
