#pragma once
// Drives the Monitor window in tests: a desktop whose message boxes and choosers give
// scripted answers and remember what was asked, and a window over a job file of a
// private folder.

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QColor>
#include <QString>

#include "desktop.h"
#include "monitor_window.h"
#include "test_support.h"

namespace morvane::test {

struct ShownMessage {
    QString caption;
    QString text;
    std::int64_t flags;
    bool owned;
};

class ScriptedDesktop {
  public:
    [[nodiscard]] Desktop desktop();

    std::vector<ShownMessage> messages;
    std::function<void(const ShownMessage&)> on_message;  // runs as each box is shown
    // With hold_questions, a box shown without waiting stays open until answer_held().
    bool hold_questions = false;
    std::deque<std::function<void(int)>> held;
    void answer_held(int answer);
    std::deque<int> answers;  // for questions; IDNO (Yes/No) or IDOK (OK/Cancel) when none is left
    std::vector<QString> opened;
    std::vector<QString> titles;  // of the folder and file choosers
    QString filters;
    QString folder;  // what the folder chooser answers; empty: Cancel
    QString file;
    std::optional<QColor> color;
};

class MonitorTest : public ::testing::Test {
  protected:
    // Opens the window over the job file, written first with `content` unless nullopt.
    MonitorWindow& open(const std::optional<std::string>& content = std::nullopt);
    // A window whose checks all pass: target and an existing source folder set.
    MonitorWindow& open_valid(const std::optional<std::string>& content = std::nullopt);

    void type(int id, const QString& text);
    void click(int id);
    [[nodiscard]] std::string job_text() const;
    [[nodiscard]] std::string key(const std::string& section, const std::string& key) const;
    [[nodiscard]] int focused_id() const;
    [[nodiscard]] QString last_message() const;

    TempDir dir;
    std::string job = dir / "Tarvik_morvane.ini";
    ScriptedDesktop desktop;
    std::unique_ptr<MonitorWindow> window;
};

}  // namespace morvane::test
