// The file selection window's commands: adding rows to the selected files, the walk over
// the sub-folders, removing, and OK writing the file-list file.

#include <algorithm>
#include <numeric>

#include <QAction>
#include <QFile>
#include <QHash>
#include <QSet>
#include <QItemSelectionModel>
#include <QListView>
#include <QTableView>

#include "file_list_file.h"
#include "file_list_model.h"
#include "file_select_window.h"
#include "link_ids.h"
#include "path_util.h"
#include "selected_files.h"
#include "work_progress.h"

namespace morvane {
namespace {

constexpr const char* kCaption = "Tarvik_morvane";

// Holds a widget's painting and shows the wait cursor over its window while it lives.
class BusyPainting {
  public:
    explicit BusyPainting(QWidget* widget) : widget_(widget) {
        widget_->window()->setCursor(Qt::WaitCursor);
        widget_->setUpdatesEnabled(false);
    }
    ~BusyPainting() {
        widget_->setUpdatesEnabled(true);
        widget_->window()->unsetCursor();
    }
    BusyPainting(const BusyPainting&) = delete;
    BusyPainting& operator=(const BusyPainting&) = delete;

  private:
    QWidget* widget_;
};

// Sets a flag for as long as it lives.
class Busy {
  public:
    explicit Busy(bool& flag) : flag_(flag) { flag_ = true; }
    ~Busy() { flag_ = false; }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

  private:
    bool& flag_;
};

// Whether each folder can still be read, asked once per folder.
class FolderChecks {
  public:
    bool readable(const QString& folder) {
        auto known = readable_.constFind(folder);
        if (known != readable_.constEnd()) return known.value();
        const QString problem = folder_problem(folder);
        if (!problem.isEmpty()) unreadable.emplace_back(folder, problem);
        return readable_.insert(folder, problem.isEmpty()).value();
    }
    std::vector<std::pair<QString, QString>> unreadable;

  private:
    QHash<QString, bool> readable_;
};

}  // namespace

void FileSelectWindow::command(int id) {
    if (busy_) return;
    switch (id) {
        case IDM_ADD_FOLDER: {
            std::vector<int> rows(static_cast<std::size_t>(files_->rowCount()));
            std::iota(rows.begin(), rows.end(), 0);
            add_rows(rows);
            break;
        }
        case IDM_ADD_TREE:
            list_tree();
            break;
        case IDM_REMOVE_SELECTED:
            remove_selected();
            break;
        case IDM_REMOVE_ALL:
            selected_files_->clear();
            show_count(0);
            break;
        case IDM_GRID:
            action(IDM_GRID)->toggle();
            break;
        case IDM_ADD_SELECTED:
            add_selected_rows();
            break;
        case IDM_SELECT_OK:
            finish();
            break;
        case IDM_SELECT_CANCEL:
            reject();
            break;
        default:  // Help has nothing to show here
            break;
    }
}

void FileSelectWindow::choose_folder(const QString& folder) {
    if (busy_) return;
    files_->clear();
    listed_.clear();
    current_folder_ = folder;
    show_notice({});
    Listing listing = list_folder(folder, listed_);
    files_->add_at_top(std::move(listing.entries));
    show_unreadable(listing.unreadable);
    watch(folder);
}

QString FileSelectWindow::refusal_of(const QString& path) const {
    if (!path_fits(QFile::encodeName(path).toStdString())) {
        return QString(
                   "The file %1 has a path of more than %2 characters.\n\nIt will not be "
                   "included.")
            .arg(path, QString::number(kLongestJobPath));
    }
    if (selected_files_->contains(path)) {
        return QString("The file %1 is already selected.\n\nIt will not be included.").arg(path);
    }
    return {};
}

// Paths are taken in batches; each question about a path comes with the paths before it
// already in the list, and its Cancel, like the progress window's, keeps them there.
void FileSelectWindow::add_rows(const std::vector<int>& rows) {
    Busy busy(busy_);
    BusyPainting painting(file_list_);
    WorkProgress progress(this, "Adding the files...", static_cast<qsizetype>(rows.size()),
                          progress_delay_);
    FolderChecks folders;
    QStringList batch;
    QSet<QString> batched;  // case-folded
    bool stopped = false;
    for (std::size_t i = 0; i < rows.size() && !stopped; ++i) {
        if (!progress.step(static_cast<qsizetype>(i))) break;
        const FileEntry& entry = files_->entry(rows[i]);
        if (!folders.readable(entry.folder)) continue;
        const QString path = entry.path();
        if (batched.contains(path.toCaseFolded())) selected_files_->add(std::exchange(batch, {}));
        if (QString refusal = refusal_of(path); !refusal.isEmpty()) {
            selected_files_->add(std::exchange(batch, {}));
            stopped = desktop_.message_box(this, kCaption, refusal,
                                           MB_OKCANCEL | MB_ICONINFORMATION) != IDOK;
            continue;
        }
        batch.append(path);
        batched.insert(path.toCaseFolded());
    }
    selected_files_->add(std::move(batch));
    show_count(selected_files_->rowCount());
    show_unreadable(folders.unreadable);
}

// The selected rows in order, or the row that has the focus when none is selected.
void FileSelectWindow::add_selected_rows() {
    std::vector<int> rows;
    for (const QModelIndex& index : file_list_->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    const QModelIndex focused = file_list_->currentIndex();
    if (rows.empty() && focused.isValid()) rows.push_back(focused.row());
    add_rows(rows);
}

// Adds the current folder's sub-folders to the list; nothing before a folder is chosen.
// A stopped walk leaves the list as it was.
void FileSelectWindow::list_tree() {
    if (current_folder_.isEmpty()) return;
    Busy busy(busy_);
    Listing walked;
    ListedNames names = listed_;
    {
        BusyPainting painting(file_list_);
        WorkProgress progress(this, "Listing the folders...", 0, progress_delay_);
        walked = walk_folder(
            current_folder_, names, [&progress](std::size_t folders, std::size_t files) {
                return progress.step(
                    0,
                    QString("Listing the folders: %1 files in %2 folders").arg(files).arg(folders));
            });
    }
    if (!walked.complete) {
        show_notice("The walk was stopped; the file list is as it was.");
        return;
    }
    listed_ = std::move(names);
    files_->add_at_top(std::move(walked.entries));
    show_count(files_->rowCount());
    show_unreadable(walked.unreadable);
}

void FileSelectWindow::remove_selected() {
    std::vector<int> rows;
    for (const QModelIndex& index : selected_->selectionModel()->selectedIndexes())
        rows.push_back(index.row());
    selected_files_->remove_rows(std::move(rows));
    show_count(selected_files_->rowCount());
}

void FileSelectWindow::finish() {
    if (selected_files_->rowCount() == 0 &&
        desktop_.message_box(this, kCaption, "No file selected.\n\nContinue anyway ?",
                             MB_YESNO_ICONQUESTION) != IDYES) {
        return;
    }
    QString error;
    if (temp_folder_.isEmpty()) error = "there is no temporary folder";
    if (error.isEmpty() && write_file_list(temp_folder_, selected_files_->paths(), error)) {
        accept();
        return;
    }
    desktop_.message_box(
        this, kCaption,
        QString("The list of selected files cannot be written in %1: %2")
            .arg(temp_folder_.isEmpty() ? QString("the temporary folder") : temp_folder_, error),
        MB_ICONERROR);
}

}  // namespace morvane
