// The quality score: every sample lies inside the montage because the last column and row of
// blocks are never the left or lower partner of a seam.
#include "smoothing/quality_score.h"

#include "base/numbers.h"
#include "smoothing/colour_distance.h"

#include <array>
#include <cstdint>

namespace orv {

float evaluateImage(const PixelArrays& mp, const MontageGeometry& g, int increment, int slot) {
    if (increment < 1) throw RuntimeError(5);
    const int inc = increment;
    std::array<int, 8> d{};
    for (int i = 0; i < 8; ++i) d[std::size_t(i)] = edgeSample(i + 1, inc);

    float total = 0;
    std::int32_t count = 0;
    const double lastY = roundHalfEven(double(g.H) - inc - 1);
    const double lastX = roundHalfEven(double(g.W) - inc - 1);
    for (int y = 0; y <= lastY; y += inc) {
        for (int x = 0; x <= lastX; x += inc) {
            for (int di : d) {
                count += 2;
                addDistance(total, colourAt(mp, x + inc - 1, y + di, slot),
                            colourAt(mp, x + inc, y + di, slot));
                addDistance(total, colourAt(mp, x + di, y + inc - 1, slot),
                            colourAt(mp, x + di, y + inc, slot));
            }
        }
    }
    return count != 0 ? total / float(count) : 0.0f;
}

} // namespace orv
