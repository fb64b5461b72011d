#include "path_util.h"

#include "program_folder.h"

#include <ostream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

struct TidyCase {
    const char* input;
    const char* tidy;     // tidy_path
    const char* network;  // tidy_network_path
    const char* source;   // tidy_source_path
};

std::ostream& operator<<(std::ostream& out, const TidyCase& c) {
    return out << '"' << c.input << '"';
}

class TidyTest : public ::testing::TestWithParam<TidyCase> {};

TEST_P(TidyTest, EachVariantGivesItsResult) {
    const TidyCase& c = GetParam();
    std::string tidy = c.input;
    tidy_path(tidy);
    EXPECT_EQ(tidy, c.tidy);
    std::string network = c.input;
    tidy_network_path(network);
    EXPECT_EQ(network, c.network);
    std::string source = c.input;
    tidy_source_path(source);
    EXPECT_EQ(source, c.source);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TidyTest,
    ::testing::Values(TidyCase{"", "", "", ""}, TidyCase{"/", "/", "/", "/"},
                      TidyCase{"//", "/", "//", "//"}, TidyCase{"///", "/", "//", "//"},
                      TidyCase{"//a", "/a", "//a", "//a"}, TidyCase{"///x", "/x", "//x", "//x"},
                      TidyCase{"////x//y", "/x/y", "//x/y", "//x/y"},
                      TidyCase{"//srv//Pics/a.png", "/srv/Pics/a.png", "//srv/Pics/a.png",
                               "//srv/Pics/a.png"},
                      TidyCase{"a//b", "a/b", "a/b", "a/b"},
                      TidyCase{"/a\\\\b//c", "/a\\\\b/c", "/a\\\\b/c", "/a\\\\b/c"}));

struct SplitCase {
    const char* path;
    const char* folder;
    const char* name;
    const char* ext;
};

std::ostream& operator<<(std::ostream& out, const SplitCase& c) {
    return out << '"' << c.path << '"';
}

class SplitPathTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitPathTest, PartsAreCutAtTheLastSlashAndTheFileNamesLastDot) {
    const SplitCase& c = GetParam();
    const PathParts parts = split_path(c.path);
    EXPECT_EQ(parts.drive, "");
    EXPECT_EQ(parts.folder, c.folder);
    EXPECT_EQ(parts.name, c.name);
    EXPECT_EQ(parts.ext, c.ext);
    EXPECT_EQ(parts.folder + parts.name + parts.ext, c.path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitPathTest,
    ::testing::Values(SplitCase{"/home/u/pic.png", "/home/u/", "pic", ".png"},
                      SplitCase{"/home/u/pic.tar.gz", "/home/u/", "pic.tar", ".gz"},
                      SplitCase{"/home/u/.hidden", "/home/u/", "", ".hidden"},
                      SplitCase{"/home/u/README", "/home/u/", "README", ""},
                      SplitCase{"a.b/c", "a.b/", "c", ""},
                      SplitCase{"/x.y/z.w/file", "/x.y/z.w/", "file", ""},
                      SplitCase{"/home/u/dir/", "/home/u/dir/", "", ""},
                      SplitCase{"/home/u/name.", "/home/u/", "name", "."},
                      SplitCase{"plain.jpg", "", "plain", ".jpg"},
                      SplitCase{"plain", "", "plain", ""}, SplitCase{"", "", "", ""},
                      SplitCase{"/", "/", "", ""},
                      SplitCase{"//srv/share/IMG_1.JPG", "//srv/share/", "IMG_1", ".JPG"}));

TEST(PathJoinTest, JoinsWithOneSlashAndTidies) {
    EXPECT_EQ(join_path("/tmp", "t.log"), "/tmp/t.log");
    EXPECT_EQ(join_path("/tmp/", "t.log"), "/tmp/t.log");
    EXPECT_EQ(join_path("/tmp//a/", "/b//c"), "/tmp/a/b/c");
    EXPECT_EQ(join_path("", "x"), "/x");
    EXPECT_EQ(join_path("dir", ""), "dir/");
}

bool is_folder(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

struct CreateCase {
    const char* relative;  // appended to the scratch folder
    bool file_folders;     // create_file_folders instead of create_folder_path
    std::vector<const char*> folders;
    std::vector<const char*> absent;
};

std::ostream& operator<<(std::ostream& out, const CreateCase& c) {
    return out << '"' << c.relative << (c.file_folders ? "\" as a file" : "\" as a folder");
}

class PathCreateFoldersTest : public ::testing::TestWithParam<CreateCase> {};

TEST_P(PathCreateFoldersTest, MakesEveryFolderAndNeverTheFileName) {
    const CreateCase& c = GetParam();
    test::TempDir dir;
    const std::string path = dir.path() + c.relative;
    if (c.file_folders) {
        create_file_folders(path);
    } else {
        create_folder_path(path);
    }
    for (const char* folder : c.folders) EXPECT_TRUE(is_folder(dir.path() + folder)) << folder;
    for (const char* name : c.absent) EXPECT_FALSE(test::exists(dir.path() + name)) << name;
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathCreateFoldersTest,
    ::testing::Values(CreateCase{"/a/b/c", false, {"/a", "/a/b", "/a/b/c"}, {}},
                      CreateCase{"/a/b/c/", false, {"/a", "/a/b", "/a/b/c"}, {}},
                      CreateCase{"//a///b", false, {"/a", "/a/b"}, {}},
                      CreateCase{"/a/b/pic.jpg", true, {"/a", "/a/b"}, {"/a/b/pic.jpg"}},
                      CreateCase{"/a//b//pic", true, {"/a", "/a/b"}, {"/a/b/pic"}},
                      CreateCase{"/pic.jpg", true, {}, {"/pic.jpg"}}));

TEST(PathCreateExistingTest, ExistingFoldersAndFilesInTheWayAreTolerated) {
    test::TempDir dir;
    test::make_folder(dir / "a/b");
    test::write_file(dir / "a/b/keep.txt", "kept");
    create_folder_path(dir / "a/b/c");
    EXPECT_TRUE(is_folder(dir / "a/b/c"));
    EXPECT_EQ(test::read_file(dir / "a/b/keep.txt"), "kept");

    // A file where a folder should be: nothing below it can be made, and nothing breaks.
    test::write_file(dir / "f", "x");
    create_folder_path(dir / "f/g/h");
    EXPECT_FALSE(test::exists(dir / "f/g"));
    EXPECT_EQ(test::read_file(dir / "f"), "x");
}

TEST(PathProgramFolderTest, FolderOfTheRunningProgramEndsInASlash) {
    const std::string folder = program_folder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(test::exists(folder + "common_tests"));
}

}  // namespace
}  // namespace morvane
