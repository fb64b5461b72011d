// ImageMagick is started once for the whole test program, as the engine does.

#include <gtest/gtest.h>

#include "imaging.h"

namespace {

class ImagingEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_TRUE(morvane::start_imaging(".")); }
    void TearDown() override { morvane::stop_imaging(); }
};

[[maybe_unused]] ::testing::Environment* const imaging =
    ::testing::AddGlobalTestEnvironment(new ImagingEnvironment);

}  // namespace
