// Baseline TIFF encoding: header, one image file directory, the resolution values and the pixel
// rows top-down in red, green, blue order.
#include "output/tiff_writer.h"

#include "base/atomic_file.h"
#include "base/runtime_error.h"

namespace orv {

namespace {

enum FieldType : std::uint16_t { kShort = 3, kLong = 4, kRational = 5 };

struct Writer {
    std::vector<std::uint8_t>& out;
    void u16(std::uint32_t v) {
        out.push_back(std::uint8_t(v));
        out.push_back(std::uint8_t(v >> 8));
    }
    void u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(v >> (8 * i)));
    }
    // One directory entry; a SHORT value sits in the low bytes of the value field.
    void entry(std::uint16_t tag, FieldType type, std::uint32_t count, std::uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == kShort && count == 1) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    }
};

constexpr std::uint32_t kEntries = 13;
constexpr std::uint32_t kDirectoryAt = 8;
constexpr std::uint32_t kBitsAt = kDirectoryAt + 2 + kEntries * 12 + 4; // 170
constexpr std::uint32_t kXResolutionAt = kBitsAt + 6;
constexpr std::uint32_t kYResolutionAt = kXResolutionAt + 8;
constexpr std::uint32_t kPixelsAt = kYResolutionAt + 8;

} // namespace

std::vector<std::uint8_t> encodeTiff24(const BgrView& v, const WriteProgress& progress) {
    if (v.width <= 0 || v.height <= 0 || !v.bits || v.stride < std::size_t(v.width) * 3)
        throw RuntimeError(5);
    const std::uint64_t pixelBytes = std::uint64_t(v.width) * std::uint64_t(v.height) * 3;
    if (kPixelsAt + pixelBytes > 0xffffffffu) throw RuntimeError(6);

    std::vector<std::uint8_t> out;
    out.reserve(kPixelsAt + std::size_t(pixelBytes));
    Writer w{out};
    out.insert(out.end(), {'I', 'I', 42, 0});
    w.u32(kDirectoryAt);

    w.u16(kEntries);
    w.entry(256, kLong, 1, std::uint32_t(v.width));          // ImageWidth
    w.entry(257, kLong, 1, std::uint32_t(v.height));         // ImageLength
    w.entry(258, kShort, 3, kBitsAt);                        // BitsPerSample 8, 8, 8
    w.entry(259, kShort, 1, 1);                              // Compression: none
    w.entry(262, kShort, 1, 2);                              // PhotometricInterpretation: RGB
    w.entry(273, kLong, 1, kPixelsAt);                       // StripOffsets
    w.entry(277, kShort, 1, 3);                              // SamplesPerPixel
    w.entry(278, kLong, 1, std::uint32_t(v.height));         // RowsPerStrip: one strip
    w.entry(279, kLong, 1, std::uint32_t(pixelBytes));       // StripByteCounts
    w.entry(282, kRational, 1, kXResolutionAt);              // XResolution
    w.entry(283, kRational, 1, kYResolutionAt);              // YResolution
    w.entry(284, kShort, 1, 1);                              // PlanarConfiguration: chunky
    w.entry(296, kShort, 1, 2);                              // ResolutionUnit: inch
    w.u32(0);                                                // no further directory

    for (int i = 0; i < 3; ++i) w.u16(8);
    for (int i = 0; i < 2; ++i) {
        w.u32(96); // 96 dots per inch, a screen picture's resolution
        w.u32(1);
    }

    // Rows top-down, red, green, blue.
    for (int y = v.height - 1; y >= 0; --y) {
        const std::uint8_t* row = v.bits + v.stride * std::size_t(y);
        for (int x = 0; x < v.width; ++x) {
            out.push_back(row[3 * x + 2]);
            out.push_back(row[3 * x + 1]);
            out.push_back(row[3 * x + 0]);
        }
        reportWritten(progress, v.height - y, v.height);
    }
    return out;
}

void writeTiff24(const std::string& path, const BgrView& view) { writeFileAtomically(path, encodeTiff24(view)); }

} // namespace orv
