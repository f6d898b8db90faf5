// The in-memory picture surface.
#include "engine/picture_surface.h"

#include "base/runtime_error.h"

#include <algorithm>
#include <cstring>

namespace orv {

MemorySurface::MemorySurface(int width, int height)
    : width_(width), height_(height),
      pixels_(std::size_t(roundUp4(width)) * std::size_t(roundUp4(height)) * 3, 0) {}

MemorySurface::MemorySurface(int width, int height, std::vector<std::uint8_t> rounded)
    : width_(width), height_(height), pixels_(std::move(rounded)) {
    if (pixels_.size() != std::size_t(roundUp4(width)) * std::size_t(roundUp4(height)) * 3)
        throw RuntimeError(5);
}

void BlankSurface::readPixels(std::uint8_t* buffer, int W, int H) const {
    const int cols = std::min(width_, W);
    for (int y = 0; y < std::min(height_, H) && cols > 0; ++y)
        std::memset(buffer + std::size_t(y) * W * 3, 0, std::size_t(cols) * 3);
}

void MemorySurface::readPixels(std::uint8_t* buffer, int W, int H) const {
    if (pixels_.empty() && width_ > 0 && height_ > 0) throw RuntimeError(5); // handed over earlier
    const int rw = roundUp4(width_);
    const int cols = std::min(width_, W);
    // The picture's bottom row is row 0 of both layouts.
    for (int y = 0; y < std::min(height_, H); ++y)
        std::memcpy(buffer + std::size_t(y) * W * 3, pixels_.data() + std::size_t(y) * rw * 3,
                    std::size_t(cols) * 3);
}

void MemorySurface::writePixels(const std::uint8_t* buffer, int W, int H) {
    if (pixels_.empty())
        pixels_.assign(std::size_t(roundUp4(width_)) * std::size_t(roundUp4(height_)) * 3, 0);
    const int rw = roundUp4(width_);
    const int cols = std::min(width_, W);
    for (int y = 0; y < std::min(height_, H); ++y)
        std::memcpy(pixels_.data() + std::size_t(y) * rw * 3, buffer + std::size_t(y) * W * 3,
                    std::size_t(cols) * 3);
}

bool MemorySurface::takePixels(std::vector<std::uint8_t>& into, int W, int H) {
    if (W != roundUp4(width_) || H != roundUp4(height_) || pixels_.empty()) return false;
    into = std::move(pixels_);
    pixels_.clear();
    return true;
}

const std::uint8_t* MemorySurface::pixelAt(int c, int r) const {
    return pixels_.data() + (std::size_t(height_ - 1 - r) * roundUp4(width_) + c) * 3;
}

void MemorySurface::setPixel(int c, int r, std::uint8_t b, std::uint8_t g, std::uint8_t red) {
    std::uint8_t* p = pixels_.data() + (std::size_t(height_ - 1 - r) * roundUp4(width_) + c) * 3;
    p[0] = b;
    p[1] = g;
    p[2] = red;
}

void MemorySurface::clear() { std::fill(pixels_.begin(), pixels_.end(), 0); }

} // namespace orv
