// ImageMagick is started once for the whole test program, as the engine does.

#include <string>

#include <gtest/gtest.h>

#include "imaging.h"

namespace {

class ImagingEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string reason;
        ASSERT_TRUE(morvane::start_imaging(".", reason)) << reason;
    }
    void TearDown() override { morvane::stop_imaging(); }
};

[[maybe_unused]] ::testing::Environment* const imaging =
    ::testing::AddGlobalTestEnvironment(new ImagingEnvironment);

}  // namespace
