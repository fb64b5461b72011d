#pragma once
// The installer's copy: the product's files from the installer's own folder into the
// installation folder, each replaced whole or not at all, after a check that the
// libraries the programs need are installed.

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "install_record.h"

namespace morvane {

struct CopyEntry {
    const char* source;
    const char* target;
};

inline constexpr const char* kInstalledJobFile = "Tarvik_morvane.ini";

// The files, in copying order.
[[nodiscard]] std::span<const CopyEntry> copy_list();

// Copies `source` to a temporary name beside `target`, syncs it and renames it over the
// target with the source's mode; false with `error` saying why.
[[nodiscard]] bool copy_file_whole(const std::string& source, const std::string& target,
                                   std::string& error);

// Debian packages to install for the libraries that the programs of `folder` need and
// the system cannot find ("libraw20", ...); empty when nothing is missing.
[[nodiscard]] std::vector<std::string> missing_packages(const std::string& folder);

// The two lines shown for one file: "Copy from: <source>" and "To: <target>".
using CopyProgress = std::function<void(const std::string& from, const std::string& to)>;

// Copies every file of the list, stopping at the first failure (false, `error` naming
// the file). A job file of an earlier installation that differs from the one being
// installed is the user's and stays. `record` gets each installed file.
[[nodiscard]] bool copy_product(const std::string& installer_folder,
                                const std::string& install_folder, const CopyProgress& progress,
                                InstallRecord& record, std::string& error);

}  // namespace morvane
