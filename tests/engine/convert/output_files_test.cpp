#include "output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "convert_fixture.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;

class WriteOutput : public ConvertTest {};

TEST_F(WriteOutput, WritesTheBytesUnderTheNameWithTheUsualMode) {
    const mode_t old_mask = ::umask(022);
    std::string reason;
    const std::string path = out("a%d [1].jpg");
    EXPECT_EQ(write_output_file(path, "jpeg", 4, false, reason), Result::Written);
    ::umask(old_mask);
    EXPECT_EQ(read_file(path), "jpeg");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    EXPECT_EQ(list_folder(dir_ / "out"), Names{"a%d [1].jpg"});
}

TEST_F(WriteOutput, ReplacesOrKeepsAnExistingFileAsAsked) {
    const std::string path = out("a.jpg");
    write_file(path, "old");
    std::string reason;
    EXPECT_EQ(write_output_file(path, "new", 3, false, reason), Result::Kept);
    EXPECT_EQ(read_file(path), "old");
    EXPECT_EQ(write_output_file(path, "new", 3, true, reason), Result::Written);
    EXPECT_EQ(read_file(path), "new");
    EXPECT_EQ(list_folder(dir_ / "out"), Names{"a.jpg"});  // no work file left behind
}

TEST_F(WriteOutput, FailsWithAReasonAndLeavesNothing) {
    std::string reason;
    EXPECT_EQ(write_output_file(out("missing/a.jpg"), "x", 1, true, reason), Result::Failed);
    EXPECT_NE(reason.find("No such file or directory"), std::string::npos) << reason;
    write_file(out("file"), "");
    EXPECT_EQ(write_output_file(out("file/a.jpg"), "x", 1, true, reason), Result::Failed);
    EXPECT_NE(reason.find("Not a directory"), std::string::npos) << reason;
    // An existing folder in the output's place cannot be replaced by a file.
    make_folder(out("taken.jpg"));
    EXPECT_EQ(write_output_file(out("taken.jpg"), "x", 1, true, reason), Result::Failed);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(list_folder(dir_ / "out"), (Names{"file", "taken.jpg"}));
}

TEST(OutputFiles, ExistenceAndSameFile) {
    TempDir dir;
    write_file(dir / "a", "a");
    write_file(dir / "b", "a");
    ASSERT_EQ(::link((dir / "a").c_str(), (dir / "hard").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (dir / "dangling").c_str()), 0);
    EXPECT_TRUE(output_exists(dir / "a"));
    EXPECT_TRUE(output_exists(dir / "dangling"));
    EXPECT_FALSE(output_exists(dir / "c"));
    EXPECT_TRUE(is_same_file(dir / "a", dir / "a"));
    EXPECT_TRUE(is_same_file(dir / "a", dir.path() + "//./a"));
    EXPECT_TRUE(is_same_file(dir / "a", dir / "hard"));
    EXPECT_FALSE(is_same_file(dir / "a", dir / "b"));
    EXPECT_FALSE(is_same_file(dir / "c", dir / "c"));
}

class MoveSource : public ConvertTest {
  protected:
    MoveSource() {
        job_.move = 1;
        job_.move_path = dir_ / "done";
        make_folder(job_.move_path);
        write_file(source_, "source bytes");
    }
    std::string moved_line(const std::string& to) {
        return "The file " + source_ + " has been moved to " + to + "\r\n";
    }
    std::string failed_line(const std::string& to) {
        return "The file " + source_ + " could not be moved to " + to + "\r\n";
    }
    const std::string source_ = src("photo.png");
};

TEST_F(MoveSource, ReplacesAnOlderFileAndKeepsBytesModeAndTime) {
    write_file(job_.move_path + "/photo.png", "older");
    ASSERT_EQ(::chmod(source_.c_str(), 0640), 0);
    const timespec times[2] = {{1000000000, 0}, {1100000000, 500}};
    ASSERT_EQ(::utimensat(AT_FDCWD, source_.c_str(), times, 0), 0);
    job_.move_path += "/";  // the destination is tidied
    move_source(ctx_, source_);
    const std::string destination = dir_ / "done/photo.png";
    EXPECT_FALSE(exists(source_));
    EXPECT_EQ(read_file(destination), "source bytes");
    struct stat info {};
    ASSERT_EQ(::stat(destination.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, 1100000000);
    EXPECT_EQ(info.st_mtim.tv_nsec, 500);
    EXPECT_EQ(list_folder(dir_ / "done"), Names{"photo.png"});
    EXPECT_EQ(log_text(), moved_line(destination));
}

TEST_F(MoveSource, AMissingFolderLeavesTheSourceInPlace) {
    job_.move_path = dir_ / "nowhere";
    move_source(ctx_, source_);
    EXPECT_EQ(read_file(source_), "source bytes");
    EXPECT_FALSE(exists(job_.move_path));
    EXPECT_EQ(log_text(), failed_line(dir_ / "nowhere/photo.png"));
}

TEST_F(MoveSource, RefusesToMoveTheSourceOntoItself) {
    job_.move_path = dir_ / "src";
    move_source(ctx_, source_);
    EXPECT_EQ(read_file(source_), "source bytes");
    EXPECT_EQ(list_folder(dir_ / "src"), Names{"photo.png"});
    EXPECT_EQ(log_text(), failed_line(source_));
}

TEST_F(MoveSource, AnEmptyMoveFolderMovesNothing) {
    job_.move_path.clear();
    move_source(ctx_, source_);
    EXPECT_EQ(read_file(source_), "source bytes");
    EXPECT_EQ(log_text(), failed_line("/photo.png"));
}

TEST(CleanTempFolder, RemovesWhatTheRunMadeButNeverLogsOrFolders) {
    TempDir dir;
    for (const char* name : {"page1.pnm", "tmp.jpg", "run.log", "OLD.LOG", "t.log", "other.jpg"}) {
        write_file(dir / name, "x");
    }
    make_folder(dir / "frames.d");
    TempFiles temp{dir.path(), {}};
    for (const char* name :
         {"page1.pnm", "tmp.jpg", "run.log", "OLD.LOG", "frames.d", "gone.pnm"}) {
        temp.add(dir / name);
    }
    clean_temp_folder(temp, dir / "t.log");
    EXPECT_EQ(list_folder(dir.path()), (Names{"OLD.LOG", "frames.d", "other.jpg", "run.log"}));
    EXPECT_TRUE(temp.created.empty());
}

}  // namespace
}  // namespace morvane::test
