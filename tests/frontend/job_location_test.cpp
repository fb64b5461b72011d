// Where the window keeps its job file.

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "job_location.h"
#include "test_support.h"

namespace morvane::test {
namespace {

TEST(JobLocation, AWritableProgramFolderKeepsTheJobBesideThePrograms) {
    TempDir dir;
    EXPECT_EQ(choose_job_file(dir.path() + "/", "/cfg", "/home/u"), dir / "Tarvik_morvane.ini");
}

TEST(JobLocation, OtherwiseTheJobLivesInTheUsersConfigFolder) {
    EXPECT_EQ(choose_job_file("/no/such/folder/", "/cfg", "/home/u"),
              "/cfg/Tarvik_morvane/Tarvik_morvane.ini");
    EXPECT_EQ(choose_job_file("/no/such/folder/", "", "/home/u"),
              "/home/u/.config/Tarvik_morvane/Tarvik_morvane.ini");
    EXPECT_EQ(choose_job_file("/no/such/folder/", "relative", "/home/u"),
              "/home/u/.config/Tarvik_morvane/Tarvik_morvane.ini");
}

TEST(JobLocation, TheUsersJobStartsAsACopyOfTheDefaultAndIsNeverReplaced) {
    TempDir dir;
    write_file(dir / "default.ini", "[JPEG]\r\nquality=80\r\n");
    const std::string user = dir / "cfg/Tarvik_morvane/Tarvik_morvane.ini";
    EXPECT_TRUE(make_user_job_file(dir / "default.ini", user));
    EXPECT_EQ(read_file(user), "[JPEG]\r\nquality=80\r\n");
    write_file(user, "mine");
    EXPECT_TRUE(make_user_job_file(dir / "default.ini", user));
    EXPECT_EQ(read_file(user), "mine");
    EXPECT_TRUE(make_user_job_file(dir / "missing.ini", dir / "other.ini"));
    EXPECT_FALSE(exists(dir / "other.ini"));  // no default: the window's own defaults
}

}  // namespace
}  // namespace morvane::test

namespace morvane::test {
namespace {

// As user "nobody" (a test run by root drops to it in a child): a program folder the
// user cannot write sends the job to the user's config folder.
TEST(JobLocation, AProgramFolderTheUserCannotWriteIsPassedOver) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    const std::string folder = dir.path() + "/";
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
        EXPECT_EQ(choose_job_file(folder, "/cfg", "/h"), "/cfg/Tarvik_morvane/Tarvik_morvane.ini");
        ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
        return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(2);
        _exit(choose_job_file(folder, "/cfg", "/h") == "/cfg/Tarvik_morvane/Tarvik_morvane.ini"
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become user 65534";
}

}  // namespace
}  // namespace morvane::test
