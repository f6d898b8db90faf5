// Marker walk to the DQT segment and the standard table scaling by quality.
#include "jpeg_inspect.h"

#include <QFile>

#include <algorithm>

namespace testjpeg {
namespace {

constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                             12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                             35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                             58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

constexpr int kLuminance[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};

}  // namespace

std::optional<Table> luminanceTable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray d = file.readAll();
    auto at = [&](qsizetype i) { return int(static_cast<unsigned char>(d.at(i))); };
    if (d.size() < 4 || at(0) != 0xFF || at(1) != 0xD8) return std::nullopt;
    qsizetype pos = 2;
    while (pos + 4 <= d.size()) {
        if (at(pos) != 0xFF) return std::nullopt;
        const int marker = at(pos + 1);
        const int length = (at(pos + 2) << 8) | at(pos + 3);
        if (marker == 0xDA || pos + 2 + length > d.size()) return std::nullopt;  // image data: none found
        if (marker == 0xDB) {
            qsizetype p = pos + 4;
            while (p < pos + 2 + length) {
                const int precision = at(p) >> 4;
                const int id = at(p) & 0x0F;
                ++p;
                Table table{};
                for (int k = 0; k < 64; ++k) {
                    table[kZigzag[k]] = precision ? (at(p) << 8) | at(p + 1) : at(p);
                    p += precision ? 2 : 1;
                }
                if (id == 0) return table;
            }
        }
        pos += 2 + length;
    }
    return std::nullopt;
}

Table expectedLuminanceTable(int quality) {
    const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
    Table table{};
    for (int i = 0; i < 64; ++i) table[i] = std::clamp((kLuminance[i] * scale + 50) / 100, 1, 255);
    return table;
}

}  // namespace testjpeg
