#pragma once
// A file selection window over a folder of pictures the test makes, with a scripted
// desktop, for the window's tests.

#include <memory>
#include <string>

#include <QTableView>
#include <QTest>

#include "file_list_model.h"
#include "file_select_window.h"
#include "folder_tree.h"
#include "gui_fixture.h"
#include "link_ids.h"
#include "selected_files.h"

namespace morvane::test {

// Writes a file, making its folder first.
inline void put(const std::string& path, const std::string& bytes) {
    make_folder(path.substr(0, path.rfind('/')));
    write_file(path, bytes);
}

class FileSelect : public ::testing::Test {
  protected:
    void SetUp() override {
        make_folder(temp);
        for (const char* name : {"b.png", "A.jpg", "c.tif"})
            put(dir / ("pics/" + std::string(name)), "x");
        put(dir / "pics/sub/d.nef", "x");
        put(dir / "pics/sub/b.png", "x");
    }
    FileSelectWindow& open() {
        window = std::make_unique<FileSelectWindow>(nullptr, desktop.desktop(), current,
                                                    QString::fromStdString(temp));
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return *window;
    }
    // Lists the picture folder as choosing it in the tree does.
    FileSelectWindow& open_on_pictures() {
        open().choose_folder(QString::fromStdString(dir / "pics"));
        return *window;
    }
    [[nodiscard]] QStringList chosen() const { return window->selected_files()->paths(); }
    [[nodiscard]] QString pic(const std::string& name) const {
        return QString::fromStdString(dir / ("pics/" + name));
    }
    void select_rows(std::initializer_list<QString> names) {
        QTableView* list = window->file_list();
        list->clearSelection();
        for (int row = 0; row < window->files()->rowCount(); ++row) {
            for (const QString& name : names) {
                if (window->files()->entry(row).name == name) {
                    list->selectionModel()->select(
                        window->files()->index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
                }
            }
        }
    }

    TempDir dir;
    std::string temp = dir / "tmp";
    ScriptedDesktop desktop;
    QString current;
    std::unique_ptr<FileSelectWindow> window;
};

}  // namespace morvane::test
