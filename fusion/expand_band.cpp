// A pyramid level's expansion by bands of rows.
#include "fusion/expand_band.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace orv {

// The expansion reads each source row's neighbours; the band is expanded from two more source
// rows on either side than it needs, and the rows those edges disturb are not used, so its rows
// equal the whole expansion's.
int expandBand(const cv::Mat& next, cv::Size level, int from, int to, cv::Mat& buffer, cv::Mat& band) {
    const int s0 = std::max(0, from / 2 - 2);
    const int s1 = std::min(next.rows, (to + 1) / 2 + 2);
    const int rows = s1 == next.rows ? level.height - 2 * s0 : 2 * (s1 - s0);
    if (buffer.cols < level.width || buffer.rows < rows || buffer.type() != next.type())
        buffer.create(std::max(rows, kExpansionBandRows), std::max(level.width, buffer.cols), next.type());
    band = buffer(cv::Rect(0, 0, level.width, rows));
    cv::pyrUp(next.rowRange(s0, s1), band, band.size());
    return 2 * s0;
}

} // namespace orv
