// What the engine needs of a picture surface (a picture box, or a picture in memory): its size,
// a read of its pixels into a 24-bit bottom-up buffer, and a write of such a buffer onto it.
#pragma once

#include <cstdint>
#include <vector>

namespace orv {

inline int roundUp4(int v) { return (v + 3) / 4 * 4; }

class PictureSurface {
public:
    virtual ~PictureSurface() = default;

    virtual int pictureWidth() const = 0;
    virtual int pictureHeight() const = 0;

    // Copies the picture into `buffer`, laid out as a bottom-up bitmap of W x H pixels (rows of
    // 3 * W bytes, blue, green, red). The picture's bottom row lands on buffer row 0; cells outside
    // the picture are left as they are (the caller clears them).
    virtual void readPixels(std::uint8_t* buffer, int W, int H) const = 0;

    // Draws the cells x < width, y < height of such a buffer onto the surface, buffer row y on
    // picture row height - 1 - y, replacing what was there.
    virtual void writePixels(const std::uint8_t* buffer, int W, int H) = 0;

    // A surface that already holds its pixels in the W x H layout may hand them over instead of
    // copying (the batch front end keeps no second copy of a series). Returns false when it cannot.
    virtual bool takePixels(std::vector<std::uint8_t>& /*into*/, int /*W*/, int /*H*/) { return false; }
};

// A picture held in memory in the rounded bottom-up layout: the surface of the batch front end
// and of the tests.
class MemorySurface : public PictureSurface {
public:
    MemorySurface() = default;
    MemorySurface(int width, int height); // black
    // Takes pixels already laid out as roundUp4(width) x roundUp4(height), bottom-up BGR.
    MemorySurface(int width, int height, std::vector<std::uint8_t> rounded);

    int pictureWidth() const override { return width_; }
    int pictureHeight() const override { return height_; }
    void readPixels(std::uint8_t* buffer, int W, int H) const override;
    void writePixels(const std::uint8_t* buffer, int W, int H) override;
    bool takePixels(std::vector<std::uint8_t>& into, int W, int H) override;

    // Picture pixel (column c, row r from the top), blue, green, red.
    const std::uint8_t* pixelAt(int c, int r) const;
    void setPixel(int c, int r, std::uint8_t b, std::uint8_t g, std::uint8_t red);
    void clear();
    int roundedWidth() const { return roundUp4(width_); }
    const std::vector<std::uint8_t>& rounded() const { return pixels_; }
    // The same pixels to write in place (retouching); the size stays.
    std::uint8_t* roundedData() { return pixels_.data(); }
    bool empty() const { return pixels_.empty(); }

private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> pixels_; // roundUp4(width) x roundUp4(height), bottom-up
};

// A black picture of a given size that holds no pixels: the montage the arrays start from. Reading
// it gives black cells without a black picture of the montage's size being made, filled and freed
// on every run; it is read-only (writes go nowhere).
class BlankSurface : public PictureSurface {
public:
    BlankSurface(int width, int height) : width_(width), height_(height) {}
    int pictureWidth() const override { return width_; }
    int pictureHeight() const override { return height_; }
    void readPixels(std::uint8_t* buffer, int W, int H) const override;
    void writePixels(const std::uint8_t*, int, int) override {}

private:
    int width_;
    int height_;
};

} // namespace orv
