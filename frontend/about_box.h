#pragma once
// The About box: the program's name, version and what it does.

#include <memory>

class QDialog;
class QWidget;

namespace morvane {

inline constexpr int IDD_ABOUT = 104;

// The About box over `owner`, built and centred but not shown.
[[nodiscard]] std::unique_ptr<QDialog> make_about_box(QWidget* owner);

// Shows the About box modally over `owner`.
void run_about_box(QWidget* owner);

}  // namespace morvane
