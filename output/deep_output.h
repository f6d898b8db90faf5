// A picture written at a chosen depth: TIFF and PNG at 8 or 16 bits per sample, every other format
// (BMP, GIF, JPEG) from the 8-bit view as writePicture writes it. Metadata as writePicture adds it.
#pragma once

#include "base/deep_picture.h"
#include "output/picture_writer.h"

namespace orv {

// The 24-bit picture as a deep one (each value v as v * 257: its 8-bit view is `view` again).
DeepPicture deepFromBgr(const BgrView& view);

// Whether a file of this name can hold 16 bits per sample (TIFF, PNG).
bool holdsSixteenBits(const std::string& path);

// Writes `picture` to `path` in the format options.format names, or else the one its name picks; TIFF and PNG at `bits` (8 or 16),
// uncompressed TIFF in strips, telling options.writeProgress as writePicture does. Raises what
// writePicture and the deep encoders raise.
void writeDeepPicture(const std::string& path, const DeepPicture& picture, int bits,
                      const PictureWriteOptions& options = {});

} // namespace orv
