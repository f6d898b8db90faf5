// The bytes a Pyramid Focus run holds at its fullest, worked out before it makes any level.
#include "fusion/expand_band.h"
#include "fusion/pyramid_focus.h"
#include "fusion/pyramid_placement.h"

#include <algorithm>
#include <vector>

namespace orv {

using pyramid::ChoiceValue;
using pyramid::CountValue;
using pyramid::kBlendLevels;

// Counted from the buffers each pass makes: the first pass's strengths and Gaussian levels, the
// second pass's merged levels and ranges (at 16 bits in floating point beside the 8-bit ones), the
// deep collapse with the deep montage, and the result. The maps the passes share count in each.
std::uint64_t pyramidFocusWorkingBytes(const PyramidFocusShape& shape) {
    const int T = pyramidLevels(shape.width, shape.height);
    if (T == 0) return 0;
    std::vector<std::uint64_t> area{std::uint64_t(shape.width) * std::uint64_t(shape.height)};
    for (int l = 1, w = shape.width, h = shape.height; l <= T; ++l) {
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        area.push_back(std::uint64_t(w) * std::uint64_t(h));
    }
    auto levelBytes = [&](int from, int to, std::uint64_t perPixel) {
        std::uint64_t sum = 0;
        for (int l = from; l < to; ++l) sum += area[std::size_t(l)] * perPixel;
        return sum;
    };
    const std::uint64_t finest = area[0], topBytes = area[std::size_t(T)];
    const int blendLevels = std::min(kBlendLevels, T);
    // Kept from the first pass to the end: the choice and blend maps, the counts where the
    // pictures do not all cover the whole montage.
    const std::uint64_t maps = levelBytes(0, T, sizeof(ChoiceValue)) + levelBytes(0, T, 1);
    const std::uint64_t counts = shape.full ? 0 : levelBytes(0, T, sizeof(CountValue));
    const std::uint64_t blendCounts = shape.full ? 0 : levelBytes(0, blendLevels, sizeof(CountValue));

    // First pass: the strongest strength and the sum per level, the luminance pyramid with the
    // expansion, magnitude and strength of the finest level, a copy of the picture where it is not
    // in place.
    const std::uint64_t copy = shape.placed ? finest * 3 : 0;
    const std::uint64_t first = levelBytes(0, T, 2) + levelBytes(0, blendLevels, 4) + maps + counts +
                                levelBytes(0, T + 1, 2) + finest * (2 + 2 + 2) + copy;
    // Second pass, 8 bits: the merged levels, the top sums, the ranges, the colour pyramid from
    // level 1 with its expansion band, the reduced and the placed picture.
    const std::uint64_t eight =
        shape.eightBitPass ? levelBytes(0, T, 6) + topBytes * (12 + 12 + 4) +
                                 finest * ((shape.rangeInMontage ? 0 : 3) + 3) + copy + levelBytes(1, T + 1, 6) +
                                 std::uint64_t(kExpansionBandRows) * std::uint64_t(shape.width) * 6 + area[1] * 3
                           : 0;
    // 16 bits, in floating point: the merged levels, the top sums, the ranges, the Gaussian levels
    // and the expansion; then the collapse, at its fullest on the finest level: the collapsed
    // level, its expansion, the merged level and the ranges (a range's copy while it is widened
    // and the deep montage come once the merged level and the expansion are given back).
    const std::uint64_t deepMerging =
        shape.deep ? levelBytes(0, T, 12) + topBytes * (12 + 12 + 4) + finest * (12 + 12 + 12) + levelBytes(0, T + 1, 12)
                   : 0;
    const std::uint64_t deepFinish = shape.deep ? finest * (12 + 12 + 12 + 24) : 0;
    const std::uint64_t second = maps + blendCounts + eight + std::max(deepMerging, deepFinish);
    // The result: the 8-bit levels collapsed, the deep montage and the finest choices.
    const std::uint64_t last = maps + (shape.eightBitPass ? levelBytes(0, T, 6) + finest * 6 : 0) +
                               (shape.deep ? finest * 6 : 0) + (shape.keepChoices ? finest * sizeof(ChoiceValue) : 0);
    // Each buffer is allocated in whole pages, with the allocator's header: a page for each of the
    // dozen or so buffers per level.
    const std::uint64_t rounding = std::uint64_t(16) * 4096 * std::uint64_t(T + 1);
    return std::max({first, second, last}) + rounding;
}

} // namespace orv
