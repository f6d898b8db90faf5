// Signatures, the BMP header, and a walk through a GIF's blocks that counts the pixels its first
// picture's LZW codes stand for (without decoding them).
#include "input/picture_header.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unistd.h>

namespace orv {

PictureKind pictureKindOf(const std::uint8_t* h, std::size_t n) {
    if (n >= 2 && h[0] == 'B' && h[1] == 'M') return PictureKind::Bmp;
    if (n >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) return PictureKind::Jpeg;
    if (n >= 6 && (std::memcmp(h, "GIF87a", 6) == 0 || std::memcmp(h, "GIF89a", 6) == 0))
        return PictureKind::Gif;
    return PictureKind::Other;
}

ByteStream::ByteStream(int fd) : fd_(fd), chunk_(1 << 16) {
    ::lseek(fd, 0, SEEK_SET);
    buffer_ = chunk_.data();
}

ByteStream::ByteStream(const std::uint8_t* data, std::size_t size) : buffer_(data), end_(size), taken_(size) {}

bool ByteStream::refill() {
    if (fd_ < 0) return false;
    ssize_t n;
    do {
        n = ::read(fd_, chunk_.data(), chunk_.size());
    } while (n < 0 && errno == EINTR);
    at_ = 0;
    end_ = n > 0 ? std::size_t(n) : 0;
    taken_ += end_;
    return end_ > 0;
}

bool ByteStream::read(std::uint8_t* out, std::size_t n) {
    while (n > 0) {
        if (at_ == end_ && !refill()) return false;
        const std::size_t take = std::min(n, end_ - at_);
        std::memcpy(out, buffer_ + at_, take);
        at_ += take;
        out += take;
        n -= take;
    }
    return true;
}

bool ByteStream::skip(std::uint64_t n) {
    while (n > 0) {
        if (at_ == end_ && !refill()) return false;
        const std::size_t take = std::size_t(std::min<std::uint64_t>(n, end_ - at_));
        at_ += take;
        n -= take;
    }
    return true;
}

namespace {

std::uint32_t le16(const std::uint8_t* p) { return std::uint32_t(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace

bool walkRleBmp(ByteStream& in, std::uint32_t bits, std::int64_t width, std::int64_t height, const RleHole& hole) {
    std::int64_t row = 0, x = 0;
    // The rest of the current row, and of the rows up to `untilRow`, which nothing sets.
    auto leave = [&](std::int64_t untilRow, std::int64_t untilX) {
        // Without a hole to report, the rows are passed at once: a header may claim two thousand
        // million of them behind a two-byte end mark, and one step a row kept the reader busy for
        // minutes.
        if (!hole) {
            if (row < std::min(untilRow, height)) row = std::min(untilRow, height);
            x = untilX;
            return;
        }
        for (; row < untilRow && row < height; ++row, x = 0)
            if (hole && x < width) hole(row, x, width);
        if (hole && row < height && x < std::min(untilX, width)) hole(row, x, std::min(untilX, width));
        x = untilX;
    };
    for (;;) {
        const int count = in.get(), value = in.get();
        if (value < 0) {
            // The file ends: whole when every row was ended.
            if (row < height) return false;
            return true;
        }
        if (count > 0) { // a run of `count` pixels
            x += count;
            continue;
        }
        if (value == 0) { // end of a row
            leave(row + 1, 0);
        } else if (value == 1) { // end of the picture
            leave(height, 0);
            return true;
        } else if (value == 2) { // a move right and down
            const int right = in.get(), down = in.get();
            if (right < 0 || down < 0) return false;
            leave(row + down, x + right);
        } else { // `value` pixels as they are, padded to an even byte count
            const std::uint64_t bytes = bits == 8 ? std::uint64_t(value) : (std::uint64_t(value) + 1) / 2;
            if (!in.skip(bytes + (bytes & 1))) return false;
            x += value;
        }
    }
}

HeaderFacts readBmpHeader(ByteStream& in, std::uint64_t fileSize) {
    HeaderFacts f;
    std::array<std::uint8_t, 54> h{};
    if (!in.read(h.data(), 18) || h[0] != 'B' || h[1] != 'M') return f;
    const std::uint32_t dataOffset = le32(&h[10]);
    const std::uint32_t headerSize = le32(&h[14]);
    std::int64_t width = 0, height = 0;
    std::uint32_t bits = 0, compression = 0;
    if (headerSize == 12) {
        if (!in.read(&h[18], 8)) return f;
        width = le16(&h[18]);
        height = le16(&h[20]);
        bits = le16(&h[24]);
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 64 ||
               headerSize == 108 || headerSize == 124) {
        if (!in.read(&h[18], 36)) return f;
        width = std::int32_t(le32(&h[18]));
        height = std::int32_t(le32(&h[22]));
        bits = le16(&h[28]);
        compression = le32(&h[30]);
    } else {
        return f;
    }
    if (width <= 0 || height == 0 || height == INT32_MIN) return f;
    if (headerSize >= 40 && (bits == 16 || bits == 32)) {
        // Without masks a 16-bit picture is 5-5-5 and a 32-bit one 8-8-8; with them (3, or 6 with
        // an alpha mask too) they follow a 40-byte header and lie inside the longer ones.
        std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
        if (bits == 32) masks[0] = 0xFF0000, masks[1] = 0xFF00, masks[2] = 0xFF;
        std::array<std::uint8_t, 12> m{};
        const bool withMasks = compression == 3 || compression == 6;
        const bool masksRead = withMasks && in.read(m.data(), m.size());
        if (masksRead)
            for (int c = 0; c < 3; ++c) masks[c] = le32(&m[std::size_t(4 * c)]);
        if (compression == 0 || masksRead)
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t mask = masks[c];
                const int n = __builtin_popcount(mask);
                const bool contiguous = mask != 0 && ((mask >> __builtin_ctz(mask)) + 1 == (std::uint64_t(1) << n));
                f.fieldBits[c] = contiguous ? n : 0;
            }
    }
    f.topDown = height < 0;
    height = height < 0 ? -height : height; // negative: rows stored top-down
    f.readable = true;
    f.width = int(width);
    f.height = int(height);
    const bool uncompressed = compression == 0 || compression == 3 || compression == 6;
    const std::uint64_t start = std::max<std::uint64_t>(dataOffset, 14 + std::uint64_t(headerSize));
    if (uncompressed && (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        const std::uint64_t rowBytes = (std::uint64_t(width) * bits + 31) / 32 * 4;
        f.complete = fileSize >= start + rowBytes * std::uint64_t(height);
    } else if ((compression == 1 && bits == 8) || (compression == 2 && bits == 4)) {
        f.complete = in.consumed() <= start && in.skip(start - in.consumed()) && walkRleBmp(in, bits, width, height);
        f.rleBits = int(bits);
        f.dataStart = start;
    } else {
        f.complete = true;
    }
    return f;
}

namespace {

// Skips a chain of data sub-blocks up to its empty block; false when the file ends first.
bool skipSubBlocks(ByteStream& in) {
    for (;;) {
        const int n = in.get();
        if (n < 0) return false;
        if (n == 0) return true;
        if (!in.skip(std::uint64_t(n))) return false;
    }
}

// The pixels the LZW codes of one picture stand for, counted up to `wanted`: the length of every
// table entry is its prefix's length plus one, so nothing needs to be decoded.
std::uint64_t countLzwPixels(ByteStream& in, int minCodeSize, std::uint64_t wanted) {
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::array<std::uint32_t, 4096> length{};
    for (int c = 0; c < clear; ++c) length[std::size_t(c)] = 1;
    int codeSize = minCodeSize + 1, next = clear + 2, previous = -1;
    std::uint32_t bitsHeld = 0;
    int bitCount = 0;
    std::uint64_t pixels = 0;
    for (;;) {
        const int blockSize = in.get();
        if (blockSize <= 0) return pixels; // the file or the data end
        for (int b = 0; b < blockSize; ++b) {
            const int byte = in.get();
            if (byte < 0) return pixels;
            bitsHeld |= std::uint32_t(byte) << bitCount;
            bitCount += 8;
            while (bitCount >= codeSize) {
                const int code = int(bitsHeld & ((1u << codeSize) - 1));
                bitsHeld >>= codeSize;
                bitCount -= codeSize;
                if (code == clear) {
                    codeSize = minCodeSize + 1;
                    next = clear + 2;
                    previous = -1;
                    continue;
                }
                if (code == end) return pixels;
                if (previous < 0) {
                    pixels += 1; // the first code after a clear is one pixel
                    previous = code < clear ? code : 0;
                } else {
                    // A code not yet in the table repeats the previous string plus its first pixel.
                    const std::uint32_t len = code < next ? length[std::size_t(code)]
                                                          : length[std::size_t(previous)] + 1;
                    pixels += len;
                    if (next < 4096) {
                        length[std::size_t(next)] = length[std::size_t(previous)] + 1;
                        ++next;
                        if (next == (1 << codeSize) && codeSize < 12) ++codeSize;
                    }
                    previous = code < next ? code : next - 1;
                }
                if (pixels >= wanted) return pixels;
            }
        }
    }
}

constexpr std::uint64_t kGifPreambleLimit = std::uint64_t(64) << 20;

} // namespace

HeaderFacts readGifHeader(ByteStream& in) {
    HeaderFacts f;
    std::array<std::uint8_t, 13> h{};
    if (!in.read(h.data(), 13) || (std::memcmp(h.data(), "GIF87a", 6) != 0 && std::memcmp(h.data(), "GIF89a", 6) != 0))
        return f;
    const int screenWidth = int(le16(&h[6])), screenHeight = int(le16(&h[8]));
    if ((h[10] & 0x80) && !in.skip(3u << ((h[10] & 7) + 1))) return f;
    for (;;) {
        // Comments and application data before the first picture never run to this length.
        if (in.consumed() > kGifPreambleLimit) return f;
        const int introducer = in.get();
        if (introducer == 0x21) {
            if (in.get() < 0 || !skipSubBlocks(in)) return f;
            continue;
        }
        if (introducer != 0x2C) return f; // the trailer, the file's end or junk before any picture
        std::array<std::uint8_t, 9> d{};
        if (!in.read(d.data(), 9)) return f;
        const int width = int(le16(&d[4])), height = int(le16(&d[6]));
        if ((d[8] & 0x80) && !in.skip(3u << ((d[8] & 7) + 1))) return f;
        const int minCodeSize = in.get();
        if (width == 0 || height == 0 || minCodeSize < 1 || minCodeSize > 11) return f;
        f.readable = true;
        f.width = screenWidth > 0 && screenHeight > 0 ? screenWidth : width;
        f.height = screenWidth > 0 && screenHeight > 0 ? screenHeight : height;
        const std::uint64_t wanted = std::uint64_t(width) * std::uint64_t(height);
        f.complete = countLzwPixels(in, minCodeSize, wanted) >= wanted;
        return f;
    }
}

} // namespace orv
