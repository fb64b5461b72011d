#include "file_listing.h"

#include <array>
#include <set>
#include <utility>

#include <QFile>

#include "qt_paths.h"

#include <dirent.h>
#include <sys/stat.h>

namespace morvane {
namespace {

constexpr std::array kSingleFolder{
    ".ai",  ".ps",  ".avi", ".bmp", ".cur",  ".dcm", ".emf", ".eps",  ".fpx", ".gif",
    ".ico", ".jng", ".jpg", ".jpe", ".jpeg", ".mpg", ".m2v", ".mpeg", ".pct", ".pict",
    ".png", ".pdf", ".ps2", ".ps3", ".psd",  ".pcx", ".tga", ".tif",  ".wmf", ".tiff"};
constexpr std::array kCameraRaw{".cr2", ".crw", ".dir", ".dng", ".k25", ".kdc", ".mdc", ".mos",
                                ".mrw", ".orf", ".nef", ".pef", ".raf", ".srf", ".x3f"};

template <std::size_t N>
bool in_set(const QString& extension, const std::array<const char*, N>& set) {
    for (const char* listed : set) {
        if (extension.compare(QLatin1String(listed), Qt::CaseInsensitive) == 0) return true;
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

// The names of a folder in the order the file system gives them.
std::vector<QString> names_in(const QString& folder) {
    std::vector<QString> names;
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!name.startsWith('.')) names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

void take_file(const QString& folder, const QString& name, const Examined& info, ExtensionSet set,
               ListedNames& listed, std::vector<FileEntry>& out) {
    if (info.folder || info.size == 0 || !listed_extension(name, set)) return;
    if (!listed.add(name)) return;
    QString tidy = folder;
    while (tidy.size() > 1 && tidy.endsWith('/')) tidy.chop(1);
    out.push_back(FileEntry{tidy, name, info.size, info.modified, date_text(info.modified)});
}

using Visited = std::set<std::pair<dev_t, ino_t>>;

// A folder reached twice (a link back to a folder above it) is walked once.
void walk(const QString& folder, ListedNames& listed, std::vector<FileEntry>& out,
          Visited& visited) {
    for (const QString& name : names_in(folder)) {
        const QString path = joined_path(folder, name);
        const Examined info = examine(path);
        if (!info.ok) continue;
        if (info.folder) {
            if (visited.insert(info.id).second) walk(path, listed, out, visited);
            continue;
        }
        take_file(folder, name, info, ExtensionSet::SubFolderWalk, listed, out);
    }
}

}  // namespace

QString FileEntry::path() const {
    return joined_path(folder, name);
}

bool listed_extension(const QString& name, ExtensionSet set) {
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0) return false;
    const QString extension = name.mid(dot);
    if (in_set(extension, kSingleFolder)) return true;
    return set == ExtensionSet::SubFolderWalk && in_set(extension, kCameraRaw);
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

std::vector<FileEntry> list_folder(const QString& folder, ListedNames& listed, ExtensionSet set) {
    std::vector<FileEntry> out;
    for (const QString& name : names_in(folder)) {
        const Examined info = examine(joined_path(folder, name));
        if (info.ok) take_file(folder, name, info, set, listed, out);
    }
    return out;
}

std::vector<FileEntry> walk_folder(const QString& folder, ListedNames& listed) {
    std::vector<FileEntry> out;
    Visited visited;
    const Examined top = examine(folder);
    if (top.ok) visited.insert(top.id);
    walk(folder, listed, out, visited);
    return out;
}

}  // namespace morvane
