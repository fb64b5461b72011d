#pragma once
// The installer's pictures, drawn at run time: the side picture of the pages, the icons
// of the finished page and the failure dialog's icon.

#include <QPixmap>
#include <QSize>

namespace morvane {

// The tall picture on the left of a page; the welcome page has one of its own.
[[nodiscard]] QPixmap side_picture(QSize size, bool welcome);
// A 32 x 32 icon: the settings window's ("Setup") or the help page's.
[[nodiscard]] QPixmap item_icon(bool help);

}  // namespace morvane
