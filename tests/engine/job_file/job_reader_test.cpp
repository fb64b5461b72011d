#include "job_settings.h"

#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace morvane {
namespace {

using test::TempDir;
using test::write_file;

class JobReaderTest : public ::testing::Test {
  protected:
    JobReadStatus read(const std::string& text) {
        write_file(path_, text);
        return read_job_settings(path_, job_);
    }
    TempDir dir_;
    std::string path_ = dir_ / "job.ini";
    JobSettings job_;
};

constexpr const char* kFolders = "[FOLDERS]\r\nsource=/in\r\ntarget=/out\r\n";

TEST_F(JobReaderTest, OnlyFoldersGivesEngineDefaultsAndAnEmptyFilter) {
    ASSERT_EQ(read(kFolders), JobReadStatus::Ok);
    EXPECT_EQ(job_.source, "/in");
    EXPECT_EQ(job_.target, "/out");
    EXPECT_EQ(job_.quality, 1);
    EXPECT_EQ(job_.progressive, 0);
    EXPECT_EQ(job_.eps_density, 72);
    EXPECT_EQ(job_.pdf_density, 72);
    EXPECT_EQ(job_.avi.extract_all, 1);
    EXPECT_EQ(job_.avi.from, -1);
    EXPECT_EQ(job_.mpeg.to, -1);
    EXPECT_EQ(job_.watermark_mode, 0);
    EXPECT_EQ(job_.watermark_dissolve, 10);
    EXPECT_EQ(build_extension_filter(job_), "");
}

TEST_F(JobReaderTest, MissingJobFileEndsAtTheSourceKey) {
    EXPECT_EQ(read_job_settings(dir_ / "absent.ini", job_), JobReadStatus::SourceMissing);
}

TEST_F(JobReaderTest, SourceAndTargetAreRequiredAndNotEmpty) {
    EXPECT_EQ(read("[FOLDERS]\r\nsource=\r\ntarget=/out\r\n"), JobReadStatus::SourceMissing);
    EXPECT_EQ(read("[FOLDERS]\r\nsource=/in\r\n"), JobReadStatus::TargetMissing);
}

TEST_F(JobReaderTest, KeysIgnoreLetterCaseAndMalformedNumbersReadAsZero) {
    ASSERT_EQ(read(std::string(kFolders) +
                   "[params]\r\nSIZE=640x480\r\nErase=1\r\n[JPEG]\r\nquality=abc\r\n"
                   "progressive=1junk\r\n[AVI]\r\nextract_all=0\r\nextract_to=9\r\n"),
              JobReadStatus::Ok);
    EXPECT_EQ(job_.size, "640x480");
    EXPECT_EQ(job_.erase, 1);
    EXPECT_EQ(job_.quality, 0);
    EXPECT_EQ(job_.progressive, 1);
    EXPECT_EQ(job_.avi.extract_all, 0);
    EXPECT_EQ(job_.avi.from, -1);  // missing while extract_all is 0
    EXPECT_EQ(job_.avi.to, 9);
}

TEST_F(JobReaderTest, LongTextValuesAreCutToTheirBuffers) {
    const std::string text(300, 't');
    ASSERT_EQ(read(std::string(kFolders) + "[PARAMS]\r\ndo_watermark=1\r\nwatermark_txt=" + text +
                   "\r\nsize=" + text + "\r\n"),
              JobReadStatus::Ok);
    EXPECT_EQ(job_.watermark_txt.size(), 255u);
    EXPECT_EQ(job_.size.size(), 49u);
}

// A path of `length` characters (a leading '/' and then 'p's).
std::string path_of(std::size_t length) {
    return "/" + std::string(length - 1, 'p');
}

struct LongPathCase {
    const char* name;
    const char* key;  // the key line takes the path
    std::size_t length;
    JobReadStatus status;
    const char* refusal;  // the stop reason or the note; empty when the path is taken
};

std::ostream& operator<<(std::ostream& out, const LongPathCase& c) {
    return out << c.name;
}

class LongPaths : public JobReaderTest, public ::testing::WithParamInterface<LongPathCase> {
  protected:
    // The path in its place in a job that would otherwise be complete.
    std::string job_text(const LongPathCase& c) const {
        const std::string path = path_of(c.length);
        const std::string key = c.key;
        return "[FOLDERS]\r\nsource=" + (key == "source" ? path : "/in") +
               "\r\ntarget=" + (key == "target" ? path : "/out") +
               "\r\nmove_path=" + (key == "move_path" ? path : "/done") +
               "\r\n[PARAMS]\r\ndo_watermark=2\r\nwatermark_location=4\r\nwatermark_file=" +
               (key == "watermark_file" ? path : "/w.png") + "\r\n";
    }
    // The value the job holds for the case's key.
    const std::string& value(const LongPathCase& c) const {
        const std::string key = c.key;
        if (key == "source") return job_.source;
        if (key == "target") return job_.target;
        if (key == "move_path") return job_.move_path;
        return job_.watermark_file;
    }
};

TEST_P(LongPaths, AreRefusedNotCut) {
    const LongPathCase& c = GetParam();
    ASSERT_EQ(read(job_text(c)), c.status);
    const bool refused = *c.refusal != '\0';
    EXPECT_EQ(value(c), refused ? "" : path_of(c.length));
    const bool stops = c.status != JobReadStatus::Ok;
    EXPECT_EQ(job_.stop_reason, stops ? c.refusal : "");
    EXPECT_EQ(job_.notes,
              refused && !stops ? std::vector<std::string>{c.refusal} : std::vector<std::string>{});
    if (c.status == JobReadStatus::Ok) {
        // A refused watermark file keeps the image mode: the image is never read.
        EXPECT_EQ(job_.watermark_mode, 2);
        EXPECT_EQ(job_.watermark_location, 4);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Job, LongPaths,
    ::testing::Values(
        LongPathCase{"source_259", "source", 259, JobReadStatus::Ok, ""},
        LongPathCase{"source_260", "source", 260, JobReadStatus::SourceMissing,
                     "FOLDERS/source is longer than 259 characters"},
        LongPathCase{"source_4000", "source", 4000, JobReadStatus::SourceMissing,
                     "FOLDERS/source is longer than 259 characters"},
        LongPathCase{"target_259", "target", 259, JobReadStatus::Ok, ""},
        LongPathCase{"target_260", "target", 260, JobReadStatus::TargetMissing,
                     "FOLDERS/target is longer than 259 characters"},
        LongPathCase{"move_path_259", "move_path", 259, JobReadStatus::Ok, ""},
        LongPathCase{"move_path_260", "move_path", 260, JobReadStatus::Ok,
                     "FOLDERS/move_path is longer than 259 characters and is not used"},
        LongPathCase{"watermark_file_259", "watermark_file", 259, JobReadStatus::Ok, ""},
        LongPathCase{"watermark_file_260", "watermark_file", 260, JobReadStatus::Ok,
                     "PARAMS/watermark_file is longer than 259 characters and is not used"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobReaderTest, ByteOrderMarkDoesNotHideTheFirstSection) {
    ASSERT_EQ(read("\xEF\xBB\xBF" + std::string(kFolders)), JobReadStatus::Ok);
    EXPECT_EQ(job_.source, "/in");
    EXPECT_EQ(job_.target, "/out");
}

// A job file that is not a regular file of at most 16 MiB is read as no file, and the
// reason for it is kept.
TEST_F(JobReaderTest, UnusableJobFileEndsAtTheSourceKeyWithItsReason) {
    EXPECT_EQ(read_job_settings("/dev/urandom", job_), JobReadStatus::SourceMissing);
    EXPECT_EQ(job_.stop_reason, "the job file /dev/urandom is not a regular file");

    write_file(path_, kFolders);
    ASSERT_EQ(::truncate(path_.c_str(), kJobFileLimit + 1), 0);  // sparse: costs nothing
    job_ = {};
    EXPECT_EQ(read_job_settings(path_, job_), JobReadStatus::SourceMissing);
    EXPECT_EQ(job_.stop_reason, "the job file " + path_ + " is larger than 16 MiB");

    ASSERT_EQ(::truncate(path_.c_str(), kJobFileLimit), 0);
    job_ = {};
    EXPECT_EQ(read_job_settings(path_, job_), JobReadStatus::Ok);

    job_ = {};
    EXPECT_EQ(read_job_settings(dir_ / "absent.ini", job_), JobReadStatus::SourceMissing);
    EXPECT_EQ(job_.stop_reason, "");  // a missing file is only a missing key
}

struct WatermarkCase {
    const char* name;
    const char* params;
    int mode;
    const char* text;
    const char* file;
    std::uint32_t color;
    int location;
    int dissolve;
};

class WatermarkKeys : public JobReaderTest, public ::testing::WithParamInterface<WatermarkCase> {};

TEST_P(WatermarkKeys, ModeDecidesWhatIsRead) {
    const WatermarkCase& c = GetParam();
    ASSERT_EQ(read(std::string(kFolders) + "[PARAMS]\r\n" + c.params), JobReadStatus::Ok);
    EXPECT_EQ(job_.watermark_mode, c.mode);
    EXPECT_EQ(job_.watermark_txt, c.text);
    EXPECT_EQ(job_.watermark_file, c.file);
    EXPECT_EQ(job_.watermark_color, c.color);
    EXPECT_EQ(job_.watermark_location, c.location);
    EXPECT_EQ(job_.watermark_dissolve, c.dissolve);
}

INSTANTIATE_TEST_SUITE_P(
    Job, WatermarkKeys,
    ::testing::Values(
        WatermarkCase{"text",
                      "do_watermark=1\r\nwatermark_txt=Hi\r\nwatermark_color=255\r\n"
                      "watermark_location=3\r\nwatermark_file=/w.png\r\n"
                      "watermark_dissolve=50\r\n",
                      1, "Hi", "", 255, 3, 10},
        WatermarkCase{"empty_text_gives_none",
                      "do_watermark=1\r\nwatermark_txt=\r\nwatermark_file=/w.png\r\n"
                      "watermark_location=3\r\n",
                      0, "", "", 0, 0, 10},
        WatermarkCase{"image",
                      "do_watermark=2\r\nwatermark_file=/w.png\r\nwatermark_txt=Hi\r\n"
                      "watermark_location=8\r\nwatermark_dissolve=40\r\n",
                      2, "", "/w.png", 0, 8, 40},
        WatermarkCase{"image_without_file",
                      "do_watermark=2\r\nwatermark_location=8\r\n"
                      "watermark_dissolve=40\r\n",
                      0, "", "", 0, 0, 40},
        WatermarkCase{"other_mode_keeps_its_value", "do_watermark=5\r\nwatermark_file=/w.png\r\n",
                      5, "", "/w.png", 0, 0, 10}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobReaderTest, OtherModeWithAFileIsNoWatermark) {
    ASSERT_EQ(read(std::string(kFolders) + "[PARAMS]\r\ndo_watermark=5\r\nwatermark_file=/w\r\n"),
              JobReadStatus::Ok);
    EXPECT_FALSE(job_.watermarks());
}

TEST_F(JobReaderTest, ExtensionFilterFollowsTheFixedOrder) {
    std::string formats = "[FORMATS]\r\n";
    for (const char* key : {"X3F", "PNG", "JPEG", "EPS", "AI", "CSL"}) {
        formats += std::string(key) + "=1\r\n";
    }
    ASSERT_EQ(read(std::string(kFolders) + formats), JobReadStatus::Ok);
    EXPECT_EQ(build_extension_filter(job_), ".ai .ps .eps .ept .jpg .jpe .png .csl .x3f");
}

TEST_F(JobReaderTest, EveryFormatOnGivesFortyFourExtensions) {
    std::string formats = "[FORMATS]\r\n";
    for (const char* key : {"AI",  "AVI", "BMP",  "CR2", "CRW", "CSL", "CUR", "DCM",  "DIR", "DNG",
                            "EMF", "EPS", "FPX",  "GIF", "ICO", "JNG", "JP2", "JPEG", "K25", "KDC",
                            "MDC", "MOS", "MPEG", "MRW", "NEF", "ORF", "PCT", "PCX",  "PDF", "PEF",
                            "PNG", "PSD", "RAF",  "SRF", "TGA", "TIF", "WMF", "X3F"}) {
        formats += std::string(key) + "=1\r\n";
    }
    ASSERT_EQ(read(std::string(kFolders) + formats), JobReadStatus::Ok);
    const std::string filter = build_extension_filter(job_);
    EXPECT_EQ(filter.size(), 219u);
    EXPECT_EQ(std::count(filter.begin(), filter.end(), '.'), 44);
}

TEST_F(JobReaderTest, LimitsKeepTheirDefaultsUnlessSetSensibly) {
    ASSERT_EQ(read(kFolders), JobReadStatus::Ok);
    EXPECT_EQ(job_.limits.seconds, 300);
    EXPECT_EQ(job_.limits.memory_mb, 4096);
    ASSERT_EQ(read(std::string(kFolders) + "[LIMITS]\r\ntime=0\r\nmemory=0\r\nfile_size=64\r\n"),
              JobReadStatus::Ok);
    EXPECT_EQ(job_.limits.seconds, 300);  // no source may take forever
    EXPECT_EQ(job_.limits.memory_mb, 0);  // 0 switches the memory limit off
    EXPECT_EQ(job_.limits.file_size_mb, 64);
}

TEST_F(JobReaderTest, WorkersAreOneUnlessAWholeNumberAsksOtherwise) {
    const int cores = static_cast<int>(::sysconf(_SC_NPROCESSORS_ONLN));
    const std::pair<const char*, int> cases[] = {{"", 1},
                                                 {"workers=\r\n", 1},
                                                 {"workers=3\r\n", 3},
                                                 {"workers=0\r\n", cores},
                                                 {"workers=-2\r\n", 1},
                                                 {"workers=2x\r\n", 1},
                                                 {"workers=abc\r\n", 1},
                                                 {"workers=999\r\n", 64}};
    for (const auto& [line, expected] : cases) {
        ASSERT_EQ(read(std::string(kFolders) + "[PARAMS]\r\n" + line), JobReadStatus::Ok);
        EXPECT_EQ(job_.workers, expected) << line;
    }
}

TEST(MonoInstance, DefaultsToOn) {
    TempDir dir;
    EXPECT_EQ(read_mono_instance(dir / "absent.ini"), 1);
    write_file(dir / "job.ini", "[PARAMS]\r\nmono_instance=0\r\n");
    EXPECT_EQ(read_mono_instance(dir / "job.ini"), 0);
    // A FIFO neither hangs the reading nor counts as a file.
    ASSERT_EQ(::mkfifo((dir / "fifo.ini").c_str(), 0600), 0);
    EXPECT_EQ(read_mono_instance(dir / "fifo.ini"), 1);
    EXPECT_FALSE(has_target_key(dir / "fifo.ini"));
}

struct FileListCase {
    const char* name;
    const char* text;
    std::vector<std::string> files;
};

class FileList : public ::testing::TestWithParam<FileListCase> {};

// The paths of a list, refused ones included.
std::vector<std::string> paths_of(const morvane::FileList& list) {
    std::vector<std::string> paths;
    for (const ListedFile& file : list.files) paths.push_back(file.path);
    return paths;
}

TEST_P(FileList, ReadsKeysInOrderUpToTheFirstGap) {
    TempDir dir;
    write_file(dir / "t.log", GetParam().text);
    const morvane::FileList list = read_file_list(dir / "t.log");
    ASSERT_TRUE(list.read);
    EXPECT_EQ(list.refusal, "");
    EXPECT_EQ(paths_of(list), GetParam().files);
}

INSTANTIATE_TEST_SUITE_P(
    Job, FileList,
    ::testing::Values(FileListCase{"header_only", "[FILES]\r\n", {}},
                      FileListCase{"in_key_order",
                                   "[FILES]\r\n1=/b.png\r\n0=/a b.png\r\n2=/c%d.png\r\n",
                                   {"/a b.png", "/b.png", "/c%d.png"}},
                      FileListCase{"gap_ends_the_list",
                                   "[FILES]\r\n0=/a.png\r\n1=/b.png\r\n3=/d.png\r\n",
                                   {"/a.png", "/b.png"}},
                      FileListCase{"empty_value_ends_the_list",
                                   "[FILES]\r\n0=/a.png\r\n1=\r\n2=/c.png\r\n",
                                   {"/a.png"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FileListFile, MissingFileIsNoList) {
    TempDir dir;
    const morvane::FileList list = read_file_list(dir / "t.log");
    EXPECT_FALSE(list.read);
    EXPECT_EQ(list.refusal, "");
}

TEST(FileListFile, ByteOrderMarkDoesNotHideTheList) {
    TempDir dir;
    write_file(dir / "t.log", "\xEF\xBB\xBF[FILES]\r\n0=/a.png\r\n");
    EXPECT_EQ(paths_of(read_file_list(dir / "t.log")), std::vector<std::string>{"/a.png"});
}

TEST(FileListFile, LongPathIsRefusedInItsPlaceAndTheListGoesOn) {
    TempDir dir;
    const std::string longest = path_of(259);
    const std::string too_long = path_of(260);
    write_file(dir / "t.log",
               "[FILES]\r\n0=/a.png\r\n1=" + too_long + "\r\n2=" + longest + "\r\n3=/d.png\r\n");
    const morvane::FileList list = read_file_list(dir / "t.log");
    ASSERT_TRUE(list.read);
    EXPECT_EQ(paths_of(list), (std::vector<std::string>{"/a.png", too_long, longest, "/d.png"}));
    const std::string refusals[] = {"", "the path is longer than 259 characters", "", ""};
    for (std::size_t i = 0; i < list.files.size(); ++i) {
        EXPECT_EQ(list.files[i].refusal, refusals[i]) << i;
    }
}

struct UnusableListCase {
    const char* name;
    const char* refusal;
};

class UnusableFileList : public ::testing::TestWithParam<UnusableListCase> {};

// Only a regular file that is not a symbolic link is a list; anything else is no list,
// with the reason.
TEST_P(UnusableFileList, IsNoListWithItsReason) {
    TempDir dir;
    const std::string name = GetParam().name;
    const std::string path = dir / "t.log";
    write_file(dir / "real.log", "[FILES]\r\n0=/a.png\r\n");
    if (name == "link") {
        ASSERT_EQ(::symlink("real.log", path.c_str()), 0);
    }
    if (name == "device_link") {
        ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
    }
    if (name == "fifo") {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    if (name == "too_large") {
        write_file(path, "[FILES]\r\n0=/a.png\r\n");
        ASSERT_EQ(::truncate(path.c_str(), kFileListLimit + 1), 0);  // sparse
    }
    const morvane::FileList list = read_file_list(path);
    EXPECT_FALSE(list.read);
    EXPECT_EQ(list.refusal, GetParam().refusal);
    EXPECT_TRUE(list.files.empty());
}

INSTANTIATE_TEST_SUITE_P(Job, UnusableFileList,
                         ::testing::Values(UnusableListCase{"link", "is a symbolic link"},
                                           UnusableListCase{"device_link", "is a symbolic link"},
                                           UnusableListCase{"fifo", "is not a regular file"},
                                           UnusableListCase{"too_large", "is larger than 256 MiB"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvane
