#include "output_name.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

struct NameCase {
    OutputName name;
    unsigned number;
    std::string expected;
};

class OutputNameNumbers : public ::testing::TestWithParam<NameCase> {};

TEST_P(OutputNameNumbers, ReplacesOnlyTheEnginesPlaceholder) {
    EXPECT_EQ(GetParam().name.for_number(GetParam().number), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OutputNameNumbers,
    ::testing::Values(
        NameCase{OutputName::plain("/t/out/img.jpg"), 3, "/t/out/img.jpg"},
        // A '%' of the source's own name is text, never a conversion.
        NameCase{OutputName::plain("/t/out/100%d.jpg"), 3, "/t/out/100%d.jpg"},
        NameCase{OutputName::numbered("/t/out/doc", 5, ".jpg"), 0, "/t/out/doc00000.jpg"},
        NameCase{OutputName::numbered("/t/out/doc", 5, ".jpg"), 42, "/t/out/doc00042.jpg"},
        NameCase{OutputName::numbered("/t/out/doc", 5, ".jpg"), 123456, "/t/out/doc123456.jpg"},
        NameCase{OutputName::numbered("/t/out/anim_", 0, ".jpg"), 7, "/t/out/anim_7.jpg"},
        NameCase{OutputName::numbered("/t/50%05d/100%d", 5, "%s.jpg"), 1,
                 "/t/50%05d/100%d00001%s.jpg"},
        NameCase{OutputName::plain("/t/out/100%d.jpg").image_series(), 2, "/t/out/100%d_2.jpg"},
        NameCase{OutputName::plain("/t/a.b/anim.jpg").image_series(), 0, "/t/a.b/anim_0.jpg"},
        NameCase{OutputName::plain("/t/out/anim").image_series(), 10, "/t/out/anim_10.jpg"}));

}  // namespace
}  // namespace morvane
