// The run buttons: what "Select..." and "Launch" check first, "Last log" with the
// user's program and with the log viewer, and the Processing window's layout.

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTextCursor>

#include "link_ids.h"
#include "log_viewing.h"
#include "monitor_layout.h"
#include "processing_window.h"
#include "run_fixture.h"
#include "run_follower.h"

namespace morvane::test {
namespace {

using MonitorRun = RunTest;

TEST_F(MonitorRun, SelectWithNoTypeTickedShowsTheFormatsPage) {
    MonitorWindow& w = open_for_run();
    w.switch_to_tab(PAGE_PDF);
    click(IDC_RESET);
    click(IDC_SELECT);
    EXPECT_EQ(w.tabs()->currentIndex(), PAGE_FORMATS);
    EXPECT_TRUE(w.format_list()->isVisible());
    ASSERT_FALSE(desktop.messages.empty());
    EXPECT_EQ(last_message(), "Please check at least one file type to search.");
    EXPECT_EQ(desktop.messages.back().flags, MB_ICONERROR);
    EXPECT_FALSE(key("FOLDERS", "source").empty());  // saved all the same
}

TEST_F(MonitorRun, SelectSavesEvenWhenTheSaveComplains) {
    MonitorWindow& w = open_for_run();
    click(IDC_ALL);
    w.set_text(IDC_TARGET, "");
    click(IDC_SELECT);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(last_message(), "Please choose a target folder");
}

TEST_F(MonitorRun, ALaunchWhoseSaveFailsStartsNothing) {
    MonitorWindow& w = open_for_run();
    w.set_text(IDC_WIDTH, "640");
    w.set_text(IDC_HEIGHT, "");
    click(IDC_LAUNCH);
    ASSERT_EQ(message_texts(),
              (std::vector<std::string>{"Please enter a correct size",
                                        "Cannot save setup, process not launched!"}));
    EXPECT_EQ(desktop.messages[1].flags, MB_ICONERROR);
    QTest::qWait(400);
    EXPECT_TRUE(processing.empty());
    EXPECT_EQ(w.runs().current(), nullptr);
}

TEST_F(MonitorRun, TheProcessingWindowHasItsThreeLinesAtTheirPlaces) {
    open_for_run();
    ProcessingWindow p(window.get());
    EXPECT_EQ(p.windowTitle(), "Processing...");
    EXPECT_EQ(p.objectName(), "105");
    EXPECT_TRUE(p.isVisible());
    EXPECT_TRUE(p.windowFlags() & Qt::Tool);
    EXPECT_FALSE(p.windowFlags() & Qt::WindowSystemMenuHint);
    const DialogUnits u(p.font());
    EXPECT_EQ(p.size(), QSize(u.x(236), u.y(39)));
    EXPECT_EQ(p.findChild<QLabel*>("1059")->geometry(), u.rect(3, 3, 230, 8));
    EXPECT_EQ(p.findChild<QLabel*>("1019")->geometry(), u.rect(3, 14, 230, 8));
    EXPECT_EQ(p.findChild<QProgressBar*>("1118")->geometry(), u.rect(3, 26, 230, 10));
    QTest::keyClick(&p, Qt::Key_Escape);  // only the run closes it
    EXPECT_TRUE(p.isVisible());
    p.command(1, 0);
    EXPECT_FALSE(p.isVisible());
}

TEST_F(MonitorRun, LastLogBeforeAnyRunSaysThereIsNone) {
    open_for_run();
    click(IDC_LAST_LOG);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(last_message(), "No log file found in your temp folder");
    EXPECT_EQ(desktop.messages[0].flags, MB_ICONINFORMATION);
}

// The opener is a script that records what it was given and answers as xdg-open would.
class LastLog : public RunTest {
  protected:
    void use_opener(int exit_code) {
        const std::string script = dir / "opener.sh";
        write_file(script, "#!/bin/sh\necho \"$@\" > '" + dir / "opened" + "'\nexit " +
                               std::to_string(exit_code) + "\n");
        ASSERT_EQ(::chmod(script.c_str(), 0755), 0);
        ::setenv("MORVANE_LOG_OPENER", script.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("MORVANE_LOG_OPENER");
        RunTest::TearDown();
    }
    LogViewer* viewer() const {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (auto* v = qobject_cast<LogViewer*>(top); v && v->isVisible()) return v;
        }
        return nullptr;
    }
    std::string log = temp + "/Tarvik_morvane.log";
};

TEST_F(LastLog, TheUsersProgramOpensTheLog) {
    open_for_run();
    write_file(log, "line\r\n");
    use_opener(0);
    click(IDC_LAST_LOG);
    ASSERT_TRUE(QTest::qWaitFor([&] { return exists(dir / "opened"); }, 5000));
    EXPECT_EQ(read_file(dir / "opened"), log + "\n");
    QTest::qWait(300);
    EXPECT_EQ(viewer(), nullptr);
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(LastLog, WithNoProgramForItTheViewerShowsTheLogAtItsEnd) {
    open_for_run();
    std::string text = "Tarvik_morvane v1\r\n";
    for (int i = 0; i < 200; ++i) text += "/in/file" + std::to_string(i) + ".png OK\r\n";
    text += "processing finished\r\nconverted files: 200\r\n";
    write_file(log, text);
    use_opener(3);
    click(IDC_LAST_LOG);
    ASSERT_TRUE(QTest::qWaitFor([&] { return viewer() != nullptr; }, 5000));
    LogViewer* v = viewer();
    QPlainTextEdit* shown = v->text();
    EXPECT_EQ(v->objectName(), "2000");
    EXPECT_TRUE(shown->isReadOnly());
    EXPECT_EQ(shown->document()->blockCount(), 204);  // lines, and the empty one after the last
    EXPECT_FALSE(shown->toPlainText().contains('\r'));
    EXPECT_EQ(shown->textCursor().position(), shown->document()->characterCount() - 1);

    auto* find = v->findChild<QLineEdit*>("2002");
    find->setText("file17.png");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_EQ(shown->textCursor().selectedText(), "file17.png");  // found from the top
    find->setText("nowhere");
    EXPECT_FALSE(v->find_next());
    EXPECT_EQ(v->findChild<QLabel*>("2004")->text(), "Not found");
    v->findChild<QPushButton*>("2005")->click();
    QTest::qWait(20);
    EXPECT_EQ(viewer(), nullptr);
}

TEST_F(LastLog, AnOpenerThatCannotStartGivesTheViewer) {
    open_for_run();
    write_file(log, "line\r\n");
    ::setenv("MORVANE_LOG_OPENER", (dir / "no-such-program").c_str(), 1);
    click(IDC_LAST_LOG);
    ASSERT_NE(viewer(), nullptr);
    EXPECT_EQ(viewer()->text()->toPlainText(), "line\n");
    viewer()->close();
}

}  // namespace
}  // namespace morvane::test
