// The depth map: a greyscale picture the size of the montage whose grey level says which picture
// each pixel came from, picture 1 black and the last picture white, evenly spaced between.
#pragma once

#include "fusion/picture_choices.h"
#include "output/write_progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The grey level of picture `picture` of `pictureCount`: 255 * (picture - 1) / (pictureCount - 1)
// rounded half to even; 0 for a one-picture series and for 0 (no picture).
std::uint8_t depthGrey(int picture, int pictureCount);

// The grey levels of the whole montage, width x height, the top row first.
std::vector<std::uint8_t> depthMapPixels(const PictureChoices& choices, int pictureCount);

// Writes the depth map to `path` in the format of its extension: ".bmp", ".jpg" / ".jpeg" and
// ".gif" (a 256-grey palette) through the program's own writers, any other extension a Qt image
// writer knows (".png", ".tif", ".pgm" ...) through that writer, and PNG when the extension is
// missing or unknown, or names a format that would not keep the map (an icon, which Qt scales
// down, or a black-and-white format). The file goes through a temporary file renamed into place. Raises
// RuntimeError 5 for an empty map, 70 / 75 / 61 when the file cannot be written, kUserInterrupt
// when `progress` stops it (nothing is then written).
void writeDepthMap(const std::string& path, const PictureChoices& choices, int pictureCount,
                   const WriteProgress& progress = {});

// Whether writeDepthMap writes `path` in the format its extension names: true without an
// extension (PNG) and for every extension it knows; false for one it does not ("map.xyz"), which
// it would fill with PNG bytes under a misleading name, and for one that cannot hold the map at
// its size and greys ("map.ico", "map.xbm").
bool depthMapFormatKnown(const std::string& path);

} // namespace orv
