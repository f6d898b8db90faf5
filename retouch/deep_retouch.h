// A stroke painted again into a montage at full depth: the same dabs, the same brush weights and
// the same brightness gain as the stroke the 8-bit montage took, blended at 16 bits, so that a
// retouched montage of a 16-bit series is still saved at 16 bits.
#pragma once

#include "base/deep_picture.h"
#include "retouch/retouch.h"

#include <array>

namespace orv::retouch {

// A deep source picture as it lies under the montage: montage pixel (x, y) came from picture
// pixel (x + dx, y + dy) (both top-down); pixels the picture does not reach are never painted.
struct DeepPlacement {
    const DeepPicture* picture = nullptr;
    int dx = 0;
    int dy = 0;
};

// Paints `stroke` into `montage` (3 channels, or 1 when the source is grey too) from `source`,
// each pixel the stroke reached blended once: montage + (gain x source - montage) x opacity x
// weight, its weight the strongest any dab gives it. `gain` is the stroke's per-channel gain
// (blue, green, red, as StrokeRecord::gain gives it; used only when the brush matches
// brightness). Returns the pixels that may have changed.
Rect paintDeepStroke(DeepPicture& montage, const DeepPlacement& source, const Stroke& stroke,
                     const std::array<double, 3>& gain);

} // namespace orv::retouch
