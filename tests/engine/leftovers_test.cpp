#include "leftovers.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "log_file.h"
#include "move_note.h"
#include "test_support.h"

namespace morvane {
namespace {

using test::exists;
using test::list_folder;
using test::make_folder;
using test::write_file;

class Leftovers : public ::testing::Test {
  protected:
    Leftovers() {
        for (const std::string& f : {tmp_, out_, moved_}) make_folder(f);
    }
    // Plants files of the given names in a folder.
    static void plant(const std::string& folder, const std::vector<std::string>& names) {
        for (const std::string& name : names) write_file(folder + "/" + name, "x");
    }
    [[nodiscard]] WorkPlaces places() const {
        return {dir_ / "in/report.pdf", OutputName::plain(out_ + "/report.jpg"), moved_};
    }

    test::TempDir dir_;
    std::string tmp_ = dir_ / "tmp";
    std::string out_ = dir_ / "out";
    std::string moved_ = dir_ / "moved";
};

// What a stopped conversion of "report.pdf" may leave goes; everything else stays.
TEST_F(Leftovers, OnlyTheSourcesOwnPatternsAreRemoved) {
    plant(tmp_, {"report_00001.pnm", "report_00002.pnm", "report.pnm", "report_7.bmp",
                 "report_7.ppm", "tmp.jpg", "report.log", "report_00001.pnm.log", "other_1.ppm",
                 "report_00001.png", "Tarvik_morvane.log", "t.log"});
    plant(out_, {".report.jpg.tarvik-AbC123", ".report_00002.jpg.tarvik-xyz789", "report.jpg",
                 ".report.jpg.tarvik-", ".other.jpg.tarvik-AbC123", "report_00001.jpg"});
    plant(moved_, {".report.pdf.tarvik-Q1w2E3", ".report.jpg.tarvik-Q1w2E3x", "report.pdf"});
    remove_leftovers(tmp_, places());
    EXPECT_EQ(list_folder(tmp_),
              (std::vector<std::string>{"Tarvik_morvane.log", "other_1.ppm", "report.log",
                                        "report_00001.png", "report_00001.pnm.log", "t.log"}));
    EXPECT_EQ(list_folder(out_),
              (std::vector<std::string>{".other.jpg.tarvik-AbC123", ".report.jpg.tarvik-",
                                        "report.jpg", "report_00001.jpg"}));
    EXPECT_EQ(list_folder(moved_),
              (std::vector<std::string>{".report.jpg.tarvik-Q1w2E3x", "report.pdf"}));
}

// Runs `body` in a child process that ends without any clean-up, as a killed run would.
template <typename Body>
void in_killed_process(Body body) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
}

// ---------------------------------------------------------------------------------------
// The work files beside the outputs of every kind of numbered series.

constexpr const char* kWork = ".tarvik-AB12cd";

struct SeriesCase {
    const char* name;
    std::string source;  // its file name in the source folder
    std::string prefix;  // of the output name in the target folder (all of it when plain)
    int width;           // of the placeholder after `prefix`; -1: a plain output name
    std::string suffix;
    std::vector<std::string> gone;  // work files the conversion may have left
    std::vector<std::string> kept;  // work files of other outputs beside them
};

void PrintTo(const SeriesCase& c, std::ostream* os) {
    *os << c.name;
}

std::string work(const std::string& output_name) {
    return "." + output_name + kWork;
}

// The output names the source "report" has in no series, whatever its kind.
const std::vector<std::string> kNeverOurs = {work("other.jpg"),
                                             work("report_notes.jpg"),
                                             "report_00001.jpg",
                                             ".report_00001.jpg.tarvik-",
                                             ".report_00001.jpg.tarvik-AB12c",
                                             work("report_00001.jpg") + ".log",
                                             work("report%05d.jpg"),
                                             work("report_2x.jpg")};

const std::string kLong(196, 'r');  // "<kLong>_00001.jpg" is cut in its work file name

const std::vector<SeriesCase> kSeries = {
    {"pdf_pages",
     "report.pdf",
     "report",
     5,
     ".jpg",
     {work("report_00001.jpg"), ".report_00002.jpg.tarvik-x9Y8z7", work("report.jpg"),
      work("report_123456.jpg")},
     {work("report00001.jpg"), work("report_0.jpg"), work("report_012345.jpg")}},
    {"pdf_range",
     "report.pdf",
     "report.jpg",
     -1,
     "",
     {work("report_00001.jpg"), work("report.jpg")},
     {work("report00001.jpg"), work("report_0.jpg")}},
    {"postscript",
     "report.eps",
     "report.jpg",
     -1,
     "",
     {work("report_00003.jpg"), work("report.jpg")},
     {work("report00001.jpg"), work("report_7.jpg")}},
    {"pdf_named_output",
     "report.pdf",
     "chosen.jpg",
     -1,
     "",
     {work("report_00001.jpg"), work("report.jpg")},
     {work("chosen.jpg"), work("chosen_00001.jpg")}},
    {"tiff_pages",
     "report.tif",
     "report",
     5,
     ".jpg",
     {work("report00000.jpg"), work("report00001.jpg")},
     {work("report.jpg"), work("report_0.jpg"), work("report0001.jpg")}},
    {"gif_images",
     "report.gif",
     "report.jpg",
     -1,
     "",
     {work("report.jpg"), work("report_0.jpg"), work("report_12.jpg")},
     {work("report00000.jpg"), work("report_012.jpg")}},
    {"ico_images",
     "report.ico",
     "report.jpg",
     -1,
     "",
     {work("report.jpg"), work("report_3.jpg")},
     {work("report00000.jpg")}},
    {"avi_frames",
     "report.avi",
     "report.jpg",
     -1,
     "",
     {work("report_0.jpg"), work("report_1234.jpg")},
     {work("report.jpg"), work("report00000.jpg"), work("report_00001.jpg")}},
    {"mpeg_frames",
     "report.mpg",
     "report.jpg",
     -1,
     "",
     {work("report_0.jpg"), work("report_10.jpg")},
     {work("report.jpg"), work("report_010.jpg"), work("report_00001.jpg")}},
    {"single_picture",
     "report.png",
     "report.jpg",
     -1,
     "",
     {work("report.jpg")},
     {work("report_0.jpg"), work("report00000.jpg")}},
    {"long_name",
     kLong + ".pdf",
     kLong + ".jpg",
     -1,
     "",
     {work(kLong + "_000"), work(kLong + ".jpg")},
     {work(kLong + "_not"), work(kLong + "_0.j")}},
};

class SeriesLeftovers : public Leftovers, public ::testing::WithParamInterface<SeriesCase> {
  protected:
    SeriesLeftovers() {
        plant(out_, GetParam().gone);
        plant(out_, expected());
    }
    [[nodiscard]] WorkPlaces series_places() const {
        const SeriesCase& c = GetParam();
        const std::string prefix = out_ + "/" + c.prefix;
        return {dir_ / ("in/" + c.source),
                c.width < 0 ? OutputName::plain(prefix)
                            : OutputName::numbered(prefix, c.width, c.suffix),
                ""};
    }
    // What the target folder holds once the work files of the series are gone.
    [[nodiscard]] std::vector<std::string> expected() const {
        std::vector<std::string> names = kNeverOurs;
        names.insert(names.end(), GetParam().kept.begin(), GetParam().kept.end());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_P(SeriesLeftovers, TheEngineRemovesTheWorkFilesOfTheSeriesOnly) {
    remove_leftovers(tmp_, series_places());
    EXPECT_EQ(list_folder(out_), expected());
}

TEST_P(SeriesLeftovers, TheNextRunFindsThemThroughTheNote) {
    in_killed_process([&] {
        WorkJournal journal;
        if (!journal.open(tmp_)) ::_exit(1);
        journal.begin(series_places());
        ::_exit(0);
    });
    WorkJournal next;
    ASSERT_TRUE(next.open(tmp_));
    EXPECT_EQ(list_folder(out_), expected());
}

INSTANTIATE_TEST_SUITE_P(Leftovers, SeriesLeftovers, ::testing::ValuesIn(kSeries),
                         [](const auto& info) { return std::string(info.param.name); });

// A note as an earlier version wrote it ("source\0output\0move folder\0" with the
// placeholder in the output name) is let go without a file being removed for it.
TEST_F(Leftovers, ANoteOfAnEarlierVersionRemovesNothing) {
    std::string note = dir_ / "in/report.pdf";
    note += '\0' + out_ + "/report%05d.jpg" + '\0' + moved_ + '\0';
    write_file(tmp_ + "/Tarvik_morvane-4000000.work", note);
    const std::vector<std::string> planted = {work("report%05d.jpg"), work("report_00001.jpg")};
    plant(out_, planted);
    WorkJournal next;
    ASSERT_TRUE(next.open(tmp_));
    EXPECT_EQ(list_folder(out_), planted);
    EXPECT_EQ(list_folder(tmp_),
              std::vector<std::string>{"Tarvik_morvane-" + std::to_string(::getpid()) + ".work"});
}

TEST_F(Leftovers, TheNextRunSweepsWhatAKilledRunNoted) {
    in_killed_process([&] {
        WorkJournal journal;
        if (!journal.open(tmp_)) ::_exit(1);
        journal.begin(places());
        plant(tmp_, {"report_00001.pnm"});
        plant(out_, {".report_00001.jpg.tarvik-AbC123"});
        ::_exit(0);  // no end(), no close(): the note stays behind
    });
    ASSERT_EQ(list_folder(tmp_).size(), 2u);  // the page file and the note

    WorkJournal next;
    ASSERT_TRUE(next.open(tmp_));
    std::vector<std::string> left = list_folder(tmp_);
    ASSERT_EQ(left.size(), 1u);  // only the new run's own note
    EXPECT_EQ(left[0], "Tarvik_morvane-" + std::to_string(::getpid()) + ".work");
    EXPECT_TRUE(list_folder(out_).empty());
    next.close();
    EXPECT_TRUE(list_folder(tmp_).empty());
}

TEST_F(Leftovers, AFinishedConversionLeavesNothingToSweep) {
    in_killed_process([&] {
        WorkJournal journal;
        if (!journal.open(tmp_)) ::_exit(1);
        journal.end(journal.begin(places()));
        plant(tmp_, {"report_00001.pnm"});  // not the engine's any more once the work ended
        ::_exit(0);
    });
    WorkJournal next;
    ASSERT_TRUE(next.open(tmp_));
    EXPECT_TRUE(exists(tmp_ + "/report_00001.pnm"));
}

TEST_F(Leftovers, ANoteOfARunStillAliveIsLeftAlone) {
    int ready[2];
    int finish[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(finish), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WorkJournal journal;
        (void)journal.open(tmp_);
        journal.begin(places());
        plant(tmp_, {"report_00001.pnm"});
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        (void)!::read(finish[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    {
        WorkJournal other;
        ASSERT_TRUE(other.open(tmp_));
        EXPECT_TRUE(exists(tmp_ + "/report_00001.pnm"));
    }
    (void)!::write(finish[1], &c, 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    for (const int fd : {ready[0], ready[1], finish[0], finish[1]}) ::close(fd);
}

// ---------------------------------------------------------------------------------------
// Moves across file systems whose process died, as their notes and files were left.

struct MoveCase {
    const char* name;
    const char* source;       // the source's bytes; null: gone
    const char* destination;  // the destination's bytes; null: missing
    bool destination_link;    // the destination is a symbolic link to the source
    const char* outcome;      // the end of the log line; null: no line
};

void PrintTo(const MoveCase& c, std::ostream* os) {
    *os << c.name;
}

class InterruptedMove : public ::testing::TestWithParam<MoveCase> {
  protected:
    InterruptedMove() {
        for (const std::string& f : {tmp_, in_, moved_}) make_folder(f);
        EXPECT_TRUE(log_.open(dir_ / "run.log"));
    }
    // A move from `source_` to `destination_` whose process died.
    void plant_note() {
        in_killed_process([&] {
            MoveNote note;
            if (!note.open(tmp_, source_, destination_, log_)) ::_exit(1);
            ::_exit(0);
        });
    }
    std::string log_text() {
        log_.flush();
        return test::read_file(dir_ / "run.log");
    }
    std::string line(const std::string& outcome) const {
        return "The move of " + source_ + " to " + destination_ + " was interrupted; " + outcome +
               "\r\n";
    }

    test::TempDir dir_;
    std::string tmp_ = dir_ / "tmp";
    std::string in_ = dir_ / "in";
    std::string moved_ = dir_ / "moved";
    std::string source_ = in_ + "/photo.png";
    std::string destination_ = moved_ + "/photo.png";
    LogFile log_;
};

TEST_P(InterruptedMove, NothingIsLostAndTheOutcomeIsLogged) {
    const MoveCase& c = GetParam();
    plant_note();
    ASSERT_EQ(list_folder(tmp_).size(), 1u);
    if (c.source != nullptr) write_file(source_, c.source);
    if (c.destination != nullptr) write_file(destination_, c.destination);
    if (c.destination_link) {
        ASSERT_EQ(::symlink(source_.c_str(), destination_.c_str()), 0);
    }
    // A copy that never reached its name, and files of other moves.
    write_file(moved_ + "/.photo.png.tarvik-AB12cd", "sou");
    write_file(moved_ + "/.other.png.tarvik-AB12cd", "x");
    write_file(moved_ + "/other.png", "x");

    finish_interrupted_moves(tmp_, log_);
    EXPECT_EQ(log_text(), c.outcome != nullptr ? line(c.outcome) : "");
    EXPECT_TRUE(list_folder(tmp_).empty());  // the note is gone
    const bool source_stays =
        c.source != nullptr && (c.destination == nullptr || std::string(c.source) != c.destination);
    EXPECT_EQ(exists(source_), source_stays);
    if (source_stays) {
        EXPECT_EQ(test::read_file(source_), c.source);
    }
    if (c.destination != nullptr) {
        EXPECT_EQ(test::read_file(destination_), c.destination);
    }
    std::vector<std::string> moved = {".other.png.tarvik-AB12cd", "other.png"};
    if (c.destination != nullptr || c.destination_link) moved.push_back("photo.png");
    EXPECT_EQ(list_folder(moved_), moved);
}

INSTANTIATE_TEST_SUITE_P(
    Leftovers, InterruptedMove,
    ::testing::Values(
        MoveCase{"identical_destination", "source bytes", "source bytes", false,
                 "the move has been finished"},
        MoveCase{"differing_destination", "source bytes", "source bytez", false,
                 "both files were kept"},
        MoveCase{"shorter_destination", "source bytes", "source", false, "both files were kept"},
        MoveCase{"destination_missing", "source bytes", nullptr, false, "the file was not moved"},
        MoveCase{"destination_a_link", "source bytes", nullptr, true, "both files were kept"},
        MoveCase{"source_already_gone", nullptr, "source bytes", false,
                 "the move has been finished"},
        MoveCase{"both_gone", nullptr, nullptr, false, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(InterruptedMove, ANoteHeldByALiveProcessIsLeftAlone) {
    int ready[2];
    int finish[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(finish), 0);
    write_file(source_, "source bytes");
    write_file(destination_, "source bytes");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MoveNote note;
        char c = note.open(tmp_, source_, destination_, log_) ? 1 : 0;
        (void)!::write(ready[1], &c, 1);
        (void)!::read(finish[0], &c, 1);
        note.close();
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 1);
    finish_interrupted_moves(tmp_, log_);
    EXPECT_EQ(log_text(), "");
    EXPECT_TRUE(exists(source_));
    EXPECT_TRUE(exists(destination_));
    EXPECT_EQ(list_folder(tmp_).size(), 1u);
    (void)!::write(finish[1], &c, 1);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(list_folder(tmp_).empty());  // its move is over
    for (const int fd : {ready[0], ready[1], finish[0], finish[1]}) ::close(fd);
}

// A note cut short was written before its copy began: it goes, and nothing else.
TEST_F(InterruptedMove, ANoteThatIsNotWholeTouchesNothing) {
    write_file(source_, "source bytes");
    write_file(destination_, "source bytes");
    write_file(tmp_ + "/Tarvik_morvane-4000001.move", "tarvik-move 1\n" + source_);
    finish_interrupted_moves(tmp_, log_);
    EXPECT_EQ(log_text(), "");
    EXPECT_TRUE(exists(source_));
    EXPECT_TRUE(list_folder(tmp_).empty());
}

// A dead process that had this process's number left its note: that move is finished
// before this one is noted.
TEST_F(InterruptedMove, AnOlderNoteOfTheSameNumberIsFinishedFirst) {
    plant_note();
    write_file(source_, "source bytes");
    write_file(destination_, "source bytes");
    const std::vector<std::string> notes = list_folder(tmp_);
    ASSERT_EQ(notes.size(), 1u);
    const std::string mine = move_note_path(tmp_, ::getpid());
    ASSERT_EQ(::rename((tmp_ + "/" + notes[0]).c_str(), mine.c_str()), 0);
    {
        MoveNote note;
        ASSERT_TRUE(note.open(tmp_, in_ + "/next.png", moved_ + "/next.png", log_));
        EXPECT_EQ(log_text(), line("the move has been finished"));
        EXPECT_FALSE(exists(source_));
        EXPECT_EQ(list_folder(tmp_).size(), 1u);
    }
    EXPECT_TRUE(list_folder(tmp_).empty());
}

}  // namespace
}  // namespace morvane
