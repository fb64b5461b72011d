// Times the file selection window on big folders it makes itself in a temporary folder:
// listing 20,000 files, adding them all, removing every other one, walking 5,000 folders
// of 50,000 files, and opening a tree level of 5,000 sub-folders. The file system cache is warm:
// the trees are made just before.

#include <cstdio>
#include <functional>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QListView>
#include <QTemporaryDir>

#include "desktop.h"
#include "file_list_model.h"
#include "file_select_window.h"
#include "folder_tree.h"
#include "link_ids.h"
#include "selected_files.h"

namespace {

using morvane::FileSelectWindow;

void put(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) file.write("x");
}

// 20,000 pictures in one folder.
void make_flat(const QString& folder) {
    QDir().mkpath(folder);
    for (int i = 0; i < 20000; ++i)
        put(QString("%1/p%2.png").arg(folder).arg(i, 5, 10, QChar('0')));
}

// 50 folders of 99 sub-folders each: 5,000 folders with 10 pictures each.
void make_tree(const QString& top) {
    for (int a = 0; a < 50; ++a) {
        for (int b = -1; b < 99; ++b) {
            const QString folder = b < 0 ? QString("%1/a%2").arg(top).arg(a)
                                         : QString("%1/a%2/b%3").arg(top).arg(a).arg(b);
            QDir().mkpath(folder);
            for (int i = 0; i < 10; ++i)
                put(QString("%1/f%2_%3_%4.png").arg(folder).arg(a).arg(b).arg(i));
        }
    }
}

// One level of 5,000 sub-folders, each with a sub-folder of its own.
void make_level(const QString& top) {
    for (int i = 0; i < 5000; ++i) QDir().mkpath(QString("%1/d%2/inner").arg(top).arg(i));
}

double seconds(const std::function<void()>& work) {
    QElapsedTimer timer;
    timer.start();
    work();
    QApplication::processEvents();
    return timer.nsecsElapsed() / 1e9;
}

morvane::Desktop answering_desktop() {
    morvane::Desktop desktop;
    desktop.message_box = [](QWidget*, const QString&, const QString& text, std::int64_t) {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        return morvane::IDCANCEL;
    };
    return desktop;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temp;
    const QString flat = temp.path() + "/flat";
    const QString tree = temp.path() + "/tree";
    const QString level = temp.path() + "/level";
    make_flat(flat);
    make_tree(tree);
    make_level(level);

    QString current;
    FileSelectWindow window(nullptr, answering_desktop(), current, temp.path());
    window.show();
    QApplication::processEvents();

    const double list = seconds([&] { window.choose_folder(flat); });
    const int listed = window.files()->rowCount();
    const double add = seconds([&] { window.command(morvane::IDM_ADD_FOLDER); });
    const int added = window.selected_files()->rowCount();
    QItemSelection every_other;
    for (int row = 0; row < added; row += 2) {
        const QModelIndex index = window.selected_files()->index(row);
        every_other.select(index, index);
    }
    window.selected()->selectionModel()->select(every_other, QItemSelectionModel::Select);
    const double remove = seconds([&] { window.command(morvane::IDM_REMOVE_SELECTED); });
    const int kept = window.selected_files()->rowCount();
    window.choose_folder(tree);
    const double walk = seconds([&] { window.command(morvane::IDM_ADD_TREE); });
    const int walked = window.files()->rowCount();
    morvane::FolderTree* folders = window.tree();
    folders->choose(level);  // the level's own node, not yet expanded
    const double open = seconds([&] { folders->expand(folders->currentIndex()); });
    const int opened = folders->model()->rowCount(folders->currentIndex());

    std::printf("list a folder of 20,000 files:        %.3f s (%d rows)\n", list, listed);
    std::printf("select all the folder (20,000):       %.3f s (%d chosen)\n", add, added);
    std::printf("remove 10,000 scattered chosen files: %.3f s (%d left)\n", remove, kept);
    std::printf("walk 5,000 folders, 50,000 files:     %.3f s (%d rows)\n", walk, walked);
    std::printf("open a tree level of 5,000 folders:   %.3f s (%d nodes)\n", open, opened);
    return listed == 20000 && added == 20000 && kept == 10000 && walked == 50000 && opened == 5000
               ? 0
               : 1;
}
