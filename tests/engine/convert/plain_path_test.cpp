// The plain path against the ImageMagick path: the same bytes from the same sources, at
// every quality, in both modes and sampled to several sizes, and the sources it leaves
// to ImageMagick.

#include "plain_path.h"

#include <functional>
#include <ostream>

#include <gtest/gtest.h>

#include "codec_pictures.h"
#include "convert_fixture.h"
#include "raster.h"

namespace morvane::test {
namespace {

constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;
constexpr int kApp3 = 0xE3;
constexpr int kApp13 = 0xED;
constexpr int kComment = 0xFE;

struct SourceCase {
    std::string name;
    std::string extension;
    std::function<void(const std::string&)> make;
};

std::ostream& operator<<(std::ostream& out, const SourceCase& c) {
    return out << c.name;
}

SourceCase jpeg(std::string name, JpegSpec spec) {
    return {std::move(name), ".jpg", [spec](const std::string& path) { write_jpeg(path, spec); }};
}

SourceCase png(std::string name, PngSpec spec) {
    return {std::move(name), ".png", [spec](const std::string& path) { write_png(path, spec); }};
}

std::string icc_chunk(const std::string& profile, int number, int count) {
    std::string chunk("ICC_PROFILE\0", 12);
    chunk.push_back(static_cast<char>(number));
    chunk.push_back(static_cast<char>(count));
    return chunk + profile;
}

std::string xmp_packet() {
    return std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>";
}

// A camera's file: EXIF with resolution, unit, orientation and pixel size, an ICC
// profile in two chunks, XMP, and markers ImageMagick drops.
JpegSpec camera_jpeg() {
    JpegSpec spec;
    spec.sampling = {2, 1, 1, 1, 1, 1};
    spec.jfif = false;
    ExifSpec exif;
    exif.orientation = 6;
    exif.pixel_size = std::pair<std::uint32_t, std::uint32_t>{spec.width, spec.height};
    const std::string icc = sample_icc_profile();
    const std::size_t half = icc.size() / 2;
    spec.markers = {{kApp1, exif_block(exif)},
                    {kApp2, icc_chunk(icc.substr(0, half), 1, 2)},
                    {kApp2, icc_chunk(icc.substr(half), 2, 2)},
                    {kApp1, xmp_packet()},
                    {kApp3, "maker's own"},
                    {kApp2, "MPF\0 two pictures"}};
    return spec;
}

std::vector<SourceCase> plain_sources() {
    JpegSpec sub420;
    sub420.sampling = {2, 2, 1, 1, 1, 1};
    JpegSpec dpi;
    dpi.sampling = {2, 1, 1, 1, 1, 1};
    dpi.density_unit = 1;
    dpi.x_density = dpi.y_density = 300;
    JpegSpec commented;
    commented.progressive = true;
    commented.sampling = {1, 1, 1, 1, 1, 1};
    commented.markers = {{kComment, "taken on a sunny day"}};
    JpegSpec gray;
    gray.components = 1;
    JpegSpec gray_pixels;
    gray_pixels.pixels = Pixels::Gray;
    JpegSpec rgb;
    rgb.rgb = true;
    JpegSpec per_cm;
    per_cm.density_unit = 2;
    per_cm.x_density = 40;
    per_cm.y_density = 45;
    JpegSpec exif_only;
    exif_only.jfif = false;
    ExifSpec big_endian;
    big_endian.little_endian = false;
    big_endian.numerator = 300;
    big_endian.unit = 3;
    exif_only.markers = {{kApp1, exif_block(big_endian)}};

    ExifSpec resized;
    resized.pixel_size = std::pair<std::uint32_t, std::uint32_t>{4000, 3000};
    JpegSpec stale_size;
    stale_size.markers = {{kApp1, exif_block(resized)}};
    JpegSpec named_png;  // a JPEG file under another name is not decoded for the size

    PngSpec gray_png;
    gray_png.color_type = 0;
    PngSpec palette;
    palette.color_type = 3;
    palette.bit_depth = 4;
    PngSpec gray_palette = palette;
    gray_palette.pixels = Pixels::Gray;
    gray_palette.bit_depth = 8;
    PngSpec gray_rgb;
    gray_rgb.pixels = Pixels::Gray;
    PngSpec per_metre;
    per_metre.phys = std::pair<std::uint32_t, int>{3780, 1};
    PngSpec no_unit;
    no_unit.phys = std::pair<std::uint32_t, int>{3, 0};
    PngSpec with_icc;
    with_icc.icc = sample_icc_profile();
    PngSpec labelled;
    labelled.texts = {{"Title", "harbour"}, {"date:create", "2026-12-08T10:00:00+00:00"}};
    labelled.gamma = 0.45455;
    labelled.srgb = true;
    return {
        jpeg("jpeg_420", sub420),
        jpeg("jpeg_422_300dpi", dpi),
        jpeg("jpeg_444_progressive_comment", commented),
        jpeg("jpeg_gray", gray),
        jpeg("jpeg_colour_file_gray_pixels", gray_pixels),
        jpeg("jpeg_rgb_coded", rgb),
        jpeg("jpeg_per_centimetre", per_cm),
        jpeg("jpeg_camera", camera_jpeg()),
        jpeg("jpeg_exif_without_jfif", exif_only),
        jpeg("jpeg_exif_pixel_size_of_another_picture", stale_size),
        {"jpeg_named_png", ".png", [named_png](const std::string& p) { write_jpeg(p, named_png); }},
        png("png_rgb", PngSpec{}),
        png("png_gray", gray_png),
        png("png_palette_4bit", palette),
        png("png_gray_palette", gray_palette),
        png("png_rgb_gray_pixels", gray_rgb),
        png("png_per_metre", per_metre),
        png("png_no_unit", no_unit),
        png("png_icc", with_icc),
        png("png_texts_gamma_srgb", labelled)};
}

struct Settings {
    int quality;
    int progressive;
};

class PlainPath : public ConvertTest,
                  public ::testing::WithParamInterface<std::tuple<SourceCase, Settings>> {
  protected:
    // The ImageMagick path's output for the source.
    std::string imagemagick_bytes(const std::string& source) {
        const std::string path = out("imagemagick.jpg");
        const Outcome im =
            convert_raster(ctx_, source, OutputName::plain(path), RasterCodecs::ImageMagickOnly);
        EXPECT_EQ(im.result, Result::Written) << im.reason;
        return read_file(path);
    }
};

TEST_P(PlainPath, WritesImageMagicksBytes) {
    const auto& [source_case, settings] = GetParam();
    job_.quality = settings.quality;
    job_.progressive = settings.progressive;
    const std::string source = src("picture" + source_case.extension);
    source_case.make(source);
    const std::string plain_path = out("plain.jpg");
    const std::optional<Outcome> plain = convert_plain(ctx_, source, plain_path);
    ASSERT_TRUE(plain.has_value()) << "left to ImageMagick";
    ASSERT_EQ(plain->result, Result::Written) << plain->reason;
    const std::string ours = read_file(plain_path);
    const std::string theirs = imagemagick_bytes(source);
    EXPECT_TRUE(ours == theirs) << "plain " << ours.size() << " bytes, ImageMagick "
                                << theirs.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Sources, PlainPath,
                         ::testing::Combine(::testing::ValuesIn(plain_sources()),
                                            ::testing::Values(Settings{30, 0}, Settings{75, 1},
                                                              Settings{90, 0}, Settings{91, 1},
                                                              Settings{100, 0})),
                         [](const auto& info) {
                             const Settings& s = std::get<1>(info.param);
                             return std::get<0>(info.param).name + "_q" +
                                    std::to_string(s.quality) +
                                    (s.progressive != 0 ? "_progressive" : "_baseline");
                         });

struct SizeCase {
    std::string size;
    int aspect_ratio;
    std::string name;
};

class SampledPlainPath : public ConvertTest,
                         public ::testing::WithParamInterface<std::tuple<SourceCase, SizeCase>> {};

TEST_P(SampledPlainPath, SamplesAsImageMagickDoes) {
    const auto& [source_case, size] = GetParam();
    job_.progressive = 1;
    job_.size = size.size;
    job_.aspect_ratio = size.aspect_ratio;
    const std::string source = src("picture" + source_case.extension);
    source_case.make(source);
    const std::optional<Outcome> plain = convert_plain(ctx_, source, out("plain.jpg"));
    ASSERT_TRUE(plain.has_value()) << "left to ImageMagick";
    ASSERT_EQ(plain->result, Result::Written) << plain->reason;
    const Outcome im = convert_raster(ctx_, source, OutputName::plain(out("imagemagick.jpg")),
                                      RasterCodecs::ImageMagickOnly);
    ASSERT_EQ(im.result, Result::Written) << im.reason;
    const std::string ours = read_file(out("plain.jpg"));
    const std::string theirs = read_file(out("imagemagick.jpg"));
    EXPECT_TRUE(ours == theirs) << "plain " << ours.size() << " bytes, ImageMagick "
                                << theirs.size() << " bytes";
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SampledPlainPath,
    ::testing::Combine(::testing::ValuesIn(plain_sources()),
                       ::testing::Values(SizeCase{"20x20", 1, "fit_20x20"},
                                         SizeCase{"33x2", 1, "fit_33x2"},
                                         SizeCase{"640x480", 1, "fit_larger"},
                                         SizeCase{"30x40", 0, "exact_30x40"},
                                         SizeCase{"61x39", 0, "exact_own_size"})),
    [](const auto& info) {
        return std::get<0>(info.param).name + "_" + std::get<1>(info.param).name;
    });

std::vector<SourceCase> imagemagick_sources() {
    JpegSpec cmyk;
    cmyk.components = 4;
    JpegSpec photoshop;
    photoshop.markers = {{kApp13, std::string("Photoshop 3.0\0008BIM\4\4\0\0\0\0\0\4abcd", 30)}};
    ExifSpec fraction;
    fraction.numerator = 7200;
    fraction.denominator = 100;
    JpegSpec fractional;
    fractional.markers = {{kApp1, exif_block(fraction)}};
    JpegSpec two_comments;
    two_comments.markers = {{kComment, "one"}, {kComment, "two"}};
    JpegSpec truncated;
    truncated.cut = 200;

    PngSpec deep;
    deep.bit_depth = 16;
    PngSpec alpha;
    alpha.color_type = 6;
    PngSpec keyed;
    keyed.transparent_colour = true;
    PngSpec interlaced;
    interlaced.interlaced = true;
    PngSpec linear;
    linear.gamma = 1.0;
    PngSpec comment;
    comment.texts = {{"Comment", "a comment becomes a JPEG comment"}};
    PngSpec density;
    density.texts = {{"density", "300"}};
    PngSpec too_wide;  // wider than ImageMagick allows
    too_wide.width = 16001;
    too_wide.height = 2;
    return {jpeg("cmyk", cmyk),
            jpeg("photoshop_block", photoshop),
            jpeg("exif_resolution_not_over_1", fractional),
            jpeg("two_comments", two_comments),
            jpeg("truncated", truncated),
            png("png_16_bit", deep),
            png("png_alpha", alpha),
            png("png_transparent_colour", keyed),
            png("png_interlaced", interlaced),
            png("png_linear_gamma", linear),
            png("png_comment_text", comment),
            png("png_density_text", density),
            png("png_wider_than_allowed", too_wide),
            {"not_a_picture", ".jpg", [](const std::string& p) { write_file(p, "hello"); }}};
}

class LeftToImageMagick : public ConvertTest, public ::testing::WithParamInterface<SourceCase> {};

// Such a source writes nothing on the plain path and converts as it always did.
TEST_P(LeftToImageMagick, WritesNothingAndTheRasterPathGivesImageMagicksResult) {
    job_.progressive = 1;
    const std::string source = src("picture" + GetParam().extension);
    GetParam().make(source);
    EXPECT_FALSE(convert_plain(ctx_, source, out("plain.jpg")).has_value());
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
    const Outcome through_raster = convert_raster(ctx_, source, OutputName::plain(out("a.jpg")));
    const Outcome im_only = convert_raster(ctx_, source, OutputName::plain(out("b.jpg")),
                                           RasterCodecs::ImageMagickOnly);
    EXPECT_EQ(through_raster.result, im_only.result);
    EXPECT_EQ(exists(out("a.jpg")), exists(out("b.jpg")));
    if (exists(out("a.jpg"))) {
        EXPECT_TRUE(read_file(out("a.jpg")) == read_file(out("b.jpg")));
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, LeftToImageMagick, ::testing::ValuesIn(imagemagick_sources()),
                         [](const auto& info) { return info.param.name; });

struct JobCase {
    std::string name;
    std::function<void(JobSettings&)> change;
    bool plain;
};

class PlainJob : public ::testing::TestWithParam<JobCase> {};

TEST_P(PlainJob, QualityProgressiveModeAndAPlainSizeMakeAPlainJob) {
    JobSettings job;
    job.quality = 75;
    job.progressive = 1;
    GetParam().change(job);
    EXPECT_EQ(is_plain_job(job), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Jobs, PlainJob,
    ::testing::Values(
        JobCase{"quality_and_progressive", [](JobSettings&) {}, true},
        JobCase{"baseline", [](JobSettings& j) { j.progressive = 0; }, true},
        JobCase{"size", [](JobSettings& j) { j.size = "640x480"; }, true},
        JobCase{"exact_size",
                [](JobSettings& j) {
                    j.size = "640x480";
                    j.aspect_ratio = 0;
                },
                true},
        JobCase{"size_in_percent", [](JobSettings& j) { j.size = "50%"; }, false},
        JobCase{"width_only", [](JobSettings& j) { j.size = "640x"; }, false},
        JobCase{"only_shrink", [](JobSettings& j) { j.size = "640x480>"; }, false},
        JobCase{"zero_width", [](JobSettings& j) { j.size = "0x480"; }, false},
        JobCase{"text_watermark", [](JobSettings& j) { j.watermark_mode = 1; }, false},
        JobCase{"image_watermark", [](JobSettings& j) { j.watermark_mode = 2; }, false},
        JobCase{"quality_0", [](JobSettings& j) { j.quality = 0; }, false},
        JobCase{"quality_101", [](JobSettings& j) { j.quality = 101; }, false}),
    [](const auto& info) { return info.param.name; });

class PlainPathFiles : public ConvertTest {};

TEST_F(PlainPathFiles, AKeptOutputStaysByteForByte) {
    job_.erase = 0;
    write_jpeg(src("photo.jpg"), JpegSpec{});
    write_file(out("photo.jpg"), "an earlier output");
    const std::optional<Outcome> plain = convert_plain(ctx_, src("photo.jpg"), out("photo.jpg"));
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->result, Result::Kept);
    EXPECT_EQ(read_file(out("photo.jpg")), "an earlier output");
    EXPECT_EQ(list_folder(dir_ / "out"), std::vector<std::string>{"photo.jpg"});
}

TEST_F(PlainPathFiles, AnOutputThatCannotBeMadeFailsAsOnTheImageMagickPath) {
    write_png(src("photo.png"), PngSpec{});
    const std::string missing_folder = out("gone/photo.jpg");
    const std::optional<Outcome> plain = convert_plain(ctx_, src("photo.png"), missing_folder);
    ASSERT_TRUE(plain.has_value());
    const Outcome im = convert_raster(ctx_, src("photo.png"), OutputName::plain(missing_folder),
                                      RasterCodecs::ImageMagickOnly);
    EXPECT_EQ(plain->result, Result::Failed);
    EXPECT_EQ(plain->result, im.result);
    EXPECT_EQ(plain->reason, im.reason);
}

TEST_F(PlainPathFiles, ASourceCountsAsConvertedAndLogsNothing) {
    write_jpeg(src("photo.jpg"), JpegSpec{});
    const ConvertOutcome outcome = convert(src("photo.jpg"), out("photo.jpg"));
    EXPECT_EQ(outcome.result, kConverted);
    EXPECT_EQ(log_text(), "");
    EXPECT_TRUE(exists(out("photo.jpg")));
}

}  // namespace
}  // namespace morvane::test
