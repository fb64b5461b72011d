#include "install_record.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QFile>

#include "fd_io.h"
#include "path_util.h"

namespace morvane {
namespace {

constexpr std::string_view kHeader = "Tarvik_morvane installation 1";

bool has_line_breaks(std::string_view text) {
    return text.find_first_of(std::string_view("\t\n\r\0", 4)) != std::string_view::npos;
}

bool safe_name(std::string_view name) {
    return !name.empty() && name.find('/') == std::string_view::npos &&
           name.find("..") == std::string_view::npos && name != "." && !has_line_breaks(name);
}

bool safe_hash(std::string_view hash) {
    if (hash.empty()) return true;
    if (hash.size() != 64) return false;
    return hash.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool ends_with_any(std::string_view path, std::initializer_list<std::string_view> tails) {
    for (std::string_view tail : tails) {
        if (path.ends_with(tail)) return true;
    }
    return false;
}

// Absolute, no "." or ".." parts, and a menu entry, menu directory entry or menu file.
bool safe_menu_path(std::string_view path) {
    if (path.empty() || path.front() != '/' || has_line_breaks(path)) return false;
    const std::string wrapped = std::string(path) + "/";
    if (wrapped.find("/./") != std::string::npos || wrapped.find("/../") != std::string::npos) {
        return false;
    }
    return ends_with_any(path, {".desktop", ".directory", ".menu"});
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// One line of the record into `record`; false when it is not one of ours or unsafe.
bool read_line(std::string_view line, InstallRecord& record) {
    const std::vector<std::string_view> fields = split(line, '\t');
    if (fields.size() == 3 && fields[0] == "file" && safe_hash(fields[1]) && safe_name(fields[2])) {
        record.files.emplace_back(std::string(fields[2]), std::string(fields[1]));
        return true;
    }
    if (fields.size() == 2 && fields[0] == "menu" && safe_menu_path(fields[1])) {
        record.menu_files.emplace_back(fields[1]);
        return true;
    }
    return false;
}

}  // namespace

bool replace_file(const std::string& path, const std::string& bytes, std::string& error) {
    create_file_folders(path);
    return replace_whole(path, bytes, 0644, error);
}

bool write_install_record(const std::string& folder, const InstallRecord& record,
                          std::string& error) {
    std::string text = std::string(kHeader) + "\n";
    for (const auto& [name, hash] : record.files) {
        if (!safe_name(name) || !safe_hash(hash)) {
            error = "not a file of the installation folder: " + name;
            return false;
        }
        text += "file\t" + hash + "\t" + name + "\n";
    }
    for (const std::string& path : record.menu_files) {
        if (!safe_menu_path(path)) {
            error = "not a menu file: " + path;
            return false;
        }
        text += "menu\t" + path + "\n";
    }
    const std::string path = join_path(folder, kInstallRecordName);
    if (replace_file(path, text, error)) return true;
    error = path + ": " + error;
    return false;
}

std::optional<InstallRecord> read_install_record(const std::string& folder) {
    UniqueFd fd(::open(join_path(folder, kInstallRecordName).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return std::nullopt;
    const std::string text = read_rest(fd.get());
    std::vector<std::string_view> lines = split(text, '\n');
    if (lines.front() != kHeader) return std::nullopt;
    InstallRecord record;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty()) continue;
        if (!read_line(lines[i], record)) return std::nullopt;
    }
    return record;
}

std::string sha256_of_file(const std::string& path) {
    QFile file(QFile::decodeName(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) return {};
    return hash.result().toHex().toStdString();
}

}  // namespace morvane
