#include "monitor_window.h"

#include <cstdlib>

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTableWidget>

#include "about_box.h"
#include "job_keys.h"
#include "link_ids.h"
#include "monitor_layout.h"
#include "path_util.h"
#include "profile.h"
#include "program_files.h"
#include "program_folder.h"
#include "watermark_locations.h"

namespace morvane {
namespace {

const ControlSpec* spec_of(int id) {
    for (const ControlSpec& spec : monitor_controls()) {
        if (spec.id == id) return &spec;
    }
    return nullptr;
}

}  // namespace

QColor color_of_bgr(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

std::uint32_t bgr_of(const QColor& color) {
    return static_cast<std::uint32_t>(color.red()) |
           static_cast<std::uint32_t>(color.green()) << 8 |
           static_cast<std::uint32_t>(color.blue()) << 16;
}

MonitorWindow::MonitorWindow(std::string job_file, Desktop desktop, QWidget* parent)
    : QDialog(parent),
      job_file_(std::move(job_file)),
      desktop_(std::move(desktop)),
      units_(font()),
      program_folder_(morvane::program_folder()) {
    setWindowTitle(kMonitorTitle);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    build();
    connect_controls();
    connect_run_buttons();
    load_settings(*this);
    // Connected after loading, so that showing the stored switch writes nothing.
    connect(tooltips_action_, &QAction::toggled, this, &MonitorWindow::toggle_tooltips);
    centre_on_screen(this);
}

void MonitorWindow::build() {
    build_menu();
    const DialogControls made = create_controls(this, monitor_controls());
    controls_ = made.by_id;
    for (const char* name : monitor_page_names()) tabs()->addTab(name);
    fit_to_font(made);
    const int top = menu_bar_->sizeHint().height();
    place_controls(monitor_controls(), made, units_, top);
    setFixedSize(units_.x(kMonitorWidth), units_.y(kMonitorHeight) + top);
    menu_bar_->setGeometry(0, 0, width(), top);
    place_tabs();
    set_up_format_list();
    auto* locations = control_as<QComboBox>(IDC_LOCATION);
    // Index 0 is "Center", 8 "West": the index is what the job file stores.
    for (const char* name : kWatermarkLocations) locations->addItem(name);
    pair_radio_buttons();
    control_as<QLineEdit>(IDC_WATERMARK_TEXT)->setMaxLength(kWatermarkTextBuffer - 1);
}

// Every caption whole, and all nine tabs side by side over the width of the group.
void MonitorWindow::fit_to_font(const DialogControls& made) {
    units_ = fitted_units(units_, monitor_controls(), made);
    units_ = units_.widened_for(tabs()->sizeHint().width(), spec_of(IDC_JPEG_GROUP)->width);
}

void MonitorWindow::build_menu() {
    menu_bar_ = new QMenuBar(this);
    QMenu* files = menu_bar_->addMenu("&Files");
    QAction* close = files->addAction("&Close");
    set_control_id(close, IDCANCEL_QUIT);
    connect(close, &QAction::triggered, this, &QDialog::reject);

    QMenu* misc = menu_bar_->addMenu("&Misc");
    tooltips_action_ = misc->addAction("Tooltips");
    tooltips_action_->setCheckable(true);
    set_control_id(tooltips_action_, IDM_TOOLTIPS);
    misc->addSeparator();
    QAction* whats_new = misc->addAction("What's New ?");
    set_control_id(whats_new, IDM_WHATS_NEW);
    connect(whats_new, &QAction::triggered, this,
            [this] { open_beside_program(kReleaseNotesName); });
    misc->addSeparator();
    QAction* about = misc->addAction("&About...");
    set_control_id(about, IDC_ABOUT);
    connect(about, &QAction::triggered, this, &MonitorWindow::show_about);
}

// The tabs sit under the "JPEG files" group with the page frame below them, as wide as
// the group and reaching down to the window's foot.
void MonitorWindow::place_tabs() {
    const QRect group = control(IDC_JPEG_GROUP)->geometry();
    QTabBar* bar = tabs();
    bar->setExpanding(false);
    const int tab_top = group.bottom() + 1 + units_.classic_y(10);
    const int tab_height = bar->sizeHint().height();
    bar->setGeometry(group.left(), tab_top, group.width(), tab_height);
    const int frame_top = tab_top + tab_height - 1;
    const int frame_bottom = units_.y(kMonitorHeight - 3) + menu_bar_->height();
    control(IDC_PAGE_FRAME)
        ->setGeometry(group.left(), frame_top, group.width(), frame_bottom - frame_top);
}

void MonitorWindow::set_up_format_list() {
    QTableWidget* list = format_list();
    list->setColumnCount(2);
    list->setRowCount(static_cast<int>(format_rows().size()));
    list->horizontalHeader()->hide();
    list->verticalHeader()->hide();
    list->setShowGrid(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the list for the next control; the arrows move in it and Space ticks.
    list->setTabKeyNavigation(false);
    list->setColumnWidth(0, units_.classic_x(60));
    list->setColumnWidth(1, units_.classic_x(170));
    list->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    int row = 0;
    for (const FormatRow& format : format_rows()) {
        auto* code =
            new QTableWidgetItem(QString::fromUtf8(format.code.data(), format.code.size()));
        code->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        code->setCheckState(Qt::Unchecked);
        auto* description = new QTableWidgetItem(
            QString::fromUtf8(format.description.data(), format.description.size()));
        description->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list->setItem(row, 0, code);
        list->setItem(row, 1, description);
        ++row;
    }
}

// Four exclusive pairs; within a pair a click selects one, and the window may leave both
// unselected (a watermark that was off).
void MonitorWindow::pair_radio_buttons() {
    const int pairs[4][2] = {{IDC_AVI_ALL, IDC_AVI_RANGE},
                             {IDC_MPEG_ALL, IDC_MPEG_RANGE},
                             {IDC_PDF_ALL, IDC_PDF_RANGE},
                             {IDC_WATERMARK_TEXT_MODE, IDC_WATERMARK_IMAGE_MODE}};
    for (const auto& pair : pairs) {
        auto* group = new QButtonGroup(this);
        group->addButton(control_as<QRadioButton>(pair[0]));
        group->addButton(control_as<QRadioButton>(pair[1]));
    }
}

void MonitorWindow::connect_controls() {
    on_click(IDOK_SAVE_QUIT, [this] { save_and_quit(); });
    on_click(IDC_SAVE, [this] { (void)save_settings(); });
    on_click(IDCANCEL_QUIT, [this] { reject(); });
    on_click(IDC_ABOUT, [this] { show_about(); });
    on_click(IDC_HELP, [this] { open_beside_program(kHelpFileName); });
    on_click(IDC_ALL, [this] {
        for (int row = 0; row < format_list()->rowCount(); ++row)
            format_list()->item(row, 0)->setCheckState(Qt::Checked);
    });
    on_click(IDC_RESET, [this] {
        for (int row = 0; row < format_list()->rowCount(); ++row)
            format_list()->item(row, 0)->setCheckState(Qt::Unchecked);
    });
    connect(tabs(), &QTabBar::currentChanged, this, [this](int page) { show_page(page); });
    connect_enabling_rules();
    connect_browsers();
}

// Each rule follows the controlling button's state, however it changed.
void MonitorWindow::connect_enabling_rules() {
    const auto rule = [this](int button, std::initializer_list<int> followers) {
        auto* source = qobject_cast<QAbstractButton*>(control(button));
        const std::vector<int> ids(followers);
        const auto apply = [this, ids](bool on) {
            for (int id : ids) control(id)->setEnabled(on);
        };
        connect(source, &QAbstractButton::toggled, this, apply);
        apply(source->isChecked());
    };
    rule(IDC_REPRODUCE_PATH, {IDC_FROM_ROOT});
    rule(IDC_MOVE, {IDC_MOVE_PATH, IDC_MOVE_BROWSE});
    rule(IDC_AVI_RANGE, {IDC_AVI_FROM, IDC_AVI_TO});
    rule(IDC_MPEG_RANGE, {IDC_MPEG_FROM, IDC_MPEG_TO});
}

void MonitorWindow::connect_browsers() {
    on_click(IDC_TARGET_BROWSE, [this] { browse_folder(IDC_TARGET, "Select the target folder:"); });
    on_click(IDC_SOURCE_BROWSE, [this] { browse_folder(IDC_SOURCE, "Select the source folder:"); });
    on_click(IDC_MOVE_BROWSE, [this] { browse_folder(IDC_MOVE_PATH, "Select the folder:"); });
    on_click(IDC_WATERMARK_BROWSE, [this] { browse_watermark_image(); });
    on_click(IDC_COLOR_BROWSE, [this] { choose_colour(); });
}

void MonitorWindow::browse_folder(int edit, const char* title) {
    const QString folder = desktop_.choose_folder(this, title);
    if (!folder.isEmpty()) set_text(edit, folder);
}

void MonitorWindow::browse_watermark_image() {
    const QString file = desktop_.choose_file(
        this, "Watermark Image", "Bitmap (*.bmp);;GIF (*.gif);;JPEG (*.jpg *.jpeg);;PNG (*.png)");
    if (!file.isEmpty()) set_text(IDC_WATERMARK_FILE, file);
}

void MonitorWindow::choose_colour() {
    const std::optional<QColor> chosen = desktop_.choose_color(this);
    if (!chosen) return;
    set_watermark_color(bgr_of(*chosen));
}

void MonitorWindow::set_watermark_color(std::uint32_t bgr) {
    watermark_color_ = bgr & 0xFFFFFF;
    QWidget* swatch = control(IDC_SWATCH);
    QPalette palette = swatch->palette();
    palette.setColor(QPalette::Window, color_of_bgr(watermark_color_));
    swatch->setPalette(palette);
    update();
}

void MonitorWindow::set_tooltips(bool on) {
    tooltips_on_ = on;
    for (const TooltipText& tip : monitor_tooltips()) {
        QString text = QString::fromUtf8(tip.text);
        text.replace("\r\n", "\n");
        control(tip.id)->setToolTip(on ? text : QString());
    }
    const QSignalBlocker quiet(tooltips_action_);
    tooltips_action_->setChecked(on);
}

// The menu item switches the tooltips at once and keeps the choice in the job file.
void MonitorWindow::toggle_tooltips(bool on) {
    set_tooltips(on);
    std::string reason;
    std::optional<ProfileEditor> job = ProfileEditor::open(job_file_, reason);
    if (job) {
        job->set("MISC", "tooltips", on ? "1" : "0");
        if (job->save(reason)) return;
    }
    desktop_.message_box(
        this, kMessageCaption,
        QString("The settings cannot be saved: %1 %2")
            .arg(QString::fromStdString(job_file_), QString::fromStdString(reason)),
        MB_ICONERROR);
}

void MonitorWindow::show_about() {
    run_about_box(this);
}

// Help and the release notes sit beside the program.
void MonitorWindow::open_beside_program(const char* name) {
    const QString file = QString::fromStdString(join_path(program_folder_, name));
    if (desktop_.open_file(file)) return;
    desktop_.message_box(this, kMessageCaption, QString("%1 cannot be opened.").arg(file),
                         MB_ICONERROR);
}

void MonitorWindow::save_and_quit() {
    if (save_settings() == 1) done(1);
}

QWidget* MonitorWindow::control(int id) const {
    const auto found = controls_.find(id);
    if (found == controls_.end()) std::abort();
    return found->second;
}

QTableWidget* MonitorWindow::format_list() const {
    return control_as<QTableWidget>(IDC_FORMAT_LIST);
}

QTabBar* MonitorWindow::tabs() const {
    return control_as<QTabBar>(IDC_TABS);
}

// The page frame is heard as the page it holds.
void MonitorWindow::show_page(int page) {
    for (const ControlSpec& spec : monitor_controls()) {
        if (spec.page != kAlwaysShown) control(spec.id)->setVisible(spec.page == page);
    }
    const auto names = monitor_page_names();
    if (page >= 0 && page < static_cast<int>(names.size()))
        control(IDC_PAGE_FRAME)->setAccessibleName(names[static_cast<std::size_t>(page)]);
}

void MonitorWindow::switch_to_tab(int page) {
    {
        const QSignalBlocker quiet(tabs());
        tabs()->setCurrentIndex(page);
    }
    show_page(page);
}

void MonitorWindow::focus_control(int id) {
    const ControlSpec* spec = spec_of(id);
    if (spec != nullptr && spec->page != kAlwaysShown && spec->page != tabs()->currentIndex()) {
        switch_to_tab(spec->page);
    }
    control(id)->setFocus(Qt::OtherFocusReason);
}

QString MonitorWindow::text_of(int id) const {
    QWidget* widget = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
    return {};
}

bool MonitorWindow::is_checked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    return button != nullptr && button->isChecked();
}

void MonitorWindow::set_checked(int id, bool on) {
    if (auto* button = qobject_cast<QAbstractButton*>(control(id))) button->setChecked(on);
}

void MonitorWindow::set_text(int id, const QString& text) {
    QWidget* widget = control(id);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(text);
    if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(text);
}

}  // namespace morvane
