// A pyramid level's expansion by bands of rows, for the colour pass of Pyramid Focus, which then
// holds no montage-sized expansion.
#pragma once

#include <opencv2/core.hpp>

namespace orv {

// The rows of montage levels expanded at a time, and the buffer rows a band takes with the rows
// around it.
inline constexpr int kExpansionBand = 128;
inline constexpr int kExpansionBandRows = kExpansionBand + 12;

// A level's expansion made a band of rows at a time, so that no montage-sized buffer holds it:
// rows `from` to `to` - 1 (and a few around them) of the expansion of `next` (the level above)
// to the size `level` (`next`'s sides doubled, less one where odd) into `band`, a view into
// `buffer` (grown as needed); returns the row of the whole expansion that is band row 0. The
// rows asked for equal those of cv::pyrUp over the whole level.
int expandBand(const cv::Mat& next, cv::Size level, int from, int to, cv::Mat& buffer, cv::Mat& band);

} // namespace orv
