// The main window's background tile and the screen-sized picture made of it.
#include "ui/main_background.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace orv {

// The background tile of Image1: the art of the resources when present, else a soft paper
// texture drawn here.
QPixmap backgroundTile() {
    if (QPixmap art(QStringLiteral(":/background.png")); !art.isNull()) return art;
    QImage tile(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            // A quiet weave: two crossing sine ripples on a warm grey.
            const double v = 6 * std::sin(x * 0.196) * std::sin(y * 0.196) + 3 * std::sin((x + y) * 0.098);
            const int base = 222 + int(v);
            tile.setPixel(x, y, qRgb(base, base - 2, base - 8));
        }
    return QPixmap::fromImage(tile);
}

QPixmap tiledBackground(const QPixmap& tile, QSize tileSize, QSize screen) {
    QPixmap background(screen);
    background.fill(Qt::white);
    if (!tile.isNull() && !tileSize.isEmpty()) {
        QPainter p(&background);
        for (int y = 0; y < screen.height(); y += tileSize.height())
            for (int x = 0; x < screen.width(); x += tileSize.width())
                p.drawPixmap(x, y, tileSize.width(), tileSize.height(), tile);
    }
    return background;
}

} // namespace orv
