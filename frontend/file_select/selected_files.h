#pragma once
// The files picked for the next run: full paths kept in case-insensitive order, never two
// that differ only in letter case, added and removed in bulk without work per other row.

#include <vector>

#include <QAbstractListModel>
#include <QSet>
#include <QStringList>

namespace morvane {

class SelectedFiles : public QAbstractListModel {
    Q_OBJECT

  public:
    using QAbstractListModel::QAbstractListModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;

    // True when the path, compared without letter case, is chosen already.
    [[nodiscard]] bool contains(const QString& path) const;
    // Adds paths that are not chosen yet, each once, each at its place in the order.
    void add(QStringList paths);
    // Removes the rows (in any order, repeats allowed).
    void remove_rows(std::vector<int> rows);
    void clear();
    [[nodiscard]] const QString& path(int row) const {
        return rows_.at(static_cast<std::size_t>(row));
    }
    // Every path, in the list's order.
    [[nodiscard]] QStringList paths() const;

  private:
    void insert_one(const QString& path);

    std::vector<QString> rows_;
    QSet<QString> keys_;  // case-folded paths
};

// The list's order: case-insensitive, then by the exact characters.
[[nodiscard]] bool listed_before(const QString& a, const QString& b);

}  // namespace morvane
