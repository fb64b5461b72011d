// morvane_gui: the settings window of the converter.

#include <QApplication>

#include "desktop.h"
#include "file_select_window.h"
#include "job_location.h"
#include "monitor_window.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvik_morvane");
    morvane::MonitorWindow window(morvane::job_file_of_this_user(), morvane::system_desktop());
    window.use_file_selection(morvane::run_file_selection);
    window.exec();
    return 0;
}
