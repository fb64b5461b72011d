// Loading: what the window shows for what the job file holds.

#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <QTableWidget>

#include "gui_fixture.h"
#include "monitor_layout.h"

namespace morvane::test {
namespace {

std::vector<int> ticked_rows(const MonitorWindow& window) {
    std::vector<int> rows;
    for (int row = 0; row < window.format_list()->rowCount(); ++row) {
        if (window.format_list()->item(row, 0)->checkState() == Qt::Checked) rows.push_back(row);
    }
    return rows;
}

TEST_F(MonitorTest, WithoutAJobFileEverySettingTakesTheWindowsDefault) {
    MonitorWindow& w = open();
    EXPECT_EQ(w.text_of(IDC_QUALITY), "75");
    EXPECT_TRUE(w.is_checked(IDC_PROGRESSIVE));
    EXPECT_TRUE(w.is_checked(IDC_MONO_INSTANCE));
    EXPECT_TRUE(w.is_checked(IDC_NO_ERASE));
    EXPECT_TRUE(w.is_checked(IDC_AVI_ALL));
    EXPECT_TRUE(w.is_checked(IDC_PDF_ALL));
    EXPECT_TRUE(w.is_checked(IDC_TIFF_ALL));
    EXPECT_EQ(w.text_of(IDC_PDF_DENSITY), "72");
    EXPECT_EQ(w.text_of(IDC_DISSOLVE), "10");
    EXPECT_EQ(w.format_list()->rowCount(), 37);
    EXPECT_TRUE(ticked_rows(w).empty());
    EXPECT_EQ(w.tabs()->count(), 9);
    EXPECT_EQ(w.tabs()->currentIndex(), PAGE_MISC);
    EXPECT_TRUE(w.control(IDC_SOURCE)->isVisible());
    EXPECT_FALSE(w.control(IDC_FORMAT_LIST)->isVisible());
    EXPECT_FALSE(w.control(IDC_FROM_ROOT)->isEnabled());
    EXPECT_FALSE(w.control(IDC_MOVE_PATH)->isEnabled());
    EXPECT_FALSE(w.control(IDC_AVI_FROM)->isEnabled());
    EXPECT_TRUE(desktop.messages.empty());
    EXPECT_FALSE(exists(job));  // opening writes nothing
}

TEST_F(MonitorTest, TheFormatListTicksTheRowOfEachKeyWhateverItsCode) {
    MonitorWindow& w = open("[FORMATS]\r\nJPEG=1\r\nMPEG=1\r\nJPG=1\r\nMPG=1\r\n");
    EXPECT_EQ(ticked_rows(w), (std::vector<int>{16, 21}));
    EXPECT_EQ(w.format_list()->item(16, 0)->text(), "JPG");
    EXPECT_EQ(w.format_list()->item(21, 0)->text(), "MPG");
    EXPECT_EQ(w.format_list()->item(21, 1)->text(), "MPEG");
}

TEST_F(MonitorTest, TheFormatRowsAreInTheOrderOfTheirCodes) {
    MonitorWindow& w = open();
    for (int row = 1; row < w.format_list()->rowCount(); ++row) {
        EXPECT_LT(w.format_list()->item(row - 1, 0)->text(), w.format_list()->item(row, 0)->text());
    }
}

struct SizeCase {
    const char* stored;
    const char* width;
    const char* height;
};

class SizeSplitting : public MonitorTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(SizeSplitting, TheSizeIsSplitAtItsFirstX) {
    MonitorWindow& w = open(std::string("[PARAMS]\r\nsize=") + GetParam().stored + "\r\n");
    EXPECT_EQ(w.text_of(IDC_WIDTH), GetParam().width);
    EXPECT_EQ(w.text_of(IDC_HEIGHT), GetParam().height);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeSplitting,
                         ::testing::Values(SizeCase{"640x480", "640", "480"},
                                           SizeCase{"640", "", ""}, SizeCase{"x480", "", "480"},
                                           SizeCase{"640X480", "", ""},
                                           SizeCase{"640x480x2", "640", "480x2"}));

class EraseBox : public MonitorTest,
                 public ::testing::WithParamInterface<std::pair<const char*, bool>> {};

TEST_P(EraseBox, TheBoxShowsTheInverseOfTheKey) {
    MonitorWindow& w = open(GetParam().first);
    EXPECT_EQ(w.is_checked(IDC_NO_ERASE), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Erase, EraseBox,
                         ::testing::Values(std::pair{"[PARAMS]\r\nerase=1\r\n", false},
                                           std::pair{"[PARAMS]\r\nerase=0\r\n", true},
                                           std::pair{"[PARAMS]\r\nrecurse=1\r\n", true}));

TEST_F(MonitorTest, AWatermarkThatIsOffShowsNeitherItsTextNorAMode) {
    MonitorWindow& w = open("[PARAMS]\r\ndo_watermark=0\r\nwatermark_txt=hello\r\n");
    EXPECT_FALSE(w.is_checked(IDC_WATERMARK));
    EXPECT_EQ(w.text_of(IDC_WATERMARK_TEXT), "");
    EXPECT_FALSE(w.is_checked(IDC_WATERMARK_TEXT_MODE));
    EXPECT_FALSE(w.is_checked(IDC_WATERMARK_IMAGE_MODE));
}

TEST_F(MonitorTest, ATextWatermarkShowsItsTextColourAndLocation) {
    MonitorWindow& w = open(
        "[PARAMS]\r\ndo_watermark=1\r\nwatermark_txt=hello\r\nwatermark_file=/x.png\r\n"
        "watermark_color=255\r\nwatermark_location=3\r\n");
    EXPECT_TRUE(w.is_checked(IDC_WATERMARK));
    EXPECT_TRUE(w.is_checked(IDC_WATERMARK_TEXT_MODE));
    EXPECT_EQ(w.text_of(IDC_WATERMARK_TEXT), "hello");
    EXPECT_EQ(w.text_of(IDC_WATERMARK_FILE), "");
    EXPECT_EQ(w.watermark_color(), 255u);  // 0x00BBGGRR: red
    EXPECT_EQ(w.control(IDC_SWATCH)->palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(w.control_as<QComboBox>(IDC_LOCATION)->currentText(), "North-East");
}

TEST_F(MonitorTest, AnImageWatermarkShowsItsFile) {
    MonitorWindow& w =
        open("[PARAMS]\r\ndo_watermark=2\r\nwatermark_txt=t\r\nwatermark_file=/x.png\r\n");
    EXPECT_TRUE(w.is_checked(IDC_WATERMARK_IMAGE_MODE));
    EXPECT_EQ(w.text_of(IDC_WATERMARK_FILE), "/x.png");
    EXPECT_EQ(w.text_of(IDC_WATERMARK_TEXT), "");
}

// A location outside the list shows the default, Center, so that a save never writes
// an index the list does not have; the message names the key.
TEST_F(MonitorTest, ALocationOutsideTheListShowsCenterAndSaysSo) {
    MonitorWindow& w = open("[PARAMS]\r\nwatermark_location=9\r\n");
    EXPECT_EQ(w.control_as<QComboBox>(IDC_LOCATION)->currentIndex(), 0);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(last_message().contains("PARAMS/watermark_location is 9, not a number from 0 to 8"))
        << last_message().toStdString();
}

// What the window writes itself loads without a word: the message is for hand-made
// values only.
TEST_F(MonitorTest, TheLargestAndSmallestValuesTheWindowWritesLoadQuietly) {
    MonitorWindow& w = open(
        "[JPEG]\r\nquality=99\r\n[EPS]\r\ndensity=999999999\r\n[PDF]\r\ndensity=0\r\n"
        "extract_all=0\r\nfrom_page=0\r\nto_page=999999999\r\n[PARAMS]\r\ndo_watermark=2\r\n"
        "watermark_location=8\r\nwatermark_dissolve=0\r\nwatermark_color=16777215\r\n");
    EXPECT_TRUE(desktop.messages.empty()) << last_message().toStdString();
    EXPECT_EQ(w.text_of(IDC_EPS_DENSITY), "999999999");
    EXPECT_EQ(w.text_of(IDC_PDF_TO), "999999999");
    EXPECT_EQ(w.watermark_color(), 0xFFFFFFu);
}

TEST_F(MonitorTest, TheLocationListIsSortedAndTakesNoTyping) {
    MonitorWindow& w = open();
    auto* list = w.control_as<QComboBox>(IDC_LOCATION);
    const QStringList expected{"Center", "East",       "North",      "North-East", "North-West",
                               "South",  "South-East", "South-West", "West"};
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->itemText(i);
    EXPECT_EQ(shown, expected);
    EXPECT_FALSE(list->isEditable());
}

TEST_F(MonitorTest, StoredPagesShowOnlyWhenARangeIsChosen) {
    MonitorWindow& all = open("[PDF]\r\nextract_all=1\r\nfrom_page=3\r\nto_page=4\r\n");
    EXPECT_EQ(all.text_of(IDC_PDF_FROM), "");
    EXPECT_EQ(all.text_of(IDC_PDF_TO), "");
    MonitorWindow& some = open("[PDF]\r\nextract_all=0\r\nfrom_page=3\r\nto_page=4\r\n");
    EXPECT_TRUE(some.is_checked(IDC_PDF_RANGE));
    EXPECT_EQ(some.text_of(IDC_PDF_FROM), "3");
    EXPECT_EQ(some.text_of(IDC_PDF_TO), "4");
}

TEST_F(MonitorTest, AFrameRangeEnablesItsEdits) {
    MonitorWindow& w = open("[AVI]\r\nextract_all=0\r\nextract_from=2\r\nextract_to=9\r\n");
    EXPECT_TRUE(w.is_checked(IDC_AVI_RANGE));
    EXPECT_TRUE(w.control(IDC_AVI_FROM)->isEnabled());
    EXPECT_EQ(w.text_of(IDC_AVI_TO), "9");
    EXPECT_FALSE(w.control(IDC_MPEG_FROM)->isEnabled());
}

TEST_F(MonitorTest, PathsAreShownWholeAndNegativeNumbersAsZero) {
    const std::string long_path = "/" + std::string(300, 'a');
    MonitorWindow& w =
        open("[FOLDERS]\r\nsource=" + long_path + "\r\n[AVI]\r\nextract_all=0\r\n" +
             "extract_from=-1\r\n[PARAMS]\r\nwatermark_txt=" + std::string(300, 't') +
             "\r\ndo_watermark=1\r\n");
    EXPECT_EQ(w.text_of(IDC_SOURCE).toStdString(), long_path);
    EXPECT_EQ(w.text_of(IDC_AVI_FROM), "0");
    EXPECT_EQ(w.text_of(IDC_WATERMARK_TEXT).size(), 255);
}

TEST_F(MonitorTest, AJobFileThatCannotBeReadIsSaidAndTheDefaultsShown) {
    make_folder(job);  // a folder where the file should be
    MonitorWindow& w = open();
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(last_message().contains(QString::fromStdString(job)));
    EXPECT_EQ(w.text_of(IDC_QUALITY), "75");
}

}  // namespace
}  // namespace morvane::test
