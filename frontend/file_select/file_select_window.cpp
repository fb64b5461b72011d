#include "file_select_window.h"

#include <algorithm>

#include <QAction>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>

#include "dialog_table.h"
#include "file_list_model.h"
#include "folder_tree.h"
#include "selected_files.h"
#include "temp_folder.h"
#include "toolbar_icons.h"
#include "work_progress.h"

namespace morvane {
namespace {

struct ToolButton {
    int command;  // 0: a separator
    int image;
    const char* tooltip;
    const char* keys;      // the keys the tooltip names
    const char* shortcut;  // the action's own shortcut; the window handles the others
};

constexpr ToolButton kToolbar[] = {
    {0, 0, nullptr, nullptr, nullptr},
    {IDM_ADD_FOLDER, 0, "Select all the folder", "Ctrl+Shift+A; Enter adds the selected rows",
     "Ctrl+Shift+A"},
    {IDM_ADD_TREE, 1, "Select all the folder and its children folders", "Ctrl+Shift+S",
     "Ctrl+Shift+S"},
    {0, 0, nullptr, nullptr, nullptr},
    {IDM_REMOVE_SELECTED, 2, "Remove the selected files", "Del", nullptr},
    {IDM_REMOVE_ALL, 6, "Remove all the files", "Ctrl+Del", "Ctrl+Del"},
    {0, 0, nullptr, nullptr, nullptr},
    {IDM_GRID, 3, "Show / Hide the grid", "Ctrl+G", "Ctrl+G"},
    {0, 0, nullptr, nullptr, nullptr},
    {IDM_SELECT_HELP, 7, "Display Help", "F1", "F1"},
    {IDM_SELECT_CANCEL, 5, "Close the window without any selection", "Esc", nullptr},
    {IDM_SELECT_OK, 4, "Close the window", "Enter", nullptr},
};

// Column widths in pixels of the classic dialog font.
constexpr int kColumnWidths[] = {295, 95, 105};

bool is_enter(const QKeyEvent* key) {
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

}  // namespace

FileSelectWindow::FileSelectWindow(QWidget* owner, const Desktop& desktop, QString& current_folder,
                                   QString temp_folder)
    : QDialog(owner),
      desktop_(desktop),
      current_folder_(current_folder),
      temp_folder_(std::move(temp_folder)),
      progress_delay_(kProgressDelay) {
    setWindowTitle("Tarvik_morvane - Select files");
    set_control_id(this, IDD_FILE_SELECT);
    build();
    set_tab_order();
    place();
    tree_->fill_top_level();
    tree_->setFocus();
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
    file_list_->setTabKeyNavigation(false);  // Tab leaves the list; the arrows move in it
    file_list_->verticalHeader()->hide();
    file_list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    file_list_->horizontalHeader()->setSectionsClickable(true);
    file_list_->horizontalHeader()->setHighlightSections(false);
    file_list_->setAccessibleName("Files");
    file_list_->installEventFilter(this);
    label_ = new QLabel(QString::fromUtf8("&Fichiers sélectionnés:"), this);
    // A label is heard as the text it shows, so it has no name of its own; an empty one
    // stays hidden, as there is nothing to read.
    count_ = new QLabel(this);
    count_->hide();
    notice_ = new QLabel(this);
    notice_->hide();
    selected_files_ = new SelectedFiles(this);
    selected_ = new QListView(this);
    selected_->setModel(selected_files_);
    selected_->setUniformItemSizes(true);
    selected_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    selected_->setAccessibleName(without_mnemonics(label_->text()));
    selected_->installEventFilter(this);
    label_->setBuddy(selected_);
    tree_ = new FolderTree(this);
    watcher_ = new QFileSystemWatcher(this);
    set_control_id(file_list_, IDC_FILE_LIST);
    set_control_id(label_, IDC_SELECTED_LABEL);
    set_control_id(count_, IDC_SELECTED_COUNT);
    set_control_id(notice_, IDC_SELECT_NOTICE);
    set_control_id(selected_, IDC_SELECTED_LIST);
    build_toolbar();

    connect(file_list_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { files_->sort_by(column); });
    connect(file_list_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!busy_ && index.isValid()) add_rows({index.row()});
    });
    connect(tree_, &FolderTree::folder_chosen, this, &FileSelectWindow::choose_folder);
    connect(tree_, &FolderTree::folder_unreadable, this,
            [this](const QString& folder, const QString& reason) {
                show_unreadable({{folder, reason}});
            });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this,
            &FileSelectWindow::folder_changed);
}

// Every button is a tab stop and carries its command's id, as its action does; the keys
// its tooltip names work from anywhere in the window.
void FileSelectWindow::build_toolbar() {
    toolbar_ = new QToolBar(this);
    set_control_id(toolbar_, IDC_TOOLBAR);
    toolbar_->setAccessibleName("Commands");
    const int icon = std::max(16, fontMetrics().height());
    toolbar_->setIconSize(QSize(icon, icon));
    toolbar_->setMovable(false);
    for (const ToolButton& button : kToolbar) {
        if (button.command == 0) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = toolbar_->addAction(toolbar_icon(button.image), button.tooltip);
        action->setToolTip(QString("%1 (%2)").arg(button.tooltip, button.keys));
        if (button.shortcut != nullptr) action->setShortcut(QKeySequence(button.shortcut));
        set_control_id(action, button.command);
        QWidget* widget = toolbar_->widgetForAction(action);
        set_control_id(widget, button.command);
        widget->setFocusPolicy(Qt::TabFocus);
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

// As a person reads the window: the toolbar from left to right, then the tree on the
// left, the file list and the selected files below it.
void FileSelectWindow::set_tab_order() {
    QWidget* previous = nullptr;
    const auto chain = [&previous](QWidget* next) {
        if (previous != nullptr) setTabOrder(previous, next);
        previous = next;
    };
    for (QAction* action : toolbar_->actions()) {
        if (!action->isSeparator()) chain(toolbar_->widgetForAction(action));
    }
    chain(tree_);
    chain(file_list_);
    chain(selected_);
}

// The window's dialog units, pushed down where the toolbar is taller than the room the
// layout leaves it, and widened where the font draws the label wider.
void FileSelectWindow::place() {
    DialogUnits units(font());
    units = units.widened_for(label_->sizeHint().width(), 68);
    units = units.widened_for(fontMetrics().horizontalAdvance("0000000"), 29);
    const int toolbar_height = toolbar_->sizeHint().height();
    const int top = std::max(0, toolbar_height + 2 - units.y(17));
    const auto at = [&](int x, int y, int w, int h) {
        return units.rect(x, y, w, h).translated(0, top);
    };
    file_list_->setGeometry(at(133, 17, 319, 150));
    label_->setGeometry(at(133, 173, 68, 8));
    count_->setGeometry(at(206, 173, 29, 8));
    notice_->setGeometry(at(240, 173, 212, 8));
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

void FileSelectWindow::show_count(qsizetype count) {
    count_->setText(QString::number(count));
    count_->show();
}

QString FileSelectWindow::count_text() const {
    return count_->text();
}

// The notice shows as much as its room holds; the whole text is its tooltip.
void FileSelectWindow::show_notice(const QString& text, const QString& detail) {
    const QString shown =
        notice_->fontMetrics().elidedText(text, Qt::ElideMiddle, notice_->contentsRect().width());
    notice_->setText(shown);
    notice_->setToolTip(detail.isEmpty() ? text : detail);
    notice_->setVisible(!text.isEmpty());
}

QString FileSelectWindow::notice_text() const {
    return notice_->toolTip();
}

// The folder's own name is shortened first when the notice has no room for it all.
void FileSelectWindow::show_unreadable(const std::vector<std::pair<QString, QString>>& folders) {
    if (folders.empty()) return;
    const auto& [folder, reason] = folders.front();
    QString tail = QString("%1 cannot be read: %2").arg(QString::fromUtf8("\u201d"), reason);
    QString detail = QString("%1 cannot be read: %2").arg(folder, reason);
    if (folders.size() > 1) {
        const QString more = QString(" (%1 more folders)").arg(folders.size() - 1);
        tail += more;
        detail += more;
    }
    const QString name =
        QFileInfo(folder).fileName().isEmpty() ? folder : QFileInfo(folder).fileName();
    const QString open_quote = QString::fromUtf8("\u201c");
    const QFontMetrics metrics = notice_->fontMetrics();
    const int room = notice_->contentsRect().width() - metrics.horizontalAdvance(open_quote + tail);
    show_notice(open_quote + metrics.elidedText(name, Qt::ElideMiddle, std::max(room, 0)) + tail,
                detail);
}

// The listed folder is watched, so that its going away is told at once.
void FileSelectWindow::watch(const QString& folder) {
    if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    if (!folder.isEmpty() && folder_problem(folder).isEmpty()) watcher_->addPath(folder);
}

void FileSelectWindow::folder_changed(const QString& folder) {
    if (folder != current_folder_) return;
    const QString problem = folder_problem(folder);
    if (!problem.isEmpty()) show_unreadable({{folder, problem}});
}

QAction* FileSelectWindow::action(int id) const {
    return toolbar_->findChild<QAction*>(QString::number(id));
}

// Enter in the file list adds its selected rows and never reaches OK; Delete there, or
// in the selected-files list, removes the selected entries of the selected-files list.
bool FileSelectWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || (watched != file_list_ && watched != selected_)) {
        return QDialog::eventFilter(watched, event);
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
        command(IDM_REMOVE_SELECTED);
        return watched == selected_;
    }
    if (watched == file_list_ && is_enter(key)) {
        command(IDM_ADD_SELECTED);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// Enter does what OK does, or presses the toolbar button that has the focus; Escape is
// Cancel.
void FileSelectWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        command(IDM_SELECT_CANCEL);
        return;
    }
    if (is_enter(event) && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (auto* button = qobject_cast<QToolButton*>(focusWidget())) {
            button->click();
        } else {
            command(IDM_SELECT_OK);
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

int run_file_selection(QWidget* owner, const Desktop& desktop, QString& current_folder) {
    const auto temp = user_temp_folder();
    FileSelectWindow window(owner, desktop, current_folder,
                            temp ? QFile::decodeName(temp->c_str()) : QString());
    return window.exec();
}

}  // namespace morvane
