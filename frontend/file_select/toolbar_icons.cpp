#include "toolbar_icons.h"

#include <array>

#include <QPainter>
#include <QPixmap>

namespace morvane {
namespace {

struct Artwork {
    const char* theme_name;
    const char* glyph;  // drawn when the theme has no such icon
    QColor colour;
};

const std::array<Artwork, 8>& artwork() {
    static const std::array<Artwork, 8> kArtwork{{
        {"list-add", "+", QColor(0x2e, 0x7d, 0x32)},
        {"folder-open", "++", QColor(0x2e, 0x7d, 0x32)},
        {"list-remove", "\u2212", QColor(0xc6, 0x28, 0x28)},
        {"view-grid", "#", QColor(0x37, 0x47, 0x4f)},
        {"dialog-ok", "\u2713", QColor(0x2e, 0x7d, 0x32)},
        {"dialog-cancel", "\u2717", QColor(0xc6, 0x28, 0x28)},
        {"edit-clear-all", "\u2205", QColor(0xc6, 0x28, 0x28)},
        {"help-contents", "?", QColor(0x15, 0x65, 0xc0)},
    }};
    return kArtwork;
}

QPixmap drawn(const Artwork& art, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = painter.font();
    font.setBold(true);
    const QString glyph = QString::fromUtf8(art.glyph);
    font.setPixelSize((glyph.size() > 1 ? 11 : 14) * size / 16);
    painter.setFont(font);
    painter.setPen(art.colour);
    painter.drawText(QRect(0, 0, size, size), Qt::AlignCenter, glyph);
    return pixmap;
}

}  // namespace

QIcon toolbar_icon(int image) {
    const Artwork& art = artwork().at(static_cast<std::size_t>(image));
    // Drawn at several sizes, so that large fonts and high-density screens get sharp ones.
    QIcon own;
    for (const int size : {16, 24, 32, 48, 64}) own.addPixmap(drawn(art, size));
    return QIcon::fromTheme(art.theme_name, own);
}

}  // namespace morvane
