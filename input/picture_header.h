// What a picture file's first bytes say before anything is decoded: its kind from the signature,
// and for BMP and GIF files the sides the reader will allocate and whether the file holds all the
// pixel data its header promises (a file cut short is not a picture).
#pragma once

#include <cstdint>
#include <cstddef>
#include <functional>
#include <vector>

namespace orv {

enum class PictureKind { Bmp, Jpeg, Gif, Other };

// From the first bytes (up to 6 are looked at): "BM", FF D8 FF, "GIF87a" / "GIF89a".
PictureKind pictureKindOf(const std::uint8_t* head, std::size_t size);

// Reads a file from its start (or bytes held in memory) a chunk at a time.
class ByteStream {
public:
    explicit ByteStream(int fd);
    ByteStream(const std::uint8_t* data, std::size_t size);

    int get() { return at_ < end_ || refill() ? buffer_[at_++] : -1; } // -1 at the end
    bool read(std::uint8_t* out, std::size_t n);
    bool skip(std::uint64_t n);
    std::uint64_t consumed() const { return taken_ - (end_ - at_); } // bytes handed out or skipped

private:
    bool refill();
    int fd_ = -1;
    const std::uint8_t* buffer_ = nullptr;
    std::size_t at_ = 0, end_ = 0;
    std::uint64_t taken_ = 0; // bytes brought into the buffer so far
    std::vector<std::uint8_t> chunk_;
};

struct HeaderFacts {
    bool readable = false; // the header is whole and describes a picture
    int width = 0;         // the sides of the picture the reader allocates
    int height = 0;
    bool complete = false; // the file holds all the pixel data
    // A BMP of 16 or 32 bits a pixel whose colours are bit fields: the bits of red, green and
    // blue, each field's bits next to one another (0 where they are not, or for other files).
    int fieldBits[3] = {0, 0, 0};
    // A run-length coded BMP: its bits a pixel (8 or 4; 0 for other files) and where its data start.
    int rleBits = 0;
    std::uint64_t dataStart = 0;
    // The rows are stored from the top (the header's height is negative): the first coded row is
    // the picture's top row, as Qt's reader lays it out.
    bool topDown = false;
};

// A BMP's sides, and whether the file is long enough for the rows of an uncompressed picture, or
// holds the whole of a run-length coded one (other compressed pictures count as complete).
HeaderFacts readBmpHeader(ByteStream& in, std::uint64_t fileSize);

// Walks a BMP's run-length coded pixels (8 or 4 bits a pixel; `in` at their start) to their
// end-of-picture mark, or to the end of the last row: false when the file or the data end before.
// Every stretch of pixels that the data leave unset (the rest of a row ended early, the pixels a
// move skips, the rows after the end mark) goes to `hole` as row (counted as the rows are coded:
// from the bottom, or from the top in a BMP stored top-down), first and end x.
using RleHole = std::function<void(std::int64_t row, std::int64_t from, std::int64_t to)>;
bool walkRleBmp(ByteStream& in, std::uint32_t bits, std::int64_t width, std::int64_t height, const RleHole& hole = {});

// A GIF's sides (its logical screen, or its first picture's when the screen is empty) and whether
// the first picture's LZW data yield all its pixels before the file or the data end.
HeaderFacts readGifHeader(ByteStream& in);

} // namespace orv
