// The run of a row's pixels that one picture covers, for a picture placed on the frame by an
// affine map: the columns whose mapped position lies within the picture's pixel centres.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>

namespace orv {

// Tolerance for pixel centres that land on a picture's edge up to rounding of the map.
inline constexpr double kCoverEdge = 1e-6;

// Narrows the columns [lo, hi] to the x with low <= c x + d <= high, the run's ends moved out by
// `slack` on either side. A map that does not move along the row (c about 0) keeps the whole run
// when d lies within [low, high] up to kCoverEdge, and otherwise empties it (lo > hi).
inline void narrowCoveredRun(double c, double d, double low, double high, double& lo, double& hi, double slack) {
    if (std::fabs(c) < 1e-12) {
        if (d < low - kCoverEdge || d > high + kCoverEdge) {
            lo = 1;
            hi = 0;
        }
        return;
    }
    double a = (low - d) / c, b = (high - d) / c;
    if (a > b) std::swap(a, b);
    lo = std::max(lo, a - slack);
    hi = std::min(hi, b + slack);
}

} // namespace orv
