#pragma once
// "Tarvik_morvane - Install wizzard": welcome, destination folder, options, summary
// (whose Next copies the product and makes the menu entries) and the finished page.

#include <functional>
#include <memory>
#include <string>

#include <QDialog>
#include <QWizard>

#include "desktop.h"

namespace morvane {

enum InstallPage { kWelcome = 0, kDestination, kOptions, kSummary, kFinished };

class InstallWizard : public QWizard {
    Q_OBJECT

  public:
    // `installer_folder` holds the product's files and ends in '/'.
    InstallWizard(const Desktop& desktop, std::string installer_folder);

    // The program's exit status once the wizard has ended: 1 after Finish or a Cancel on
    // the first two pages, 0 after a Cancel later on or a failed installation.
    [[nodiscard]] int exit_code() const { return exit_code_; }
    [[nodiscard]] const QString& install_folder() const { return folder_; }
    [[nodiscard]] bool create_group() const { return create_group_; }
    [[nodiscard]] const Desktop& desktop() const { return desktop_; }
    [[nodiscard]] const std::string& installer_folder() const { return installer_folder_; }

    // Shows the failure dialog; tests replace it.
    void use_failure_dialog(std::function<void()> show) { show_failure_ = std::move(show); }
    // A failed installation: the failure dialog, then the end with status 0.
    void fail();

    void set_install_folder(const QString& folder) { folder_ = folder; }
    void set_create_group(bool on) { create_group_ = on; }

  public slots:
    void reject() override;

  private:
    void page_activated(int id);
    void focus_first(int id);

    Desktop desktop_;
    std::string installer_folder_;
    QString folder_;
    bool create_group_ = false;
    int exit_code_ = 1;
    std::function<void()> show_failure_;
};

// The folder proposed first: /opt/Tarvik_morvane for root, ~/.local/opt/Tarvik_morvane
// for everyone else.
[[nodiscard]] QString default_install_folder();

// The failure dialog "The installation of Tarvik_morvane has failed.", not yet shown.
[[nodiscard]] std::unique_ptr<QDialog> make_failure_dialog(QWidget* owner);

// The failure dialog, centred and run modally.
void run_failure_dialog(QWidget* owner);

}  // namespace morvane
