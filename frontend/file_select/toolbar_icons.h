#pragma once
// The file selection's toolbar images: the desktop theme's icon where it has one, else a
// drawing of our own at 16 x 16 pixels and larger.

#include <QIcon>

namespace morvane {

// Images 0 to 7: add the folder, add the folder and its children, remove the selected,
// grid, OK, cancel, remove all, help.
[[nodiscard]] QIcon toolbar_icon(int image);

}  // namespace morvane
