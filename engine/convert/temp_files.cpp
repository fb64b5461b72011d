#include <cctype>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "run_context.h"

namespace morvane {

namespace {

// True for a name whose extension (from its last dot) is ".log", case ignored.
bool is_log_file(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    const std::string ext = path.substr(dot);
    if (ext.size() != 4) return false;
    std::string lower;
    for (const char c : ext)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower == ".log";
}

}  // namespace

void clean_temp_folder(TempFiles& temp, const std::string& file_list_path) {
    if (!file_list_path.empty()) (void)::unlink(file_list_path.c_str());
    for (const std::string& path : temp.created) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) continue;
        if (is_log_file(path)) continue;
        (void)::unlink(path.c_str());
    }
    temp.created.clear();
}

}  // namespace morvane
