// The "minimum" display area of an aligned series: the largest axis-aligned rectangle of the
// reference frame that every aligned picture covers with pixels of its own.
#pragma once

#include "align/affine.h"
#include "align/align_series.h"

#include <vector>

namespace orv::align {

// Where one picture's own pixels are: a frame pixel p is covered when `frameToPicture(p)` lies
// within the picture's pixel centres, [0, width - 1] x [0, height - 1].
struct Coverage {
    Affine frameToPicture;
    int width = 0;
    int height = 0;

    bool covers(double x, double y) const;
};

// The largest rectangle of whole frame pixels (most pixels; on a tie the highest, then the
// leftmost) inside the fw x fh frame that every coverage covers. Empty when there is none.
FrameRect commonArea(int fw, int fh, const std::vector<Coverage>& coverages);

} // namespace orv::align
