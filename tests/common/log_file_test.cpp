#include "log_file.h"

#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

TEST(LogFileTest, BytesAreWrittenExactly) {
    test::TempDir dir;
    const std::string path = dir / "run.log";
    const std::string bytes =
        std::string("line one\r\nline\ttwo\n\r\n\xC3\xA9t\xC3\xA9") + std::string(1, '\0') + "end";
    {
        LogFile log;
        ASSERT_TRUE(log.open(path));
        EXPECT_TRUE(log.is_open());
        log.write(bytes);
        log.printf("%s=%d%%\r\n", "quality", 85);
    }  // the destructor closes and flushes
    EXPECT_EQ(test::read_file(path), bytes + "quality=85%\r\n");

    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

class LogFilePrintfTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(LogFilePrintfTest, TextOfAnyLengthIsWrittenWhole) {
    test::TempDir dir;
    const std::string long_path = "/" + std::string(GetParam(), 'p') + ".png";
    LogFile log;
    ASSERT_TRUE(log.open(dir / "run.log"));
    log.printf("Converting %s ... %s\r\n", long_path.c_str(), "OK");
    log.close();
    EXPECT_FALSE(log.is_open());
    EXPECT_EQ(test::read_file(dir / "run.log"), "Converting " + long_path + " ... OK\r\n");
}

// Lengths around the formatting buffer's first size, and far beyond it.
INSTANTIATE_TEST_SUITE_P(LogFile, LogFilePrintfTest,
                         ::testing::Values(0u, 480u, 482u, 483u, 484u, 511u, 512u, 10000u,
                                           100000u));

TEST(LogFileTest, FlushMakesTextVisibleAndReopeningTruncates) {
    test::TempDir dir;
    const std::string path = dir / "run.log";
    LogFile log;
    ASSERT_TRUE(log.open(path));
    log.write("a long first run\r\n");
    log.flush();
    EXPECT_EQ(test::read_file(path), "a long first run\r\n");

    ASSERT_TRUE(log.open(path));  // the same object opens again: old text gone
    log.write("2nd\r\n");
    log.close();
    EXPECT_EQ(test::read_file(path), "2nd\r\n");

    LogFile other;
    ASSERT_TRUE(other.open(path));
    other.close();
    EXPECT_EQ(test::read_file(path), "");
}

TEST(LogFileTest, SymbolicLinkIsNotFollowed) {
    test::TempDir dir;
    test::write_file(dir / "target", "precious");
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "run.log").c_str()), 0);
    LogFile log;
    EXPECT_FALSE(log.open(dir / "run.log"));
    EXPECT_FALSE(log.is_open());
    EXPECT_FALSE(log.open(dir / "missing/run.log"));
    log.write("ignored");  // writing to a log that is not open does nothing
    log.printf("%d", 1);
    log.flush();
    EXPECT_EQ(test::read_file(dir / "target"), "precious");
}

}  // namespace
}  // namespace morvane
