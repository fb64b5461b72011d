// The stop request: what SIGTERM and SIGINT do to the engine, and the walks handing on
// nothing once it has come.

#include "stop_request.h"

#include <csignal>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "job_settings.h"
#include "log_file.h"
#include "monitor_link.h"
#include "test_support.h"
#include "walks.h"
#include "workers.h"

namespace morvane {
namespace {

using test::make_folder;
using test::read_file;
using test::write_file;

class StopSignal : public ::testing::TestWithParam<int> {};

// In a child of its own, so that the test process keeps its own handlers: the signal
// is noted, not fatal, and a request made before is not asked.
TEST_P(StopSignal, IsNotedAndLeavesTheProcessRunning) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const StopRequest stop = StopRequest::from_signals();
        if (stop.asked()) ::_exit(2);
        (void)::raise(GetParam());
        ::_exit(stop.asked() ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the signal ended the process: " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

INSTANTIATE_TEST_SUITE_P(Engine, StopSignal, ::testing::Values(SIGTERM, SIGINT));

TEST(StopRequestFlag, FollowsItsFlagAndADefaultOneNeverComes) {
    volatile std::sig_atomic_t flag = 0;
    const StopRequest stop(&flag);
    EXPECT_FALSE(stop.asked());
    flag = 1;
    EXPECT_TRUE(stop.asked());
    EXPECT_FALSE(StopRequest().asked());
}

class StoppedWalk : public ::testing::TestWithParam<bool> {
  protected:
    StoppedWalk() {
        make_folder(dir_ / "in/sub");
        make_folder(dir_ / "tmp");
        for (const char* name : {"in/a.png", "in/b.png", "in/sub/c.png"}) {
            write_file(dir_ / name, "not converted");
        }
        job_.source = dir_ / "in";
        job_.target = dir_ / "out";
        job_.extension_filter = ".png";
        EXPECT_TRUE(log_.open(dir_ / "run.log"));
    }

    test::TempDir dir_;
    JobSettings job_;
    LogFile log_;
    MonitorLink link_;
    TempFiles temp_{dir_ / "tmp", {}};
    RunContext ctx_{job_, log_, link_, temp_};
};

TEST_P(StoppedWalk, HandsNothingOnOnceTheUserAskedToStop) {
    volatile std::sig_atomic_t flag = 1;
    unsigned count = 0;
    {
        Workers workers(ctx_, StopRequest(&flag));
        ASSERT_TRUE(workers.stopped());
        count = GetParam() ? walk_folder(ctx_, workers, job_.source)
                           : walk_flat(ctx_, workers, job_.source);
    }
    log_.close();
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(read_file(dir_ / "run.log"), "");
    EXPECT_FALSE(test::exists(dir_ / "out"));
}

INSTANTIATE_TEST_SUITE_P(Engine, StoppedWalk, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Recursive" : "Flat"; });

}  // namespace
}  // namespace morvane
