// The installer wizard from the keyboard and at large text: each page's tab walk,
// mnemonics, Enter and Escape, the names a screen reader hears, and captions that fit.

#include <algorithm>

#include <QApplication>
#include <QDialog>
#include <QFont>
#include <QLabel>
#include <QPushButton>

#include "installer_fixture.h"
#include "ui_audit.h"

namespace morvane::test {
namespace {

struct PageCase {
    int page;
    const char* name;
    QString first;              // the control that has the focus when the page comes up
    std::vector<QString> walk;  // ids in the order Tab visits them, from the top left
    int cancel_status;          // the exit status after Escape on this page
};

std::ostream& operator<<(std::ostream& out, const PageCase& c) {
    return out << c.name;
}

// The page's controls top to bottom, then the wizard's buttons left to right: Back
// 12323, Next 12324, Finish 12325, Cancel 2.
const PageCase kPages[] = {
    {kWelcome, "Welcome", "12324", {"12324", "2"}, 1},
    {kDestination, "Destination", "1006", {"1006", "1002", "12323", "12324", "2"}, 1},
    {kOptions, "Options", "1025", {"1025", "12323", "12324", "2"}, 0},
    {kSummary, "Summary", "12324", {"12324", "2"}, 0},
    {kFinished, "Finished", "12325", {"12323", "12325", "2"}, 0},
};

class WizardPage : public Installer, public ::testing::WithParamInterface<PageCase> {};

TEST_P(WizardPage, TabVisitsTheControlsAsAPersonReadsThem) {
    open();
    go_to(GetParam().page);
    std::vector<QString> walk = tab_walk(wizard.get());
    ASSERT_FALSE(walk.empty());
    EXPECT_EQ(walk.front(), GetParam().first);
    // The walk is a circle: read it from the page's top left.
    const auto top_left = std::find(walk.begin(), walk.end(), GetParam().walk.front());
    if (top_left != walk.end()) std::rotate(walk.begin(), top_left, walk.end());
    EXPECT_EQ(walk, GetParam().walk);
}

TEST_P(WizardPage, NoMnemonicIsUsedTwice) {
    open();
    go_to(GetParam().page);
    const std::vector<std::string> clashes = mnemonic_clashes(wizard.get());
    EXPECT_TRUE(clashes.empty()) << joined(clashes);
}

TEST_P(WizardPage, EveryControlIsNamedByItsIdAndItsCaption) {
    const UiIds ids;
    open();
    go_to(GetParam().page);
    const std::vector<std::string> faults = naming_faults(wizard.get(), true);
    EXPECT_TRUE(faults.empty()) << joined(faults);
}

TEST_P(WizardPage, EscapeCancelsWithTheFailureDialog) {
    open();
    go_to(GetParam().page);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(wizard->exit_code(), GetParam().cancel_status);
}

// Named ...Fits... so that the run at QT_SCALE_FACTOR=2 takes it too.
TEST_P(WizardPage, EveryCaptionFitsAtTheDefaultFontAndAt14Points) {
    for (const int points : {0, 14}) {
        const FontSize font(points);
        open();
        go_to(GetParam().page);
        const std::vector<std::string> faults = fit_faults(wizard.get());
        EXPECT_TRUE(faults.empty()) << points << " points:" << joined(faults);
    }
}

INSTANTIATE_TEST_SUITE_P(Pages, WizardPage, ::testing::ValuesIn(kPages),
                         [](const auto& info) { return std::string(info.param.name); });

// Enter presses the button each page promises: Next, and Finish at the end.
TEST_F(Installer, EnterTakesTheWizardFromStartToFinish) {
    open();
    const auto enter = [] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); };
    enter();
    ASSERT_EQ(wizard->currentId(), kDestination);
    EXPECT_EQ(QApplication::focusWidget(), folder_box());
    folder_box()->setText(QString::fromStdString(target));
    desktop.answers = {IDYES};
    enter();
    ASSERT_EQ(wizard->currentId(), kOptions);
    enter();
    ASSERT_EQ(wizard->currentId(), kSummary);
    enter();
    ASSERT_EQ(wizard->currentId(), kFinished);
    EXPECT_TRUE(exists(target + "/morvane_gui"));
    enter();
    EXPECT_FALSE(wizard->isVisible());
    EXPECT_EQ(wizard->exit_code(), 1);
    EXPECT_EQ(failures, 0);
}

// A focused button is the one Enter presses, as Space does.
TEST_F(Installer, EnterOnBrowseBrowsesAndStaysOnThePage) {
    open();
    go_to(kDestination);
    auto* browse = wizard->page(kDestination)->findChild<QPushButton*>("1002");
    browse->setFocus();
    desktop.folder = QString::fromStdString(dir / "chosen");
    QTest::keyClick(browse, Qt::Key_Return);
    EXPECT_EQ(wizard->currentId(), kDestination);
    EXPECT_EQ(folder_box()->text().toStdString(), dir / "chosen");
}

TEST_F(Installer, TheDestinationMnemonicPutsTheCursorInTheFolderBox) {
    open();
    go_to(kDestination);
    wizard->button(QWizard::NextButton)->setFocus();
    QTest::keyClick(wizard.get(), Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), folder_box());
}

TEST_F(Installer, TheFailureDialogIsNamedFitsAndClosesFromTheKeyboard) {
    const UiIds ids;
    for (const int points : {0, 14}) {
        const FontSize font(points);
        const std::unique_ptr<QDialog> dialog = make_failure_dialog(nullptr);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        EXPECT_EQ(dialog->objectName(), "114");
        EXPECT_TRUE(naming_faults(dialog.get(), true).empty())
            << joined(naming_faults(dialog.get(), true));
        EXPECT_TRUE(fit_faults(dialog.get()).empty()) << points << joined(fit_faults(dialog.get()));
        EXPECT_EQ(tab_walk(dialog.get()), std::vector<QString>{"1"});
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Accepted);
    }
}

TEST_F(Installer, EscapeClosesTheFailureDialog) {
    const std::unique_ptr<QDialog> dialog = make_failure_dialog(nullptr);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
}

}  // namespace
}  // namespace morvane::test
