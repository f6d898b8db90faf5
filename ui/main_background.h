// The main window's background: a tile (the resources' art, or a soft paper texture drawn here)
// repeated over a screen-sized picture.
#pragma once

#include <QPixmap>

namespace orv {

QPixmap backgroundTile();
// `tile` drawn at `tileSize` from the top left until `screen` is covered, on white.
QPixmap tiledBackground(const QPixmap& tile, QSize tileSize, QSize screen);

} // namespace orv
