// The window itself: ids and names, pages, enabling rules, lists, choosers, menu,
// tooltips, help, and a saved job that the engine runs.

#include <cstdlib>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "gui_fixture.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "profile.h"

namespace morvane::test {
namespace {

QAction* action(MonitorWindow& w, int id) {
    for (QAction* found : w.findChildren<QAction*>(QString::number(id))) return found;
    return nullptr;
}

TEST_F(MonitorTest, EveryControlIsNamedByItsIdAndCaption) {
    MonitorWindow& w = open();
    EXPECT_EQ(w.windowTitle(), "Tarvik_morvane Monitor");
    for (const ControlSpec& spec : monitor_controls()) {
        if (spec.id == kNoId) continue;
        QWidget* found = w.findChild<QWidget*>(QString::number(spec.id));
        ASSERT_NE(found, nullptr) << spec.id;
        EXPECT_TRUE(found->accessibleDescription().isEmpty()) << spec.id;
    }
    EXPECT_EQ(w.control(IDOK_SAVE_QUIT)->accessibleName(), "Save & Quit");
    EXPECT_EQ(w.control(IDCANCEL_QUIT)->accessibleName(), "Quit");
    EXPECT_EQ(w.control(IDC_TARGET)->accessibleName(), "Target path");
    EXPECT_EQ(w.control(IDC_QUALITY)->accessibleName(), "Compression ratio");
    EXPECT_EQ(w.control(IDC_MOVE_PATH)->accessibleName(),
              "After conversion, move the selected source files to");
    EXPECT_FALSE(w.control(1049)->isVisible());
    EXPECT_FALSE(w.control(1050)->isVisible());
    for (int id : {IDCANCEL_QUIT, IDM_TOOLTIPS, IDM_WHATS_NEW, IDC_ABOUT}) {
        EXPECT_NE(action(w, id), nullptr) << id;
    }
}

TEST_F(MonitorTest, UnderTheIdVariableDescriptionsCarryTheIds) {
    ::setenv("MORVANE_UI_IDS", "1", 1);
    MonitorWindow& w = open();
    ::unsetenv("MORVANE_UI_IDS");
    EXPECT_EQ(w.control(IDC_FORMAT_LIST)->accessibleDescription(), "1112");
    EXPECT_EQ(w.control(IDOK_SAVE_QUIT)->accessibleDescription(), "1");
}

TEST_F(MonitorTest, EachPageShowsItsOwnControlsOnly) {
    MonitorWindow& w = open();
    for (int page = 0; page < 9; ++page) {
        QTest::mouseClick(w.tabs(), Qt::LeftButton, {}, w.tabs()->tabRect(page).center());
        ASSERT_EQ(w.tabs()->currentIndex(), page);
        for (const ControlSpec& spec : monitor_controls()) {
            if (spec.page == kAlwaysShown || spec.id == kNoId) continue;
            EXPECT_EQ(w.control(spec.id)->isVisible(), spec.page == page) << spec.id << " " << page;
        }
    }
    w.tabs()->setCurrentIndex(PAGE_MPEG);
    EXPECT_TRUE(w.control(IDC_MPEG_FROM)->isVisible());
    EXPECT_FALSE(w.control(IDC_AVI_FROM)->isVisible());
    w.tabs()->setCurrentIndex(PAGE_AVI);
    EXPECT_TRUE(w.control(IDC_AVI_FROM)->isVisible());
    EXPECT_FALSE(w.control(IDC_MPEG_FROM)->isVisible());
}

TEST_F(MonitorTest, EnablingRulesFollowTheStateHoweverItChanges) {
    MonitorWindow& w = open("[PARAMS]\r\nreproduce_path=1\r\nreproduce_path_from_root=1\r\n");
    EXPECT_TRUE(w.control(IDC_FROM_ROOT)->isEnabled());
    click(IDC_REPRODUCE_PATH);
    EXPECT_FALSE(w.control(IDC_FROM_ROOT)->isEnabled());
    EXPECT_TRUE(w.is_checked(IDC_FROM_ROOT));           // greyed out, tick kept
    w.control_as<QAbstractButton>(IDC_MOVE)->toggle();  // as an assistive tool does it
    EXPECT_TRUE(w.control(IDC_MOVE_PATH)->isEnabled());
    EXPECT_TRUE(w.control(IDC_MOVE_BROWSE)->isEnabled());
    w.switch_to_tab(PAGE_MPEG);
    click(IDC_MPEG_RANGE);
    EXPECT_TRUE(w.control(IDC_MPEG_TO)->isEnabled());
    EXPECT_FALSE(w.is_checked(IDC_MPEG_ALL));
    click(IDC_MPEG_ALL);
    EXPECT_FALSE(w.control(IDC_MPEG_TO)->isEnabled());
    EXPECT_FALSE(w.is_checked(IDC_MPEG_RANGE));
    EXPECT_TRUE(w.control(IDC_PDF_FROM)->isEnabled());  // never disabled
}

TEST_F(MonitorTest, AllAndResetTickAndUntickEveryRow) {
    MonitorWindow& w = open_valid();
    w.switch_to_tab(PAGE_FORMATS);
    click(IDC_ALL);
    ASSERT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("FORMATS", "X3F"), "1");
    EXPECT_EQ(key("FORMATS", "AI"), "1");
    click(IDC_RESET);
    ASSERT_EQ(w.save_settings(), 1);
    EXPECT_EQ(job_text().find("=1\r\n[JPEG]"), std::string::npos);
    EXPECT_EQ(key("FORMATS", "PNG"), "0");
}

TEST_F(MonitorTest, NumberFieldsTakeAtMostNineDigits) {
    MonitorWindow& w = open();
    type(IDC_QUALITY, "12ab345678901");
    EXPECT_EQ(w.text_of(IDC_QUALITY), "123456789");
}

TEST_F(MonitorTest, TheFolderChoosersFillTheirEditsAndCancelChangesNothing) {
    MonitorWindow& w = open();
    desktop.folder = "/chosen";
    click(IDC_TARGET_BROWSE);
    EXPECT_EQ(w.text_of(IDC_TARGET), "/chosen");
    click(IDC_SOURCE_BROWSE);
    EXPECT_EQ(w.text_of(IDC_SOURCE), "/chosen");
    w.set_checked(IDC_MOVE, true);
    w.switch_to_tab(PAGE_AFTER);
    desktop.folder.clear();
    w.set_text(IDC_MOVE_PATH, "/before");
    click(IDC_MOVE_BROWSE);
    EXPECT_EQ(w.text_of(IDC_MOVE_PATH), "/before");
    EXPECT_EQ(desktop.titles,
              (std::vector<QString>{
                  "Select the target folder:", "Select the source folder:", "Select the folder:"}));
}

TEST_F(MonitorTest, TheImageAndColourChoosersFillTheWatermark) {
    MonitorWindow& w = open_valid();
    w.switch_to_tab(PAGE_ENHANCEMENTS);
    desktop.file = "/pics/logo.png";
    click(IDC_WATERMARK_BROWSE);
    EXPECT_EQ(w.text_of(IDC_WATERMARK_FILE), "/pics/logo.png");
    EXPECT_EQ(desktop.titles.back(), "Watermark Image");
    EXPECT_EQ(desktop.filters, "Bitmap (*.bmp);;GIF (*.gif);;JPEG (*.jpg *.jpeg);;PNG (*.png)");
    desktop.color = QColor(0x11, 0x22, 0x33);
    click(IDC_COLOR_BROWSE);
    EXPECT_EQ(w.watermark_color(), 0x332211u);
    EXPECT_EQ(w.control(IDC_SWATCH)->palette().color(QPalette::Window), QColor(0x11, 0x22, 0x33));
    desktop.color.reset();
    click(IDC_COLOR_BROWSE);
    EXPECT_EQ(w.watermark_color(), 0x332211u);
    ASSERT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("PARAMS", "watermark_color"), std::to_string(0x332211));
}

TEST_F(MonitorTest, StoredTooltipsShowAndTheMenuItemSwitchesThemAndIsRemembered) {
    MonitorWindow& off = open();
    EXPECT_TRUE(off.control(IDC_SELECT)->toolTip().isEmpty());
    EXPECT_FALSE(action(off, IDM_TOOLTIPS)->isChecked());

    MonitorWindow& w = open("[MISC]\r\ntooltips=1\r\n");
    EXPECT_TRUE(action(w, IDM_TOOLTIPS)->isChecked());
    EXPECT_EQ(w.control(IDC_SELECT)->toolTip(),
              "Select one or more files from the folder\nTo convert all the selected folder just "
              "click 'Launch'");
    EXPECT_EQ(w.control(IDC_LAST_LOG)->toolTip(), "Display the last log file, if any");
    EXPECT_EQ(job_text(), "[MISC]\r\ntooltips=1\r\n");  // showing it writes nothing

    action(w, IDM_TOOLTIPS)->trigger();
    EXPECT_TRUE(w.control(IDOK_SAVE_QUIT)->toolTip().isEmpty());
    EXPECT_EQ(job_text(), "[MISC]\r\ntooltips=0\r\n");
    action(w, IDM_TOOLTIPS)->trigger();
    EXPECT_EQ(w.control(IDOK_SAVE_QUIT)->toolTip(), "Quit and save the parameters");
    EXPECT_EQ(job_text(), "[MISC]\r\ntooltips=1\r\n");
}

TEST_F(MonitorTest, CloseAndQuitLeaveWithoutSaving) {
    MonitorWindow& w = open_valid();
    action(w, IDCANCEL_QUIT)->trigger();
    EXPECT_EQ(w.result(), 0);
    EXPECT_FALSE(w.isVisible());
    MonitorWindow& again = open_valid();
    click(IDCANCEL_QUIT);
    EXPECT_EQ(again.result(), 0);
    EXPECT_FALSE(exists(job));
}

TEST_F(MonitorTest, SaveAndQuitEndsTheWindowOnlyWhenTheSaveSucceeds) {
    MonitorWindow& w = open();
    click(IDOK_SAVE_QUIT);
    EXPECT_TRUE(w.isVisible());
    make_folder(dir / "in");
    w.set_text(IDC_TARGET, "/out");
    w.set_text(IDC_SOURCE, QString::fromStdString(dir / "in"));
    click(IDOK_SAVE_QUIT);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), 1);
}

TEST_F(MonitorTest, HelpAndReleaseNotesOpenFromTheProgramFolder) {
    MonitorWindow& w = open();
    click(IDC_HELP);
    action(w, IDM_WHATS_NEW)->trigger();
    ASSERT_EQ(desktop.opened.size(), 2u);
    EXPECT_TRUE(desktop.opened[0].endsWith("/Tarvike_morvane.html"));
    EXPECT_TRUE(desktop.opened[1].endsWith("/whatsnew.txt"));
    EXPECT_FALSE(desktop.opened[0].contains("//"));
}

TEST_F(MonitorTest, TheAboutBoxNamesTheProgram) {
    MonitorWindow& w = open();
    QString shown;
    QTimer::singleShot(0, [&shown] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr) return;
        shown = box->windowTitle();
        box->close();
    });
    action(w, IDC_ABOUT)->trigger();
    EXPECT_EQ(shown, "About Tarvik_morvane");
}

// The saved job is one the engine runs: a PNG in the source folder becomes a JPEG.
TEST_F(MonitorTest, TheEngineConvertsWhatTheWindowSaved) {
    MonitorWindow& w = open_valid();
    make_picture(dir / "in/a.png");
    w.format_list()->item(29, 0)->setCheckState(Qt::Checked);  // PNG
    w.set_text(IDC_QUALITY, "60");
    ASSERT_EQ(w.save_settings(), 1);
    make_folder(dir / "tmp");
    const int status = run_program(std::string(PROGRAM_FOLDER) + "/Tarvik_morvane", {"C|" + job},
                                   {{"TMPDIR", dir / "tmp"}});
    EXPECT_EQ(status, 0);
    const PictureInfo out = read_picture(dir / "out/a.jpg");
    EXPECT_TRUE(out.ok);
    EXPECT_EQ(out.quality, 60);
    EXPECT_TRUE(out.progressive);
}

}  // namespace
}  // namespace morvane::test
