// What the passes of Pyramid Focus share: where a picture lies on the montage and the part of
// every level it covers with pixels of its own, the types of the choice maps, the levels that
// blend, and the walk over a covered part by rows. Only the fusion sources include it.
#pragma once

#include "fusion/choice_map.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace orv::pyramid {

// Picture numbers in the choice maps and the counts of covering pictures: 16 bits, so that a long
// series (up to 65535 pictures) is told apart.
using ChoiceValue = std::uint16_t;
using CountValue = std::uint16_t;

// The finest levels, where a picture is taken only where it is clearly the strongest and the
// average of the covering pictures elsewhere.
inline constexpr int kBlendLevels = 2;

// One picture in montage coordinates: montage pixel (x, y) is its pixel (x + ox, y + oy); it lies
// within `rect` of the montage and covers with pixels of its own the pixels of `cover` (per
// level: the pixels whose centre it covers).
struct Placement {
    int picture = 0;
    int ox = 0, oy = 0;
    CoverRect rect;
    std::vector<CoverArea> cover; // one per level, level 0 in montage pixels
};

// The rows y0 to y1 - 1 of `area` in parallel: body(y, x0, x1) for the columns x0 to x1 - 1 of
// row y.
template <class F> void forRowsIn(const CoverArea& area, int y0, int y1, F body) {
    if (area.x0.empty()) return;
    const int from = std::max(y0, area.y0), to = std::min(y1, area.y1());
    if (from >= to) return;
    cv::parallel_for_(cv::Range(from, to), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const std::size_t i = std::size_t(y - area.y0);
            if (area.x1[i] > area.x0[i]) body(y, area.x0[i], area.x1[i]);
        }
    });
}

// Every row of `area` in parallel, as forRowsIn.
template <class F> void forRows(const CoverArea& area, F body) { forRowsIn(area, area.y0, area.y1(), body); }

} // namespace orv::pyramid
