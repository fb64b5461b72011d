#pragma once
// A cancellable wait for long work done on the window's thread: the window keeps painting
// between batches, and a progress window with Cancel comes up once the work has lasted.

#include <chrono>
#include <memory>

#include <QElapsedTimer>
#include <QString>

class QProgressDialog;
class QWidget;

namespace morvane {

inline constexpr int IDD_SELECT_PROGRESS = 1560;
inline constexpr int IDC_PROGRESS_TEXT = 1561;
inline constexpr int IDC_PROGRESS_BAR = 1562;
inline constexpr int IDC_PROGRESS_CANCEL = 2;

inline constexpr std::chrono::milliseconds kProgressDelay{500};

class WorkProgress {
  public:
    // `total` steps, or 0 when the length of the work is not known beforehand.
    WorkProgress(QWidget* owner, QString text, qsizetype total,
                 std::chrono::milliseconds delay = kProgressDelay);
    ~WorkProgress();
    WorkProgress(const WorkProgress&) = delete;
    WorkProgress& operator=(const WorkProgress&) = delete;

    // Says how far the work is, with a new text when not empty; false once the user has
    // cancelled. Cheap enough for every item: events are handled a few times a second.
    [[nodiscard]] bool step(qsizetype done, const QString& text = {});

  private:
    void show_window();

    QWidget* owner_;
    QString text_;
    qsizetype total_;
    std::chrono::milliseconds delay_;
    QElapsedTimer started_;
    QElapsedTimer since_events_;
    std::unique_ptr<QProgressDialog> window_;
    bool cancelled_ = false;
};

}  // namespace morvane
