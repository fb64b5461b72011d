#pragma once
// The folder tree of the file selection: the user's own folders, the root and the mounted
// volumes at the top, each folder's sub-folders read once, when it is first expanded.

#include <vector>

#include <QString>
#include <QStringList>
#include <QTreeView>

namespace morvane {

class FolderModel;

// The user's home, desktop and documents folders, the file-system root and the mounted
// volumes at the top; below each folder its non-hidden sub-folders, read once, on first
// expansion and never again while the tree lives.
class FolderTree : public QTreeView {
    Q_OBJECT

  public:
    explicit FolderTree(QWidget* parent = nullptr);

    // Fills the top level again (deleting all nodes) and expands the first top-level node.
    void fill_top_level();
    // The absolute path of the chosen node's folder, empty when none is chosen.
    [[nodiscard]] QString chosen_folder() const;
    // Chooses the node whose absolute path is `path`, reading and expanding its
    // ancestors; false when no node leads there.
    bool choose(const QString& path);

  signals:
    // A node was chosen: its absolute folder path.
    void folder_chosen(const QString& path);
    // A node's sub-folders could not be read (the folder is gone or closed to the user).
    void folder_unreadable(const QString& path, const QString& reason);

  protected:
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

  private:
    void expand_node(const QModelIndex& index);

    FolderModel* model_;
};

// The top-level folders in order: home, desktop, documents (those that exist, each once),
// the root, then the mounted volumes that hold user data.
[[nodiscard]] std::vector<QString> top_level_folders();

// The non-hidden sub-folders of `folder` (links to folders included), sorted by the
// locale and regardless of letter case; empty when the folder cannot be read.
[[nodiscard]] QStringList sub_folders(const QString& folder);

}  // namespace morvane
