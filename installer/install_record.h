#pragma once
// The record of an installation, kept in its folder for uninst: the installed files with
// the hash of their bytes and the menu files the program group wrote.

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvane {

inline constexpr const char* kInstallRecordName = "uninst.list";

struct InstallRecord {
    std::vector<std::pair<std::string, std::string>> files;  // name in the folder, sha256 hex
    std::vector<std::string> menu_files;                     // absolute paths
};

// Text file: first line "Tarvik_morvane installation 1", then "file\t<sha256>\t<name>" and
// "menu\t<path>" lines. False with `error` saying why; nothing unsafe is written.
[[nodiscard]] bool write_install_record(const std::string& folder, const InstallRecord& record,
                                        std::string& error);

// nullopt when the record is missing, is not ours or names anything outside the folder
// (a '/' or ".." in a name) or a menu file that is not an absolute path of a menu entry.
[[nodiscard]] std::optional<InstallRecord> read_install_record(const std::string& folder);

// Lower-case hex of the file's sha256; "" when it cannot be read.
[[nodiscard]] std::string sha256_of_file(const std::string& path);

// Writes `bytes` to a temporary file beside `path` (mode 0644, folders created) and
// renames it over `path`; false with `error` saying why, leaving no temporary behind.
[[nodiscard]] bool replace_file(const std::string& path, const std::string& bytes,
                                std::string& error);

}  // namespace morvane
