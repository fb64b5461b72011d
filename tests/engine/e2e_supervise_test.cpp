// Supervised workers and what surrounds them: ImageMagick's temporary files of a worker
// that was stopped or killed, and a settings window that is slow to answer, whose waits
// are no source's time.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "link_ids.h"
#include "link_peer.h"
#include "video_sample.h"

namespace morvane::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

// Every "magick-*" entry under the folder, links not followed.
std::vector<std::string> magick_files_under(const std::string& folder) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().filename().string().starts_with("magick-")) {
            found.push_back(entry.path().string());
        }
    }
    return found;
}

// A TIFF file of `pages` gray pages of one pixel, little-endian and uncompressed (the
// library's own writer cannot put that many pages in memory).
std::string tiny_tiff(int pages) {
    std::string out = "II*";
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    out.push_back('\0');
    put(8, 4);  // the first page's directory
    constexpr int kEntries = 8;
    constexpr std::uint32_t kDirectorySize = 2 + 12 * kEntries + 4;
    for (int page = 0; page < pages; ++page) {
        const auto at = static_cast<std::uint32_t>(out.size());
        const std::uint32_t pixel = at + kDirectorySize;
        put(kEntries, 2);
        const std::uint32_t entries[kEntries][3] = {
            {256, 3, 1}, {257, 3, 1},     {258, 3, 8}, {259, 3, 1},   // size, 8 bits, plain
            {262, 3, 1}, {273, 4, pixel}, {278, 3, 1}, {279, 4, 1}};  // gray, one strip
        for (const auto& e : entries) {
            put(e[0], 2);
            put(e[1], 2);
            put(1, 4);
            put(e[2], 4);
        }
        put(page + 1 < pages ? pixel + 2 : 0, 4);  // the next page's directory
        out.push_back(static_cast<char>(page % 2 ? 200 : 50));
        out.push_back('\0');  // directories start on a word boundary
    }
    return out;
}

class WorkerFolders : public EngineTest {};

// A picture blown up to 9000 x 9000 needs a pixel cache on disk, and the time limit
// stops its worker long before it is done.
TEST_F(WorkerFolders, AStoppedSourceLeavesNoImageMagickFile) {
    make_picture(in_ + "/big.png");
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "size=9000x9000", "aspect_ratio=0", "[LIMITS]",
               "time=1"});
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(),
              "Could not convert " + in_ + "/big.png !\r\n\ttime limit of 1 s exceeded\r\n");
    EXPECT_EQ(magick_files_under(tmp_), std::vector<std::string>{});
    for (const std::string& name : list_folder(tmp_)) {
        EXPECT_FALSE(name.ends_with(".magick")) << "worker folder left: " << name;
    }
}

// A worker's folder as a killed run leaves it: its lock file, unlocked, and
// ImageMagick's files.
void plant_worker_folder(const std::string& folder, const std::vector<std::string>& more = {}) {
    make_folder(folder);
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    write_file(folder + "/worker.lock", "");
    write_file(folder + "/magick-Ab3dEf6hIj9kLm2nOp5qRs8tUv1wXy4z", std::string(4096, 'p'));
    write_file(folder + "/magick-Zy4xWv1uTs8rQp5oNm2lKj9iHg6fEd3c", "pixels");
    for (const std::string& name : more) write_file(folder + "/" + name, "not the engine's");
}

TEST_F(WorkerFolders, AKilledRunsFolderIsSweptWhileHeldAndUnrelatedOnesStay) {
    const std::string killed = tmp_ + "/Tarvik_morvane-999999991.magick";
    const std::string held = tmp_ + "/Tarvik_morvane-999999992.magick";
    const std::string mixed = tmp_ + "/Tarvik_morvane-999999993.magick";
    const std::string linked = tmp_ + "/Tarvik_morvane-999999994.magick";
    const std::string elsewhere = dir_ / "elsewhere";
    plant_worker_folder(killed);
    plant_worker_folder(held);
    plant_worker_folder(mixed, {"notes.txt"});
    plant_worker_folder(elsewhere);
    ASSERT_EQ(symlink(elsewhere.c_str(), linked.c_str()), 0);
    make_folder(tmp_ + "/Tarvik_morvane-other.magick");
    write_file(tmp_ + "/Tarvik_morvane-other.magick/magick-1", "not a worker's folder");
    write_file(tmp_ + "/magick-unrelated", "not in a worker's folder");
    // A live worker of another run holds its folder's lock.
    const int lock = open((held + "/worker.lock").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX | LOCK_NB), 0);
    const std::vector<std::string> held_files = list_folder(held);

    make_picture(in_ + "/a.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run(), 0);
    close(lock);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n");
    EXPECT_FALSE(fs::exists(fs::symlink_status(killed))) << "the killed run's folder stays";
    EXPECT_EQ(list_folder(held), held_files);
    EXPECT_EQ(list_folder(mixed), std::vector<std::string>{"notes.txt"});
    EXPECT_TRUE(fs::is_symlink(linked));
    EXPECT_EQ(list_folder(elsewhere), held_files);
    EXPECT_TRUE(exists(tmp_ + "/Tarvik_morvane-other.magick/magick-1"));
    EXPECT_TRUE(exists(tmp_ + "/magick-unrelated"));
}

// ---------------------------------------------------------------------------------------
// A settings window that answers slowly.

struct SlowWindowCase {
    const char* name;
    int workers;
};

class SlowWindow : public EngineTest, public ::testing::WithParamInterface<SlowWindowCase> {
  protected:
    // The job with the case's workers and a time limit of `seconds`.
    void write_limited_job(const std::vector<std::string>& formats, int seconds) {
        std::vector<std::string> lines = {"[FORMATS]"};
        lines.insert(lines.end(), formats.begin(), formats.end());
        lines.insert(lines.end(), {"[PARAMS]", "workers=" + std::to_string(GetParam().workers),
                                   "[LIMITS]", "time=" + std::to_string(seconds)});
        write_job(lines);
    }
};

void PrintTo(const SlowWindowCase& c, std::ostream* os) {
    *os << c.name;
}

// Answers the first word of a picture's conversion (position 15) only after `delay`,
// every other message at once; `delayed` tells that it came.
LinkHandler late_first_answer(bool& delayed, milliseconds delay) {
    return [&delayed, delay](const LinkFrame& frame) -> std::int64_t {
        if (!delayed && frame.message == WM_COMMAND && frame.wparam == IDM_RUN_PROGRESS &&
            frame.lparam == 15) {
            delayed = true;
            std::this_thread::sleep_for(delay);
        }
        return frame.message == WM_LINK_MESSAGE_BOX ? IDNO : 0;
    };
}

// Every message answered after 25 ms: the window waits of a 30-frame video (three
// messages a frame) add up to more than the limit of 2 s, while converting it takes a
// fraction of that.
TEST_P(SlowWindow, AVideoWithManyFramesConvertsWhole) {
    constexpr int kFrames = 30;
    constexpr milliseconds kDelay{25};
    ASSERT_TRUE(write_video(in_ + "/clip.avi", {.frames = kFrames, .width = 32, .height = 24}));
    write_limited_job({"AVI=1"}, 2);
    int answered = 0;
    {
        LinkPeer peer(tmp_, [&answered, kDelay](const LinkFrame& frame) -> std::int64_t {
            ++answered;
            std::this_thread::sleep_for(kDelay);
            return frame.message == WM_LINK_MESSAGE_BOX ? IDNO : 0;
        });
        ASSERT_EQ(run({"G|" + job_}), 0);
    }
    EXPECT_GT(answered * kDelay, std::chrono::seconds(2));
    EXPECT_EQ(log_body(), in_ + "/clip.avi converted\r\n");
    EXPECT_EQ(list_folder(out_).size(), static_cast<std::size_t>(kFrames));
    EXPECT_TRUE(exists(out_ + "/clip_" + std::to_string(kFrames - 1) + ".jpg"));
}

// The first thing the worker says about the picture is answered after 1.5 s.
TEST_P(SlowWindow, APictureWhoseFirstMessageIsAnsweredLateConverts) {
    make_picture(in_ + "/a.png");
    make_picture(in_ + "/b.png");
    write_limited_job({"PNG=1"}, 1);
    bool delayed = false;
    {
        LinkPeer peer(tmp_, late_first_answer(delayed, milliseconds(1500)));
        ASSERT_EQ(run({"G|" + job_}), 0);
    }
    EXPECT_TRUE(delayed);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n" + in_ + "/b.png converted\r\n");
}

INSTANTIATE_TEST_SUITE_P(Waits, SlowWindow,
                         ::testing::Values(SlowWindowCase{"one_worker", 1},
                                           SlowWindowCase{"two_workers", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

class SlowWindowBesideWorkers : public EngineTest {};

// Beside other workers the engine sends a source's messages once it is done. A worker
// whose messages fill more than its pipe holds (1200 pages of a TIFF file, their outputs
// all there already) waits for the engine to read them, and the engine reads them only once
// the window has taken the first source's messages, later than the limit.
TEST_F(SlowWindowBesideWorkers, AWorkerWaitingForTheEngineIsNotStopped) {
    constexpr int kImages = 1200;
    make_picture(in_ + "/a.png");
    write_file(in_ + "/b.tif", tiny_tiff(kImages));
    make_folder(out_);
    for (int n = 0; n < kImages; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "/b%05d.jpg", n);
        write_file(out_ + name, "");
    }
    write_job({"[FORMATS]", "PNG=1", "TIF=1", "[TIFF]", "extract_all=1", "[PARAMS]", "workers=2",
               "[LIMITS]", "time=2"});
    bool delayed = false;
    {
        LinkPeer peer(tmp_, late_first_answer(delayed, milliseconds(2500)));
        ASSERT_EQ(run({"G|" + job_}), 0);
    }
    EXPECT_TRUE(delayed);
    EXPECT_EQ(log_body(),
              in_ + "/a.png converted\r\nThe file " + in_ +
                  "/b.tif was not created, it already exists in the targer folder.\r\n");
}

}  // namespace
}  // namespace morvane::test
