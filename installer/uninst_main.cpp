// uninst: removes the installation of Tarvik_morvane in its own folder, after asking;
// "--yes" removes it unattended, keeping a job file the user has changed.

#include <cstdio>
#include <string_view>

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QStringList>

#include "install_record.h"
#include "program_folder.h"
#include "uninstall.h"

namespace {

using morvane::UninstallReport;

const QString kCaption = QStringLiteral("Tarvik_morvane");

QString shown(const std::string& path) {
    return QFile::decodeName(path.c_str());
}

bool ask(const QString& text) {
    return QMessageBox::question(nullptr, kCaption, text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
}

int unattended(const std::string& folder) {
    const std::optional<UninstallReport> report =
        morvane::uninstall(folder, [](const std::string&) { return false; });
    if (!report) {
        std::fprintf(stderr, "uninst: no installation of Tarvik_morvane in %s\n", folder.c_str());
        return 1;
    }
    for (const std::string& path : report->failed)
        std::fprintf(stderr, "uninst: cannot remove %s\n", path.c_str());
    return report->failed.empty() ? 0 : 1;
}

int interactive(const std::string& folder) {
    const QString where = shown(folder);
    const QString none = "No installation of Tarvik_morvane was found in " + where + ".";
    if (!morvane::read_install_record(folder)) {
        QMessageBox::warning(nullptr, kCaption, none);
        return 1;
    }
    if (!ask("Remove Tarvik_morvane from " + where + " ?")) return 1;
    const std::optional<UninstallReport> report =
        morvane::uninstall(folder, [](const std::string& path) {
            return ask("Your job file " + shown(path) + " has been changed.\n\nRemove it too ?");
        });
    if (!report) {
        QMessageBox::warning(nullptr, kCaption, none);
        return 1;
    }
    if (report->failed.empty()) {
        QMessageBox::information(nullptr, kCaption, "Tarvik_morvane has been removed.");
        return 0;
    }
    QStringList failed;
    for (const std::string& path : report->failed) failed << shown(path);
    QMessageBox::warning(nullptr, kCaption,
                         "These files could not be removed:\n\n" + failed.join('\n'));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder = morvane::program_folder();
    if (folder.empty()) {
        std::fprintf(stderr, "uninst: cannot tell which folder it is in\n");
        return 1;
    }
    if (folder.size() > 1) folder.pop_back();  // the trailing '/'
    if (argc > 1 && std::string_view(argv[1]) == "--yes") return unattended(folder);
    QApplication app(argc, argv);
    return interactive(folder);
}
