// The montage quality score: the average colour step across the block seams of a montage; the
// lower, the less its block structure shows.
#pragma once

#include "engine/pixel_arrays.h"
#include "engine/montage.h"

namespace orv {

// Scores montage slot `slot` (the main montage, 100, unless told otherwise) of W x H made with
// blocks of side `increment`: 8 samples across the right seam and 8 across the seam to the next
// row of every block that has both neighbours. 0 when no block has both. Raises RuntimeError 5
// for an increment below 1.
float evaluateImage(const PixelArrays& mp, const MontageGeometry& geometry, int increment,
                    int slot = 100);

// Whether a montage of W x H made with blocks of side `increment` has a block with both
// neighbours, so that its score measures any seam at all; without one the score is 0 having
// measured nothing (a montage no taller or no wider than one block).
bool scoreMeasuresSeams(const MontageGeometry& geometry, int increment);

} // namespace orv
