#pragma once
// The small "Processing..." window of a run: the file being converted, the stage and a
// progress bar, driven by the commands the Monitor window relays from the engine.

#include <cstdint>

#include <QDialog>
#include <QString>

#include "dialog_table.h"

class QLabel;
class QProgressBar;

namespace morvane {

inline constexpr int IDD_PROCESSING = 105;
inline constexpr int IDC_PROC_FILE = 1059;
inline constexpr int IDC_PROC_STATUS = 1019;
inline constexpr int IDC_PROC_BAR = 1118;
inline constexpr int IDM_PROC_RESET = 400;
inline constexpr int IDM_PROC_SETPOS = 401;
inline constexpr int kProcessingWidth = 236;  // dialog units
inline constexpr int kProcessingHeight = 39;

class ProcessingWindow : public QDialog {
    Q_OBJECT

  public:
    // Modeless, owned by `owner`, centred and shown at once.
    explicit ProcessingWindow(QWidget* owner);

    // The window's commands: 400 resets the bar to 0..100, 401 moves it to `lparam`
    // (a position past 100 shows a full bar), 1 ends the window (hides it).
    void command(int id, std::int64_t lparam);
    void show_file(const QString& path);
    // The stage text, painted at once.
    void show_status(const QString& text);

    [[nodiscard]] QLabel* file_line() const { return file_; }
    [[nodiscard]] QLabel* status_line() const { return status_; }
    [[nodiscard]] QProgressBar* bar() const { return bar_; }

  signals:
    // What the window shows, as it changes (the bar's position as shown).
    void file_shown(const QString& path);
    void status_shown(const QString& text);
    void position_set(int position);

  public slots:
    // Escape and the window manager's close do nothing: the run decides when it goes.
    void reject() override {}

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QLabel* file_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* bar_ = nullptr;
};

}  // namespace morvane
