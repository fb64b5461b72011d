// What a killed run or worker leaves, taken care of afterwards: the work file of a
// document's page, and a move across file systems cut short right after its copy was
// renamed into place. Each kill lands at one exact moment, through a hook loaded into
// the engine that kills it right after a chosen file appears.

#include <cerrno>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "convert/documents_fixture.h"
#include "engine_fixture.h"

extern char** environ;

namespace morvane::test {
namespace {

namespace fs = std::filesystem;

bool has_name_ending(const std::vector<std::string>& names, const std::string& tail) {
    for (const std::string& name : names) {
        if (name.ends_with(tail)) return true;
    }
    return false;
}

// A fresh folder on the file system of /dev/shm, removed with everything in it.
class ShmFolder {
  public:
    ShmFolder() {
        std::string pattern = "/dev/shm/morvane-move-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    }
    ShmFolder(const ShmFolder&) = delete;
    ShmFolder& operator=(const ShmFolder&) = delete;
    ~ShmFolder() {
        std::error_code ec;
        if (!path_.empty()) fs::remove_all(path_, ec);
    }
    [[nodiscard]] const std::string& path() const { return path_; }

  private:
    std::string path_;
};

bool same_file_system(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev;
}

class KilledAtAMoment : public EngineTest {
  protected:
    // Runs the engine with the kill hook set as `hook` says, in a process group of its
    // own, and waits for it and every process of its group. Returns its exit status
    // (128 + signal when killed).
    int run_hooked(const std::map<std::string, std::string>& hook) {
        // The workers of a killed engine come to this process, to be waited for.
        (void)::prctl(PR_SET_CHILD_SUBREAPER, 1);
        std::map<std::string, std::string> env;
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            const std::size_t eq = entry.find('=');
            if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
        }
        env["TMPDIR"] = tmp_;
        env["ASAN_OPTIONS"] = "detect_leaks=0:verify_asan_link_order=0";
        env["LD_PRELOAD"] = KILL_HOOK;
        for (const auto& [key, value] : hook) env[key] = value;
        std::vector<std::string> env_text;
        for (const auto& [key, value] : env) env_text.push_back(key + "=" + value);
        std::vector<char*> envp;
        for (std::string& e : env_text) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = program_ + "/Tarvik_morvane";
        char* argv[] = {program.data(), nullptr};

        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        pid_t pid = 0;
        const int spawned =
            posix_spawn(&pid, program.c_str(), nullptr, &attributes, argv, envp.data());
        posix_spawnattr_destroy(&attributes);
        if (spawned != 0) return -1;
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        int other = 0;
        while (::waitpid(-pid, &other, 0) > 0 || errno == EINTR) {
        }
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
};

TEST_F(KilledAtAMoment, ThePageWorkFileOfAKilledRunIsSweptByTheNextRun) {
    ASSERT_TRUE(make_pdf(in_ + "/d.pdf", "rg"));
    write_job({"[FORMATS]", "PDF=1", "[PDF]", "extract_all=1"});
    ASSERT_EQ(run_hooked({{"MORVANE_KILL_AFTER_CREATE", "/.d_00001.jpg.tarvik-"}}), 128 + SIGKILL);
    // As the kill left it: the first page's work file, and the run's note.
    const std::vector<std::string> left = list_folder(out_);
    ASSERT_EQ(left.size(), 1u);
    EXPECT_TRUE(left[0].starts_with(".d_00001.jpg.tarvik-")) << left[0];
    ASSERT_TRUE(has_name_ending(list_folder(tmp_), ".work"));

    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), in_ + "/d.pdf converted\r\n");
    EXPECT_EQ(list_folder(out_), (std::vector<std::string>{"d_00001.jpg", "d_00002.jpg"}));
    const std::vector<std::string> temp = list_folder(tmp_);
    EXPECT_FALSE(has_name_ending(temp, ".work") || has_name_ending(temp, ".pnm"));
}

// A move folder on another file system: moves there copy, then delete the source.
class KilledMove : public KilledAtAMoment {
  protected:
    void SetUp() override {
        if (moved_.empty() || same_file_system(moved_, in_)) {
            GTEST_SKIP() << "/dev/shm is not a file system of its own here";
        }
    }
    void make_sources(const std::vector<std::string>& names) {
        for (const std::string& name : names) {
            make_picture(in_ + "/" + name, {.width = 40, .height = 30});
            originals_[name] = read_file(in_ + "/" + name);
        }
        write_job({"move_path=" + moved_, "[FORMATS]", "PNG=1", "[PARAMS]", "move=1",
                   "workers=" + std::to_string(workers_)});
    }
    // Every source is in the move folder, byte for byte, and gone from the source folder.
    void expect_all_moved() {
        EXPECT_EQ(list_folder(in_), std::vector<std::string>{});
        std::vector<std::string> names;
        for (const auto& [name, bytes] : originals_) {
            names.push_back(name);
            EXPECT_TRUE(read_file(moved_ + "/" + name) == bytes) << name;
        }
        EXPECT_EQ(list_folder(moved_), names);
        EXPECT_FALSE(has_name_ending(list_folder(tmp_), ".move"));
    }
    [[nodiscard]] std::string finished(const std::string& name) const {
        return "The move of " + in_ + "/" + name + " to " + moved_ + "/" + name +
               " was interrupted; the move has been finished\r\n";
    }
    [[nodiscard]] std::string moved_and_converted(const std::string& name) const {
        return "The file " + in_ + "/" + name + " has been moved to " + moved_ + "/" + name +
               "\r\n" + in_ + "/" + name + " converted\r\n";
    }

    ShmFolder shm_;
    std::string moved_ = shm_.path();
    int workers_ = 1;
    std::map<std::string, std::string> originals_;
};

TEST_F(KilledMove, TheNextRunFinishesAMoveKilledRightAfterTheRename) {
    make_sources({"pic.png"});
    ASSERT_EQ(run_hooked({{"MORVANE_KILL_AFTER_RENAME", moved_ + "/pic.png"}}), 128 + SIGKILL);
    // As the kill left it: the source in both folders, and the move's note.
    ASSERT_TRUE(exists(in_ + "/pic.png"));
    ASSERT_TRUE(exists(moved_ + "/pic.png"));
    EXPECT_TRUE(has_name_ending(list_folder(tmp_), ".move"));

    ASSERT_EQ(run(), 0);
    EXPECT_EQ(log_body(), finished("pic.png"));
    expect_all_moved();
    EXPECT_EQ(list_folder(out_), std::vector<std::string>{"pic.jpg"});
}

class KilledWorkerMove : public KilledMove, public ::testing::WithParamInterface<int> {};

TEST_P(KilledWorkerMove, TheEngineFinishesTheMoveAndKeepsTheLogInOrder) {
    workers_ = GetParam();
    make_sources({"a.png", "b.png", "c.png"});
    ASSERT_EQ(run_hooked({{"MORVANE_KILL_AFTER_RENAME", moved_ + "/b.png"},
                          {"MORVANE_KILL_WHOM", "self"}}),
              0);
    EXPECT_EQ(log_body(), moved_and_converted("a.png") + finished("b.png") + "Could not convert " +
                              in_ + "/b.png !\r\n\tcrashed (signal 9)\r\n" +
                              moved_and_converted("c.png"));
    expect_all_moved();
}

INSTANTIATE_TEST_SUITE_P(Leftovers, KilledWorkerMove, ::testing::Values(1, 2),
                         [](const auto& info) { return std::to_string(info.param) + "_workers"; });

}  // namespace
}  // namespace morvane::test
