#pragma once
// Which files of a folder the file selection lists: no folders, dot names, empty files,
// extensions outside the set or names already listed; and the depth-first walk that
// lists a folder with its sub-folders, camera raw files included.

#include <cstdint>
#include <ctime>
#include <vector>

#include <QSet>
#include <QString>

namespace morvane {

// One row of the file list. A row keeps its own folder, so that adding it gives its real
// path whichever folder it was listed from.
struct FileEntry {
    QString folder;  // absolute, no trailing '/'
    QString name;    // base name and extension
    std::uint64_t size = 0;
    std::time_t modified = 0;
    QString date;  // "MM/DD/YYYY hh:mm", local time

    [[nodiscard]] QString path() const;
};

enum class ExtensionSet { SingleFolder, SubFolderWalk };

// Case-insensitive, from the name's last dot.
[[nodiscard]] bool listed_extension(const QString& name, ExtensionSet set);

// The "Date" column's text of a time: month, day, four-digit year, hour, minute.
[[nodiscard]] QString date_text(std::time_t modified);

// Names already in the file list, compared case-insensitively.
class ListedNames {
  public:
    // False (and nothing changes) when the name is listed already.
    bool add(const QString& name);
    void clear() { names_.clear(); }

  private:
    QSet<QString> names_;
};

// The files of one folder that may be listed, in the order the folder gives them; a
// folder that cannot be read gives none.
[[nodiscard]] std::vector<FileEntry> list_folder(const QString& folder, ListedNames& listed,
                                                 ExtensionSet set = ExtensionSet::SingleFolder);

// The folder and every sub-folder that is not a dot name, depth-first, each sub-folder
// walked before the entries after it, with the walk's extension set.
[[nodiscard]] std::vector<FileEntry> walk_folder(const QString& folder, ListedNames& listed);

}  // namespace morvane
