// The Processing window as its user meets it: lines heard as the text they show, room
// for that text at a large font, Escape and the close box asking to stop the run, and an
// engine that talks as fast as it can never holding the window up.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>

#include <QAccessible>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include <sys/wait.h>

#include "link_ids.h"
#include "monitor_layout.h"
#include "run_fixture.h"
#include "run_follower.h"
#include "ui_audit.h"

namespace morvane::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kStart = "send 273 1240 0";
const Lines kEnd = {
    "send 1244 0 0",
    "send 32769 36 0 Tarvik_morvane\\0The conversion process is finished.\\n\\nWould you like "
    "to see the log file ?",
    "send 1244 0 1",
};
const std::string kStopBox = std::string("box:Tarvik_morvane|") + kStopQuestion;
// The end question as the stand-in sends it (its script keeps "\n" as written).
const std::string kEndQuestion =
    "The conversion process is finished.\\n\\nWould you like to see the log file ?";

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Lines file_and_status(const std::string& file, const std::string& status) {
    return {"send 12 1049 0 " + file, "send 1242 0 0", "send 12 1050 0 " + status, "send 1243 0 0"};
}

QString heard(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face == nullptr ? QString("(no interface)") : face->text(QAccessible::Name);
}

// The process id the stand-in wrote first into its out file.
pid_t standin_pid(const std::string& out) {
    const std::string text = exists(out) ? read_file(out) : std::string();
    return text.rfind("pid ", 0) == 0 ? static_cast<pid_t>(std::atol(text.c_str() + 4)) : -1;
}

// Counts the paint events of a window and of every control in it.
class PaintCount : public QObject {
  public:
    explicit PaintCount(QWidget* window) : QObject(window) {
        window->installEventFilter(this);
        for (QWidget* child : window->findChildren<QWidget*>()) child->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
    int paints = 0;
};

using ProcessingTest = RunTest;

TEST_F(ProcessingTest, TheLinesAreHeardAsTheTextTheyShowAsFramesArrive) {
    open_for_run();
    const std::string go = dir / "go";
    use_standin(concat({{"connect", kStart},
                        file_and_status("/in/a.png", "Reading..."),
                        {"waitfile " + go},
                        file_and_status("/in/b.png", "Writing image # 1..."),
                        {"waitfile " + go + "2"},
                        kEnd}));
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !processing.empty(); }, 5000));
    ProcessingWindow* shown = processing.at(0);
    const auto shows = [&](const QString& file, const QString& status) {
        return QTest::qWaitFor(
            [&] {
                return shown->file_line()->text() == file && shown->status_line()->text() == status;
            },
            20000);
    };
    ASSERT_TRUE(shows("/in/a.png", "Reading..."));
    EXPECT_EQ(heard(shown->file_line()), "/in/a.png");
    EXPECT_EQ(heard(shown->status_line()), "Reading...");
    write_file(go, "");
    ASSERT_TRUE(shows("/in/b.png", "Writing image # 1..."));
    EXPECT_EQ(heard(shown->file_line()), "/in/b.png");
    EXPECT_EQ(heard(shown->status_line()), "Writing image # 1...");
    EXPECT_EQ(joined(naming_faults(shown, false)), "");
    write_file(go + "2", "");
    ASSERT_TRUE(wait_for_engines(1));
}

// The application font at a size (0: as it is) while a test runs.
class FontSize {
  public:
    explicit FontSize(int points) : saved_(QApplication::font()) {
        if (points <= 0) return;
        QFont font = saved_;
        font.setPointSize(points);
        QApplication::setFont(font);
    }
    ~FontSize() { QApplication::setFont(saved_); }
    FontSize(const FontSize&) = delete;
    FontSize& operator=(const FontSize&) = delete;

  private:
    QFont saved_;
};

struct FitCase {
    const char* name;
    int points;  // 0: the application font as it is
};

class ProcessingFits : public RunTest, public ::testing::WithParamInterface<FitCase> {};

// Also run with QT_SCALE_FACTOR=2 by the test list (the "Fits" tests).
TEST_P(ProcessingFits, LinesAndBarFitWithTheirIds) {
    const FontSize font(GetParam().points);
    ::setenv("MORVANE_UI_IDS", "1", 1);
    QWidget owner;
    ProcessingWindow shown(&owner);
    ::unsetenv("MORVANE_UI_IDS");
    shown.show_file("/home/user/Pictures/2024 Holidays/IMG_0001.png");
    shown.show_status("Writing image # 12...");
    shown.command(IDM_PROC_SETPOS, 40);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.bar()->value() == 40; }, 1000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&shown));
    EXPECT_EQ(joined(fit_faults(&shown)), "");
    EXPECT_EQ(joined(naming_faults(&shown, true)), "");
    EXPECT_EQ(shown.bar()->value(), 40);
    EXPECT_TRUE(shown.rect().contains(shown.bar()->geometry()));
}

INSTANTIATE_TEST_SUITE_P(Fonts, ProcessingFits,
                         ::testing::Values(FitCase{"AsItIs", 0}, FitCase{"FourteenPoints", 14}),
                         [](const auto& info) { return std::string(info.param.name); });

// A flood of frames is taken on in batches: the window ends showing the last of them,
// paints a small fraction as often, and timers and posted events run all along.
TEST_F(ProcessingTest, AFloodOfFramesIsCoalescedAndNeverHoldsTheWindowUp) {
    constexpr int kFrames = 100000;
    open_for_run();
    const std::string out =
        use_standin(concat({{"connect", kStart, "waitfile " + dir / "go",
                             "flood " + std::to_string(kFrames), "waitfile " + dir / "go2"},
                            kEnd}));
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !processing.empty(); }, 5000));
    ProcessingWindow* shown = processing.at(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(shown));
    auto* counter = new PaintCount(shown);
    int statuses = 0;
    QObject::connect(shown, &ProcessingWindow::status_shown, [&] { ++statuses; });
    // Between frames the event loop goes round: timers and posted calls see the flood
    // part-way.
    std::vector<int> seen_by_timer;
    std::vector<int> seen_by_posted;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        seen_by_timer.push_back(statuses);
        QMetaObject::invokeMethod(
            &tick, [&] { seen_by_posted.push_back(statuses); }, Qt::QueuedConnection);
    });
    tick.start(5);
    // A loop of its own: QTest's waits sleep between rounds, which would pace the flood.
    QEventLoop flooding;
    QObject::connect(shown, &ProcessingWindow::status_shown, &flooding, [&] {
        if (statuses >= kFrames / 3) flooding.quit();
    });
    QTimer::singleShot(600000, &flooding, &QEventLoop::quit);  // a safety net only
    write_file(dir / "go", "");
    flooding.exec();
    ASSERT_EQ(statuses, kFrames / 3);
    const int paints = counter->paints;
    tick.stop();
    const QString last = QString("Stage %1").arg(kFrames / 3 - 1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown->status_line()->text() == last; }, 5000));
    EXPECT_EQ(shown->bar()->value(), (kFrames / 3 - 1) % 101);
    write_file(dir / "go2", "");
    ASSERT_TRUE(wait_for_engines(1));
    EXPECT_NE(read_file(out).find("flood answered " + std::to_string(kFrames)), std::string::npos);

    const auto part_way = [](const std::vector<int>& seen) {
        return std::count_if(seen.begin(), seen.end(),
                             [](int n) { return n > 0 && n < kFrames / 3; });
    };
    EXPECT_GE(part_way(seen_by_timer), 3);
    EXPECT_GE(part_way(seen_by_posted), 3);
    RecordProperty("paints", paints);
    std::cout << "flood: " << kFrames << " frames, " << paints << " paint events, "
              << seen_by_timer.size() << " timer ticks, " << part_way(seen_by_timer)
              << " part-way\n";
    // A paint per refresh interval at most, whatever the frame count: one per frame here
    // would be tens of thousands; a flood that takes a few seconds gives a few hundred.
    EXPECT_LE(paints, kFrames / 100);
}

// Escape and the window manager's close ask; No lets the run go on, Yes sends the engine
// SIGTERM and its run ends as usual, with its end question.
struct StopCase {
    const char* name;
    bool escape;  // else the close box
    int answer;
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

class ProcessingStop : public RunTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(ProcessingStop, AsksAndStopsTheEngineOnlyOnYes) {
    open_for_run();
    const std::string go = dir / "go";
    const std::string out = use_standin(
        concat({{"catchstop", "connect", kStart},
                file_and_status("/in/a.png", "Reading..."),
                {GetParam().answer == IDYES ? "waitstop" : "waitfile " + go, "send 273 1241 100"},
                kEnd}));
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("file:/in/a.png").empty(); }, 20000));
    ProcessingWindow* shown = processing.at(0);
    desktop.answers = {GetParam().answer};
    if (GetParam().escape) {
        QTest::keyClick(shown, Qt::Key_Escape);
    } else {
        shown->close();
    }
    ASSERT_EQ(desktop.messages.size(), 1u);
    const ShownMessage& asked = desktop.messages[0];
    EXPECT_EQ(asked.caption, "Tarvik_morvane");
    EXPECT_EQ(asked.text, kStopQuestion);
    EXPECT_EQ(asked.flags, MB_YESNO_ICONQUESTION);
    EXPECT_TRUE(asked.owned);
    EXPECT_TRUE(shown->isVisible());  // the window stays until the run ends
    if (GetParam().answer != IDYES) write_file(go, "");
    ASSERT_TRUE(wait_for_engines(1));

    const std::string received = read_file(out);
    EXPECT_EQ(received.find("stop asked") != std::string::npos, GetParam().answer == IDYES)
        << received;
    // Either way the run ended properly: the end question, no early-end message.
    EXPECT_EQ(entries("box:").size(), 2u);
    EXPECT_EQ(desktop.messages.back().text.toStdString(), kEndQuestion);
    EXPECT_TRUE(processing.at(0).isNull());
}

INSTANTIATE_TEST_SUITE_P(Keys, ProcessingStop,
                         ::testing::Values(StopCase{"EscapeYes", true, IDYES},
                                           StopCase{"EscapeNo", true, IDNO},
                                           StopCase{"CloseBoxYes", false, IDYES},
                                           StopCase{"CloseBoxNo", false, IDNO}),
                         [](const auto& info) { return std::string(info.param.name); });

// While the question is up, more Escapes do not pile up more questions; after Yes the
// run is stopping and is not asked about again.
TEST_F(ProcessingTest, TheStopQuestionComesOnceAtATime) {
    open_for_run();
    desktop.hold_questions = true;
    const std::string out =
        use_standin(concat({{"catchstop", "connect", kStart, "waitstop"}, kEnd}));
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("pos:0").empty(); }, 20000));
    ProcessingWindow* shown = processing.at(0);
    QTest::keyClick(shown, Qt::Key_Escape);
    QTest::keyClick(shown, Qt::Key_Escape);
    shown->close();
    EXPECT_EQ(entries(kStopBox).size(), 1u);
    desktop.answer_held(IDYES);
    EXPECT_EQ(shown->windowTitle(), "Stopping...");
    QTest::keyClick(shown, Qt::Key_Escape);
    EXPECT_EQ(entries(kStopBox).size(), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.held.size() == 1; }, 20000));
    desktop.answer_held(IDNO);  // the end question
    ASSERT_TRUE(wait_for_engines(1));
    EXPECT_NE(read_file(out).find("stop asked"), std::string::npos);
}

// Yes before the engine was even started: it is never started, and nothing is said.
TEST_F(ProcessingTest, AStopBeforeTheEngineStartsStartsNothing) {
    open_for_run();
    const std::string out = use_standin({"connect", kStart, "exit 0"});
    click(IDC_LAUNCH);
    ASSERT_EQ(processing.size(), 1u);
    desktop.answers = {IDYES};
    QTest::keyClick(processing[0], Qt::Key_Escape);
    QTest::qWait(kLaunchDelayMs + 200);
    EXPECT_TRUE(processing[0].isNull());
    EXPECT_FALSE(exists(out));
    EXPECT_EQ(desktop.messages.size(), 1u);  // the question only
    EXPECT_EQ(engines_ended, 0);
}

// Closing the Monitor window while its engine runs leaves no Processing window behind;
// a window opened again launches as usual once that engine has ended.
TEST_F(ProcessingTest, AWindowClosedDuringARunLeavesNothingStaleBehind) {
    open_for_run();
    const std::string release = dir / "release";
    const std::string first = use_standin(concat({{"connect", kStart},
                                                  file_and_status("/in/a.png", "Reading..."),
                                                  {"waitfile " + release},
                                                  file_and_status("/in/b.png", "Writing..."),
                                                  kEnd}),
                                          "first");
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("file:/in/a.png").empty(); }, 20000));
    window.reset();
    QTest::qWait(20);
    EXPECT_TRUE(processing.at(0).isNull());
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<ProcessingWindow*>(top), nullptr) << "a Processing window is left";
    write_file(release, "");
    const pid_t orphan = standin_pid(first);
    ASSERT_GT(orphan, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(orphan, &status, 0), orphan);  // nobody's window hears it now
    EXPECT_NE(read_file(first).find("no answer"), std::string::npos);

    journal.clear();
    processing.clear();
    engines_ended = 0;
    open_for_run();
    use_standin(concat({{"connect", kStart}, file_and_status("/in/c.png", "Reading..."), kEnd}),
                "second");
    ASSERT_TRUE(launch_and_wait());
    EXPECT_EQ(entries("file:"), Lines{"file:/in/c.png"});
    EXPECT_EQ(message_texts().size(), 1u);  // the end question, nothing else
}

// A second settings window on the same temporary folder takes the link over: engines
// find the window that opened last. Closing the first one must not take the link away
// from the second.
TEST_F(ProcessingTest, ClosingAnEarlierWindowLeavesTheLinkWithTheLaterOne) {
    open_for_run();
    std::unique_ptr<MonitorWindow> earlier = std::move(window);
    open_for_run();  // the later window
    earlier.reset();
    use_standin(concat({{"connect", kStart}, file_and_status("/in/a.png", "Reading..."), kEnd}));
    ASSERT_TRUE(launch_and_wait());
    EXPECT_EQ(entries("file:"), Lines{"file:/in/a.png"});
    ASSERT_EQ(message_texts().size(), 1u);
    EXPECT_EQ(message_texts()[0], kEndQuestion);
}

}  // namespace
}  // namespace morvane::test
