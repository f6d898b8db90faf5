// BMP decoding: file header, a BITMAPINFOHEADER or a later version of it, then the pixel rows;
// every size is checked against the bytes actually present before anything is copied.
#include "tools/orvantajpeg/bmp_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace orv {

namespace {

std::uint32_t get32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}
std::uint16_t get16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint16_t(b[at] | b[at + 1] << 8);
}

// JPEG cannot hold larger sides, so larger BMPs are refused before any allocation.
constexpr std::int64_t kMaxSide = 65535;

} // namespace

BmpPicture decodeBmp(const std::vector<std::uint8_t>& file) {
    if (file.size() < 14 + 40) throw BmpError("file too short for a BMP header");
    if (file[0] != 'B' || file[1] != 'M') throw BmpError("not a BMP file (no \"BM\" signature)");
    const std::uint32_t dataOffset = get32(file, 10);
    const std::uint32_t headerSize = get32(file, 14);
    if (headerSize < 40 || headerSize > 1024) throw BmpError("unsupported BMP header size " + std::to_string(headerSize));
    if (14 + std::uint64_t(headerSize) > file.size()) throw BmpError("truncated BMP header");
    const std::int64_t width = std::int32_t(get32(file, 18));
    const std::int64_t rawHeight = std::int32_t(get32(file, 22));
    const std::uint16_t planes = get16(file, 26);
    const std::uint16_t bits = get16(file, 28);
    const std::uint32_t compression = get32(file, 30);
    if (planes != 1) throw BmpError("corrupt BMP header (planes " + std::to_string(planes) + ")");
    if (bits != 24 && bits != 32)
        throw BmpError("unsupported BMP: " + std::to_string(bits) + " bits per pixel (24 or 32 needed)");
    if (compression != 0) throw BmpError("unsupported BMP: compressed pixel data");
    const bool topDown = rawHeight < 0;
    const std::int64_t height = topDown ? -rawHeight : rawHeight;
    if (width <= 0 || height <= 0) throw BmpError("BMP without pixels");
    if (width > kMaxSide || height > kMaxSide)
        throw BmpError("BMP too large (" + std::to_string(width) + "x" + std::to_string(height) + ")");

    const std::uint64_t bytesPerPixel = bits / 8;
    const std::uint64_t rowBytes = (std::uint64_t(width) * bits + 31) / 32 * 4;
    if (dataOffset < 14 + headerSize) throw BmpError("corrupt BMP: pixel data overlaps the header");
    if (std::uint64_t(dataOffset) + rowBytes * std::uint64_t(height) > file.size())
        throw BmpError("truncated BMP: pixel data incomplete");

    BmpPicture p;
    p.width = int(width);
    p.height = int(height);
    p.bgr.resize(std::size_t(width) * std::size_t(height) * 3);
    for (std::int64_t y = 0; y < height; ++y) {
        const std::int64_t fileRow = topDown ? height - 1 - y : y;
        const std::uint8_t* src = file.data() + dataOffset + rowBytes * std::uint64_t(fileRow);
        std::uint8_t* dst = p.bgr.data() + std::size_t(y) * std::size_t(width) * 3;
        if (bytesPerPixel == 3) {
            std::memcpy(dst, src, std::size_t(width) * 3);
        } else {
            for (std::int64_t x = 0; x < width; ++x, src += 4, dst += 3) std::memcpy(dst, src, 3);
        }
    }
    return p;
}

BmpPicture readBmp(const std::string& path) {
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!f) throw BmpError(std::string("cannot open: ") + std::strerror(errno));
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[1 << 16];
    for (;;) {
        const std::size_t n = std::fread(chunk, 1, sizeof chunk, f.get());
        bytes.insert(bytes.end(), chunk, chunk + n);
        if (n < sizeof chunk) break;
    }
    if (std::ferror(f.get())) throw BmpError(std::string("cannot read: ") + std::strerror(errno));
    return decodeBmp(bytes);
}

} // namespace orv
