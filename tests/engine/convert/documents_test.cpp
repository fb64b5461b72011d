// PDF, PostScript and Photoshop sources: page names and ranges, density, crop and trim,
// the overwrite rule, watermarks, broken and runaway documents, and the page files in
// the temporary folder.

#include <chrono>

#include <unistd.h>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "documents_fixture.h"
#include "page_renderer.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;
const Names kThree = {"report_00001.jpg", "report_00002.jpg", "report_00003.jpg"};
// A 120 x 80 point blue box at 50,50 with its bounding box declared.
const std::string kEps =
    "%!PS-Adobe-3.0 EPSF-3.0\n%%BoundingBox: 50 50 170 130\n"
    "0 0 1 setrgbcolor 50 50 120 80 rectfill\nshowpage\n";

class DocumentTest : public ConvertTest {
  protected:
    DocumentTest() {
        make_folder(dir_ / "tmp");
        temp_.folder = dir_ / "tmp";
    }
    // Whatever a document did, no page file stays behind.
    void TearDown() override { EXPECT_EQ(page_files_in(temp_.folder), Names{}); }

    // src/<name> as a document of those page colours (a PSD: three layers).
    void make_source(const std::string& name, const std::string& colours) {
        if (name.ends_with(".pdf")) {
            EXPECT_TRUE(make_pdf(src(name), colours));
        } else if (name.ends_with(".psd")) {
            make_picture(src(name), {.format = "PSD", .frames = 3, .alpha = true});
        } else {
            write_file(src(name), postscript_pages(colours));
        }
    }
    // Converts src/<name> to out/<base>.jpg as dispatch names it.
    ConvertOutcome convert_doc(const std::string& name) {
        return convert(src(name), out(name.substr(0, name.rfind('.')) + ".jpg"));
    }
    ConvertOutcome convert_new(const std::string& name, const std::string& colours = "r") {
        make_source(name, colours);
        return convert_doc(name);
    }
    // The letter of a page's colour, '?' for a mix.
    static char colour_of(const std::string& path) {
        const PictureInfo p = read_picture(path);
        const auto only = [](double on, double off1, double off2) {
            return on > 0.8 && off1 < 0.2 && off2 < 0.2;
        };
        if (only(p.red, p.green, p.blue)) return 'r';
        if (only(p.green, p.red, p.blue)) return 'g';
        return only(p.blue, p.red, p.green) ? 'b' : '?';
    }
    std::string unreadable(const std::string& name) {
        return "The file " + src(name) + " cannot be read by Tarvik_morvane\r\n\t";
    }
};

struct PagesCase {
    const char* name;
    const char* source;
    int extract_all, from, to;
    Names outputs;
    const char* colours;  // of the outputs, in name order
};

class DocumentPages : public DocumentTest, public ::testing::WithParamInterface<PagesCase> {};

// Outputs are numbered from 1 in the order rendered: pages 2 and 3 become _00001 and _00002.
TEST_P(DocumentPages, OneOutputPerPageNumberedFromOne) {
    const PagesCase& c = GetParam();
    job_.pdf_extract_all = c.extract_all;
    job_.pdf_from_page = c.from;
    job_.pdf_to_page = c.to;
    const bool one_page = std::string(c.name).ends_with("one_page");
    EXPECT_EQ(convert_new(c.source, one_page ? "g" : "rgb").result,
              c.outputs.empty() ? kNotConverted : kConverted);
    ASSERT_EQ(list_folder(out("")), c.outputs) << log_text();
    for (std::size_t i = 0; i < c.outputs.size(); ++i) {
        EXPECT_EQ(colour_of(out(c.outputs[i])), c.colours[i]) << c.outputs[i];
    }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, DocumentPages,
    ::testing::Values(
        PagesCase{"pdf_one_page", "report.pdf", 1, 0, 0, {"report.jpg"}, "g"},
        PagesCase{"pdf_three_pages", "report.pdf", 1, 0, 0, kThree, "rgb"},
        PagesCase{"ps_three_pages", "report.ps", 0, 0, 0, kThree, "rgb"},
        PagesCase{"ai_one_page", "report.ai", 0, 0, 0, {"report.jpg"}, "g"},
        PagesCase{"range_2_to_3", "report.pdf", 0, 2, 3, {kThree[0], kThree[1]}, "gb"},
        PagesCase{"range_holding_a_single_page", "report.pdf", 0, 2, 2, {"report.jpg"}, "g"},
        PagesCase{"from_0_means_1", "report.pdf", 0, 0, 1, {"report.jpg"}, "r"},
        PagesCase{"range_past_the_end", "report.pdf", 0, 2, 9, {kThree[0], kThree[1]}, "gb"},
        PagesCase{"last_before_first_is_the_end", "report.pdf", 0, 3, 1, {"report.jpg"}, "b"},
        PagesCase{"range_wholly_past_the_end", "report.pdf", 0, 5, 7, {}, ""},
        PagesCase{"extract_all_ignores_the_range", "report.pdf", 1, 2, 2, kThree, "rgb"},
        PagesCase{"percent_stays_literal",
                  "50%d [1].ps",
                  0,
                  0,
                  0,
                  {"50%d [1]_00001.jpg", "50%d [1]_00002.jpg", "50%d [1]_00003.jpg"},
                  "rgb"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DocumentTest, StalePageFilesOfTheSameNameDoNotCount) {
    for (const char* stale : {"report_00001.pnm", "report_00002.pnm", "report.pnm"}) {
        write_file(temp_.folder + "/" + stale, "P6\n1 1\n255\nabc");
    }
    const Names others = {"report_1.pnm.keep", "reports_00001.txt"};  // not page files
    for (const std::string& other : others) write_file(temp_.folder + "/" + other, "x");
    EXPECT_EQ(convert_new("report.pdf", "b").result, kConverted) << log_text();
    EXPECT_EQ(list_folder(out("")), Names{"report.jpg"});
    EXPECT_EQ(list_folder(temp_.folder), others);
}

struct SizeCase {
    const char* source;
    int density;
    int width, height;
    char colour;
};

class DocumentSize : public DocumentTest, public ::testing::WithParamInterface<SizeCase> {};

// An EPS is cut to its bounding box (blue all over); a PDF page keeps its page size.
TEST_P(DocumentSize, DensityScalesThePage) {
    const SizeCase& c = GetParam();
    job_.eps_density = job_.pdf_density = c.density;
    if (std::string(c.source).ends_with(".pdf")) {
        make_source(c.source, "r");
    } else {
        write_file(src(c.source), kEps);
    }
    ASSERT_EQ(convert_doc(c.source).result, kConverted) << log_text();
    const std::string output = out(std::string(c.source).substr(0, 4) + ".jpg");
    EXPECT_EQ(read_picture(output).width, c.width);
    EXPECT_EQ(read_picture(output).height, c.height);
    EXPECT_EQ(colour_of(output), c.colour);
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentSize,
                         ::testing::Values(SizeCase{"box1.eps", 72, 120, 80, 'b'},
                                           SizeCase{"box2.eps", 144, 240, 160, 'b'},
                                           SizeCase{"box3.ept", 0, 120, 80, 'b'},
                                           SizeCase{"page.pdf", 144, 400, 200, 'r'}));

TEST_F(DocumentTest, TrimCutsTheMarginOffPostScriptPages) {
    write_file(src("margin.ps"),
               "%!PS\n<< /PageSize [200 100] >> setpagedevice\n"
               "1 0 0 setrgbcolor 50 30 60 40 rectfill showpage\n");
    job_.eps_trim = 1;
    ASSERT_EQ(convert_doc("margin.ps").result, kConverted);
    EXPECT_EQ(read_picture(out("margin.jpg")).width, 60);
    EXPECT_EQ(read_picture(out("margin.jpg")).height, 40);
}

class DocumentJpeg : public DocumentTest, public ::testing::WithParamInterface<const char*> {};

// A Photoshop file of three layers becomes one flat picture.
TEST_P(DocumentJpeg, JobSettingsLandInEveryOutput) {
    job_.quality = 42;
    job_.progressive = 1;
    ASSERT_EQ(convert_new(GetParam(), "rg").result, kConverted) << log_text();
    const Names outputs = list_folder(out(""));
    EXPECT_EQ(outputs.size(), std::string(GetParam()).ends_with(".psd") ? 1u : 2u);
    for (const std::string& name : outputs) {
        const PictureInfo jpg = read_picture(out(name));
        EXPECT_EQ(jpg.images, 1) << name;
        EXPECT_EQ(jpg.quality, 42) << name;
        EXPECT_TRUE(jpg.progressive) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentJpeg,
                         ::testing::Values("doc.pdf", "doc.ps", "doc.psd"));

class DocumentKeep : public DocumentTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DocumentKeep, EraseOffKeepsExistingOutputsByteForByte) {
    const std::string source = GetParam();
    const std::string kept = source.ends_with(".psd") ? "report.jpg" : kThree[1];
    job_.erase = 0;
    write_file(out(kept), "kept");
    const int result = convert_new(source, "rgb").result;
    EXPECT_EQ(read_file(out(kept)), "kept");
    if (kept == "report.jpg") {
        EXPECT_EQ(result, kOutputExists);
        return;
    }
    EXPECT_EQ(result, kConverted);
    EXPECT_EQ(list_folder(out("")), kThree);
    EXPECT_EQ(convert_doc(source).result, kOutputExists);  // every page is there now
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentKeep,
                         ::testing::Values("report.pdf", "report.ps", "report.psd"));

class DocumentSelf : public DocumentTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DocumentSelf, OutputThatIsTheSourceItselfIsRefused) {
    const std::string source = GetParam();
    make_source(source, "r");
    ASSERT_EQ(::link(src(source).c_str(), out("report.jpg").c_str()), 0);
    const std::string bytes = read_file(src(source));
    const ConvertOutcome outcome = convert_doc(source);
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(outcome.reason, "the output would replace the source itself");
    EXPECT_EQ(read_file(src(source)), bytes);
}

INSTANTIATE_TEST_SUITE_P(Documents, DocumentSelf, ::testing::Values("report.pdf", "report.psd"));

class PageFailure : public DocumentTest, public ::testing::WithParamInterface<const char*> {};

// Page 2's output name is taken by a folder: a PDF stops there, PostScript goes on.
TEST_P(PageFailure, StopsAPdfButNotPostScript) {
    const std::string source = GetParam();
    make_folder(out(kThree[1]));
    const ConvertOutcome outcome = convert_new(source, "rgb");
    const bool pdf = source.ends_with(".pdf");
    EXPECT_EQ(outcome.result, pdf ? kNotConverted : kConverted);
    if (pdf) {
        EXPECT_NE(outcome.reason.find("cannot be written"), std::string::npos) << outcome.reason;
    }
    EXPECT_EQ(exists(out(kThree[2])), !pdf);
    EXPECT_TRUE(exists(out(kThree[0])));
}

INSTANTIATE_TEST_SUITE_P(Documents, PageFailure, ::testing::Values("report.pdf", "report.ps"));

TEST_F(DocumentTest, ImageWatermarkGoesOnEveryPdfPage) {
    make_picture(dir_ / "mark.png", {.width = 40, .height = 40, .pattern = "xc:black"});
    job_.watermark_mode = 2;
    job_.watermark_file = dir_ / "mark.png";
    job_.watermark_dissolve = 0;
    ASSERT_EQ(convert_new("report.pdf", "rg").result, kConverted) << log_text();
    for (const char* name : {"report_00001.jpg", "report_00002.jpg"}) {
        const Rgb centre = region_mean(out(name), 90, 40, 20, 20);
        EXPECT_LT(centre.red + centre.green + centre.blue, 0.3) << name;
        const Rgb corner = region_mean(out(name), 0, 0, 20, 20);
        EXPECT_GT(corner.red + corner.green, 0.8) << name;  // the page's own colour
    }
}

struct BrokenCase {
    const char* source;
    const char* text;
    const char* reason;  // part of the reason line
};

class BrokenDocument : public DocumentTest, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenDocument, IsLoggedWithTheReasonAndTheNextDocumentConverts) {
    const BrokenCase& c = GetParam();
    write_file(src(c.source), c.text);
    EXPECT_EQ(convert_doc(c.source).result, kNotConverted);
    const std::string log = log_text();
    ASSERT_TRUE(log.starts_with(unreadable(c.source))) << log;
    const std::string reason = log.substr(unreadable(c.source).size());
    EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    EXPECT_EQ(reason.find("\r\n"), reason.size() - 2) << reason;
    EXPECT_EQ(convert_new("next.pdf").result, kConverted);
    EXPECT_EQ(list_folder(out("")), Names{"next.jpg"});
}

INSTANTIATE_TEST_SUITE_P(
    Documents, BrokenDocument,
    ::testing::Values(BrokenCase{"bad.pdf", "%PDF-1.4\ngarbage\n%%EOF\n", "Error"},
                      BrokenCase{"bad.ps", "%!PS\n/foo bar baz\n", "Error: /undefined in bar"},
                      BrokenCase{"empty.ps", "%!PS\n% nothing drawn\n", "no page"},
                      BrokenCase{"bad.psd", "8BPS but not really\n", "/src/bad.psd'"},
                      BrokenCase{"peek.ps", "%!PS\n(/etc/passwd) (r) file showpage\n",
                                 "invalidfileaccess"}));

TEST_F(DocumentTest, EndlessLoopIsStoppedAtTheTimeLimitAndItsPagesRemoved) {
    set_render_time_limit(std::chrono::seconds(2));
    // Two pages come out before the loop; they are neither kept nor converted.
    write_file(src("loop.ps"), postscript_pages("rg") + "{} loop\n");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(convert_doc("loop.ps").result, kNotConverted);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    set_render_time_limit(kRenderTimeLimit);
    EXPECT_EQ(log_text(),
              unreadable("loop.ps") + "rendering stopped after the time limit of 2 s\r\n");
    EXPECT_EQ(list_folder(out("")), Names{});
    EXPECT_EQ(convert_new("next.ps").result, kConverted);
}

}  // namespace
}  // namespace morvane::test
