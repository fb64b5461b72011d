#include "job_location.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fd_io.h"
#include "job_keys.h"
#include "path_util.h"
#include "profile.h"
#include "program_folder.h"

namespace morvane {

std::string job_file_beside(const std::string& program_folder) {
    return join_path(program_folder, kJobFileName);
}

std::string choose_job_file(const std::string& program_folder, const std::string& config_home,
                            const std::string& home) {
    if (::access(program_folder.c_str(), W_OK | X_OK) == 0) return job_file_beside(program_folder);
    // XDG: a relative $XDG_CONFIG_HOME is not valid and is ignored.
    std::string config =
        !config_home.empty() && config_home.front() == '/' ? config_home : home + "/.config";
    std::string user_file = config + "/Tarvik_morvane/" + kJobFileName;
    tidy_path(user_file);
    return user_file;
}

bool make_user_job_file(const std::string& default_file, const std::string& user_file) {
    struct stat info {};
    if (::lstat(user_file.c_str(), &info) == 0 || errno != ENOENT) return true;
    // Read as a job file is: a FIFO or a link to a device is never copied.
    std::string text;
    std::string refusal;
    if (read_profile_file(default_file, {}, text, refusal) != ReadResult::Read) {
        return true;  // no default to copy: the window starts from its own defaults
    }
    create_file_folders(user_file);
    UniqueFd out(
        ::open(user_file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!out) return false;
    if (write_all(out.get(), text.data(), text.size()) && out.close()) return true;
    ::unlink(user_file.c_str());  // never a half copy under the job file's name
    return false;
}

std::string job_file_of_this_user() {
    const std::string folder = program_folder();
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    std::string job =
        choose_job_file(folder, config != nullptr ? config : "", home != nullptr ? home : "");
    const std::string beside = job_file_beside(folder);
    if (job != beside) (void)make_user_job_file(beside, job);
    return job;
}

}  // namespace morvane
