// The installation record read back and trusted only when safe, and uninstall / uninst
// removing exactly what the record lists.

#include <filesystem>
#include <tuple>

#include <gtest/gtest.h>

#include "install_record.h"
#include "test_support.h"
#include "uninstall.h"

namespace morvane::test {
namespace {

using ::testing::Combine;
using ::testing::Values;

class UninstallTest : public ::testing::Test {
  protected:
    void SetUp() override {
        make_folder(folder);
        make_folder(dir / "apps");
        make_folder(dir / "menus");
    }
    // Installs `names` (bytes = the name) and two menu files, recorded like the installer does.
    InstallRecord install(const std::vector<std::string>& names) {
        InstallRecord record;
        for (const std::string& name : names) {
            if (!exists(folder + "/" + name)) write_file(folder + "/" + name, name);
            record.files.emplace_back(name, sha256_of_file(folder + "/" + name));
        }
        for (const std::string& menu : menus) {
            write_file(menu, "[Desktop Entry]\n");
            record.menu_files.push_back(menu);
        }
        record.files.emplace_back(kInstallRecordName, "");
        std::string error;
        EXPECT_TRUE(write_install_record(folder, record, error)) << error;
        return record;
    }
    std::optional<UninstallReport> run(bool answer = false) {
        return uninstall(folder, [this, answer](const std::string& path) {
            asked.push_back(path);
            return answer;
        });
    }
    TempDir dir;
    const std::string folder = dir / "Tarvik_morvane";
    const std::vector<std::string> menus{dir / "apps/Tarvik_morvane-Setup.desktop",
                                         dir / "menus/Tarvik_morvane.menu"};
    const std::vector<std::string> product{"morvane_gui", "Tarvik_morvane", "Tarvik_morvane.ini"};
    std::vector<std::string> asked;
};

TEST_F(UninstallTest, RecordReadsBackAsWrittenAndUnsafeNamesAreNotWritten) {
    const InstallRecord written = install(product);
    const std::optional<InstallRecord> record = read_install_record(folder);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->files, written.files);
    EXPECT_EQ(record->menu_files, written.menu_files);
    EXPECT_EQ(written.files[2].second.size(), 64u);
    std::string error;
    EXPECT_FALSE(write_install_record(folder, {{{"../victim", ""}}, {}}, error));
    EXPECT_NE(error, "");
}

class UnsafeRecord : public UninstallTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(UnsafeRecord, IsRefusedAndNothingIsRemoved) {
    write_file(dir / "victim", "x");
    write_file(folder + "/morvane_gui", "x");
    if (!GetParam().empty()) write_file(folder + "/" + kInstallRecordName, GetParam());
    EXPECT_FALSE(read_install_record(folder));
    EXPECT_FALSE(run());
    EXPECT_TRUE(exists(dir / "victim"));
    EXPECT_TRUE(exists(folder + "/morvane_gui"));
}

// "" stands for no record at all.
const std::string kHead = "Tarvik_morvane installation 1\nfile\t\tmorvane_gui\n";
INSTANTIATE_TEST_SUITE_P(Lines, UnsafeRecord,
                         Values("", "something else\nfile\t\tmorvane_gui\n",
                                kHead + "file\t\t../victim", kHead + "file\t\t..",
                                kHead + "file\t\tsub/x", kHead + "file\t\t",
                                kHead + "file\tnot-a-hash\tx", kHead + "menu\trelative/x.desktop",
                                kHead + "menu\t/etc/passwd", kHead + "menu\t/a/../victim.desktop",
                                kHead + "erase\t/tmp/x", kHead + "file\t\tx\textra"));

// With a file of the user's in the folder or not.
class Removal : public UninstallTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Removal, TakesExactlyTheRecordedFilesAndTheFolderWhenEmpty) {
    install(product);
    write_file(dir / "apps/other.desktop", "");
    if (GetParam()) write_file(folder + "/mine.txt", "mine");
    const std::optional<UninstallReport> report = run();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->removed.size(), product.size() + menus.size() + 1);
    EXPECT_TRUE(report->failed.empty());
    EXPECT_EQ(report->folder_removed, !GetParam());
    EXPECT_EQ(exists(folder) ? list_folder(folder) : std::vector<std::string>{},
              GetParam() ? std::vector<std::string>{"mine.txt"} : std::vector<std::string>{});
    for (const std::string& menu : menus) EXPECT_FALSE(exists(menu));
    EXPECT_TRUE(exists(dir / "apps/other.desktop"));
    EXPECT_TRUE(asked.empty());
}

INSTANTIATE_TEST_SUITE_P(ForeignFile, Removal, Values(false, true));

TEST_F(UninstallTest, WhatCannotBeRemovedIsReportedAndTheRecordStays) {
    make_folder(folder + "/Tarvik_morvane/inside");
    install(product);
    const std::optional<UninstallReport> report = run();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->failed, std::vector<std::string>{folder + "/Tarvik_morvane"});
    EXPECT_EQ(list_folder(folder),
              (std::vector<std::string>{"Tarvik_morvane", kInstallRecordName}));
}

// (job file changed by the user, the answer to the question)
class JobFile : public UninstallTest,
                public ::testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(JobFile, ChangedOneIsAskedAboutAndKeptOnNo) {
    const auto [changed, answer] = GetParam();
    install(product);
    const std::string job = folder + "/Tarvik_morvane.ini";
    if (changed) write_file(job, "[Tarvik_morvane]\nQuality=50\n");
    const std::optional<UninstallReport> report = run(answer);
    ASSERT_TRUE(report);
    EXPECT_EQ(asked, changed ? std::vector<std::string>{job} : std::vector<std::string>{});
    const bool stays = changed && !answer;
    EXPECT_EQ(exists(job), stays);
    EXPECT_EQ(report->kept, stays ? std::vector<std::string>{job} : std::vector<std::string>{});
    EXPECT_EQ(report->folder_removed, !stays);
    if (stays) {
        EXPECT_EQ(read_file(job), "[Tarvik_morvane]\nQuality=50\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, JobFile, Combine(Values(false, true), Values(false, true)));

// uninst --yes from its own folder; a changed job file stays, and with it the folder.
class Uninst : public UninstallTest, public ::testing::WithParamInterface<bool> {};

TEST_P(Uninst, UnattendedRemovesItsOwnInstallation) {
    std::filesystem::copy_file(std::string(PROGRAM_FOLDER) + "/uninst", folder + "/uninst");
    install({"morvane_gui", "Tarvik_morvane.ini", "uninst"});
    if (GetParam()) write_file(folder + "/Tarvik_morvane.ini", "changed");
    EXPECT_EQ(run_program(folder + "/uninst", {"--yes"}), 0);
    EXPECT_EQ(exists(folder), GetParam());
    if (GetParam()) {
        EXPECT_EQ(list_folder(folder), std::vector<std::string>{"Tarvik_morvane.ini"});
    }
    for (const std::string& menu : menus) EXPECT_FALSE(exists(menu));
}

TEST_F(UninstallTest, UninstWithoutRecordFailsAndRemovesNothing) {
    std::filesystem::copy_file(std::string(PROGRAM_FOLDER) + "/uninst", folder + "/uninst");
    write_file(folder + "/morvane_gui", "x");
    EXPECT_EQ(run_program(folder + "/uninst", {"--yes"}), 1);
    EXPECT_EQ(list_folder(folder), (std::vector<std::string>{"morvane_gui", "uninst"}));
}

INSTANTIATE_TEST_SUITE_P(JobFileChanged, Uninst, Values(false, true));

}  // namespace
}  // namespace morvane::test
