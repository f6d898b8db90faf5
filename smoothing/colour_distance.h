// The colour distance the smoothing pass and the quality score add up: the Euclidean distance of
// two colours with whole-number channel differences, the root taken in double precision.
#pragma once

#include "base/pixel_types.h"
#include "engine/pixel_arrays.h"

#include <cmath>

namespace orv {

inline Rgb colourAt(const PixelArrays& mp, int x, int y, int picture) {
    return Rgb{mp.pointRed(x, y, picture), mp.pointGreen(x, y, picture), mp.pointBlue(x, y, picture)};
}

inline double colourDistance(Rgb a, Rgb b) {
    const int dr = a.r - b.r, dg = a.g - b.g, db = a.b - b.b;
    return std::sqrt(double(dr * dr + dg * dg + db * db));
}

// Sums are kept in single precision: each root is added in double and rounded back once.
inline void addDistance(float& sum, Rgb a, Rgb b) { sum = float(double(sum) + colourDistance(a, b)); }

// Edge sample i (1 to 8) of a block side `increment`: i * increment / 9, rounded half to even.
inline int edgeSample(int i, int increment) { return int(std::nearbyint(double(i) * increment / 9.0)); }

} // namespace orv
