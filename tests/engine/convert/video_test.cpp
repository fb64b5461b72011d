// Video sources through convert_source: the frame extractor modules loaded from the
// built program folder, videos made at test time, the temporary folder the test's own.

#include "video.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "convert_fixture.h"
#include "link_ids.h"
#include "link_peer.h"
#include "modules.h"
#include "video_sample.h"

namespace morvane::test {
namespace {

using Names = std::vector<std::string>;

struct Kind {
    const char* name;
    const char* file;
    VideoSpec spec;
};

const Kind kAvi{"avi", "movie.avi", {.frames = 12, .b_frames = 2}};
const Kind kMpg{"mpg", "movie.mpg", {.container = "mpeg", .coding = VideoCoding::Mpeg1}};
const Kind kMpeg{"mpeg", "movie.MPEG", {.container = "mpeg", .coding = VideoCoding::Mpeg2}};
const Kind kM2v{"m2v", "movie.m2v", {.container = "mpeg2video", .coding = VideoCoding::Mpeg2}};

bool is_avi(const Kind& kind) {
    return std::string(kind.file).ends_with(".avi");
}

std::vector<int> frames_from(int first, int count) {
    std::vector<int> numbers;
    for (int n = first; n < first + count; ++n) numbers.push_back(n);
    return numbers;
}

class VideoSource : public ConvertTest {
  protected:
    VideoSource() {
        make_folder(tmp_);
        temp_.folder = tmp_;
        ctx_.modules = &loader_;
        if (const char* old = std::getenv("TMPDIR")) old_tmpdir_ = old;
        ::setenv("TMPDIR", tmp_.c_str(), 1);
    }
    ~VideoSource() override {
        old_tmpdir_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    }

    std::string video(const Kind& kind) {
        EXPECT_TRUE(write_video(src(kind.file), kind.spec));
        return src(kind.file);
    }
    void ask_range(const Kind& kind, int from, int to) {
        (is_avi(kind) ? job_.avi : job_.mpeg) = {0, from, to};
    }
    // movie_0.jpg to movie_{count-1}.jpg, sorted as a folder lists them.
    static Names outputs(int count) {
        Names names;
        for (int n = 0; n < count; ++n) names.push_back("movie_" + std::to_string(n) + ".jpg");
        std::sort(names.begin(), names.end());
        return names;
    }
    // The frame numbers the outputs' colours tell (-1: not a picture), output 0 first.
    std::vector<int> output_frames(int count) {
        std::vector<int> numbers;
        for (int n = 0; n < count; ++n) {
            const PictureInfo jpg = read_picture(out("movie_" + std::to_string(n) + ".jpg"));
            numbers.push_back(jpg.ok ? frame_for_colour(jpg.red * 255, jpg.green * 255) : -1);
        }
        return numbers;
    }
    // What the temporary folder holds, less the Monitor window's link.
    [[nodiscard]] Names frame_files() const {
        Names names = list_folder(tmp_);
        std::erase(names, kMonitorTitle);
        return names;
    }

    ModuleLoader loader_{PROGRAM_FOLDER "/"};
    std::string tmp_ = dir_ / "tmp";
    std::string old_tmpdir_;
};

class VideoKinds : public VideoSource, public ::testing::WithParamInterface<Kind> {};

// Every frame becomes movie_<n>.jpg in frame order at the job's quality; a range gives
// outputs numbered from 0; no frame file stays and nothing is logged.
TEST_P(VideoKinds, FramesBecomeNumberedJpegs) {
    job_.quality = 60;
    const std::string source = video(GetParam());
    const int frames = GetParam().spec.frames;
    ASSERT_EQ(convert(source, out("movie.jpg")).result, kConverted) << log_text();
    EXPECT_EQ(list_folder(dir_ / "out"), outputs(frames));
    EXPECT_EQ(output_frames(frames), frames_from(0, frames));
    EXPECT_EQ(read_picture(out("movie_0.jpg")).quality, 60);

    ask_range(GetParam(), 3, 7);
    ASSERT_EQ(convert(source, out("movie.jpg")).result, kConverted) << log_text();
    EXPECT_EQ(output_frames(5), frames_from(3, 5));
    EXPECT_TRUE(frame_files().empty());
    EXPECT_EQ(log_text(), "");
}

// With erase 0 an existing frame output is kept byte for byte and the others are
// written; when every one exists the result is -1.
TEST_P(VideoKinds, KeepsExistingFrameOutputs) {
    job_.erase = 0;
    const std::string source = video(GetParam());
    ask_range(GetParam(), 0, 2);
    write_file(out("movie_1.jpg"), "earlier output");
    ASSERT_EQ(convert(source, out("movie.jpg")).result, kConverted);
    EXPECT_EQ(read_file(out("movie_1.jpg")), "earlier output");
    EXPECT_EQ(output_frames(3), (std::vector<int>{0, -1, 2}));
    write_file(out("movie_0.jpg"), "older");
    EXPECT_EQ(convert(source, out("movie.jpg")).result, kOutputExists);
    EXPECT_EQ(read_file(out("movie_0.jpg")), "older");
    EXPECT_TRUE(frame_files().empty());
}

// Small batches give the outputs of one pass, a range across batches included, and
// the temporary folder never holds more than one batch of frame files.
TEST_P(VideoKinds, BatchesGiveTheSameOutputs) {
    const std::string source = video(GetParam());
    const int frames = GetParam().spec.frames;
    std::atomic<std::size_t> most{0};
    LinkPeer peer(tmp_, [&](const LinkFrame&) -> std::int64_t {
        most = std::max(most.load(), frame_files().size());
        return 0;
    });
    link_ = MonitorLink::find_window(tmp_);
    const VideoKind kind = is_avi(GetParam()) ? VideoKind::Avi : VideoKind::Mpeg;
    const OutputName output = OutputName::plain(out("movie.jpg"));
    ASSERT_EQ(convert_video(ctx_, source, output, kind, 5).result, Result::Written);
    EXPECT_EQ(output_frames(frames), frames_from(0, frames));
    ask_range(GetParam(), 2, frames + 4);
    ASSERT_EQ(convert_video(ctx_, source, output, kind, 4).result, Result::Written);
    EXPECT_EQ(output_frames(frames - 2), frames_from(2, frames - 2));
    link_ = MonitorLink();
    (void)peer.frames();
    EXPECT_EQ(most.load(), 5u);
    EXPECT_TRUE(frame_files().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, VideoKinds, ::testing::Values(kAvi, kMpg, kMpeg, kM2v),
                         [](const auto& info) { return std::string(info.param.name); });

struct SizeCase {
    const char* size;
    int aspect, progressive, width, height;
};

class VideoFrameSize : public VideoSource,
                       public ::testing::WithParamInterface<std::tuple<Kind, SizeCase>> {};

TEST_P(VideoFrameSize, EveryFrameGetsTheSizeAndMode) {
    const auto& [kind, c] = GetParam();
    job_.size = c.size;
    job_.aspect_ratio = c.aspect;
    job_.progressive = c.progressive;
    ask_range(kind, 0, 1);
    ASSERT_EQ(convert(video(kind), out("movie.jpg")).result, kConverted);
    for (const char* name : {"movie_0.jpg", "movie_1.jpg"}) {
        const PictureInfo jpg = read_picture(out(name));
        EXPECT_EQ(jpg.width, c.width) << name;
        EXPECT_EQ(jpg.height, c.height) << name;
        EXPECT_EQ(jpg.progressive, c.progressive != 0) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, VideoFrameSize,
                         ::testing::Combine(::testing::Values(kAvi, kMpg),
                                            ::testing::Values(SizeCase{"32x32", 0, 0, 32, 32},
                                                              SizeCase{"32x32", 1, 1, 32, 24},
                                                              SizeCase{"", 0, 1, 64, 48})));

enum class Damage { Truncated, Text, EmptyRange };

class UnreadableVideo : public VideoSource,
                        public ::testing::WithParamInterface<std::tuple<Kind, Damage>> {};

// A video that cannot be opened or gives no frame is logged with the reason; it is not
// converted and not moved, and nothing is left behind.
TEST_P(UnreadableVideo, IsLoggedAndNotConverted) {
    const auto& [kind, damage] = GetParam();
    const std::string source = video(kind);
    if (damage == Damage::Truncated) write_file(source, read_file(source).substr(0, 40));
    if (damage == Damage::Text) write_file(source, "not a video\n");
    if (damage == Damage::EmptyRange) ask_range(kind, 500, 600);
    job_.move = 1;
    job_.move_path = dir_ / "out";
    EXPECT_EQ(convert(source, out("movie.jpg")).result, kNotConverted);
    const std::string log = log_text();
    const std::string first = "The file " + source + " cannot be read by Tarvik_morvane\r\n\t";
    EXPECT_EQ(log.substr(0, first.size()), first) << log;
    EXPECT_TRUE(log.ends_with("\r\n"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
    if (damage == Damage::EmptyRange) {
        EXPECT_NE(log.find("no frame from number 500 to 600"), std::string::npos) << log;
    }
    EXPECT_TRUE(exists(source));
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
    EXPECT_TRUE(frame_files().empty());
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableVideo,
                         ::testing::Combine(::testing::Values(kAvi, kMpg),
                                            ::testing::Values(Damage::Truncated, Damage::Text,
                                                              Damage::EmptyRange)));

class VideoFailure : public VideoSource, public ::testing::WithParamInterface<Kind> {};

// A size that is not a geometry, an output that cannot be written or a missing module
// stop the video; its frame files go all the same.
TEST_P(VideoFailure, StopsTheVideoAndRemovesItsFrameFiles) {
    const std::string source = video(GetParam());
    job_.size = "abc";
    ConvertOutcome outcome = convert(source, out("movie.jpg"));
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_EQ(outcome.reason + log_text(), "");
    job_.size.clear();
    outcome = convert(source, dir_ / "missing/movie.jpg");
    EXPECT_EQ(outcome.result, kNotConverted);
    EXPECT_NE(outcome.reason.find("missing/movie_0.jpg cannot be written"), std::string::npos)
        << outcome.reason;
    EXPECT_TRUE(list_folder(dir_ / "out").empty());
    EXPECT_TRUE(frame_files().empty());

    ModuleLoader empty_folder(dir_ / "out/");
    ctx_.modules = &empty_folder;
    outcome = convert(source, out("movie.jpg"));
    EXPECT_EQ(outcome.result, kNotConverted);
    const std::string module = is_avi(GetParam()) ? "the AVI frame extractor module Tdib.so"
                                                  : "the MPEG frame extractor module Tmpegd.so";
    EXPECT_EQ(outcome.reason.rfind(module + " cannot be loaded: ", 0), 0u) << outcome.reason;
}

INSTANTIATE_TEST_SUITE_P(Kinds, VideoFailure, ::testing::Values(kAvi, kMpg),
                         [](const auto& info) { return std::string(info.param.name); });

// AVI frames get the image watermark, MPEG frames do not; a watermark image that cannot
// be read leaves the AVI frames unwritten, the video still converted.
TEST_F(VideoSource, ImageWatermarkGoesOnAviFramesOnly) {
    make_picture(dir_ / "mark.png", {.width = 30, .height = 30, .pattern = "xc:blue"});
    job_.watermark_mode = 2;
    job_.watermark_file = dir_ / "mark.png";
    job_.watermark_dissolve = 0;
    ask_range(kAvi, 0, 1);
    ask_range(kMpg, 0, 1);
    ASSERT_EQ(convert(video(kAvi), out("movie.jpg")).result, kConverted);
    EXPECT_GT(region_mean(out("movie_1.jpg"), 27, 19, 10, 10).blue, 0.8);
    EXPECT_LT(region_mean(out("movie_1.jpg"), 0, 0, 10, 10).blue, 0.6);
    ASSERT_EQ(convert(video(kMpg), out("movie.jpg")).result, kConverted);
    EXPECT_LT(region_mean(out("movie_1.jpg"), 27, 19, 10, 10).blue, 0.6);

    job_.watermark_file = dir_ / "none.png";
    write_file(dir_ / "out/keep", "");
    for (const std::string& name : outputs(2)) ::unlink(out(name).c_str());
    EXPECT_EQ(convert(video(kAvi), out("movie.jpg")).result, kConverted);
    EXPECT_EQ(list_folder(dir_ / "out"), Names{"keep"});
    EXPECT_TRUE(frame_files().empty());
}

// The Monitor window sees 0, then the share of frames done after each frame, then 100.
TEST_F(VideoSource, ProgressIsTheShareOfFramesDone) {
    LinkPeer peer(tmp_);
    link_ = MonitorLink::find_window(tmp_);
    ask_range(kAvi, 2, 9);
    ASSERT_EQ(convert(video(kAvi), out("movie.jpg")).result, kConverted);
    link_ = MonitorLink();
    std::vector<std::int64_t> positions;
    int reading = 0;
    for (const LinkFrame& frame : peer.frames()) {
        if (frame.message == WM_COMMAND && frame.wparam == IDM_RUN_PROGRESS) {
            positions.push_back(frame.lparam);
        }
        if (frame.message == WM_SETTEXT && frame.text == "Reading...") ++reading;
    }
    EXPECT_EQ(positions, (std::vector<std::int64_t>{15, 0, 12, 25, 37, 50, 62, 75, 87, 100, 100}));
    EXPECT_EQ(reading, 8);
}

}  // namespace
}  // namespace morvane::test
