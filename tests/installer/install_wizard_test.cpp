// The installer wizard driven page by page into folders of the test's own.

#include <cstdlib>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "copy_step.h"
#include "installer_fixture.h"

namespace morvane::test {
namespace {

TEST_F(Installer, EachPageOffersItsButtons) {
    InstallWizard& w = open();
    EXPECT_EQ(w.windowTitle(), "Tarvik_morvane - Install wizzard");
    const auto shown = [this](QWizard::WizardButton b) { return button(b)->isVisible(); };
    EXPECT_FALSE(shown(QWizard::BackButton));
    EXPECT_TRUE(shown(QWizard::NextButton));
    next();
    EXPECT_EQ(w.currentId(), kDestination);
    EXPECT_TRUE(shown(QWizard::BackButton));
    folder_box()->setText(QString::fromStdString(target));
    desktop.answers = {IDYES};
    next();
    EXPECT_EQ(w.currentId(), kOptions);
    EXPECT_TRUE(shown(QWizard::BackButton));
    next();
    EXPECT_EQ(w.currentId(), kSummary);
    EXPECT_FALSE(shown(QWizard::BackButton));  // the folder and the option are settled
    EXPECT_EQ(w.page(kSummary)->findChild<QLabel*>("1037")->text().toStdString(), target);
    EXPECT_FALSE(w.page(kSummary)->findChild<QLabel*>("1042")->isHidden());
    next();
    EXPECT_EQ(w.currentId(), kFinished);
    EXPECT_TRUE(shown(QWizard::BackButton));
    EXPECT_TRUE(shown(QWizard::FinishButton));
    button(QWizard::FinishButton)->click();
    EXPECT_EQ(w.exit_code(), 1);
}

TEST_F(Installer, TheDefaultFolderDependsOnWhoInstalls) {
    EXPECT_EQ(default_install_folder(),
              ::geteuid() == 0 ? QString("/opt/Tarvik_morvane")
                               : QString::fromStdString(dir / "home/.local/opt/Tarvik_morvane"));
    int pipe_fds[2];
    ASSERT_EQ(::pipe(pipe_fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        const QByteArray text = default_install_folder().toUtf8();
        (void)!::write(pipe_fds[1], text.constData(), static_cast<std::size_t>(text.size()));
        ::_exit(0);
    }
    ::close(pipe_fds[1]);
    char buffer[512] = {};
    const ssize_t got = ::read(pipe_fds[0], buffer, sizeof buffer - 1);
    ::close(pipe_fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_GT(got, 0);
    EXPECT_EQ(std::string(buffer), dir / "home/.local/opt/Tarvik_morvane");
}

TEST_F(Installer, TheFolderMustBeGivenAndIsCreatedOnlyWhenTheUserAgrees) {
    InstallWizard& w = open();
    next();
    EXPECT_EQ(folder_box()->text(), default_install_folder());
    folder_box()->clear();
    next();
    EXPECT_EQ(w.currentId(), kDestination);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(last_text(), "Please select the install folder");
    EXPECT_EQ(desktop.messages[0].flags, MB_ICONERROR);

    folder_box()->setText(QString::fromStdString(dir / "new//deep"));
    desktop.answers = {IDNO};
    next();
    EXPECT_EQ(w.currentId(), kDestination);
    EXPECT_EQ(last_text(), dir / "new//deep" + " does not exists.\nDo you want to create it?");
    EXPECT_FALSE(exists(dir / "new"));
    desktop.answers = {IDYES};
    next();
    EXPECT_EQ(w.currentId(), kOptions);
    EXPECT_TRUE(exists(dir / "new/deep"));
    EXPECT_EQ(w.install_folder().toStdString(), dir / "new/deep");
}

// A folder of 259 bytes is taken; one byte more is refused with a message instead of
// being cut to another folder, and nothing is created.
TEST_F(Installer, AFolderLongerThan259IsRefusedNotCut) {
    InstallWizard& w = open();
    next();
    std::string folder = dir.path() + "/";
    folder += std::string(260 - folder.size(), 'f');
    folder_box()->setText(QString::fromStdString(folder));
    next();
    EXPECT_EQ(w.currentId(), kDestination);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages.back().flags, MB_ICONERROR);
    EXPECT_EQ(last_text(), folder +
                               "\n\nThis folder name is longer than 259 characters. Please "
                               "choose a shorter one.");
    EXPECT_EQ(QApplication::focusWidget(), folder_box());
    EXPECT_TRUE(list_folder(dir.path()).empty() ||
                list_folder(dir.path()) == std::vector<std::string>{"home"});
    folder.pop_back();
    folder_box()->setText(QString::fromStdString(folder));
    desktop.answers = {IDYES};
    next();
    EXPECT_EQ(w.currentId(), kOptions);
    EXPECT_EQ(w.install_folder().toStdString(), folder);
    EXPECT_TRUE(exists(folder));
}

TEST_F(Installer, BrowseFillsTheFolderBoxAndCancelKeepsIt) {
    open();
    next();
    auto* browse = wizard->page(kDestination)->findChild<QAbstractButton*>("1002");
    ASSERT_NE(browse, nullptr);
    desktop.folder = QString::fromStdString(dir / "chosen");
    browse->click();
    EXPECT_EQ(folder_box()->text().toStdString(), dir / "chosen");
    EXPECT_EQ(desktop.titles.back(), "Select the install folder:");
    desktop.folder.clear();
    browse->click();
    EXPECT_EQ(folder_box()->text().toStdString(), dir / "chosen");
}

TEST_F(Installer, BackAndNextKeepWhatWasChosenAndTheWelcomeResetsTheOption) {
    InstallWizard& w = open();
    next();
    folder_box()->setText(QString::fromStdString(target));
    desktop.answers = {IDYES, IDYES};
    next();
    EXPECT_TRUE(group_box()->isChecked());
    group_box()->setChecked(false);
    button(QWizard::BackButton)->click();
    EXPECT_EQ(folder_box()->text().toStdString(), target);
    next();
    EXPECT_FALSE(group_box()->isChecked());
    group_box()->setChecked(true);
    next();
    EXPECT_TRUE(w.create_group());
    w.back();  // not offered on the summary page, but the welcome page must reset it
    w.back();
    w.back();
    EXPECT_EQ(w.currentId(), kWelcome);
    EXPECT_FALSE(w.create_group());
}

TEST_F(Installer, TheProductIsCopiedWholeWithItsMenuEntries) {
    InstallWizard& w = open();
    install_into(target);
    ASSERT_EQ(w.currentId(), kFinished);
    EXPECT_EQ(failures, 0);
    for (const CopyEntry& entry : copy_list()) {
        const std::string installed = target + "/" + entry.target;
        ASSERT_TRUE(exists(installed)) << installed;
        EXPECT_EQ(read_file(installed), read_file(kProduct + entry.source)) << entry.target;
    }
    for (const char* program : {"morvane_gui", "Tarvik_morvane", "uninst"}) {
        EXPECT_EQ(::access((target + "/" + program).c_str(), X_OK), 0) << program;
    }
    const auto* page = w.page(kSummary);
    EXPECT_EQ(page->findChild<QLabel*>("1003")->text().toStdString(),
              "Copy from: " + kProduct + "uninst");
    EXPECT_EQ(page->findChild<QLabel*>("1004")->text().toStdString(), "To: " + target + "/uninst");
    EXPECT_TRUE(page->findChild<QLabel*>("1007")->isHidden());
    const std::vector<std::string> menus = menu_files();
    EXPECT_GE(menus.size(), 3u);
    const std::string setup = read_file(dir / "data/applications/Tarvik_morvane-Setup.desktop");
    EXPECT_NE(setup.find(target + "/morvane_gui"), std::string::npos) << setup;

    // The installed engine converts from its own folder.
    make_folder(dir / "in");
    make_folder(dir / "tmp");
    make_picture(dir / "in/a.png");
    write_file(dir / "job.ini", "[FOLDERS]\r\nsource=" + dir / "in" + "\r\ntarget=" + dir / "out" +
                                    "\r\n[FORMATS]\r\nPNG=1\r\n");
    EXPECT_EQ(run_program(target + "/Tarvik_morvane", {"C|" + dir / "job.ini"},
                          {{"TMPDIR", dir / "tmp"}}),
              0);
    EXPECT_TRUE(read_picture(dir / "out/a.jpg").ok);

    // The uninstaller takes away exactly what came.
    write_file(target + "/mine.txt", "the user's");
    EXPECT_EQ(run_program(target + "/uninst", {"--yes"}), 0);
    EXPECT_EQ(list_folder(target), std::vector<std::string>{"mine.txt"});
    EXPECT_TRUE(menu_files().empty());
}

TEST_F(Installer, WithoutTheOptionNoMenuEntryIsMade) {
    open();
    install_into(target, false);
    EXPECT_EQ(wizard->currentId(), kFinished);
    EXPECT_TRUE(menu_files().empty());
    EXPECT_TRUE(wizard->page(kSummary)->findChild<QLabel*>("1042")->isHidden() ||
                !wizard->create_group());
}

TEST_F(Installer, AReinstallKeepsTheUsersJobFileAndReplacesTheRest) {
    open();
    install_into(target, false);
    write_file(target + "/Tarvik_morvane.ini", "[FOLDERS]\r\nsource=/mine\r\n");
    write_file(target + "/whatsnew.txt", "stale");
    open();
    install_into(target, false);
    EXPECT_EQ(wizard->currentId(), kFinished);
    EXPECT_EQ(read_file(target + "/Tarvik_morvane.ini"), "[FOLDERS]\r\nsource=/mine\r\n");
    EXPECT_EQ(read_file(target + "/whatsnew.txt"), read_file(kProduct + "whatsnew.txt"));
}

TEST_F(Installer, AMissingProductFileFailsTheInstallationWithStatusZero) {
    const std::string partial = dir / "partial/";
    make_folder(partial);
    for (const char* name : {"Tarvike_morvane.html", "morvane_gui", "Tarvik_morvane.ini"}) {
        write_file(partial + name, read_file(kProduct + name));
    }
    open(partial);
    install_into(target, true);
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(wizard->exit_code(), 0);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_TRUE(exists(target + "/morvane_gui"));  // copied before the failure, and left
    EXPECT_TRUE(menu_files().empty());
}

TEST_F(Installer, CancelShowsTheFailureDialogAndEndsWithThePagesStatus) {
    open();
    wizard->reject();
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(wizard->exit_code(), 1);
    open();
    next();
    folder_box()->setText(QString::fromStdString(target));
    desktop.answers = {IDYES};
    next();
    wizard->reject();
    EXPECT_EQ(failures, 2);
    EXPECT_EQ(wizard->exit_code(), 0);
}

}  // namespace
}  // namespace morvane::test
