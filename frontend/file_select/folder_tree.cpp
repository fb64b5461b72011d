#include "folder_tree.h"

#include <algorithm>
#include <array>
#include <functional>

#include <QApplication>
#include <QCollator>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QItemSelection>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QStorageInfo>

#include "dialog_table.h"
#include "file_listing.h"
#include "qt_paths.h"

namespace morvane {
namespace {

constexpr int kFolderTreeId = 10000;

// What each node records of its folder.
enum NodeRole {
    kParentRole = Qt::UserRole + 1,  // the parent node's folder; empty at the top
    kNameRole,                       // the folder's own name ("/" for the root)
    kPathRole,                       // the folder's absolute path
    kFilledRole,                     // the sub-folders are read, or there are none to read
};

QString name_of(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

// True when `path` is `folder` or lies below it.
bool is_within(const QString& path, const QString& folder) {
    return path == folder || folder == QLatin1String("/") || path.startsWith(folder + '/');
}

// A folder with at least one non-hidden sub-folder; stops at the first one.
bool has_sub_folder(const QString& folder) {
    return QDirIterator(folder, QDir::Dirs | QDir::NoDotAndDotDot).hasNext();
}

// File systems that hold no user data: kernel views, memory and container layers.
bool is_pseudo_volume(const QStorageInfo& volume) {
    static constexpr std::array kPseudoTypes = {
        "autofs",   "binfmt_misc", "bpf",        "configfs", "debugfs", "devpts",  "devtmpfs",
        "efivarfs", "fusectl",     "hugetlbfs",  "mqueue",   "nsfs",    "overlay", "proc",
        "pstore",   "ramfs",       "securityfs", "sysfs",    "tmpfs",   "tracefs"};
    const QByteArray type = volume.fileSystemType();
    if (type.startsWith("cgroup")) return true;
    if (type == "squashfs" && volume.rootPath().startsWith(QLatin1String("/snap/"))) return true;
    return std::find(kPseudoTypes.begin(), kPseudoTypes.end(), type) != kPseudoTypes.end();
}

// Mounts the system keeps for itself; removable media under /run/media are the user's.
bool is_system_mount(const QString& root) {
    if (is_within(root, QStringLiteral("/run/media"))) return false;
    for (const char* system : {"/proc", "/sys", "/dev", "/run"}) {
        if (is_within(root, QLatin1String(system))) return true;
    }
    return false;
}

struct TopFolder {
    QString path;
    QString label;
};

std::vector<TopFolder> top_folders() {
    std::vector<TopFolder> folders;
    auto add = [&folders](const QString& path, const QString& label) {
        const QString tidy = tidied_path(path);
        if (!QDir::isAbsolutePath(tidy) || !QFileInfo(tidy).isDir()) return;
        const auto same = [&tidy](const TopFolder& folder) { return folder.path == tidy; };
        if (std::any_of(folders.begin(), folders.end(), same)) return;
        folders.push_back({tidy, label.isEmpty() ? name_of(tidy) : label});
    };
    for (const auto location : {QStandardPaths::HomeLocation, QStandardPaths::DesktopLocation,
                                QStandardPaths::DocumentsLocation}) {
        add(QStandardPaths::writableLocation(location), QString());
    }
    add(QStringLiteral("/"), QStringLiteral("/"));
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || !volume.isReady() || root == QLatin1String("/")) continue;
        if (is_pseudo_volume(volume) || is_system_mount(root)) continue;
        add(root, volume.displayName());
    }
    return folders;
}

QModelIndex child_named(const QAbstractItemModel& model, const QModelIndex& parent,
                        const QString& name) {
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        if (child.data(kNameRole).toString() == name) return child;
    }
    return {};
}

}  // namespace

// The nodes of the tree; a node's sub-folders are read when the view first asks for them.
class FolderModel : public QStandardItemModel {
  public:
    using QStandardItemModel::QStandardItemModel;

    void fill_top() {
        clear();
        for (const TopFolder& top : top_folders()) {
            appendRow(make_node(QString(), top.path, top.label));
        }
    }

    [[nodiscard]] bool hasChildren(const QModelIndex& parent) const override {
        return canFetchMore(parent) || QStandardItemModel::hasChildren(parent);
    }
    [[nodiscard]] bool canFetchMore(const QModelIndex& parent) const override {
        return parent.isValid() && !parent.data(kFilledRole).toBool();
    }

    // Told of a folder whose sub-folders cannot be read, with the reason.
    std::function<void(const QString& folder, const QString& reason)> unreadable;

    void fetchMore(const QModelIndex& parent) override {
        QStandardItem* node = itemFromIndex(parent);
        if (node == nullptr || node->data(kFilledRole).toBool()) return;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const QString folder = node->data(kPathRole).toString();
        const QString problem = folder_problem(folder);
        if (!problem.isEmpty() && unreadable) unreadable(folder, problem);
        QList<QStandardItem*> rows;
        for (const QString& name : sub_folders(folder)) {
            rows.append(make_node(folder, joined_path(folder, name), name));
        }
        node->setData(true, kFilledRole);
        if (!rows.isEmpty()) node->appendRows(rows);
        QApplication::restoreOverrideCursor();
    }

  private:
    QStandardItem* make_node(const QString& parent_folder, const QString& path,
                             const QString& text) {
        auto* node = new QStandardItem(folder_icon_, text);
        node->setEditable(false);
        node->setData(parent_folder, kParentRole);
        node->setData(name_of(path), kNameRole);
        node->setData(path, kPathRole);
        node->setData(!has_sub_folder(path), kFilledRole);
        return node;
    }

    QFileIconProvider icons_;
    QIcon folder_icon_ = icons_.icon(QFileIconProvider::Folder);
};

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), model_(new FolderModel(this)) {
    set_control_id(this, kFolderTreeId);
    setAccessibleName(QStringLiteral("Folders"));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The view reads a node's sub-folders itself when it first lays the expanded node out.
    setModel(model_);
    model_->unreadable = [this](const QString& folder, const QString& reason) {
        emit folder_unreadable(folder, reason);
    };
    fill_top_level();
}

void FolderTree::fill_top_level() {
    model_->fill_top();
    const QModelIndex first = model_->index(0, 0);
    if (!first.isValid()) return;
    expand_node(first);
    expand(first);
}

QString FolderTree::chosen_folder() const {
    const QModelIndexList chosen = selectionModel()->selectedIndexes();
    return chosen.isEmpty() ? QString() : chosen.first().data(kPathRole).toString();
}

bool FolderTree::choose(const QString& path) {
    const QString target = tidied_path(path);
    if (!QDir::isAbsolutePath(target)) return false;
    // The top-level folder nearest to the target leads there in the fewest steps.
    QModelIndex node;
    for (int row = 0; row < model_->rowCount(); ++row) {
        const QModelIndex top = model_->index(row, 0);
        const QString top_path = top.data(kPathRole).toString();
        if (!is_within(target, top_path)) continue;
        if (!node.isValid() || top_path.size() > node.data(kPathRole).toString().size()) node = top;
    }
    if (!node.isValid()) return false;
    const QString rest = target.mid(node.data(kPathRole).toString().size());
    for (const QString& name : rest.split('/', Qt::SkipEmptyParts)) {
        expand_node(node);
        expand(node);
        node = child_named(*model_, node, name);
        if (!node.isValid()) return false;
    }
    setCurrentIndex(node);
    scrollTo(node);
    return true;
}

void FolderTree::selectionChanged(const QItemSelection& selected,
                                  const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    const QModelIndexList chosen = selected.indexes();
    if (!chosen.isEmpty()) emit folder_chosen(chosen.first().data(kPathRole).toString());
}

// Reads the node's sub-folders now, for callers that need them before the next layout.
void FolderTree::expand_node(const QModelIndex& index) {
    if (model_->canFetchMore(index)) model_->fetchMore(index);
}

std::vector<QString> top_level_folders() {
    std::vector<QString> paths;
    for (const TopFolder& top : top_folders()) paths.push_back(top.path);
    return paths;
}

QStringList sub_folders(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        const int order = collator.compare(a, b);
        return order != 0 ? order < 0 : a < b;
    });
    return names;
}

}  // namespace morvane
