// Enhanced correlation (Evangelidis and Psarakis, "Parametric image alignment using enhanced
// correlation coefficient maximization", 2008): the correlation coefficient of two pictures over
// the pixels they share, and the affine map that maximises it, found by Gauss-Newton steps that
// allow for a change of brightness and contrast between the pictures.
#pragma once

#include <opencv2/core.hpp>

#include <optional>

namespace orv::align {

// The correlation coefficient of `a` and `b` (one channel of 32-bit floats, the same size) over
// the pixels where `mask` (8 bits, the same size) is not 0, or over all of them when `mask` is
// empty: 1 for pictures equal up to brightness and contrast. NaN when either is flat there or no
// pixel is counted.
double correlationCoefficient(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask = cv::Mat());

struct CorrelationSearch {
    int iterations = 50;    // Gauss-Newton steps at most
    double epsilon = 1e-4;  // stop when the coefficient changes less
    int filterSize = 5;     // both pictures smoothed by a Gaussian of this odd side first
};

// Refines `warp` (2 x 3, 32-bit float: template pixel (x, y) to input pixel warp * (x, y, 1)) so
// that the input picture, resampled through it, correlates best with the template (both one
// channel of 8 bits; their sizes may differ). Returns the coefficient of the last step, or nullopt
// when the search fails: no shared pixel, a flat overlap, or a step that would lower the
// correlation. `warp` holds the last map either way.
std::optional<double> maximiseCorrelation(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp,
                                          const CorrelationSearch& search);

} // namespace orv::align
