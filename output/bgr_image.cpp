// Conversion of a QImage into the bottom-up rows the writers take.
#include "output/bgr_image.h"

#include <QHash>

namespace orv {

BgrImage::BgrImage(const QImage& picture) {
    if (!picture.isNull()) rows_ = picture.convertToFormat(QImage::Format_BGR888).mirrored(false, true);
}

BgrView BgrImage::view() const {
    if (rows_.isNull()) return {};
    return BgrView{rows_.constBits(), rows_.width(), rows_.height(), std::size_t(rows_.bytesPerLine())};
}

QImage withOwnPalette(const QImage& picture) {
    if (picture.isNull() || picture.format() == QImage::Format_Indexed8) return picture;
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    QImage indexed(rgb.size(), QImage::Format_Indexed8);
    if (indexed.isNull()) return picture;
    QList<QRgb> table;
    QHash<QRgb, int> index;
    // Neighbours mostly share a colour: the last one found is tried first.
    QRgb last = 0;
    int lastIndex = -1;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        uchar* out = indexed.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            const QRgb c = in[x] | 0xff000000u;
            if (lastIndex < 0 || c != last) {
                auto found = index.constFind(c);
                if (found == index.constEnd()) {
                    if (table.size() == 256) return picture;
                    found = index.insert(c, int(table.size()));
                    table.push_back(c);
                }
                last = c;
                lastIndex = *found;
            }
            out[x] = uchar(lastIndex);
        }
    }
    indexed.setColorTable(table);
    return indexed;
}

GifImage::GifImage(const QImage& picture) {
    if (picture.isNull()) return;
    const QList<QRgb> table = picture.colorTable();
    if (picture.format() == QImage::Format_Indexed8 && !table.isEmpty() && table.size() <= 256) {
        rows_ = picture.mirrored(false, true);
        std::array<Rgb, 256> palette{};
        for (qsizetype i = 0; i < table.size(); ++i)
            palette[std::size_t(i)] = Rgb{qRed(table[i]), qGreen(table[i]), qBlue(table[i])};
        picture_ = GifPicture::fromIndexed(rows_.constBits(), rows_.width(), rows_.height(),
                                           std::size_t(rows_.bytesPerLine()), palette);
        return;
    }
    rows_ = picture.convertToFormat(QImage::Format_BGR888).mirrored(false, true);
    picture_ = GifPicture::fromBgr(
        BgrView{rows_.constBits(), rows_.width(), rows_.height(), std::size_t(rows_.bytesPerLine())});
}

} // namespace orv
