// BMP decoding: file header, a BITMAPINFOHEADER or a later version of it, then the pixel rows;
// every size is checked against the bytes actually present before anything is allocated.
#include "tools/orvantajpeg/bmp_reader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

std::uint32_t get32(const std::uint8_t* b) {
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}
std::uint16_t get16(const std::uint8_t* b) { return std::uint16_t(b[0] | b[1] << 8); }

// JPEG cannot hold larger sides, so larger BMPs are refused before any allocation.
constexpr std::int64_t kMaxSide = 65535;

// Where the rows are and how they look, from the headers; `fileSize` is the whole file's length.
struct BmpLayout {
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool topDown = false;
    std::uint64_t bytesPerPixel = 0;
    std::uint64_t rowBytes = 0;
    std::uint64_t dataOffset = 0;
};

// `head` holds the file's first `available` bytes (at least the headers when the file has them).
BmpLayout parseLayout(const std::uint8_t* head, std::size_t available, std::uint64_t fileSize) {
    if (available < 14 + 40 || fileSize < 14 + 40) throw BmpError("file too short for a BMP header");
    if (head[0] != 'B' || head[1] != 'M') throw BmpError("not a BMP file (no \"BM\" signature)");
    const std::uint32_t dataOffset = get32(head + 10);
    const std::uint32_t headerSize = get32(head + 14);
    if (headerSize < 40 || headerSize > 1024) throw BmpError("unsupported BMP header size " + std::to_string(headerSize));
    if (14 + std::uint64_t(headerSize) > fileSize) throw BmpError("truncated BMP header");
    const std::int64_t width = std::int32_t(get32(head + 18));
    const std::int64_t rawHeight = std::int32_t(get32(head + 22));
    const std::uint16_t planes = get16(head + 26);
    const std::uint16_t bits = get16(head + 28);
    const std::uint32_t compression = get32(head + 30);
    if (planes != 1) throw BmpError("corrupt BMP header (planes " + std::to_string(planes) + ")");
    if (bits != 24 && bits != 32)
        throw BmpError("unsupported BMP: " + std::to_string(bits) + " bits per pixel (24 or 32 needed)");
    if (compression != 0) throw BmpError("unsupported BMP: compressed pixel data");
    BmpLayout l;
    l.topDown = rawHeight < 0;
    l.width = width;
    l.height = l.topDown ? -rawHeight : rawHeight;
    if (l.width <= 0 || l.height <= 0) throw BmpError("BMP without pixels");
    if (l.width > kMaxSide || l.height > kMaxSide)
        throw BmpError("BMP too large (" + std::to_string(l.width) + "x" + std::to_string(l.height) + ")");
    l.bytesPerPixel = bits / 8;
    l.rowBytes = (std::uint64_t(width) * bits + 31) / 32 * 4;
    l.dataOffset = dataOffset;
    if (dataOffset < 14 + headerSize) throw BmpError("corrupt BMP: pixel data overlaps the header");
    if (std::uint64_t(dataOffset) + l.rowBytes * std::uint64_t(l.height) > fileSize)
        throw BmpError("truncated BMP: pixel data incomplete");
    return l;
}

// One file row into picture row y (bottom row first) of `p`.
void putRow(const BmpLayout& l, const std::uint8_t* src, BmpPicture& p, std::int64_t fileRow) {
    const std::int64_t y = l.topDown ? l.height - 1 - fileRow : fileRow;
    std::uint8_t* dst = p.bgr.data() + std::size_t(y) * std::size_t(l.width) * 3;
    if (l.bytesPerPixel == 3) {
        std::memcpy(dst, src, std::size_t(l.width) * 3);
    } else {
        for (std::int64_t x = 0; x < l.width; ++x, src += 4, dst += 3) std::memcpy(dst, src, 3);
    }
}

BmpPicture blankPicture(const BmpLayout& l) {
    BmpPicture p;
    p.width = int(l.width);
    p.height = int(l.height);
    p.bgr.resize(std::size_t(l.width) * std::size_t(l.height) * 3);
    return p;
}

} // namespace

BmpPicture decodeBmp(const std::vector<std::uint8_t>& file) {
    const BmpLayout l = parseLayout(file.data(), file.size(), file.size());
    BmpPicture p = blankPicture(l);
    for (std::int64_t r = 0; r < l.height; ++r)
        putRow(l, file.data() + l.dataOffset + l.rowBytes * std::uint64_t(r), p, r);
    return p;
}

BmpPicture readBmp(const std::string& path) {
    // Without O_NONBLOCK, opening a FIFO would wait for a writer for ever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) throw BmpError(std::string("cannot open: ") + std::strerror(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st{};
    if (::fstat(fd, &st) != 0) throw BmpError(std::string("cannot read: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) throw BmpError("not a regular file");
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    // Only the headers, then the rows straight into the picture: the file is never held whole.
    auto readAt = [&](std::uint8_t* out, std::size_t n, std::uint64_t at) {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::pread(fd, out + done, n - done, off_t(at + done));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return done;
            done += std::size_t(got);
        }
        return done;
    };
    std::uint8_t head[14 + 1024];
    const std::size_t available = readAt(head, sizeof head, 0);
    const BmpLayout l = parseLayout(head, available, std::uint64_t(st.st_size));
    BmpPicture p = blankPicture(l);
    std::vector<std::uint8_t> row(l.rowBytes);
    for (std::int64_t r = 0; r < l.height; ++r) {
        if (readAt(row.data(), row.size(), l.dataOffset + l.rowBytes * std::uint64_t(r)) != row.size())
            throw BmpError("truncated BMP: pixel data incomplete");
        putRow(l, row.data(), p, r);
    }
    return p;
}

} // namespace orv
