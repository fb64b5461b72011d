#include "file_select_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QTableView>
#include <QToolBar>

#include "dialog_table.h"
#include "file_list_file.h"
#include "file_list_model.h"
#include "folder_tree.h"
#include "link_ids.h"
#include "temp_folder.h"
#include "toolbar_icons.h"

namespace morvane {
namespace {

constexpr const char* kCaption = "Tarvik_morvane";
constexpr qsizetype kLongestPath = 259;  // bytes of a list entry the engine reads

struct ToolButton {
    int command;  // 0: a separator
    int image;
    const char* tooltip;
};

constexpr ToolButton kToolbar[] = {
    {0, 0, nullptr},
    {IDM_ADD_FOLDER, 0, "Select all the folder"},
    {IDM_ADD_TREE, 1, "Select all the folder and its children folders"},
    {0, 0, nullptr},
    {IDM_REMOVE_SELECTED, 2, "Remove the selected files"},
    {IDM_REMOVE_ALL, 6, "Remove all the files"},
    {0, 0, nullptr},
    {IDM_GRID, 3, "Show / Hide the grid"},
    {0, 0, nullptr},
    {IDM_SELECT_HELP, 7, "Display Help"},
    {IDM_SELECT_CANCEL, 5, "Close the window without any selection"},
    {IDM_SELECT_OK, 4, "Close the window"},
};

// Column widths in pixels of the classic dialog font.
constexpr int kColumnWidths[] = {295, 95, 105};

// Shows the wait cursor and holds a widget's painting for as long as it lives.
class BusyPainting {
  public:
    explicit BusyPainting(QWidget* widget) : widget_(widget) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        widget_->setUpdatesEnabled(false);
    }
    ~BusyPainting() {
        widget_->setUpdatesEnabled(true);
        QApplication::restoreOverrideCursor();
    }
    BusyPainting(const BusyPainting&) = delete;
    BusyPainting& operator=(const BusyPainting&) = delete;

  private:
    QWidget* widget_;
};

// Where the path goes in a list kept in case-insensitive order.
int sorted_position(const QListWidget* list, const QString& path) {
    int low = 0;
    int high = list->count();
    while (low < high) {
        const int middle = (low + high) / 2;
        if (list->item(middle)->text().compare(path, Qt::CaseInsensitive) < 0) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

}  // namespace

FileSelectWindow::FileSelectWindow(QWidget* owner, const Desktop& desktop, QString& current_folder,
                                   QString temp_folder)
    : QDialog(owner),
      desktop_(desktop),
      current_folder_(current_folder),
      temp_folder_(std::move(temp_folder)) {
    setWindowTitle("Tarvik_morvane - Select files");
    set_control_id(this, IDD_FILE_SELECT);
    build();
    place();
    tree_->fill_top_level();
    centre_on_screen(this);
}

void FileSelectWindow::build() {
    files_ = new FileListModel(this);
    file_list_ = new QTableView(this);
    file_list_->setModel(files_);
    file_list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    file_list_->setShowGrid(true);
    file_list_->setWordWrap(false);
    file_list_->verticalHeader()->hide();
    file_list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    file_list_->horizontalHeader()->setSectionsClickable(true);
    file_list_->horizontalHeader()->setHighlightSections(false);
    file_list_->setAccessibleName("Files");
    file_list_->installEventFilter(this);
    label_ = new QLabel(QString::fromUtf8("Fichiers sélectionnés:"), this);
    count_ = new QLabel(this);
    count_->setAccessibleName("Selected files count");
    selected_ = new QListWidget(this);
    selected_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    selected_->setAccessibleName(label_->text());
    selected_->installEventFilter(this);
    tree_ = new FolderTree(this);
    set_control_id(file_list_, IDC_FILE_LIST);
    set_control_id(label_, IDC_SELECTED_LABEL);
    set_control_id(count_, IDC_SELECTED_COUNT);
    set_control_id(selected_, IDC_SELECTED_LIST);
    build_toolbar();

    connect(file_list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { files_->sort_by(column); });
    connect(file_list_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { add_double_clicked(index.row()); });
    connect(tree_, &FolderTree::folder_chosen, this, &FileSelectWindow::choose_folder);
}

void FileSelectWindow::build_toolbar() {
    toolbar_ = new QToolBar(this);
    set_control_id(toolbar_, IDC_TOOLBAR);
    toolbar_->setAccessibleName("Commands");
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setMovable(false);
    for (const ToolButton& button : kToolbar) {
        if (button.command == 0) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = toolbar_->addAction(toolbar_icon(button.image), button.tooltip);
        action->setToolTip(button.tooltip);
        set_control_id(action, button.command);
        const int command_id = button.command;
        if (command_id == IDM_GRID) {
            action->setCheckable(true);
            action->setChecked(true);
            connect(action, &QAction::toggled, file_list_, &QTableView::setShowGrid);
            continue;
        }
        connect(action, &QAction::triggered, this, [this, command_id] { command(command_id); });
    }
}

// The Part's dialog units, pushed down where the toolbar is taller than the room the
// dialog leaves it, and widened where the font draws the label wider.
void FileSelectWindow::place() {
    DialogUnits units(font());
    units = units.widened_for(label_->sizeHint().width(), 68);
    const int toolbar_height = toolbar_->sizeHint().height();
    const int top = std::max(0, toolbar_height + 2 - units.y(17));
    const auto at = [&](int x, int y, int w, int h) {
        return units.rect(x, y, w, h).translated(0, top);
    };
    file_list_->setGeometry(at(133, 17, 319, 150));
    label_->setGeometry(at(133, 173, 68, 8));
    count_->setGeometry(at(206, 173, 29, 8));
    selected_->setGeometry(at(133, 183, 319, 89));
    const QRect list = file_list_->geometry();
    tree_->setGeometry(3, list.top(), list.left() - 4 - 3,
                       selected_->geometry().bottom() - list.top());
    for (int column = 0; column < 3; ++column) {
        file_list_->setColumnWidth(column, units.classic_x(kColumnWidths[column]));
    }
    setFixedSize(units.x(455), units.y(276) + top);
    toolbar_->setGeometry(0, 0, width(), toolbar_height);
}

void FileSelectWindow::command(int id) {
    switch (id) {
        case IDM_ADD_FOLDER:
            add_all_rows();
            break;
        case IDM_ADD_TREE:
            list_tree();
            break;
        case IDM_REMOVE_SELECTED:
            remove_selected();
            break;
        case IDM_REMOVE_ALL:
            selected_->clear();
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
    files_->clear();
    listed_.clear();
    current_folder_ = folder;
    files_->add_at_top(list_folder(folder, listed_));
}

bool FileSelectWindow::add_path(const QString& path) {
    QString refusal;
    if (QFile::encodeName(path).size() > kLongestPath) {
        refusal = QString(
                      "The file %1 has a path of more than 259 characters.\n\nIt will not be "
                      "included.")
                      .arg(path);
    } else {
        const int at = sorted_position(selected_, path);
        const bool taken = at < selected_->count() &&
                           selected_->item(at)->text().compare(path, Qt::CaseInsensitive) == 0;
        if (!taken) {
            selected_->insertItem(at, path);
            return true;
        }
        refusal = QString("The file %1 is already selected.\n\nIt will not be included.").arg(path);
    }
    return desktop_.message_box(this, kCaption, refusal, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK;
}

void FileSelectWindow::add_all_rows() {
    {
        BusyPainting busy(file_list_);
        for (int row = 0; row < files_->rowCount(); ++row) {
            if (!add_path(files_->entry(row).path())) break;
        }
    }
    show_count(selected_->count());
}

void FileSelectWindow::add_selected_rows() {
    QModelIndexList rows = file_list_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    for (const QModelIndex& row : rows) {
        if (!add_path(files_->entry(row.row()).path())) break;
    }
    show_count(selected_->count());
}

void FileSelectWindow::add_double_clicked(int row) {
    if (row < 0 || row >= files_->rowCount()) return;
    (void)add_path(files_->entry(row).path());
    show_count(selected_->count());
}

// Adds the current folder's sub-folders to the list; nothing before a folder is chosen.
void FileSelectWindow::list_tree() {
    if (current_folder_.isEmpty()) return;
    {
        BusyPainting busy(file_list_);
        files_->add_at_top(walk_folder(current_folder_, listed_));
    }
    show_count(files_->rowCount());
}

void FileSelectWindow::remove_selected() {
    QList<int> rows;
    for (const QModelIndex& index : selected_->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (const int row : rows) delete selected_->takeItem(row);
    show_count(selected_->count());
}

void FileSelectWindow::finish() {
    if (selected_->count() == 0 &&
        desktop_.message_box(this, kCaption, "No file selected.\n\nContinue anyway ?",
                             MB_YESNO_ICONQUESTION) != IDYES) {
        return;
    }
    QStringList paths;
    for (int i = 0; i < selected_->count(); ++i) paths.append(selected_->item(i)->text());
    QString error;
    if (temp_folder_.isEmpty()) error = "there is no temporary folder";
    if (error.isEmpty() && write_file_list(temp_folder_, paths, error)) {
        accept();
        return;
    }
    desktop_.message_box(
        this, kCaption,
        QString("The list of selected files cannot be written in %1: %2")
            .arg(temp_folder_.isEmpty() ? QString("the temporary folder") : temp_folder_, error),
        MB_ICONERROR);
}

void FileSelectWindow::show_count(qsizetype count) {
    count_->setText(QString::number(count));
}

QString FileSelectWindow::count_text() const {
    return count_->text();
}

QAction* FileSelectWindow::action(int id) const {
    return toolbar_->findChild<QAction*>(QString::number(id));
}

// Enter in the file list adds its selected rows and never reaches OK; Delete there, or
// in the selected-files list, removes the selected entries of the selected-files list.
bool FileSelectWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == selected_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
        command(IDM_REMOVE_SELECTED);
        return true;
    }
    if (watched == file_list_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            command(IDM_ADD_SELECTED);
            return true;
        }
        if (key == Qt::Key_Delete && file_list_->hasFocus()) command(IDM_REMOVE_SELECTED);
    }
    return QDialog::eventFilter(watched, event);
}

int run_file_selection(QWidget* owner, const Desktop& desktop, QString& current_folder) {
    const auto temp = user_temp_folder();
    FileSelectWindow window(owner, desktop, current_folder,
                            temp ? QFile::decodeName(temp->c_str()) : QString());
    return window.exec();
}

}  // namespace morvane
