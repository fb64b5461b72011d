#include "ui_audit.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabBar>
#include <QTest>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>

#include "dialog_table.h"

namespace morvane::test {
namespace {

QString describe(const QWidget* widget) {
    const QString id = widget->objectName().isEmpty() ? QString("(no id)") : widget->objectName();
    return QString("%1 %2").arg(widget->metaObject()->className(), id);
}

std::string line(const QWidget* widget, const QString& what) {
    return (describe(widget) + ": " + what).toStdString();
}

bool is_id(const QString& name) {
    if (name.isEmpty()) return false;
    return std::all_of(name.begin(), name.end(), [](QChar c) { return c.isDigit(); });
}

bool exempted(const QWidget* widget, const std::vector<QString>& exempt) {
    const QString name = widget->objectName();
    if (name.startsWith("qt_")) return true;  // Qt's own parts of a control
    return std::find(exempt.begin(), exempt.end(), name) != exempt.end();
}

// A widget a person reaches or reads, as opposed to a container that only holds others.
bool is_control(const QWidget* widget) {
    if (qobject_cast<const QHeaderView*>(widget) != nullptr) return false;
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget) || qobject_cast<const QLabel*>(widget) ||
           qobject_cast<const QGroupBox*>(widget) || qobject_cast<const QTabBar*>(widget) ||
           qobject_cast<const QProgressBar*>(widget) ||
           qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget);
}

// The visible controls below `parent`, not looking inside a control (a group box holds
// controls of its own, so it is looked inside).
void collect(QWidget* parent, const std::vector<QString>& exempt, std::vector<QWidget*>& out) {
    for (QObject* object : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(object);
        if (widget == nullptr || widget->isWindow() || !widget->isVisible()) continue;
        if (exempted(widget, exempt)) continue;
        if (is_control(widget)) out.push_back(widget);
        if (!is_control(widget) || qobject_cast<QGroupBox*>(widget) != nullptr)
            collect(widget, exempt, out);
    }
}

std::vector<QWidget*> controls_of(QWidget* window, const std::vector<QString>& exempt = {}) {
    std::vector<QWidget*> out;
    collect(window, exempt, out);
    return out;
}

QString plain(const QString& caption) {
    return without_mnemonics(caption);
}

QString heard_name(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face == nullptr ? QString() : face->text(QAccessible::Name);
}

void check_label(QLabel* label, std::vector<std::string>& faults) {
    if (label->text().isEmpty()) {
        // An empty line says nothing; a picture or a colour swatch needs a name of its own.
        const bool shows_something = !label->pixmap().isNull() || label->autoFillBackground();
        if (shows_something && heard_name(label).isEmpty())
            faults.push_back(line(label, "shows no text and has no name"));
        return;
    }
    if (!label->accessibleName().isEmpty()) {
        faults.push_back(line(label, "has the fixed name \"" + label->accessibleName() +
                                         "\" instead of the text it shows"));
    }
    // Qt takes a label's mnemonic mark out of its name only when the label has a buddy.
    const QString shown = label->buddy() != nullptr ? plain(label->text()) : label->text();
    if (label->textFormat() != Qt::RichText && heard_name(label) != shown) {
        faults.push_back(
            line(label, "is heard as \"" + heard_name(label) + "\" but shows \"" + shown + "\""));
    }
}

void check_widget(QWidget* widget, bool ids, std::vector<std::string>& faults) {
    // Static text that nothing refers to may go without an id, as in a dialog resource.
    auto* label = qobject_cast<QLabel*>(widget);
    if (label != nullptr && label->objectName().isEmpty()) return check_label(label, faults);
    if (!is_id(widget->objectName())) faults.push_back(line(widget, "has no id as object name"));
    if (ids && widget->accessibleDescription() != widget->objectName()) {
        faults.push_back(
            line(widget, "carries \"" + widget->accessibleDescription() + "\" as description"));
    }
    if (label != nullptr) {
        check_label(label, faults);
    } else if (heard_name(widget).trimmed().isEmpty()) {
        faults.push_back(line(widget, "has no accessible name"));
    }
}

void check_action(QAction* action, bool ids, std::vector<std::string>& faults) {
    if (action->isSeparator() || action->menu() != nullptr || !action->isVisible()) return;
    const QString what =
        QString("action \"%1\" %2").arg(plain(action->text()), action->objectName());
    if (!is_id(action->objectName())) faults.push_back((what + ": has no id").toStdString());
    if (ids && action->statusTip() != action->objectName())
        faults.push_back((what + ": carries no id in its status tip").toStdString());
    if (plain(action->text()).trimmed().isEmpty() && action->toolTip().isEmpty())
        faults.push_back((what + ": has no text").toStdString());
}

// The '&' letters of a caption.
std::vector<QChar> mnemonics_of(const QString& caption) {
    std::vector<QChar> out;
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] != '&') out.push_back(caption[i + 1].toLower());
        ++i;
    }
    return out;
}

QString caption_with_mnemonic(QWidget* widget) {
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
    if (auto* box = qobject_cast<QGroupBox*>(widget)) return box->title();
    if (auto* label = qobject_cast<QLabel*>(widget)) return label->buddy() ? label->text() : "";
    return {};
}

void fit_text(QWidget* widget, const QString& text, int room_width, int extra,
              std::vector<std::string>& faults) {
    const int needed = widget->fontMetrics().horizontalAdvance(plain(text)) + extra;
    if (needed > room_width) {
        faults.push_back(line(widget, QString("\"%1\" needs %2 pixels across, has %3")
                                          .arg(plain(text))
                                          .arg(needed)
                                          .arg(room_width)));
    }
    if (widget->fontMetrics().height() > widget->height()) {
        faults.push_back(line(widget, QString("\"%1\" needs %2 pixels down, has %3")
                                          .arg(plain(text))
                                          .arg(widget->fontMetrics().height())
                                          .arg(widget->height())));
    }
}

void fit_label(QLabel* label, std::vector<std::string>& faults) {
    if (label->text().isEmpty() || label->textFormat() == Qt::RichText) return;
    if (label->wordWrap()) {
        const int needed = label->heightForWidth(label->width());
        if (needed > label->height())
            faults.push_back(line(label, QString("wrapped text needs %1 pixels down, has %2")
                                             .arg(needed)
                                             .arg(label->height())));
        return;
    }
    const int margins = label->contentsMargins().left() + label->contentsMargins().right() +
                        2 * label->margin() + std::max(0, label->indent());
    fit_text(label, label->text(), label->width() - margins, 0, faults);
}

void fit_control(QWidget* widget, std::vector<std::string>& faults) {
    if (auto* label = qobject_cast<QLabel*>(widget)) return fit_label(label, faults);
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        if (!box->title().isEmpty()) fit_text(box, box->title(), box->width(), 16, faults);
        return;
    }
    if (auto* push = qobject_cast<QPushButton*>(widget)) {
        if (!push->text().isEmpty()) fit_text(push, push->text(), push->width(), 6, faults);
        return;
    }
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget)) {
        const QSize hint = widget->sizeHint();
        if (hint.width() > widget->width() || widget->fontMetrics().height() > widget->height()) {
            faults.push_back(line(widget, QString("needs %1x%2, has %3x%4")
                                              .arg(hint.width())
                                              .arg(hint.height())
                                              .arg(widget->width())
                                              .arg(widget->height())));
        }
        return;
    }
    if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget)) {
        const int needed = widget->minimumSizeHint().height();
        if (needed > widget->height())
            faults.push_back(line(
                widget, QString("needs %1 pixels down, has %2").arg(needed).arg(widget->height())));
        return;
    }
    if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->tabRect(i).right() >= tabs->width())
                faults.push_back(line(tabs, "tab \"" + plain(tabs->tabText(i)) + "\" is cut"));
        }
    }
}

// Controls that show a caption or take input overlap when they share pixels; a group
// box holds others and is left out.
bool takes_room(QWidget* widget) {
    return qobject_cast<QGroupBox*>(widget) == nullptr;
}

// The pixels a control paints on: a left-aligned label or a check box only as far as
// its caption reaches, however wide its rectangle.
QRect occupied(QWidget* widget) {
    QRect rect = widget->geometry();
    auto* label = qobject_cast<QLabel*>(widget);
    if (label != nullptr && !label->wordWrap() && (label->alignment() & Qt::AlignLeft)) {
        const int text = label->fontMetrics().horizontalAdvance(plain(label->text()));
        rect.setWidth(std::min(rect.width(), text + label->contentsMargins().left() +
                                                 label->contentsMargins().right()));
    }
    if (qobject_cast<QCheckBox*>(widget) || qobject_cast<QRadioButton*>(widget))
        rect.setWidth(std::min(rect.width(), widget->sizeHint().width()));
    return rect;
}

void fit_overlaps(const std::vector<QWidget*>& controls, std::vector<std::string>& faults) {
    for (std::size_t i = 0; i < controls.size(); ++i) {
        QWidget* a = controls[i];
        if (!a->parentWidget()->rect().contains(a->geometry()))
            faults.push_back(line(a, "stands outside its window"));
        if (!takes_room(a)) continue;
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            QWidget* b = controls[j];
            if (!takes_room(b) || a->parentWidget() != b->parentWidget()) continue;
            if (occupied(a).intersects(occupied(b)))
                faults.push_back(line(a, "overlaps " + describe(b)));
        }
    }
}

QWidget* named_focus(QWidget* focus, QWidget* window) {
    while (focus != nullptr && focus != window && !is_id(focus->objectName()))
        focus = focus->parentWidget();
    return focus;
}

}  // namespace

std::vector<std::string> naming_faults(QWidget* window, bool ids_in_descriptions,
                                       const std::vector<QString>& exempt) {
    std::vector<std::string> faults;
    for (QWidget* control : controls_of(window, exempt))
        check_widget(control, ids_in_descriptions, faults);
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        for (QAction* action : bar->actions()) {
            if (action->menu() == nullptr) check_action(action, ids_in_descriptions, faults);
        }
    }
    for (QMenu* menu : window->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions()) check_action(action, ids_in_descriptions, faults);
    }
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        for (QAction* action : bar->actions()) check_action(action, ids_in_descriptions, faults);
    }
    return faults;
}

std::vector<QString> tab_walk(QWidget* window) {
    window->show();
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window);
    QWidget* focus = QApplication::focusWidget();
    if (focus == nullptr || focus->window() != window) {
        for (QWidget* next = window->nextInFocusChain(); next != window;
             next = next->nextInFocusChain()) {
            if ((next->focusPolicy() & Qt::TabFocus) && next->isVisible() && next->isEnabled()) {
                next->setFocus(Qt::TabFocusReason);
                break;
            }
        }
        focus = QApplication::focusWidget();
    }
    std::vector<QString> walk;
    if (focus == nullptr) return walk;
    QWidget* first = focus;
    for (int step = 0; step < 200; ++step) {
        QWidget* named = named_focus(focus, window);
        walk.push_back(named != nullptr ? named->objectName() : QString("(none)"));
        QTest::keyClick(focus, Qt::Key_Tab);
        focus = QApplication::focusWidget();
        if (focus == nullptr || focus == first) break;
    }
    return walk;
}

std::vector<std::string> mnemonic_clashes(QWidget* window) {
    std::map<QChar, std::vector<QString>> users;
    for (QWidget* control : controls_of(window)) {
        for (QChar letter : mnemonics_of(caption_with_mnemonic(control)))
            users[letter].push_back(describe(control));
    }
    for (QTabBar* tabs : window->findChildren<QTabBar*>()) {
        if (!tabs->isVisible()) continue;
        for (int i = 0; i < tabs->count(); ++i) {
            for (QChar letter : mnemonics_of(tabs->tabText(i)))
                users[letter].push_back("tab " + plain(tabs->tabText(i)));
        }
    }
    for (QMenuBar* bar : window->findChildren<QMenuBar*>()) {
        if (!bar->isVisible()) continue;
        for (QAction* action : bar->actions()) {
            for (QChar letter : mnemonics_of(action->text()))
                users[letter].push_back("menu " + plain(action->text()));
        }
    }
    std::vector<std::string> clashes;
    for (const auto& [letter, names] : users) {
        if (names.size() < 2) continue;
        QString text = QString("'%1' marks").arg(letter);
        for (const QString& name : names) text += " [" + name + "]";
        clashes.push_back(text.toStdString());
    }
    return clashes;
}

std::vector<std::string> fit_faults(QWidget* window, const std::vector<QString>& exempt) {
    std::vector<std::string> faults;
    const std::vector<QWidget*> controls = controls_of(window, exempt);
    for (QWidget* control : controls) fit_control(control, faults);
    fit_overlaps(controls, faults);
    return faults;
}

FontSize::FontSize(int points) : saved_(QApplication::font()) {
    if (points <= 0) return;
    QFont font = saved_;
    font.setPointSize(points);
    QApplication::setFont(font);
}

FontSize::~FontSize() {
    QApplication::setFont(saved_);
}

UiIds::UiIds() {
    ::setenv("MORVANE_UI_IDS", "1", 1);
}

UiIds::~UiIds() {
    ::unsetenv("MORVANE_UI_IDS");
}

std::string joined(const std::vector<std::string>& faults) {
    std::string text;
    for (const std::string& fault : faults) text += "\n  " + fault;
    return text;
}

}  // namespace morvane::test
