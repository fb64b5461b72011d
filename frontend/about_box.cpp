#include "about_box.h"

#include <array>

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "dialog_table.h"

#ifndef MORVANE_VERSION
#define MORVANE_VERSION "?"
#endif

namespace morvane {
namespace {

using K = ControlKind;
constexpr int ALL = kAlwaysShown;

constexpr int kAboutWidth = 186;
constexpr int kAboutHeight = 82;

constexpr std::array kAboutControls{
    ControlSpec{1201, K::Label, "Tarvik_morvane " MORVANE_VERSION, 10, 8, 166, 10, ALL, nullptr},
    ControlSpec{1202, K::Label, "Converts pictures, documents, camera-raw files", 10, 22, 166, 10,
                ALL, nullptr},
    ControlSpec{1204, K::Label, "and videos into JPEG files, a folder at a time.", 10, 32, 166, 10,
                ALL, nullptr},
    ControlSpec{1203, K::Label, "The Help button opens the manual.", 10, 44, 166, 10, ALL, nullptr},
    ControlSpec{1, K::DefaultButton, "OK", 68, 60, 50, 14, ALL, nullptr},
};

}  // namespace

// The title is bold before the box is measured, so that its wider caption is not cut.
std::unique_ptr<QDialog> make_about_box(QWidget* owner) {
    auto box = std::make_unique<QDialog>(owner);
    box->setWindowTitle("About Tarvik_morvane");
    set_control_id(box.get(), IDD_ABOUT);
    const DialogControls made = create_controls(box.get(), kAboutControls);
    auto* title = qobject_cast<QLabel*>(made.by_id.at(1201));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    const DialogUnits units = fitted_units(DialogUnits(box->font()), kAboutControls, made);
    place_controls(kAboutControls, made, units, 0);
    QObject::connect(qobject_cast<QPushButton*>(made.by_id.at(1)), &QPushButton::clicked, box.get(),
                     &QDialog::accept);
    box->setFixedSize(units.x(kAboutWidth), units.y(kAboutHeight));
    centre_on_screen(box.get());
    return box;
}

void run_about_box(QWidget* owner) {
    const std::unique_ptr<QDialog> box = make_about_box(owner);
    box->exec();
}

}  // namespace morvane
