// The pixel types shared by the engine, smoothing and the writers: one colour, and a view of
// 24-bit bottom-up rows.
#pragma once

#include <cstddef>
#include <cstdint>

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

} // namespace orv
