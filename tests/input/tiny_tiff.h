// TIFF files written field by field, for the damaged and unusual files no TIFF writer makes: the
// header, one directory, the arrays that do not fit an entry, then the pixel data. The strip and
// tile offsets (tags 273 and 324) are given from the start of the pixel data.
#pragma once

#include <cstdint>
#include <vector>

namespace orv::test {

struct TiffField {
    std::uint16_t tag;
    std::uint16_t type; // 3 SHORT, 4 LONG
    std::vector<std::uint32_t> values;
};

inline std::vector<std::uint8_t> tinyTiff(std::vector<TiffField> fields, const std::vector<std::uint8_t>& data,
                                          bool bigEndian = false) {
    std::vector<std::uint8_t> out;
    auto put = [&](std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = bigEndian ? 8 * (bytes - 1 - i) : 8 * i;
            out.push_back(std::uint8_t(v >> shift));
        }
    };
    auto size = [](const TiffField& f) { return std::uint32_t(f.values.size()) * (f.type == 3 ? 2u : 4u); };
    const std::uint32_t directoryEnd = 8 + 2 + 12 * std::uint32_t(fields.size()) + 4;
    std::uint32_t arrays = 0;
    for (const TiffField& f : fields)
        if (size(f) > 4) arrays += size(f);
    const std::uint32_t dataStart = directoryEnd + arrays;
    for (TiffField& f : fields)
        if (f.tag == 273 || f.tag == 324)
            for (std::uint32_t& v : f.values) v += dataStart;

    out.push_back(bigEndian ? 'M' : 'I');
    out.push_back(bigEndian ? 'M' : 'I');
    put(42, 2);
    put(8, 4);
    put(std::uint32_t(fields.size()), 2);
    std::uint32_t arrayAt = directoryEnd;
    std::vector<const TiffField*> outOfLine;
    for (const TiffField& f : fields) {
        put(f.tag, 2);
        put(f.type, 2);
        put(std::uint32_t(f.values.size()), 4);
        if (size(f) > 4) {
            put(arrayAt, 4);
            arrayAt += size(f);
            outOfLine.push_back(&f);
            continue;
        }
        for (const std::uint32_t v : f.values) put(v, f.type == 3 ? 2 : 4);
        for (std::uint32_t pad = size(f); pad < 4; ++pad) out.push_back(0);
    }
    put(0, 4);
    for (const TiffField* f : outOfLine)
        for (const std::uint32_t v : f->values) put(v, f->type == 3 ? 2 : 4);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

} // namespace orv::test
