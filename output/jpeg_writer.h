// The JPEG writer: 24-bit bottom-up BGR rows to a baseline JPEG through TurboJPEG, shared by the
// orvantajpeg conversion program and the batch front end.
#pragma once

#include "output/bmp_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

inline constexpr int kDefaultJpegQuality = 90;

// The whole JPEG file's bytes (full-resolution colour, no chroma subsampling). Raises
// RuntimeError 5 for an empty view, a side above 65535, a quality outside 1 … 100 or a failure
// inside the codec, 7 when memory runs out.
std::vector<std::uint8_t> encodeJpeg(const BgrView& view, int quality = kDefaultJpegQuality);

// Encodes and writes atomically (temporary file beside `path`, renamed into place); the errors
// of encodeJpeg and writeFileAtomically.
void writeJpeg(const std::string& path, const BgrView& view, int quality = kDefaultJpegQuality);

} // namespace orv
