#pragma once
// Which files of a folder the file selection lists: no folders, dot names, empty files,
// extensions outside the set or names already listed; and the depth-first walk that
// lists a folder with its sub-folders, camera raw files included.

#include <cstdint>
#include <ctime>
#include <functional>
#include <utility>
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

// Case-insensitive, from the name's last dot; the sets are the source format table's
// (source_formats.h): the sub-folder walk takes camera raw files too.
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

// What a listing found: its rows in listing order, the folders it could not read (each
// with the reason), and whether it ran to its end.
struct Listing {
    std::vector<FileEntry> entries;
    std::vector<std::pair<QString, QString>> unreadable;
    bool complete = true;
};

// Told how far a walk has come (folders entered, files listed) at every folder and every
// few hundred entries; false stops the walk.
using WalkProgress = std::function<bool(std::size_t folders, std::size_t files)>;

// Why the folder cannot be read ("No such file or directory"); empty when it can.
[[nodiscard]] QString folder_problem(const QString& folder);

// The files of one folder that may be listed, in the order the folder gives them; a
// folder that cannot be read gives none and is named in `unreadable`.
[[nodiscard]] Listing list_folder(const QString& folder, ListedNames& listed,
                                  ExtensionSet set = ExtensionSet::SingleFolder);

// The folder and every sub-folder that is not a dot name, depth-first, each sub-folder
// walked before the entries after it, with the walk's extension set. A folder reached
// twice (a link back up) is walked once. When `progress` stops it, what was found so far
// is returned with `complete` false.
[[nodiscard]] Listing walk_folder(const QString& folder, ListedNames& listed,
                                  const WalkProgress& progress = {});

}  // namespace morvane
