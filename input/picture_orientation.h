// Pictures a camera stored turned (a portrait shot, a camera pointing down) stand upright once
// read: the camera's orientation tag (EXIF Orientation, 1 to 8) says how its stored rows and
// columns lie, and every read of a series turns its pictures by its first picture's tag. This is
// the one place that turns them, for the 8-bit cells and the full-depth pictures alike.
#pragma once

#include "base/deep_picture.h"

#include <cstdint>
#include <vector>

namespace orv {

// An orientation tag's value as the readers take it: 1 to 8, and 1 (as stored) for anything else.
inline int validOrientation(long tag) { return tag >= 1 && tag <= 8 ? int(tag) : 1; }

// Whether the tag turns the picture a quarter round (5 to 8): its width and height change places.
inline bool orientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// The sides of a picture stored as width x height, once it stands upright.
inline void uprightSides(int orientation, int& width, int& height) {
    if (orientationSwapsSides(orientation)) {
        const int w = width;
        width = height;
        height = w;
    }
}

// Where the upright picture's pixel (column c, row r from the top) is stored in a picture of
// storedWidth x storedHeight: (column, row) of the stored pixel.
void storedPixelOf(int orientation, int c, int r, int storedWidth, int storedHeight, int& column, int& row);

// Where a stored pixel (column, row from the top) lies in the upright picture: the inverse of the above.
void uprightPixelOf(int orientation, int column, int row, int storedWidth, int storedHeight, int& c, int& r);

// Engine cells (roundUp4 sides, bottom-up blue-green-red, margins black) of a picture stored as
// width x height, turned upright: the new cells; width and height become the upright sides.
std::vector<std::uint8_t> uprightCells(const std::vector<std::uint8_t>& cells, int& width, int& height,
                                       int orientation);

// A full-depth picture turned upright in place (its buffer replaced when the tag turns it).
void turnUpright(DeepPicture& picture, int orientation);

} // namespace orv
