// The full-depth pictures of an aligned series, placed as alignStack placed their 8-bit views:
// each picture warped by the same map with cubic interpolation (weights in floating point, the
// samples kept at 16 bits), its edge repeated where it has no pixels of its own, and the colour
// match's gain and offset applied at 16 bits. The montage methods then read the deep picture at
// the same places as the 8-bit one.
#pragma once

#include "align/align_series.h"
#include "base/deep_picture.h"

namespace orv {

// Places picture `n` (1 to N) of an aligned series at full depth as alignStack placed its 8-bit
// view in a stack of stackWidth x stackHeight cells (the series' first picture's sides rounded up
// to multiples of 4). Afterwards it has the size the stack gives that picture (the reference
// frame's for every picture that was moved), rows from the top as always. A picture that was
// ignored or could not be aligned stays as loaded. Returns false, changing nothing, when the
// picture does not have the size the alignment found it at (it is not the picture that was
// aligned). Raises RuntimeError 7 when memory runs out, 5 for any other failure of the image
// library.
bool alignDeepPicture(DeepPicture& picture, const AlignmentReport& report, int n, int stackWidth, int stackHeight);

// The colour match of an aligned picture (gain and offset per channel, blue, green, red, fitted
// on the 8-bit view) applied to its full-depth samples: v -> gain v + 257 offset, rounded and
// kept within 0 to 65535. A grey picture takes the green channel's fit (the three are equal for
// a grey picture's view).
void applyDeepColour(DeepPicture& picture, const std::array<double, 3>& gain, const std::array<double, 3>& offset);

} // namespace orv
