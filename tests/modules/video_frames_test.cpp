// The frame extractor modules as the engine uses them: loaded from the program folder
// and called through their C entries with videos made at test time.

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tdib.h"
#include "test_support.h"
#include "tmpegd.h"
#include "video_sample.h"

namespace morvane::test {
namespace {

struct Module {
    frame_extractor_fn extract = nullptr;
    frame_count_fn count = nullptr;
    const char* extension = "";
};

Module load(const char* name, const char* entry, const char* count, const char* extension) {
    void* handle =
        ::dlopen((std::string(PROGRAM_FOLDER "/") + name).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return {};
    return {reinterpret_cast<frame_extractor_fn>(::dlsym(handle, entry)),
            reinterpret_cast<frame_count_fn>(::dlsym(handle, count)), extension};
}

// The module for a file name, loaded once for the program as the engine does.
const Module& module_for(const std::string& file) {
    static const Module avi = load(kTdibModule, kTdibEntry, kTdibCountEntry, ".bmp");
    static const Module mpeg = load(kTmpegdModule, kTmpegdEntry, kTmpegdCountEntry, ".ppm");
    return file.ends_with(".avi") ? avi : mpeg;
}

std::vector<int> frames_from(int first, int count) {
    std::vector<int> numbers;
    for (int n = first; n < first + count; ++n) numbers.push_back(n);
    return numbers;
}

// A private folder with the videos and its own temporary folder as TMPDIR.
class Frames : public ::testing::Test {
  protected:
    Frames() {
        make_folder(tmp_);
        if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
        ::setenv("TMPDIR", tmp_.c_str(), 1);
    }
    ~Frames() override {
        for (const char* file : {"x.avi", "x.mpg"}) {
            if (module_for(file).extract != nullptr) {
                (void)module_for(file).extract(nullptr, nullptr, -1, -1);  // closes the video
            }
        }
        old_tmpdir_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    }

    int extract(const std::string& file, int first, int last) {
        const Module& m = module_for(file);
        if (m.extract == nullptr) ADD_FAILURE() << "module or entry missing";
        return m.extract != nullptr ? m.extract(nullptr, (dir_ / file).c_str(), first, last) : -100;
    }
    [[nodiscard]] std::string frame_file(const std::string& file, int n) const {
        return tmp_ + "/" + file.substr(0, file.rfind('.')) + "_" + std::to_string(n) +
               module_for(file).extension;
    }
    // Reads and removes the frame files 0 to count-1 of `file`: the frame numbers their
    // colours tell, and their bytes.
    std::vector<int> take(const std::string& file, int count,
                          std::vector<std::string>* bytes = nullptr) {
        std::vector<int> numbers;
        for (int n = 0; n < count; ++n) {
            const PictureInfo picture = read_picture(frame_file(file, n));
            numbers.push_back(frame_for_colour(picture.red * 255, picture.green * 255));
            if (bytes != nullptr) bytes->push_back(read_file(frame_file(file, n)));
            ::unlink(frame_file(file, n).c_str());
        }
        return numbers;
    }

    TempDir dir_;
    std::string tmp_ = dir_ / "tmp";
    std::string old_tmpdir_;
};

struct Kind {
    const char* name;
    const char* file;
    VideoSpec spec;
};

class EveryKind : public Frames, public ::testing::WithParamInterface<Kind> {
  protected:
    void SetUp() override { ASSERT_TRUE(write_video(dir_ / GetParam().file, GetParam().spec)); }
};

// Every frame in presentation order as "<base>_<n>", n from 0: complete files of the
// module's kind, private to the user. The count entry knows how many there are.
TEST_P(EveryKind, WritesEveryFrameInOrder) {
    const std::string file = GetParam().file;
    const int frames = GetParam().spec.frames;
    ASSERT_EQ(extract(file, -1, -1), frames);
    EXPECT_EQ(list_folder(tmp_).size(), static_cast<std::size_t>(frames));
    const std::string head = read_file(frame_file(file, 0)).substr(0, 2);
    EXPECT_EQ(head, file.ends_with(".avi") ? "BM" : "P6");
    struct stat info {};
    ASSERT_EQ(::stat(frame_file(file, 0).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const PictureInfo first = read_picture(frame_file(file, 0));
    EXPECT_EQ(first.width, 64);
    EXPECT_EQ(first.height, 48);
    EXPECT_NEAR(first.blue * 255, frame_colour(0).blue, 4);
    EXPECT_EQ(take(file, frames), frames_from(0, frames));
    EXPECT_TRUE(list_folder(tmp_).empty());
    EXPECT_EQ(module_for(file).count((dir_ / file).c_str()), frames);
}

// Ranges are inclusive and numbered from 0 in each call. Going on from the kept video,
// starting again after a step back, skipping ahead or running past the end gives the
// very files of one call for everything.
TEST_P(EveryKind, RangesGiveTheFilesOfOneCall) {
    const std::string file = GetParam().file;
    const int frames = GetParam().spec.frames;
    std::vector<std::string> whole;
    ASSERT_EQ(extract(file, -1, -1), frames);
    (void)take(file, frames, &whole);
    struct Call {
        int first, last, count, from;
    };
    for (const Call c : {Call{0, 4, 5, 0},
                         {5, 6, 2, 5},
                         {3, 5, 3, 3},
                         {9, 10, 2, 9},
                         {frames - 2, frames + 5, 2, frames - 2},
                         {frames, frames + 5, 0, 0},
                         {5, 4, 0, 0},
                         {-1, 1, 2, 0},
                         {frames - 1, -1, 1, frames - 1}}) {
        ASSERT_EQ(extract(file, c.first, c.last), c.count) << c.first << ".." << c.last;
        std::vector<std::string> bytes;
        EXPECT_EQ(take(file, c.count, &bytes), frames_from(c.from, c.count)) << c.first;
        for (int n = 0; n < c.count; ++n) EXPECT_EQ(bytes[n], whole[c.from + n]) << c.first;
    }
    EXPECT_TRUE(list_folder(tmp_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Modules, EveryKind,
    ::testing::Values(Kind{"avi_mpeg4", "x.avi", {.frames = 15, .b_frames = 2}},
                      Kind{"avi_mjpeg", "x.avi", {.coding = VideoCoding::Mjpeg}},
                      Kind{"avi_raw", "x.avi", {.coding = VideoCoding::RawVideo}},
                      Kind{"mpg_mpeg1",
                           "x.mpg",
                           {.container = "mpeg", .coding = VideoCoding::Mpeg1, .b_frames = 2}},
                      Kind{"mpeg_mpeg2",
                           "x.mpeg",
                           {.container = "mpeg", .coding = VideoCoding::Mpeg2, .frames = 13}},
                      Kind{"m2v_stream",
                           "x.m2v",
                           {.container = "mpeg2video",
                            .coding = VideoCoding::Mpeg2,
                            .frames = 14,
                            .b_frames = 2}}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Damage { Missing, Text, HeaderOnly, OtherKind, Folder };

class Unreadable : public Frames,
                   public ::testing::WithParamInterface<std::tuple<const char*, Damage>> {};

// A file that is not a video of the module's kind fails and leaves nothing behind.
TEST_P(Unreadable, FailsAndLeavesNothing) {
    const auto [file, damage] = GetParam();
    const std::string path = dir_ / file;
    const VideoSpec avi{};
    const VideoSpec mpg{.container = "mpeg", .coding = VideoCoding::Mpeg1};
    const bool is_avi = std::string(file).ends_with(".avi");
    if (damage == Damage::Text) write_file(path, "RIFF AVI \x00\x00\x01\xba no video\n");
    if (damage == Damage::HeaderOnly) {
        ASSERT_TRUE(write_video(path, is_avi ? avi : mpg));
        write_file(path, read_file(path).substr(0, is_avi ? 600 : 40));
    }
    if (damage == Damage::OtherKind) {
        ASSERT_TRUE(write_video(path, is_avi ? mpg : avi));
    }
    if (damage == Damage::Folder) make_folder(path);
    EXPECT_LE(extract(file, -1, -1), 0);
    EXPECT_LE(extract(file, 0, 4), 0);
    EXPECT_TRUE(list_folder(tmp_).empty());
    if (damage != Damage::HeaderOnly) {
        EXPECT_LT(module_for(file).count(path.c_str()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Modules, Unreadable,
                         ::testing::Combine(::testing::Values("v.avi", "v.mpg"),
                                            ::testing::Values(Damage::Missing, Damage::Text,
                                                              Damage::HeaderOnly, Damage::OtherKind,
                                                              Damage::Folder)));

// A file rewritten under the same name between two calls is read afresh, not continued.
TEST_F(Frames, AReplacedFileIsReadAfresh) {
    ASSERT_TRUE(write_video(dir_ / "x.avi"));
    ASSERT_EQ(extract("x.avi", 0, 4), 5);
    EXPECT_EQ(take("x.avi", 5), frames_from(0, 5));
    ASSERT_TRUE(write_video(dir_ / "new.avi", {.colour_offset = 20}));
    ASSERT_EQ(::rename((dir_ / "new.avi").c_str(), (dir_ / "x.avi").c_str()), 0);
    ASSERT_EQ(extract("x.avi", 5, 9), 5);
    EXPECT_EQ(take("x.avi", 5), frames_from(25, 5));
}

// A frame name held by a link is replaced, never written through; a frame that cannot be
// written fails the call and the frames written before it are removed.
TEST_F(Frames, WritesNoFileButItsOwn) {
    ASSERT_TRUE(write_video(dir_ / "x.avi", {.frames = 3}));
    write_file(dir_ / "victim", "keep me");
    ASSERT_EQ(::symlink((dir_ / "victim").c_str(), frame_file("x.avi", 0).c_str()), 0);
    ASSERT_EQ(extract("x.avi", -1, -1), 3);
    EXPECT_EQ(read_file(dir_ / "victim"), "keep me");
    EXPECT_EQ(take("x.avi", 3), frames_from(0, 3));
    make_folder(frame_file("x.avi", 2));  // a name taken by a folder
    EXPECT_EQ(extract("x.avi", -1, -1), kFramesCannotWrite);
    EXPECT_EQ(list_folder(tmp_), std::vector<std::string>{"x_2.bmp"});
}

}  // namespace
}  // namespace morvane::test
