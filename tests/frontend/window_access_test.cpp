// The Monitor window, its log viewer and its About box as a screen reader and a keyboard
// meet them: names and ids of every control, the order Tab follows, mnemonics, the keys
// that stand for the buttons, and captions that fit at a large font.

#include <cstdlib>
#include <memory>

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>

#include "about_box.h"
#include "gui_fixture.h"
#include "log_viewing.h"
#include "monitor_layout.h"
#include "ui_audit.h"

namespace morvane::test {
namespace {

using Ids = std::vector<QString>;

Ids ids(std::initializer_list<int> list) {
    Ids out;
    for (int id : list) out.push_back(QString::number(id));
    return out;
}

Ids concat(std::initializer_list<Ids> parts) {
    Ids out;
    for (const Ids& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// The controls above the pages, then the page's own, then the run buttons below.
Ids monitor_walk(const Ids& page) {
    return concat({ids({IDC_TARGET, IDC_TARGET_BROWSE, IDC_REPRODUCE_PATH, IDC_FROM_ROOT,
                        IDC_PROGRESSIVE, IDC_NO_ERASE, IDC_QUALITY, IDOK_SAVE_QUIT, IDC_SAVE,
                        IDCANCEL_QUIT, IDC_SELECT, IDC_TABS}),
                   page, ids({IDC_LAUNCH, IDC_LAST_LOG, IDC_ABOUT, IDC_HELP})});
}

struct PageWalk {
    int page;
    Ids walk;
};

std::vector<PageWalk> page_walks() {
    return {
        {PAGE_MISC, ids({IDC_SOURCE, IDC_SOURCE_BROWSE, IDC_RECURSE, IDC_WIDTH, IDC_HEIGHT,
                         IDC_ASPECT_RATIO, IDC_MONO_INSTANCE})},
        {PAGE_FORMATS, ids({IDC_FORMAT_LIST, IDC_ALL, IDC_RESET})},
        {PAGE_AVI, ids({IDC_AVI_ALL, IDC_AVI_FROM, IDC_AVI_TO})},
        {PAGE_EPS, ids({IDC_EPS_DENSITY, IDC_EPS_TRIM})},
        {PAGE_MPEG, ids({IDC_MPEG_ALL, IDC_MPEG_FROM, IDC_MPEG_TO})},
        {PAGE_PDF, ids({IDC_PDF_ALL, IDC_PDF_FROM, IDC_PDF_TO, IDC_PDF_DENSITY})},
        {PAGE_TIFF, ids({IDC_TIFF_ALL})},
        {PAGE_ENHANCEMENTS,
         ids({IDC_WATERMARK, IDC_WATERMARK_TEXT_MODE, IDC_WATERMARK_TEXT, IDC_WATERMARK_FILE,
              IDC_WATERMARK_BROWSE, IDC_COLOR_BROWSE, IDC_LOCATION, IDC_TILE, IDC_DISSOLVE})},
        {PAGE_AFTER, ids({IDC_MOVE, IDC_MOVE_PATH, IDC_MOVE_BROWSE})},
    };
}

// A pair of radio buttons is one stop of the walk; the arrows move within it.
// Every range and option reachable: the ranges chosen, the move and the paths on.
constexpr const char* kEverythingOn =
    "[PARAMS]\r\nreproduce_path=1\r\nmove=1\r\ndo_watermark=1\r\n"
    "[AVI]\r\nextract_all=0\r\n[MPEG]\r\nextract_all=0\r\n[PDF]\r\nextract_all=1\r\n";

class MonitorPageTest : public MonitorTest, public ::testing::WithParamInterface<PageWalk> {};

TEST_P(MonitorPageTest, ScreenReaderHearsEveryControlByItsCaptionAndId) {
    const UiIds with_ids;
    MonitorWindow& w = open(kEverythingOn);
    w.switch_to_tab(GetParam().page);
    EXPECT_TRUE(naming_faults(&w, true).empty()) << joined(naming_faults(&w, true));
    EXPECT_TRUE(mnemonic_clashes(&w).empty()) << joined(mnemonic_clashes(&w));
}

TEST_P(MonitorPageTest, TabVisitsThePageAsAPersonReadsIt) {
    MonitorWindow& w = open(kEverythingOn);
    w.switch_to_tab(GetParam().page);
    w.control(IDC_TARGET)->setFocus();
    EXPECT_EQ(tab_walk(&w), monitor_walk(GetParam().walk));
}

TEST_P(MonitorPageTest, FitsAtFourteenPoints) {
    const FontSize large(14);
    MonitorWindow& w = open(kEverythingOn);
    w.switch_to_tab(GetParam().page);
    EXPECT_TRUE(fit_faults(&w).empty()) << joined(fit_faults(&w));
}

TEST_P(MonitorPageTest, FitsAtTheDefaultFont) {
    MonitorWindow& w = open(kEverythingOn);
    w.switch_to_tab(GetParam().page);
    EXPECT_TRUE(fit_faults(&w).empty()) << joined(fit_faults(&w));
}

INSTANTIATE_TEST_SUITE_P(EveryPage, MonitorPageTest, ::testing::ValuesIn(page_walks()),
                         [](const auto& info) {
                             return std::string(monitor_page_names()[info.param.page]);
                         });

TEST_F(MonitorTest, SpaceTicksAndUnticksTheFocusedFormatRow) {
    MonitorWindow& w = open("[FORMATS]\r\nPNG=0\r\n");
    w.switch_to_tab(PAGE_FORMATS);
    QTableWidget* list = w.format_list();
    list->setFocus();
    list->setCurrentCell(0, 0);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->item(2, 0)->checkState(), Qt::Checked);  // BMP
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_EQ(list->item(2, 0)->checkState(), Qt::Unchecked);
}

TEST_F(MonitorTest, ArrowsOnTheTabsSwitchPages) {
    MonitorWindow& w = open(kEverythingOn);
    w.tabs()->setFocus();
    QTest::keyClick(w.tabs(), Qt::Key_Right);
    EXPECT_EQ(w.tabs()->currentIndex(), PAGE_FORMATS);
    EXPECT_TRUE(w.format_list()->isVisible());
    EXPECT_FALSE(w.control(IDC_SOURCE)->isVisible());
}

struct Mnemonic {
    Qt::Key key;
    int page;
    int focused;  // the control that has the focus afterwards
};

class MonitorMnemonicTest : public MonitorTest, public ::testing::WithParamInterface<Mnemonic> {};

TEST_P(MonitorMnemonicTest, AltAndTheMarkedLetterReachesTheControl) {
    MonitorWindow& w = open(kEverythingOn);
    w.switch_to_tab(GetParam().page);
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, GetParam().key, Qt::AltModifier);
    EXPECT_EQ(focused_id(), GetParam().focused);
}

INSTANTIATE_TEST_SUITE_P(Letters, MonitorMnemonicTest,
                         ::testing::Values(Mnemonic{Qt::Key_T, PAGE_MISC, IDC_TARGET},
                                           Mnemonic{Qt::Key_C, PAGE_MISC, IDC_QUALITY},
                                           Mnemonic{Qt::Key_E, PAGE_MISC, IDC_SOURCE},
                                           Mnemonic{Qt::Key_Z, PAGE_MISC, IDC_WIDTH},
                                           Mnemonic{Qt::Key_O, PAGE_AVI, IDC_AVI_TO},
                                           Mnemonic{Qt::Key_D, PAGE_PDF, IDC_PDF_DENSITY},
                                           Mnemonic{Qt::Key_A, PAGE_ENHANCEMENTS, IDC_LOCATION},
                                           Mnemonic{Qt::Key_D, PAGE_ENHANCEMENTS, IDC_DISSOLVE}));

TEST_F(MonitorTest, EscapeQuitsWithoutSavingAndEnterSavesAndQuits) {
    const std::string stored = "[JPEG]\r\nquality=75\r\n";
    MonitorWindow& w = open_valid(stored);
    type(IDC_QUALITY, "50");
    QTest::keyClick(w.control(IDC_QUALITY), Qt::Key_Escape);
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_EQ(job_text(), stored);

    MonitorWindow& again = open_valid(stored);
    type(IDC_QUALITY, "50");
    QTest::keyClick(again.control(IDC_QUALITY), Qt::Key_Return);
    EXPECT_EQ(again.result(), 1);
    EXPECT_EQ(key("JPEG", "quality"), "50");
}

// A label is heard as the text it shows now, not as a word fixed when it was made.
TEST_F(MonitorTest, LabelsAreHeardAsTheTextTheyShow) {
    MonitorWindow& w = open();
    auto* label = w.findChild<QLabel*>("1023");
    ASSERT_NE(label, nullptr);
    const auto heard = [label] {
        return QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name);
    };
    EXPECT_EQ(heard(), "Compression ratio:");
    label->setText("Quality:");
    EXPECT_EQ(heard(), "Quality:");
}

class LogViewerAccessTest : public MonitorTest {
  protected:
    LogViewer& viewer() {
        write_file(dir / "run.log", "Tarvik_morvane 1.31\r\n/in/a.png converted\r\n");
        viewer_ = new LogViewer(QString::fromStdString(dir / "run.log"), nullptr);
        viewer_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(viewer_));
        return *viewer_;
    }
    void TearDown() override { delete viewer_.data(); }
    QPointer<LogViewer> viewer_;
};

TEST_F(LogViewerAccessTest, NamedWalkedAndClosedFromTheKeyboard) {
    const UiIds with_ids;
    LogViewer& v = viewer();
    auto* find = v.findChild<QLineEdit*>("2002");
    QTest::keyClicks(find, "nothing such");
    QTest::keyClick(find, Qt::Key_Return);
    EXPECT_TRUE(naming_faults(&v, true).empty()) << joined(naming_faults(&v, true));
    EXPECT_TRUE(mnemonic_clashes(&v).empty()) << joined(mnemonic_clashes(&v));
    EXPECT_EQ(tab_walk(&v), ids({IDC_LOG_FIND, IDC_LOG_FIND_NEXT, IDC_LOG_CLOSE, IDC_LOG_TEXT}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    EXPECT_TRUE(viewer_.isNull() || !viewer_->isVisible());
}

TEST_F(LogViewerAccessTest, FitsAtFourteenPoints) {
    const FontSize large(14);
    LogViewer& v = viewer();
    EXPECT_TRUE(fit_faults(&v).empty()) << joined(fit_faults(&v));
}

TEST(AboutBoxAccess, FitsNamedAndClosedByEnterAtFourteenPoints) {
    const FontSize large(14);
    const UiIds with_ids;
    const std::unique_ptr<QDialog> box = make_about_box(nullptr);
    box->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(box.get()));
    EXPECT_TRUE(fit_faults(box.get()).empty()) << joined(fit_faults(box.get()));
    EXPECT_TRUE(naming_faults(box.get(), true).empty()) << joined(naming_faults(box.get(), true));
    box->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(box.get()));
    QTest::keyClick(box.get(), Qt::Key_Return);
    EXPECT_EQ(box->result(), QDialog::Accepted);
}

}  // namespace
}  // namespace morvane::test
