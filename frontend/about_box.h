#pragma once
// The About box: the program's name, version and what it does.

class QWidget;

namespace morvane {

inline constexpr int IDD_ABOUT = 104;

// Shows the About box modally over `owner`.
void run_about_box(QWidget* owner);

}  // namespace morvane
