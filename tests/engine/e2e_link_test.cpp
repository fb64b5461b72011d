// The engine's traffic on the progress link, frame by frame, against a stand-in for
// the Monitor window: what it sends, how long it waits, and a worker that dies while it
// talks to the window.

#include <chrono>
#include <string>
#include <thread>

#include <unistd.h>

#include <gtest/gtest.h>

#include "convert/documents_fixture.h"
#include "engine_fixture.h"
#include "link_ids.h"
#include "link_peer.h"

namespace morvane::test {
namespace {

using Frames = std::vector<std::string>;

Frames described(const std::vector<LinkFrame>& frames) {
    Frames out;
    for (const LinkFrame& frame : frames) out.push_back(describe(frame));
    return out;
}

Frames operator+(Frames a, const Frames& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

const Frames kStart{"273 1240 0"};
const Frames kEndNo{"1244 0 0",
                    "32769 36 0 \"Tarvik_morvane|The conversion process is finished.\n\nWould "
                    "you like to see the log file ?\"",
                    "1244 0 1"};

Frames announced(const std::string& path) {
    return {"12 1049 0 \"" + path + "\"", "1242 0 0", "273 1241 5"};
}

Frames status(const std::string& text) {
    return {"12 1050 0 \"" + text + "\"", "1243 0 0"};
}

// One raster source converted: from position 15 to the image written.
Frames converted_one() {
    return Frames{"273 1241 15"} + status("Reading...") + Frames{"273 1241 70", "273 1241 80"} +
           status("Writing image # 1...") + Frames{"273 1241 90"};
}

class EngineLink : public EngineTest {
  protected:
    LinkPeer peer_{tmp_};
};

TEST_F(EngineLink, FlatWalkSendsEveryStepThenAsksAboutTheLog) {
    ASSERT_TRUE(peer_.listening());
    make_picture(in_ + "/a.png");
    make_picture(in_ + "/b.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    const Frames one = converted_one() + Frames{"273 1241 100"};
    EXPECT_EQ(described(peer_.frames()),
              kStart + announced(in_ + "/a.png") + one + announced(in_ + "/b.png") + one + kEndNo);
}

TEST_F(EngineLink, RecursiveWalkSendsNoPosition100) {
    make_folder(in_ + "/sub");
    make_picture(in_ + "/sub/a.png");
    write_job({"[FORMATS]", "PNG=1", "[PARAMS]", "recurse=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(described(peer_.frames()),
              kStart + announced(in_ + "/sub/a.png") + converted_one() + kEndNo);
}

TEST_F(EngineLink, MovedSourceReportsTheMove) {
    make_picture(in_ + "/a.png");
    make_folder(dir_ / "done");
    write_job({"move_path=" + dir_ / "done", "[FORMATS]", "PNG=1", "[PARAMS]", "move=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    const Frames moved{"273 1241 95", "273 1241 100"};
    const Frames expected =
        kStart + announced(in_ + "/a.png") + converted_one() + status("Moving...") + moved + kEndNo;
    EXPECT_EQ(described(peer_.frames()), expected);
}

TEST_F(EngineLink, FileListRunAnnouncesNoFiles) {
    make_picture(in_ + "/a.png");
    write_file(tmp_ + "/t.log", "[FILES]\r\n0=" + in_ + "/a.png\r\n");
    write_job();
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(described(peer_.frames()), kStart + converted_one() + kEndNo);
}

TEST_F(EngineLink, SourceThatCannotBeReadStopsAfterReading) {
    write_file(in_ + "/bad.png", "not a picture");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    const Frames expected = kStart + announced(in_ + "/bad.png") + Frames{"273 1241 15"} +
                            status("Reading...") + Frames{"273 1241 100"} + kEndNo;
    EXPECT_EQ(described(peer_.frames()), expected);
}

TEST_F(EngineLink, PdfShowsWritingThenEachPage) {
    ASSERT_TRUE(make_pdf(in_ + "/report.pdf", "rg"));
    write_job({"[FORMATS]", "PDF=1", "[PDF]", "extract_all=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    const Frames expected = kStart + announced(in_ + "/report.pdf") +
                            Frames{"273 1241 15", "273 1241 25"} + status("Writing...") +
                            status("Writing image # 1...") + status("Writing image # 2...") +
                            Frames{"273 1241 90", "273 1241 100", "273 1241 100"} + kEndNo;
    EXPECT_EQ(described(peer_.frames()), expected);
}

TEST_F(EngineLink, OtherFormsUseNoLink) {
    make_picture(in_ + "/a.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"P|" + in_ + "/a.png|" + dir_ / "a.jpg"}), 0);
    ASSERT_EQ(run({"C|" + job_}), 0);
    ASSERT_EQ(run(), 0);
    EXPECT_TRUE(peer_.frames().empty());
}

TEST_F(EngineLink, EarlyEndSendsOnlyTheStart) {
    write_job_text("[FOLDERS]\r\ntarget=/out\r\n");
    EXPECT_EQ(run({"G|" + job_}), 100);
    EXPECT_EQ(described(peer_.frames()), kStart);
}

TEST_F(EngineLink, IncompleteGFormSendsNothing) {
    write_job();
    EXPECT_EQ(run({"G"}), 0);
    EXPECT_TRUE(peer_.frames().empty());
}

class EnginePeerLeaves : public EngineTest {
  protected:
    LinkPeer peer_{tmp_, IDNO, 4};
};

TEST_F(EnginePeerLeaves, RunAndLogCompleteWhenTheWindowCloses) {
    make_picture(in_ + "/a.png");
    make_picture(in_ + "/b.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run({"G|" + job_}), 0);
    EXPECT_EQ(peer_.frames().size(), 4u);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n" + in_ + "/b.png converted\r\n");
    EXPECT_NE(log().find("converted files: 2\r\n"), std::string::npos);
}

// Waits for a file the detached opener writes.
std::string wait_for(const std::string& path) {
    for (int i = 0; i < 200 && read_file(path).empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return read_file(path);
}

class EngineOpensLog : public EngineTest {
  protected:
    // An opener that records what it was asked to open.
    void use_recording_opener() {
        write_file(opener_, "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened_ + "'\n");
        ASSERT_EQ(chmod(opener_.c_str(), 0755), 0);
    }
    int run_opening(const std::vector<std::string>& args) {
        return run_program(program_ + "/Tarvik_morvane", args,
                           {{"TMPDIR", tmp_},
                            {"ASAN_OPTIONS", "detect_leaks=0"},
                            {"MORVANE_LOG_OPENER", opener_}});
    }
    std::string opener_ = dir_ / "opener.sh";
    std::string opened_ = dir_ / "opened.txt";
};

TEST_F(EngineOpensLog, YesOpensTheLog) {
    LinkPeer peer(tmp_, IDYES);
    use_recording_opener();
    write_job();
    ASSERT_EQ(run_opening({"G|" + job_}), 0);
    EXPECT_EQ(described(peer.frames()).back(), "1244 0 1");
    EXPECT_EQ(wait_for(opened_), tmp_ + "/Tarvik_morvane.log");
}

TEST_F(EngineOpensLog, NoLeavesTheLogClosed) {
    LinkPeer peer(tmp_, IDNO);
    use_recording_opener();
    write_job();
    ASSERT_EQ(run_opening({"G|" + job_}), 0);
    (void)peer.frames();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(exists(opened_));
}

TEST_F(EngineOpensLog, MissingLogIsReported) {
    const std::string log_path = tmp_ + "/Tarvik_morvane.log";
    LinkPeer peer(tmp_, [log_path](const LinkFrame& frame) -> std::int64_t {
        if (frame.message != WM_LINK_MESSAGE_BOX) return 0;
        unlink(log_path.c_str());  // gone before the engine looks for it
        return IDYES;
    });
    use_recording_opener();
    write_job();
    ASSERT_EQ(run_opening({"G|" + job_}), 0);
    const Frames frames = described(peer.frames());
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[frames.size() - 2],
              "32769 64 0 \"Tarvik_morvane|No log file found in your temp folder\"");
    EXPECT_FALSE(exists(opened_));
}

// ---------------------------------------------------------------------------------------
// How long the engine waits: each answer for the link's limit, shortened here to
// kLimitMs, except the user's answers to the boxes at the end.

constexpr int kLimitMs = 300;

class EngineWaits : public EngineOpensLog {
  protected:
    int run_short(const std::vector<std::string>& args) {
        return run_program(program_ + "/Tarvik_morvane", args,
                           {{"TMPDIR", tmp_},
                            {"ASAN_OPTIONS", "detect_leaks=0"},
                            {"MORVANE_LOG_OPENER", opener_},
                            {"MORVANE_LINK_TIMEOUT_MS", std::to_string(kLimitMs)}});
    }
};

// The first message is answered only once the engine has written its log to the end
// without it (or after far longer than the limit, should it still wait).
TEST_F(EngineWaits, AnOrdinaryAnswerLaterThanTheLimitSilencesTheLink) {
    const std::string log_path = tmp_ + "/Tarvik_morvane.log";
    LinkPeer peer(tmp_, [log_path](const LinkFrame&) -> std::int64_t {
        for (int i = 0;
             i < 400 && read_file(log_path).find("converted files:") == std::string::npos; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return 0;
    });
    make_picture(in_ + "/a.png");
    write_job({"[FORMATS]", "PNG=1"});
    ASSERT_EQ(run_short({"G|" + job_}), 0);
    EXPECT_EQ(described(peer.frames()), kStart);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\n");
    EXPECT_NE(log().find("converted files: 1\r\n"), std::string::npos);
}

struct EndCase {
    const char* name;
    bool log_missing;  // the log is gone when the user answers Yes
};

class EndQuestion : public EngineWaits, public ::testing::WithParamInterface<EndCase> {};

// Every box is answered Yes after five times the limit, everything else at once.
TEST_P(EndQuestion, WaitsForTheUserWithoutALimit) {
    const std::string log_path = tmp_ + "/Tarvik_morvane.log";
    const bool log_missing = GetParam().log_missing;
    LinkPeer peer(tmp_, [log_path, log_missing](const LinkFrame& frame) -> std::int64_t {
        if (frame.message != WM_LINK_MESSAGE_BOX) return 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(5 * kLimitMs));
        if (log_missing) unlink(log_path.c_str());
        return IDYES;
    });
    use_recording_opener();
    write_job();
    ASSERT_EQ(run_short({"G|" + job_}), 0);
    Frames expected = kStart + Frames{kEndNo[0], kEndNo[1]};
    if (log_missing) {
        expected.push_back("32769 64 0 \"Tarvik_morvane|No log file found in your temp folder\"");
    }
    expected.push_back(kEndNo[2]);
    EXPECT_EQ(described(peer.frames()), expected);
    if (log_missing) {
        EXPECT_FALSE(exists(opened_));
    } else {
        EXPECT_EQ(wait_for(opened_), log_path);
    }
}

INSTANTIATE_TEST_SUITE_P(Link, EndQuestion,
                         ::testing::Values(EndCase{"log_opened", false},
                                           EndCase{"no_log_box", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------
// A worker that talks to the window dies in the middle of a frame (the kill hook cuts
// the frame of the document's second page after a few bytes and kills the worker); the
// rest of the run goes to the window over a fresh connection. With two workers the
// document converts alone, beside a worker forked earlier that holds the old socket too.

class WorkerDiesInAFrame : public EngineTest, public ::testing::WithParamInterface<int> {};

TEST_P(WorkerDiesInAFrame, TheWindowHearsTheLaterFilesAndTheEnd) {
    LinkPeer peer(tmp_);
    make_picture(in_ + "/a.png");
    ASSERT_TRUE(make_pdf(in_ + "/b.pdf", "rg"));
    make_picture(in_ + "/c.png");
    write_job({"[FORMATS]", "PNG=1", "PDF=1", "[PDF]", "extract_all=1", "[PARAMS]",
               "workers=" + std::to_string(GetParam())});
    const int exited = run_program(program_ + "/Tarvik_morvane", {"G|" + job_},
                                   {{"TMPDIR", tmp_},
                                    {"ASAN_OPTIONS", "detect_leaks=0:verify_asan_link_order=0"},
                                    {"LD_PRELOAD", KILL_HOOK},
                                    {"MORVANE_KILL_IN_FRAME", "Writing image # 2..."},
                                    {"MORVANE_KILL_WHOM", "self"}});
    ASSERT_EQ(exited, 0);
    EXPECT_EQ(log_body(), in_ + "/a.png converted\r\nCould not convert " + in_ +
                              "/b.pdf !\r\n\tcrashed (signal 9)\r\n" + in_ +
                              "/c.png converted\r\n");
    const Frames frames = described(peer.frames());
    EXPECT_EQ(peer.connections(), 2);
    // The document's frames end where its second page's status was cut off.
    const Frames before = kStart + announced(in_ + "/a.png") + converted_one() +
                          Frames{"273 1241 100"} + announced(in_ + "/b.pdf") +
                          Frames{"273 1241 15", "273 1241 25"} + status("Writing...") +
                          status("Writing image # 1...");
    const Frames after = Frames{"273 1241 100"} + announced(in_ + "/c.png") + converted_one() +
                         Frames{"273 1241 100"} + kEndNo;
    EXPECT_EQ(frames, before + after);
}

INSTANTIATE_TEST_SUITE_P(Link, WorkerDiesInAFrame, ::testing::Values(1, 2),
                         [](const auto& info) { return std::to_string(info.param) + "_workers"; });

}  // namespace
}  // namespace morvane::test
