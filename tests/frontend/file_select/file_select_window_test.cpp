// The file selection window driven by its commands, keys and toolbar.

#include <QAction>
#include <QLabel>
#include <QListView>
#include <QTableView>
#include <QTest>
#include <QToolBar>

#include "file_select_fixture.h"

namespace morvane::test {
namespace {

TEST_F(FileSelect, TheWindowHasItsTitleIdsAndToolbar) {
    FileSelectWindow& w = open();
    EXPECT_EQ(w.windowTitle(), "Tarvik_morvane - Select files");
    EXPECT_EQ(w.objectName(), "305");
    for (const char* id : {"1541", "1549", "1551", "1106", "10000", "326"}) {
        EXPECT_NE(w.findChild<QWidget*>(id), nullptr) << id;
    }
    EXPECT_EQ(w.findChild<QLabel*>("1549")->text(), QString::fromUtf8("&Fichiers sélectionnés:"));
    EXPECT_EQ(w.count_text(), "");
    const std::vector<std::pair<int, const char*>> tips{
        {1553, "Select all the folder"},
        {1554, "Select all the folder and its children folders"},
        {1555, "Remove the selected files"},
        {1556, "Remove all the files"},
        {1557, "Show / Hide the grid"},
        {1064, "Display Help"},
        {2, "Close the window without any selection"},
        {1, "Close the window"}};
    for (const auto& [id, tip] : tips) {
        ASSERT_NE(w.action(id), nullptr) << id;
        EXPECT_TRUE(w.action(id)->toolTip().startsWith(QString(tip) + " (")) << id;
    }
    const auto* model = w.file_list()->model();
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "File");
    EXPECT_EQ(model->headerData(1, Qt::Horizontal).toString(), "Size");
    EXPECT_EQ(model->headerData(2, Qt::Horizontal).toString(), "Date");
    EXPECT_TRUE(w.action(1557)->isChecked());
    EXPECT_TRUE(w.file_list()->showGrid());
    w.action(1557)->trigger();
    EXPECT_FALSE(w.file_list()->showGrid());
}

TEST_F(FileSelect, AddingEveryRowCountsTheSelectedFilesAndKeepsThemSorted) {
    FileSelectWindow& w = open_on_pictures();
    EXPECT_EQ(w.files()->rowCount(), 3);  // the raw file only comes with the walk
    w.command(IDM_ADD_FOLDER);
    EXPECT_EQ(chosen(), (QStringList{pic("A.jpg"), pic("b.png"), pic("c.tif")}));
    EXPECT_EQ(w.count_text(), "3");
    EXPECT_TRUE(desktop.messages.empty());
}

// OK skips a path already chosen; Cancel skips it and stops the whole command.
TEST_F(FileSelect, TheDuplicateQuestionSkipsOrStops) {
    FileSelectWindow& w = open_on_pictures();
    w.files()->sort_by(FileListModel::kFile);
    select_rows({"b.png"});
    w.command(IDM_ADD_SELECTED);
    desktop.answers = {IDOK};
    w.command(IDM_ADD_FOLDER);  // A.jpg added, b.png asked about (OK), c.tif added
    EXPECT_EQ(chosen().size(), 3);
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text,
              "The file " + pic("b.png") + " is already selected.\n\nIt will not be included.");
    EXPECT_EQ(desktop.messages[0].flags, MB_OKCANCEL | MB_ICONINFORMATION);

    w.command(IDM_REMOVE_ALL);
    EXPECT_EQ(w.count_text(), "0");
    select_rows({"A.jpg"});
    w.command(IDM_ADD_SELECTED);
    desktop.answers = {IDCANCEL};
    w.command(IDM_ADD_FOLDER);  // stops at A.jpg: nothing after it is added
    EXPECT_EQ(chosen(), QStringList{pic("A.jpg")});
    EXPECT_EQ(w.count_text(), "1");
}

TEST_F(FileSelect, EnterAddsTheSelectedRowsAndNeverClosesTheWindow) {
    FileSelectWindow& w = open_on_pictures();
    select_rows({"c.tif", "A.jpg"});
    w.file_list()->setFocus();
    QTest::keyClick(w.file_list(), Qt::Key_Return);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(chosen(), (QStringList{pic("A.jpg"), pic("c.tif")}));
    EXPECT_EQ(w.count_text(), "2");

    w.selected()->selectionModel()->select(w.selected_files()->index(0),
                                           QItemSelectionModel::Select);
    QTest::keyClick(w.selected(), Qt::Key_Delete);
    EXPECT_EQ(chosen(), QStringList{pic("c.tif")});
    EXPECT_EQ(w.count_text(), "1");
}

TEST_F(FileSelect, RemovingTakesEverySelectedEntry) {
    FileSelectWindow& w = open();
    QStringList paths;
    for (int i = 0; i < 700; ++i) paths << QString("/f/%1.png").arg(i, 4, 10, QChar('0'));
    w.selected_files()->add(paths);
    for (int i = 0; i < 700; ++i) {
        if (i % 7 != 0)
            w.selected()->selectionModel()->select(w.selected_files()->index(i),
                                                   QItemSelectionModel::Select);
    }
    w.command(IDM_REMOVE_SELECTED);
    EXPECT_EQ(w.selected_files()->rowCount(), 100);
    EXPECT_EQ(w.count_text(), "100");
    EXPECT_EQ(w.selected_files()->path(1), "/f/0007.png");
}

TEST_F(FileSelect, ADoubleClickAddsTheRowThatWasClicked) {
    FileSelectWindow& w = open_on_pictures();
    w.files()->sort_by(FileListModel::kFile);
    select_rows({"A.jpg"});
    const QRect cell = w.file_list()->visualRect(w.files()->index(2, 0));
    QTest::mouseClick(w.file_list()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(w.file_list()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(chosen().contains(pic("c.tif"))) << chosen().join(",").toStdString();
}

TEST_F(FileSelect, TheWalkListsSubFoldersAndItsRowsKeepTheirOwnFolder) {
    FileSelectWindow& w = open_on_pictures();
    w.command(IDM_ADD_TREE);
    EXPECT_EQ(w.files()->rowCount(), 4);  // d.nef added; sub/b.png is a name already listed
    EXPECT_EQ(w.count_text(), "4");
    w.command(IDM_ADD_FOLDER);
    EXPECT_TRUE(chosen().contains(pic("sub/d.nef")));
    EXPECT_EQ(w.count_text(), "4");
}

TEST_F(FileSelect, TheCurrentFolderOutlivesTheWindow) {
    open_on_pictures();
    window.reset();
    EXPECT_EQ(current, QString::fromStdString(dir / "pics"));
    open().command(IDM_ADD_TREE);  // the file list starts empty but the walk knows where
    EXPECT_EQ(window->files()->rowCount(), 4);
    current.clear();
    open().command(IDM_ADD_TREE);
    EXPECT_EQ(window->files()->rowCount(), 0);
    EXPECT_EQ(window->count_text(), "");
}

TEST_F(FileSelect, APathLongerThanTheEngineReadsIsRefused) {
    std::string deep = dir / "pics";
    while (deep.size() < 250) deep += "/folder-of-pictures";
    put(deep + "/long.png", "x");
    FileSelectWindow& w = open();
    w.choose_folder(QString::fromStdString(deep));
    w.command(IDM_ADD_FOLDER);
    EXPECT_TRUE(chosen().isEmpty());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_TRUE(desktop.messages[0].text.endsWith(
        "has a path of more than 259 characters.\n\nIt will not be included."));
}

TEST_F(FileSelect, OkWritesTheSortedListExactly) {
    FileSelectWindow& w = open_on_pictures();
    w.command(IDM_ADD_TREE);
    w.command(IDM_ADD_FOLDER);
    w.command(IDM_SELECT_OK);
    EXPECT_EQ(w.result(), QDialog::Accepted);
    EXPECT_EQ(read_file(temp + "/t.log"),
              "[FILES]\r\n0=" + dir / "pics/A.jpg\r\n1=" + dir / "pics/b.png\r\n2=" +
                  dir / "pics/c.tif\r\n3=" + dir / "pics/sub/d.nef\r\n");
}

TEST_F(FileSelect, OkWithNothingSelectedAsksFirst) {
    FileSelectWindow& w = open();
    desktop.answers = {IDNO};
    w.command(IDM_SELECT_OK);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(exists(temp + "/t.log"));
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(desktop.messages[0].text, "No file selected.\n\nContinue anyway ?");
    EXPECT_EQ(desktop.messages[0].flags, MB_YESNO_ICONQUESTION);
    desktop.answers = {IDYES};
    w.command(IDM_SELECT_OK);
    EXPECT_EQ(read_file(temp + "/t.log"), "[FILES]\r\n");
}

TEST_F(FileSelect, CancelLeavesAnEarlierListUntouched) {
    put(temp + "/t.log", "[FILES]\r\n0=/earlier.png\r\n");
    FileSelectWindow& w = open_on_pictures();
    w.command(IDM_ADD_FOLDER);
    w.command(IDM_SELECT_CANCEL);
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_EQ(read_file(temp + "/t.log"), "[FILES]\r\n0=/earlier.png\r\n");
}

TEST_F(FileSelect, AListThatCannotBeWrittenIsReportedAndTheWindowStays) {
    temp = dir / "gone";
    FileSelectWindow& w = open_on_pictures();
    w.command(IDM_ADD_FOLDER);
    w.command(IDM_SELECT_OK);
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(desktop.messages.size(), 1u);
    EXPECT_EQ(
        desktop.messages[0].text.toStdString(),
        "The list of selected files cannot be written in " + temp + ": No such file or directory");
}

}  // namespace
}  // namespace morvane::test
