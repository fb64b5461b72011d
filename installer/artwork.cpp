#include "artwork.h"

#include <QLinearGradient>
#include <QPainter>

namespace morvane {

QPixmap side_picture(QSize size, bool welcome) {
    QPixmap picture(size);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, welcome ? QColor(0x0d, 0x47, 0xa1) : QColor(0x00, 0x60, 0x64));
    sky.setColorAt(1, QColor(0xe3, 0xf2, 0xfd));
    painter.fillRect(picture.rect(), sky);
    // A stack of three pictures turning into one JPEG.
    const int w = size.width();
    for (int i = 0; i < 3; ++i) {
        const QRect sheet(w / 6 + i * 4, size.height() / 5 + i * 6, w / 2, w / 2);
        painter.setPen(QPen(Qt::white, 1));
        painter.setBrush(QColor(255, 255, 255, 60 + 50 * i));
        painter.drawRoundedRect(sheet, 3, 3);
    }
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(std::max(8, w / 6));
    painter.setFont(font);
    painter.drawText(QRect(0, size.height() * 2 / 3, w, size.height() / 4), Qt::AlignCenter,
                     "JPEG");
    return picture;
}

QPixmap item_icon(bool help) {
    QPixmap icon(32, 32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0x37, 0x47, 0x4f), 1.5));
    painter.setBrush(help ? QColor(0xff, 0xf8, 0xe1) : QColor(0xe3, 0xf2, 0xfd));
    painter.drawRoundedRect(QRectF(3, 3, 26, 26), 4, 4);
    QFont font = painter.font();
    font.setBold(true);
    font.setPixelSize(18);
    painter.setFont(font);
    painter.setPen(help ? QColor(0x15, 0x65, 0xc0) : QColor(0x2e, 0x7d, 0x32));
    painter.drawText(QRect(3, 3, 26, 26), Qt::AlignCenter, help ? "?" : "T");
    return icon;
}

}  // namespace morvane
