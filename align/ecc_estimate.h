// Estimating the affine map between two pictures with enhanced correlation (affine motion,
// Gaussian pre-filter; align/enhanced_correlation.h) on small grey copies, coarse to fine.
#pragma once

#include "align/affine.h"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace orv::align {

// A picture's grey copies: level 0 the largest (the working size), each further level half
// the one before. Each level knows its size against the full picture.
struct GreyPyramid {
    struct Level {
        cv::Mat grey; // 8-bit
        double sx = 1, sy = 1;
    };
    std::vector<Level> levels;
    int fullWidth = 0, fullHeight = 0;
};

// Grey copies of a 24-bit picture whose long side is at most `workingSide`, down to about
// `coarsestSide`. Rows stay in the picture's own order.
GreyPyramid makePyramid(const cv::Mat& bgr, int workingSide, int coarsestSide);

struct EccSettings {
    int iterations = 20;     // per level: from a good start it needs a few; more only
                             // follows the correlation flickering as pixels enter and
                             // leave the overlap
    double epsilon = 1e-4;   // stop when the correlation changes less
    int filterSize = 5;      // Gaussian pre-filter of both pictures, odd
    double minCorrelation = 0.25; // below this at the finest level the estimate is not trusted
};

struct EccResult {
    bool converged = false;
    double correlation = 0; // at the finest level run
};

// Refines `templateToInput` (full-size coordinates of the template picture to those of the input
// picture; its start value is the guess) with enhanced correlation on levels `from` down to `to`
// (from >= to; levels past either pyramid's end are skipped). The input picture is what must be
// warped onto the template. On failure `templateToInput` is left as it was.
EccResult refineEcc(const GreyPyramid& templ, const GreyPyramid& input, int from, int to,
                    Affine& templateToInput, const EccSettings& settings);

// The shift (full-size coordinates, as for refineEcc) that best lays `input` over `templ` at
// pyramid level `level`, found by phase correlation: a start for refineEcc where the pictures lie
// too far apart for it to find its way from no move. Nothing when the level does not exist in both
// at one size, or no shift stands out.
std::optional<Affine> coarseShift(const GreyPyramid& templ, const GreyPyramid& input, int level);

// How far `input`, placed by `templateToInput` (full-size coordinates, as for refineEcc), is from
// `templ` at pyramid level `level`: one minus the enhanced-correlation coefficient of the two
// copies smoothed by a Gaussian of `sigma` level pixels, over the pixels both show at least a
// few pixels in from the input's edge. 0 is a perfect match, 1 none; 1 as well when they share
// less than a quarter of the template or the level does not exist. Smoothing first keeps sensor
// noise and the fine detail that differs between focus steps from deciding the comparison.
double matchResidual(const GreyPyramid& templ, const GreyPyramid& input, int level, const Affine& templateToInput,
                     double sigma);

} // namespace orv::align
