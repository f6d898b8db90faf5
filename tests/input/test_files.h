// Picture files made by the tests, row by row so that even very large pictures cost little memory:
// JPEG through libjpeg (any colour space, baseline or progressive), uncompressed 24-bit BMP, and
// LZW-compressed GIF; plus cutting, patching and raw-byte file helpers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <jpeglib.h>

namespace orv::test {

// Fills one row (row 0 at the top) of `components` bytes a pixel.
using RowFill = std::function<void(int row, std::uint8_t* out)>;

enum class JpegColour { Grey, Rgb, Cmyk };

struct JpegOptions {
    JpegColour colour = JpegColour::Rgb;
    bool progressive = false;
    int quality = 90;
    bool fullChroma = false; // 4:4:4 instead of libjpeg's default 4:2:0
};

inline bool writeJpegFile(const std::string& path, int w, int h, const RowFill& fill,
                          const JpegOptions& o = {}) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = JDIMENSION(w);
    c.image_height = JDIMENSION(h);
    c.input_components = o.colour == JpegColour::Grey ? 1 : o.colour == JpegColour::Rgb ? 3 : 4;
    c.in_color_space = o.colour == JpegColour::Grey ? JCS_GRAYSCALE
                       : o.colour == JpegColour::Rgb ? JCS_RGB
                                                     : JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, o.quality, TRUE);
    if (o.fullChroma && o.colour == JpegColour::Rgb)
        for (int i = 0; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (o.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    std::vector<std::uint8_t> row(std::size_t(w) * std::size_t(c.input_components));
    while (c.next_scanline < c.image_height) {
        fill(int(c.next_scanline), row.data());
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return std::fclose(f) == 0;
}

inline RowFill uniformRow(int w, std::initializer_list<std::uint8_t> pixel) {
    const std::vector<std::uint8_t> p(pixel);
    return [w, p](int, std::uint8_t* out) {
        for (int x = 0; x < w; ++x)
            for (std::size_t k = 0; k < p.size(); ++k) out[std::size_t(x) * p.size() + k] = p[k];
    };
}

inline void put16(std::vector<std::uint8_t>& b, unsigned v) {
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
inline void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i)));
}

// A 24-bit bottom-up BMP whose rows come from `fill` (blue, green, red; row 0 at the top).
inline bool writeBmpFile(const std::string& path, int w, int h, const RowFill& fill) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::uint32_t rowBytes = (std::uint32_t(w) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> head{'B', 'M'};
    put32(head, 54 + rowBytes * std::uint32_t(h));
    put32(head, 0);
    put32(head, 54);
    put32(head, 40);
    put32(head, std::uint32_t(w));
    put32(head, std::uint32_t(h));
    put16(head, 1);
    put16(head, 24);
    for (int i = 0; i < 6; ++i) put32(head, 0);
    std::fwrite(head.data(), 1, head.size(), f);
    std::vector<std::uint8_t> row(rowBytes, 0);
    for (int y = h - 1; y >= 0; --y) {
        fill(y, row.data());
        std::fwrite(row.data(), 1, row.size(), f);
    }
    return std::fclose(f) == 0;
}

// A GIF of one colour index per pixel from `index(x, y)` over a 256-grey palette, compressed the
// usual way: variable code sizes up to 12 bits and a clear code when the table is full.
inline bool writeGifLzwFile(const std::string& path, int w, int h,
                            const std::function<std::uint8_t(int x, int y)>& index) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::vector<std::uint8_t> b{'G', 'I', 'F', '8', '9', 'a'};
    put16(b, unsigned(w));
    put16(b, unsigned(h));
    b.insert(b.end(), {0xF7, 0, 0});
    for (int i = 0; i < 256; ++i) b.insert(b.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i)});
    b.push_back(0x2C);
    put16(b, 0);
    put16(b, 0);
    put16(b, unsigned(w));
    put16(b, unsigned(h));
    b.push_back(0);
    b.push_back(8);
    std::vector<std::uint8_t> data;
    std::uint32_t bits = 0;
    int count = 0, size = 9, next = 258;
    auto putCode = [&](int code) {
        bits |= std::uint32_t(code) << count;
        count += size;
        while (count >= 8) {
            data.push_back(std::uint8_t(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    std::vector<int> table(4096 * 256, -1); // (prefix, pixel) -> code
    putCode(256);
    int prefix = index(0, 0);
    for (long long p = 1; p < (long long)w * h; ++p) {
        const int k = index(int(p % w), int(p / w));
        const int known = table[std::size_t(prefix) * 256 + std::size_t(k)];
        if (known >= 0) {
            prefix = known;
            continue;
        }
        putCode(prefix);
        if (next < 4096) {
            table[std::size_t(prefix) * 256 + std::size_t(k)] = next++;
            if (next > (1 << size) && size < 12) ++size;
        } else {
            putCode(256);
            std::fill(table.begin(), table.end(), -1);
            next = 258;
            size = 9;
        }
        prefix = k;
    }
    putCode(prefix);
    putCode(257);
    if (count > 0) data.push_back(std::uint8_t(bits));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        b.push_back(std::uint8_t(n));
        b.insert(b.end(), data.begin() + std::ptrdiff_t(at), data.begin() + std::ptrdiff_t(at + n));
    }
    b.push_back(0);
    b.push_back(0x3B);
    std::fwrite(b.data(), 1, b.size(), f);
    return std::fclose(f) == 0;
}

inline std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::vector<std::uint8_t> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    std::uint8_t chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) out.insert(out.end(), chunk, chunk + n);
    std::fclose(f);
    return out;
}

inline bool putFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f) == 0;
}

// The first `keep` bytes of a file written to another.
inline bool cutFile(const std::string& from, const std::string& to, std::size_t keep) {
    std::vector<std::uint8_t> b = fileBytes(from);
    if (keep < b.size()) b.resize(keep);
    return putFileBytes(to, b);
}

// Rewrites the sides in a JPEG's first start-of-frame header (the data stays as it was).
inline bool patchJpegSides(const std::string& path, int w, int h) {
    std::vector<std::uint8_t> b = fileBytes(path);
    for (std::size_t i = 2; i + 9 < b.size(); ++i) {
        if (b[i] == 0xFF && (b[i + 1] == 0xC0 || b[i + 1] == 0xC1 || b[i + 1] == 0xC2)) {
            b[i + 5] = std::uint8_t(h >> 8);
            b[i + 6] = std::uint8_t(h);
            b[i + 7] = std::uint8_t(w >> 8);
            b[i + 8] = std::uint8_t(w);
            return putFileBytes(path, b);
        }
    }
    return false;
}

// A file of `size` bytes that takes no room on disk: `head`, then a hole.
inline bool sparseFile(const std::string& path, std::uint64_t size, const std::vector<std::uint8_t>& head = {}) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = (head.empty() || ::write(fd, head.data(), head.size()) == ssize_t(head.size())) &&
                    ::ftruncate(fd, off_t(size)) == 0;
    return ::close(fd) == 0 && ok;
}

} // namespace orv::test
