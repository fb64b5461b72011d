#pragma once
// Dialogs built from a control table like a resource script: each control's id, kind,
// caption, rectangle in dialog units and tab page. Dialog units become pixels from the
// font's average character size, so a dialog scales with its font and the screen.

#include <map>
#include <span>
#include <vector>

#include <QFont>
#include <QRect>
#include <QString>

class QWidget;
class QObject;

namespace morvane {

enum class ControlKind {
    GroupBox,
    Label,
    Edit,
    DigitsEdit,  // accepts digits only, at most nine of them
    Button,
    DefaultButton,
    CheckBox,
    RadioButton,
    ListView,
    DropList,  // a list to choose from; no typing
    Swatch,    // a sunken frame that shows a colour
    TabBar,
    PageFrame,
    Mailbox,      // a hidden text another program writes into
    ProgressBar,  // a bordered bar without its percentage
};

inline constexpr int kNoId = -1;
inline constexpr int kAlwaysShown = -1;

struct ControlSpec {
    int id;  // kNoId for a label nothing refers to
    ControlKind kind;
    const char* caption;
    int x, y, width, height;  // dialog units
    int page;                 // kAlwaysShown or the tab page index
    const char* name;         // accessible name of a control without a caption
};

// Pixels per dialog unit, from a font's average character width and height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int base_width, int base_height)
        : base_width_(base_width), base_height_(base_height) {}
    [[nodiscard]] int x(int units) const { return units * base_width_ / 4; }
    [[nodiscard]] int y(int units) const { return units * base_height_ / 8; }
    [[nodiscard]] QRect rect(int x, int y, int width, int height) const;
    // Pixels given for a 96-dpi screen with the classic dialog font, rescaled to this one.
    [[nodiscard]] int classic_x(int pixels) const { return pixels * base_width_ / 6; }
    [[nodiscard]] int classic_y(int pixels) const { return pixels * base_height_ / 13; }
    // Units at least this large, and large enough that `units` dialog units hold
    // `pixels` across (or down).
    [[nodiscard]] DialogUnits widened_for(int pixels, int units) const;
    [[nodiscard]] DialogUnits heightened_for(int pixels, int units) const;

  private:
    int base_width_;
    int base_height_;
};

// The caption as a screen reader should say it: "&&" becomes "&", other '&' marks go.
[[nodiscard]] QString without_mnemonics(const QString& caption);

// Names a control by its id: the object name is the id in decimal and, when the
// environment variable MORVANE_UI_IDS is 1, so is its accessible description.
void set_control_id(QObject* object, int id);

// The controls of one table, made as children of a dialog.
struct DialogControls {
    std::vector<QWidget*> in_order;  // one per table row
    std::map<int, QWidget*> by_id;   // the rows that have an id
};

// Makes every control of the table as a child of `parent`, not yet placed.
[[nodiscard]] DialogControls create_controls(QWidget* parent, std::span<const ControlSpec> table);

// The font's units, enlarged where a font draws some caption wider than the classic
// dialog font did, so that no caption is cut; the whole dialog grows with them.
[[nodiscard]] DialogUnits fitted_units(const DialogUnits& font_units,
                                       std::span<const ControlSpec> table,
                                       const DialogControls& controls);

// Places the controls at their rectangles, shifted down by `top` pixels.
void place_controls(std::span<const ControlSpec> table, const DialogControls& controls,
                    const DialogUnits& units, int top);

// Moves a window, keeping its size, so that it is centred on the primary screen.
void centre_on_screen(QWidget* window);

}  // namespace morvane
