#include "job_settings.h"

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

TEST_F(JobReaderTest, LongValuesAreCutToTheirBuffers) {
    const std::string text(300, 't');
    const std::string path = "/" + std::string(300, 'p');
    ASSERT_EQ(read("[FOLDERS]\r\nsource=" + path +
                   "\r\ntarget=/o\r\n[PARAMS]\r\ndo_watermark=1\r\n"
                   "watermark_txt=" +
                   text + "\r\n"),
              JobReadStatus::Ok);
    EXPECT_EQ(job_.watermark_txt.size(), 255u);
    EXPECT_EQ(job_.source.size(), 259u);
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
}

struct FileListCase {
    const char* name;
    const char* text;
    std::vector<std::string> files;
};

class FileList : public ::testing::TestWithParam<FileListCase> {};

TEST_P(FileList, ReadsKeysInOrderUpToTheFirstGap) {
    TempDir dir;
    write_file(dir / "t.log", GetParam().text);
    const auto files = read_file_list(dir / "t.log");
    ASSERT_TRUE(files.has_value());
    EXPECT_EQ(*files, GetParam().files);
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
    EXPECT_FALSE(read_file_list(dir / "t.log").has_value());
}

}  // namespace
}  // namespace morvane
