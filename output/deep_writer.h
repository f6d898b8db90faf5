// TIFF and PNG files at 8 or 16 bits per sample from a DeepPicture (grey or red-green-blue), with
// libtiff and libpng: what a deep montage is saved as. At 8 bits the samples are the picture's
// 8-bit view.
#pragma once

#include "base/deep_picture.h"
#include "output/write_progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

enum class TiffCompression { None, Lzw, Deflate, PackBits };

struct DeepTiffLayout {
    TiffCompression compression = TiffCompression::None;
    int tileSide = 0; // 0: strips; else square tiles of this side (a multiple of 16)
};

// The whole file's bytes. Raises RuntimeError 5 for an empty picture or a depth other than 8 or
// 16, 7 when the codec fails, kUserInterrupt when `progress`, told the rows encoded, stops it.
std::vector<std::uint8_t> encodeDeepTiff(const DeepPicture& picture, int bits, const DeepTiffLayout& layout = {},
                                         const WriteProgress& progress = {});
std::vector<std::uint8_t> encodeDeepPng(const DeepPicture& picture, int bits, const WriteProgress& progress = {});

} // namespace orv
