// The quality score: every sample lies inside the montage because the last column and row of
// blocks are never the left or lower partner of a seam.
#include "smoothing/quality_score.h"

#include "base/numbers.h"
#include "smoothing/colour_distance.h"

#include <array>
#include <cstdint>

namespace orv {

namespace {

// The lower-left corners of the last block row and column that are a seam's lower or left partner.
double lastPartnerY(const MontageGeometry& g, int inc) { return roundHalfEven(double(g.H) - inc - 1); }
double lastPartnerX(const MontageGeometry& g, int inc) { return roundHalfEven(double(g.W) - inc - 1); }

} // namespace

bool scoreMeasuresSeams(const MontageGeometry& g, int increment) {
    return increment >= 1 && lastPartnerY(g, increment) >= 0 && lastPartnerX(g, increment) >= 0;
}

float evaluateImage(const PixelArrays& mp, const MontageGeometry& g, int increment, int slot) {
    if (increment < 1) throw RuntimeError(5);
    const int inc = increment;
    std::array<int, 8> d{};
    for (int i = 0; i < 8; ++i) d[std::size_t(i)] = edgeSample(i + 1, inc);

    float total = 0;
    std::int32_t count = 0;
    const double lastY = lastPartnerY(g, inc);
    const double lastX = lastPartnerX(g, inc);
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
