#include "run_driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

using test::read_file;

// Runs the engine in a child process with its temporary folder and standard error in
// `dir`; the exit status, or -1 when the child did not exit.
int run_engine_in_child(const test::TempDir& dir, ImagingStarter starter) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::setenv("TMPDIR", dir.path().c_str(), 1);
        const int errors = ::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (errors < 0 || ::dup2(errors, STDERR_FILENO) < 0) ::_exit(99);
        char program[] = "Tarvik_morvane";
        char form[] = "C|/nowhere/job.ini";
        char* argv[] = {program, form, nullptr};
        const int status = run_engine(2, argv, starter);
        std::fflush(stderr);
        ::_exit(status);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool failing_starter(const std::string&, std::string& reason) {
    reason = "no coder modules were found";
    return false;
}

bool started_starter(const std::string&, std::string&) {
    return true;
}

TEST(RunEngine, ImageMagickThatCannotStartIsReportedAndEndsWith3) {
    test::TempDir dir;
    EXPECT_EQ(run_engine_in_child(dir, failing_starter), kExitNoImaging);
    const std::string message = "ImageMagick cannot be started: no coder modules were found";
    EXPECT_EQ(read_file(dir / "Tarvik_morvane.log"), message + "\r\n");
    EXPECT_EQ(read_file(dir / "stderr"), "Tarvik_morvane: " + message + "\n");
}

TEST(RunEngine, StartedImageMagickGoesOnToTheJob) {
    test::TempDir dir;
    EXPECT_EQ(run_engine_in_child(dir, started_starter), kExitNoSource);
    EXPECT_EQ(
        read_file(dir / "Tarvik_morvane.log"),
        "Source key not found\r\niniPath: /nowhere/job.ini\r\nCmdLine: C|/nowhere/job.ini\r\n");
    EXPECT_EQ(read_file(dir / "stderr"), "");
}

}  // namespace
}  // namespace morvane
