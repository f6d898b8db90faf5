// The BMP writer: 24-bit, uncompressed, bottom-up, rows padded to 4 bytes. Written to a temporary
// file beside the target and renamed into place, so a failed write never destroys an old file.
#pragma once

#include "base/atomic_file.h"
#include "base/pixel_types.h"
#include "output/write_progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The 54 bytes before the rows; raises RuntimeError 5 for a picture without pixels.
std::vector<std::uint8_t> bmpHeader(const BgrView& view);

// The whole file's bytes.
std::vector<std::uint8_t> encodeBmp24(const BgrView& view);

// Writes the file atomically, telling `progress` the rows written after each band of about 1 MB;
// raises RuntimeError 75 (path/file access) or 61 (disk full) on failure, kUserInterrupt when
// `progress` stops it.
void writeBmp24(const std::string& path, const BgrView& view, const WriteProgress& progress = {});


} // namespace orv
