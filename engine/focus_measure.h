// The block focus measure: how sharp a square block of one picture is, from the colour change
// between neighbouring samples along the block's two diagonals, in one of five ways.
#pragma once

#include "base/prompt.h"
#include "engine/focus_method.h"
#include "engine/pixel_arrays.h"

#include <cstdint>
#include <vector>

namespace orv {

inline constexpr float kRefusedScore = -999.0f;
inline constexpr float kAcceptedStart = 0.0001f;

// The settings and offset data the measure reads.
struct FocusContext {
    FocusMethod method = FocusMethod::ColorSpace3D;
    IgnoreTicks ignored{};
    bool useOffsets = false;
    OffsetTable offsets{};
    std::int16_t smallestX = 999; // smallest target x over the pictures in use
    std::int16_t smallestY = 999;
    MessageList* messages = nullptr; // the measure records its own errors here
};

class FocusMeasure {
public:
    // The sample store, indexes 0 to increment.
    void allocate(int increment);

    // Scores the block at (x, y) (lower-left corner, montage coordinates, y from the bottom) of
    // `source` as picture k. Sets outX, outY to the block's corner in the picture (left unchanged
    // when picture k is ignored) and returns the score: -999 refused, else 0.0001 plus the
    // accumulated differences.
    float gotFocusMeasure(const PixelArrays& mp, const FocusContext& ctx, int x, int y,
                          int increment, int shiftX, int shiftY, std::int16_t& outX,
                          std::int16_t& outY, int k, int source);

private:
    std::vector<std::int16_t> red_, green_, blue_;
};

} // namespace orv
