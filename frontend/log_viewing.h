#pragma once
// "Last log": the log of the latest run opened with the user's program for it, or, when
// no program can open it, in a read-only viewer of the window's own.

#include <QDialog>
#include <QString>

#include "child_process.h"
#include "desktop.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace morvane {

inline constexpr int IDD_LOG_VIEWER = 2000;
inline constexpr int IDC_LOG_TEXT = 2001;
inline constexpr int IDC_LOG_FIND = 2002;
inline constexpr int IDC_LOG_FIND_NEXT = 2003;
inline constexpr int IDC_LOG_FOUND = 2004;
inline constexpr int IDC_LOG_CLOSE = 2005;

// "<temporary folder>/tarvik_morvane.log", or empty when there is no temporary folder.
[[nodiscard]] QString last_log_path();

// Opens the log with $MORVANE_LOG_OPENER or xdg-open; a missing log is reported, and an
// opener that finds no program for it (or cannot start) makes way for the viewer.
void open_last_log(QWidget* owner, const Desktop& desktop, ChildWatch& children);

class LogViewer : public QDialog {
    Q_OBJECT

  public:
    // A modeless window owned by `owner` that deletes itself when closed.
    LogViewer(const QString& path, QWidget* owner);

    [[nodiscard]] QPlainTextEdit* text() const { return text_; }
    // Selects the next occurrence of the Find field's text, from the cursor on and then
    // from the top; false (and "Not found") when there is none.
    bool find_next();

  private:
    QPlainTextEdit* text_;
    QLineEdit* find_;
    QLabel* found_;
};

}  // namespace morvane
