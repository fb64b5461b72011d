// Camera-raw sources through convert_source: the decoder module loaded from the built
// program folder, DNG files made at test time under every raw extension.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "modules.h"
#include "raw_sample.h"
#include "tcrw.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;

class CameraRaw : public ConvertTest {
  protected:
    CameraRaw() { ctx_.modules = &loader_; }

    // A red 64x48 DNG.
    std::string raw_source(const std::string& name) {
        const RawColour red{40000, 4000, 4000};
        EXPECT_TRUE(write_dng(src(name), {.left = red, .right = red}));
        return src(name);
    }

    ModuleLoader loader_{PROGRAM_FOLDER "/"};
};

class RawExtension : public CameraRaw, public ::testing::WithParamInterface<const char*> {};

// Every raw kind reaches the decoder, which develops at half size; the colour survives.
// The job's quality, progressive mode, size and watermark belong to the raster path: a
// raw source is written at the library's default settings.
TEST_P(RawExtension, BecomesAHalfSizeJpegAtDefaultSettings) {
    job_.quality = 30;
    job_.progressive = 1;
    job_.size = "10x10";
    job_.watermark_mode = 1;
    job_.watermark_txt = "mark";
    const ConvertOutcome outcome = convert(raw_source(std::string("x") + GetParam()), out("x.jpg"));
    ASSERT_EQ(outcome.result, kConverted) << outcome.reason;
    const PictureInfo jpg = read_picture(out("x.jpg"));
    EXPECT_EQ(jpg.format, "JPEG");
    EXPECT_EQ(jpg.width, 32);
    EXPECT_EQ(jpg.height, 24);
    EXPECT_EQ(jpg.quality, 92);
    EXPECT_FALSE(jpg.progressive);
    EXPECT_GT(jpg.red, jpg.green + 0.3);
    EXPECT_GT(jpg.red, jpg.blue + 0.3);
}

INSTANTIATE_TEST_SUITE_P(Kinds, RawExtension,
                         ::testing::Values(".CR2", ".crw", ".dir", ".dng", ".K25", ".kdc", ".mdc",
                                           ".mos", ".MRW", ".orf", ".nef", ".pef", ".raf", ".srf",
                                           ".X3F"));

// With erase 0 an existing output is kept before anything is decoded: even a run
// without the decoder gives -1, and nothing else appears beside the output.
TEST_F(CameraRaw, KeepsAnExistingOutputWithoutDecoding) {
    job_.erase = 0;
    const std::string source = raw_source("x.cr2");
    write_file(out("x.jpg"), "earlier output");
    for (ModuleLoader* modules : {&loader_, static_cast<ModuleLoader*>(nullptr)}) {
        ctx_.modules = modules;
        EXPECT_EQ(convert(source, out("x.jpg")).result, kOutputExists);
        EXPECT_EQ(read_file(out("x.jpg")), "earlier output");
        EXPECT_EQ(list_folder(dir_ / "out"), Names{"x.jpg"});
    }
}

// Failures with their reasons, and no output: the output is the source itself or
// cannot be written, the file only carries the extension or was cut short.
TEST_F(CameraRaw, FailsWithTheReason) {
    const std::string source = raw_source("x.dng");
    const std::string bytes = read_file(source);
    auto reason_for = [&](const std::string& output) {
        const ConvertOutcome outcome = convert(source, output);
        EXPECT_EQ(outcome.result, kNotConverted);
        return outcome.reason;
    };
    EXPECT_NE(reason_for(source).find("replace the source"), std::string::npos);
    EXPECT_NE(reason_for(dir_ / "none/x.jpg").find("cannot be written"), std::string::npos);
    write_file(source, "no camera data in here\n");
    EXPECT_NE(reason_for(out("x.jpg")).find("decoder cannot read"), std::string::npos);
    write_file(source, bytes.substr(0, bytes.size() / 2));
    EXPECT_NE(reason_for(out("x.jpg")).find("decoder cannot read"), std::string::npos);
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
}

TEST_F(CameraRaw, WithoutTheModuleSaysWhy) {
    ModuleLoader empty_folder(dir_ / "out/");
    for (ModuleLoader* modules : {&empty_folder, static_cast<ModuleLoader*>(nullptr)}) {
        ctx_.modules = modules;
        const ConvertOutcome outcome = convert(raw_source("x.mrw"), out("x.jpg"));
        EXPECT_EQ(outcome.result, kNotConverted);
        EXPECT_EQ(outcome.reason.rfind("the camera-raw decoder Tcrw.so cannot be loaded: ", 0), 0u)
            << outcome.reason;
    }
    ctx_.modules = &empty_folder;
    EXPECT_NE(convert(src("x.mrw"), out("x.jpg")).reason.find(dir_ / "out/Tcrw.so"),
              std::string::npos);  // dlerror's text
}

// A missing module is tried once for the run, even when it appears later; a missing
// entry is reported by its name and spoils neither the module nor its other entries.
TEST(ModuleLoader, KeepsEachAnswer) {
    const TempDir dir;
    ModuleLoader loader(dir.path() + "/");
    std::string error;
    EXPECT_EQ(loader.entry(kTcrwModule, kTcrwEntry, error), nullptr);
    const std::string first = error;
    std::filesystem::copy_file(PROGRAM_FOLDER "/Tcrw.so", dir / kTcrwModule);
    EXPECT_EQ(loader.entry(kTcrwModule, kTcrwEntry, error), nullptr);
    EXPECT_EQ(error, first);

    ModuleLoader fresh(dir.path() + "/");
    EXPECT_EQ(fresh.entry(kTcrwModule, "no_such_entry", error), nullptr);
    EXPECT_NE(error.find("no_such_entry"), std::string::npos) << error;
    void* entry = fresh.entry(kTcrwModule, kTcrwEntry, error);
    EXPECT_NE(entry, nullptr) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(fresh.entry(kTcrwModule, kTcrwEntry, error), entry);
}

}  // namespace
}  // namespace morvane::test
