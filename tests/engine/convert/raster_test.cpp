#include "raster.h"

#include <ostream>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "convert_fixture.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;

struct VectorCase {
    int quality;
    int progressive;
    std::string size;
    int aspect_ratio;
    Names expected;  // between the source and the output name
};

std::ostream& operator<<(std::ostream& out, const VectorCase& c) {
    return out << "quality " << c.quality << ", progressive " << c.progressive << ", size '"
               << c.size << "', aspect " << c.aspect_ratio;
}

class RasterVector : public ::testing::TestWithParam<VectorCase> {};

TEST_P(RasterVector, HoldsTheOptionsInTheirOrder) {
    const VectorCase& c = GetParam();
    JobSettings job;
    job.quality = c.quality;
    job.progressive = c.progressive;
    job.size = c.size;
    job.aspect_ratio = c.aspect_ratio;
    ArgVector args = raster_arguments(job, "/in/photo.JPG", "/out/photo.jpg");
    Names items;
    for (int i = 0; i < args.count(); ++i) items.push_back(args[i]);
    Names expected{"Tarvik", "/in/photo.JPG"};
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    expected.push_back("/out/photo.jpg");
    EXPECT_EQ(items, expected);
    EXPECT_EQ(args.argv()[args.count()], nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, RasterVector,
    ::testing::Values(
        VectorCase{
            85, 1, "640x480", 1, {"-quality", "85", "-interlace", "Line", "-sample", "640x480"}},
        VectorCase{
            85, 1, "640x480", 0, {"-quality", "85", "-interlace", "Line", "-sample", "640x480!"}},
        VectorCase{75, 0, "", 0, {"-quality", "75"}},
        VectorCase{1, 0, "abc", 0, {"-quality", "1", "-sample", "abc!"}},
        VectorCase{99, 1, "", 1, {"-quality", "99", "-interlace", "Line"}}));

struct JpegCase {
    int quality;
    int progressive;
    std::string size;
    int aspect_ratio;
    int width, height;
};

std::ostream& operator<<(std::ostream& out, const JpegCase& c) {
    return out << "quality " << c.quality << ", progressive " << c.progressive << ", size '"
               << c.size << "', aspect " << c.aspect_ratio;
}

class RasterJpeg : public ConvertTest, public ::testing::WithParamInterface<JpegCase> {};

TEST_P(RasterJpeg, QualityInterlaceAndSizeLandInTheFile) {
    const JpegCase& c = GetParam();
    job_.quality = c.quality;
    job_.progressive = c.progressive;
    job_.size = c.size;
    job_.aspect_ratio = c.aspect_ratio;
    make_picture(src("in.png"), {64, 48});
    ASSERT_EQ(convert(src("in.png"), out("in.jpg")).result, kConverted);
    const PictureInfo jpeg = read_picture(out("in.jpg"));
    ASSERT_TRUE(jpeg.ok);
    EXPECT_EQ(jpeg.format, "JPEG");
    EXPECT_EQ(jpeg.quality, c.quality);
    EXPECT_EQ(jpeg.progressive, c.progressive != 0);
    EXPECT_EQ(jpeg.width, c.width);
    EXPECT_EQ(jpeg.height, c.height);
    EXPECT_EQ(log_text(), "");
}

INSTANTIATE_TEST_SUITE_P(Settings, RasterJpeg,
                         ::testing::Values(JpegCase{85, 1, "32x24", 0, 32, 24},
                                           JpegCase{40, 0, "40x40", 0, 40, 40},
                                           JpegCase{60, 1, "40x40", 1, 40, 30},
                                           JpegCase{95, 0, "", 0, 64, 48},
                                           JpegCase{10, 1, "128x96", 1, 128, 96}));

// A progressive source must not make a progressive output.
TEST_F(ConvertTest, InterlaceFollowsTheJobNotTheSource) {
    make_picture(src("in.png"));
    job_.progressive = 1;
    ASSERT_EQ(convert(src("in.png"), src("progressive.jpg")).result, kConverted);
    ASSERT_TRUE(read_picture(src("progressive.jpg")).progressive);
    job_.progressive = 0;
    ASSERT_EQ(convert(src("progressive.jpg"), out("baseline.jpg")).result, kConverted);
    EXPECT_FALSE(read_picture(out("baseline.jpg")).progressive);
}

class BadSize : public ConvertTest, public ::testing::WithParamInterface<int> {};

TEST_P(BadSize, IsRefusedSilently) {
    job_.size = "abc";
    job_.aspect_ratio = GetParam();
    make_picture(src("in.png"));
    const ConvertOutcome outcome = convert(src("in.png"), out("in.jpg"));
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(log_text(), "");
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
}

INSTANTIATE_TEST_SUITE_P(AspectRatio, BadSize, ::testing::Values(0, 1));

class LiteralNames : public ConvertTest,
                     public ::testing::WithParamInterface<std::tuple<std::string, std::string>> {};

// Whatever a name holds, ImageMagick reads that very file and the output gets that
// very name: no '%' expansion, no frame selector, no format prefix, no option.
TEST_P(LiteralNames, ReachTheIntendedFiles) {
    const auto& [base, folder] = GetParam();
    make_folder(dir_ / folder);
    make_picture(src(base + ".png"), {20, 10});
    const std::string output = dir_ / (folder + "/" + base + ".jpg");
    ASSERT_EQ(convert(src(base + ".png"), output).result, kConverted) << log_text();
    EXPECT_EQ(list_folder(dir_ / folder), Names{base + ".jpg"});
    EXPECT_EQ(read_picture(output).width, 20);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LiteralNames,
    ::testing::Combine(::testing::Values("100%d", "x%o", "c%[w]", "a[1]", "b[0-2]", "c[2x2+1+1]",
                                         "png:x", "-lead", "it's", "say \"hi\"", "two  blanks ",
                                         "été", "@list", "~home"),
                       ::testing::Values("out", "50%d [1]")));

TEST_F(ConvertTest, ReadsARelativeSourceThatLooksLikeAnOption) {
    make_picture(src("-size.png"), {20, 10});
    char* previous = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir((dir_ / "src").c_str()), 0);
    const ConvertOutcome outcome = convert("-size.png", out("-size.jpg"));
    ASSERT_EQ(::chdir(previous), 0);
    std::free(previous);
    EXPECT_EQ(outcome.result, kConverted);
    EXPECT_EQ(read_picture(out("-size.jpg")).width, 20);
}

class SeveralImages : public ConvertTest, public ::testing::WithParamInterface<std::string> {};

// Each image of an animation or icon set gets its own file, resized like the first.
TEST_P(SeveralImages, BecomeANumberedSeries) {
    const std::string format = GetParam();
    job_.size = "32x24";
    const std::string source = src("100%d." + format);
    make_picture(source, {64, 48, format == "gif" ? "GIF" : "ICO", "gradient:red-blue", 3});
    ASSERT_EQ(convert(source, out("100%d.jpg")).result, kConverted);
    EXPECT_EQ(list_folder(dir_ / "out"), (Names{"100%d_0.jpg", "100%d_1.jpg", "100%d_2.jpg"}));
    for (const char* name : {"100%d_0.jpg", "100%d_1.jpg", "100%d_2.jpg"}) {
        const PictureInfo jpeg = read_picture(out(name));
        EXPECT_EQ(jpeg.width, 32) << name;
        EXPECT_EQ(jpeg.height, 24) << name;
    }
    EXPECT_GT(read_picture(out("100%d_0.jpg")).red, 0.3);
    EXPECT_GT(read_picture(out("100%d_1.jpg")).green, 0.3);
    EXPECT_GT(read_picture(out("100%d_2.jpg")).blue, 0.8);
}

INSTANTIATE_TEST_SUITE_P(Formats, SeveralImages, ::testing::Values("gif", "ico"));

TEST_F(ConvertTest, AOneFrameGifKeepsThePlainName) {
    make_picture(src("still.gif"), {64, 48, "GIF"});
    ASSERT_EQ(convert(src("still.gif"), out("still.jpg")).result, kConverted);
    EXPECT_EQ(list_folder(dir_ / "out"), Names{"still.jpg"});
}

TEST_F(ConvertTest, TiffPagesFollowThePlaceholder) {
    job_.size = "32x24";
    make_picture(src("scan.tif"), {64, 48, "TIFF", "gradient:red-blue", 3});
    const OutputName pages = OutputName::numbered(out("scan"), 5, ".jpg");
    ASSERT_EQ(convert(src("scan.tif"), pages).result, kConverted);
    EXPECT_EQ(list_folder(dir_ / "out"),
              (Names{"scan00000.jpg", "scan00001.jpg", "scan00002.jpg"}));
    EXPECT_EQ(read_picture(out("scan00002.jpg")).width, 32);
    EXPECT_GT(read_picture(out("scan00002.jpg")).blue, 0.8);
}

TEST_F(ConvertTest, APlainNameGetsTheFirstTiffPageOnly) {
    make_picture(src("scan.tif"), {64, 48, "TIFF", "gradient:red-blue", 3});
    ASSERT_EQ(convert(src("scan.tif"), out("scan.jpg")).result, kConverted);
    EXPECT_EQ(list_folder(dir_ / "out"), Names{"scan.jpg"});
    const PictureInfo jpeg = read_picture(out("scan.jpg"));
    EXPECT_GT(jpeg.red, 0.3);
    EXPECT_LT(jpeg.green, 0.1);
}

class Transparency : public ConvertTest, public ::testing::WithParamInterface<std::string> {};

// The left half is transparent over a red-blue gradient: it must come out white.
TEST_P(Transparency, BecomesWhite) {
    const std::string source = src("clear." + GetParam());
    make_picture(source,
                 {64, 48, GetParam() == "png" ? "PNG" : "GIF", "gradient:red-blue", 1, true});
    ASSERT_EQ(convert(source, out("clear.jpg")).result, kConverted);
    const PictureInfo jpeg = read_picture(out("clear.jpg"));
    EXPECT_NEAR(jpeg.green, 0.5, 0.08);
    EXPECT_GT(jpeg.red, 0.6);
}

INSTANTIATE_TEST_SUITE_P(Formats, Transparency, ::testing::Values("png", "gif"));

}  // namespace
}  // namespace morvane::test
