// Supervised workers and what surrounds them: ImageMagick's temporary files of a worker
// that was stopped or killed, and a settings window that is slow to answer, whose waits
// are no source's time.

#include <chrono>
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

}  // namespace
}  // namespace morvane::test
