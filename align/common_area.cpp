// The common rectangle. Every picture covers a convex part of the frame (the image of its own
// rectangle), so on each frame row the pixels all pictures cover form one run; the best rectangle
// is then the best band of consecutive rows by the narrowest run within it.
#include "align/common_area.h"

#include "engine/covered_run.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace orv::align {

bool Coverage::covers(double x, double y) const {
    const double px = frameToPicture.x(x, y), py = frameToPicture.y(x, y);
    return px >= -kCoverEdge && py >= -kCoverEdge && px <= width - 1 + kCoverEdge &&
           py <= height - 1 + kCoverEdge;
}

FrameRect commonArea(int fw, int fh, const std::vector<Coverage>& coverages) {
    FrameRect best;
    if (fw <= 0 || fh <= 0) return best;
    // The run of covered pixels on each row, [left, right]; left > right when none.
    std::vector<int> left(static_cast<std::size_t>(fh)), right(static_cast<std::size_t>(fh));
    for (int y = 0; y < fh; ++y) {
        double lo = 0, hi = fw - 1;
        for (const Coverage& c : coverages) {
            const auto& m = c.frameToPicture.m;
            narrowCoveredRun(m[0], m[1] * y + m[2], 0, c.width - 1, lo, hi, 0);
            narrowCoveredRun(m[3], m[4] * y + m[5], 0, c.height - 1, lo, hi, 0);
        }
        if (lo > hi) {
            left[std::size_t(y)] = 1;
            right[std::size_t(y)] = 0;
            continue;
        }
        left[std::size_t(y)] = std::max(0, int(std::ceil(lo - kCoverEdge)));
        right[std::size_t(y)] = std::min(fw - 1, int(std::floor(hi + kCoverEdge)));
    }
    long long bestArea = 0;
    for (int top = 0; top < fh; ++top) {
        int l = left[std::size_t(top)], r = right[std::size_t(top)];
        if (r < l || (long long)(r - l + 1) * (fh - top) <= bestArea) continue;
        for (int bottom = top; bottom < fh; ++bottom) {
            l = std::max(l, left[std::size_t(bottom)]);
            r = std::min(r, right[std::size_t(bottom)]);
            if (r < l) break;
            const long long area = (long long)(r - l + 1) * (bottom - top + 1);
            if (area > bestArea) {
                bestArea = area;
                best = FrameRect{l, top, r - l + 1, bottom - top + 1};
            }
            if ((long long)(r - l + 1) * (fh - top) <= bestArea) break;
        }
    }
    return best;
}

} // namespace orv::align
