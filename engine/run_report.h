#pragma once
// What the run tells the user: the log header and footer, and the end of a monitored
// run (the question whether to open the log, asked through the Monitor window).

#include <string>

namespace morvane {

class LogFile;
class MonitorLink;
struct JobSettings;

void write_log_header(LogFile& log, const JobSettings& job);
// `stopped`: the user stopped the run, which the footer says.
void write_log_footer(LogFile& log, unsigned converted_files, bool stopped = false);

// With a Monitor window: hide the Processing window, ask whether to show the log, open
// it on Yes, then destroy the Processing window. Nothing without a window.
void finish_monitored_run(MonitorLink& link, const std::string& temp_folder);

// Starts `xdg-open path` (or the program named by $MORVANE_LOG_OPENER) detached from the
// engine; false when it cannot be started.
bool open_with_desktop(const std::string& path);

}  // namespace morvane
