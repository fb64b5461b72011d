// Saving: the checks in their order with their messages, focus and tab, and the job
// file's bytes, key after key.

#include <QComboBox>
#include <QTabBar>
#include <QTableWidget>

#include "gui_fixture.h"
#include "job_keys.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "profile.h"

namespace morvane::test {
namespace {

TEST_F(MonitorTest, AnEmptyTargetStopsTheSaveBeforeAnythingIsWritten) {
    MonitorWindow& w = open("[X]\r\nkeep=1\r\n");
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_EQ(last_message(), "Please choose a target folder");
    EXPECT_EQ(desktop.messages.back().caption, "Tarvik_morvane");
    EXPECT_EQ(desktop.messages.back().flags, MB_ICONWARNING);
    EXPECT_EQ(focused_id(), IDC_TARGET);
    EXPECT_EQ(job_text(), "[X]\r\nkeep=1\r\n");
}

TEST_F(MonitorTest, AnEmptySourceKeepsTheTargetAndRecurseWritten) {
    MonitorWindow& w = open();
    w.set_text(IDC_TARGET, "/t");
    w.switch_to_tab(PAGE_FORMATS);
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_EQ(last_message(), "Please choose a source folder");
    EXPECT_EQ(job_text(), "[FOLDERS]\r\ntarget=/t\r\n[PARAMS]\r\nrecurse=0\r\n");
    // The cursor goes to the source edit, and its page comes up with it.
    EXPECT_EQ(focused_id(), IDC_SOURCE);
    EXPECT_EQ(w.tabs()->currentIndex(), PAGE_MISC);
    EXPECT_TRUE(w.control(IDC_SOURCE)->isVisible());
}

TEST_F(MonitorTest, AMissingSourceIsCreatedWithItsParentsOnYes) {
    MonitorWindow& w = open();
    w.set_text(IDC_TARGET, QString::fromStdString(dir / "out"));
    const std::string source = dir / "a/b/c";
    w.set_text(IDC_SOURCE, QString::fromStdString(dir.path() + "//a/b//c"));
    desktop.answers = {IDYES};
    EXPECT_EQ(w.save_settings(), 1);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(last_message(), QString::fromStdString(dir.path() + "//a/b//c") +
                                  " does not exists.\n\nDo you want to create it?");
    EXPECT_EQ(desktop.messages.back().flags, MB_YESNO_ICONQUESTION);
    EXPECT_TRUE(exists(source));
    EXPECT_EQ(key("FOLDERS", "source"), source);  // the source is stored tidied
    EXPECT_TRUE(list_folder(source).empty());
    EXPECT_FALSE(exists(dir / "out"));  // the target is neither tested nor created
}

TEST_F(MonitorTest, NoToTheSourceQuestionStopsTheSave) {
    MonitorWindow& w = open();
    w.set_text(IDC_TARGET, "/t//x");
    w.set_text(IDC_SOURCE, QString::fromStdString(dir / "missing"));
    desktop.answers = {IDNO};
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_FALSE(exists(dir / "missing"));
    EXPECT_EQ(focused_id(), IDC_SOURCE);
    EXPECT_EQ(key("FOLDERS", "target"), "/t//x");  // the target as typed
    EXPECT_EQ(key("FOLDERS", "source"), "");
}

TEST_F(MonitorTest, AFolderTestLeavesNothingInTheFolder) {
    MonitorWindow& w = open_valid();
    w.set_checked(IDC_MOVE, true);
    make_folder(dir / "moved");
    w.set_text(IDC_MOVE_PATH, QString::fromStdString(dir / "moved"));
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_TRUE(list_folder(dir / "in").empty());
    EXPECT_TRUE(list_folder(dir / "moved").empty());
    EXPECT_TRUE(desktop.messages.empty());
}

TEST_F(MonitorTest, AFileWhereTheSourceFolderShouldBeLeadsToTheQuestion) {
    MonitorWindow& w = open();
    w.set_text(IDC_TARGET, "/t");
    write_file(dir / "plain", "x");
    w.set_text(IDC_SOURCE, QString::fromStdString(dir / "plain"));
    desktop.answers = {IDYES};
    EXPECT_EQ(w.save_settings(), 0);  // Yes cannot make a folder there: said, not stored
    ASSERT_EQ(desktop.messages.size(), 2u);
    EXPECT_TRUE(desktop.messages[1].text.contains("cannot be created"));
    EXPECT_EQ(key("FOLDERS", "source"), "");
}

struct SizeFault {
    const char* width;
    const char* height;
    int focus;
};

class SizeCheck : public MonitorTest, public ::testing::WithParamInterface<SizeFault> {};

TEST_P(SizeCheck, OneSideAloneIsRefusedAndNothingAfterTheSourceIsWritten) {
    MonitorWindow& w = open_valid();
    w.set_text(IDC_WIDTH, GetParam().width);
    w.set_text(IDC_HEIGHT, GetParam().height);
    w.switch_to_tab(PAGE_AFTER);
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_EQ(last_message(), "Please enter a correct size");
    EXPECT_EQ(focused_id(), GetParam().focus);
    const std::string text = job_text();
    EXPECT_NE(text.find("source="), std::string::npos);
    EXPECT_EQ(text.find("size="), std::string::npos);
    EXPECT_EQ(text.find("[FORMATS]"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeCheck,
                         ::testing::Values(SizeFault{"800", "", IDC_WIDTH},
                                           SizeFault{"800", "0", IDC_WIDTH},
                                           SizeFault{"", "600", IDC_HEIGHT},
                                           SizeFault{"abc", "600", IDC_HEIGHT}));

TEST_F(MonitorTest, ASizeIsWrittenWidthByHeightOrEmpty) {
    MonitorWindow& w = open_valid();
    w.set_text(IDC_WIDTH, "640");
    w.set_text(IDC_HEIGHT, "0480");
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("PARAMS", "size"), "640x480");
    w.set_text(IDC_WIDTH, "");
    w.set_text(IDC_HEIGHT, "0");
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_NE(job_text().find("\r\nsize=\r\n"), std::string::npos);
}

class QualityClamp : public MonitorTest,
                     public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(QualityClamp, QualityIsKeptBetweenOneAnd99) {
    MonitorWindow& w = open_valid();
    w.set_text(IDC_QUALITY, GetParam().first);
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("JPEG", "quality"), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Quality, QualityClamp,
                         ::testing::Values(std::pair{"0", "1"}, std::pair{"150", "99"},
                                           std::pair{"75", "75"}, std::pair{"", "1"},
                                           std::pair{"999999999", "99"}, std::pair{"7x", "1"}));

TEST_F(MonitorTest, EachRowIsWrittenUnderItsOwnKey) {
    MonitorWindow& w = open_valid();
    for (int row : {16, 19, 20, 21}) w.format_list()->item(row, 0)->setCheckState(Qt::Checked);
    EXPECT_EQ(w.save_settings(), 1);
    const Profile saved = Profile::parse(job_text());
    for (const FormatRow& row : format_rows()) {
        const bool on =
            row.key == "JPEG" || row.key == "MDC" || row.key == "MOS" || row.key == "MPEG";
        EXPECT_EQ(saved.value("FORMATS", row.key), on ? "1" : "0") << row.key;
    }
    EXPECT_EQ(saved.value("FORMATS", "JPG"), "");
    EXPECT_EQ(saved.value("FORMATS", "MPG"), "");
}

struct FrameFault {
    int range, from_id, to_id;
    const char* from;
    const char* to;
    bool refused;
    int tab;
    const char* message;
};

class FrameCheck : public MonitorTest, public ::testing::WithParamInterface<FrameFault> {};

TEST_P(FrameCheck, ARangeNeedsAFirstFrameNotAfterTheLast) {
    const FrameFault& c = GetParam();
    MonitorWindow& w = open_valid();
    w.set_checked(c.range, true);
    w.set_text(c.from_id, c.from);
    w.set_text(c.to_id, c.to);
    EXPECT_EQ(w.save_settings(), c.refused ? 0 : 1);
    if (!c.refused) {
        EXPECT_TRUE(desktop.messages.empty());
        return;
    }
    EXPECT_EQ(last_message(), c.message);
    EXPECT_EQ(w.tabs()->currentIndex(), c.tab);
    EXPECT_TRUE(w.control(c.from_id)->isVisible());
}

constexpr const char* kAvi =
    "You chose to extract some frames from the AVI sources.\n\nPlease enter correct values.";
constexpr const char* kMpeg =
    "You chose to extract some frames from the MPEG sources.\n\nPlease enter correct values.";

INSTANTIATE_TEST_SUITE_P(
    Frames, FrameCheck,
    ::testing::Values(
        FrameFault{IDC_AVI_RANGE, IDC_AVI_FROM, IDC_AVI_TO, "0", "0", true, PAGE_AVI, kAvi},
        FrameFault{IDC_AVI_RANGE, IDC_AVI_FROM, IDC_AVI_TO, "0", "5", false, 0, ""},
        FrameFault{IDC_AVI_RANGE, IDC_AVI_FROM, IDC_AVI_TO, "7", "5", true, PAGE_AVI, kAvi},
        FrameFault{IDC_AVI_RANGE, IDC_AVI_FROM, IDC_AVI_TO, "5", "5", false, 0, ""},
        FrameFault{IDC_MPEG_RANGE, IDC_MPEG_FROM, IDC_MPEG_TO, "", "", true, PAGE_MPEG, kMpeg},
        FrameFault{IDC_MPEG_RANGE, IDC_MPEG_FROM, IDC_MPEG_TO, "9", "1", true, PAGE_MPEG, kMpeg}));

TEST_F(MonitorTest, FrameAndPageKeysAreWrittenOnlyForARange) {
    MonitorWindow& w =
        open_valid("[AVI]\r\nextract_from=4\r\nextract_to=8\r\n[PDF]\r\nfrom_page=2\r\n");
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("AVI", "extract_all"), "1");
    EXPECT_EQ(key("AVI", "extract_from"), "4");  // kept as an earlier save left them
    EXPECT_EQ(key("PDF", "from_page"), "2");
    w.set_checked(IDC_AVI_RANGE, true);
    w.set_text(IDC_AVI_FROM, "0");
    w.set_text(IDC_AVI_TO, "5");
    w.set_checked(IDC_PDF_RANGE, true);
    w.set_text(IDC_PDF_FROM, "");
    w.set_text(IDC_PDF_TO, "3");
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("AVI", "extract_all"), "0");
    EXPECT_EQ(key("AVI", "extract_from"), "0");
    EXPECT_EQ(key("AVI", "extract_to"), "5");
    EXPECT_EQ(key("PDF", "from_page"), "0");  // page numbers are written whatever they are
    EXPECT_EQ(key("PDF", "to_page"), "3");
}

TEST_F(MonitorTest, MovingOnNeedsAFolderAndMovingOffKeepsTheOldOne) {
    MonitorWindow& w = open_valid("[FOLDERS]\r\nmove_path=/old\r\n");
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("PARAMS", "move"), "0");
    EXPECT_EQ(key("FOLDERS", "move_path"), "/old");
    w.set_checked(IDC_MOVE, true);
    w.set_text(IDC_MOVE_PATH, "");
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_EQ(last_message(), "Please choose a move folder");
    EXPECT_EQ(focused_id(), IDC_MOVE_PATH);
    EXPECT_EQ(w.tabs()->currentIndex(), PAGE_AFTER);
    EXPECT_EQ(key("PARAMS", "move"), "1");  // written before its check
    EXPECT_EQ(key("FOLDERS", "move_path"), "/old");
}

TEST_F(MonitorTest, AnEmptyWatermarkImageIsRefusedWithItsModeAlreadyWritten) {
    MonitorWindow& w = open_valid();
    w.set_checked(IDC_WATERMARK, true);
    w.set_checked(IDC_WATERMARK_IMAGE_MODE, true);
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_EQ(last_message(), "Please enter the text or the file to be used as a watermark.");
    EXPECT_FALSE(desktop.messages.back().owned);
    EXPECT_EQ(w.tabs()->currentIndex(), PAGE_ENHANCEMENTS);
    EXPECT_EQ(focused_id(), IDC_WATERMARK_FILE);
    EXPECT_EQ(key("PARAMS", "do_watermark"), "2");
    EXPECT_EQ(job_text().find("watermark_color"), std::string::npos);
}

TEST_F(MonitorTest, AWatermarkIsWrittenWithItsModeTextFileAndLocation) {
    MonitorWindow& w = open_valid();
    w.set_checked(IDC_WATERMARK, true);
    w.set_checked(IDC_WATERMARK_TEXT_MODE, true);
    w.set_text(IDC_WATERMARK_TEXT, "(c) me");
    w.control_as<QComboBox>(IDC_LOCATION)->setCurrentIndex(8);
    w.set_watermark_color(0x00FF8000);
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("PARAMS", "do_watermark"), "1");
    EXPECT_EQ(key("PARAMS", "watermark_txt"), "(c) me");
    EXPECT_NE(job_text().find("watermark_file=\r\n"), std::string::npos);
    EXPECT_EQ(key("PARAMS", "watermark_location"), "8");
    EXPECT_EQ(key("PARAMS", "watermark_color"), std::to_string(0x00FF8000));
    w.set_checked(IDC_WATERMARK, false);
    EXPECT_EQ(w.save_settings(), 1);
    EXPECT_EQ(key("PARAMS", "do_watermark"), "0");
    EXPECT_EQ(key("PARAMS", "watermark_txt"), "(c) me");  // off writes the mode alone
}

// Sets what makes the save read the path field `id`: the move and the image watermark
// are only read when they are on.
void save_reads_path(MonitorWindow& w, int id) {
    if (id == IDC_MOVE_PATH) w.set_checked(IDC_MOVE, true);
    if (id == IDC_WATERMARK_FILE) {
        w.set_checked(IDC_WATERMARK, true);
        w.set_checked(IDC_WATERMARK_IMAGE_MODE, true);
    }
}

class LongPath : public MonitorTest, public ::testing::WithParamInterface<int> {};

TEST_P(LongPath, APathLongerThan259IsRefusedNotCut) {
    MonitorWindow& w = open_valid();
    const int id = GetParam();
    std::string path = dir.path() + "/";
    path += std::string(260 - path.size(), 'p');
    save_reads_path(w, id);
    w.set_text(id, QString::fromStdString(path));
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_TRUE(last_message().contains("longer than 259 characters"));
    EXPECT_EQ(focused_id(), id);
    EXPECT_EQ(job_text().find(path.substr(0, 259)), std::string::npos);
    EXPECT_FALSE(exists(path));
}

INSTANTIATE_TEST_SUITE_P(Paths, LongPath,
                         ::testing::Values(IDC_TARGET, IDC_SOURCE, IDC_MOVE_PATH,
                                           IDC_WATERMARK_FILE));

struct UnstorableCase {
    int id;
    const char* inside;  // what the path holds that a line of the job file cannot
};

class UnstorablePath : public MonitorTest, public ::testing::WithParamInterface<UnstorableCase> {};

// The job file's lines would split at a line break and the engine would read another
// path: the save stops with a message instead of writing it, and creates nothing.
TEST_P(UnstorablePath, APathWithALineBreakOrANulIsRefused) {
    MonitorWindow& w = open_valid("[X]\r\nkeep=1\r\n");
    const int id = GetParam().id;
    const std::string path = dir / "a" + std::string(GetParam().inside, 1) + "b";
    save_reads_path(w, id);
    w.set_text(id, QString::fromStdString(path));
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_TRUE(last_message().contains("holds a line break")) << last_message().toStdString();
    EXPECT_EQ(desktop.messages.back().flags, MB_ICONWARNING);
    EXPECT_EQ(focused_id(), id);
    EXPECT_EQ(job_text().find(dir / "a"), std::string::npos);
    EXPECT_EQ(list_folder(dir.path()), (std::vector<std::string>{"Tarvik_morvane.ini", "in"}));
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnstorablePath,
    ::testing::Values(UnstorableCase{IDC_TARGET, "\r"}, UnstorableCase{IDC_SOURCE, "\n"},
                      UnstorableCase{IDC_SOURCE, "\r"}, UnstorableCase{IDC_MOVE_PATH, "\n"},
                      UnstorableCase{IDC_WATERMARK_FILE, "\r"}, UnstorableCase{IDC_TARGET, "\0"}));

// A long path is quoted cut in its middle, not as a message of 32,000 characters.
TEST_F(MonitorTest, AVeryLongPathIsQuotedShortInTheRefusal) {
    MonitorWindow& w = open_valid();
    const std::string path = "/" + std::string(20000, 'p') + "/end";
    w.set_text(IDC_TARGET, QString::fromStdString(path));
    EXPECT_EQ(w.save_settings(), 0);
    EXPECT_LT(last_message().size(), 400);
    EXPECT_TRUE(last_message().startsWith("/ppp"));
    EXPECT_TRUE(last_message().contains("p/end\n\nThis path is longer than 259 characters"));
}

TEST_F(MonitorTest, AJobFileThatCannotBeWrittenIsNotASuccess) {
    job = dir / "no-such-folder/Tarvik_morvane.ini";
    MonitorWindow& w = open_valid();
    EXPECT_EQ(w.save_settings(), 0);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages.back().flags, MB_ICONERROR);
    EXPECT_TRUE(last_message().contains(QString::fromStdString(job)));
    EXPECT_TRUE(last_message().contains("No such file or directory"));
}

// A whole save from the defaults, byte for byte: every key in the order of writing.
TEST_F(MonitorTest, AFullSaveWritesEveryKeyInOrder) {
    MonitorWindow& w = open();
    make_folder(dir / "in");
    w.set_text(IDC_TARGET, "/out");
    w.set_text(IDC_SOURCE, QString::fromStdString(dir / "in"));
    w.set_watermark_color(0);
    EXPECT_EQ(w.save_settings(), 1);
    std::string formats;
    for (const FormatRow& row : format_rows()) formats += std::string(row.key) + "=0\r\n";
    const std::string expected =
        "[FOLDERS]\r\ntarget=/out\r\nsource=" + dir / "in" +
        "\r\n[PARAMS]\r\nrecurse=0\r\nsize=\r\naspect_ratio=0\r\nmono_instance=1\r\nerase=0\r\n"
        "reproduce_path=0\r\nreproduce_path_from_root=0\r\nmove=0\r\ndo_watermark=0\r\n"
        "watermark_color=0\r\nwatermark_tile=0\r\nwatermark_dissolve=10\r\n[FORMATS]\r\n" +
        formats +
        "[JPEG]\r\nprogressive=1\r\nquality=75\r\n[PDF]\r\nextract_all=1\r\ndensity=72\r\n"
        "[AVI]\r\nextract_all=1\r\n[MPEG]\r\nextract_all=1\r\n[EPS]\r\ndensity=72\r\ntrim=0\r\n"
        "[TIFF]\r\nextract_all=1\r\n";
    EXPECT_EQ(job_text(), expected);
}

// The key table says what a save writes; a save from the defaults writes just those.
TEST_F(MonitorTest, ASaveWritesTheKeysTheTableMarksAsAlwaysSaved) {
    open_valid();
    ASSERT_EQ(window->save_settings(), 1);
    const std::string text = job_text();
    for (const JobKey& row : job_keys()) {
        const std::string line = "\n" + std::string(row.key) + "=";
        const bool written = text.find(line) != std::string::npos;
        EXPECT_EQ(written, row.front_end == FrontEnd::Saves) << row.section << "/" << row.key;
    }
}

TEST_F(MonitorTest, SavingWhatWasLoadedLeavesTheFileByteIdentical) {
    {
        MonitorWindow& w =
            open_valid("; my notes\r\n[FOREIGN]\r\nmine=keep\r\n[PARAMS]\r\nworkers=2\r\n");
        w.set_text(IDC_WIDTH, "800");
        w.set_text(IDC_HEIGHT, "600");
        w.set_checked(IDC_MOVE, true);
        make_folder(dir / "moved");
        w.set_text(IDC_MOVE_PATH, QString::fromStdString(dir / "moved"));
        w.set_checked(IDC_WATERMARK, true);
        w.set_checked(IDC_WATERMARK_TEXT_MODE, true);
        w.set_text(IDC_WATERMARK_TEXT, "x");
        w.set_checked(IDC_MPEG_RANGE, true);
        w.set_text(IDC_MPEG_FROM, "3");
        w.set_text(IDC_MPEG_TO, "30");
        w.format_list()->item(29, 0)->setCheckState(Qt::Checked);
        ASSERT_EQ(w.save_settings(), 1);
    }
    const std::string first = job_text();
    EXPECT_NE(first.find("mine=keep"), std::string::npos);
    EXPECT_NE(first.find("workers=2"), std::string::npos);
    MonitorWindow& again = open();
    EXPECT_EQ(again.save_settings(), 1);
    EXPECT_EQ(job_text(), first);
    EXPECT_EQ(again.save_settings(), 1);
    EXPECT_EQ(job_text(), first);
    EXPECT_TRUE(desktop.messages.empty());
}

}  // namespace
}  // namespace morvane::test
