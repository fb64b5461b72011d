#include "processing_window.h"

#include <algorithm>
#include <array>

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>

namespace morvane {
namespace {

constexpr std::array kControls{
    ControlSpec{IDC_PROC_FILE, ControlKind::Label, "", 3, 3, 230, 8, kAlwaysShown, "File"},
    ControlSpec{IDC_PROC_STATUS, ControlKind::Label, "", 3, 14, 230, 8, kAlwaysShown, "Stage"},
    ControlSpec{IDC_PROC_BAR, ControlKind::ProgressBar, "", 3, 26, 230, 10, kAlwaysShown,
                "Progress"},
};

}  // namespace

ProcessingWindow::ProcessingWindow(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle("Processing...");
    set_control_id(this, IDD_PROCESSING);
    const DialogControls made = create_controls(this, kControls);
    const DialogUnits units(font());
    place_controls(kControls, made, units, 0);
    file_ = qobject_cast<QLabel*>(made.by_id.at(IDC_PROC_FILE));
    status_ = qobject_cast<QLabel*>(made.by_id.at(IDC_PROC_STATUS));
    bar_ = qobject_cast<QProgressBar*>(made.by_id.at(IDC_PROC_BAR));
    // Long paths are cut at the window's edge, as a static text control cuts them.
    for (QLabel* line : {file_, status_}) line->setTextFormat(Qt::PlainText);
    setFixedSize(units.x(kProcessingWidth), units.y(kProcessingHeight));
    setModal(false);
    centre_on_screen(this);
    show();
    repaint();
}

void ProcessingWindow::command(int id, std::int64_t lparam) {
    switch (id) {
        case IDM_PROC_RESET:
            bar_->setRange(0, 100);
            bar_->setValue(0);
            emit position_set(0);
            break;
        case IDM_PROC_SETPOS: {
            const int position = static_cast<int>(std::clamp<std::int64_t>(lparam, 0, 100));
            bar_->setValue(position);
            emit position_set(position);
            break;
        }
        case 1:
            hide();
            break;
        default:
            break;
    }
}

void ProcessingWindow::show_file(const QString& path) {
    file_->setText(path);
    emit file_shown(path);
}

void ProcessingWindow::show_status(const QString& text) {
    status_->setText(text);
    repaint();
    emit status_shown(text);
}

void ProcessingWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
}

}  // namespace morvane
