#pragma once
// The small "Processing..." window of a run: the file being converted, the stage and a
// progress bar, driven by the commands the Monitor window relays from the engine.

#include <cstdint>

#include <QDialog>
#include <QString>

#include "dialog_table.h"

class QLabel;
class QProgressBar;
class QTimer;

namespace morvane {

inline constexpr int IDD_PROCESSING = 105;
inline constexpr int IDC_PROC_FILE = 1059;
inline constexpr int IDC_PROC_STATUS = 1019;
inline constexpr int IDC_PROC_BAR = 1118;
inline constexpr int IDM_PROC_RESET = 400;
inline constexpr int IDM_PROC_SETPOS = 401;
inline constexpr int kProcessingWidth = 236;  // dialog units
inline constexpr int kProcessingHeight = 39;
// However fast the engine talks, the window takes on what it was told at most this
// often (the first change after a quiet spell at once), so painting never falls behind.
inline constexpr int kProcessingRefreshMs = 40;

class ProcessingWindow : public QDialog {
    Q_OBJECT

  public:
    // Modeless, owned by `owner`, centred and shown at once.
    explicit ProcessingWindow(QWidget* owner);

    // The window's commands: 400 resets the bar to 0..100, 401 moves it to `lparam`
    // (a position past 100 shows a full bar), 1 ends the window (hides it).
    void command(int id, std::int64_t lparam);
    void show_file(const QString& path);
    void show_status(const QString& text);

    [[nodiscard]] QLabel* file_line() const { return file_; }
    [[nodiscard]] QLabel* status_line() const { return status_; }
    [[nodiscard]] QProgressBar* bar() const { return bar_; }

  signals:
    // What the window is told, as it comes (the bar's position as it will show).
    void file_shown(const QString& path);
    void status_shown(const QString& text);
    void position_set(int position);
    // Escape or the window manager's close: the user would like the run to stop. The
    // window itself stays; whoever runs the engine asks and decides.
    void stop_wanted();

  public slots:
    void reject() override { emit stop_wanted(); }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // What the controls are to show next.
    struct Shown {
        QString file;
        QString status;
        int position = 0;
    };
    void changed();
    void take_on();

    QLabel* file_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QTimer* refresh_ = nullptr;
    Shown next_;
    bool pending_ = false;
};

}  // namespace morvane
