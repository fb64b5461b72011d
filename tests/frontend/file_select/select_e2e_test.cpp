// Hand-picked files from two folders, then Launch: the engine converts exactly those.

#include <QTableWidget>
#include <QTableView>
#include <QTest>

#include "file_list_model.h"
#include "file_select_window.h"
#include "monitor_layout.h"
#include "run_fixture.h"

namespace morvane::test {
namespace {

constexpr int kPngRow = 29;

using SelectAndLaunch = RunTest;

TEST_F(SelectAndLaunch, TheEngineConvertsExactlyTheChosenFiles) {
    MonitorWindow& w = open_for_run();
    for (const char* name : {"in/a.png", "in/b.png", "here/c.png", "there/d.png", "there/e.png"}) {
        const std::string path = dir / name;
        make_folder(path.substr(0, path.rfind('/')));
        make_picture(path);
    }
    w.format_list()->item(kPngRow, 0)->setCheckState(Qt::Checked);
    w.use_program_folder(std::string(PROGRAM_FOLDER) + "/");
    w.use_file_selection([this](QWidget* owner, const Desktop& d, QString& current) {
        FileSelectWindow picker(owner, d, current, QString::fromStdString(temp));
        picker.choose_folder(QString::fromStdString(dir / "here"));
        picker.command(IDM_ADD_FOLDER);
        picker.choose_folder(QString::fromStdString(dir / "there"));
        picker.files()->sort_by(FileListModel::kFile);
        picker.file_list()->selectRow(1);  // e.png
        picker.command(IDM_ADD_SELECTED);
        picker.command(IDM_SELECT_OK);
        return picker.result();
    });
    click(IDC_SELECT);
    ASSERT_TRUE(exists(temp + "/t.log")) << ::testing::PrintToString(message_texts());
    ASSERT_TRUE(launch_and_wait(1, 60000));
    EXPECT_EQ(list_folder(dir / "out"), (std::vector<std::string>{"c.jpg", "e.jpg"}));
    EXPECT_FALSE(exists(temp + "/t.log"));  // the run consumed it
    EXPECT_EQ(entries("box:").size(), 1u);
}

}  // namespace
}  // namespace morvane::test
