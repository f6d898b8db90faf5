// A window picture (QImage, rows top-down, any format) seen as the writers take it, at its full
// size: 24-bit bottom-up rows, or for the GIF encoder an 8-bit picture with its own palette.
#pragma once

#include "base/pixel_types.h"
#include "output/gif_encoder.h"

#include <QImage>

namespace orv {

class BgrImage {
public:
    // Converts once; an alpha channel is dropped. A null image gives an empty view.
    explicit BgrImage(const QImage& picture);
    BgrView view() const;

private:
    QImage rows_; // Format_BGR888, bottom row first
};

// The picture for SaveGIF: an 8-bit picture with a colour table of at most 256 entries (a loaded
// GIF) keeps its indexes and palette; any other picture goes in as 24-bit rows.
class GifImage {
public:
    explicit GifImage(const QImage& picture);
    const GifPicture& picture() const { return picture_; }

private:
    QImage rows_; // bottom row first
    GifPicture picture_;
};

// The picture as an 8-bit picture whose colour table holds exactly its colours when it has at most
// 256 of them (a picture read from a GIF file, which Qt's reader hands over as 32-bit pixels), so
// that GifImage keeps them; otherwise the picture as it is.
QImage withOwnPalette(const QImage& picture);

} // namespace orv
