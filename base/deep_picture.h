// A picture at full depth: top-down rows of grey or red-green-blue samples, 16 bits each. A file
// with 8 bits per sample is held the same way, each value v as v * 257 (so 255 is 65535), and
// remembers that it had 8; its 8-bit view gives back exactly the values of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace orv {

struct DeepPicture {
    int width = 0;
    int height = 0;
    int channels = 0;       // 1 grey, 3 red-green-blue
    int bitsPerSample = 16; // of the file it came from: 8 or 16
    std::vector<std::uint16_t> samples; // width * height * channels, row after row from the top

    DeepPicture() = default;
    DeepPicture(int w, int h, int c, int bits = 16)
        : width(w), height(h), channels(c), bitsPerSample(bits), samples(std::size_t(w) * std::size_t(h) * std::size_t(c)) {}

    // Made black at another size in the buffer it has: a series read one picture at a time into
    // the same picture has its samples' memory mapped (and cleared by the system) once, not once a
    // picture.
    void reshape(int w, int h, int c, int bits = 16) {
        width = w;
        height = h;
        channels = c;
        bitsPerSample = bits;
        samples.assign(std::size_t(w) * std::size_t(h) * std::size_t(c), 0);
    }

    bool empty() const { return samples.empty(); }
    std::uint16_t* row(int y) { return samples.data() + std::size_t(y) * std::size_t(width) * std::size_t(channels); }
    const std::uint16_t* row(int y) const {
        return samples.data() + std::size_t(y) * std::size_t(width) * std::size_t(channels);
    }
    std::uint16_t at(int x, int y, int c) const { return row(y)[std::size_t(x) * std::size_t(channels) + std::size_t(c)]; }
    std::size_t bytes() const { return samples.size() * sizeof(std::uint16_t); }
    bool operator==(const DeepPicture&) const = default;
};

// The bytes a TIFF or PNG of a w x h picture of `channels` samples at `bits` (8 or 16) takes when
// it is encoded in memory, at most: its samples as they are, a byte a row (a PNG row's filter) and
// 64 KB of headers. The encoders take this much at once; the memory checks count it for a save.
inline std::size_t encodedPictureBytes(int w, int h, int channels, int bits) {
    return std::size_t(w) * std::size_t(h) * std::size_t(channels) * std::size_t(bits / 8) + std::size_t(h) +
           (std::size_t(64) << 10);
}

// A 16-bit value as 8 bits, v / 257 rounded to the nearest, as Qt's conversions round it (so the
// 8-bit view of a deep file is what reading it through Qt gave); 8-bit values held as v * 257 come
// back exactly.
inline std::uint8_t eightBitsOf(std::uint16_t v) { return std::uint8_t((std::uint32_t(v) + 128) / 257); }

} // namespace orv
