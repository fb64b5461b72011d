#include "instance_lock.h"

#include <memory>
#include <ostream>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

// Tries the lock from a child process; true when the child got it.
bool other_process_acquires(const std::string& folder) {
    const pid_t child = ::fork();
    if (child == 0) {
        InstanceLock lock;
        std::string reason;
        ::_exit(lock.acquire(folder, reason) == LockStatus::Taken ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(InstanceLockTest, SecondHolderFailsUntilTheFirstGoes) {
    test::TempDir dir;
    std::string reason;
    auto first = std::make_unique<InstanceLock>();
    ASSERT_EQ(first->acquire(dir.path(), reason), LockStatus::Taken);
    InstanceLock second;
    EXPECT_EQ(second.acquire(dir.path(), reason), LockStatus::HeldByAnother);
    EXPECT_FALSE(other_process_acquires(dir.path()));

    first.reset();
    EXPECT_TRUE(other_process_acquires(dir.path()));
    EXPECT_EQ(second.acquire(dir.path(), reason), LockStatus::Taken);
}

TEST(InstanceLockTest, LockFileIsPrivateAndLocksAreFolderWide) {
    test::TempDir dir;
    test::make_folder(dir / "a");
    test::make_folder(dir / "b");
    InstanceLock in_a;
    InstanceLock in_b;
    std::string reason;
    ASSERT_EQ(in_a.acquire(dir / "a", reason), LockStatus::Taken);
    // another temporary folder, another lock
    EXPECT_EQ(in_b.acquire(dir / "b", reason), LockStatus::Taken);

    struct stat info {};
    ASSERT_EQ(::lstat((dir / "a/Tarvik_morvane.lock").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

struct UnusableCase {
    const char* name;
    const char* reason;
};

std::ostream& operator<<(std::ostream& out, const UnusableCase& c) {
    return out << c.name;
}

class UnusableLockFile : public ::testing::TestWithParam<UnusableCase> {};

// Something other than a lock file at its name is a failure with its reason, never
// "another engine runs", and what the name points to is left alone.
TEST_P(UnusableLockFile, FailsWithTheReason) {
    const UnusableCase& c = GetParam();
    test::TempDir dir;
    const std::string name = c.name;
    const std::string lock_path = dir / "Tarvik_morvane.lock";
    std::string folder = dir.path();
    if (name == "missing_folder") folder = dir / "missing";
    if (name == "link" || name == "dangling_link") {
        if (name == "link") test::write_file(dir / "target", "keep");
        ASSERT_EQ(::symlink((dir / "target").c_str(), lock_path.c_str()), 0);
    }
    if (name == "fifo") {
        ASSERT_EQ(::mkfifo(lock_path.c_str(), 0600), 0);
    }
    if (name == "folder") test::make_folder(lock_path);

    InstanceLock lock;
    std::string reason;
    EXPECT_EQ(lock.acquire(folder, reason), LockStatus::Failed);
    EXPECT_EQ(reason, c.reason);
    if (name == "link") {
        EXPECT_EQ(test::read_file(dir / "target"), "keep");
    }
    if (name == "dangling_link") {
        EXPECT_FALSE(test::exists(dir / "target"));
    }
}

INSTANTIATE_TEST_SUITE_P(Lock, UnusableLockFile,
                         ::testing::Values(UnusableCase{"missing_folder",
                                                        "No such file or directory"},
                                           UnusableCase{"link", "it is a symbolic link"},
                                           UnusableCase{"dangling_link", "it is a symbolic link"},
                                           UnusableCase{"fifo", "it is not a regular file"},
                                           UnusableCase{"folder", "Is a directory"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvane
