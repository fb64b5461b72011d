#pragma once
// The installer wizard in a test: a scripted desktop, $HOME and the XDG folders moved
// into a private folder, and the steps that take the wizard from page to page.

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractButton>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "gui_fixture.h"
#include "install_wizard.h"
#include "link_ids.h"

namespace morvane::test {

inline const std::string kProduct = std::string(PROGRAM_FOLDER) + "/";

class Installer : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"}) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        }
        ::setenv("HOME", (dir / "home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    }
    void TearDown() override {
        wizard.reset();
        for (const auto& [name, value] : saved_) {
            if (value) {
                ::setenv(name.c_str(), value->c_str(), 1);
            } else {
                ::unsetenv(name.c_str());
            }
        }
    }
    InstallWizard& open(const std::string& from = kProduct) {
        wizard = std::make_unique<InstallWizard>(desktop.desktop(), from);
        wizard->use_failure_dialog([this] { ++failures; });
        wizard->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(wizard.get()));
        return *wizard;
    }
    QAbstractButton* button(QWizard::WizardButton which) const { return wizard->button(which); }
    void next() { button(QWizard::NextButton)->click(); }
    QLineEdit* folder_box() const {
        return wizard->page(kDestination)->findChild<QLineEdit*>("1006");
    }
    QCheckBox* group_box() const { return wizard->page(kOptions)->findChild<QCheckBox*>("1025"); }
    // From the welcome page to the finished page, into `target`.
    void install_into(const std::string& target, bool group = true) {
        next();
        folder_box()->setText(QString::fromStdString(target));
        desktop.answers = {IDYES};
        next();
        group_box()->setChecked(group);
        next();
        next();
    }
    // From the welcome page to `page` as a user gets there, installing into `target` on
    // the way to the finished page.
    void go_to(int page) {
        if (page >= kDestination) next();
        if (page >= kOptions) {
            folder_box()->setText(QString::fromStdString(target));
            desktop.answers = {IDYES};
            next();
        }
        if (page >= kSummary) next();
        if (page >= kFinished) next();
        ASSERT_EQ(wizard->currentId(), page);
    }
    std::string last_text() const {
        return desktop.messages.empty() ? std::string()
                                        : desktop.messages.back().text.toStdString();
    }
    std::vector<std::string> menu_files() const {
        std::vector<std::string> found;
        for (const std::string sub : {"data/applications", "data/desktop-directories",
                                      "config/menus/applications-merged"}) {
            if (!exists(dir / sub)) continue;
            for (const std::string& name : list_folder(dir / sub))
                found.push_back(sub + "/" + name);
        }
        return found;
    }

    TempDir dir;
    ScriptedDesktop desktop;
    std::unique_ptr<InstallWizard> wizard;
    int failures = 0;
    std::string target = dir / "apps/Tarvik_morvane";

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace morvane::test
