#pragma once
// The Monitor window: every setting of the job beside the buttons that save it, with
// its tab pages, format list, enabling rules, browsers, colour chooser and menu.

#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include <QAbstractButton>
#include <QDialog>

#include "desktop.h"
#include "dialog_table.h"

class QAction;
class QLabel;
class QButtonGroup;
class QMenuBar;
class QTabBar;
class QTableWidget;

namespace morvane {

class ChildWatch;
class RunFollower;

class MonitorWindow : public QDialog {
    Q_OBJECT

  public:
    MonitorWindow(std::string job_file, Desktop desktop, QWidget* parent = nullptr);

    [[nodiscard]] const std::string& job_file() const { return job_file_; }
    [[nodiscard]] const Desktop& desktop() const { return desktop_; }

    // The control with that id; the program stops on an id the table does not hold.
    [[nodiscard]] QWidget* control(int id) const;
    template <class T>
    [[nodiscard]] T* control_as(int id) const {
        return qobject_cast<T*>(control(id));
    }
    [[nodiscard]] QTableWidget* format_list() const;
    [[nodiscard]] QTabBar* tabs() const;

    // Shows the controls of one page and hides those of every other page.
    void show_page(int page);
    // Shows the page and selects its tab, so that the two agree.
    void switch_to_tab(int page);
    // Puts the cursor in a control, showing its page first when it lies on another one.
    void focus_control(int id);

    // Text, tick and number of a control as the saving reads them.
    [[nodiscard]] QString text_of(int id) const;
    [[nodiscard]] bool is_checked(int id) const;
    void set_checked(int id, bool on);
    void set_text(int id, const QString& text);

    [[nodiscard]] std::uint32_t watermark_color() const { return watermark_color_; }
    void set_watermark_color(std::uint32_t bgr);
    [[nodiscard]] bool tooltips_on() const { return tooltips_on_; }
    void set_tooltips(bool on);

    // Writes the job file from the controls, checking them on the way; 1 or 0.
    int save_settings();

    // The folder of the engine, the help page and the release notes; the program's own
    // folder unless told otherwise.
    [[nodiscard]] const std::string& program_folder() const { return program_folder_; }
    void use_program_folder(std::string folder) { program_folder_ = std::move(folder); }
    // What "Select..." opens once the settings are saved: the file selection, given the
    // folder it last showed (kept here for the life of the window).
    using FileSelection =
        std::function<int(QWidget* owner, const Desktop& desktop, QString& current_folder)>;
    void use_file_selection(FileSelection open) { file_selection_ = std::move(open); }
    // The runs this window launched and the link it listens on.
    [[nodiscard]] RunFollower& runs() const { return *runs_; }

  private:
    void build();
    void fit_to_font(const DialogControls& made);
    void build_menu();
    void place_tabs();
    void set_up_format_list();
    void pair_radio_buttons();
    template <class Slot>
    void on_click(int id, Slot slot) {
        connect(control_as<QAbstractButton>(id), &QAbstractButton::clicked, this, slot);
    }
    void connect_controls();
    void connect_enabling_rules();
    void connect_browsers();
    void browse_folder(int edit, const char* title);
    void browse_watermark_image();
    void choose_colour();
    void show_about();
    void open_beside_program(const char* name);
    void toggle_tooltips(bool on);
    void save_and_quit();
    void connect_run_buttons();
    void select_files();
    void launch();

    std::string job_file_;
    Desktop desktop_;
    DialogUnits units_;
    std::map<int, QWidget*> controls_;
    QMenuBar* menu_bar_ = nullptr;
    QAction* tooltips_action_ = nullptr;
    std::uint32_t watermark_color_ = 0;
    bool tooltips_on_ = false;
    std::string program_folder_;
    RunFollower* runs_ = nullptr;
    ChildWatch* openers_ = nullptr;
    FileSelection file_selection_;
    QString selection_folder_;
};

// The watermark colour as the job file keeps it (0x00BBGGRR) and as Qt paints it.
[[nodiscard]] QColor color_of_bgr(std::uint32_t bgr);
[[nodiscard]] std::uint32_t bgr_of(const QColor& color);

// Fills the window from its job file; a missing file gives every default.
void load_settings(MonitorWindow& window);

}  // namespace morvane
