#include "dialog_table.h"

#include <cstdlib>
#include <cstring>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTabBar>
#include <QTableWidget>
#include <QWidget>

#include "window_centre.h"

namespace morvane {
namespace {

QWidget* make_button(QWidget* parent, const QString& caption, bool is_default) {
    auto* button = new QPushButton(caption, parent);
    // Enter presses the default button only, as in a dialog box.
    button->setAutoDefault(false);
    button->setDefault(is_default);
    return button;
}

QWidget* make_digits_edit(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(9);
    static const QRegularExpression digits("[0-9]{0,9}");
    edit->setValidator(new QRegularExpressionValidator(digits, edit));
    return edit;
}

QWidget* make_swatch(QWidget* parent) {
    auto* swatch = new QLabel(parent);
    swatch->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    swatch->setAutoFillBackground(true);
    return swatch;
}

QWidget* make_control(QWidget* parent, const ControlSpec& spec) {
    const QString caption = QString::fromUtf8(spec.caption);
    switch (spec.kind) {
        case ControlKind::GroupBox:
            return new QGroupBox(caption, parent);
        case ControlKind::Label:
            return new QLabel(caption, parent);
        case ControlKind::Edit:
            return new QLineEdit(parent);
        case ControlKind::DigitsEdit:
            return make_digits_edit(parent);
        case ControlKind::Button:
            return make_button(parent, caption, false);
        case ControlKind::DefaultButton:
            return make_button(parent, caption, true);
        case ControlKind::CheckBox:
            return new QCheckBox(caption, parent);
        case ControlKind::RadioButton: {
            auto* radio = new QRadioButton(caption, parent);
            radio->setAutoExclusive(false);  // the dialog pairs its radio buttons itself
            return radio;
        }
        case ControlKind::ListView:
            return new QTableWidget(parent);
        case ControlKind::DropList:
            return new QComboBox(parent);
        case ControlKind::Swatch:
            return make_swatch(parent);
        case ControlKind::TabBar:
            return new QTabBar(parent);
        case ControlKind::PageFrame:
            return new QGroupBox(parent);
        case ControlKind::Mailbox: {
            auto* mailbox = new QLabel(parent);
            mailbox->hide();
            return mailbox;
        }
        case ControlKind::ProgressBar: {
            auto* bar = new QProgressBar(parent);
            bar->setTextVisible(false);
            return bar;
        }
    }
    return new QWidget(parent);
}

// A caption of its own, or the name the table gives a control without one. A label has
// none of its own: a screen reader hears the text it shows, whatever that is now.
QString accessible_name(const ControlSpec& spec) {
    if (spec.kind == ControlKind::Label || spec.kind == ControlKind::Mailbox) return {};
    if (spec.caption != nullptr && std::strlen(spec.caption) > 0) {
        return without_mnemonics(QString::fromUtf8(spec.caption));
    }
    return spec.name != nullptr ? QString::fromUtf8(spec.name) : QString();
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    // The average width of the 52 letters, rounded, and the font's line height.
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    base_width_ = (metrics.horizontalAdvance(letters) + 26) / 52;
    base_height_ = metrics.height();
}

QRect DialogUnits::rect(int left, int top, int width, int height) const {
    return {x(left), y(top), x(width), y(height)};
}

QString without_mnemonics(const QString& caption) {
    QString out;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != '&') {
            out += caption[i];
        } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
            out += '&';
            ++i;
        }
    }
    return out;
}

void set_control_id(QObject* object, int id) {
    const QString text = QString::number(id);
    object->setObjectName(text);
    const char* ids = std::getenv("MORVANE_UI_IDS");
    if (ids == nullptr || std::strcmp(ids, "1") != 0) return;
    if (auto* widget = qobject_cast<QWidget*>(object)) widget->setAccessibleDescription(text);
    if (auto* action = qobject_cast<QAction*>(object)) {
        action->setWhatsThis(text);
        action->setStatusTip(text);
    }
}

DialogUnits DialogUnits::widened_for(int pixels, int units) const {
    if (units <= 0 || x(units) >= pixels) return *this;
    return {(pixels * 4 + units - 1) / units, base_height_};
}

DialogUnits DialogUnits::heightened_for(int pixels, int units) const {
    if (units <= 0 || y(units) >= pixels) return *this;
    return {base_width_, (pixels * 8 + units - 1) / units};
}

// A label whose caption marks a letter hands the focus to the control that follows it,
// as a dialog's static text does for the edit after it.
void give_labels_buddies(std::span<const ControlSpec> table, const DialogControls& controls) {
    for (std::size_t i = 0; i + 1 < table.size(); ++i) {
        if (table[i].kind != ControlKind::Label) continue;
        QString caption = QString::fromUtf8(table[i].caption);
        const QString shown = without_mnemonics(caption);
        if (shown == caption.replace("&&", "&")) continue;  // no letter marked
        if (auto* label = qobject_cast<QLabel*>(controls.in_order[i]))
            label->setBuddy(controls.in_order[i + 1]);
    }
}

DialogControls create_controls(QWidget* parent, std::span<const ControlSpec> table) {
    DialogControls controls;
    for (const ControlSpec& spec : table) {
        QWidget* control = make_control(parent, spec);
        control->setAccessibleName(accessible_name(spec));
        controls.in_order.push_back(control);
        if (spec.id == kNoId) continue;
        set_control_id(control, spec.id);
        controls.by_id[spec.id] = control;
    }
    give_labels_buddies(table, controls);
    return controls;
}

DialogUnits fitted_units(const DialogUnits& font_units, std::span<const ControlSpec> table,
                         const DialogControls& controls) {
    DialogUnits units = font_units;
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlSpec& spec = table[i];
        const bool captioned =
            spec.kind == ControlKind::Label || spec.kind == ControlKind::CheckBox ||
            spec.kind == ControlKind::RadioButton || spec.kind == ControlKind::Button ||
            spec.kind == ControlKind::DefaultButton;
        if (!captioned || spec.caption == nullptr || spec.caption[0] == '\0') continue;
        QWidget* control = controls.in_order[i];
        if (spec.kind == ControlKind::Button || spec.kind == ControlKind::DefaultButton) {
            // A button's own hint asks for a minimum width no caption needs.
            const int text = control->fontMetrics().horizontalAdvance(
                without_mnemonics(QString::fromUtf8(spec.caption)));
            units = units.widened_for(text + 8, spec.width);
            continue;
        }
        const QSize needed = control->sizeHint();
        units = units.widened_for(needed.width(), spec.width);
        if (spec.kind != ControlKind::Label)
            units = units.heightened_for(needed.height(), spec.height);
    }
    return units;
}

void place_controls(std::span<const ControlSpec> table, const DialogControls& controls,
                    const DialogUnits& units, int top) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        const ControlSpec& spec = table[i];
        controls.in_order[i]->setGeometry(
            units.rect(spec.x, spec.y, spec.width, spec.height).translated(0, top));
    }
}

void centre_on_screen(QWidget* window) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->geometry();
    const Origin origin =
        centred_origin(area.width(), area.height(), window->width(), window->height());
    window->move(area.left() + origin.left, area.top() + origin.top);
}

}  // namespace morvane
