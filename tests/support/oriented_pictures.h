// Pictures stored as a turned camera stores them: an upright picture turned the other way by Qt's
// own transforms, written as JPEG, PNG (8 or 16 bits) or TIFF (8 or 16 bits) with the camera's
// orientation tag in the place each format keeps it (a JPEG's APP1 segment, a PNG's eXIf chunk,
// a TIFF's tag 274), the tag bytes written here, not by the program.
#pragma once

#include "base/deep_picture.h"
#include "input/tiny_tiff.h"
#include "output/deep_writer.h"

#include <QBuffer>
#include <QImage>
#include <QTransform>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace orv::test {

// A picture whose every pixel differs from its neighbours in both directions.
inline QImage uprightPicture(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) img.setPixel(x, y, qRgb(20 + 29 * x % 230, 30 + 41 * y % 220, (x * 7 + y * 13) % 256));
    return img;
}

// Blocks of 16 x 16 in colours far apart: what a JPEG keeps closely at the blocks' centres.
inline QImage uprightBlocks(int blocksAcross, int blocksDown) {
    QImage img(16 * blocksAcross, 16 * blocksDown, QImage::Format_RGB32);
    for (int by = 0; by < blocksDown; ++by)
        for (int bx = 0; bx < blocksAcross; ++bx) {
            const int k = by * blocksAcross + bx;
            const QRgb c = qRgb(40 + 70 * (k % 3), 40 + 50 * (k / 3 % 4), 230 - 35 * (k % 5));
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) img.setPixel(16 * bx + x, 16 * by + y, c);
        }
    return img;
}

// How a camera whose tag is `tag` stores `upright`: the stored picture, turned by the tag, is upright.
// (Tag 6 is shown turned a quarter round clockwise, so it was stored turned anticlockwise.)
inline QImage storedAs(const QImage& upright, int tag) {
    auto turned = [&](int degrees) { return upright.transformed(QTransform().rotate(degrees)); };
    switch (tag) {
    case 2: return upright.mirrored(true, false);
    case 3: return upright.mirrored(true, true);
    case 4: return upright.mirrored(false, true);
    case 5: return turned(90).mirrored(true, false);
    case 6: return turned(270);
    case 7: return turned(270).mirrored(true, false);
    case 8: return turned(90);
    default: return upright;
    }
}

// An EXIF block (TIFF-structured, little-endian) holding the one entry Orientation = tag.
inline std::vector<std::uint8_t> orientationExif(int tag) {
    return {'I', 'I', 42, 0, 8, 0, 0, 0,               // header, first directory at 8
            1, 0,                                       // one entry
            0x12, 0x01, 3, 0, 1, 0, 0, 0, std::uint8_t(tag), 0, 0, 0, // 274, SHORT, 1, tag
            0, 0, 0, 0};                                // no next directory
}

inline std::vector<std::uint8_t> encoded(const QImage& image, const char* format, int quality = -1) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

inline void writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// A JPEG (quality 100) with the tag in an APP1 "Exif" segment right after its start marker.
inline void writeTaggedJpeg(const std::string& path, const QImage& stored, int tag) {
    std::vector<std::uint8_t> file = encoded(stored, "JPG", 100);
    std::vector<std::uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    const std::vector<std::uint8_t> exif = orientationExif(tag);
    app1.insert(app1.end(), exif.begin(), exif.end());
    const std::size_t length = app1.size() - 2;
    app1[2] = std::uint8_t(length >> 8);
    app1[3] = std::uint8_t(length);
    file.insert(file.begin() + 2, app1.begin(), app1.end());
    writeBytes(path, file);
}

inline std::uint32_t pngCrc(const std::uint8_t* p, std::size_t n) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

// The samples of an 8-bit picture at 16 bits (v * 257 plus a little that follows the pixel's
// colour, so the low byte matters and moves with the pixel).
inline DeepPicture deepOf(const QImage& image, bool sixteen) {
    DeepPicture d(image.width(), image.height(), 3, sixteen ? 16 : 8);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            const int v[3] = {qRed(c), qGreen(c), qBlue(c)};
            for (int k = 0; k < 3; ++k)
                d.row(y)[3 * x + k] = std::uint16_t(v[k] * 257 + (sixteen && v[k] < 255 ? (v[(k + 1) % 3] + k) % 100 : 0));
        }
    return d;
}

// A PNG of 8 or 16 bits with the tag in an eXIf chunk before its pixels.
inline void writeTaggedPng(const std::string& path, const QImage& stored, int tag, int bits) {
    std::vector<std::uint8_t> file = bits == 16 ? encodeDeepPng(deepOf(stored, true), 16) : encoded(stored, "PNG");
    const std::vector<std::uint8_t> exif = orientationExif(tag);
    std::vector<std::uint8_t> chunk = {0, 0, 0, std::uint8_t(exif.size()), 'e', 'X', 'I', 'f'};
    chunk.insert(chunk.end(), exif.begin(), exif.end());
    const std::uint32_t crc = pngCrc(chunk.data() + 4, chunk.size() - 4);
    for (int s = 24; s >= 0; s -= 8) chunk.push_back(std::uint8_t(crc >> s));
    // After the signature (8 bytes) and IHDR (25 bytes).
    file.insert(file.begin() + 33, chunk.begin(), chunk.end());
    writeBytes(path, file);
}

// An uncompressed RGB TIFF of 8 or 16 bits with tag 274 in its directory.
inline void writeTaggedTiff(const std::string& path, const QImage& stored, int tag, int bits) {
    const int w = stored.width(), h = stored.height();
    const DeepPicture d = deepOf(stored, bits == 16);
    std::vector<std::uint8_t> data;
    for (const std::uint16_t v : d.samples) {
        if (bits == 16) {
            data.push_back(std::uint8_t(v));
            data.push_back(std::uint8_t(v >> 8));
        } else {
            data.push_back(std::uint8_t(v / 257));
        }
    }
    const std::uint32_t b = std::uint32_t(bits);
    writeBytes(path, tinyTiff({{256, 4, {std::uint32_t(w)}},
                               {257, 4, {std::uint32_t(h)}},
                               {258, 3, {b, b, b}},
                               {259, 3, {1}},
                               {262, 3, {2}},
                               {273, 4, {0}},
                               {274, 3, {std::uint32_t(tag)}},
                               {277, 3, {3}},
                               {278, 4, {std::uint32_t(h)}},
                               {279, 4, {std::uint32_t(data.size())}}},
                              data));
}

} // namespace orv::test
