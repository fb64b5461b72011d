// Draws the application icon at the hicolor theme's sizes, the same picture as
// tarvik-morvane.svg: three sheets turning into one picture with a hill and a sun.

#include <string>

#include <QDir>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>

namespace {

QImage draw(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 256.0, size / 256.0);
    QLinearGradient sky(0, 8, 0, 248);
    sky.setColorAt(0, QColor(0x0d, 0x47, 0xa1));
    sky.setColorAt(1, QColor(0x64, 0xb5, 0xf6));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(8, 8, 240, 240), 36, 36);
    const double fills[] = {0.35, 0.55, 1.0};
    for (int i = 0; i < 3; ++i) {
        QColor white(Qt::white);
        white.setAlphaF(fills[i]);
        painter.setPen(QPen(Qt::white, 6));
        painter.setBrush(white);
        painter.drawRoundedRect(QRectF(44 + 24 * i, 52 + 24 * i, 120, 96), 8, 8);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2e, 0x7d, 0x32));
    painter.drawPolygon(QPolygonF({{104, 184}, {136, 140}, {156, 164}, {172, 148}, {200, 184}}));
    painter.setBrush(QColor(0xff, 0xb3, 0x00));
    painter.drawEllipse(QPointF(180, 124), 10, 10);
    return image;
}

}  // namespace

// make_icons OUTDIR: OUTDIR/<n>x<n>/apps/tarvik-morvane.png for each size.
int main(int argc, char** argv) {
    if (argc != 2) return 2;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string folder = std::string(argv[1]) + "/" + std::to_string(size) + "x" +
                                   std::to_string(size) + "/apps";
        if (!QDir().mkpath(QString::fromStdString(folder))) return 1;
        if (!draw(size).save(QString::fromStdString(folder + "/tarvik-morvane.png"))) return 1;
    }
    return 0;
}
