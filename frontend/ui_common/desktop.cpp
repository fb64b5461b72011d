#include "desktop.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>

#include "dialog_table.h"
#include "link_ids.h"

namespace morvane {
namespace {

QMessageBox::Icon icon_of(std::int64_t flags) {
    switch (flags & 0xF0) {
        case MB_ICONERROR:
            return QMessageBox::Critical;
        case MB_ICONQUESTION:
            return QMessageBox::Question;
        case MB_ICONWARNING:
            return QMessageBox::Warning;
        case MB_ICONINFORMATION:
            return QMessageBox::Information;
        default:
            return QMessageBox::NoIcon;
    }
}

void set_up_box(QMessageBox& box, std::int64_t flags) {
    switch (flags & 0x0F) {
        case MB_YESNO:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            box.setDefaultButton(QMessageBox::Yes);
            break;
        case MB_OKCANCEL:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            box.setDefaultButton(QMessageBox::Ok);
            break;
        default:
            box.setStandardButtons(QMessageBox::Ok);
            break;
    }
    box.adjustSize();
    centre_on_screen(&box);
}

int answer_of(std::int64_t flags, int pressed) {
    switch (flags & 0x0F) {
        case MB_YESNO:
            return static_cast<int>(pressed == QMessageBox::Yes ? IDYES : IDNO);
        case MB_OKCANCEL:
            return static_cast<int>(pressed == QMessageBox::Ok ? IDOK : IDCANCEL);
        default:
            return static_cast<int>(IDOK);
    }
}

int show_message_box(QWidget* owner, const QString& caption, const QString& text,
                     std::int64_t flags) {
    QMessageBox box(icon_of(flags), caption, text, QMessageBox::NoButton, owner);
    set_up_box(box, flags);
    return answer_of(flags, box.exec());
}

// Modal to its owner like the box above, but the caller's event loop goes on: no loop
// runs inside the caller while the user thinks.
void show_message_box_later(QWidget* owner, const QString& caption, const QString& text,
                            std::int64_t flags, std::function<void(int)> answered) {
    auto* box = new QMessageBox(icon_of(flags), caption, text, QMessageBox::NoButton, owner);
    box->setAttribute(Qt::WA_DeleteOnClose);
    set_up_box(*box, flags);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, flags, answered = std::move(answered)](int) {
                         answered(answer_of(flags, box->standardButton(box->clickedButton())));
                     });
    box->open();
}

bool open_with_desktop(const QString& path) {
    if (!QFileInfo::exists(path)) return false;
    return QProcess::startDetached("xdg-open", {path});
}

QString choose_existing_folder(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

QString choose_existing_file(QWidget* owner, const QString& title, const QString& filters) {
    QString selected = filters.section(";;", 0, 0);
    return QFileDialog::getOpenFileName(owner, title, QString(), filters, &selected);
}

// Starts at black with every custom colour white, fully opened.
std::optional<QColor> choose_any_color(QWidget* owner) {
    for (int i = 0; i < QColorDialog::customCount(); ++i)
        QColorDialog::setCustomColor(i, Qt::white);
    const QColor chosen = QColorDialog::getColor(Qt::black, owner);
    if (!chosen.isValid()) return std::nullopt;
    return chosen;
}

}  // namespace

void show_message_later(const Desktop& desktop, QWidget* owner, const QString& caption,
                        const QString& text, std::int64_t flags,
                        std::function<void(int)> answered) {
    if (desktop.message_box_later) {
        desktop.message_box_later(owner, caption, text, flags, std::move(answered));
        return;
    }
    answered(desktop.message_box(owner, caption, text, flags));
}

Desktop system_desktop() {
    return Desktop{show_message_box,       show_message_box_later, open_with_desktop,
                   choose_existing_folder, choose_existing_file,   choose_any_color};
}

}  // namespace morvane
