#include "file_list_model.h"

#include <algorithm>
#include <iterator>
#include <numeric>

namespace morvane {

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const FileEntry& row = entry(index.row());
    if (role == Qt::TextAlignmentRole) {
        return index.column() == kSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                       : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role == Qt::ToolTipRole && index.column() == kFile) return row.path();
    if (role != Qt::DisplayRole) return {};
    switch (index.column()) {
        case kFile:
            return row.name;
        case kSize:
            return QString::number(row.size);
        case kDate:
            return row.date;
        default:
            return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::TextAlignmentRole) {
        return section == kSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) return {};
    static const char* const kHeaders[] = {"File", "Size", "Date"};
    return section >= 0 && section < 3 ? QString(kHeaders[section]) : QVariant();
}

void FileListModel::clear() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void FileListModel::add_at_top(std::vector<FileEntry> entries) {
    if (entries.empty()) return;
    beginInsertRows({}, 0, static_cast<int>(entries.size()) - 1);
    std::reverse(entries.begin(), entries.end());
    rows_.insert(rows_.begin(), std::make_move_iterator(entries.begin()),
                 std::make_move_iterator(entries.end()));
    endInsertRows();
}

// The selection stays with its rows.
void FileListModel::sort_by(int column) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const auto before = [column](const FileEntry& a, const FileEntry& b) {
        switch (column) {
            case kSize:
                return a.size < b.size;
            case kDate:
                return a.modified < b.modified;
            default:
                return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
        }
    };
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return before(rows_[a], rows_[b]); });
    std::vector<int> moved_to(rows_.size());
    std::vector<FileEntry> sorted;
    sorted.reserve(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        moved_to[order[i]] = static_cast<int>(i);
        sorted.push_back(std::move(rows_[order[i]]));
    }
    rows_ = std::move(sorted);
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    for (const QModelIndex& old : from) to.append(index(moved_to[old.row()], old.column()));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace morvane
