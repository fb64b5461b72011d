#include "dispatch.h"

#include <gtest/gtest.h>

#include "job_settings.h"

namespace morvane {
namespace {

struct NameCase {
    const char* name;
    std::string source;
    int reproduce_path;
    int from_root;
    int pdf_all;
    int tiff_all;
    std::string expected;  // with the placeholder text in place
    bool numbered;
};

class OutputNameFor : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputNameFor, BuildsTheNameUnderTheTarget) {
    const NameCase& c = GetParam();
    JobSettings job;
    job.target = "/out";
    job.reproduce_path = c.reproduce_path;
    job.reproduce_path_from_root = c.from_root;
    job.pdf_extract_all = c.pdf_all;
    job.tiff_extract_all = c.tiff_all;
    const OutputName name = output_name_for(job, c.source);
    EXPECT_EQ(name.path, c.expected);
    EXPECT_EQ(name.has_placeholder(), c.numbered);
}

INSTANTIATE_TEST_SUITE_P(
    Engine, OutputNameFor,
    ::testing::Values(
        NameCase{"flat", "/photos/2005/img.png", 0, 0, 0, 0, "/out/img.jpg", false},
        NameCase{"rebuilt_path", "/photos/2005/img.png", 1, 0, 0, 0, "/out/photos/2005/img.jpg",
                 false},
        NameCase{"own_folder_only", "/photos/2005/img.png", 1, 1, 0, 0, "/out/2005/img.jpg", false},
        NameCase{"from_root_alone_does_nothing", "/photos/2005/img.png", 0, 1, 0, 0, "/out/img.jpg",
                 false},
        NameCase{"root_folder", "/img.png", 1, 0, 0, 0, "/out/img.jpg", false},
        NameCase{"root_folder_own_folder", "/img.png", 1, 1, 0, 0, "/out/img.jpg", false},
        NameCase{"network_path", "//srv/pics/a.png", 1, 0, 0, 0, "/out/srv/pics/a.jpg", false},
        NameCase{"pdf_pages", "/docs/doc.pdf", 0, 0, 1, 0, "/out/doc%05d.jpg", true},
        NameCase{"pdf_one", "/docs/doc.pdf", 0, 0, 0, 0, "/out/doc.jpg", false},
        NameCase{"tiff_pages_rebuilt", "/s/scan.TIFF", 1, 0, 0, 1, "/out/s/scan%05d.jpg", true},
        NameCase{"tiff_one", "/s/scan.tif", 0, 0, 0, 0, "/out/scan.jpg", false},
        NameCase{"percent_in_name_is_literal", "/s/100%d.png", 0, 0, 0, 1, "/out/100%d.jpg", false},
        NameCase{"only_last_dot_is_the_extension", "/s/a.b.c.png", 0, 0, 0, 0, "/out/a.b.c.jpg",
                 false},
        NameCase{"dot_file", "/s/.hidden.png", 0, 0, 0, 0, "/out/.hidden.jpg", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OutputNameFor, PlaceholderExpandsToFiveDigits) {
    JobSettings job;
    job.target = "/o%d";
    job.tiff_extract_all = 1;
    const OutputName name = output_name_for(job, "/in/p%05d.tif");
    EXPECT_EQ(name.for_number(3), "/o%d/p%05d00003.jpg");
}

}  // namespace
}  // namespace morvane
