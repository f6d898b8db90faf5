// Drawing and writing the depth map.
#include "output/depth_map.h"

#include "base/atomic_file.h"
#include "base/numbers.h"
#include "output/bmp_writer.h"
#include "output/gif_encoder.h"
#include "output/jpeg_writer.h"
#include "output/picture_writer.h"

#include <QByteArray>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
#include <array>
#include <cctype>

namespace orv {

std::uint8_t depthGrey(int picture, int pictureCount) {
    if (picture < 1 || pictureCount < 2) return 0;
    const int p = std::min(picture, pictureCount);
    return std::uint8_t(roundHalfEven(255.0 * (p - 1) / (pictureCount - 1)));
}

std::vector<std::uint8_t> depthMapPixels(const PictureChoices& c, int pictureCount) {
    if (c.width <= 0 || c.height <= 0 || c.cell <= 0 ||
        c.pictures.size() != std::size_t(c.columns) * std::size_t(c.rows) ||
        (c.width - 1) / c.cell >= c.columns || (c.height - 1) / c.cell >= c.rows)
        throw RuntimeError(5);
    // One grey per picture number that can occur (a long series numbers beyond 255).
    std::vector<std::uint8_t> grey(std::size_t(std::max(pictureCount, 255)) + 1);
    for (int p = 0; p < int(grey.size()); ++p) grey[std::size_t(p)] = depthGrey(p, pictureCount);
    std::vector<std::uint8_t> out(std::size_t(c.width) * std::size_t(c.height));
    for (int y = 0; y < c.height; ++y) {
        const std::uint16_t* cells = c.pictures.data() + std::size_t(y / c.cell) * c.columns;
        std::uint8_t* row = out.data() + std::size_t(c.height - 1 - y) * c.width; // top row first
        for (int x = 0; x < c.width; ++x) {
            const std::size_t p = cells[x / c.cell];
            row[x] = p < grey.size() ? grey[p] : grey.back();
        }
    }
    return out;
}

namespace {

// The lower-case extension of the file-name part, without its dot; empty when there is none.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return {};
    std::string ext = name.substr(dot + 1);
    for (char& ch : ext) ch = char(std::tolower(static_cast<unsigned char>(ch)));
    return ext;
}

// The grey rows as 24-bit bottom-up rows for the program's own writers.
std::vector<std::uint8_t> asBgr(const std::vector<std::uint8_t>& grey, int w, int h) {
    std::vector<std::uint8_t> bgr(std::size_t(w) * std::size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* src = grey.data() + std::size_t(h - 1 - y) * w;
        std::uint8_t* dst = bgr.data() + std::size_t(y) * w * 3;
        for (int x = 0; x < w; ++x) dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = src[x];
    }
    return bgr;
}

// The extensions the program's own writers take for a depth map.
bool ownWriterExtension(const std::string& ext) { return ext == "bmp" || ext == "jpg" || ext == "jpeg" || ext == "gif"; }

// Qt writes these, but not the map as it is: an icon is scaled down to an icon's size (a
// 310 x 300 map became 256 x 247 pixels), and XBM, PBM and WBMP hold black and white only, so
// every picture between the first and the last would be lost.
bool keepsTheMap(const std::string& ext) {
    static const std::array<const char*, 6> lossy{"ico", "cur", "icns", "xbm", "pbm", "wbmp"};
    return std::none_of(lossy.begin(), lossy.end(), [&](const char* e) { return ext == e; });
}

bool qtWriterExtension(const std::string& ext) {
    return !ext.empty() && keepsTheMap(ext) &&
           QImageWriter::supportedImageFormats().contains(QByteArray::fromStdString(ext));
}

} // namespace

bool depthMapFormatKnown(const std::string& path) {
    const std::string ext = extensionOf(path);
    return ext.empty() || ownWriterExtension(ext) || qtWriterExtension(ext);
}

void writeDepthMap(const std::string& path, const PictureChoices& choices, int pictureCount,
                   const WriteProgress& progress) {
    const std::vector<std::uint8_t> grey = depthMapPixels(choices, pictureCount);
    const int w = choices.width, h = choices.height;
    const std::string ext = extensionOf(path);

    if (ext == "bmp" || ext == "jpg" || ext == "jpeg") {
        const std::vector<std::uint8_t> bgr = asBgr(grey, w, h);
        const BgrView view{bgr.data(), w, h, std::size_t(w) * 3};
        if (ext == "bmp") {
            writeBmp24(path, view, progress);
        } else {
            PictureWriteOptions options;
            options.format = PictureFormat::Jpeg;
            options.quality = 95;
            options.writeProgress = progress;
            writePicture(path, view, options);
        }
        return;
    }
    if (ext == "gif") {
        // Indexed with a grey palette, so every grey level survives (a 24-bit picture would be
        // reduced to the five levels of the colour cube). GIF rows here are bottom-up.
        std::array<Rgb, 256> palette{};
        for (int i = 0; i < 256; ++i) palette[std::size_t(i)] = Rgb{i, i, i};
        std::vector<std::uint8_t> bottomUp(grey.size());
        for (int y = 0; y < h; ++y)
            std::copy_n(grey.data() + std::size_t(h - 1 - y) * w, w, bottomUp.data() + std::size_t(y) * w);
        GIF gif;
        if (progress) gif.Progress = [&progress](int percent) { reportWritten(progress, percent, 100); };
        gif.SaveGIF(GifPicture::fromIndexed(bottomUp.data(), w, h, std::size_t(w), palette), path,
                    false, Rgb{});
        return;
    }

    const QByteArray format = qtWriterExtension(ext) ? QByteArray::fromStdString(ext) : QByteArray("png");
    QImage image(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) std::copy_n(grey.data() + std::size_t(y) * w, w, image.scanLine(y));
    QByteArray bytes;
    // Qt's writer says nothing of its rows: the count stays at the start while it works, and a
    // stop is honoured at each piece of its output.
    reportWritten(progress, 0, 2 * h);
    std::function<bool()> keepGoing;
    if (progress) keepGoing = [&] { return progress(0, 2 * h); };
    if (!encodeWithQt(image, format.constData(), bytes, keepGoing)) throw RuntimeError(75);
    reportWritten(progress, h, 2 * h);
    writeFileInBands(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()), stageOfTwo(progress, true), h);
}

} // namespace orv
