#include "selected_files.h"

#include <algorithm>
#include <iterator>

namespace morvane {
namespace {

// Past this many rows at once the view is told of a reset rather than of each insertion,
// which would move the rows after it every time.
constexpr qsizetype kRowsInsertedOneByOne = 32;
constexpr std::size_t kRangesRemovedOneByOne = 32;

QString key_of(const QString& path) {
    return path.toCaseFolded();
}

}  // namespace

bool listed_before(const QString& a, const QString& b) {
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

int SelectedFiles::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant SelectedFiles::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) return path(index.row());
    return {};
}

bool SelectedFiles::contains(const QString& path) const {
    return keys_.contains(key_of(path));
}

void SelectedFiles::add(QStringList paths) {
    QStringList fresh;
    for (QString& path : paths) {
        const QString key = key_of(path);
        if (keys_.contains(key)) continue;
        keys_.insert(key);
        fresh.append(std::move(path));
    }
    if (fresh.size() <= kRowsInsertedOneByOne) {
        for (const QString& path : fresh) insert_one(path);
        return;
    }
    std::sort(fresh.begin(), fresh.end(), listed_before);
    beginResetModel();
    std::vector<QString> merged;
    merged.reserve(rows_.size() + static_cast<std::size_t>(fresh.size()));
    std::merge(std::make_move_iterator(rows_.begin()), std::make_move_iterator(rows_.end()),
               fresh.begin(), fresh.end(), std::back_inserter(merged), listed_before);
    rows_ = std::move(merged);
    endResetModel();
}

void SelectedFiles::insert_one(const QString& path) {
    const auto at = std::lower_bound(rows_.begin(), rows_.end(), path, listed_before);
    const int row = static_cast<int>(at - rows_.begin());
    beginInsertRows({}, row, row);
    rows_.insert(at, path);
    endInsertRows();
}

// A few runs of rows go one by one from the bottom up, so that the view keeps its place;
// many scattered rows go in one pass.
void SelectedFiles::remove_rows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    std::erase_if(rows, [this](int row) { return row < 0 || row >= rowCount(); });
    std::vector<std::pair<int, int>> runs;  // first, last
    for (const int row : rows) {
        if (!runs.empty() && runs.back().second + 1 == row) {
            runs.back().second = row;
        } else {
            runs.emplace_back(row, row);
        }
    }
    for (const int row : rows) keys_.remove(key_of(path(row)));
    if (runs.size() <= kRangesRemovedOneByOne) {
        for (auto run = runs.rbegin(); run != runs.rend(); ++run) {
            beginRemoveRows({}, run->first, run->second);
            rows_.erase(rows_.begin() + run->first, rows_.begin() + run->second + 1);
            endRemoveRows();
        }
        return;
    }
    beginResetModel();
    std::vector<QString> kept;
    kept.reserve(rows_.size() - rows.size());
    std::size_t next_gone = 0;
    for (std::size_t row = 0; row < rows_.size(); ++row) {
        if (next_gone < rows.size() && static_cast<std::size_t>(rows[next_gone]) == row) {
            ++next_gone;
            continue;
        }
        kept.push_back(std::move(rows_[row]));
    }
    rows_ = std::move(kept);
    endResetModel();
}

void SelectedFiles::clear() {
    beginResetModel();
    rows_.clear();
    keys_.clear();
    endResetModel();
}

QStringList SelectedFiles::paths() const {
    return QStringList(rows_.begin(), rows_.end());
}

}  // namespace morvane
