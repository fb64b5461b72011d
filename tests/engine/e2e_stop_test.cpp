// The user stops a run (SIGTERM from the settings window, SIGINT from a terminal): the
// engine starts no new source, finishes the ones it has begun, writes its footer and
// ends with the window's end question, as a run that went through does.

#include <algorithm>
#include <atomic>
#include <csignal>
#include <map>
#include <string>
#include <vector>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "link_ids.h"
#include "link_peer.h"

extern char** environ;

namespace morvane::test {
namespace {

constexpr int kSources = 30;
constexpr int kStopAtFile = 3;  // the stop comes when this source reports "Reading..."
const char* const kStopLine =
    "stopped by the user: the files being converted were finished, no other was started";

struct StopCase {
    const char* name;
    int signal;
    int workers;
    bool recurse;
    bool listed;  // the run takes a file list instead of walking the folder
};

void PrintTo(const StopCase& c, std::ostream* out) {
    *out << c.name;
}

// Starts the engine without waiting for it; its process id, or -1.
pid_t spawn_engine(const std::string& program, const std::string& argument,
                   const std::map<std::string, std::string>& env) {
    std::map<std::string, std::string> merged;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const std::size_t eq = entry.find('=');
        if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [key, value] : env) merged[key] = value;
    std::vector<std::string> env_text;
    for (const auto& [key, value] : merged) env_text.push_back(key + "=" + value);
    std::vector<char*> envp;
    for (std::string& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string program_text = program;
    std::string argument_text = argument;
    char* argv[] = {program_text.data(), argument_text.data(), nullptr};
    pid_t pid = -1;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    return pid;
}

class EngineStop : public EngineTest, public ::testing::WithParamInterface<StopCase> {
  protected:
    // The sources, in the source folder or a sub-folder of it, and the file list when
    // the run takes one.
    void make_sources() {
        const std::string folder = GetParam().recurse ? in_ + "/sub" : in_;
        make_folder(folder);
        std::string list = "[FILES]\r\n";
        for (int i = 0; i < kSources; ++i) {
            const std::string name = folder + "/p" + std::to_string(100 + i) + ".png";
            make_picture(name, PictureSpec{32, 24});
            list += std::to_string(i) + "=" + name + "\r\n";
        }
        if (GetParam().listed) write_file(tmp_ + "/t.log", list);
    }

    [[nodiscard]] std::vector<std::string> outputs() const {
        std::vector<std::string> names = list_folder(out_);
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_P(EngineStop, NoNewSourceAfterTheRequestAndTheRunEndsAsUsual) {
    const StopCase& c = GetParam();
    make_sources();
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "workers=" + std::to_string(c.workers),
               "recurse=" + std::string(c.recurse ? "1" : "0")});
    std::atomic<pid_t> engine{-1};
    std::atomic<int> reading{0};
    std::atomic<int> announced{0};
    std::atomic<int> asked{0};
    std::vector<LinkFrame> frames;
    {
        LinkPeer peer(tmp_, [&](const LinkFrame& frame) -> std::int64_t {
            if (frame.message == WM_RUN_FILE) ++announced;
            if (frame.message == WM_SETTEXT && frame.wparam == IDC_RUN_STATUS_TEXT &&
                frame.text == "Reading..." && ++reading == kStopAtFile) {
                (void)::kill(engine.load(), c.signal);
            }
            if (frame.message == WM_LINK_MESSAGE_BOX) {
                ++asked;
                return IDNO;
            }
            return 0;
        });
        ASSERT_TRUE(peer.listening());
        engine = spawn_engine(program_ + "/Tarvik_morvane", "G|" + job_,
                              {{"TMPDIR", tmp_}, {"ASAN_OPTIONS", "detect_leaks=0"}});
        ASSERT_GT(engine.load(), 0);
        int status = 0;
        while (::waitpid(engine.load(), &status, 0) < 0) {
        }
        ASSERT_TRUE(WIFEXITED(status)) << status;  // the signal did not kill it
        EXPECT_EQ(WEXITSTATUS(status), 0);
        frames = peer.frames();
    }

    const std::string text = log();
    SCOPED_TRACE(text);
    EXPECT_NE(text.find(std::string("\r\n\r\n") + kStopLine + "\r\nprocessing finished\r\n"),
              std::string::npos);
    const std::size_t count_at = text.rfind("converted files: ");
    ASSERT_NE(count_at, std::string::npos);
    const int count = std::stoi(text.substr(count_at + 17));
    // The source converting was finished; with several workers the few already handed
    // to them were too, and nothing after.
    if (c.workers == 1) {
        EXPECT_EQ(count, kStopAtFile);
    } else {
        EXPECT_GE(count, kStopAtFile);
        EXPECT_LE(count, kStopAtFile + 2 * c.workers + 1);
    }
    EXPECT_EQ(static_cast<int>(result_lines(log_body())), count);
    const std::vector<std::string> written = outputs();
    ASSERT_EQ(static_cast<int>(written.size()), count);  // no work file, no half output
    for (int i = 0; i < count; ++i) {
        const std::string name = "p" + std::to_string(100 + i) + ".jpg";
        EXPECT_EQ(written[static_cast<std::size_t>(i)], name);
        EXPECT_TRUE(read_picture(out_ + "/" + name).ok) << name;
    }
    // The window still hears the end of the run and gets its question.
    ASSERT_GE(frames.size(), 3u);
    EXPECT_EQ(frames.back().message, WM_RUN_END);
    EXPECT_EQ(frames.back().lparam, 1);
    EXPECT_EQ(asked.load(), 1);
    EXPECT_EQ(reading.load(), count);
    EXPECT_EQ(announced.load(), c.listed ? 0 : count);
    EXPECT_FALSE(exists(tmp_ + "/t.log"));  // a stopped run consumes its list too
}

INSTANTIATE_TEST_SUITE_P(Runs, EngineStop,
                         ::testing::Values(StopCase{"TermFlat", SIGTERM, 1, false, false},
                                           StopCase{"TermFlatTwoWorkers", SIGTERM, 2, false, false},
                                           StopCase{"IntRecursive", SIGINT, 1, true, false},
                                           StopCase{"TermListedTwoWorkers", SIGTERM, 2, false,
                                                    true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace morvane::test
