// The pixel types shared by the engine, smoothing and the writers: one colour, and a view of
// 24-bit bottom-up rows.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orv {

// One colour, channels 0 to 255.
struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// Source pixels: `height` rows bottom-up, each row `width` pixels of blue, green, red, and
// `stride` bytes from one row to the next (at least 3 * width).
struct BgrView {
    const std::uint8_t* bits = nullptr;
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
};

// One row of `n` blue, green, red cells as 32-bit 0xFFRRGGBB pixels (the layout of a window's
// picture). On a little-endian machine a cell's three bytes are already that pixel's low bytes,
// so each pixel is one load and one OR; the last cell is read byte by byte, never past the row.
inline void bgrRowToXrgb(const std::uint8_t* in, std::uint32_t* out, int n) {
    int x = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; x + 1 < n; ++x) {
            std::uint32_t v;
            std::memcpy(&v, in + 3 * x, 4);
            out[x] = v | 0xFF000000u;
        }
    }
    for (; x < n; ++x)
        out[x] = 0xFF000000u | std::uint32_t(in[3 * x + 2]) << 16 | std::uint32_t(in[3 * x + 1]) << 8 | in[3 * x];
}

} // namespace orv
