// The GIF encoder: one picture as a GIF file with a 256-entry global colour table, an optional
// transparency extension, and row-wise LZW with fixed 9-bit codes. Window-free: pixels come in as
// plain rows, progress goes out through a callback.
#pragma once

#include "output/bmp_writer.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace orv {

// The picture to encode. Rows are bottom-up (row 0 is the bottom row), `stride` bytes apart.
// A 24-bit picture has blue, green, red per pixel and is reduced to the 125-colour cube; an
// indexed picture has one palette index per pixel and keeps its own 256-entry palette.
struct GifPicture {
    int width = 0;
    int height = 0;
    const std::uint8_t* bits = nullptr;
    std::size_t stride = 0;
    bool indexed = false;
    std::array<Rgb, 256> palette{}; // indexed pictures only; unused entries black

    static GifPicture fromBgr(const BgrView& view);
    static GifPicture fromIndexed(const std::uint8_t* bits, int width, int height, std::size_t stride,
                                  const std::array<Rgb, 256>& palette);

    // The colour the saved file will show for the pixel at (x, yFromTop): the cube colour of a
    // 24-bit pixel, the palette entry of an indexed one. The "save transparent" choice hands
    // the top-left pixel's reduced colour to SaveGIF.
    Rgb reducedColourAt(int x, int yFromTop) const;
};

// Cube level of one channel: the nearest of 0, 64, 128, 192, 255, ties to the lower level.
int cubeLevel(std::uint8_t channel);
// Palette index of a 24-bit colour in the cube table (25 * blue + 5 * green + red levels).
std::uint8_t cubeIndex(std::uint8_t blue, std::uint8_t green, std::uint8_t red);
// The cube's table: entries 0 … 124 the cube colours, 125 … 255 black.
const std::array<Rgb, 256>& cubePalette();

class GIF {
public:
    // Raised every 10 rows with the share of rows written so far (0 … 100). The handler may let
    // pending window events run; a SaveGIF reached from there returns false at once.
    std::function<void(int percent)> Progress;

    // Writes `picture` to `fileName`: true when the file was written completely, false at once
    // (writing nothing) when this object is already saving. With `transparent` the file is
    // GIF89a and the first palette entry equal to `transparentColour` is transparent (entry 0
    // when none is). The file goes through a temporary file that is renamed into place, so an
    // existing file survives any failure. Raises RuntimeError: 5 for a picture without pixels,
    // 6 for a side above 65535, 61/70/75 when the file cannot be written.
    bool SaveGIF(const GifPicture& picture, const std::string& fileName, bool transparent,
                 Rgb transparentColour);

private:
    void compress();
    void writeCode(int code) { WriteBits(code, 9); }
    void WriteBits(int value, int count);
    void flush();

    bool busy_ = false;
    int width_ = 0;
    int height_ = 0;
    std::array<Rgb, 256> palette_{};
    std::vector<std::uint8_t> pixels_; // palette indexes, top row first, width_ per row
    std::array<std::uint8_t, 256> block_{};
    int bitPosition_ = 8;
    std::vector<std::uint8_t> out_;

    // The string table, keyed by (code of the string without its last pixel, last pixel).
    std::vector<std::uint16_t> table_; // 0 = absent
    std::vector<std::uint32_t> tableKeys_;
    void clearTable();
};

} // namespace orv
