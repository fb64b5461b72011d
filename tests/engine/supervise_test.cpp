#include "supervise.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "job_settings.h"
#include "link_ids.h"
#include "link_peer.h"
#include "log_file.h"
#include "monitor_link.h"
#include "test_support.h"

namespace morvane {
namespace {

using test::exists;
using test::make_folder;
using test::read_file;
using test::write_file;

class Supervised : public ::testing::Test {
  protected:
    Supervised() {
        make_folder(temp_.folder);
        make_folder(dir_ / "out");
        EXPECT_TRUE(log_.open(dir_ / "run.log"));
    }
    ConvertOutcome run(const std::function<ConvertOutcome()>& convert) {
        return supervised(ctx_, dir_ / "in/photo.png", dir_ / "out/photo.jpg", convert);
    }

    test::TempDir dir_;
    JobSettings job_;
    LogFile log_;
    MonitorLink link_;
    TempFiles temp_{dir_ / "tmp", {}};
    RunContext ctx_{job_, log_, link_, temp_};
};

TEST_F(Supervised, OutcomeAndLogLinesComeBackInOrder) {
    log_.printf("before\r\n");
    const ConvertOutcome outcome = run([&] {
        log_.printf("from the child\r\n");
        return ConvertOutcome{kOutputExists, "a reason"};
    });
    log_.printf("after\r\n");
    log_.flush();
    EXPECT_EQ(outcome.result, kOutputExists);
    EXPECT_EQ(outcome.reason, "a reason");
    EXPECT_EQ(read_file(dir_ / "run.log"), "before\r\nfrom the child\r\nafter\r\n");
}

TEST_F(Supervised, ACrashIsNotConvertedWithItsSignal) {
    const ConvertOutcome outcome = run([]() -> ConvertOutcome { std::abort(); });
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(outcome.reason, "crashed (signal 6)");
}

TEST_F(Supervised, AnExitWithoutResultIsNotConverted) {
    const ConvertOutcome outcome = run([]() -> ConvertOutcome { _exit(3); });
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(outcome.reason, "ended without a result (exit status 3)");
}

TEST_F(Supervised, TimeLimitStopsTheChildAndRemovesWhatItLeft) {
    job_.limits.seconds = 1;
    const std::vector<std::string> left = {temp_.folder + "/photo_00001.pnm",
                                           temp_.folder + "/photo_3.bmp", temp_.folder + "/tmp.jpg",
                                           dir_ / "out/.photo.jpg.tarvik-AbC123"};
    const std::vector<std::string> kept = {temp_.folder + "/other_00001.pnm",
                                           temp_.folder + "/photo.log", dir_ / "out/photo.jpg"};
    for (const std::string& path : kept) write_file(path, "keep");
    const auto started = std::chrono::steady_clock::now();
    const ConvertOutcome outcome = run([&]() -> ConvertOutcome {
        for (const std::string& path : left) write_file(path, "work");
        std::this_thread::sleep_for(std::chrono::seconds(30));
        return {kConverted, {}};
    });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(outcome.reason, "time limit of 1 s exceeded");
    for (const std::string& path : left) EXPECT_FALSE(exists(path)) << path;
    for (const std::string& path : kept) EXPECT_TRUE(exists(path)) << path;
}

TEST_F(Supervised, HeartbeatsGiveALongConversionItsTimeAgain) {
    job_.limits.seconds = 1;
    const ConvertOutcome outcome = run([&]() -> ConvertOutcome {
        for (int batch = 0; batch < 5; ++batch) {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            ctx_.heartbeat.beat();
        }
        return {kConverted, {}};
    });
    EXPECT_EQ(outcome.result, kConverted) << outcome.reason;
}

TEST_F(Supervised, WritesPastTheFileSizeLimitFailInsteadOfKilling) {
    job_.limits.file_size_mb = 1;
    const ConvertOutcome outcome = run([&]() -> ConvertOutcome {
        const int fd = ::open((dir_ / "out/big").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const std::string block(1 << 20, 'x');
        const bool first = ::write(fd, block.data(), block.size()) > 0;
        const bool second = ::write(fd, block.data(), block.size()) > 0;
        const int error = errno;
        ::close(fd);
        return {first && !second && error == EFBIG ? kConverted : kNotConverted, {}};
    });
    EXPECT_EQ(outcome.result, kConverted);
}

// One worker serves source after source in the same process; a source that crashes it
// is reported and the next source gets a fresh worker.
TEST_F(Supervised, AWorkerServesSourcesInTurnAndIsReplacedAfterACrash) {
    int served_here = 0;  // counts in the worker process, not in the test
    SupervisedWorker worker(
        ctx_,
        [&](const std::string& source, const OutputName& output) -> ConvertOutcome {
            if (source == "crash") std::abort();
            ++served_here;
            return {kConverted, output.path + " " + std::to_string(served_here)};
        },
        false);
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"a", "a.jpg 1"}, {"b", "b.jpg 2"}, {"crash", "crashed (signal 6)"}, {"c", "c.jpg 1"}};
    for (const auto& [source, reason] : expected) {
        worker.begin(source, OutputName::plain(source + ".jpg"));
        EXPECT_EQ(run_to_end(worker).outcome.reason, reason) << source;
    }
    EXPECT_EQ(served_here, 0);
}

// Beside other workers, a worker keeps its log lines and messages for the engine.
TEST_F(Supervised, ACapturedWorkerHandsItsLogLinesOver) {
    SupervisedWorker worker(
        ctx_,
        [&](const std::string& source, const OutputName&) -> ConvertOutcome {
            log_.printf("line of %s\r\n", source.c_str());
            return {kConverted, {}};
        },
        true);
    worker.begin("a", OutputName::plain("a.jpg"));
    const SupervisedResult result = run_to_end(worker);
    log_.flush();
    EXPECT_EQ(result.log_text, "line of a\r\n");
    EXPECT_EQ(read_file(dir_ / "run.log"), "");
}

// A worker that talks to the window itself stops its clock while it waits for an answer.
TEST_F(Supervised, WaitingForTheWindowIsNotTheSourcesTime) {
    job_.limits.seconds = 1;
    test::LinkPeer peer(temp_.folder, [](const LinkFrame& frame) -> std::int64_t {
        if (frame.lparam == 15) std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return 0;
    });
    link_ = MonitorLink::find_window(temp_.folder);
    ASSERT_TRUE(link_.connected());
    const ConvertOutcome outcome = run([&]() -> ConvertOutcome {
        ctx_.link.progress(15);
        ctx_.link.progress(50);
        return {kConverted, {}};
    });
    EXPECT_EQ(outcome.result, kConverted) << outcome.reason;
    EXPECT_TRUE(link_.connected());
    link_.disconnect();  // the stand-in serves the link until it closes
    EXPECT_EQ(peer.frames().size(), 2u);
}

// The link gives up on a window after its own time; a wait far longer than that is the
// worker's fault and ends the source.
TEST_F(Supervised, AWaitLongerThanTheLinkAllowsEndsTheSource) {
    job_.limits.seconds = 5;
    test::LinkPeer peer(temp_.folder, [](const LinkFrame&) -> std::int64_t {
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        return 0;
    });
    link_ = MonitorLink::find_window(temp_.folder);
    SupervisedWorker worker(
        ctx_,
        [&](const std::string&, const OutputName&) -> ConvertOutcome {
            ctx_.link.progress(15);
            return {kConverted, {}};
        },
        false);
    worker.limit_window_waits(std::chrono::milliseconds(200));
    worker.begin("a", OutputName::plain(dir_ / "out/a.jpg"));
    const ConvertOutcome outcome = run_to_end(worker).outcome;
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(outcome.reason, "stopped while waiting for the settings window");
    // It may have stopped in mid-message: the run goes on over a fresh connection.
    ASSERT_TRUE(link_.connected());
    link_.progress(50);
    link_.disconnect();
    const std::vector<LinkFrame> frames = peer.frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].lparam, 50);
    EXPECT_EQ(peer.connections(), 2);
}

// A worker that talks to the window dies while a worker beside it, forked earlier, still
// holds a copy of the link's socket: the window must see the old connection end, or it
// would never take the fresh one.
TEST_F(Supervised, AWorkerThatDiesLeavesTheRestOfTheRunToAFreshConnection) {
    test::LinkPeer peer(temp_.folder,
                        [](const LinkFrame& frame) -> std::int64_t { return frame.lparam + 1; });
    link_ = MonitorLink::find_window(temp_.folder);
    ASSERT_TRUE(link_.connected());
    {
        const Handler quiet = [](const std::string&, const OutputName&) -> ConvertOutcome {
            return {kConverted, {}};
        };
        SupervisedWorker beside(ctx_, quiet, true);
        beside.begin("a", OutputName::plain(dir_ / "out/a.jpg"));
        ASSERT_EQ(run_to_end(beside).outcome.result, kConverted);  // its process stays

        SupervisedWorker talker(
            ctx_,
            [&](const std::string&, const OutputName&) -> ConvertOutcome {
                ctx_.link.progress(15);
                std::abort();
            },
            false);
        talker.begin("b", OutputName::plain(dir_ / "out/b.jpg"));
        EXPECT_EQ(run_to_end(talker).outcome.reason, "crashed (signal 6)");
        ASSERT_TRUE(link_.connected());
        EXPECT_EQ(link_.send_message(WM_COMMAND, IDM_RUN_PROGRESS, 50), 51);
        link_.disconnect();
    }
    const std::vector<LinkFrame> frames = peer.frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].lparam, 15);
    EXPECT_EQ(peer.connections(), 2);
}

}  // namespace
}  // namespace morvane
