// Faults from outside the engine: a run killed at any moment and run again, writes that
// fail for lack of room or permission, and a source folder taken away during the run.
// After each, every original must still exist exactly once and byte for byte, and no
// half-written JPEG or work file may be left under a name a user would see.

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"

extern char** environ;

namespace morvane::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A JPEG file that is whole: the start-of-image marker first, the end-of-image marker
// last (a write cut short loses the end), and ImageMagick reads it at the given size.
void expect_whole_jpeg(const std::string& path, int width = 0, int height = 0) {
    const std::string bytes = read_file(path);
    ASSERT_GE(bytes.size(), 4u) << path;
    EXPECT_EQ(bytes.substr(0, 2), "\xff\xd8") << path;
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xff\xd9") << path << " is cut short";
    const PictureInfo jpg = read_picture(path);
    ASSERT_TRUE(jpg.ok) << path;
    EXPECT_EQ(jpg.format, "JPEG") << path;
    if (width > 0) {
        EXPECT_EQ(jpg.width, width) << path;
        EXPECT_EQ(jpg.height, height) << path;
    }
}

// Output and move work files carry ".tarvik-" in their name.
void expect_no_work_files(const std::string& folder) {
    for (const std::string& name : list_folder(folder)) {
        EXPECT_FALSE(contains(name, ".tarvik-")) << "work file left: " << folder << "/" << name;
    }
}

// Page and frame files and the watermark copy belong in the temporary folder only while
// their source converts.
void expect_no_temp_leftovers(const std::string& temp) {
    for (const std::string& name : list_folder(temp)) {
        const std::string ext = fs::path(name).extension().string();
        EXPECT_TRUE(name != "tmp.jpg" && ext != ".pnm" && ext != ".ppm" && ext != ".bmp")
            << "work file left in the temporary folder: " << name;
    }
}

struct Original {
    std::string name;  // in the source folder
    std::string bytes;
    int width, height;
};

class FaultTest : public EngineTest {
  protected:
    // Starts the engine as run() does, without waiting for it, in a process group of its
    // own; `file_size` > 0 is the file-size limit (bytes) it inherits.
    pid_t start(const std::vector<std::string>& args = {}, rlim_t file_size = 0) {
        // Conversion children of a killed engine come to this process, to be waited for.
        (void)prctl(PR_SET_CHILD_SUBREAPER, 1);
        std::vector<std::string> argv_text{program_ + "/Tarvik_morvane"};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<std::string> env_text{"TMPDIR=" + tmp_, "ASAN_OPTIONS=detect_leaks=0"};
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry(*e);
            if (entry.rfind("TMPDIR=", 0) != 0 && entry.rfind("ASAN_OPTIONS=", 0) != 0) {
                env_text.push_back(entry);
            }
        }
        std::vector<char*> argv;
        for (std::string& a : argv_text) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env_text) envp.push_back(e.data());
        envp.push_back(nullptr);

        const pid_t pid = fork();
        if (pid == 0) {
            setpgid(0, 0);
            if (file_size > 0) {
                const rlimit limit{file_size, file_size};
                if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
            }
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        if (pid > 0) setpgid(pid, pid);
        return pid;
    }

    // Waits for the engine and for every process of its group; returns its exit status
    // (128 + signal when killed).
    static int finish(pid_t pid) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        int other = 0;
        while (waitpid(-pid, &other, 0) > 0 || errno == EINTR) {
        }
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }

    // The job's sources: `count` pictures of the given kinds in turn, each of its own
    // size, remembered byte for byte.
    std::vector<Original> make_sources(int count, const std::vector<std::string>& formats,
                                       int width, int height, const std::string& pattern) {
        std::vector<Original> made;
        for (int i = 0; i < count; ++i) {
            const std::string& format = formats[static_cast<std::size_t>(i) % formats.size()];
            const std::string ext = format == "JPEG" ? ".jpg" : format == "GIF" ? ".gif" : ".png";
            const std::string name = "pic" + std::to_string(100 + i) + ext;
            const int w = width + 7 * i;
            const int h = height + 5 * i;
            make_picture(in_ + "/" + name,
                         {.width = w, .height = h, .format = format, .pattern = pattern});
            made.push_back({name, read_file(in_ + "/" + name), w, h});
        }
        return made;
    }

    // Every original is in the source folder or in the move folder, byte for byte, and
    // in one of them only.
    void expect_each_original_once(const std::vector<Original>& originals) {
        for (const Original& o : originals) {
            int copies = 0;
            for (const std::string& folder : {in_, moved_}) {
                const std::string path = folder + "/" + o.name;
                if (!exists(path)) continue;
                ++copies;
                EXPECT_TRUE(read_file(path) == o.bytes) << path << " differs from the original";
            }
            EXPECT_EQ(copies, 1) << o.name;
        }
    }

    std::string output_of(const Original& o) const {
        return out_ + "/" + fs::path(o.name).stem().string() + ".jpg";
    }

    std::string moved_ = dir_ / "moved";
};

// ---------------------------------------------------------------------------------------
// A run killed at any moment, then run again to the end without overwriting.

class KilledRun : public FaultTest {
  protected:
    static constexpr int kSources = 30;
    static constexpr int kRounds = 8;

    void SetUp() override {
        make_picture(dir_ / "mark.png", {.width = 24, .height = 24, .pattern = "xc:blue"});
        originals_ = make_sources(kSources, {"PNG", "JPEG", "GIF"}, 200, 150, "gradient:red-blue");
        // An image watermark makes every conversion write its copy tmp.jpg in the
        // temporary folder, one more file a kill may leave there.
        write_job({"move_path=" + moved_, "[FORMATS]", "PNG=1", "JPEG=1", "GIF=1", "[JPEG]",
                   "quality=85", "[PARAMS]", "move=1", "erase=0", "do_watermark=2",
                   "watermark_file=" + dir_ / "mark.png"});
    }

    // The source folder as it was before the first run, and empty target and move folders.
    void restore() {
        fs::remove_all(in_);
        fs::remove_all(out_);
        fs::remove_all(moved_);
        make_folder(in_);
        make_folder(moved_);
        for (const Original& o : originals_) write_file(in_ + "/" + o.name, o.bytes);
    }

    void expect_complete_and_clean() {
        expect_each_original_once(originals_);
        for (const Original& o : originals_) {
            ASSERT_TRUE(exists(output_of(o))) << output_of(o) << "\n" << log();
            expect_whole_jpeg(output_of(o), o.width, o.height);
        }
        for (const std::string& name : list_folder(out_)) {
            if (ends_with(name, ".jpg") && name[0] != '.') expect_whole_jpeg(out_ + "/" + name);
        }
        expect_no_work_files(out_);
        expect_no_work_files(moved_);
        expect_no_temp_leftovers(tmp_);
    }

    std::vector<Original> originals_;
};

// The kill moments come from a fixed seed unless MORVANE_KILL_SEED names another.
unsigned kill_seed() {
    if (const char* given = std::getenv("MORVANE_KILL_SEED")) {
        return static_cast<unsigned>(std::strtoul(given, nullptr, 10));
    }
    return 20240607u;
}

TEST_F(KilledRun, EveryOriginalSurvivesOnceAndEveryJpegIsWhole) {
    restore();
    const auto begun = Clock::now();
    ASSERT_EQ(finish(start()), 0);
    const auto full = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begun);
    ASSERT_TRUE(ends_with(log(), expected_footer(kSources))) << log();
    expect_complete_and_clean();
    EXPECT_EQ(list_folder(in_), std::vector<std::string>{});  // every source converted and moved

    const unsigned seed = kill_seed();
    std::cout << "kill seed " << seed << " (MORVANE_KILL_SEED), full run " << full.count()
              << " ms\n";
    RecordProperty("kill_seed", std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> within(0.0, 1.0);
    for (int round = 0; round < kRounds; ++round) {
        // One moment in each eighth of the run, so the kills cover it from start to end.
        const auto delay = std::chrono::milliseconds(static_cast<long>(
            static_cast<double>(full.count()) * (round + within(random)) / kRounds));
        SCOPED_TRACE("round " + std::to_string(round) + ", killed after " +
                     std::to_string(delay.count()) + " ms, seed " + std::to_string(seed));
        restore();
        const pid_t engine = start();
        ASSERT_GT(engine, 0);
        std::this_thread::sleep_for(delay);
        kill(engine, SIGKILL);
        (void)finish(engine);

        // The sources the killed run moved are no longer walked.
        const auto left = static_cast<unsigned>(list_folder(in_).size());
        ASSERT_EQ(run(), 0);
        ASSERT_TRUE(ends_with(log(), expected_footer(left))) << log();
        // Nothing the killed run left behind makes a source fail now.
        EXPECT_FALSE(contains(log_body(), "Could not convert")) << log_body();
        expect_complete_and_clean();
        if (HasFailure()) break;
    }
}

// ---------------------------------------------------------------------------------------
// Writes that fail because a file may not grow that large (EFBIG): the limit the engine
// was started with, or the job's own LIMITS/file_size.

struct FullDiskCase {
    const char* name;
    rlim_t inherited;  // bytes; 0: none
    std::vector<std::string> limits;
    int width, height;  // sources whose JPEG at quality 99 passes the limit
};

void PrintTo(const FullDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class FileTooLarge : public FaultTest, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FileTooLarge, EverySourceIsLoggedUnconvertedAndStays) {
    const FullDiskCase& c = GetParam();
    const std::vector<Original> originals =
        make_sources(2, {"PNG", "GIF"}, c.width, c.height, "plasma:");
    make_folder(moved_);
    std::vector<std::string> job = {"move_path=" + moved_, "[FORMATS]", "PNG=1", "GIF=1", "[JPEG]",
                                    "quality=99",          "[PARAMS]",  "move=1"};
    job.insert(job.end(), c.limits.begin(), c.limits.end());
    write_job(job);

    ASSERT_EQ(finish(start({}, c.inherited)), 0);
    ASSERT_TRUE(ends_with(log(), expected_footer(2))) << log();
    std::string expected;
    for (const Original& o : originals) {
        expected += "Could not convert " + in_ + "/" + o.name + " !\r\n\tthe output file " +
                    output_of(o) + " cannot be written: File too large\r\n";
    }
    EXPECT_EQ(log_body(), expected);
    EXPECT_EQ(list_folder(out_), std::vector<std::string>{});  // no JPEG, whole or not
    EXPECT_EQ(list_folder(moved_), std::vector<std::string>{});
    expect_each_original_once(originals);
    expect_no_temp_leftovers(tmp_);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FileTooLarge,
    ::testing::Values(FullDiskCase{"inherited_limit", 20 * 1024, {}, 400, 300},
                      FullDiskCase{"job_limit", 0, {"[LIMITS]", "file_size=1"}, 1200, 1000}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// A target or move folder the engine may not write to.

struct ReadOnlyCase {
    const char* name;
    bool target;  // else the move folder
};

void PrintTo(const ReadOnlyCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadOnlyFolder : public FaultTest, public ::testing::WithParamInterface<ReadOnlyCase> {
  protected:
    // Runs the engine as an ordinary user, whom permissions bind. Root runs it through
    // setpriv as "nobody", with the test's folders handed over to that user (their modes,
    // read-only ones included, stay as they are).
    int run_as_user() {
        if (geteuid() != 0) return run();
        EXPECT_EQ(chmod(dir_.path().c_str(), 0755), 0);
        for (const std::string& folder : {tmp_, in_, out_, moved_}) {
            EXPECT_EQ(lchown(folder.c_str(), 65534, 65534), 0) << folder;
        }
        return run_program(
            "/usr/bin/setpriv",
            {"--reuid=65534", "--regid=65534", "--clear-groups", program_ + "/Tarvik_morvane"},
            {{"TMPDIR", tmp_}, {"ASAN_OPTIONS", "detect_leaks=0"}});
    }
};

TEST_P(ReadOnlyFolder, NothingIsLostAndEveryFailureIsLogged) {
    const ReadOnlyCase& c = GetParam();
    const std::vector<Original> originals =
        make_sources(3, {"PNG", "JPEG", "GIF"}, 120, 90, "gradient:red-blue");
    make_folder(out_);
    make_folder(moved_);
    ASSERT_EQ(chmod((c.target ? out_ : moved_).c_str(), 0555), 0);
    write_job(
        {"move_path=" + moved_, "[FORMATS]", "PNG=1", "JPEG=1", "GIF=1", "[PARAMS]", "move=1"});

    ASSERT_EQ(run_as_user(), 0);
    ASSERT_TRUE(ends_with(log(), expected_footer(3))) << log();
    const std::string body = log_body();
    for (const Original& o : originals) {
        const std::string source = in_ + "/" + o.name;
        if (c.target) {
            EXPECT_TRUE(contains(body, "Could not convert " + source + " !\r\n\tthe output file " +
                                           output_of(o) +
                                           " cannot be written: Permission denied\r\n"))
                << body;
        } else {
            EXPECT_TRUE(contains(body, "The file " + source + " could not be moved to " + moved_ +
                                           "/" + o.name + "\r\n"))
                << body;
            EXPECT_TRUE(contains(body, source + " converted\r\n")) << body;
            expect_whole_jpeg(output_of(o), o.width, o.height);
        }
        EXPECT_TRUE(read_file(source) == o.bytes) << source;
    }
    EXPECT_EQ(list_folder(moved_), std::vector<std::string>{});
    if (c.target) {
        EXPECT_EQ(list_folder(out_), std::vector<std::string>{});
    }
    expect_no_work_files(out_);
}

INSTANTIATE_TEST_SUITE_P(Faults, ReadOnlyFolder,
                         ::testing::Values(ReadOnlyCase{"target", true},
                                           ReadOnlyCase{"move_folder", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// The source folder taken away while the run goes through it.

class SourceFolderGone : public FaultTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SourceFolderGone, RunReachesItsFooter) {
    const bool removed = GetParam();
    constexpr int kCount = 16;
    const std::vector<Original> originals =
        make_sources(kCount, {"PNG", "GIF"}, 300, 200, "gradient:red-blue");
    write_job({"[FORMATS]", "PNG=1", "GIF=1"});

    const pid_t engine = start();
    ASSERT_GT(engine, 0);
    const std::string first = output_of(originals.front());
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!exists(first) && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const std::string elsewhere = dir_ / "elsewhere";
    if (removed) {
        fs::remove_all(in_);
    } else {
        fs::rename(in_, elsewhere);
    }
    ASSERT_EQ(finish(engine), 0);
    ASSERT_TRUE(exists(first)) << log();

    const std::string text = log();
    const std::size_t footer = text.rfind("\r\nconverted files: ");
    ASSERT_NE(footer, std::string::npos) << text;
    const unsigned counted = static_cast<unsigned>(std::strtoul(
        text.c_str() + footer + std::string("\r\nconverted files: ").size(), nullptr, 10));
    EXPECT_TRUE(ends_with(text, expected_footer(counted))) << text;
    EXPECT_EQ(result_lines(log_body()), counted) << text;
    EXPECT_GE(counted, 1u);
    EXPECT_FALSE(contains(log_body(), in_ + "/" + originals.back().name + " converted"))
        << "the run was over before the folder went";
    for (const std::string& name : list_folder(out_)) {
        EXPECT_NE(name[0], '.') << "work file left: " << name;
        if (ends_with(name, ".jpg")) expect_whole_jpeg(out_ + "/" + name);
    }
    if (!removed) {
        for (const Original& o : originals) {
            EXPECT_TRUE(read_file(elsewhere + "/" + o.name) == o.bytes) << o.name;
        }
    }
    expect_no_temp_leftovers(tmp_);
}

INSTANTIATE_TEST_SUITE_P(Faults, SourceFolderGone, ::testing::Values(false, true),
                         [](const auto& info) {
                             return std::string(info.param ? "removed" : "renamed");
                         });

}  // namespace
}  // namespace morvane::test
