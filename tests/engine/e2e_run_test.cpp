// The engine's run as a whole: command-line forms, exit statuses, the log's bytes, the
// walks, FILES mode, the overwrite rule and the source move.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace morvane::test {
namespace {

class EngineRun : public EngineTest {};

TEST_F(EngineRun, FolderRunWritesHeaderLinesAndFooterByteForByte) {
    make_picture(in_ + "/a.png");
    write_job({"move_path=/nowhere", "[FORMATS]", "PNG=1", "[JPEG]", "quality=80", "progressive=1",
               "[PARAMS]", "size=32x24", "aspect_ratio=1"});
    ASSERT_EQ(run(), 0);
    HeaderValues v;
    v.source = in_;
    v.target = out_;
    v.quality = 80;
    v.progressive = 1;
    v.size = "32x24";
    v.aspect = true;
    v.move_to = "/nowhere";
    EXPECT_EQ(log(), expected_header(v) + in_ + "/a.png converted\r\n" + expected_footer(1));
    EXPECT_TRUE(read_picture(out_ + "/a.jpg").ok);
}

TEST_F(EngineRun, MissingSourceKeyLogsThreeLinesAndEndsWith100) {
    write_job_text("[FOLDERS]\r\ntarget=/out\r\n");
    EXPECT_EQ(run({"X|anything"}), 100);
    EXPECT_EQ(log(), "Source key not found\r\niniPath: " + job_ + "\r\nCmdLine: X|anything\r\n");
}

TEST_F(EngineRun, MissingTargetKeyLogsTwoLinesAndEndsWith101) {
    write_job_text("[FOLDERS]\r\nsource=/in\r\n");
    EXPECT_EQ(run({"C|" + job_}), 101);
    EXPECT_EQ(log(), "Target key not found\r\nCmdLine: C|" + job_ + "\r\n");
}

TEST_F(EngineRun, CFormReadsTheNamedJobFileEvenWhenQuoted) {
    const std::string other = dir_ / "other.ini";
    write_file(other, "[FOLDERS]\r\nsource=/elsewhere\r\ntarget=/x\r\n");
    write_job();
    ASSERT_EQ(run({"\"C|" + other + "\""}), 0);
    EXPECT_NE(log().find("qopPath: /elsewhere\r\n"), std::string::npos);
}

// The job file beside the program names other folders; only the named one counts.
TEST_F(EngineRun, GFormConvertsWhatTheJobFileItNamesSays) {
    const std::string source = dir_ / "elsewhere/in";
    const std::string target = dir_ / "elsewhere/out";
    const std::string other = dir_ / "jobs/monitored.ini";
    make_folder(source);
    make_folder(dir_ / "jobs");
    make_picture(source + "/a.png");
    make_picture(in_ + "/b.png");
    write_file(other, "[FOLDERS]\r\nsource=" + source + "\r\ntarget=" + target +
                          "\r\n[FORMATS]\r\nPNG=1\r\n");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + other}), 0);
    EXPECT_NE(log().find("qopPath: " + source + "\r\n"), std::string::npos);
    EXPECT_EQ(log_body(), source + "/a.png converted\r\n");
    EXPECT_TRUE(read_picture(target + "/a.jpg").ok);
    EXPECT_FALSE(exists(out_));
}

struct SilentCase {
    const char* name;
    std::vector<std::string> args;
};

class SilentEnd : public EngineTest, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SilentEnd, IncompleteFormEndsAtOnceWithAnEmptyLog) {
    write_file(tmp_ + "/Tarvik_morvane.log", "old");
    write_job();
    EXPECT_EQ(run(GetParam().args), 0);
    EXPECT_EQ(log(), "");
}

INSTANTIATE_TEST_SUITE_P(Forms, SilentEnd,
                         ::testing::Values(SilentCase{"g_alone", {"G"}},
                                           SilentCase{"c_alone", {"C"}},
                                           SilentCase{"p_alone", {"P"}},
                                           SilentCase{"q_three_fields", {"Q|a.bmp|b.jpg"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineRun, PFormWithoutTargetKeyEndsSilently) {
    write_job_text("[FOLDERS]\r\nsource=/in\r\n");
    EXPECT_EQ(run({"P|" + in_ + "/pic.png"}), 0);
    EXPECT_EQ(log(), "");
}

TEST_F(EngineRun, LogThatCannotBeCreatedEndsWith1) {
    make_folder(tmp_ + "/Tarvik_morvane.log");  // a folder where the log should go
    write_job();
    EXPECT_EQ(run(), 1);
}

TEST_F(EngineRun, SecondEngineLeavesTheRunningOnesLogAlone) {
    write_file(tmp_ + "/Tarvik_morvane.log", "running engine's log");
    const int fd = open((tmp_ + "/Tarvik_morvane.lock").c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    write_job();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(log(), "running engine's log");
    close(fd);
    write_job({"[PARAMS]", "mono_instance=0"});
    const int again = open((tmp_ + "/Tarvik_morvane.lock").c_str(), O_RDWR);
    ASSERT_EQ(flock(again, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(run(), 0);  // without the single-instance rule the lock is not asked for
    EXPECT_NE(log(), "running engine's log");
    close(again);
}

// Another run holds the lock; the job file the run reads decides whether it matters.
struct LockCase {
    const char* name;
    const char* form;  // followed by the named job file, or by the source for "P"
    int named_mono;
    int default_mono;
    bool turned_away;
};

class LockFromTheRunsJob : public EngineTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(LockFromTheRunsJob, DecidesWhetherAnotherRunTurnsThisOneAway) {
    const LockCase& c = GetParam();
    const std::string named = dir_ / "jobs/named.ini";
    make_folder(dir_ / "jobs");
    make_folder(out_);
    make_picture(in_ + "/a.png");
    const std::string folders = "[FOLDERS]\r\nsource=" + in_ + "\r\ntarget=" + out_ + "\r\n";
    write_file(named, folders + "[PARAMS]\r\nmono_instance=" + std::to_string(c.named_mono) +
                          "\r\n[FORMATS]\r\nPNG=1\r\n");
    write_job(
        {"[FORMATS]", "PNG=1", "[PARAMS]", "mono_instance=" + std::to_string(c.default_mono)});
    write_file(tmp_ + "/Tarvik_morvane.log", "running engine's log");
    const int fd = open((tmp_ + "/Tarvik_morvane.lock").c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    const std::string form = c.form;
    const std::string args = form == "P"   ? "P|" + in_ + "/a.png"
                             : form == "Q" ? "Q|" + in_ + "/a.png|" + dir_ / "q.jpg|" + named
                                           : form + "|" + named;
    EXPECT_EQ(run({args}), 0);
    close(fd);
    if (c.turned_away) {
        EXPECT_EQ(log(), "running engine's log");
        EXPECT_EQ(list_folder(out_), std::vector<std::string>{});
    } else {
        EXPECT_NE(log().find("a.png converted\r\n"), std::string::npos) << log();
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, LockFromTheRunsJob,
                         ::testing::Values(LockCase{"c_named_job_asks", "C", 1, 0, true},
                                           LockCase{"c_named_job_waives", "C", 0, 1, false},
                                           LockCase{"g_named_job_asks", "G", 1, 0, true},
                                           LockCase{"g_named_job_waives", "G", 0, 1, false},
                                           LockCase{"q_named_job_asks", "Q", 1, 0, true},
                                           LockCase{"q_named_job_waives", "Q", 0, 1, false},
                                           LockCase{"p_default_job_asks", "P", 0, 1, true},
                                           LockCase{"p_default_job_waives", "P", 1, 0, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineRun, SingleFileFormsLogWithoutTheExclamationMark) {
    make_picture(in_ + "/pic.png");
    write_file(in_ + "/bad.png", "not a picture");
    make_folder(out_);
    write_job({"[JPEG]", "quality=60"});
    ASSERT_EQ(run({"P|" + in_ + "/pic.png"}), 0);
    EXPECT_EQ(log_body(), in_ + "/pic.png converted\r\n");
    EXPECT_EQ(read_picture(out_ + "/pic.jpg").quality, 60);

    ASSERT_EQ(run({"P|" + in_ + "/pic.png|" + out_ + "/named.jpg"}), 0);
    EXPECT_TRUE(exists(out_ + "/named.jpg"));

    ASSERT_EQ(run({"P|" + in_ + "/bad.png|" + out_ + "/bad.jpg"}), 0);
    const std::string body = log_body();
    EXPECT_NE(body.find("Could not convert " + in_ + "/bad.png\r\n"), std::string::npos) << body;
    EXPECT_EQ(log().substr(log().size() - expected_footer(1).size()), expected_footer(1));
}

TEST_F(EngineRun, QFormNamesJobSourceAndOutput) {
    make_picture(in_ + "/a.bmp", {.format = "BMP"});
    make_folder(out_);
    const std::string other = dir_ / "q.ini";
    write_file(other, "[FOLDERS]\r\nsource=/s\r\ntarget=/t\r\n[PARAMS]\r\nerase=0\r\n");
    write_file(out_ + "/b.jpg", "keep me");
    ASSERT_EQ(run({"Q|" + in_ + "/a.bmp|" + out_ + "/b.jpg|" + other}), 0);
    EXPECT_EQ(
        log_body(),
        "The file " + in_ + "/a.bmp was not created, it already exists in the targer folder.\r\n");
    EXPECT_EQ(read_file(out_ + "/b.jpg"), "keep me");
    EXPECT_NE(log().find("converted files: 1\r\n"), std::string::npos);
}

TEST_F(EngineRun, FileListIsConvertedInKeyOrderAndConsumed) {
    make_picture(in_ + "/one.png");
    make_picture(in_ + "/two.gif", {.format = "GIF"});
    make_picture(in_ + "/walked.png");
    write_file(tmp_ + "/t.log", "[FILES]\r\n1=" + in_ + "/one.png\r\n0=" + in_ + "/two.gif\r\n2=" +
                                    in_ + "/gone.png\r\n4=" + in_ + "/walked.png\r\n");
    write_job();  // no format is on: only the list decides
    ASSERT_EQ(run({"G|" + job_}), 0);
    const std::string body = log_body();
    const std::string first = in_ + "/two.gif converted\r\n" + in_ + "/one.png converted\r\n";
    EXPECT_EQ(body.substr(0, first.size()), first) << body;
    EXPECT_NE(body.find("Could not convert " + in_ + "/gone.png !\r\n"), std::string::npos);
    EXPECT_NE(log().find("converted files: 3\r\n"), std::string::npos);
    EXPECT_FALSE(exists(out_ + "/walked.jpg"));
    EXPECT_FALSE(exists(tmp_ + "/t.log"));
    EXPECT_TRUE(exists(tmp_ + "/Tarvik_morvane.log"));
}

TEST_F(EngineRun, GFormWithoutFileListWalksTheSourceFolder) {
    make_picture(in_ + "/walked.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_TRUE(exists(out_ + "/walked.jpg"));
}

TEST_F(EngineRun, FileListWithOnlyItsHeaderConvertsNothing) {
    make_picture(in_ + "/walked.png");
    write_file(tmp_ + "/t.log", "[FILES]\r\n");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(log_body(), "");
    EXPECT_NE(log().find("converted files: 0\r\n"), std::string::npos);
}

TEST_F(EngineRun, FlatWalkAppliesTheFilterAndTakesDotFiles) {
    for (const char* name : {"a.png", "b.PNG", ".hidden.png", "c.bmp", "noext", "d.jpeg"}) {
        make_picture(in_ + "/" + name);
    }
    make_folder(in_ + "/sub.png");
    make_picture(in_ + "/sub.png/deep.png");
    write_job({"[FORMATS]", "PNG=1", "JPEG=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_), (std::vector<std::string>{".hidden.jpg", "a.jpg", "b.jpg"}));
    EXPECT_NE(log().find("converted files: 3\r\n"), std::string::npos);
}

TEST_F(EngineRun, RecursiveWalkSkipsDotEntriesAndFolderLinks) {
    make_picture(in_ + "/top.png");
    make_picture(in_ + "/.hidden.png");
    make_folder(in_ + "/2005/deep");
    make_picture(in_ + "/2005/deep/d.png");
    make_folder(in_ + "/.cache");
    make_picture(in_ + "/.cache/c.png");
    ASSERT_EQ(symlink(in_.c_str(), (in_ + "/2005/loop").c_str()), 0);
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "recurse=1", "reproduce_path=1",
               "reproduce_path_from_root=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(exists(out_ + "/deep/d.jpg"));
    EXPECT_TRUE(exists(out_ + "/in/top.jpg"));
    EXPECT_NE(log().find("converted files: 2\r\n"), std::string::npos) << log();
}

TEST_F(EngineRun, RecursiveWalkDoesNotWalkIntoItsOwnOutput) {
    out_ = in_ + "/converted";
    make_picture(in_ + "/a.png");
    make_folder(out_);
    make_picture(out_ + "/old.png");
    write_job({"[FORMATS]", "PNG=1", "JPEG=1", "[PARAMS]", "recurse=1", "reproduce_path=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_NE(log().find("converted files: 1\r\n"), std::string::npos) << log();
}

TEST_F(EngineRun, RebuiltSourcePathUnderTheTarget) {
    make_folder(in_ + "/2005");
    make_picture(in_ + "/2005/img.png");
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "recurse=1", "reproduce_path=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(exists(out_ + in_ + "/2005/img.jpg"));
}

TEST_F(EngineRun, MissingSourceFolderConvertsNothing) {
    in_ = dir_ / "absent";
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), "");
    EXPECT_NE(log().find("converted files: 0\r\n"), std::string::npos);
}

TEST_F(EngineRun, BadSourcesAreLoggedAndTheRunGoesOn) {
    write_file(in_ + "/empty.png", "");
    write_file(in_ + "/corrupt.png", "\x89PNG\r\n\x1a\n garbage");
    make_picture(in_ + "/whole.png");
    write_file(in_ + "/truncated.png", read_file(in_ + "/whole.png").substr(0, 100));
    ASSERT_EQ(mkfifo((in_ + "/pipe.png").c_str(), 0600), 0);
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run(), 0);
    const std::string body = log_body();
    for (const char* bad : {"empty.png", "corrupt.png", "truncated.png"}) {
        const std::string path = in_ + "/" + bad;
        EXPECT_NE(body.find("The file " + path + " cannot be read by Tarvik_morvane\r\n\t"),
                  std::string::npos)
            << body;
        EXPECT_NE(body.find("Could not convert " + path + " !\r\n"), std::string::npos);
    }
    EXPECT_NE(body.find(in_ + "/whole.png converted\r\n"), std::string::npos);
    EXPECT_EQ(body.find("pipe.png"), std::string::npos);
    EXPECT_EQ(body.find("\tunknown error"), std::string::npos) << body;
    EXPECT_FALSE(exists(out_ + "/empty.jpg"));
    EXPECT_FALSE(exists(out_ + "/corrupt.jpg"));
}

TEST_F(EngineRun, TargetThatCannotBeWrittenIsLoggedPerFile) {
    write_file(out_, "a file where the target folder should be");
    make_picture(in_ + "/a.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run(), 0);
    const std::string body = log_body();
    EXPECT_EQ(body.rfind("Could not convert " + in_ + "/a.png !\r\n\t", 0), 0u) << body;
}

TEST_F(EngineRun, ExistingOutputStaysWhenEraseIsOff) {
    make_picture(in_ + "/a.png");
    make_picture(in_ + "/a.bmp", {.format = "BMP"});
    make_folder(out_);
    write_file(out_ + "/a.jpg", "precious");
    write_job({"move_path=" + dir_ / "done", "[FORMATS]", "PNG=1", "BMP=1", "[PARAMS]", "erase=0",
               "move=1"});
    make_folder(dir_ / "done");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_file(out_ + "/a.jpg"), "precious");
    EXPECT_TRUE(exists(in_ + "/a.png"));
    EXPECT_TRUE(exists(in_ + "/a.bmp"));
    const std::string kept = " was not created, it already exists in the targer folder.\r\n";
    EXPECT_EQ(log_body(),
              "The file " + in_ + "/a.bmp" + kept + "The file " + in_ + "/a.png" + kept);
}

TEST_F(EngineRun, ConvertedSourcesMoveAndFailedOnesStay) {
    const std::string done = dir_ / "done";
    make_folder(done);
    make_picture(in_ + "/good.png");
    write_file(done + "/good.png", "older copy");
    write_file(in_ + "/bad.png", "not a picture");
    write_job({"move_path=" + done, "[FORMATS]", "PNG=1", "[PARAMS]", "move=1"});
    const std::string original = read_file(in_ + "/good.png");
    ASSERT_EQ(run(), 0);
    EXPECT_FALSE(exists(in_ + "/good.png"));
    EXPECT_EQ(read_file(done + "/good.png"), original);
    EXPECT_TRUE(exists(in_ + "/bad.png"));
    EXPECT_FALSE(exists(done + "/bad.png"));
    EXPECT_NE(log_body().find("The file " + in_ + "/good.png has been moved to " + done +
                              "/good.png\r\n"),
              std::string::npos)
        << log_body();
    EXPECT_EQ(list_folder(done), (std::vector<std::string>{"good.png"}));
}

TEST_F(EngineRun, MoveIntoTheSourceFolderItselfIsRefused) {
    make_picture(in_ + "/a.png");
    const std::string original = read_file(in_ + "/a.png");
    write_job({"move_path=" + in_, "[FORMATS]", "PNG=1", "[PARAMS]", "move=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_file(in_ + "/a.png"), original);
    EXPECT_NE(
        log_body().find("The file " + in_ + "/a.png could not be moved to " + in_ + "/a.png\r\n"),
        std::string::npos)
        << log_body();
}

TEST_F(EngineRun, MoveFolderThatDoesNotExistKeepsTheSource) {
    make_picture(in_ + "/a.png");
    write_job({"move_path=" + dir_ / "absent", "[FORMATS]", "PNG=1", "[PARAMS]", "move=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(exists(in_ + "/a.png"));
    EXPECT_TRUE(exists(out_ + "/a.jpg"));
    EXPECT_NE(log_body().find("could not be moved to " + dir_ / "absent" + "/a.png\r\n"),
              std::string::npos);
}

TEST_F(EngineRun, JpegSourceIntoItsOwnFolderIsNeverReplaced) {
    make_picture(in_ + "/photo.jpg", {.format = "JPEG"});
    const std::string original = read_file(in_ + "/photo.jpg");
    out_ = in_;
    write_job({"[FORMATS]", "JPEG=1", "[PARAMS]", "erase=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_file(in_ + "/photo.jpg"), original);
    EXPECT_NE(log_body().find("Could not convert " + in_ + "/photo.jpg !\r\n\t"), std::string::npos)
        << log_body();
}

TEST_F(EngineRun, TempFolderKeepsOnlyLogsAfterARun) {
    make_picture(in_ + "/a.png");
    write_file(tmp_ + "/other.log", "someone else's log");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(list_folder(tmp_),
              (std::vector<std::string>{"Tarvik_morvane.lock", "Tarvik_morvane.log", "other.log"}));
}

TEST_F(EngineRun, ASourceThatHangsIsStoppedAndTheRunGoesOn) {
    ASSERT_EQ(mkfifo((in_ + "/stuck.png").c_str(), 0600), 0);  // a read that never ends
    make_picture(in_ + "/next.png");
    write_file(tmp_ + "/t.log", "[FILES]\r\n0=" + in_ + "/stuck.png\r\n1=" + in_ + "/next.png\r\n");
    write_job({"[LIMITS]", "time=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(log_body(), "Could not convert " + in_ +
                              "/stuck.png !\r\n\ttime limit of 1 s exceeded\r\n" + in_ +
                              "/next.png converted\r\n");
    EXPECT_TRUE(exists(out_ + "/next.jpg"));
}

}  // namespace
}  // namespace morvane::test
