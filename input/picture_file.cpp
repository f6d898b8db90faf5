// Decoding pictures and converting them to the engine's layout. Every file is opened without
// blocking and refused unless it is a regular file; its kind comes from its first bytes, and its
// sides, its completeness and the memory it needs are checked before any pixel buffer exists.
#include "input/picture_file.h"

#include "input/deep_reader.h"

#include "base/pixel_types.h"
#include "base/runtime_error.h"
#include "input/jpeg_reader.h"
#include "input/memory_budget.h"
#include "input/picture_header.h"
#include "input/picture_orientation.h"

#include <QFile>
#include <QImageReader>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

bool fileExists(const std::string& path) {
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

namespace {

// An open picture file; the name's bytes go to the system as they are.
struct OpenPicture {
    int fd = -1;
    std::uint64_t size = 0;
    PictureKind kind = PictureKind::Other;
    ~OpenPicture() {
        if (fd >= 0) ::close(fd);
    }
};

DecodeStatus openPicture(const std::string& path, OpenPicture& f) {
    if (path.empty()) return DecodeStatus::Missing;
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
    f.fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (f.fd < 0)
        return errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG ? DecodeStatus::Missing
                                                                             : DecodeStatus::Invalid;
    struct stat st{};
    if (::fstat(f.fd, &st) != 0 || !S_ISREG(st.st_mode)) return DecodeStatus::Invalid;
    ::fcntl(f.fd, F_SETFL, ::fcntl(f.fd, F_GETFL) & ~O_NONBLOCK);
    f.size = std::uint64_t(st.st_size);
    std::uint8_t head[6] = {};
    const ssize_t n = ::pread(f.fd, head, sizeof head, 0);
    f.kind = pictureKindOf(head, n > 0 ? std::size_t(n) : 0);
    return DecodeStatus::Ok;
}

bool sidesFit(int w, int h) { return w > 0 && h > 0 && w <= kMaxPictureSide && h <= kMaxPictureSide; }

// The cells a picture of w x h is turned upright into, beside the cells it was read into.
std::uint64_t turningBytes(int w, int h, int orientation) {
    return validOrientation(orientation) == 1 ? 0 : std::uint64_t(roundUp4(w)) * std::uint64_t(roundUp4(h)) * 3;
}

// Qt refuses to allocate pictures above 128 MiB unless told otherwise; the sides checked above
// and the memory check decide instead (32764 x 32764 at 8 bytes a pixel is just under 8 GiB).
void raiseQtAllocationLimit() {
    static std::once_flag once;
    std::call_once(once, [] { QImageReader::setAllocationLimit(8192); });
}

// Qt's BMP reader widens a colour field of n bits by shifting it left (a 5-bit 31 becomes 248, so
// white comes out light grey); the full range is the field's value times 255 / (2^n - 1), as every
// other reader gives. Fields of 8 bits are right already; wider ones are left as Qt reads them.
void widenBitFields(QImage& image, const int (&fieldBits)[3]) {
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) return;
    std::uint8_t table[3][256];
    bool any = false;
    for (int c = 0; c < 3; ++c) {
        const int n = fieldBits[c];
        const bool narrow = n >= 1 && n <= 7;
        any = any || narrow;
        for (int q = 0; q < 256; ++q) {
            const int v = q >> (8 - n), top = (1 << n) - 1;
            table[c][q] = narrow ? std::uint8_t((v * 255 + top / 2) / top) : std::uint8_t(q);
        }
    }
    if (!any) return;
    for (int y = 0; y < image.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgba(table[0][qRed(row[x])], table[1][qGreen(row[x])], table[2][qBlue(row[x])], qAlpha(row[x]));
    }
}

// The pixels a run-length coded BMP leaves unset are left as Qt found its memory (other pictures'
// bytes show through, differently on every read): they are given the palette's first colour, as
// a bitmap cleared to zero before the data are drawn into it shows them. The coded rows run from
// the bottom, or from the top in a BMP stored top-down.
void clearRleHoles(int fd, const HeaderFacts& facts, QImage& image) {
    if (image.format() != QImage::Format_Indexed8) return;
    ByteStream in(fd);
    if (!in.skip(facts.dataStart)) return;
    const std::int64_t w = image.width(), h = image.height();
    walkRleBmp(in, std::uint32_t(facts.rleBits), w, h, [&](std::int64_t row, std::int64_t from, std::int64_t to) {
        if (row < 0 || row >= h || from >= to) return;
        std::memset(image.scanLine(int(facts.topDown ? row : h - 1 - row)) + from, 0, std::size_t(std::min(to, w) - from));
    });
}

// Decodes a non-JPEG file through Qt's readers, after the header checks.
DecodeStatus decodeWithQt(OpenPicture& f, QImage& out, MontageRoom room = MontageRoom::StillToCome,
                          int orientation = 1) {
    int w = 0, h = 0;
    HeaderFacts facts;
    if (f.kind == PictureKind::Bmp || f.kind == PictureKind::Gif) {
        ByteStream in(f.fd);
        facts = f.kind == PictureKind::Bmp ? readBmpHeader(in, f.size) : readGifHeader(in);
        if (!facts.readable || !facts.complete) return DecodeStatus::Invalid;
        w = facts.width;
        h = facts.height;
    }
    ::lseek(f.fd, 0, SEEK_SET);
    silenceTiffLibrary();
    QFile file;
    if (!file.open(f.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return DecodeStatus::Invalid;
    QImageReader reader(&file, f.kind == PictureKind::Bmp ? "bmp" : f.kind == PictureKind::Gif ? "gif" : "");
    reader.setAutoTransform(false);
    if (f.kind == PictureKind::Other) {
        const QSize declared = reader.size();
        if (!declared.isValid()) return DecodeStatus::Invalid;
        w = declared.width();
        h = declared.height();
    }
    if (!sidesFit(w, h)) return DecodeStatus::Invalid;
    const QImage::Format format = reader.imageFormat();
    const std::uint64_t pixels = std::uint64_t(w) * std::uint64_t(h);
    const int depth = format == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(format).bitsPerPixel();
    std::uint64_t decoderBytes = pixels * std::uint64_t(std::max(1, (depth + 7) / 8));
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32) decoderBytes += pixels * 3;
    decoderBytes += turningBytes(w, h, orientation);
    requireMemory(pictureMemoryNeed(w, h, decoderBytes, room));
    raiseQtAllocationLimit();
    QImage image;
    if (!reader.read(&image) || image.isNull()) return DecodeStatus::Invalid;
    if (!sidesFit(image.width(), image.height())) return DecodeStatus::Invalid;
    if (f.kind == PictureKind::Bmp) widenBitFields(image, facts.fieldBits);
    if (facts.rleBits) clearRleHoles(f.fd, facts, image);
    out = std::move(image);
    return DecodeStatus::Ok;
}

// Reads a JPEG's header and checks it; Ok when its rows may be decoded.
DecodeStatus checkJpeg(JpegReader& reader, JpegInfo& info, MontageRoom room = MontageRoom::StillToCome,
                       int orientation = 1) {
    if (!reader.readHeader(info) || !sidesFit(info.width, info.height) || info.tooShort)
        return DecodeStatus::Invalid;
    requireMemory(pictureMemoryNeed(info.width, info.height,
                                    info.decoderBytes + turningBytes(info.width, info.height, orientation), room));
    return DecodeStatus::Ok;
}

// A decoded picture's cells turned upright by the series' orientation tag.
void turnSurface(std::unique_ptr<MemorySurface>& surface, int orientation) {
    if (validOrientation(orientation) == 1) return;
    int w = surface->pictureWidth(), h = surface->pictureHeight();
    std::vector<std::uint8_t> cells = uprightCells(surface->rounded(), w, h, orientation);
    surface = std::make_unique<MemorySurface>(w, h, std::move(cells));
}

std::uint8_t* imageRow(void* image, int row) { return static_cast<QImage*>(image)->scanLine(row); }

struct CellRows {
    std::uint8_t* cells;
    int height;
    std::size_t rowBytes;
};

std::uint8_t* cellRow(void* rows, int row) {
    auto* r = static_cast<CellRows*>(rows);
    return r->cells + std::size_t(r->height - 1 - row) * r->rowBytes;
}

} // namespace

DecodeStatus decodePicture(const std::string& path, QImage& out) {
    OpenPicture f;
    const DecodeStatus opened = openPicture(path, f);
    if (opened != DecodeStatus::Ok) return opened;
    if (f.kind != PictureKind::Jpeg && deepFileKind(path) == DeepFileKind::Png) {
        // As for the stack: libpng's own handler would print on standard error.
        if (const DeepExtent e = deepFileExtent(path); !sidesFit(e.width, e.height)) return DecodeStatus::Invalid;
        DeepPicture deep;
        if (readDeepPicture(path, deep) != DecodeStatus::Ok || !sidesFit(deep.width, deep.height))
            return DecodeStatus::Invalid;
        out = shownPicture(MemorySurface(deep.width, deep.height, deepToRoundedBgr(deep)));
        return DecodeStatus::Ok;
    }
    if (f.kind != PictureKind::Jpeg) return decodeWithQt(f, out);
    JpegReader reader(f.fd, f.size);
    JpegInfo info;
    if (const DecodeStatus st = checkJpeg(reader, info); st != DecodeStatus::Ok) return st;
    QImage image(info.width, info.height, QImage::Format_RGB32);
    if (image.isNull()) throw RuntimeError(7);
    if (!reader.decode(imageRow, &image, 4)) return DecodeStatus::Invalid;
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
    const bool rgb32 = image.format() == QImage::Format_RGB32;
    if (!rgb32 && image.format() != QImage::Format_RGB888)
        image = image.convertToFormat(QImage::Format_RGB888);
    const int w = std::min(image.width(), W), h = image.height();
    for (int y = 0; y < std::min(h, H); ++y) {
        const std::uint8_t* in = buffer + std::size_t(y) * W * 3;
        if (rgb32) {
            // The 32-bit pictures of the windows stay 32-bit: the screen draws them as they are.
            bgrRowToXrgb(in, reinterpret_cast<std::uint32_t*>(image.scanLine(h - 1 - y)), w);
            continue;
        }
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

DecodeStatus readPictureSize(const std::string& path, int& width, int& height, int orientation) {
    OpenPicture f;
    const DecodeStatus opened = openPicture(path, f);
    if (opened != DecodeStatus::Ok) return opened;
    int w = 0, h = 0;
    if (f.kind == PictureKind::Jpeg) {
        JpegReader reader(f.fd, f.size);
        JpegInfo info;
        if (!reader.readHeader(info) || info.tooShort) return DecodeStatus::Invalid;
        w = info.width;
        h = info.height;
    } else if (f.kind == PictureKind::Bmp || f.kind == PictureKind::Gif) {
        ByteStream in(f.fd);
        const HeaderFacts facts = f.kind == PictureKind::Bmp ? readBmpHeader(in, f.size) : readGifHeader(in);
        if (!facts.readable || !facts.complete) return DecodeStatus::Invalid;
        w = facts.width;
        h = facts.height;
    } else {
        ::lseek(f.fd, 0, SEEK_SET);
        silenceTiffLibrary();
        QFile file;
        if (!file.open(f.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return DecodeStatus::Invalid;
        QImageReader reader(&file);
        reader.setAutoTransform(false);
        if (deepFileKind(path) == DeepFileKind::Png) {
            // From the header's IHDR chunk: Qt's PNG reader would let libpng print on standard error.
            const DeepExtent e = deepFileExtent(path);
            if (e.width == 0) return DecodeStatus::Invalid;
            w = e.width;
            h = e.height;
        } else if (const QSize declared = reader.size(); thumbnailFirstTiff(path)) {
            // Qt's reader would give the thumbnail's size.
            const DeepExtent e = deepFileExtent(path);
            w = e.width;
            h = e.height;
        } else if (declared.isValid()) {
            w = declared.width();
            h = declared.height();
        } else if (deepFileKind(path) != DeepFileKind::None) {
            // A TIFF or PNG that Qt's readers refuse is read by the deep reader.
            DeepPicture deep;
            if (readDeepPicture(path, deep) != DecodeStatus::Ok) return DecodeStatus::Invalid;
            w = deep.width;
            h = deep.height;
        }
    }
    if (!sidesFit(w, h)) return DecodeStatus::Invalid;
    uprightSides(validOrientation(orientation), w, h);
    width = w;
    height = h;
    return DecodeStatus::Ok;
}

bool pictureTooLarge(const std::string& path, int& width, int& height) {
    OpenPicture f;
    if (openPicture(path, f) != DecodeStatus::Ok) return false;
    int w = 0, h = 0;
    if (f.kind == PictureKind::Jpeg) {
        JpegReader reader(f.fd, f.size);
        JpegInfo info;
        if (!reader.readHeader(info)) return false;
        w = info.width;
        h = info.height;
    } else if (f.kind == PictureKind::Bmp || f.kind == PictureKind::Gif) {
        ByteStream in(f.fd);
        const HeaderFacts facts = f.kind == PictureKind::Bmp ? readBmpHeader(in, f.size) : readGifHeader(in);
        if (!facts.readable) return false;
        w = facts.width;
        h = facts.height;
    } else if (deepFileKind(path) != DeepFileKind::None) {
        const DeepExtent e = deepFileExtent(path);
        w = e.width;
        h = e.height;
    } else {
        ::lseek(f.fd, 0, SEEK_SET);
        QFile file;
        if (!file.open(f.fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) return false;
        QImageReader reader(&file);
        const QSize declared = reader.size();
        w = declared.width();
        h = declared.height();
    }
    if (w <= kMaxPictureSide && h <= kMaxPictureSide) return false;
    width = w;
    height = h;
    return true;
}

DecodeStatus decodeToSurface(const std::string& path, std::unique_ptr<MemorySurface>& out, QImage* shown,
                             MontageRoom room, int orientation) {
    orientation = validOrientation(orientation);
    OpenPicture f;
    const DecodeStatus opened = openPicture(path, f);
    if (opened != DecodeStatus::Ok) return opened;
    if (f.kind == PictureKind::Jpeg) {
        // Straight into the rounded bottom-up cells: no intermediate picture.
        JpegReader reader(f.fd, f.size);
        JpegInfo info;
        if (const DecodeStatus st = checkJpeg(reader, info, room, orientation); st != DecodeStatus::Ok) return st;
        const int W = roundUp4(info.width), H = roundUp4(info.height);
        std::vector<std::uint8_t> cells(std::size_t(W) * std::size_t(H) * 3, 0);
        CellRows rows{cells.data(), info.height, std::size_t(W) * 3};
        if (!reader.decode(cellRow, &rows, 3)) return DecodeStatus::Invalid;
        out = std::make_unique<MemorySurface>(info.width, info.height, std::move(cells));
        turnSurface(out, orientation);
        if (shown) *shown = shownPicture(*out);
        return DecodeStatus::Ok;
    }
    // A tiled TIFF, a plain 16-bit TIFF or PNG, a TIFF with an alpha channel Qt's reader gets wrong
    // or with signed samples, and a TIFF or PNG that Qt's readers refuse, is read by the deep reader (Qt reads some tiled files as a black picture without a word).
    auto readDeep = [&] {
        // Checked as every picture is before its pixels exist: the cells and the montage's room,
        // with the samples at full depth as the decoder's buffer.
        const DeepExtent e = deepFileExtent(path);
        // A header that claims sides the engine cannot take is refused before it is measured
        // against the memory left.
        if (!sidesFit(e.width, e.height)) return false;
        const std::uint64_t samples = std::uint64_t(e.width) * std::uint64_t(e.height) * std::uint64_t(e.channels) * 2;
        // A picture turned upright is turned at full depth, beside the samples read.
        requireMemory(pictureMemoryNeed(e.width, e.height, orientation == 1 ? samples : 2 * samples, room));
        DeepPicture deep;
        if (readDeepPicture(path, deep, nullptr, orientation) != DecodeStatus::Ok || !sidesFit(deep.width, deep.height))
            return false;
        out = std::make_unique<MemorySurface>(deep.width, deep.height, deepToRoundedBgr(deep));
        if (shown) *shown = shownPicture(*out);
        return true;
    };
    // A PNG is read by the deep reader alone: Qt's PNG reader leaves libpng's own error handler in
    // place, which prints its line on standard error before the program says the file is refused.
    if (deepFileKind(path) == DeepFileKind::Png) return readDeep() ? DecodeStatus::Ok : DecodeStatus::Invalid;
    // Qt's reader would take a TIFF's signed samples for unsigned ones, and takes samples wider than
    // 16 bits or of floating point for some layouts only, on a scale of its own: only the deep
    // reader reads them.
    const bool deepOnly = signedTiff(path) || wideSampleTiff(path);
    // Qt's reader would read a TIFF's thumbnail in place of the picture behind it.
    const bool thumbnailFirst = thumbnailFirstTiff(path);
    if ((thumbnailFirst || tiledTiff(path) || plainSixteenBitFile(path) || alphaTiffQtMisreads(path) || deepOnly) &&
        readDeep())
        return DecodeStatus::Ok;
    if (deepOnly || thumbnailFirst) return DecodeStatus::Invalid;
    QImage image;
    const DecodeStatus st = decodeWithQt(f, image, room, orientation);
    if (st == DecodeStatus::Invalid && deepFileKind(path) != DeepFileKind::None && readDeep()) return DecodeStatus::Ok;
    if (st != DecodeStatus::Ok) return st;
    const int w = image.width(), h = image.height();
    std::vector<std::uint8_t> cells = toRoundedBgr(image);
    out = std::make_unique<MemorySurface>(w, h, std::move(cells));
    turnSurface(out, orientation);
    if (!shown) return DecodeStatus::Ok;
    // The decoder's own picture is shown as it is only when it stands as the cells do.
    if (orientation == 1 && (image.format() == QImage::Format_RGB32 || f.kind == PictureKind::Gif)) {
        *shown = std::move(image);
    } else {
        image = QImage();
        *shown = shownPicture(*out);
    }
    return DecodeStatus::Ok;
}

QImage shownPicture(const MemorySurface& cells) {
    const int w = cells.pictureWidth(), h = cells.pictureHeight();
    QImage image(w, h, QImage::Format_RGB32);
    if (image.isNull()) {
        if (w > 0 && h > 0) throw RuntimeError(7);
        return image;
    }
    const std::size_t stride = std::size_t(cells.roundedWidth()) * 3;
    for (int r = 0; r < h; ++r)
        bgrRowToXrgb(cells.rounded().data() + std::size_t(h - 1 - r) * stride,
                     reinterpret_cast<std::uint32_t*>(image.scanLine(r)), w);
    return image;
}

} // namespace orv
