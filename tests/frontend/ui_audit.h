#pragma once
// Checks a window as a screen reader and a keyboard user meet it: every control named
// by its id and its caption (a label by the text it shows), the order Tab visits the
// controls, mnemonics used once, and captions that fit their rectangles.

#include <ostream>
#include <string>
#include <vector>

#include <QFont>
#include <QString>

class QWidget;

namespace morvane::test {

// What is wrong with the names of the window's controls, one line a fault (empty when
// none). Looks at every visible widget a person can reach or read (buttons, boxes,
// edits, lists, trees, labels with text, tool buttons) and every action of its menus
// and toolbars:
// - the object name is the control's id (digits), for widgets and actions alike;
// - with `ids_in_descriptions` (the window was made with MORVANE_UI_IDS=1), the
//   accessible description is that same id;
// - the accessible name a screen reader hears is not empty, and for a label it is the
//   text the label shows, whatever that text is now.
// Widgets whose object name is listed in `exempt` (a scroll bar inside a list, say) and
// their children are passed over.
[[nodiscard]] std::vector<std::string> naming_faults(QWidget* window, bool ids_in_descriptions,
                                                     const std::vector<QString>& exempt = {});

// The object names of the widgets that Tab gives the focus to, starting with the one
// that has it now (the first focusable one when none has), until the focus comes back
// around; at most 200 steps. The window is shown and activated first.
[[nodiscard]] std::vector<QString> tab_walk(QWidget* window);

// Mnemonic letters ('&' marks in captions of visible buttons, boxes, labels with a
// buddy, group boxes and menu titles) used more than once among the visible controls
// of the window, one line a clash.
[[nodiscard]] std::vector<std::string> mnemonic_clashes(QWidget* window);

// Visible labels, buttons, check boxes, radio buttons and group-box titles whose caption
// is cut by their rectangle, or that overlap another visible captioned control of the
// same parent, or that stand outside their parent, one line a fault. Widgets named in
// `exempt` (a line meant to cut a long path at the window's edge, say) and their
// children are passed over.
[[nodiscard]] std::vector<std::string> fit_faults(QWidget* window,
                                                  const std::vector<QString>& exempt = {});

// The application font at a size while a test runs (0 leaves it as it is).
class FontSize {
  public:
    explicit FontSize(int points);
    ~FontSize();
    FontSize(const FontSize&) = delete;
    FontSize& operator=(const FontSize&) = delete;

  private:
    QFont saved_;
};

// MORVANE_UI_IDS=1 while a test runs, so that the windows it makes carry their ids in
// their accessible descriptions.
class UiIds {
  public:
    UiIds();
    ~UiIds();
    UiIds(const UiIds&) = delete;
    UiIds& operator=(const UiIds&) = delete;
};

// Lines of a fault list joined for a test's failure message.
[[nodiscard]] std::string joined(const std::vector<std::string>& faults);

}  // namespace morvane::test

// Test messages show a QString as its text.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
