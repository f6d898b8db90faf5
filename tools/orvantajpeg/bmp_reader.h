// A strict reader for uncompressed 24-bit and 32-bit BMP files (bottom-up or top-down): the
// picture orvantajpeg converts. Anything truncated, corrupt or of another kind is refused.
#pragma once

#include "output/bmp_writer.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace orv {

struct BmpError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The decoded picture as 24-bit rows, bottom row first, 3 * width bytes per row.
struct BmpPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
    BgrView view() const { return BgrView{bgr.data(), width, height, std::size_t(width) * 3}; }
};

// Decodes a whole BMP file held in memory; raises BmpError saying what is wrong.
BmpPicture decodeBmp(const std::vector<std::uint8_t>& file);

// Reads the headers, then the rows straight into the picture; raises BmpError (also when the file
// cannot be read or is not a regular file, which is never waited on).
BmpPicture readBmp(const std::string& path);

} // namespace orv
