#pragma once
// "Tarvik_morvane - Select files": the folder tree, the files of the chosen folder and
// the files picked for the next run, which OK writes to the file-list file.

#include <QDialog>
#include <QString>

#include "desktop.h"
#include "file_listing.h"

class QAction;
class QLabel;
class QListWidget;
class QTableView;
class QToolBar;

namespace morvane {

class FileListModel;
class FolderTree;

inline constexpr int IDD_FILE_SELECT = 305;
inline constexpr int IDC_FILE_LIST = 1541;
inline constexpr int IDC_SELECTED_LABEL = 1549;
inline constexpr int IDC_SELECTED_COUNT = 1551;
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
    [[nodiscard]] QListWidget* selected() const { return selected_; }
    [[nodiscard]] FolderTree* tree() const { return tree_; }
    [[nodiscard]] QString count_text() const;
    [[nodiscard]] QAction* action(int id) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void build();
    void build_toolbar();
    void place();
    void add_all_rows();
    void add_selected_rows();
    void add_double_clicked(int row);
    void list_tree();
    void remove_selected();
    void finish();
    // False when the user chose Cancel: the adding stops.
    bool add_path(const QString& path);
    void show_count(qsizetype count);

    Desktop desktop_;
    QString& current_folder_;
    QString temp_folder_;
    ListedNames listed_;
    QToolBar* toolbar_ = nullptr;
    FolderTree* tree_ = nullptr;
    QTableView* file_list_ = nullptr;
    FileListModel* files_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* label_ = nullptr;
    QListWidget* selected_ = nullptr;
};

// Opens the window modally over the Monitor window's state.
int run_file_selection(QWidget* owner, const Desktop& desktop, QString& current_folder);

}  // namespace morvane
