#include "file_listing.h"

#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include <QFile>

#include "qt_paths.h"
#include "source_formats.h"

#include <dirent.h>
#include <sys/stat.h>

namespace morvane {
namespace {

// Compared the way Qt compares names with letter case ignored.
bool admitted(const QString& extension, Admission where) {
    for (const SourceFormat& format : source_formats()) {
        for (const SourceExtension& known : format.extensions) {
            if ((known.admitted & where) == 0) continue;
            const QLatin1String name(known.name.data(), static_cast<qsizetype>(known.name.size()));
            if (extension.compare(name, Qt::CaseInsensitive) == 0) return true;
        }
    }
    return false;
}

// One entry of a folder: what the listing needs to know of it.
struct Examined {
    bool ok = false;
    bool folder = false;
    std::uint64_t size = 0;
    std::time_t modified = 0;
    std::pair<dev_t, ino_t> id{};
};

Examined examine(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
    return Examined{true,
                    S_ISDIR(st.st_mode),
                    static_cast<std::uint64_t>(st.st_size),
                    st.st_mtime,
                    {st.st_dev, st.st_ino}};
}

// The names of a folder in the order the file system gives them, dot names left out;
// false with `error` set when the folder cannot be opened.
bool names_in(const QString& folder, std::vector<QString>& names, QString& error) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!name.startsWith('.')) names.push_back(name);
    }
    ::closedir(dir);
    return true;
}

void take_file(const QString& folder, const QString& name, const Examined& info, ExtensionSet set,
               ListedNames& listed, std::vector<FileEntry>& out) {
    if (info.folder || info.size == 0 || !listed_extension(name, set)) return;
    if (!listed.add(name)) return;
    QString tidy = folder;
    while (tidy.size() > 1 && tidy.endsWith('/')) tidy.chop(1);
    out.push_back(FileEntry{tidy, name, info.size, info.modified, date_text(info.modified)});
}

// A folder being walked: its names and the next one to look at.
struct OpenFolder {
    QString path;
    std::vector<QString> names;
    std::size_t next = 0;
};

constexpr std::size_t kEntriesBetweenReports = 256;

// The walk keeps its own stack of open folders, so that a deep tree needs no deep calls.
class Walk {
  public:
    Walk(ListedNames& listed, const WalkProgress& progress)
        : listed_(listed), progress_(progress) {}

    Listing run(const QString& top) {
        const Examined info = examine(top);
        if (info.ok) visited_.insert(info.id);
        enter(top);
        while (!open_.empty() && result_.complete) step();
        return std::move(result_);
    }

  private:
    void enter(const QString& folder) {
        OpenFolder opened{folder, {}, 0};
        QString error;
        if (!names_in(folder, opened.names, error)) result_.unreadable.emplace_back(folder, error);
        ++folders_;
        open_.push_back(std::move(opened));
        report();
    }

    void step() {
        OpenFolder& current = open_.back();
        if (current.next == current.names.size()) {
            open_.pop_back();
            return;
        }
        const QString& name = current.names[current.next++];
        const QString path = joined_path(current.path, name);
        const Examined info = examine(path);
        if (++entries_ % kEntriesBetweenReports == 0) report();
        if (!info.ok) return;
        if (!info.folder) {
            take_file(current.path, name, info, ExtensionSet::SubFolderWalk, listed_,
                      result_.entries);
        } else if (visited_.insert(info.id).second) {
            enter(path);  // `current` is not used past this point: the stack may move
        }
    }

    void report() {
        if (progress_ && !progress_(folders_, result_.entries.size())) result_.complete = false;
    }

    ListedNames& listed_;
    const WalkProgress& progress_;
    std::set<std::pair<dev_t, ino_t>> visited_;
    std::vector<OpenFolder> open_;
    Listing result_;
    std::size_t folders_ = 0;
    std::size_t entries_ = 0;
};

}  // namespace

QString FileEntry::path() const {
    return joined_path(folder, name);
}

bool listed_extension(const QString& name, ExtensionSet set) {
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0) return false;
    const QString extension = name.mid(dot);
    return admitted(extension,
                    set == ExtensionSet::SubFolderWalk ? kSubFolderWalk : kFolderListing);
}

QString date_text(std::time_t modified) {
    std::tm local{};
    if (::localtime_r(&modified, &local) == nullptr) return {};
    return QString::asprintf("%02d/%02d/%04d %02d:%02d", local.tm_mon + 1, local.tm_mday,
                             local.tm_year + 1900, local.tm_hour, local.tm_min);
}

bool ListedNames::add(const QString& name) {
    const QString key = name.toCaseFolded();
    if (names_.contains(key)) return false;
    names_.insert(key);
    return true;
}

QString folder_problem(const QString& folder) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) return QString::fromLocal8Bit(std::strerror(errno));
    ::closedir(dir);
    return {};
}

Listing list_folder(const QString& folder, ListedNames& listed, ExtensionSet set) {
    Listing out;
    std::vector<QString> names;
    QString error;
    if (!names_in(folder, names, error)) out.unreadable.emplace_back(folder, error);
    for (const QString& name : names) {
        const Examined info = examine(joined_path(folder, name));
        if (info.ok) take_file(folder, name, info, set, listed, out.entries);
    }
    return out;
}

Listing walk_folder(const QString& folder, ListedNames& listed, const WalkProgress& progress) {
    return Walk(listed, progress).run(folder);
}

}  // namespace morvane
