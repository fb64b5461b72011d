#include "run_report.h"

#include <cstdlib>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "job_keys.h"
#include "job_settings.h"
#include "link_ids.h"
#include "log_file.h"
#include "monitor_link.h"
#include "path_util.h"

extern char** environ;

namespace morvane {
namespace {

constexpr const char* kRule = "###############################################";
constexpr const char* kVersion = "1.31";
constexpr const char* kCaption = "Tarvik_morvane";

}  // namespace

void write_log_header(LogFile& log, const JobSettings& job) {
    log.printf("%s\r\n", kRule);
    log.printf("Tarvik_morvane v%s\r\n", kVersion);
    log.printf("%s\r\n\r\n", kRule);
    log.printf("          qopPath: %s\r\n", job.source.c_str());
    log.printf("      target path: %s\r\n", job.target.c_str());
    log.printf("          recurse: %d\r\n", job.recurse);
    log.printf("   reproduce_path: %d\r\n", job.reproduce_path);
    log.printf("  extract all pdf: %d\r\n", job.pdf_extract_all);
    log.printf(" extract all tiff: %d\r\n", job.tiff_extract_all);
    log.printf("          quality: %d\r\n", job.quality);
    log.printf(" progressive jpeg: %d\r\n", job.progressive);
    log.printf("      pdf density: %d\r\n", job.pdf_density);
    log.printf("          move to: %s\r\n", job.move_path.c_str());
    log.printf("             size: %s\r\n", job.size.c_str());
    log.printf("keep aspect ratio: %s\r\n\r\n", job.aspect_ratio ? "yes" : "no");
    log.printf("     do watermark: %s\r\n\r\n", job.watermarks() ? "yes" : "no");
    log.printf("%s\r\n\r\n", kRule);
    log.flush();
}

void write_log_footer(LogFile& log, unsigned converted_files, bool stopped) {
    log.printf("\r\n%s\r\n\r\n", kRule);
    if (stopped) {
        log.printf(
            "stopped by the user: the files being converted were finished, no other "
            "was started\r\n");
    }
    log.printf("processing finished\r\n");
    log.printf("converted files: %u\r\n", converted_files);
    log.flush();
}

bool open_with_desktop(const std::string& path) {
    const char* chosen = std::getenv("MORVANE_LOG_OPENER");
    const std::string opener = chosen != nullptr && *chosen != '\0' ? chosen : "xdg-open";
    // A child that starts the opener in its own session and leaves at once, so the
    // opener is nobody's child to wait for and outlives the engine.
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        char* argv[] = {const_cast<char*>(opener.c_str()), const_cast<char*>(path.c_str()),
                        nullptr};
        pid_t started = 0;
        const int failed = posix_spawnp(&started, argv[0], nullptr, nullptr, argv, environ);
        _exit(failed == 0 ? 0 : 1);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void finish_monitored_run(MonitorLink& link, const std::string& temp_folder) {
    if (!link.connected()) return;
    link.run_end(0);
    // Both boxes wait for the user's click, however long it takes.
    const std::int64_t answer = link.ask_user(
        kCaption, "The conversion process is finished.\n\nWould you like to see the log file ?",
        MB_YESNO_ICONQUESTION);
    if (answer == IDYES) {
        std::string log_path = temp_folder + "/" + kRunLogName;
        tidy_path(log_path);
        // Only a missing log is reported; an opener that cannot start says nothing,
        // like any other failure of the desktop's "open".
        struct stat st;
        if (stat(log_path.c_str(), &st) != 0) {
            link.ask_user(kCaption, "No log file found in your temp folder", MB_ICONINFORMATION);
        } else {
            (void)open_with_desktop(log_path);
        }
    }
    link.run_end(1);
}

}  // namespace morvane
