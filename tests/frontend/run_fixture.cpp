#include "run_fixture.h"

#include <cstdlib>

#include <QEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

#include "monitor_layout.h"
#include "processing_window.h"
#include "run_follower.h"

namespace morvane::test {
namespace {

// Notes when a watched window is hidden.
class HideWatch : public QObject {
  public:
    HideWatch(QObject* parent, std::vector<std::string>& journal)
        : QObject(parent), journal_(journal) {}
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide) journal_.push_back("hidden");
        return false;
    }

  private:
    std::vector<std::string>& journal_;
};

}  // namespace

void RunTest::SetUp() {
    const char* old = std::getenv("TMPDIR");
    had_tmpdir_ = old != nullptr;
    if (had_tmpdir_) old_tmpdir_ = old;
    make_folder(temp);
    ::chmod(temp.c_str(), 0700);
    ::setenv("TMPDIR", temp.c_str(), 1);
}

void RunTest::TearDown() {
    window.reset();
    if (had_tmpdir_) {
        ::setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    ::unsetenv("MORVANE_STANDIN_SCRIPT");
}

MonitorWindow& RunTest::open_for_run(const std::optional<std::string>& content) {
    open_valid(content);
    desktop.on_message = [this](const ShownMessage& m) {
        journal.push_back("box:" + m.caption.toStdString() + "|" + m.text.toStdString());
    };
    RunFollower& runs = window->runs();
    QObject::connect(&runs, &RunFollower::processing_opened, [this](ProcessingWindow* w) {
        processing.push_back(w);
        journal.push_back("open");
        w->installEventFilter(new HideWatch(w, journal));
        QObject::connect(w, &ProcessingWindow::file_shown, [this](const QString& t) {
            journal.push_back("file:" + t.toStdString());
        });
        QObject::connect(w, &ProcessingWindow::status_shown, [this](const QString& t) {
            journal.push_back("status:" + t.toStdString());
        });
        QObject::connect(w, &ProcessingWindow::position_set,
                         [this](int p) { journal.push_back("pos:" + std::to_string(p)); });
        QObject::connect(w, &QObject::destroyed, [this] { journal.push_back("destroyed"); });
    });
    QObject::connect(&runs, &RunFollower::engine_ended, [this](int) {
        ++engines_ended;
        journal.push_back("ended");
    });
    return *window;
}

std::string RunTest::use_standin(const std::vector<std::string>& lines, const std::string& name) {
    make_folder(standin_folder);
    const std::string engine = standin_folder + "/Tarvik_morvane";
    if (!exists(engine)) {
        EXPECT_EQ(::symlink(STANDIN_ENGINE, engine.c_str()), 0);
    }
    std::string script;
    for (const std::string& line : lines) script += line + "\n";
    const std::string path = dir / (name + ".script");
    write_file(path, script);
    ::setenv("MORVANE_STANDIN_SCRIPT", path.c_str(), 1);
    window->use_program_folder(standin_folder + "/");
    return path + ".out";
}

bool RunTest::wait_for_engines(int engines, int timeout_ms) {
    return QTest::qWaitFor([&] { return engines_ended >= engines; }, timeout_ms);
}

bool RunTest::launch_and_wait(int engines, int timeout_ms) {
    click(IDC_LAUNCH);
    if (!wait_for_engines(engines, timeout_ms)) return false;
    QTest::qWait(20);  // the deferred deletions of the Processing windows
    return true;
}

std::vector<std::string> RunTest::entries(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const std::string& entry : journal) {
        if (entry.rfind(prefix, 0) == 0) found.push_back(entry);
    }
    return found;
}

std::vector<std::string> RunTest::message_texts() const {
    std::vector<std::string> texts;
    for (const ShownMessage& m : desktop.messages) texts.push_back(m.text.toStdString());
    return texts;
}

}  // namespace morvane::test
