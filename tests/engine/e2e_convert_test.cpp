// What the engine writes: JPEG settings, numbered series and file names taken literally.

#include <unistd.h>

#include <gtest/gtest.h>

#include "convert/documents_fixture.h"
#include "engine_fixture.h"
#include "raw_sample.h"
#include "video_sample.h"

namespace morvane::test {
namespace {

struct JpegCase {
    const char* name;
    int quality;
    int progressive;
    const char* size;
    int aspect;
    int width, height;  // expected, from a 64x48 source
};

class EngineJpeg : public EngineTest, public ::testing::WithParamInterface<JpegCase> {};

TEST_P(EngineJpeg, QualityInterlaceAndSizeLandInTheFile) {
    const JpegCase& c = GetParam();
    make_picture(in_ + "/p.png", {.width = 64, .height = 48});
    write_job({"[FORMATS]", "PNG=1", "[JPEG]", "quality=" + std::to_string(c.quality),
               "progressive=" + std::to_string(c.progressive), "[PARAMS]",
               std::string("size=") + c.size, "aspect_ratio=" + std::to_string(c.aspect)});
    ASSERT_EQ(run(), 0);
    const PictureInfo jpg = read_picture(out_ + "/p.jpg");
    ASSERT_TRUE(jpg.ok) << log();
    EXPECT_EQ(jpg.format, "JPEG");
    EXPECT_EQ(jpg.quality, c.quality);
    EXPECT_EQ(jpg.progressive, c.progressive != 0);
    EXPECT_EQ(jpg.width, c.width);
    EXPECT_EQ(jpg.height, c.height);
}

INSTANTIATE_TEST_SUITE_P(Engine, EngineJpeg,
                         ::testing::Values(JpegCase{"plain", 75, 0, "", 0, 64, 48},
                                           JpegCase{"progressive", 85, 1, "", 0, 64, 48},
                                           JpegCase{"exact_size", 50, 0, "32x32", 0, 32, 32},
                                           JpegCase{"kept_aspect", 90, 1, "32x32", 1, 32, 24},
                                           JpegCase{"enlarged", 20, 0, "128x96", 1, 128, 96}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(EngineTest, SizeThatIsNoGeometryIsNotConvertedAndLogsOneLine) {
    make_picture(in_ + "/p.png");
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "size=abc"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), "Could not convert " + in_ + "/p.png !\r\n");
    EXPECT_FALSE(exists(out_ + "/p.jpg"));
}

TEST_F(EngineTest, AnimatedGifBecomesANumberedSeriesEachResized) {
    make_picture(in_ + "/anim.gif", {.format = "GIF", .frames = 3});
    make_picture(in_ + "/still.gif", {.format = "GIF"});
    write_job({"[FORMATS]", "GIF=1", "[JPEG]", "quality=70", "[PARAMS]", "size=16x12"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_),
              (std::vector<std::string>{"anim_0.jpg", "anim_1.jpg", "anim_2.jpg", "still.jpg"}));
    for (const char* name : {"anim_0.jpg", "anim_1.jpg", "anim_2.jpg"}) {
        const PictureInfo jpg = read_picture(out_ + "/" + name);
        EXPECT_EQ(jpg.width, 16) << name;
        EXPECT_EQ(jpg.quality, 70) << name;
    }
}

TEST_F(EngineTest, TiffPagesFollowExtractAll) {
    make_picture(in_ + "/scan.tif", {.format = "TIFF", .frames = 3});
    write_job({"[FORMATS]", "TIF=1", "[TIFF]", "extract_all=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_),
              (std::vector<std::string>{"scan00000.jpg", "scan00001.jpg", "scan00002.jpg"}));
    write_job({"[FORMATS]", "TIF=1", "[TIFF]", "extract_all=0", "[PARAMS]", "erase=1"});
    ASSERT_EQ(run(), 0);
    const PictureInfo first = read_picture(out_ + "/scan.jpg");
    ASSERT_TRUE(first.ok);
    EXPECT_GT(first.red, 0.3);  // the first page is the red-blue gradient, not a later page
}

TEST_F(EngineTest, NumberedSeriesKeepsExistingPagesAndWritesTheMissingOnes) {
    make_picture(in_ + "/scan.tif", {.format = "TIFF", .frames = 2});
    make_folder(out_);
    write_file(out_ + "/scan00000.jpg", "kept");
    write_job({"[FORMATS]", "TIF=1", "[TIFF]", "extract_all=1", "[PARAMS]", "erase=0"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(read_file(out_ + "/scan00000.jpg"), "kept");
    EXPECT_TRUE(read_picture(out_ + "/scan00001.jpg").ok);
    EXPECT_EQ(log_body(), in_ + "/scan.tif converted\r\n");

    ASSERT_EQ(run(), 0);  // every page exists now
    EXPECT_EQ(log_body(), "The file " + in_ +
                              "/scan.tif was not created, it already exists in the targer "
                              "folder.\r\n");
}

TEST_F(EngineTest, TransparencyBecomesWhite) {
    make_picture(in_ + "/logo.png", {.pattern = "xc:black", .alpha = true});
    write_job({"[FORMATS]", "PNG=1", "[JPEG]", "quality=95"});
    ASSERT_EQ(run(), 0);
    const PictureInfo jpg = read_picture(out_ + "/logo.jpg");
    ASSERT_TRUE(jpg.ok);
    EXPECT_NEAR(jpg.red, 0.5, 0.05);  // half white, half black
}

class LiteralNames : public EngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(LiteralNames, EveryNameReachesTheLibraryLiterally) {
    const std::string name = GetParam();
    make_picture(in_ + "/" + name + ".png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_), std::vector<std::string>{name + ".jpg"}) << log();
    EXPECT_TRUE(read_picture(out_ + "/" + name + ".jpg").ok);
}

INSTANTIATE_TEST_SUITE_P(Engine, LiteralNames,
                         ::testing::Values("100%", "100%d", "x%05d", "a[1]", "png:x", "-lead",
                                           "with blank", "it's \"quoted\"", "été", "%[w]"));

TEST_F(EngineTest, FoldersWithPercentSignsStayLiteral) {
    in_ = dir_ / "in%d";
    out_ = dir_ / "out%05d";
    make_folder(in_);
    make_picture(in_ + "/a.gif", {.format = "GIF", .frames = 2});
    write_job({"[FORMATS]", "GIF=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_), (std::vector<std::string>{"a_0.jpg", "a_1.jpg"})) << log();
}

// Camera raw through the whole engine: the decoder module is found beside the program,
// and a file that only carries the extension is reported with the reason.
TEST_F(EngineTest, CameraRawBecomesAJpegThroughTheModule) {
    ASSERT_TRUE(write_dng(in_ + "/photo.dng", {.left = {40000, 4000, 4000}}));
    write_file(in_ + "/broken.dng", "no camera data\n");
    write_job({"[FORMATS]", "DNG=1", "[JPEG]", "quality=40"});
    ASSERT_EQ(run(), 0);
    const PictureInfo jpg = read_picture(out_ + "/photo.jpg");
    ASSERT_TRUE(jpg.ok) << log();
    EXPECT_EQ(jpg.width, 32);
    EXPECT_EQ(jpg.height, 24);
    EXPECT_EQ(jpg.quality, 92);
    EXPECT_EQ(list_folder(out_), std::vector<std::string>{"photo.jpg"});
    EXPECT_EQ(log_body(), "Could not convert " + in_ +
                              "/broken.dng !\r\n\tthe camera-raw decoder cannot read the "
                              "file\r\n" +
                              in_ + "/photo.dng converted\r\n");
}

TEST_F(EngineTest, WatermarkedRunSaysSoAndLeavesNoWorkFile) {
    make_picture(in_ + "/a.png", {.width = 300, .height = 200, .pattern = "xc:white"});
    make_picture(dir_ / "mark.png", {.width = 30, .height = 30, .pattern = "xc:blue"});
    write_job({"[FORMATS]", "PNG=1", "[JPEG]", "quality=90", "[PARAMS]", "do_watermark=2",
               "watermark_file=" + dir_ / "mark.png", "watermark_dissolve=0"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_NE(log().find("     do watermark: yes\r\n"), std::string::npos);
    EXPECT_GT(region_mean(out_ + "/a.jpg", 145, 95, 10, 10).blue, 0.8);
    EXPECT_EQ(read_picture(out_ + "/a.jpg").quality, 90);
    EXPECT_EQ(list_folder(tmp_),
              (std::vector<std::string>{"Tarvik_morvane.lock", "Tarvik_morvane.log"}));
}

}  // namespace
}  // namespace morvane::test

// Documents through the whole engine: pages rendered in the temporary folder and gone
// afterwards, and a broken document logged while the run goes on.
namespace morvane::test {
namespace {

TEST_F(EngineTest, DocumentsBecomePagesAndABrokenOneDoesNotStopTheRun) {
    ASSERT_TRUE(make_pdf(in_ + "/report.pdf", "rgb"));
    write_file(in_ + "/broken.pdf", "%PDF-1.4\ngarbage\n%%EOF\n");
    write_file(in_ + "/box.eps",
               "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 0 0 60 40\n0 0 60 40 rectfill\n");
    make_picture(in_ + "/art.psd", {.format = "PSD"});
    write_job({"[FORMATS]", "PDF=1", "EPS=1", "PSD=1", "[JPEG]", "quality=60", "[EPS]",
               "density=144", "[PDF]", "extract_all=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_), (std::vector<std::string>{"art.jpg", "box.jpg", "report_00001.jpg",
                                                           "report_00002.jpg", "report_00003.jpg"}))
        << log();
    EXPECT_EQ(read_picture(out_ + "/box.jpg").width, 120);
    EXPECT_EQ(read_picture(out_ + "/report_00002.jpg").quality, 60);
    const std::string body = log_body();
    const std::string failure =
        "The file " + in_ + "/broken.pdf cannot be read by Tarvik_morvane\r\n\t";
    const std::size_t at = body.find(failure);
    ASSERT_NE(at, std::string::npos) << body;
    const std::size_t reason_end = body.find("\r\n", at + failure.size());
    EXPECT_EQ(body.substr(0, at), in_ + "/art.psd converted\r\n" + in_ + "/box.eps converted\r\n");
    EXPECT_EQ(body.substr(reason_end + 2),
              "Could not convert " + in_ + "/broken.pdf !\r\n" + in_ + "/report.pdf converted\r\n");
    EXPECT_EQ(list_folder(tmp_),
              (std::vector<std::string>{"Tarvik_morvane.lock", "Tarvik_morvane.log"}));
}

// Videos through the whole engine: the frame extractors are found beside the program,
// the frames of each video become numbered JPEG files, a video that cannot be read is
// logged and stays, and no frame file outlives the run.
TEST_F(EngineTest, VideosBecomeNumberedFramesAndOnlyConvertedOnesMove) {
    ASSERT_TRUE(write_video(in_ + "/clip.avi", {.frames = 4}));
    ASSERT_TRUE(write_video(in_ + "/film.mpg",
                            {.container = "mpeg", .coding = VideoCoding::Mpeg1, .frames = 6}));
    write_file(in_ + "/broken.m2v", "not a video\n");
    make_folder(dir_ / "done");
    write_job({"move_path=" + dir_ / "done", "[FORMATS]", "AVI=1", "MPEG=1", "[JPEG]", "quality=70",
               "[PARAMS]", "move=1", "size=32x24", "[MPEG]", "extract_all=0", "extract_from=2",
               "extract_to=4"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(list_folder(out_),
              (std::vector<std::string>{"clip_0.jpg", "clip_1.jpg", "clip_2.jpg", "clip_3.jpg",
                                        "film_0.jpg", "film_1.jpg", "film_2.jpg"}));
    const PictureInfo frame = read_picture(out_ + "/film_2.jpg");
    EXPECT_EQ(frame.quality, 70);
    EXPECT_EQ(frame.width, 32);
    EXPECT_EQ(frame_for_colour(frame.red * 255, frame.green * 255), 4);
    EXPECT_EQ(list_folder(dir_ / "done"), (std::vector<std::string>{"clip.avi", "film.mpg"}));
    EXPECT_EQ(list_folder(in_), std::vector<std::string>{"broken.m2v"});
    const std::string body = log_body();
    EXPECT_EQ(
        body.rfind("The file " + in_ + "/broken.m2v cannot be read by Tarvik_morvane\r\n\t", 0), 0u)
        << body;
    EXPECT_NE(body.find("Could not convert " + in_ + "/broken.m2v !\r\n"), std::string::npos);
    EXPECT_NE(body.find(in_ + "/clip.avi converted\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find(in_ + "/film.mpg converted\r\n"), std::string::npos) << body;
    EXPECT_EQ(list_folder(tmp_),
              (std::vector<std::string>{"Tarvik_morvane.lock", "Tarvik_morvane.log"}));
}

// A link planted where the engine writes is refused: what it points at stays as it was.
TEST_F(EngineTest, LinksPlantedAtOutputAndMoveNamesAreNeverFollowedOrReplaced) {
    make_picture(in_ + "/a.png");
    make_picture(in_ + "/b.png");
    const std::string moved = dir_ / "moved";
    make_folder(out_);
    make_folder(moved);
    write_file(dir_ / "victim", "precious");
    ASSERT_EQ(::symlink((dir_ / "victim").c_str(), (out_ + "/a.jpg").c_str()), 0);
    ASSERT_EQ(::symlink((dir_ / "victim").c_str(), (moved + "/b.png").c_str()), 0);
    write_job({"move_path=" + moved, "[FORMATS]", "PNG=1", "[PARAMS]", "erase=1", "move=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), "Could not convert " + in_ + "/a.png !\r\n\tthe output file " + out_ +
                              "/a.jpg is a symbolic link and was left as it is\r\n"
                              "The file " +
                              in_ + "/b.png could not be moved to " + moved + "/b.png\r\n" + in_ +
                              "/b.png converted\r\n");
    EXPECT_EQ(read_file(dir_ / "victim"), "precious");
    EXPECT_TRUE(exists(in_ + "/a.png"));
    EXPECT_TRUE(exists(in_ + "/b.png"));
    EXPECT_TRUE(read_picture(out_ + "/b.jpg").ok);
    EXPECT_EQ(list_folder(out_), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    EXPECT_EQ(list_folder(moved), (std::vector<std::string>{"b.png"}));
}

// A JPEG source made smaller is decoded at a reduced scale; the output keeps exactly the
// size the job asks for, with and without the aspect ratio, and an enlargement still
// starts from the whole picture.
TEST_F(EngineTest, ScaledJpegDecodingKeepsTheAskedSize) {
    make_picture(in_ + "/big.jpg", {.width = 1001, .height = 667, .format = "JPEG"});
    const std::pair<std::vector<std::string>, std::pair<int, int>> cases[] = {
        {{"size=100x100", "aspect_ratio=1"}, {100, 67}},
        {{"size=100x100", "aspect_ratio=0"}, {100, 100}},
        {{"size=250x300", "aspect_ratio=1"}, {250, 167}},
        {{"size=1200x900", "aspect_ratio=1"}, {1200, 800}},
    };
    for (const auto& [keys, size] : cases) {
        std::vector<std::string> job = {"[FORMATS]", "JPEG=1", "[PARAMS]", "erase=1"};
        job.insert(job.end(), keys.begin(), keys.end());
        write_job(job);
        ASSERT_EQ(run(), 0);
        const PictureInfo jpg = read_picture(out_ + "/big.jpg");
        EXPECT_EQ(jpg.width, size.first) << keys[0];
        EXPECT_EQ(jpg.height, size.second) << keys[0];
    }
}

}  // namespace
}  // namespace morvane::test
