// Output options, the text watermark and the image watermark: the vectors item for
// item, and what they do to the pixels.

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "magick_adapter.h"
#include "output_options.h"
#include "watermark.h"

namespace morvane::test {
namespace {

using Items = std::vector<std::string>;

Items items_of(const ArgVector& args, int from = 1) {
    Items items;
    for (int i = from; i < args.count(); ++i) items.push_back(args[i]);
    return items;
}

struct OptionsCase {
    const char* name;
    int progressive;
    const char* size;
    int aspect;
    Items expected;
};

class OutputOptions : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(OutputOptions, AppendsTheDocumentOptionsInOrder) {
    JobSettings job;
    job.quality = 90;
    job.progressive = GetParam().progressive;
    job.size = GetParam().size;
    job.aspect_ratio = GetParam().aspect;
    ArgVector args("Tarvik");
    build_output_options(job, args);
    EXPECT_EQ(items_of(args), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Watermark, OutputOptions,
    ::testing::Values(OptionsCase{"exact_size",
                                  1,
                                  "800x600",
                                  0,
                                  {"-quality", "90", "-interlace", "Plane", "-resize", "800x600!",
                                   "-density", "90x90"}},
                      OptionsCase{"kept_aspect",
                                  1,
                                  "800x600",
                                  1,
                                  {"-quality", "90", "-interlace", "Plane", "-filter", "lanczos",
                                   "-sample", "800x600", "-density", "90x90"}},
                      OptionsCase{"no_size", 0, "", 0, {"-quality", "90", "-density", "90x90"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TextWatermarkGroup, EndsWithColourAnchorAndText) {
    JobSettings job;
    job.quality = 75;
    job.watermark_mode = 1;
    job.watermark_txt = "(c) me";
    job.watermark_color = 65280;
    job.watermark_location = 6;
    ArgVector args("Tarvik");
    build_output_options(job, args);
    const Items items = items_of(args);
    const Items tail(items.end() - 6, items.end());
    EXPECT_EQ(tail, (Items{"-fill", "#00ff00e6", "-gravity", "South-East", "-draw",
                           "text 50,50 '(c) me'"}));
    EXPECT_EQ(std::count(items.begin(), items.end(), "-dissolve"), 0);  // not a convert option
    EXPECT_EQ(std::count(items.begin(), items.end(), "-pointsize"), 1);
}

TEST(TextWatermarkGroup, LocationOutsideTheTableIsCenter) {
    for (int location : {-1, 9, 1000}) EXPECT_STREQ(location_name(location), "Center");
    EXPECT_STREQ(location_name(8), "West");
}

TEST(TextWatermarkGroup, FontIsWhatFontconfigMatchesForArial) {
    EXPECT_NE(watermark_font_file().find("Liberation"), std::string::npos) << watermark_font_file();
}

struct DrawCase {
    std::string text;
    std::string item;
};

class DrawText : public ::testing::TestWithParam<DrawCase> {};

TEST_P(DrawText, QuotesAndBackslashesCannotEndTheText) {
    EXPECT_EQ(draw_text_item(GetParam().text), GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(Watermark, DrawText,
                         ::testing::Values(DrawCase{"plain", "text 50,50 'plain'"},
                                           DrawCase{"it's", "text 50,50 'it\\'s'"},
                                           DrawCase{"a\\b", "text 50,50 'a\\\\b'"},
                                           DrawCase{"x\\'", "text 50,50 'x\\\\\\''"},
                                           DrawCase{"100%w \"q\"", "text 50,50 '100%w \"q\"'"}));

TEST(DrawText, LongTextsAreKeptWhole) {
    const std::string text(600, 'w');
    EXPECT_EQ(draw_text_item(text), "text 50,50 '" + text + "'");
}

struct CompositeCase {
    const char* name;
    int tile;
    int dissolve;
    int location;
    Items expected;
};

class CompositeVector : public ::testing::TestWithParam<CompositeCase> {};

TEST_P(CompositeVector, Items) {
    JobSettings job;
    job.quality = 80;
    job.watermark_tile = GetParam().tile;
    job.watermark_dissolve = GetParam().dissolve;
    job.watermark_location = GetParam().location;
    const ArgVector args = composite_arguments(job, "/w.png", "/t.jpg", "/o.jpg");
    EXPECT_EQ(items_of(args, 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Watermark, CompositeVector,
    ::testing::Values(
        CompositeCase{
            "anchored",
            0,
            10,
            3,
            {"Tarvik_morvane", "-compose", "Over", "-dissolve", "90", "-gravity", "North-East",
             "-type", "TrueColor", "-quality", "80", "/w.png", "/t.jpg", "/o.jpg"}},
        CompositeCase{"tiled",
                      1,
                      25,
                      3,
                      {"Tarvik_morvane", "-tile", "-compose", "Over", "-dissolve", "75", "-type",
                       "TrueColor", "-quality", "80", "/w.png", "/t.jpg", "/o.jpg"}},
        CompositeCase{"out_of_range",
                      0,
                      150,
                      12,
                      {"Tarvik_morvane", "-compose", "Over", "-dissolve", "0", "-gravity", "Center",
                       "-type", "TrueColor", "-quality", "80", "/w.png", "/t.jpg", "/o.jpg"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Pictures on which a mark is easy to see: a white 400x300 picture.
class WatermarkPixels : public ConvertTest {
  protected:
    WatermarkPixels() {
        temp_.folder = dir_ / "tmp";
        make_folder(temp_.folder);
        job_.quality = 95;
        make_picture(src("white.png"), {.width = 400, .height = 300, .pattern = "xc:white"});
    }
    void text_job(const std::string& text, int location) {
        job_.watermark_mode = 1;
        job_.watermark_txt = text;
        job_.watermark_color = 0x0000FF;  // red
        job_.watermark_location = location;
    }
    void image_job(int tile, int dissolve) {
        make_picture(src("mark.png"), {.width = 40, .height = 40, .pattern = "xc:blue"});
        job_.watermark_mode = 2;
        job_.watermark_file = src("mark.png");
        job_.watermark_tile = tile;
        job_.watermark_dissolve = dissolve;
        job_.watermark_location = 0;
    }
};

TEST_F(WatermarkPixels, TextIsDrawnRedNearItsAnchorOnly) {
    text_job("WWWW", 4);  // North-West: 50,50 from the top left corner
    ASSERT_EQ(convert(src("white.png"), out("w.jpg")).result, kConverted);
    const Rgb near = region_mean(out("w.jpg"), 50, 50, 120, 50);
    EXPECT_GT(near.red - near.green, 0.1) << near.red << " " << near.green;
    const Rgb far = region_mean(out("w.jpg"), 250, 200, 150, 100);
    EXPECT_GT(far.green, 0.97);
}

TEST_F(WatermarkPixels, TextKeepsItsColourOnAGrayscalePicture) {
    make_picture(src("gray.png"), {.width = 400, .height = 300, .pattern = "gradient:white-gray"});
    text_job("WWWW", 4);
    ASSERT_EQ(convert(src("gray.png"), out("g.jpg")).result, kConverted);
    const Rgb near = region_mean(out("g.jpg"), 50, 50, 120, 50);
    EXPECT_GT(near.red - near.green, 0.1) << near.red << " " << near.green;
}

TEST_F(WatermarkPixels, HostileTextIsDrawnAsText) {
    text_job("x' fill red rectangle 0,0 400,300 text 0,0 'y", 4);
    ASSERT_EQ(convert(src("white.png"), out("h.jpg")).result, kConverted);
    const Rgb far = region_mean(out("h.jpg"), 250, 200, 150, 100);
    EXPECT_GT(far.green, 0.97);  // no rectangle
    const Rgb near = region_mean(out("h.jpg"), 50, 50, 300, 50);
    EXPECT_LT(near.green, 0.97);  // but the text is there
}

TEST_F(WatermarkPixels, TextGroupWorksThroughTheConvertCommand) {
    text_job("WWWW", 4);
    ArgVector args("Tarvik");
    args.push_back(src("white.png"));
    build_output_options(job_, args);
    args.push_back(out("c.jpg"));
    std::string reason;
    ASSERT_TRUE(magick::convert_command(args.count(), args.argv(), reason)) << reason;
    const Rgb near = region_mean(out("c.jpg"), 50, 50, 120, 50);
    EXPECT_GT(near.red - near.green, 0.1);
}

TEST_F(WatermarkPixels, ImageWatermarkSitsAtItsAnchor) {
    image_job(0, 0);
    ASSERT_EQ(convert(src("white.png"), out("i.jpg")).result, kConverted);
    const Rgb centre = region_mean(out("i.jpg"), 190, 140, 20, 20);
    EXPECT_LT(centre.red, 0.2);
    EXPECT_GT(centre.blue, 0.8);
    EXPECT_GT(region_mean(out("i.jpg"), 0, 0, 60, 60).red, 0.95);
    EXPECT_EQ(read_picture(out("i.jpg")).quality, 95);
    EXPECT_TRUE(list_folder(temp_.folder).empty());
}

TEST_F(WatermarkPixels, TiledWatermarkCoversThePicture) {
    image_job(1, 0);
    ASSERT_EQ(convert(src("white.png"), out("t.jpg")).result, kConverted);
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{360, 260}, std::pair{200, 0}}) {
        EXPECT_LT(region_mean(out("t.jpg"), x + 10, y + 10, 20, 20).red, 0.2) << x << "," << y;
    }
}

TEST_F(WatermarkPixels, DissolveSetsTheStrength) {
    image_job(0, 0);
    ASSERT_EQ(convert(src("white.png"), out("strong.jpg")).result, kConverted);
    job_.watermark_dissolve = 60;
    ASSERT_EQ(convert(src("white.png"), out("faint.jpg")).result, kConverted);
    const double strong = region_mean(out("strong.jpg"), 190, 140, 20, 20).red;
    const double faint = region_mean(out("faint.jpg"), 190, 140, 20, 20).red;
    EXPECT_GT(faint - strong, 0.3);
}

TEST_F(WatermarkPixels, UnreadableWatermarkLeavesNoOutputButCountsAsConverted) {
    image_job(0, 10);
    job_.watermark_file = src("missing.png");
    EXPECT_EQ(convert(src("white.png"), out("n.jpg")).result, kConverted);
    EXPECT_FALSE(exists(out("n.jpg")));
    EXPECT_TRUE(list_folder(temp_.folder).empty());
}

TEST_F(WatermarkPixels, EveryImageOfASeriesIsWatermarked) {
    image_job(0, 0);
    make_picture(
        src("anim.gif"),
        {.width = 200, .height = 150, .format = "GIF", .pattern = "xc:white", .frames = 3});
    ASSERT_EQ(convert(src("anim.gif"), out("anim.jpg")).result, kConverted);
    for (const char* name : {"anim_0.jpg", "anim_1.jpg", "anim_2.jpg"}) {
        EXPECT_GT(region_mean(out(name), 95, 70, 10, 10).blue, 0.8) << name;
        EXPECT_LT(region_mean(out(name), 95, 70, 10, 10).red, 0.2) << name;
    }
}

TEST_F(WatermarkPixels, KeptOutputStaysWithErase0) {
    image_job(0, 0);
    job_.erase = 0;
    write_file(out("k.jpg"), "kept");
    EXPECT_EQ(convert(src("white.png"), out("k.jpg")).result, kOutputExists);
    EXPECT_EQ(read_file(out("k.jpg")), "kept");
}

TEST_F(WatermarkPixels, FinishedOutputGetsTheWatermarkOrStaysAsItWas) {
    ASSERT_EQ(convert(src("white.png"), out("page.jpg")).result, kConverted);
    image_job(0, 0);
    const std::string plain = read_file(out("page.jpg"));
    job_.watermark_file = src("missing.png");
    EXPECT_EQ(watermark_output_file(ctx_, out("page.jpg")).result, Result::Skipped);
    EXPECT_EQ(read_file(out("page.jpg")), plain);
    job_.watermark_file = src("mark.png");
    const Outcome marked = watermark_output_file(ctx_, out("page.jpg"));
    EXPECT_EQ(marked.result, Result::Written) << marked.reason;
    EXPECT_GT(region_mean(out("page.jpg"), 190, 140, 20, 20).blue, 0.8);
    EXPECT_EQ(list_folder(dir_ / "out"), Items{"page.jpg"});
    EXPECT_TRUE(list_folder(temp_.folder).empty());
}

}  // namespace
}  // namespace morvane::test
