#include "convert_source.h"

#include <cctype>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "documents_fixture.h"
#include "path_util.h"

namespace morvane::test {
namespace {

struct RouteCase {
    std::string ext;
    Route route;
};

class Routing : public ::testing::TestWithParam<RouteCase> {};

TEST_P(Routing, MatchesTheWholeExtensionCaseIgnored) {
    EXPECT_EQ(route_for_extension(GetParam().ext), GetParam().route);
}

INSTANTIATE_TEST_SUITE_P(
    Extensions, Routing,
    ::testing::Values(RouteCase{".cr2", Route::CameraRaw}, RouteCase{".CR2", Route::CameraRaw},
                      RouteCase{".nefx", Route::Raster}, RouteCase{".x3f", Route::CameraRaw},
                      RouteCase{".dir", Route::CameraRaw}, RouteCase{".cr", Route::Raster},
                      RouteCase{".pdf", Route::Pdf}, RouteCase{".pdfx", Route::Raster},
                      RouteCase{".eps", Route::PostScript}, RouteCase{".epsf", Route::Raster},
                      RouteCase{".EPT", Route::PostScript}, RouteCase{".ps", Route::PostScript},
                      RouteCase{".PS", Route::PostScript}, RouteCase{".ps2", Route::Raster},
                      RouteCase{".ps3", Route::Raster}, RouteCase{".ai", Route::PostScript},
                      RouteCase{".aix", Route::Raster}, RouteCase{".avi", Route::Avi},
                      RouteCase{".avif", Route::Raster}, RouteCase{".mpg", Route::Mpeg},
                      RouteCase{".mpeg", Route::Mpeg}, RouteCase{".MPEG2", Route::Raster},
                      RouteCase{".mpe", Route::Raster}, RouteCase{".m2v", Route::Mpeg},
                      RouteCase{".psd", Route::Photoshop}, RouteCase{".png", Route::Raster},
                      RouteCase{".jpg", Route::Raster}, RouteCase{"", Route::Raster},
                      RouteCase{".", Route::Raster}));

// Every extension of the source format table reaches its row's converter, in either case.
TEST(RoutingTable, EveryExtensionReachesItsRowsConverter) {
    for (const SourceFormat& format : source_formats()) {
        for (const SourceExtension& ext : format.extensions) {
            if (ext.name.empty()) continue;
            std::string upper(ext.name);
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            EXPECT_EQ(route_for_extension(std::string(ext.name)), format.route) << ext.name;
            EXPECT_EQ(route_for_extension(upper), format.route) << upper;
        }
    }
}

TEST_F(ConvertTest, RefusesAPathLongerThanLinuxAllows) {
    const std::string source = dir_ / (std::string(5000, 'a') + ".png");
    const ConvertOutcome outcome = convert(source, out("a.jpg"));
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_NE(outcome.reason.find("longer"), std::string::npos);
    const ConvertOutcome long_output = convert(src("a.png"), out(std::string(5000, 'b') + ".jpg"));
    EXPECT_EQ(long_output.result, kNotConverted);
    EXPECT_FALSE(long_output.reason.empty());
}

// The source moves only when it was converted: not when its output was kept, not when
// it could not be read.
TEST_F(ConvertTest, MovesOnlyAConvertedSource) {
    job_.move = 1;
    job_.move_path = dir_ / "done";
    make_folder(job_.move_path);
    const std::string kept = src("kept.png");
    make_picture(kept);
    write_file(out("kept.jpg"), "old");
    job_.erase = 0;
    EXPECT_EQ(convert(kept, out("kept.jpg")).result, kOutputExists);
    EXPECT_TRUE(exists(kept));

    const std::string broken = src("broken.png");
    write_file(broken, "not a picture");
    EXPECT_EQ(convert(broken, out("broken.jpg")).result, kNotConverted);
    EXPECT_TRUE(exists(broken));

    const std::string fresh = src("fresh.png");
    make_picture(fresh);
    EXPECT_EQ(convert(fresh, out("fresh.jpg")).result, kConverted);
    EXPECT_FALSE(exists(fresh));
    EXPECT_EQ(list_folder(job_.move_path), (std::vector<std::string>{"fresh.png"}));
    EXPECT_NE(log_text().find("The file " + fresh + " has been moved to " + job_.move_path +
                              "/fresh.png\r\n"),
              std::string::npos);
}

// A size no picture may have fails every kind of source with its reason, before
// anything is read or written.
struct ImpossibleSizeCase {
    const char* name;
    const char* size;
    const char* source;
};

class ImpossibleSize : public ConvertTest,
                       public ::testing::WithParamInterface<ImpossibleSizeCase> {};

TEST_P(ImpossibleSize, FailsTheSourceWithItsReason) {
    const ImpossibleSizeCase& c = GetParam();
    const std::string source = src(c.source);
    const std::string ext = split_path(source).ext;
    if (ext == ".pdf") {
        ASSERT_TRUE(make_pdf(source, "rg"));
    } else if (ext == ".ps") {
        write_file(source, postscript_pages("rg"));
    } else {
        make_picture(source, {.format = ext == ".psd"   ? "PSD"
                                        : ext == ".gif" ? "GIF"
                                                        : "PNG",
                              .frames = ext == ".gif" ? 3 : 1});
    }
    job_.size = c.size;
    job_.aspect_ratio = 1;
    const ConvertOutcome outcome = convert(source, out("a.jpg"));
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_NE(outcome.reason.find("the size " + std::string(c.size) + " cannot be made"),
              std::string::npos)
        << outcome.reason;
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ImpossibleSize,
    ::testing::Values(ImpossibleSizeCase{"side_png", "100000x100000", "a.png"},
                      ImpossibleSizeCase{"beyond_32_bits", "4294967297x10", "a.png"},
                      ImpossibleSizeCase{"one_past_the_side", "16001x10", "a.png"},
                      ImpossibleSizeCase{"area", "12000x12000", "a.png"},
                      ImpossibleSizeCase{"gif_series", "100000x100000", "a.gif"},
                      ImpossibleSizeCase{"pdf", "100000x100000", "a.pdf"},
                      ImpossibleSizeCase{"postscript", "100000x100000", "a.ps"},
                      ImpossibleSizeCase{"photoshop", "100000x100000", "a.psd"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConvertTest, TheLargestSideStillConverts) {
    make_picture(src("a.png"));
    job_.size = "16000x8";
    const ConvertOutcome outcome = convert(src("a.png"), out("a.jpg"));
    EXPECT_EQ(outcome.result, kConverted) << outcome.reason;
    EXPECT_EQ(read_picture(out("a.jpg")).width, 16000);
}

}  // namespace
}  // namespace morvane::test
