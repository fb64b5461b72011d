// Launch from the window with the real engine: the Processing window follows the run
// to its end, the question comes owned by the window, Yes opens the log, and Escape
// stops a run soundly.

#include <algorithm>
#include <cstdio>
#include <set>

#include <QTableWidget>
#include <QTest>

#include <sys/stat.h>

#include "link_ids.h"
#include "monitor_layout.h"
#include "processing_window.h"
#include "run_fixture.h"
#include "run_follower.h"

namespace morvane::test {
namespace {

constexpr int kPngRow = 29;
const char* const kQuestion =
    "box:Tarvik_morvane|The conversion process is finished.\n\nWould you like to see the log "
    "file ?";

class LaunchEngine : public RunTest {
  protected:
    MonitorWindow& open_with_pictures() {
        MonitorWindow& w = open_for_run();
        make_picture(dir / "in/a.png");
        make_picture(dir / "in/b.png", PictureSpec{80, 60});
        w.format_list()->item(kPngRow, 0)->setCheckState(Qt::Checked);
        w.use_program_folder(std::string(PROGRAM_FOLDER) + "/");
        return w;
    }
    [[nodiscard]] long at(const std::string& entry) const {
        return std::find(journal.begin(), journal.end(), entry) - journal.begin();
    }
    void TearDown() override {
        ::unsetenv("MORVANE_LOG_OPENER");
        RunTest::TearDown();
    }
};

TEST_F(LaunchEngine, TheProcessingWindowFollowsTheRunToItsEnd) {
    open_with_pictures();
    desktop.answers = {IDNO};
    ASSERT_TRUE(launch_and_wait(1, 60000));

    const auto announced = entries("file:");
    const std::set<std::string> files(announced.begin(), announced.end());
    EXPECT_EQ(files,
              (std::set<std::string>{"file:" + dir / "in/a.png", "file:" + dir / "in/b.png"}));
    std::string seen;
    for (const std::string& entry : journal) seen += entry + "\n";
    SCOPED_TRACE(seen);
    const auto statuses = entries("status:");
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "status:Reading..."), statuses.end());
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "status:Writing image # 1..."),
              statuses.end());
    // Each file: announced at 5, then rising to 100.
    const auto positions = entries("pos:");
    ASSERT_FALSE(positions.empty());
    EXPECT_EQ(positions.front(), "pos:0");
    EXPECT_EQ(std::count(positions.begin(), positions.end(), "pos:5"), 2);
    EXPECT_GE(std::count(positions.begin(), positions.end(), "pos:100"), 2);
    EXPECT_EQ(at("open"), 0);
    EXPECT_LT(at("hidden"), at(kQuestion));
    EXPECT_LT(at(kQuestion), at("destroyed"));
    EXPECT_EQ(journal.back(), "ended");
    ASSERT_EQ(desktop.messages.size(), 1u);  // the question only: no early-end message
    EXPECT_TRUE(desktop.messages[0].owned);

    EXPECT_TRUE(read_picture(dir / "out/a.jpg").ok);
    EXPECT_TRUE(read_picture(dir / "out/b.jpg").ok);
    const std::string log = read_file(temp + "/Tarvik_morvane.log");
    EXPECT_NE(log.find("converted files: 2"), std::string::npos) << log;
    EXPECT_FALSE(exists(dir / "opened"));
}

TEST_F(LaunchEngine, YesOpensTheLogWithTheUsersProgram) {
    open_with_pictures();
    const std::string opener = dir / "opener.sh";
    write_file(opener, "#!/bin/sh\necho \"$@\" > '" + dir / "opened" + "'\n");
    ASSERT_EQ(::chmod(opener.c_str(), 0755), 0);
    ::setenv("MORVANE_LOG_OPENER", opener.c_str(), 1);
    desktop.answers = {IDYES};
    ASSERT_TRUE(launch_and_wait(1, 60000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return exists(dir / "opened"); }, 5000));
    EXPECT_EQ(read_file(dir / "opened"), temp + "/Tarvik_morvane.log\n");
    EXPECT_EQ(desktop.messages.size(), 1u);
}

// An engine that cannot write its log stops before its first message: the window
// closes its Processing window when the engine ends and says why.
TEST_F(LaunchEngine, AnEngineThatStopsEarlyDoesNotLeaveItsWindowUp) {
    open_with_pictures();
    make_folder(temp + "/Tarvik_morvane.log");  // a folder where the log should go
    ASSERT_TRUE(launch_and_wait(1, 60000));
    EXPECT_TRUE(processing.at(0).isNull());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text.toStdString(),
              "The conversion process ended early: the log file cannot be created in the "
              "temporary folder.\n\nLook at the log file (\"Last log\") for details.");
    EXPECT_FALSE(exists(dir / "out/a.jpg"));
}

// Escape while the real engine converts a folder of small pictures: Yes has it finish
// what it has begun and start nothing more, No lets the run go on. Either way the run
// ends as usual: footer, end question, no early-end message, every output whole.
struct StopRun {
    const char* name;
    int workers;
    int answer;
};

void PrintTo(const StopRun& run, std::ostream* out) {
    *out << run.name;
}

class LaunchAndStop : public LaunchEngine, public ::testing::WithParamInterface<StopRun> {
  protected:
    static constexpr int kPictures = 30;
    static constexpr int kEscapeAtFile = 3;

    void make_pictures() {
        char name[32];
        for (int i = 0; i < kPictures; ++i) {
            std::snprintf(name, sizeof name, "in/p%02d.png", i);
            make_picture(dir / name, PictureSpec{40 + i, 30});
        }
    }
};

unsigned converted_count(const std::string& log) {
    const std::string key = "converted files: ";
    const std::size_t at = log.rfind(key);
    return at == std::string::npos ? 0u
                                   : static_cast<unsigned>(std::stoul(log.substr(at + key.size())));
}

TEST_P(LaunchAndStop, EscapeStopsTheRunOnlyOnYesAndTheRunEndsAsUsual) {
    MonitorWindow& w =
        open_for_run("[PARAMS]\r\nworkers=" + std::to_string(GetParam().workers) + "\r\n");
    make_pictures();
    w.format_list()->item(kPngRow, 0)->setCheckState(Qt::Checked);
    w.use_program_folder(std::string(PROGRAM_FOLDER) + "/");
    int files = 0;
    QObject::connect(&w.runs(), &RunFollower::processing_opened, [&](ProcessingWindow* shown) {
        QObject::connect(shown, &ProcessingWindow::file_shown, shown, [&files, shown] {
            if (++files == kEscapeAtFile) QTest::keyClick(shown, Qt::Key_Escape);
        });
    });
    desktop.answers = {GetParam().answer};  // the end question then gets No
    ASSERT_TRUE(launch_and_wait(1, 120000));

    const std::string log = read_file(temp + "/Tarvik_morvane.log");
    SCOPED_TRACE(log);
    const bool stopped = GetParam().answer == IDYES;
    EXPECT_EQ(log.find("stopped by the user") != std::string::npos, stopped);
    std::vector<std::string> outputs = list_folder(dir / "out");
    for (const std::string& name : outputs) {
        EXPECT_EQ(name.find(".tarvik-"), std::string::npos) << "a work file is left: " << name;
        EXPECT_TRUE(read_picture(dir / ("out/" + name)).ok) << name;
    }
    EXPECT_EQ(converted_count(log), outputs.size());
    if (!stopped) {
        EXPECT_EQ(outputs.size(), static_cast<std::size_t>(kPictures));
    } else if (GetParam().workers == 1) {
        EXPECT_EQ(outputs.size(), static_cast<std::size_t>(kEscapeAtFile));  // the one in hand
    } else {
        // Besides the one shown, those already handed to the workers finish: at most
        // twice as many as there are workers.
        EXPECT_GE(outputs.size(), static_cast<std::size_t>(kEscapeAtFile));
        EXPECT_LE(outputs.size(), static_cast<std::size_t>(kEscapeAtFile + 2 * GetParam().workers));
    }
    ASSERT_EQ(entries(std::string("box:Tarvik_morvane|") + kStopQuestion).size(), 1u);
    EXPECT_EQ(desktop.messages.size(), 2u);  // the stop question and the end question
    EXPECT_EQ(journal.back(), "ended");
    EXPECT_TRUE(processing.at(0).isNull());
}

INSTANTIATE_TEST_SUITE_P(Answers, LaunchAndStop,
                         ::testing::Values(StopRun{"YesOneWorker", 1, IDYES},
                                           StopRun{"YesTwoWorkers", 2, IDYES},
                                           StopRun{"No", 1, IDNO}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvane::test
