// The map of one picture of a series onto the reference, measured against its neighbour towards
// the reference: what the series' alignment asks for each picture in turn.
#pragma once

#include "align/affine.h"
#include "align/align_series.h"
#include "align/ecc_estimate.h"

namespace orv::align {

// The smallest pyramid level the estimation starts from.
constexpr int kCoarsestSide = 160;

struct Estimate {
    bool converged = false;
    double correlation = 0;
    Affine refToPicture; // stack coordinates (rows from the bottom), full size
    PicturePlacement placement = PicturePlacement::Measured;
    int matchedWith = 0; // the picture it was compared with
    // How well the picture, where it is placed, matches the picture it was compared with: one minus
    // the mismatch at the working scale (1 = perfect), 0 when it did not converge. Estimates against
    // different pictures are compared by it.
    double support = 0;
    int pastWeak = 0; // the neighbour passed over for its weak match, 0 when none
};

// The map of picture `k` from the reference: the picture is matched with its neighbour towards
// the reference, which differs from it by one focus step and so looks most like it, and the
// neighbour's own map is chained after that match. A match with the reference itself would be
// pulled aside by the differences of focus, which grow with every step away from it. Should the
// neighbour not match, the picture is matched with the reference directly, starting from the
// neighbour's map.
// The measured map is read as a similarity (scale, turn, shift), an affine map kept only where it
// is clearly better; and it is used only where it clearly beats the picture as loaded and the
// neighbour's place, else the better of those two is kept.
// `ownWidth` x `ownHeight` is the picture's own size, of which `pic` may hold only the part the
// cells keep.
Estimate estimate(const GreyPyramid& ref, const GreyPyramid& neighbour, int neighbourPicture, int referencePicture,
                  const Affine& refToNeighbour, const GreyPyramid& pic, const EccSettings& settings, int ownWidth,
                  int ownHeight);

} // namespace orv::align
