#pragma once
// "Tarvik_morvane - Select files": the folder tree, the files of the chosen folder and
// the files picked for the next run, which OK writes to the file-list file.

#include <chrono>
#include <vector>

#include <QDialog>
#include <QString>

#include "desktop.h"
#include "file_listing.h"

class QAction;
class QFileSystemWatcher;
class QLabel;
class QListView;
class QTableView;
class QToolBar;

namespace morvane {

class FileListModel;
class FolderTree;
class SelectedFiles;

inline constexpr int IDD_FILE_SELECT = 305;
inline constexpr int IDC_FILE_LIST = 1541;
inline constexpr int IDC_SELECTED_LABEL = 1549;
inline constexpr int IDC_SELECTED_COUNT = 1551;
inline constexpr int IDC_SELECT_NOTICE = 1550;
inline constexpr int IDC_SELECTED_LIST = 1106;
inline constexpr int IDC_FOLDER_TREE = 10000;
inline constexpr int IDC_TOOLBAR = 326;
inline constexpr int IDM_ADD_FOLDER = 1553;
inline constexpr int IDM_ADD_TREE = 1554;
inline constexpr int IDM_REMOVE_SELECTED = 1555;
inline constexpr int IDM_REMOVE_ALL = 1556;
inline constexpr int IDM_GRID = 1557;
inline constexpr int IDM_ADD_SELECTED = 1559;
inline constexpr int IDM_SELECT_HELP = 1064;
inline constexpr int IDM_SELECT_OK = 1;
inline constexpr int IDM_SELECT_CANCEL = 2;

class FileSelectWindow : public QDialog {
    Q_OBJECT

  public:
    // `current_folder` is the folder last chosen, kept by the caller between openings;
    // `temp_folder` is where OK writes the file-list file.
    FileSelectWindow(QWidget* owner, const Desktop& desktop, QString& current_folder,
                     QString temp_folder);

    // Runs one of the window's commands, as its toolbar and keys do.
    void command(int id);
    // Lists the folder as choosing it in the tree does, and makes it the current folder.
    void choose_folder(const QString& folder);

    [[nodiscard]] QTableView* file_list() const { return file_list_; }
    [[nodiscard]] FileListModel* files() const { return files_; }
    [[nodiscard]] QListView* selected() const { return selected_; }
    [[nodiscard]] SelectedFiles* selected_files() const { return selected_files_; }
    [[nodiscard]] FolderTree* tree() const { return tree_; }
    [[nodiscard]] QString count_text() const;
    // What the window last had to report (a folder it cannot read, a stopped walk).
    [[nodiscard]] QString notice_text() const;
    [[nodiscard]] QAction* action(int id) const;
    // How long work runs before its progress window comes up.
    void set_progress_delay(std::chrono::milliseconds delay) { progress_delay_ = delay; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void build();
    void build_toolbar();
    void set_tab_order();
    void place();
    void add_selected_rows();
    // Adds the files of the rows in order, until the user stops it.
    void add_rows(const std::vector<int>& rows);
    void list_tree();
    void remove_selected();
    void finish();
    // Why the path may not be added (too long, or chosen already); empty when it may.
    [[nodiscard]] QString refusal_of(const QString& path) const;
    void show_count(qsizetype count);
    void show_notice(const QString& text, const QString& detail = {});
    void show_unreadable(const std::vector<std::pair<QString, QString>>& folders);
    void watch(const QString& folder);
    void folder_changed(const QString& folder);

    Desktop desktop_;
    QString& current_folder_;
    QString temp_folder_;
    ListedNames listed_;
    std::chrono::milliseconds progress_delay_;
    bool busy_ = false;  // a command is running and handling events between its batches
    QToolBar* toolbar_ = nullptr;
    FolderTree* tree_ = nullptr;
    QTableView* file_list_ = nullptr;
    FileListModel* files_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* notice_ = nullptr;
    QListView* selected_ = nullptr;
    SelectedFiles* selected_files_ = nullptr;
    QFileSystemWatcher* watcher_ = nullptr;
};

// Opens the window modally over the Monitor window's state.
int run_file_selection(QWidget* owner, const Desktop& desktop, QString& current_folder);

}  // namespace morvane
