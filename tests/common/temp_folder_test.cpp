#include "temp_folder.h"

#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

// Sets or clears TMPDIR for one test and puts the old value back afterwards.
class TmpdirOverride {
  public:
    explicit TmpdirOverride(const char* value) {
        if (const char* old = std::getenv("TMPDIR")) saved_ = old;
        value ? ::setenv("TMPDIR", value, 1) : ::unsetenv("TMPDIR");
    }
    ~TmpdirOverride() { saved_ ? ::setenv("TMPDIR", saved_->c_str(), 1) : ::unsetenv("TMPDIR"); }

  private:
    std::optional<std::string> saved_;
};

std::string private_folder_path() {
    return "/tmp/tarvik_morvane-" + std::to_string(::getuid());
}

bool path_exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

TEST(TempFolderUserTest, TmpdirNamingADirectoryIsUsedWithoutTrailingSlashes) {
    test::TempDir dir;
    const std::pair<std::string, std::string> cases[] = {{dir.path(), dir.path()},
                                                         {dir / "", dir.path()},
                                                         {dir / "//", dir.path()},
                                                         {"/", "/"},
                                                         {"///", "/"}};
    for (const auto& [value, expected] : cases) {
        TmpdirOverride tmpdir(value.c_str());
        EXPECT_EQ(user_temp_folder(), std::optional<std::string>(expected)) << value;
    }
}

// The fallback folder is shared with everything else the user runs, so it is only made
// (and removed again) by the test when it was not there before.
TEST(TempFolderUserTest, UnusableTmpdirFallsBackToThePrivateFolder) {
    test::TempDir dir;
    test::write_file(dir / "file", "x");
    const std::string fallback = private_folder_path();
    const bool existed = path_exists(fallback);
    const std::string file = dir / "file";
    const std::string missing = dir / "missing";
    for (const char* value :
         {static_cast<const char*>(nullptr), "", file.c_str(), missing.c_str()}) {
        TmpdirOverride tmpdir(value);
        const std::optional<std::string> folder = user_temp_folder();
        if (existed && !folder) continue;  // someone else's unusable folder: nothing to check
        EXPECT_EQ(folder, std::optional<std::string>(fallback)) << (value ? value : "unset");
    }
    if (!existed) {
        struct stat info {};
        ASSERT_EQ(::lstat(fallback.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ::rmdir(fallback.c_str());
    }
}

TEST(TempFolderPrivateTest, MissingFolderIsMadeWithMode0700WhateverTheUmask) {
    test::TempDir dir;
    const mode_t old_mask = ::umask(0277);
    const bool made = ensure_private_folder(dir / "private");
    ::umask(old_mask);
    ASSERT_TRUE(made);
    struct stat info {};
    ASSERT_EQ(::lstat((dir / "private").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_EQ(info.st_mode & 07777, 0700u);
    EXPECT_TRUE(ensure_private_folder(dir / "private"));  // a second call accepts it
}

struct RefusalCase {
    const char* what;
    mode_t folder_mode;  // 0: the path is made otherwise (file or link)
};

std::ostream& operator<<(std::ostream& out, const RefusalCase& c) {
    return out << c.what;
}

class TempFolderRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(TempFolderRefusalTest, UnsafeExistingPathIsRefused) {
    const RefusalCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir / "private";
    const std::string what = c.what;
    if (what == "file") {
        test::write_file(path, "");
    } else if (what == "symlink") {
        ASSERT_EQ(::mkdir((dir / "real").c_str(), 0700), 0);
        ASSERT_EQ(::symlink((dir / "real").c_str(), path.c_str()), 0);
    } else if (what == "dangling symlink") {
        ASSERT_EQ(::symlink((dir / "nowhere").c_str(), path.c_str()), 0);
    } else {
        ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
        ASSERT_EQ(::chmod(path.c_str(), c.folder_mode), 0);
    }
    EXPECT_FALSE(ensure_private_folder(path)) << what;
    EXPECT_FALSE(path_exists(dir / "nowhere"));  // a link's target is never created
}

INSTANTIATE_TEST_SUITE_P(TempFolder, TempFolderRefusalTest,
                         ::testing::Values(RefusalCase{"file", 0}, RefusalCase{"symlink", 0},
                                           RefusalCase{"dangling symlink", 0},
                                           RefusalCase{"group readable", 0740},
                                           RefusalCase{"group writable", 0720},
                                           RefusalCase{"other executable", 0701},
                                           RefusalCase{"open to all", 0777}));

TEST(TempFolderPrivateTest, FolderThatCannotBeMadeIsRefused) {
    test::TempDir dir;
    EXPECT_FALSE(ensure_private_folder(dir / "missing/private"));
}

}  // namespace
}  // namespace morvane
