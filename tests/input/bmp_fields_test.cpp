// BMPs whose colours are bit fields (16 bits a pixel, or 32 with masks): each field read over the
// full 0-255 range, white as white, whatever the header's version or the masks.
#include "input/picture_file.h"
#include "input/picture_header.h"

#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <fstream>

using namespace orv;

namespace {

struct FieldLayout {
    const char* name;
    std::uint32_t headerSize; // 40, or 108 with the masks inside
    int bits;                 // 16 or 32
    std::uint32_t compression; // 0: the default fields; 3: the masks given
    std::array<std::uint32_t, 3> masks; // red, green, blue
};

class BmpBitFields : public ::testing::TestWithParam<FieldLayout> {};

void put(std::vector<std::uint8_t>& out, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
}

int bitsIn(std::uint32_t mask) { return __builtin_popcount(mask); }
int shiftOf(std::uint32_t mask) { return __builtin_ctz(mask); }

// One row of `w` pixels: pixel x has the value x (up to the field's largest) in every field, so
// the row runs from black to white.
std::vector<std::uint8_t> bmpRow(const FieldLayout& l, int w) {
    std::vector<std::uint8_t> bytes;
    const std::array<std::uint32_t, 3> masks =
        l.compression == 3 ? l.masks : std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F};
    for (int x = 0; x < w; ++x) {
        std::uint32_t pixel = 0;
        for (const std::uint32_t mask : masks) {
            const std::uint32_t top = (1u << bitsIn(mask)) - 1;
            pixel |= (std::min<std::uint32_t>(std::uint32_t(x), top) << shiftOf(mask)) & mask;
        }
        put(bytes, pixel, l.bits / 8);
    }
    while (bytes.size() % 4) bytes.push_back(0);
    return bytes;
}

std::vector<std::uint8_t> bmpFile(const FieldLayout& l, int w, int h) {
    const std::vector<std::uint8_t> row = bmpRow(l, w);
    const std::uint32_t masksAfter = l.compression == 3 && l.headerSize == 40 ? 12 : 0;
    const std::uint32_t offset = 14 + l.headerSize + masksAfter;
    std::vector<std::uint8_t> out = {'B', 'M'};
    put(out, offset + std::uint32_t(row.size()) * std::uint32_t(h), 4);
    put(out, 0, 4);
    put(out, offset, 4);
    put(out, l.headerSize, 4);
    put(out, std::uint32_t(w), 4);
    put(out, std::uint32_t(h), 4);
    put(out, 1, 2);
    put(out, std::uint32_t(l.bits), 2);
    put(out, l.compression, 4);
    put(out, std::uint32_t(row.size()) * std::uint32_t(h), 4);
    put(out, 2835, 4);
    put(out, 2835, 4);
    put(out, 0, 4);
    put(out, 0, 4);
    if (l.compression == 3)
        for (const std::uint32_t m : l.masks) put(out, m, 4);
    while (out.size() < offset) out.push_back(0); // the rest of a longer header: no alpha mask
    for (int y = 0; y < h; ++y) out.insert(out.end(), row.begin(), row.end());
    return out;
}

} // namespace

TEST_P(BmpBitFields, EveryFieldSpansTheFullRange) {
    const FieldLayout l = GetParam();
    const int w = 70, h = 3;
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/f.bmp";
    const std::vector<std::uint8_t> bytes = bmpFile(l, w, h);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));

    const std::array<std::uint32_t, 3> masks =
        l.compression == 3 ? l.masks : std::array<std::uint32_t, 3>{0x7C00, 0x03E0, 0x001F};
    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
    QImage image;
    ASSERT_EQ(decodePicture(path, image), DecodeStatus::Ok);
    const int W = surface->roundedWidth();
    for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
            const int top = (1 << bitsIn(masks[std::size_t(c)])) - 1;
            const int v = std::min(x, top);
            const int expected = (v * 255 + top / 2) / top;
            // Cells are blue-green-red, bottom-up; the top row is the last.
            const int cell = surface->rounded()[(std::size_t(h - 1) * std::size_t(W) + std::size_t(x)) * 3 + std::size_t(2 - c)];
            ASSERT_EQ(cell, expected) << "pixel " << x << ", channel " << c;
            const QRgb shown = image.pixel(x, 0);
            ASSERT_EQ(c == 0 ? qRed(shown) : c == 1 ? qGreen(shown) : qBlue(shown), expected) << "pixel " << x;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BmpBitFields,
    ::testing::Values(FieldLayout{"Default555", 40, 16, 0, {}},
                      FieldLayout{"Masks565", 40, 16, 3, {0xF800, 0x07E0, 0x001F}},
                      FieldLayout{"Masks444InAVersion4Header", 108, 16, 3, {0x0F00, 0x00F0, 0x000F}},
                      FieldLayout{"Masks888In32Bits", 40, 32, 3, {0xFF0000, 0x00FF00, 0x0000FF}},
                      FieldLayout{"Masks565In32Bits", 124, 32, 3, {0xF800, 0x07E0, 0x001F}}),
    [](const auto& info) { return std::string(info.param.name); });
