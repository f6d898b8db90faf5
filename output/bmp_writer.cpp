// 24-bit BMP encoding and the atomic file write every picture writer uses.
#include "output/bmp_writer.h"

#include "base/runtime_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace orv {

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = v & 0xff;
    b[at + 1] = v >> 8;
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xff;
}

} // namespace

std::vector<std::uint8_t> bmpHeader(const BgrView& v) {
    if (v.width <= 0 || v.height <= 0 || !v.bits || v.stride < std::size_t(v.width) * 3)
        throw RuntimeError(5);
    const std::size_t rowBytes = (std::size_t(v.width) * 3 + 3) / 4 * 4;
    const std::size_t imageBytes = rowBytes * std::size_t(v.height);
    const std::size_t total = 54 + imageBytes;
    if (total > 0xffffffffu) throw RuntimeError(6);
    std::vector<std::uint8_t> b(54, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, std::uint32_t(total));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, std::uint32_t(v.width));
    put32(b, 22, std::uint32_t(v.height)); // positive: bottom-up
    put16(b, 26, 1);
    put16(b, 28, 24);
    put32(b, 30, 0);
    put32(b, 34, std::uint32_t(imageBytes));
    put32(b, 38, 2835); // 72 dpi
    put32(b, 42, 2835);
    return b;
}

std::vector<std::uint8_t> encodeBmp24(const BgrView& v) {
    std::vector<std::uint8_t> b = bmpHeader(v);
    const std::size_t rowBytes = (std::size_t(v.width) * 3 + 3) / 4 * 4;
    b.resize(54 + rowBytes * std::size_t(v.height), 0);
    for (int y = 0; y < v.height; ++y)
        std::memcpy(&b[54 + rowBytes * y], v.bits + v.stride * y, std::size_t(v.width) * 3);
    return b;
}

void writeBmp24(const std::string& path, const BgrView& v, const WriteProgress& progress) {
    // Streamed row by row: a large montage is not copied once more before it is written.
    const std::vector<std::uint8_t> header = bmpHeader(v);
    const std::size_t rowBytes = (std::size_t(v.width) * 3 + 3) / 4 * 4;
    AtomicFile f(path);
    f.write(header.data(), header.size());
    std::vector<std::uint8_t> chunk;
    const int rowsPerChunk = int(std::max<std::size_t>(1, (1u << 20) / rowBytes));
    for (int y = 0; y < v.height; y += rowsPerChunk) {
        const int n = std::min(rowsPerChunk, v.height - y);
        chunk.assign(rowBytes * std::size_t(n), 0);
        for (int r = 0; r < n; ++r)
            std::memcpy(&chunk[rowBytes * r], v.bits + v.stride * std::size_t(y + r),
                        std::size_t(v.width) * 3);
        f.write(chunk.data(), chunk.size());
        reportWritten(progress, y + n, v.height);
    }
    f.commit();
}

} // namespace orv
