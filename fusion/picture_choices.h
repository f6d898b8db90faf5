// Which picture every part of a montage came from: per block for the block methods (read from the
// dominant-image map), per pixel for Pyramid Focus. The depth map is drawn from it.
#pragma once

#include "engine/focus_measure.h"
#include "engine/pixel_arrays.h"
#include "engine/montage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// A grid of square cells over a width x height montage, the bottom row of cells first (the pixel
// arrays count rows from the bottom). Each cell holds the number of the picture it came from, or 0
// where no picture supplied it.
struct PictureChoices {
    int width = 0;  // the montage's size in pixels
    int height = 0;
    int cell = 1;   // the side of one cell in pixels: the increment, or 1 for per-pixel choices
    int columns = 0;
    int rows = 0;
    std::vector<std::uint16_t> pictures; // columns x rows

    // The picture of montage pixel (x, y), y counted from the bottom.
    int at(int x, int y) const {
        return pictures[std::size_t(y / cell) * std::size_t(columns) + std::size_t(x / cell)];
    }
};

// What resolves a map digit to a picture number when the series has more than ten pictures (the map
// keeps only the last digit): the pixel arrays and the settings the montage was made with.
struct BlockChoiceContext {
    const MontageGeometry* geometry = nullptr; // after the display area
    int increment = 20;                        // the block side the map was made with
    int pictureCount = 0;                      // N
    const PixelArrays* arrays = nullptr;       // the filled stack; needed only when N > 10
    const FocusContext* focus = nullptr;       // method, ignore ticks, offsets; needed when N > 10
};

// The block methods' choices from the dominant-image map text (top row of blocks first, each line
// ended by CR LF). With up to ten pictures a digit names its picture ("0" is picture 10); with more,
// a digit is resolved to the picture with that last digit that the block loop would have chosen
// there (the highest focus measure, the lower number on ties), which is exact for a map the block
// loop wrote. A block whose map names an ignored picture (every picture refused it, picture 1
// ignored) stays black in the montage and is 0 here. Raises RuntimeError 5 for a map that does not fit the block grid, a character that
// names no picture of the series, or a series above ten pictures without arrays and settings.
PictureChoices blockChoices(const std::string& map, const BlockChoiceContext& ctx);

} // namespace orv
