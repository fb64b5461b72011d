#include "work_progress.h"

#include <algorithm>
#include <limits>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>

#include "dialog_table.h"

namespace morvane {
namespace {

constexpr qint64 kEventsEveryMs = 50;

int bar_value(qsizetype value) {
    return static_cast<int>(std::min<qsizetype>(value, std::numeric_limits<int>::max()));
}

}  // namespace

WorkProgress::WorkProgress(QWidget* owner, QString text, qsizetype total,
                           std::chrono::milliseconds delay)
    : owner_(owner), text_(std::move(text)), total_(total), delay_(delay) {
    started_.start();
    since_events_.start();
}

WorkProgress::~WorkProgress() = default;

bool WorkProgress::step(qsizetype done, const QString& text) {
    if (!text.isEmpty()) text_ = text;
    if (cancelled_) return false;
    const bool show_now = window_ == nullptr && started_.elapsed() >= delay_.count();
    if (!show_now && since_events_.elapsed() < kEventsEveryMs) return true;
    if (show_now) show_window();
    if (window_ != nullptr) {
        window_->setLabelText(text_);
        window_->setValue(bar_value(total_ > 0 ? done : 0));
    }
    // Until the progress window stands over it, the owner takes no input, so that nothing
    // the work reads changes under it; it still repaints.
    QApplication::processEvents(window_ != nullptr ? QEventLoop::AllEvents
                                                   : QEventLoop::ExcludeUserInputEvents);
    since_events_.restart();
    cancelled_ = window_ != nullptr && window_->wasCanceled();
    return !cancelled_;
}

void WorkProgress::show_window() {
    window_ = std::make_unique<QProgressDialog>(owner_);
    set_control_id(window_.get(), IDD_SELECT_PROGRESS);
    window_->setWindowTitle(owner_ != nullptr ? owner_->windowTitle() : QString());
    window_->setWindowModality(Qt::WindowModal);
    window_->setAutoClose(false);
    window_->setAutoReset(false);
    window_->setMinimumDuration(0);
    auto* label = new QLabel(text_);
    set_control_id(label, IDC_PROGRESS_TEXT);
    window_->setLabel(label);
    auto* bar = new QProgressBar;
    set_control_id(bar, IDC_PROGRESS_BAR);
    bar->setAccessibleName(QStringLiteral("Progress"));
    window_->setBar(bar);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    set_control_id(cancel, IDC_PROGRESS_CANCEL);
    window_->setCancelButton(cancel);
    window_->setRange(0, bar_value(total_));
    window_->setValue(0);
    window_->show();
}

}  // namespace morvane
