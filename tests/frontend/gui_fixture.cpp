#include "gui_fixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "link_ids.h"
#include "monitor_layout.h"
#include "profile.h"

namespace morvane::test {

Desktop ScriptedDesktop::desktop() {
    Desktop d;
    d.message_box = [this](QWidget* owner, const QString& caption, const QString& text,
                           std::int64_t flags) {
        messages.push_back({caption, text, flags, owner != nullptr});
        if (on_message) on_message(messages.back());
        const std::int64_t buttons = flags & 0x0F;
        if (buttons != MB_YESNO && buttons != MB_OKCANCEL) return static_cast<int>(IDOK);
        if (answers.empty()) return static_cast<int>(buttons == MB_YESNO ? IDNO : IDOK);
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    };
    d.message_box_later = [this, ask = d.message_box](QWidget* owner, const QString& caption,
                                                      const QString& text, std::int64_t flags,
                                                      std::function<void(int)> answered) {
        const int answer = ask(owner, caption, text, flags);
        if (hold_questions) {
            held.push_back(std::move(answered));
            return;
        }
        answered(answer);
    };
    d.open_file = [this](const QString& path) {
        opened.push_back(path);
        return true;
    };
    d.choose_folder = [this](QWidget*, const QString& title) {
        titles.push_back(title);
        return folder;
    };
    d.choose_file = [this](QWidget*, const QString& title, const QString& file_filters) {
        titles.push_back(title);
        filters = file_filters;
        return file;
    };
    d.choose_color = [this](QWidget*) { return color; };
    return d;
}

void ScriptedDesktop::answer_held(int answer) {
    if (held.empty()) return;
    auto answered = std::move(held.front());
    held.pop_front();
    answered(answer);
}

MonitorWindow& MonitorTest::open(const std::optional<std::string>& content) {
    if (content) write_file(job, *content);
    window = std::make_unique<MonitorWindow>(job, desktop.desktop());
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    return *window;
}

MonitorWindow& MonitorTest::open_valid(const std::optional<std::string>& content) {
    open(content);
    make_folder(dir / "in");
    window->set_text(IDC_TARGET, QString::fromStdString(dir / "out"));
    window->set_text(IDC_SOURCE, QString::fromStdString(dir / "in"));
    return *window;
}

void MonitorTest::type(int id, const QString& text) {
    auto* edit = window->control_as<QLineEdit>(id);
    edit->clear();
    QTest::keyClicks(edit, text);
}

void MonitorTest::click(int id) {
    auto* button = window->control_as<QAbstractButton>(id);
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton);
}

std::string MonitorTest::job_text() const {
    return exists(job) ? read_file(job) : std::string();
}

std::string MonitorTest::key(const std::string& section, const std::string& name) const {
    return std::string(Profile::parse(job_text()).value(section, name));
}

int MonitorTest::focused_id() const {
    QWidget* focus = window->focusWidget();
    return focus != nullptr ? focus->objectName().toInt() : 0;
}

QString MonitorTest::last_message() const {
    return desktop.messages.empty() ? QString() : desktop.messages.back().text;
}

}  // namespace morvane::test
