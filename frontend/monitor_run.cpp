// The Monitor window's run buttons: "Select...", "Launch" and "Last log", and the link
// the window listens on while it exists.

#include <QLabel>
#include <QTableWidget>

#include "child_process.h"
#include "link_ids.h"
#include "log_viewing.h"
#include "monitor_layout.h"
#include "monitor_window.h"
#include "path_util.h"
#include "run_follower.h"
#include "temp_folder.h"

namespace morvane {
namespace {

constexpr const char* kEngineName = "Tarvik_morvane";

bool any_format_ticked(QTableWidget* list) {
    for (int row = 0; row < list->rowCount(); ++row) {
        if (list->item(row, 0)->checkState() == Qt::Checked) return true;
    }
    return false;
}

}  // namespace

void MonitorWindow::connect_run_buttons() {
    runs_ = new RunFollower(this, desktop_, control_as<QLabel>(IDC_RUN_FILE_TEXT),
                            control_as<QLabel>(IDC_RUN_STATUS_TEXT));
    openers_ = new ChildWatch(this);
    // Without a temporary folder no engine can run either; Launch then says so at the end.
    if (const auto folder = user_temp_folder()) (void)runs_->listen(*folder);
    on_click(IDC_SELECT, [this] { select_files(); });
    on_click(IDC_LAUNCH, [this] { launch(); });
    on_click(IDC_LAST_LOG, [this] { open_last_log(this, desktop_, *openers_); });
}

// The settings are saved first (whether or not the save succeeds) and at least one type
// must be ticked; the chosen files wait in the file-list file for the next launch.
void MonitorWindow::select_files() {
    (void)save_settings();
    if (!any_format_ticked(format_list())) {
        switch_to_tab(PAGE_FORMATS);
        desktop_.message_box(this, kMessageCaption,
                             "Please check at least one file type to search.", MB_ICONERROR);
        return;
    }
    if (file_selection_) (void)file_selection_(this, desktop_, selection_folder_);
}

void MonitorWindow::launch() {
    if (save_settings() == 0) {
        desktop_.message_box(this, kMessageCaption, "Cannot save setup, process not launched!",
                             MB_ICONERROR);
        return;
    }
    runs_->launch(join_path(program_folder_, kEngineName), job_file_);
}

}  // namespace morvane
