// Conversion of a QImage into the bottom-up rows the writers take.
#include "output/bgr_image.h"

namespace orv {

BgrImage::BgrImage(const QImage& picture) {
    if (!picture.isNull()) rows_ = picture.convertToFormat(QImage::Format_BGR888).mirrored(false, true);
}

BgrView BgrImage::view() const {
    if (rows_.isNull()) return {};
    return BgrView{rows_.constBits(), rows_.width(), rows_.height(), std::size_t(rows_.bytesPerLine())};
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
