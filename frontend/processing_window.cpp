#include "processing_window.h"

#include <algorithm>
#include <array>

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace morvane {
namespace {

// The two lines have no name of their own: a screen reader hears the text they show.
constexpr std::array kControls{
    ControlSpec{IDC_PROC_FILE, ControlKind::Label, "", 3, 3, 230, 8, kAlwaysShown, nullptr},
    ControlSpec{IDC_PROC_STATUS, ControlKind::Label, "", 3, 14, 230, 8, kAlwaysShown, nullptr},
    ControlSpec{IDC_PROC_BAR, ControlKind::ProgressBar, "", 3, 26, 230, 10, kAlwaysShown,
                "Progress"},
};

}  // namespace

ProcessingWindow::ProcessingWindow(QWidget* owner)
    // No close box of its own; a window manager that offers one anyway asks, as Escape does.
    : QDialog(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      refresh_(new QTimer(this)) {
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
    refresh_->setSingleShot(true);
    refresh_->setInterval(kProcessingRefreshMs);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (pending_) take_on();
    });
    centre_on_screen(this);
    show();
    repaint();
}

void ProcessingWindow::command(int id, std::int64_t lparam) {
    switch (id) {
        case IDM_PROC_RESET:
            next_.position = 0;
            changed();
            emit position_set(0);
            break;
        case IDM_PROC_SETPOS:
            next_.position = static_cast<int>(std::clamp<std::int64_t>(lparam, 0, 100));
            changed();
            emit position_set(next_.position);
            break;
        case 1:
            hide();
            break;
        default:
            break;
    }
}

void ProcessingWindow::show_file(const QString& path) {
    next_.file = path;
    changed();
    emit file_shown(path);
}

void ProcessingWindow::show_status(const QString& text) {
    next_.status = text;
    changed();
    emit status_shown(text);
}

// A change after a quiet spell shows at once; those that follow within the refresh
// interval wait for its end and only the last of each is shown. An engine that sends
// frames as fast as it can thus costs one paint per interval, not one per frame.
void ProcessingWindow::changed() {
    if (refresh_->isActive()) {
        pending_ = true;
        return;
    }
    take_on();
}

void ProcessingWindow::take_on() {
    pending_ = false;
    if (file_->text() != next_.file) file_->setText(next_.file);
    if (status_->text() != next_.status) status_->setText(next_.status);
    if (bar_->value() != next_.position) bar_->setValue(next_.position);
    refresh_->start();
}

// The window manager's close asks, like Escape; the run decides when the window goes.
void ProcessingWindow::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit stop_wanted();
}

}  // namespace morvane
