// The engine's start and its inputs: which job and file-list files it reads, the paths
// it refuses, the single-instance lock's failures and the readers ImageMagick may use.

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"

namespace morvane::test {
namespace {

constexpr const char* kBom = "\xEF\xBB\xBF";

// `base` and folders below it, then `leaf`: a path of exactly `length` characters.
std::string padded_path(const std::string& base, std::size_t length, const std::string& leaf) {
    std::string path = base;
    while (path.size() + 1 + leaf.size() < length) {
        const std::size_t room = length - path.size() - 1 - leaf.size();
        std::size_t part = std::min<std::size_t>(room - 1, 200);
        if (room - 1 - part == 1) --part;  // what is left must hold "/" and a letter
        path += "/" + std::string(part, 'd');
    }
    path += "/" + leaf;
    EXPECT_EQ(path.size(), length);
    return path;
}

std::string folder_of(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

class EngineStartup : public EngineTest {
  protected:
    // Runs the engine with its standard error kept in stderr_.
    int run_keeping_errors(const std::vector<std::string>& args = {},
                           const std::vector<std::string>& as_user = {}) {
        const std::string errors = dir_ / "stderr";
        std::vector<std::string> all = as_user;
        all.insert(all.end(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>'" + errors + "'",
                               program_ + "/Tarvik_morvane"});
        all.insert(all.end(), args.begin(), args.end());
        const std::string program = all.front();
        all.erase(all.begin());
        const int status =
            run_program(program, all, {{"TMPDIR", tmp_}, {"ASAN_OPTIONS", "detect_leaks=0"}});
        stderr_ = exists(errors) ? read_file(errors) : "";
        return status;
    }

    // No names ImageMagick gives its temporary files are left in the temporary folder.
    void expect_no_magick_files() {
        for (const std::string& name : list_folder(tmp_)) {
            EXPECT_FALSE(name.starts_with("magick-")) << name;
        }
    }

    std::string stderr_;
};

// ---- the job file ----

struct JobFileCase {
    const char* name;
    const char* reason;  // after the job file's path; empty: no reason line
};

std::ostream& operator<<(std::ostream& out, const JobFileCase& c) {
    return out << c.name;
}

class UnusableJobFile : public EngineStartup, public ::testing::WithParamInterface<JobFileCase> {
  protected:
    // Makes the job file of the case; its path.
    std::string make_job_file() {
        const std::string name = GetParam().name;
        if (name == "random_device") return "/dev/urandom";
        const std::string path = dir_ / "job.ini";
        if (name == "fifo") {
            EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
        if (name == "folder") make_folder(path);
        if (name == "too_large") {
            write_file(path, "[FOLDERS]\r\nsource=" + in_ + "\r\ntarget=" + out_ + "\r\n");
            EXPECT_EQ(::truncate(path.c_str(), 16 * 1024 * 1024 + 1), 0);  // sparse
        }
        return path;
    }
};

TEST_P(UnusableJobFile, EndsAsAMissingSourceKeyWithTheReason) {
    const std::string job = make_job_file();
    make_picture(in_ + "/a.png");
    write_job({"[FORMATS]", "PNG=1"});
    EXPECT_EQ(run({"C|" + job}), 100);
    const std::string reason = GetParam().reason;
    EXPECT_EQ(log(), "Source key not found\r\niniPath: " + job + "\r\nCmdLine: C|" + job + "\r\n" +
                         (reason.empty() ? "" : "\tthe job file " + job + " " + reason + "\r\n"));
    EXPECT_FALSE(exists(out_));
}

INSTANTIATE_TEST_SUITE_P(Startup, UnusableJobFile,
                         ::testing::Values(JobFileCase{"random_device", "is not a regular file"},
                                           JobFileCase{"fifo", "is not a regular file"},
                                           JobFileCase{"folder", "is not a regular file"},
                                           JobFileCase{"too_large", "is larger than 16 MiB"},
                                           JobFileCase{"missing", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineStartup, DefaultJobFileThatIsAFifoDoesNotHangTheStart) {
    ASSERT_EQ(::mkfifo(job_.c_str(), 0600), 0);
    EXPECT_EQ(run(), 100);
    EXPECT_EQ(log(), "Source key not found\r\niniPath: " + job_ +
                         "\r\nCmdLine: \r\n\tthe job file " + job_ + " is not a regular file\r\n");
}

TEST_F(EngineStartup, JobFileWithAByteOrderMarkKeepsItsFirstSection) {
    make_picture(in_ + "/a.png");
    write_job_text(std::string(kBom) + "[FOLDERS]\r\nsource=" + in_ + "\r\ntarget=" + out_ +
                   "\r\n[FORMATS]\r\nPNG=1\r\n");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n");
    EXPECT_TRUE(read_picture(out_ + "/a.jpg").ok);
}

// ---- the file-list file ----

class UnusableFileList : public EngineStartup, public ::testing::WithParamInterface<JobFileCase> {};

// A t.log that is not a plain file is not read: the run walks the source folder as
// without a list, says why right after the header, and still removes the name.
TEST_P(UnusableFileList, FallsBackToTheFolderWalk) {
    const std::string name = GetParam().name;
    const std::string list = tmp_ + "/t.log";
    const std::string other = dir_ / "other.log";
    make_picture(in_ + "/a.png");
    make_picture(dir_ / "listed.png");
    write_file(other, "[FILES]\r\n0=" + dir_ / "listed.png" + "\r\n");
    if (name == "link") {
        ASSERT_EQ(::symlink(other.c_str(), list.c_str()), 0);
    }
    if (name == "device_link") {
        ASSERT_EQ(::symlink("/dev/zero", list.c_str()), 0);
    }
    if (name == "fifo") {
        ASSERT_EQ(::mkfifo(list.c_str(), 0600), 0);
    }
    if (name == "too_large") {
        write_file(list, read_file(other));
        ASSERT_EQ(::truncate(list.c_str(), 256 * 1024 * 1024 + 1), 0);  // sparse
    }
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    const std::string reason = GetParam().reason;
    const std::string note =
        reason.empty() ? "" : "The file list " + list + " cannot be used: it " + reason + "\r\n";
    EXPECT_EQ(log_body(), note + in_ + "/a.png converted\r\n");
    EXPECT_EQ(log().substr(log().size() - expected_footer(1).size()), expected_footer(1));
    EXPECT_FALSE(exists(out_ + "/listed.jpg"));
    struct stat info {};
    EXPECT_NE(::lstat(list.c_str(), &info), 0) << "t.log is left";
    EXPECT_EQ(read_file(other), "[FILES]\r\n0=" + dir_ / "listed.png" + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Startup, UnusableFileList,
                         ::testing::Values(JobFileCase{"link", "is a symbolic link"},
                                           JobFileCase{"device_link", "is a symbolic link"},
                                           JobFileCase{"fifo", "is not a regular file"},
                                           JobFileCase{"too_large", "is larger than 256 MiB"},
                                           JobFileCase{"missing", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineStartup, FileListWithAByteOrderMarkIsRead) {
    make_picture(in_ + "/a.png");
    write_file(tmp_ + "/t.log", std::string(kBom) + "[FILES]\r\n0=" + in_ + "/a.png\r\n");
    write_job();
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n");
}

// ---- paths longer than 259 characters ----

TEST_F(EngineStartup, LongSourceOrTargetEndsAsAMissingKeyWithTheReason) {
    const std::string too_long = padded_path(dir_.path(), 260, "in");
    write_job_text("[FOLDERS]\r\nsource=" + too_long + "\r\ntarget=" + out_ + "\r\n");
    EXPECT_EQ(run({"C|" + job_}), 100);
    EXPECT_EQ(log(), "Source key not found\r\niniPath: " + job_ + "\r\nCmdLine: C|" + job_ +
                         "\r\n\tFOLDERS/source is longer than 259 characters\r\n");

    write_job_text("[FOLDERS]\r\nsource=" + in_ + "\r\ntarget=" + too_long + "\r\n");
    EXPECT_EQ(run({"C|" + job_}), 101);
    EXPECT_EQ(log(), "Target key not found\r\nCmdLine: C|" + job_ +
                         "\r\n\tFOLDERS/target is longer than 259 characters\r\n");
}

TEST_F(EngineStartup, SourceFolderOf259CharactersIsWalked) {
    const std::string source = padded_path(dir_.path(), 259, "in");
    make_folder(source);
    make_picture(source + "/a.png");
    write_job_text("[FOLDERS]\r\nsource=" + source + "\r\ntarget=" + out_ +
                   "\r\n[FORMATS]\r\nPNG=1\r\n");
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), source + "/a.png converted\r\n");
    EXPECT_TRUE(read_picture(out_ + "/a.jpg").ok);
}

TEST_F(EngineStartup, LongMoveFolderIsNotUsedAndSourcesStay) {
    make_picture(in_ + "/a.png");
    const std::string too_long = padded_path(dir_.path(), 260, "done");
    write_job({"move_path=" + too_long, "[FORMATS]", "PNG=1", "[PARAMS]", "move=1"});
    ASSERT_EQ(run(), 0);
    HeaderValues v;
    v.source = in_;
    v.target = out_;
    EXPECT_EQ(log(), expected_header(v) +
                         "FOLDERS/move_path is longer than 259 characters and is not used\r\n" +
                         "The file " + in_ + "/a.png could not be moved to /a.png\r\n" + in_ +
                         "/a.png converted\r\n" + expected_footer(1));
    EXPECT_TRUE(exists(in_ + "/a.png"));
    EXPECT_TRUE(exists(out_ + "/a.jpg"));
}

TEST_F(EngineStartup, LongWatermarkFileIsNeverRead) {
    make_picture(in_ + "/a.png");
    const std::string too_long = padded_path(dir_.path(), 260, "mark.png");
    make_folder(folder_of(too_long));
    make_picture(too_long, {.pattern = "xc:blue"});
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "do_watermark=2", "watermark_file=" + too_long});
    ASSERT_EQ(run(), 0);
    EXPECT_NE(log().find("     do watermark: yes\r\n"), std::string::npos);
    // As with a watermark image that cannot be read: counted, but no picture written.
    EXPECT_EQ(log_body(),
              "PARAMS/watermark_file is longer than 259 characters and is not used\r\n" + in_ +
                  "/a.png converted\r\n");
    EXPECT_FALSE(exists(out_ + "/a.jpg"));
}

class LongListedPaths : public EngineStartup, public ::testing::WithParamInterface<int> {};

TEST_P(LongListedPaths, AreRefusedInTheirPlaceAndTheOthersConvert) {
    const std::string longest = padded_path(dir_ / "deep", 259, "c.png");
    const std::string too_long = padded_path(dir_ / "deep", 260, "x.png");
    make_folder(folder_of(longest));
    make_folder(folder_of(too_long));
    for (const std::string& path : {in_ + "/a.png", longest, too_long, in_ + "/d.png"}) {
        make_picture(path);
    }
    write_file(tmp_ + "/t.log", "[FILES]\r\n0=" + in_ + "/a.png\r\n1=" + too_long +
                                    "\r\n2=" + longest + "\r\n3=" + in_ + "/d.png\r\n");
    write_job({"[PARAMS]", "workers=" + std::to_string(GetParam())});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\nCould not convert " + too_long +
                              " !\r\n\tthe path is longer than 259 characters\r\n" + longest +
                              " converted\r\n" + in_ + "/d.png converted\r\n");
    EXPECT_EQ(log().substr(log().size() - expected_footer(4).size()), expected_footer(4));
    EXPECT_TRUE(exists(out_ + "/c.jpg"));
    EXPECT_FALSE(exists(out_ + "/x.jpg"));
}

INSTANTIATE_TEST_SUITE_P(Startup, LongListedPaths, ::testing::Values(1, 2),
                         [](const auto& info) { return std::to_string(info.param) + "_workers"; });

// ---- the single-instance lock ----

TEST_F(EngineStartup, LockFileThatIsALinkIsReportedAndEndsWith2) {
    make_picture(in_ + "/a.png");
    write_file(dir_ / "target", "keep");
    const std::string lock = tmp_ + "/Tarvik_morvane.lock";
    ASSERT_EQ(::symlink((dir_ / "target").c_str(), lock.c_str()), 0);
    write_job({"[FORMATS]", "PNG=1"});
    EXPECT_EQ(run_keeping_errors(), 2);
    const std::string message =
        "The single-instance lock " + lock + " cannot be taken: it is a symbolic link";
    EXPECT_EQ(log(), message + "\r\n");
    EXPECT_EQ(stderr_, "Tarvik_morvane: " + message + "\n");
    EXPECT_EQ(read_file(dir_ / "target"), "keep");
    EXPECT_FALSE(exists(out_));
}

TEST_F(EngineStartup, LockFileOfAnotherUserIsReportedAndEndsWith2) {
    const std::string lock = tmp_ + "/Tarvik_morvane.lock";
    write_file(lock, "");
    ASSERT_EQ(::chmod(lock.c_str(), 0600), 0);
    // The engine runs as "nobody", who may write the temporary folder but not the lock.
    for (const std::string& folder : {dir_.path(), program_, tmp_}) {
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    }
    write_job();
    ASSERT_EQ(::chmod(job_.c_str(), 0644), 0);
    EXPECT_EQ(run_keeping_errors(
                  {}, {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"}),
              2);
    const std::string message =
        "The single-instance lock " + lock + " cannot be taken: Permission denied";
    EXPECT_EQ(log(), message + "\r\n");
    EXPECT_EQ(stderr_, "Tarvik_morvane: " + message + "\n");
}

// ---- the readers ImageMagick may use ----

struct ReaderCase {
    const char* name;
    const char* file;  // its name in the source folder
    const char* bytes;
};

std::ostream& operator<<(std::ostream& out, const ReaderCase& c) {
    return out << c.name;
}

const char* const kSvg =
    "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" "
    "height=\"20\"><rect width=\"20\" height=\"20\" fill=\"blue\"/></svg>\n";

class ScriptReaders : public EngineStartup, public ::testing::WithParamInterface<ReaderCase> {};

// What a file holds never takes it to a reader that draws, renders text or reads other
// files: it is logged as unreadable, and nothing is left in the temporary folder.
TEST_P(ScriptReaders, AreNeverUsedOnASource) {
    const std::string source = in_ + "/" + GetParam().file;
    write_file(source, GetParam().bytes);
    write_file(tmp_ + "/t.log", "[FILES]\r\n0=" + source + "\r\n");
    write_job();
    ASSERT_EQ(run({"G|" + job_}), 0);
    const std::string body = log_body();
    const std::string head = "The file " + source + " cannot be read by Tarvik_morvane\r\n\t";
    const std::string tail = "\r\nCould not convert " + source + " !\r\n";
    EXPECT_TRUE(body.starts_with(head) && body.ends_with(tail)) << body;
    EXPECT_EQ(std::count(body.begin(), body.end(), '\n'), 3) << body;
    EXPECT_EQ(exists(out_) ? list_folder(out_) : std::vector<std::string>{},
              std::vector<std::string>{});
    expect_no_magick_files();
}

INSTANTIATE_TEST_SUITE_P(
    Startup, ScriptReaders,
    ::testing::Values(
        ReaderCase{"svg_named_png", "a.png", kSvg},
        ReaderCase{"mvg_named_png", "a.png",
                   "push graphic-context\nviewbox 0 0 20 20\nfill blue\nrectangle 0,0 20,20\n"
                   "pop graphic-context\n"},
        ReaderCase{"pixel_text_named_png", "a.png",
                   "# ImageMagick pixel enumeration: 2,2,255,srgb\n0,0: (0,0,255)  #0000FF  blue\n"
                   "1,0: (0,0,255)  #0000FF  blue\n0,1: (0,0,255)  #0000FF  blue\n"
                   "1,1: (0,0,255)  #0000FF  blue\n"},
        ReaderCase{"svg_naming_a_text_file", "a.svg",
                   "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                   "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"200\" height=\"200\">"
                   "<image xlink:href=\"text:/etc/passwd\" x=\"0\" y=\"0\" width=\"200\" "
                   "height=\"200\"/></svg>\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineStartup, WatermarkImageHoldingSvgIsNeverRead) {
    make_picture(in_ + "/a.png", {.pattern = "xc:white"});
    write_file(dir_ / "mark.png", kSvg);
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "do_watermark=2",
               "watermark_file=" + dir_ / "mark.png"});
    ASSERT_EQ(run(), 0);
    // As with any watermark image that cannot be read: counted, but no picture written.
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n");
    EXPECT_FALSE(exists(out_ + "/a.jpg"));
    expect_no_magick_files();
}

struct MisnamedCase {
    const char* file;
    const char* format;
};

std::ostream& operator<<(std::ostream& out, const MisnamedCase& c) {
    return out << c.format << " named " << c.file;
}

class MisnamedRaster : public EngineStartup, public ::testing::WithParamInterface<MisnamedCase> {};

TEST_P(MisnamedRaster, StillConverts) {
    make_picture(in_ + "/" + GetParam().file, {.format = GetParam().format});
    write_job({"[FORMATS]", "PNG=1", "GIF=1", "BMP=1", "JPEG=1", "TIF=1"});
    ASSERT_EQ(run(), 0);
    const std::string file = GetParam().file;
    const std::string stem = file.substr(0, file.rfind('.'));
    EXPECT_EQ(log_body(), in_ + "/" + GetParam().file + " converted\r\n");
    const PictureInfo out = read_picture(out_ + "/" + stem + ".jpg");
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.format, "JPEG");
    EXPECT_EQ(out.width, 64);
}

INSTANTIATE_TEST_SUITE_P(Startup, MisnamedRaster,
                         ::testing::Values(MisnamedCase{"png_named.gif", "PNG"},
                                           MisnamedCase{"jpeg_named.png", "JPEG"},
                                           MisnamedCase{"bmp_named.png", "BMP"},
                                           MisnamedCase{"gif_named.bmp", "GIF"},
                                           MisnamedCase{"tiff_named.jpg", "TIFF"}),
                         [](const auto& info) { return std::string(info.param.format); });

}  // namespace
}  // namespace morvane::test
