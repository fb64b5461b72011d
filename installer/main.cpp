// install: the wizard that installs the programs from the folder it sits in.

#include <QApplication>

#include "desktop.h"
#include "install_wizard.h"
#include "program_folder.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarvik_morvane");
    morvane::InstallWizard wizard(morvane::system_desktop(), morvane::program_folder());
    wizard.exec();
    return wizard.exit_code();
}
