// The BMP writer: 24-bit, uncompressed, bottom-up, rows padded to 4 bytes. Written to a temporary
// file beside the target and renamed into place, so a failed write never destroys an old file.
#pragma once

#include "base/atomic_file.h"
#include "base/pixel_types.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The whole file's bytes.
std::vector<std::uint8_t> encodeBmp24(const BgrView& view);

// Writes the file atomically; raises RuntimeError 75 (path/file access) or 61 (disk full) on failure.
void writeBmp24(const std::string& path, const BgrView& view);


} // namespace orv
