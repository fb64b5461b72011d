#pragma once
// The file list's rows: one record per file, whose cells are drawn from the record when
// the view paints them, so that a folder of ten thousand files lists at once.

#include <vector>

#include <QAbstractTableModel>

#include "file_listing.h"

namespace morvane {

class FileListModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { kFile = 0, kSize = 1, kDate = 2 };

    using QAbstractTableModel::QAbstractTableModel;

    [[nodiscard]] int rowCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex& parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role) const override;

    void clear();
    // Each entry goes to the top in turn: the rows show in the reverse of their order.
    void add_at_top(std::vector<FileEntry> entries);
    // Ascending by a column: names case-insensitively, sizes as numbers, dates by time.
    void sort_by(int column);
    [[nodiscard]] const FileEntry& entry(int row) const {
        return rows_.at(static_cast<std::size_t>(row));
    }

  private:
    std::vector<FileEntry> rows_;
};

}  // namespace morvane
