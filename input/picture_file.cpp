// Decoding pictures and converting them to the engine's layout.
#include "input/picture_file.h"

#include "base/runtime_error.h"

#include <QFile>
#include <QImageReader>

#include <turbojpeg.h>

#include <cstring>
#include <sys/stat.h>

namespace orv {

bool fileExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

DecodeStatus decodePicture(const std::string& path, QImage& out) {
    if (!fileExists(path)) return DecodeStatus::Missing;
    QImageReader reader(QString::fromStdString(path));
    reader.setAutoTransform(false);
    // Guard against absurd declared sizes before allocating: every side must fit the engine's
    // 16-bit coordinates after rounding up to a multiple of 4.
    const QSize declared = reader.size();
    if (declared.isValid() && (declared.width() > 32764 || declared.height() > 32764))
        return DecodeStatus::Invalid;
    // Qt's BMP reader fills a file cut short in its pixel data with black; such a file is damaged
    // and must not pass for a picture.
    if (reader.format() == "bmp" && declared.isValid()) {
        QFile f(QString::fromStdString(path));
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray head = f.read(30);
            if (head.size() >= 30) {
                auto le32 = [&](int at) {
                    return quint32(quint8(head[at])) | quint32(quint8(head[at + 1])) << 8 |
                           quint32(quint8(head[at + 2])) << 16 | quint32(quint8(head[at + 3])) << 24;
                };
                const quint32 dataOffset = le32(10);
                const int bits = quint8(head[28]) | quint8(head[29]) << 8;
                const quint32 compression = f.size() >= 34 ? [&] {
                    f.seek(30);
                    const QByteArray c = f.read(4);
                    return quint32(quint8(c[0])) | quint32(quint8(c[1])) << 8;
                }() : 0;
                if (compression == 0 && bits > 0) {
                    const qint64 row = (qint64(declared.width()) * bits + 31) / 32 * 4;
                    if (f.size() < qint64(dataOffset) + row * declared.height())
                        return DecodeStatus::Invalid;
                }
            }
        }
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) return DecodeStatus::Invalid;
    if (image.width() > 32764 || image.height() > 32764) return DecodeStatus::Invalid;
    out = std::move(image);
    return DecodeStatus::Ok;
}

std::vector<std::uint8_t> toRoundedBgr(const QImage& source) {
    const int w = source.width(), h = source.height();
    const int W = roundUp4(w), H = roundUp4(h);
    std::vector<std::uint8_t> cells(std::size_t(W) * std::size_t(H) * 3, 0);
    const QImage::Format f = source.format();
    if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32) {
        // What the BMP and JPEG readers deliver: read the 32-bit rows directly, no second copy.
        // (Alpha is dropped, as a picture box shows no transparency.)
        for (int r = 0; r < h; ++r) {
            const QRgb* in = reinterpret_cast<const QRgb*>(source.constScanLine(r));
            std::uint8_t* out = cells.data() + std::size_t(h - 1 - r) * W * 3;
            for (int c = 0; c < w; ++c) {
                out[3 * c + 0] = std::uint8_t(qBlue(in[c]));
                out[3 * c + 1] = std::uint8_t(qGreen(in[c]));
                out[3 * c + 2] = std::uint8_t(qRed(in[c]));
            }
        }
        return cells;
    }
    const QImage rgb = f == QImage::Format_RGB888 ? source : source.convertToFormat(QImage::Format_RGB888);
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* in = rgb.constScanLine(r);
        std::uint8_t* out = cells.data() + std::size_t(h - 1 - r) * W * 3;
        for (int c = 0; c < w; ++c) {
            out[3 * c + 0] = in[3 * c + 2];
            out[3 * c + 1] = in[3 * c + 1];
            out[3 * c + 2] = in[3 * c + 0];
        }
    }
    return cells;
}

void fromRoundedBgr(const std::uint8_t* buffer, int W, int H, QImage& image) {
    if (image.format() != QImage::Format_RGB888)
        image = image.convertToFormat(QImage::Format_RGB888);
    const int w = std::min(image.width(), W), h = image.height();
    for (int y = 0; y < std::min(h, H); ++y) {
        const std::uint8_t* in = buffer + std::size_t(y) * W * 3;
        std::uint8_t* out = image.scanLine(h - 1 - y);
        for (int c = 0; c < w; ++c) {
            out[3 * c + 0] = in[3 * c + 2];
            out[3 * c + 1] = in[3 * c + 1];
            out[3 * c + 2] = in[3 * c + 0];
        }
    }
}

void ImageSurface::readPixels(std::uint8_t* buffer, int W, int H) const {
    if (image_.isNull()) return;
    const std::vector<std::uint8_t> cells = toRoundedBgr(image_);
    const int rw = roundUp4(image_.width());
    const int cols = std::min(image_.width(), W);
    for (int y = 0; y < std::min(image_.height(), H); ++y)
        std::memcpy(buffer + std::size_t(y) * W * 3, cells.data() + std::size_t(y) * rw * 3,
                    std::size_t(cols) * 3);
}

void ImageSurface::writePixels(const std::uint8_t* buffer, int W, int H) {
    if (image_.isNull()) return;
    fromRoundedBgr(buffer, W, H, image_);
}

namespace {

// JPEG files straight into the rounded bottom-up cells with TurboJPEG: no intermediate picture,
// and the same library and settings as Qt's JPEG reader, so the pixels are the same. Returns
// false for anything it does not handle cleanly (not a JPEG, CMYK, any warning), and the caller
// then decodes through Qt.
bool decodeJpegCells(const std::string& path, int& w, int& h, std::vector<std::uint8_t>& cells) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray data = f.readAll();
    if (data.size() < 4 || quint8(data[0]) != 0xFF || quint8(data[1]) != 0xD8 || quint8(data[2]) != 0xFF)
        return false;
    tjhandle tj = tjInitDecompress();
    if (!tj) return false;
    struct Closer {
        tjhandle h;
        ~Closer() { tjDestroy(h); }
    } closer{tj};
    auto* bytes = reinterpret_cast<unsigned char*>(const_cast<char*>(data.constData()));
    int subsamp = 0, colorspace = 0;
    if (tjDecompressHeader3(tj, bytes, static_cast<unsigned long>(data.size()), &w, &h, &subsamp,
                            &colorspace) != 0)
        return false;
    if (w <= 0 || h <= 0 || w > 32764 || h > 32764 || colorspace == TJCS_CMYK || colorspace == TJCS_YCCK)
        return false;
    const int W = roundUp4(w), H = roundUp4(h);
    cells.assign(std::size_t(W) * std::size_t(H) * 3, 0);
    if (tjDecompress2(tj, bytes, static_cast<unsigned long>(data.size()), cells.data(), w, W * 3, h,
                      TJPF_BGR, TJFLAG_BOTTOMUP | TJFLAG_STOPONWARNING) != 0) {
        cells.clear();
        return false;
    }
    return true;
}

} // namespace

DecodeStatus decodeToSurface(const std::string& path, std::unique_ptr<MemorySurface>& out) {
    if (!fileExists(path)) return DecodeStatus::Missing;
    int w = 0, h = 0;
    std::vector<std::uint8_t> cells;
    if (decodeJpegCells(path, w, h, cells)) {
        out = std::make_unique<MemorySurface>(w, h, std::move(cells));
        return DecodeStatus::Ok;
    }
    QImage image;
    const DecodeStatus st = decodePicture(path, image);
    if (st != DecodeStatus::Ok) return st;
    w = image.width();
    h = image.height();
    cells = toRoundedBgr(image);
    image = QImage();
    out = std::make_unique<MemorySurface>(w, h, std::move(cells));
    return DecodeStatus::Ok;
}

} // namespace orv
