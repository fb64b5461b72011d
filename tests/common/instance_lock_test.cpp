#include "instance_lock.h"

#include <memory>
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
        ::_exit(lock.acquire(folder) ? 0 : 1);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(InstanceLockTest, SecondHolderFailsUntilTheFirstGoes) {
    test::TempDir dir;
    auto first = std::make_unique<InstanceLock>();
    ASSERT_TRUE(first->acquire(dir.path()));
    InstanceLock second;
    EXPECT_FALSE(second.acquire(dir.path()));
    EXPECT_FALSE(other_process_acquires(dir.path()));

    first.reset();
    EXPECT_TRUE(other_process_acquires(dir.path()));
    EXPECT_TRUE(second.acquire(dir.path()));
}

TEST(InstanceLockTest, LockFileIsPrivateAndLocksAreFolderWide) {
    test::TempDir dir;
    test::make_folder(dir / "a");
    test::make_folder(dir / "b");
    InstanceLock in_a;
    InstanceLock in_b;
    ASSERT_TRUE(in_a.acquire(dir / "a"));
    EXPECT_TRUE(in_b.acquire(dir / "b"));  // another temporary folder, another lock

    struct stat info {};
    ASSERT_EQ(::lstat((dir / "a/Tarvik_morvane.lock").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(InstanceLockTest, UnopenableLockFileFails) {
    test::TempDir dir;
    InstanceLock missing_folder;
    EXPECT_FALSE(missing_folder.acquire(dir / "missing"));

    test::write_file(dir / "target", "keep");
    ASSERT_EQ(::symlink((dir / "target").c_str(), (dir / "Tarvik_morvane.lock").c_str()), 0);
    InstanceLock through_link;
    EXPECT_FALSE(through_link.acquire(dir.path()));
    EXPECT_EQ(test::read_file(dir / "target"), "keep");
}

}  // namespace
}  // namespace morvane
