// Test pictures held in memory (bottom-up BGR rows with padding, like the program's own buffers)
// and small file helpers shared by the output tests.
#pragma once

#include "output/bmp_writer.h"

#include <QFile>
#include <QImage>
#include <QString>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace orv::test {

struct TestPicture {
    int width = 0;
    int height = 0;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;

    TestPicture(int w, int h, std::size_t padding = 5)
        : width(w), height(h), stride(std::size_t(w) * 3 + padding), bits(stride * std::size_t(h), 0xAB) {}

    // (x, y) counted from the top, as on screen.
    void set(int x, int y, int r, int g, int b) {
        std::uint8_t* p = &bits[stride * std::size_t(height - 1 - y) + 3 * std::size_t(x)];
        p[0] = std::uint8_t(b);
        p[1] = std::uint8_t(g);
        p[2] = std::uint8_t(r);
    }
    QRgb at(int x, int y) const {
        const std::uint8_t* p = &bits[stride * std::size_t(height - 1 - y) + 3 * std::size_t(x)];
        return qRgb(p[2], p[1], p[0]);
    }
    BgrView view() const { return BgrView{bits.data(), width, height, stride}; }

    static TestPicture random(int w, int h, unsigned seed, int colours = 256) {
        TestPicture p(w, h);
        std::mt19937 rng(seed);
        // `colours` below 256 draws each channel from a few values, so long runs and repeated
        // strings occur.
        auto channel = [&] { return colours >= 256 ? int(rng() % 256) : int(rng() % colours) * 255 / (colours - 1); };
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) p.set(x, y, channel(), channel(), channel());
        return p;
    }
};

inline std::vector<std::uint8_t> readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    const QByteArray a = f.readAll();
    return std::vector<std::uint8_t>(a.begin(), a.end());
}

inline void writeBytes(const QString& path, const std::vector<std::uint8_t>& bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
}

inline std::string str(const QString& s) { return s.toStdString(); }

} // namespace orv::test
