#pragma once
// What the windows ask of the desktop: message boxes, opening a file with its program,
// and the folder, file and colour choosers. Tests replace each with a scripted answer.

#include <cstdint>
#include <functional>
#include <optional>

#include <QColor>
#include <QString>

class QWidget;

namespace morvane {

struct Desktop {
    // MessageBox-style flags (MB_YESNO, MB_OKCANCEL, MB_ICONWARNING, ...); returns IDOK,
    // IDCANCEL, IDYES or IDNO.
    std::function<int(QWidget* owner, const QString& caption, const QString& text,
                      std::int64_t flags)>
        message_box;
    // The same box without waiting for it: `answered` runs with the button once one is
    // pressed. Empty: message_box is shown and answered at once.
    std::function<void(QWidget* owner, const QString& caption, const QString& text,
                       std::int64_t flags, std::function<void(int)> answered)>
        message_box_later;
    // Opens the file with the user's program for it; false when the file is missing or
    // no opener could be started.
    std::function<bool(const QString& path)> open_file;
    // The chosen folder or file; empty on Cancel.
    std::function<QString(QWidget* owner, const QString& title)> choose_folder;
    std::function<QString(QWidget* owner, const QString& title, const QString& filters)>
        choose_file;
    std::function<std::optional<QColor>(QWidget* owner)> choose_color;
};

// Shows a box through message_box_later, or through message_box when there is none.
void show_message_later(const Desktop& desktop, QWidget* owner, const QString& caption,
                        const QString& text, std::int64_t flags, std::function<void(int)> answered);

// The real desktop: Qt's message box and dialogs, xdg-open started detached.
[[nodiscard]] Desktop system_desktop();

}  // namespace morvane
