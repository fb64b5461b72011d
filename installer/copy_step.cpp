#include "copy_step.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "fd_io.h"
#include "path_util.h"
#include "program_files.h"

namespace morvane {
namespace {

constexpr std::array kCopyList{
    CopyEntry{kHelpFileName, kHelpFileName},
    CopyEntry{"morvane_gui", "morvane_gui"},
    CopyEntry{kInstalledJobFile, kInstalledJobFile},
    CopyEntry{"Tarvik_morvane", "Tarvik_morvane"},
    CopyEntry{"Tcrw.so", "Tcrw.so"},
    CopyEntry{"Tdib.so", "Tdib.so"},
    CopyEntry{"Tmpegd.so", "Tmpegd.so"},
    CopyEntry{kReleaseNotesName, kReleaseNotesName},
    CopyEntry{"uninst", "uninst"},
};

// The programs and modules whose libraries are checked.
constexpr std::array kLinked{"morvane_gui", "Tarvik_morvane", "Tcrw.so",
                             "Tdib.so",     "Tmpegd.so",      "uninst"};

// Debian 12's package for each library the programs link, by the start of its name.
const std::map<std::string, std::string>& packages() {
    static const std::map<std::string, std::string> kPackages{
        {"libMagickCore-6.Q16.so", "libmagickcore-6.q16-6"},
        {"libMagickWand-6.Q16.so", "libmagickwand-6.q16-6"},
        {"libraw.so", "libraw20"},
        {"libgs.so", "libgs10"},
        {"libavformat.so", "libavformat59"},
        {"libavcodec.so", "libavcodec59"},
        {"libavutil.so", "libavutil57"},
        {"libswscale.so", "libswscale6"},
        {"libfontconfig.so", "libfontconfig1"},
        {"libQt6Widgets.so", "libqt6widgets6"},
        {"libQt6Gui.so", "libqt6gui6"},
        {"libQt6Core.so", "libqt6core6"},
        {"libz.so", "zlib1g"},
    };
    return kPackages;
}

std::string package_of(const std::string& library) {
    for (const auto& [prefix, package] : packages()) {
        if (library.rfind(prefix, 0) == 0) return package;
    }
    return "the package that provides " + library;
}

// What `ldd` reports as "not found" for one file.
std::vector<std::string> unfound_libraries(const std::string& file) {
    std::vector<std::string> missing;
    std::string quoted;
    for (const char c : file) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    const std::string command = "ldd '" + quoted + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return missing;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        const std::string text(line);
        if (text.find("=> not found") == std::string::npos) continue;
        const std::size_t start = text.find_first_not_of(" \t");
        missing.push_back(text.substr(start, text.find(' ', start) - start));
    }
    (void)::pclose(pipe);
    return missing;
}

bool same_bytes(const std::string& a, const std::string& b) {
    const std::string first = sha256_of_file(a);
    return !first.empty() && first == sha256_of_file(b);
}

}  // namespace

std::span<const CopyEntry> copy_list() {
    return kCopyList;
}

bool copy_file_whole(const std::string& source, const std::string& target, std::string& error) {
    UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!in || ::fstat(in.get(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    return replace_whole(target, read_rest(in.get()), st.st_mode & 07777, error);
}

std::vector<std::string> missing_packages(const std::string& folder) {
    std::set<std::string> found;
    for (const char* name : kLinked) {
        for (const std::string& library : unfound_libraries(join_path(folder, name))) {
            found.insert(package_of(library));
        }
    }
    return {found.begin(), found.end()};
}

bool copy_product(const std::string& installer_folder, const std::string& install_folder,
                  const CopyProgress& progress, InstallRecord& record, std::string& error) {
    for (const CopyEntry& entry : copy_list()) {
        const std::string source = installer_folder + entry.source;
        std::string target = install_folder + "/" + entry.target;
        tidy_path(target);
        progress("Copy from: " + source, "To: " + target);
        const bool users_job = std::string(entry.target) == kInstalledJobFile &&
                               ::access(target.c_str(), F_OK) == 0 &&
                               ::access(source.c_str(), R_OK) == 0 && !same_bytes(source, target);
        if (!users_job && !copy_file_whole(source, target, error)) {
            error = target + ": " + error;
            return false;
        }
        record.files.emplace_back(entry.target, sha256_of_file(source));
    }
    return true;
}

}  // namespace morvane
