// GIF encoding: colour reduction to palette indexes, the header with colour table and optional
// transparency extension, then LZW per row with a fresh table and 9-bit codes throughout.
#include "output/gif_encoder.h"

#include "base/numbers.h"
#include "base/runtime_error.h"

#include <algorithm>

namespace orv {

namespace {

constexpr int kClearCode = 256;
constexpr int kEndCode = 257;
constexpr int kFirstStringCode = 258;
// Resetting at 253 strings keeps every code below 511, so decoders never widen past 9 bits.
constexpr std::size_t kMaxStrings = 253;
// The prefix of the one-pixel key added by a row's first miss; no real code has this value,
// so that key is counted but never matched.
constexpr std::uint32_t kNoPrefix = 511;

const std::uint8_t kLevels[5] = {0, 64, 128, 192, 255};

void put16(std::vector<std::uint8_t>& out, int v) {
    out.push_back(std::uint8_t(v & 0xff));
    out.push_back(std::uint8_t((v >> 8) & 0xff));
}

// Clears the busy flag on every way out of SaveGIF, a throwing Progress handler included.
struct BusyGuard {
    bool& flag;
    explicit BusyGuard(bool& f) : flag(f) { flag = true; }
    ~BusyGuard() { flag = false; }
};

} // namespace

int cubeLevel(std::uint8_t c) {
    if (c <= 32) return 0;
    if (c <= 96) return 1;
    if (c <= 160) return 2;
    if (c <= 223) return 3;
    return 4;
}

std::uint8_t cubeIndex(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    return std::uint8_t(25 * cubeLevel(blue) + 5 * cubeLevel(green) + cubeLevel(red));
}

const std::array<Rgb, 256>& cubePalette() {
    static const std::array<Rgb, 256> table = [] {
        std::array<Rgb, 256> t{};
        for (int b = 0; b < 5; ++b)
            for (int g = 0; g < 5; ++g)
                for (int r = 0; r < 5; ++r) t[25 * b + 5 * g + r] = Rgb{kLevels[r], kLevels[g], kLevels[b]};
        return t;
    }();
    return table;
}

GifPicture GifPicture::fromBgr(const BgrView& view) {
    GifPicture p;
    p.width = view.width;
    p.height = view.height;
    p.bits = view.bits;
    p.stride = view.stride;
    return p;
}

GifPicture GifPicture::fromIndexed(const std::uint8_t* bits, int width, int height, std::size_t stride,
                                   const std::array<Rgb, 256>& palette) {
    GifPicture p;
    p.width = width;
    p.height = height;
    p.bits = bits;
    p.stride = stride;
    p.indexed = true;
    p.palette = palette;
    return p;
}

Rgb GifPicture::reducedColourAt(int x, int yFromTop) const {
    if (!bits || x < 0 || x >= width || yFromTop < 0 || yFromTop >= height) throw RuntimeError(5);
    const std::uint8_t* row = bits + stride * std::size_t(height - 1 - yFromTop);
    if (indexed) return palette[row[x]];
    const std::uint8_t* px = row + 3 * std::size_t(x);
    return cubePalette()[cubeIndex(px[0], px[1], px[2])];
}

bool GIF::SaveGIF(const GifPicture& picture, const std::string& fileName, bool transparent,
                  Rgb transparentColour) {
    if (busy_) return false;
    BusyGuard guard(busy_);

    if (picture.width <= 0 || picture.height <= 0 || !picture.bits) throw RuntimeError(5);
    if (picture.stride < std::size_t(picture.width) * (picture.indexed ? 1 : 3)) throw RuntimeError(5);
    // The screen descriptor holds each side in two bytes.
    if (picture.width > 0xffff || picture.height > 0xffff) throw RuntimeError(6);
    width_ = picture.width;
    height_ = picture.height;

    // Palette indexes, top row first.
    pixels_.assign(std::size_t(width_) * std::size_t(height_), 0);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = picture.bits + picture.stride * std::size_t(height_ - 1 - y);
        std::uint8_t* dst = &pixels_[std::size_t(y) * std::size_t(width_)];
        if (picture.indexed) {
            std::copy(src, src + width_, dst);
        } else {
            for (int x = 0; x < width_; ++x, src += 3) dst[x] = cubeIndex(src[0], src[1], src[2]);
        }
    }
    palette_ = picture.indexed ? picture.palette : cubePalette();

    int transparentIndex = 0;
    for (int i = 0; i < 256; ++i) {
        if (palette_[i] == transparentColour) {
            transparentIndex = i;
            break;
        }
    }

    out_.clear();
    out_.reserve(800 + pixels_.size() + pixels_.size() / 4);
    const char* signature = transparent ? "GIF89a" : "GIF87a";
    out_.insert(out_.end(), signature, signature + 6);
    put16(out_, width_);
    put16(out_, height_);
    out_.push_back(0xF7); // global colour table, 8-bit resolution, 256 entries
    out_.push_back(0);    // background colour index
    out_.push_back(0);    // pixel aspect ratio
    for (const Rgb& c : palette_) {
        out_.push_back(std::uint8_t(c.r));
        out_.push_back(std::uint8_t(c.g));
        out_.push_back(std::uint8_t(c.b));
    }
    if (transparent) {
        const std::uint8_t ext[8] = {0x21, 0xF9, 4, 9, 0, 0, std::uint8_t(transparentIndex), 0};
        out_.insert(out_.end(), ext, ext + 8);
    }
    out_.push_back(0x2C);
    put16(out_, 0);
    put16(out_, 0);
    put16(out_, width_);
    put16(out_, height_);
    out_.push_back(7);
    out_.push_back(8); // LZW minimum code size

    block_[0] = 0;
    bitPosition_ = 8;
    compress();
    writeCode(kEndCode);
    flush();

    writeFileAtomically(fileName, out_);
    pixels_.clear();
    pixels_.shrink_to_fit();
    out_.clear();
    out_.shrink_to_fit();
    return true;
}

void GIF::clearTable() {
    if (table_.empty()) table_.assign(512 * 256, 0);
    for (std::uint32_t key : tableKeys_) table_[key] = 0;
    tableKeys_.clear();
}

void GIF::compress() {
    for (int y = 1; y <= height_; ++y) {
        const std::uint8_t* row = &pixels_[std::size_t(y - 1) * std::size_t(width_)];
        clearTable();
        writeCode(kClearCode);
        int currentCode = row[0];
        bool stringEmpty = true;
        for (int x = 1; x < width_; ++x) {
            const std::uint8_t p = row[x];
            const std::uint32_t key = (stringEmpty ? kNoPrefix : std::uint32_t(currentCode)) * 256 + p;
            stringEmpty = false;
            if (const std::uint16_t code = table_[key]) {
                currentCode = code;
                continue;
            }
            writeCode(currentCode);
            if (tableKeys_.size() == kMaxStrings) {
                writeCode(kClearCode);
                clearTable();
            } else {
                table_[key] = std::uint16_t(kFirstStringCode + tableKeys_.size());
                tableKeys_.push_back(key);
            }
            currentCode = p;
        }
        writeCode(currentCode);
        if (y % 10 == 0 && Progress) Progress(int(roundHalfEven(double(y) * 100.0 / double(height_))));
    }
}

void GIF::WriteBits(int value, int count) {
    for (int i = 0; i < count; ++i) {
        if (bitPosition_ == 8) {
            if (block_[0] == 255) {
                out_.insert(out_.end(), block_.begin(), block_.end());
                block_[0] = 1;
            } else {
                ++block_[0];
            }
            block_[block_[0]] = 0;
            bitPosition_ = 0;
        }
        if (value & (1 << i)) block_[block_[0]] |= std::uint8_t(1 << bitPosition_);
        ++bitPosition_;
    }
}

void GIF::flush() {
    out_.insert(out_.end(), block_.begin(), block_.begin() + 1 + block_[0]);
    out_.push_back(0);    // block terminator
    out_.push_back(0x3B); // trailer
}

} // namespace orv
