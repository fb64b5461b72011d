#pragma once
// The file selection's toolbar images: the desktop theme's icon where it has one, else a
// 16 x 16 drawing of our own.

#include <QIcon>

namespace morvane {

// Images 0 to 7: add the folder, add the folder and its children, remove the selected,
// grid, OK, cancel, remove all, help.
[[nodiscard]] QIcon toolbar_icon(int image);

}  // namespace morvane
