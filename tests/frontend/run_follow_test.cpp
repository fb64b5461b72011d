// The Monitor window following a stand-in engine: what the real engine rarely does.

#include <QLabel>
#include <QProgressBar>
#include <QTest>

#include "link_ids.h"
#include "monitor_layout.h"
#include "run_follower.h"
#include "run_fixture.h"

namespace morvane::test {
namespace {

using Lines = std::vector<std::string>;

const std::string kStart = "send 273 1240 0";
const std::string kEndSequence[] = {
    "send 1244 0 0",
    "send 32769 36 0 Tarvik_morvane\\0The conversion process is finished.\\n\\nWould you like "
    "to see the log file ?",
    "send 1244 0 1",
};

Lines with_end(Lines lines) {
    for (const std::string& line : kEndSequence) lines.push_back(line);
    return lines;
}

Lines file_and_status(const std::string& file, const std::string& status) {
    return {"send 12 1049 0 " + file, "send 1242 0 0", "send 12 1050 0 " + status, "send 1243 0 0"};
}

Lines concat(std::initializer_list<Lines> parts) {
    Lines all;
    for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

using RunFollow = RunTest;

TEST_F(RunFollow, FramesDriveTheProcessingWindowToItsEnd) {
    open_for_run();
    desktop.answers = {IDYES};
    const std::string out =
        use_standin(with_end(concat({{"connect", kStart, "send 273 1241 5"},
                                     file_and_status("/in/a.png", "Reading..."),
                                     {"send 273 1241 70", "send 273 1241 150"}})));
    ASSERT_TRUE(launch_and_wait());

    const std::vector<std::string> expected{
        "open",
        "pos:0",
        "file:/in/a.png",
        "status:Reading...",
        "pos:5",
        "pos:70",
        "pos:100",
        "hidden",
        "box:Tarvik_morvane|The conversion process is finished.\n\nWould you like to see the log "
        "file ?",
        "destroyed",
        "ended"};
    // The progress frame of 5 came before the file here; order of arrival is kept.
    std::vector<std::string> got = journal;
    EXPECT_EQ(got.size(), expected.size());
    EXPECT_EQ(entries("pos:"), (Lines{"pos:0", "pos:5", "pos:70", "pos:100"}));
    EXPECT_EQ(entries("file:"), Lines{"file:/in/a.png"});
    EXPECT_EQ(journal.back(), "ended");
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].owned);
    EXPECT_EQ(desktop.messages[0].flags, MB_YESNO_ICONQUESTION);
    const std::string received = read_file(out);
    EXPECT_NE(received.find("answer 6"), std::string::npos) << received;  // Yes went back
    EXPECT_EQ(window->runs().current(), nullptr);
}

TEST_F(RunFollow, HiddenBeforeTheQuestionAndDestroyedAfterIt) {
    open_for_run();
    use_standin(with_end({"connect", kStart}));
    ASSERT_TRUE(launch_and_wait());
    const auto at = [this](const std::string& entry) {
        return std::find(journal.begin(), journal.end(), entry) - journal.begin();
    };
    const auto box = std::find_if(journal.begin(), journal.end(),
                                  [](const std::string& e) { return e.rfind("box:", 0) == 0; }) -
                     journal.begin();
    EXPECT_LT(at("hidden"), box);
    EXPECT_LT(box, at("destroyed"));
    EXPECT_EQ(message_texts().size(), 1u);  // no early-end message after a proper end
}

TEST_F(RunFollow, LongTextsAreCutAndPositionsPast100ShowAFullBar) {
    open_for_run();
    use_standin(
        concat({{"connect", kStart, "long 12 1049 0 x 300", "send 1242 0 0", "long 12 1050 0 y 259",
                 "send 1243 0 0", "send 273 1241 250", "waitfile " + (dir / "go")}}));
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("pos:100").empty(); }, 20000));
    ProcessingWindow* shown = window->runs().current();
    ASSERT_NE(shown, nullptr);
    // The window takes changes on in batches: the last of them shows within a moment.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown->bar()->value() == 100; }, 5000));
    EXPECT_EQ(shown->file_line()->text(), QString(259, 'x'));
    EXPECT_EQ(shown->status_line()->text(), QString(259, 'y'));
    write_file(dir / "go", "");
    ASSERT_TRUE(wait_for_engines(1));
}

TEST_F(RunFollow, APeerThatDiesMidFrameIsDroppedAndItsWindowClosed) {
    open_for_run();
    use_standin({"connect", kStart, "partial 10 1244 0 1", "exit 9"});
    ASSERT_TRUE(launch_and_wait());
    EXPECT_EQ(window->runs().current(), nullptr);
    ASSERT_FALSE(desktop.messages.empty());
    EXPECT_EQ(desktop.messages.back().text.toStdString(),
              "The conversion process ended early: exit status 9.\n\n"
              "Look at the log file (\"Last log\") for details.");
    // The half frame never reached the window as a message.
    EXPECT_TRUE(entries("box:Tarvik_morvane|The conversion process is finished").empty());
}

TEST_F(RunFollow, AReconnectedEngineKeepsDrivingTheSameWindow) {
    open_for_run();
    use_standin(with_end(concat({{"connect", kStart},
                                 file_and_status("/in/a.png", "Reading..."),
                                 {"partial 7 1242 0 0", "close", "connect"},
                                 file_and_status("/in/b.png", "Writing...")})));
    ASSERT_TRUE(launch_and_wait());
    EXPECT_EQ(entries("file:"), (Lines{"file:/in/a.png", "file:/in/b.png"}));
    EXPECT_EQ(entries("open").size(), 1u);
    EXPECT_EQ(message_texts().size(), 1u);  // the end question only: the run ended properly
}

TEST_F(RunFollow, TwoEnginesOneAfterAnotherEachGetTheirOwnWindow) {
    open_for_run();
    use_standin(with_end(concat({{"connect", kStart}, file_and_status("/in/a.png", "Reading...")})),
                "first");
    ASSERT_TRUE(launch_and_wait(1));
    use_standin(with_end(concat({{"connect", kStart}, file_and_status("/in/b.png", "Moving...")})),
                "second");
    ASSERT_TRUE(launch_and_wait(2));
    EXPECT_EQ(entries("open").size(), 2u);
    EXPECT_EQ(entries("destroyed").size(), 2u);
    EXPECT_EQ(entries("file:"), (Lines{"file:/in/a.png", "file:/in/b.png"}));
    EXPECT_EQ(entries("box:").size(), 2u);
    EXPECT_EQ(message_texts().size(), 2u);
}

TEST_F(RunFollow, ASecondLaunchTakesOverAndTheFirstGoesWithItsEngine) {
    open_for_run();
    const std::string release = dir / "release";
    use_standin(with_end(concat({{"connect", kStart},
                                 file_and_status("/in/a.png", "Reading..."),
                                 {"waitfile " + release, "send 273 1241 90"}})),
                "first");
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("file:/in/a.png").empty(); }, 20000));
    use_standin(concat({{"connect", kStart},
                        file_and_status("/in/b.png", "Writing..."),
                        {"waitfile " + release + "2"}}),
                "second");
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("file:/in/b.png").empty(); }, 20000));
    ASSERT_EQ(processing.size(), 2u);
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return processing[1]->file_line()->text() == "/in/b.png"; }, 5000));
    EXPECT_EQ(processing[0]->file_line()->text(), "/in/a.png");  // frozen where it was

    write_file(release, "");  // the first engine goes on: its messages reach the newest
    ASSERT_TRUE(wait_for_engines(1));
    QTest::qWait(20);
    EXPECT_TRUE(processing[0].isNull());
    EXPECT_TRUE(processing[1].isNull());  // the first run's end destroyed the newest window
    write_file(release + "2", "");
    ASSERT_TRUE(wait_for_engines(2));
}

struct EarlyEnd {
    const char* name;
    Lines script;
    const char* message;
};

void PrintTo(const EarlyEnd& end, std::ostream* out) {
    *out << end.name;
}

class RunEndsEarly : public RunTest, public ::testing::WithParamInterface<EarlyEnd> {};

TEST_P(RunEndsEarly, TheWindowClosesAndSaysWhy) {
    open_for_run();
    use_standin(GetParam().script);
    ASSERT_TRUE(launch_and_wait());
    EXPECT_TRUE(processing.at(0).isNull());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text.toStdString(), GetParam().message);
    EXPECT_EQ(desktop.messages[0].flags, MB_ICONWARNING);
}

INSTANTIATE_TEST_SUITE_P(
    Statuses, RunEndsEarly,
    ::testing::Values(
        EarlyEnd{"NoSource",
                 {"connect", kStart, "exit 100"},
                 "The conversion process ended early: the job has no source folder.\n\n"
                 "Look at the log file (\"Last log\") for details."},
        EarlyEnd{"NoTarget",
                 {"connect", kStart, "exit 101"},
                 "The conversion process ended early: the job has no target folder.\n\n"
                 "Look at the log file (\"Last log\") for details."},
        EarlyEnd{"NoLog",
                 {"exit 1"},
                 "The conversion process ended early: the log file cannot be created in the "
                 "temporary folder.\n\nLook at the log file (\"Last log\") for details."},
        EarlyEnd{"TurnedAway",
                 {"exit 0"},
                 "The conversion process did not start: another conversion is running "
                 "(\"Mono-instance\" is set)."},
        EarlyEnd{"Killed",
                 {"connect", kStart, "kill"},
                 "The conversion process ended early: killed by signal 9 (Killed).\n\n"
                 "Look at the log file (\"Last log\") for details."}),
    [](const auto& info) { return std::string(info.param.name); });

// The Processing window is gone from the screen before the message comes up, not left
// behind it until the message is dismissed.
TEST_F(RunFollow, AnEngineThatCannotStartIsReported) {
    open_for_run();
    make_folder(dir / "empty");
    window->use_program_folder(dir / "empty/");
    std::vector<bool> shown_behind;
    desktop.on_message = [&](const ShownMessage&) {
        shown_behind.push_back(!processing.at(0).isNull() && processing.at(0)->isVisible());
    };
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !desktop.messages.empty(); }, 5000));
    QTest::qWait(20);
    EXPECT_EQ(desktop.messages[0].text.toStdString(), "Cannot start the conversion program " +
                                                          dir / "empty/Tarvik_morvane" +
                                                          ": No such file or directory");
    EXPECT_EQ(desktop.messages[0].flags, MB_ICONERROR);
    EXPECT_EQ(shown_behind, std::vector<bool>{false});
    EXPECT_TRUE(processing.at(0).isNull());
}

TEST_F(RunFollow, TheJobPathWithBlanksIsOneArgument) {
    const std::string folder = dir / "my settings";
    make_folder(folder);
    job = folder + "//Tarvik_morvane.ini";
    open_for_run();
    const std::string out = use_standin({"exit 0"});
    ASSERT_TRUE(launch_and_wait());
    const std::string received = read_file(out);
    EXPECT_NE(received.find("arguments 1\nargument G|" + folder + "/Tarvik_morvane.ini\n"),
              std::string::npos)
        << received;
}

// The question waits for the user without holding anything else up: another engine
// is served meanwhile, and the answer reaches the engine whenever it comes.
TEST_F(RunFollow, OtherEnginesAreServedWhileAQuestionWaits) {
    open_for_run();
    desktop.hold_questions = true;
    const std::string first = use_standin(with_end({"connect", kStart}), "first");
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.held.size() == 1; }, 20000));
    use_standin(with_end(concat({{"connect", kStart}, file_and_status("/in/b.png", "Writing...")})),
                "second");
    click(IDC_LAUNCH);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !entries("file:/in/b.png").empty(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.held.size() == 2; }, 20000));
    desktop.answer_held(IDYES);
    desktop.answer_held(IDNO);
    ASSERT_TRUE(wait_for_engines(2));
    EXPECT_NE(read_file(first).find("answer 6"), std::string::npos) << read_file(first);
}

TEST(RunFollowText, MailboxTextKeepsWholeCharacters) {
    EXPECT_EQ(mailbox_text(QString(300, 'a')).size(), 259);
    QString emoji = QString(258, 'a') + QString::fromUtf8("\xF0\x9F\x98\x80");  // 258 + 2 units
    EXPECT_EQ(mailbox_text(emoji), QString(258, 'a'));
    EXPECT_EQ(mailbox_text("short"), "short");
}

TEST(RunFollowText, TheArgumentIsTheTidiedJobPath) {
    EXPECT_EQ(monitored_argument("/home/a b//x.ini"), "G|/home/a b/x.ini");
}

}  // namespace
}  // namespace morvane::test
