// The file selection window on big lists, stopped work and folders that go away or are
// closed to the user: counts and messages, never times.

#include <algorithm>
#include <filesystem>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "file_select_fixture.h"
#include "work_progress.h"

namespace morvane::test {
namespace {

// Rows of files that need not exist, in a folder that does.
std::vector<FileEntry> fake_rows(const QString& folder, int count, const char* pattern) {
    std::vector<FileEntry> rows;
    for (int i = 0; i < count; ++i)
        rows.push_back({folder, QString(pattern).arg(i, 5, 10, QChar('0')), 1, 0, ""});
    return rows;
}

bool sorted_and_unique(const QStringList& paths) {
    for (qsizetype i = 1; i < paths.size(); ++i) {
        if (!listed_before(paths[i - 1], paths[i])) return false;
        if (paths[i - 1].compare(paths[i], Qt::CaseInsensitive) == 0) return false;
    }
    return true;
}

// Presses the progress window's Cancel as soon as it shows.
void cancel_when_shown(FileSelectWindow& w) {
    QTimer::singleShot(0, &w, [&w] {
        auto* progress = w.findChild<QProgressDialog*>(QString::number(IDD_SELECT_PROGRESS));
        ASSERT_NE(progress, nullptr);
        progress->findChild<QPushButton*>(QString::number(IDC_PROGRESS_CANCEL))->click();
    });
}

TEST_F(FileSelect, TwentyThousandAddsGiveTwentyThousandRowsAndRefuseEveryRepeat) {
    FileSelectWindow& w = open();
    const QString folder = pic("");
    w.files()->add_at_top(fake_rows(folder.chopped(1), 20000, "p%1.png"));
    w.command(IDM_ADD_FOLDER);
    EXPECT_EQ(w.selected_files()->rowCount(), 20000);
    EXPECT_EQ(w.count_text(), "20000");
    EXPECT_TRUE(sorted_and_unique(chosen()));
    EXPECT_TRUE(desktop.messages.empty());

    // The same files again, one in other letters: each is asked about until Cancel.
    w.files()->clear();
    w.files()->add_at_top(fake_rows(folder.chopped(1), 3, "P%1.PNG"));
    desktop.answers = {IDOK, IDCANCEL};
    w.command(IDM_ADD_FOLDER);
    EXPECT_EQ(desktop.messages.size(), 2u);
    EXPECT_EQ(w.selected_files()->rowCount(), 20000);
    EXPECT_EQ(w.count_text(), "20000");
}

TEST_F(FileSelect, CancellingTheWalkLeavesTheFileListAndItsNamesAsTheyWere) {
    FileSelectWindow& w = open_on_pictures();
    w.set_progress_delay(std::chrono::milliseconds(0));
    cancel_when_shown(w);
    w.command(IDM_ADD_TREE);
    EXPECT_EQ(w.files()->rowCount(), 3);
    EXPECT_EQ(w.count_text(), "");
    EXPECT_TRUE(w.notice_text().contains("stopped")) << w.notice_text().toStdString();
    // A walk that runs to its end still finds the raw file the stopped one had seen.
    w.set_progress_delay(std::chrono::hours(1));
    w.command(IDM_ADD_TREE);
    EXPECT_EQ(w.files()->rowCount(), 4);
    EXPECT_EQ(w.count_text(), "4");
}

TEST_F(FileSelect, CancellingTheAddingKeepsTheCountWithTheList) {
    FileSelectWindow& w = open();
    w.files()->add_at_top(fake_rows(pic("").chopped(1), 5000, "p%1.png"));
    w.set_progress_delay(std::chrono::milliseconds(0));
    cancel_when_shown(w);
    w.command(IDM_ADD_FOLDER);
    EXPECT_LT(w.selected_files()->rowCount(), 5000);
    EXPECT_EQ(w.count_text(), QString::number(w.selected_files()->rowCount()));
    EXPECT_TRUE(sorted_and_unique(chosen()));
    w.set_progress_delay(std::chrono::hours(1));
    w.command(IDM_ADD_FOLDER);  // the rest is added, none twice, nothing asked
    EXPECT_EQ(w.selected_files()->rowCount(), 5000);
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(FileSelect, AFolderThatVanishesWhileShownIsToldAndNothingIsAddedFromIt) {
    put(dir / "pics/sub/deeper/e.png", "x");
    FileSelectWindow& w = open_on_pictures();
    std::filesystem::remove_all(dir / "pics");
    QTRY_VERIFY(w.notice_text().contains("cannot be read: No such file or directory"));
    EXPECT_TRUE(w.notice_text().contains(pic("").chopped(1))) << w.notice_text().toStdString();
    w.command(IDM_ADD_FOLDER);
    EXPECT_TRUE(chosen().isEmpty());
    EXPECT_EQ(w.count_text(), "0");
    w.command(IDM_ADD_TREE);
    EXPECT_TRUE(w.notice_text().contains("No such file or directory"));
    w.choose_folder(pic(""));
    EXPECT_EQ(w.files()->rowCount(), 0);
    EXPECT_TRUE(w.notice_text().contains("No such file or directory"));
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(FileSelect, ATreeNodeWhoseFolderVanishedIsToldWhenOpened) {
    put(dir / "pics/sub/deeper/e.png", "x");
    FileSelectWindow& w = open();
    ASSERT_TRUE(w.tree()->choose(pic("sub")));
    QSignalSpy told(w.tree(), &FolderTree::folder_unreadable);
    std::filesystem::remove_all(dir / "pics/sub");
    w.tree()->expand(w.tree()->currentIndex());
    QTRY_COMPARE(told.count(), 1);
    EXPECT_EQ(w.tree()->model()->rowCount(w.tree()->currentIndex()), 0);
    EXPECT_TRUE(w.notice_text().contains(pic("sub") + " cannot be read"));
}

// Permissions do not bind root, so a child process looks as nobody.
TEST_F(FileSelect, AFolderClosedToTheUserIsToldAndTheWalkGoesOn) {
    put(dir / "pics/locked/hidden.png", "x");
    put(dir / "pics/open/seen.png", "x");
    for (const std::string& folder : {dir.path(), dir / "pics", dir / "pics/sub", dir / "tmp"})
        ASSERT_EQ(::chmod(folder.c_str(), 0777), 0);
    ASSERT_EQ(::chmod((dir / "pics/locked").c_str(), 0), 0);
    const pid_t child = ::fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
             ::setresuid(65534, 65534, 65534) != 0)) {
            ::_exit(2);
        }
        FileSelectWindow w(nullptr, desktop.desktop(), current, QString::fromStdString(temp));
        w.choose_folder(pic("locked"));
        bool fine = w.files()->rowCount() == 0 &&
                    w.notice_text().contains("locked cannot be read: Permission denied");
        w.choose_folder(pic(""));
        w.command(IDM_ADD_TREE);
        fine = fine && w.files()->rowCount() == 5 &&  // A b c d.nef seen.png
               w.notice_text().contains("locked cannot be read: Permission denied");
        ::_exit(fine ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    ::chmod((dir / "pics/locked").c_str(), 0755);
}

}  // namespace
}  // namespace morvane::test
