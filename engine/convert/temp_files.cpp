#include "temp_files.h"

#include <string>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

#include "text_util.h"

namespace morvane {

namespace {

// True for a name whose extension (from its last dot) is ".log", case ignored.
bool is_log_file(const std::string& path) {
    const auto slash = path.rfind('/');
    const auto dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    return equal_ignoring_case(std::string_view(path).substr(dot), ".log");
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
