// The file selection window as a screen reader and a keyboard user meet it: names and
// ids, the Tab order, Enter and Escape, the toolbar's keys, captions that fit.

#include <cstdlib>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QToolBar>

#include "file_select_fixture.h"
#include "ui_audit.h"

namespace morvane::test {
namespace {

// Sets MORVANE_UI_IDS for as long as it lives.
class UiIds {
  public:
    explicit UiIds(bool on) {
        if (on) {
            ::setenv("MORVANE_UI_IDS", "1", 1);
        } else {
            ::unsetenv("MORVANE_UI_IDS");
        }
    }
    ~UiIds() { ::unsetenv("MORVANE_UI_IDS"); }
    UiIds(const UiIds&) = delete;
    UiIds& operator=(const UiIds&) = delete;
};

QString heard(QWidget* widget) {
    return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
}

class Naming : public FileSelect, public ::testing::WithParamInterface<bool> {};

TEST_P(Naming, EveryControlAndToolbarButtonCarriesItsIdAndTheCountIsHeardAsItShows) {
    UiIds ids(GetParam());
    FileSelectWindow& w = open_on_pictures();
    EXPECT_EQ(joined(naming_faults(&w, GetParam())), "");
    QToolBar* toolbar = w.findChild<QToolBar*>("326");
    int buttons = 0;
    for (QAction* action : toolbar->actions()) {
        if (action->isSeparator()) continue;
        QWidget* button = toolbar->widgetForAction(action);
        EXPECT_EQ(button->objectName(), action->objectName());
        EXPECT_EQ(button->accessibleDescription(), GetParam() ? action->objectName() : "");
        ++buttons;
    }
    EXPECT_EQ(buttons, 8);

    auto* count = w.findChild<QLabel*>("1551");
    w.command(IDM_ADD_FOLDER);
    EXPECT_EQ(heard(count), "3");
    w.command(IDM_REMOVE_ALL);
    EXPECT_EQ(heard(count), "0");
    EXPECT_EQ(heard(w.selected()), QString::fromUtf8("Fichiers sélectionnés:"));
    w.choose_folder(pic("gone"));  // the notice comes up, heard as it shows too
    EXPECT_EQ(joined(naming_faults(&w, GetParam())), "");
}

INSTANTIATE_TEST_SUITE_P(IdsInDescriptions, Naming, ::testing::Bool());

TEST_F(FileSelect, TabGoesAsOneReadsAndMnemonicsAreUnique) {
    FileSelectWindow& w = open_on_pictures();
    EXPECT_EQ(tab_walk(&w), (std::vector<QString>{"10000", "1541", "1106", "1553", "1554", "1555",
                                                  "1556", "1557", "1064", "2", "1"}));
    EXPECT_EQ(joined(mnemonic_clashes(&w)), "");
    QTest::keyClick(w.tree(), Qt::Key_F, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), w.selected());
}

struct EnterCase {
    const char* focus;  // the id of the control that has the focus
    Qt::Key key;
    int result;
};
void PrintTo(const EnterCase& c, std::ostream* out) {
    *out << c.focus << " key " << c.key;
}

class EnterEscape : public FileSelect, public ::testing::WithParamInterface<EnterCase> {};

// Enter is OK and Escape Cancel wherever the focus is, but for Enter in the file list.
TEST_P(EnterEscape, CloseTheWindowAsItsButtonsDo) {
    FileSelectWindow& w = open_on_pictures();
    w.command(IDM_ADD_FOLDER);
    QWidget* focus = w.findChild<QWidget*>(GetParam().focus);
    ASSERT_NE(focus, nullptr);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    focus->setFocus();
    QTest::keyClick(focus, GetParam().key);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), GetParam().result);
    EXPECT_EQ(exists(temp + "/t.log"), GetParam().result == QDialog::Accepted);
}

INSTANTIATE_TEST_SUITE_P(Keys, EnterEscape,
                         ::testing::Values(EnterCase{"10000", Qt::Key_Return, QDialog::Accepted},
                                           EnterCase{"1106", Qt::Key_Enter, QDialog::Accepted},
                                           EnterCase{"10000", Qt::Key_Escape, QDialog::Rejected},
                                           EnterCase{"1541", Qt::Key_Escape, QDialog::Rejected},
                                           EnterCase{"1", Qt::Key_Return, QDialog::Accepted},
                                           EnterCase{"2", Qt::Key_Return, QDialog::Rejected}));

// The keys each tooltip names do what the button does, from anywhere in the window.
TEST_F(FileSelect, TheToolbarKeysWorkAndTheTooltipsNameThem) {
    FileSelectWindow& w = open_on_pictures();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    for (const int id : {1553, 1554, 1556, 1557, 1064}) {
        const QString keys = w.action(id)->shortcut().toString();
        EXPECT_FALSE(keys.isEmpty()) << id;
        EXPECT_TRUE(w.action(id)->toolTip().contains("(" + keys)) << id;
    }
    for (const int id : {1555, 2, 1}) EXPECT_TRUE(w.action(id)->toolTip().endsWith(")")) << id;
    w.tree()->setFocus();
    QTest::keyClick(w.tree(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(chosen().size(), 3);
    QTest::keyClick(w.tree(), Qt::Key_G, Qt::ControlModifier);
    EXPECT_FALSE(w.file_list()->showGrid());
    QTest::keyClick(w.tree(), Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w.files()->rowCount(), 4);
    QTest::keyClick(w.selected(), Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(chosen().isEmpty());
}

// With the focus on a row and nothing selected, Enter adds the focused row.
TEST_F(FileSelect, EnterInTheFileListAddsTheFocusedRow) {
    FileSelectWindow& w = open_on_pictures();
    w.files()->sort_by(FileListModel::kFile);
    w.file_list()->setFocus();
    w.file_list()->selectionModel()->setCurrentIndex(w.files()->index(1, 0),
                                                     QItemSelectionModel::Clear);
    QTest::keyClick(w.file_list(), Qt::Key_Return);
    EXPECT_EQ(chosen(), QStringList{pic("b.png")});
    QTest::keyClick(w.file_list(), Qt::Key_Down);  // moves and selects c.tif
    QTest::keyClick(w.file_list(), Qt::Key_Enter);
    EXPECT_EQ(chosen(), (QStringList{pic("b.png"), pic("c.tif")}));
    EXPECT_TRUE(w.isVisible());
}

// Nothing cut and nothing overlapping, with the default font and with a large one (the
// same tests run again at twice the scale).
class WindowFits : public FileSelect, public ::testing::WithParamInterface<int> {
  protected:
    void TearDown() override { QApplication::setFont(saved_); }
    QFont saved_ = QApplication::font();
};

TEST_P(WindowFits, NothingIsCutOrOverlaps) {
    if (GetParam() > 0) {
        QFont large = saved_;
        large.setPointSize(GetParam());
        QApplication::setFont(large);
    }
    FileSelectWindow& w = open_on_pictures();
    w.command(IDM_ADD_TREE);  // the count shows
    w.choose_folder(pic("a-folder-that-is-not-there-and-has-a-rather-long-name"));
    ASSERT_FALSE(w.notice_text().isEmpty());
    QStringList many;
    for (int i = 0; i < 99999; i += 7) many << QString("/p/%1.png").arg(i);
    w.selected_files()->add(many);
    w.command(IDM_REMOVE_SELECTED);  // nothing selected: only the count changes
    EXPECT_EQ(w.count_text(), QString::number(many.size()));
    EXPECT_EQ(joined(fit_faults(&w)), "");
}

INSTANTIATE_TEST_SUITE_P(FontPoints, WindowFits, ::testing::Values(0, 14));

}  // namespace
}  // namespace morvane::test
