// The TIFF writer: a baseline RGB TIFF (8 bits per channel, uncompressed, one strip, little-endian)
// that every TIFF reader opens. Written through a temporary file renamed into place.
#pragma once

#include "base/pixel_types.h"
#include "output/write_progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The whole file's bytes. Raises RuntimeError 5 for an empty view, 6 when the picture does not
// fit a classic TIFF (4 GB), kUserInterrupt when `progress`, told the rows encoded, stops it.
std::vector<std::uint8_t> encodeTiff24(const BgrView& view, const WriteProgress& progress = {});

// Writes the file atomically; the errors of encodeTiff24 and writeFileAtomically.
void writeTiff24(const std::string& path, const BgrView& view);

} // namespace orv
