#include "leftovers.h"

#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace morvane
