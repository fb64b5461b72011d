#include "walks.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

struct FilterCase {
    const char* ext;
    const char* filter;
    bool passes;
};

class PassesFilter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(PassesFilter, SubstringScanIgnoringCase) {
    EXPECT_EQ(passes_filter(GetParam().ext, GetParam().filter), GetParam().passes)
        << GetParam().ext << " in \"" << GetParam().filter << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Engine, PassesFilter,
    ::testing::Values(FilterCase{".JPG", ".jpg .jpe", true}, FilterCase{".jpe", ".jpg .jpe", true},
                      FilterCase{".jpeg", ".jpg .jpe", false}, FilterCase{".jp", ".jpg .jpe", true},
                      FilterCase{".tiff", ".tif", false}, FilterCase{"", ".png", false},
                      FilterCase{".png", "", false}, FilterCase{".Png", ".ai .png", true},
                      FilterCase{".pn", ".jpg .png", true}, FilterCase{".é", ".É", false}));

}  // namespace
}  // namespace morvane
