// Full-depth pictures and files for the deep reader's tests.
#pragma once

#include "input/deep_reader.h"

#include <QTemporaryDir>

#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace orv::test {

// Samples over the whole 16-bit range (most not multiples of 257), or 8-bit values held as v * 257.
inline DeepPicture randomPicture(int w, int h, int channels, int bits, unsigned seed) {
    DeepPicture p(w, h, channels, bits);
    std::mt19937 rng(seed);
    for (std::uint16_t& s : p.samples) s = bits == 16 ? std::uint16_t(rng()) : std::uint16_t((rng() & 0xff) * 257);
    return p;
}

// `bytes` written to a file of that name in `dir`; its path.
inline std::string writeFile(const QTemporaryDir& dir, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir.path().toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

} // namespace orv::test
