// Turning a picture upright by its camera's orientation tag: one walk over the upright picture in
// tiles, each pixel fetched from where the tag says it is stored, for 8- and 16-bit samples.
#include "input/picture_orientation.h"

#include "engine/picture_surface.h"

#include <algorithm>
#include <cstddef>

namespace orv {

void storedPixelOf(int orientation, int c, int r, int w, int h, int& column, int& row) {
    switch (orientation) {
    case 2: column = w - 1 - c; row = r; break;
    case 3: column = w - 1 - c; row = h - 1 - r; break;
    case 4: column = c; row = h - 1 - r; break;
    case 5: column = r; row = c; break;
    case 6: column = r; row = h - 1 - c; break;
    case 7: column = w - 1 - r; row = h - 1 - c; break;
    case 8: column = w - 1 - r; row = c; break;
    default: column = c; row = r; break;
    }
}

void uprightPixelOf(int orientation, int column, int row, int w, int h, int& c, int& r) {
    switch (orientation) {
    case 2: c = w - 1 - column; r = row; break;
    case 3: c = w - 1 - column; r = h - 1 - row; break;
    case 4: c = column; r = h - 1 - row; break;
    case 5: c = row; r = column; break;
    case 6: c = h - 1 - row; r = column; break;
    case 7: c = h - 1 - row; r = w - 1 - column; break;
    case 8: c = row; r = w - 1 - column; break;
    default: c = column; r = row; break;
    }
}

namespace {

// A picture's samples in memory: where its top row's first sample lies and how far apart (in
// samples, negative for bottom-up rows) its rows from the top are.
template <class T>
struct Rows {
    T* data;
    std::ptrdiff_t top;
    std::ptrdiff_t stride;
};

// Copies every upright pixel from its stored place. The stored place moves by a fixed step along
// an upright row and down an upright column, so the walk needs no per-pixel case; tiles of 64 x 64
// keep a quarter turn's column-wise reads within the cache.
template <class T>
void turnSamples(Rows<const T> from, int w, int h, int channels, Rows<T> to, int orientation) {
    int uw = w, uh = h;
    uprightSides(orientation, uw, uh);
    auto offset = [&](int c, int r) {
        int column = 0, row = 0;
        storedPixelOf(orientation, c, r, w, h, column, row);
        return from.top + std::ptrdiff_t(row) * from.stride + std::ptrdiff_t(column) * channels;
    };
    const std::ptrdiff_t origin = offset(0, 0), alongRow = offset(1, 0) - origin, downColumn = offset(0, 1) - origin;
    constexpr int kTile = 64;
    for (int r0 = 0; r0 < uh; r0 += kTile)
        for (int c0 = 0; c0 < uw; c0 += kTile)
            for (int r = r0; r < std::min(uh, r0 + kTile); ++r) {
                std::ptrdiff_t in = origin + std::ptrdiff_t(r) * downColumn + std::ptrdiff_t(c0) * alongRow;
                std::ptrdiff_t out = to.top + std::ptrdiff_t(r) * to.stride + std::ptrdiff_t(c0) * channels;
                for (int c = c0; c < std::min(uw, c0 + kTile); ++c, in += alongRow, out += channels)
                    for (int k = 0; k < channels; ++k) to.data[out + k] = from.data[in + k];
            }
}

} // namespace

std::vector<std::uint8_t> uprightCells(const std::vector<std::uint8_t>& cells, int& width, int& height,
                                       int orientation) {
    const int w = width, h = height;
    uprightSides(orientation, width, height);
    const int W = roundUp4(w), uW = roundUp4(width), uH = roundUp4(height);
    std::vector<std::uint8_t> out(std::size_t(uW) * std::size_t(uH) * 3, 0);
    if (w <= 0 || h <= 0) return out;
    // Bottom-up rows: the top row is the picture's last.
    turnSamples<std::uint8_t>({cells.data(), std::ptrdiff_t(h - 1) * W * 3, -std::ptrdiff_t(W) * 3}, w, h, 3,
                              {out.data(), std::ptrdiff_t(height - 1) * uW * 3, -std::ptrdiff_t(uW) * 3}, orientation);
    return out;
}

void turnUpright(DeepPicture& picture, int orientation) {
    if (validOrientation(orientation) == 1 || picture.empty()) return;
    DeepPicture turned;
    turned.width = picture.width;
    turned.height = picture.height;
    uprightSides(orientation, turned.width, turned.height);
    turned.channels = picture.channels;
    turned.bitsPerSample = picture.bitsPerSample;
    turned.samples.resize(picture.samples.size());
    const std::ptrdiff_t ch = picture.channels;
    turnSamples<std::uint16_t>({picture.samples.data(), 0, std::ptrdiff_t(picture.width) * ch}, picture.width,
                               picture.height, picture.channels,
                               {turned.samples.data(), 0, std::ptrdiff_t(turned.width) * ch}, orientation);
    picture = std::move(turned);
}

} // namespace orv
