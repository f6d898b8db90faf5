// Window-free rules of the montage windows: the preview's nearest-neighbour scaling, the
// dominant-image window's grid, and comparison captions.
#pragma once

#include "engine/focus_method.h"
#include "engine/pixel_arrays.h"

#include <string>
#include <vector>

namespace orv {

// Fills the preview buffer (already sized) with picture `picture` of the arrays (below 100 a
// source picture of the stack, 100 or more a montage slot), scaled nearest-neighbour per axis so
// that the first and the last pixels of both meet; the proportions follow the preview's. Only the
// picture's own pixels are scaled, not the padding that rounds its cells up to multiples of 4: a
// source picture's size comes from the stack, a slot's from `width` and `height` (0: its cells).
// Returns false, leaving the buffer as it is, when that picture has no pixels.
bool scalePictureIntoPreview(PixelArrays& mp, int picture, int width = 0, int height = 0);

// The caption of comparison montage window k: the method's menu caption + " used.".
std::string comparisonCaption(int method);

// The text as a label shows it: each CR LF (or lone CR) is one line break.
std::string displayText(const std::string& text);

// The centre of an offset target marker (left, top, width, height in picture pixels, y from the
// top): left + width / 2 and top + height / 2, each rounded half to even (error 6 beyond 16 bits).
ImageOffset markerCentre(double left, double top, double width, double height);

// The size of the dominant-image map in characters: block columns by block rows.
struct MapGrid {
    int columns = 0;
    int rows = 0;
};
MapGrid mapGrid(float W, float H, int increment);

} // namespace orv
