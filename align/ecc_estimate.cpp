// Coarse-to-fine enhanced-correlation estimation between two grey pyramids.
#include "align/ecc_estimate.h"

#include "align/enhanced_correlation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace orv::align {

namespace {

// The least height of the phase correlation's peak (1 for pictures that are shifted copies) that
// is taken for a shift.
constexpr double kMinShiftResponse = 0.05;

} // namespace

GreyPyramid makePyramid(const cv::Mat& bgr, int workingSide, int coarsestSide) {
    GreyPyramid p;
    p.fullWidth = bgr.cols;
    p.fullHeight = bgr.rows;
    const int longSide = std::max(bgr.cols, bgr.rows);
    if (longSide <= 0) return p;
    const double s = std::min(1.0, double(workingSide) / longSide);
    const cv::Size size(std::max(1, int(std::lround(bgr.cols * s))), std::max(1, int(std::lround(bgr.rows * s))));
    GreyPyramid::Level level;
    if (size == bgr.size()) {
        cv::cvtColor(bgr, level.grey, cv::COLOR_BGR2GRAY);
    } else {
        // Shrinking the colour picture first keeps the full-size grey copy out of memory.
        cv::Mat small;
        cv::resize(bgr, small, size, 0, 0, cv::INTER_AREA);
        cv::cvtColor(small, level.grey, cv::COLOR_BGR2GRAY);
    }
    level.sx = double(size.width) / bgr.cols;
    level.sy = double(size.height) / bgr.rows;
    p.levels.push_back(std::move(level));
    while (std::max(p.levels.back().grey.cols, p.levels.back().grey.rows) / 2 >= coarsestSide) {
        const cv::Mat& last = p.levels.back().grey;
        GreyPyramid::Level next;
        const cv::Size half((last.cols + 1) / 2, (last.rows + 1) / 2);
        cv::resize(last, next.grey, half, 0, 0, cv::INTER_AREA);
        next.sx = double(half.width) / bgr.cols;
        next.sy = double(half.height) / bgr.rows;
        p.levels.push_back(std::move(next));
    }
    return p;
}

EccResult refineEcc(const GreyPyramid& templ, const GreyPyramid& input, int from, int to,
                    Affine& templateToInput, const EccSettings& settings) {
    EccResult result;
    const int last = int(std::min(templ.levels.size(), input.levels.size())) - 1;
    from = std::min(from, last);
    to = std::max(to, 0);
    if (from < to) return result;
    Affine w = templateToInput;
    CorrelationSearch search;
    search.iterations = settings.iterations;
    search.epsilon = settings.epsilon;
    search.filterSize = settings.filterSize;
    for (int l = from; l >= to; --l) {
        const auto& t = templ.levels[std::size_t(l)];
        const auto& in = input.levels[std::size_t(l)];
        const Affine toLevel = compose(resizeMap(in.sx, in.sy), compose(w, inverse(resizeMap(t.sx, t.sy))));
        cv::Mat warp(2, 3, CV_32F);
        for (int i = 0; i < 6; ++i) warp.at<float>(i / 3, i % 3) = float(toLevel.m[std::size_t(i)]);
        try {
            const std::optional<double> reached = maximiseCorrelation(t.grey, in.grey, warp, search);
            if (!reached) return EccResult{};
            result.correlation = *reached;
        } catch (const cv::Exception& ex) {
            // A failure of the image library is no estimate; running out of memory is not an answer.
            if (ex.code == cv::Error::StsNoMem) throw;
            return EccResult{};
        }
        Affine level;
        for (int i = 0; i < 6; ++i) level.m[std::size_t(i)] = warp.at<float>(i / 3, i % 3);
        bool finite = true;
        for (double v : level.m) finite = finite && std::isfinite(v);
        if (!finite || std::fabs(level.determinant()) < 1e-6) return EccResult{};
        w = compose(inverse(resizeMap(in.sx, in.sy)), compose(level, resizeMap(t.sx, t.sy)));
    }
    if (!(result.correlation >= settings.minCorrelation)) return EccResult{};
    result.converged = true;
    templateToInput = w;
    return result;
}

std::optional<Affine> coarseShift(const GreyPyramid& templ, const GreyPyramid& input, int level) {
    if (level < 0 || std::size_t(level) >= std::min(templ.levels.size(), input.levels.size())) return std::nullopt;
    const auto& t = templ.levels[std::size_t(level)];
    const auto& in = input.levels[std::size_t(level)];
    if (t.grey.cols < 8 || t.grey.rows < 8 || in.grey.cols < 8 || in.grey.rows < 8) return std::nullopt;
    cv::Mat a, b, window;
    t.grey.convertTo(a, CV_32F);
    in.grey.convertTo(b, CV_32F);
    if (a.size() != b.size()) {
        // A picture of another size (cut out of a larger one) is laid over the other on a common
        // canvas, both from their first pixel, the rest filled with each one's mean grey so that
        // its edge does not stand out as a shape to match.
        const int w = std::max(a.cols, b.cols), h = std::max(a.rows, b.rows);
        for (cv::Mat* m : {&a, &b})
            if (m->size() != cv::Size(w, h))
                cv::copyMakeBorder(*m, *m, 0, h - m->rows, 0, w - m->cols, cv::BORDER_CONSTANT, cv::mean(*m));
    }
    cv::createHanningWindow(window, a.size(), CV_32F);
    double response = 0;
    const cv::Point2d d = cv::phaseCorrelate(a, b, window, &response);
    // A flat or unrelated picture gives a peak no higher than its neighbours'.
    if (!std::isfinite(d.x) || !std::isfinite(d.y) || !(response >= kMinShiftResponse)) return std::nullopt;
    Affine shift;
    shift.m[2] = d.x / in.sx;
    shift.m[5] = d.y / in.sy;
    return shift;
}

double matchResidual(const GreyPyramid& templ, const GreyPyramid& input, int level, const Affine& templateToInput,
                     double sigma) {
    if (level < 0 || std::size_t(level) >= std::min(templ.levels.size(), input.levels.size())) return 1;
    const auto& t = templ.levels[std::size_t(level)];
    const auto& in = input.levels[std::size_t(level)];
    const Affine toLevel =
        compose(resizeMap(in.sx, in.sy), compose(templateToInput, inverse(resizeMap(t.sx, t.sy))));
    const auto& m = toLevel.m;
    const cv::Matx23d map(m[0], m[1], m[2], m[3], m[4], m[5]);
    cv::Mat warped, mask;
    if (toLevel.isIdentity() && in.grey.size() == t.grey.size()) {
        warped = in.grey;
        mask = cv::Mat(t.grey.size(), CV_8U, cv::Scalar(255));
    } else {
        cv::warpAffine(in.grey, warped, map, t.grey.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REPLICATE);
        const cv::Mat own(in.grey.size(), CV_8U, cv::Scalar(255));
        cv::warpAffine(own, mask, map, t.grey.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                       cv::Scalar(0));
    }
    // The smoothing reaches about 2 sigma: pixels that near the edge would mix in repeated ones.
    const int inset = 2 * int(std::ceil(2 * sigma)) + 1;
    cv::erode(mask, mask, cv::getStructuringElement(cv::MORPH_RECT, cv::Size(inset, inset)), cv::Point(-1, -1), 1,
              cv::BORDER_CONSTANT, cv::Scalar(0));
    if (cv::countNonZero(mask) * 4 < t.grey.rows * t.grey.cols) return 1;
    cv::Mat a, b;
    t.grey.convertTo(a, CV_32F);
    warped.convertTo(b, CV_32F);
    cv::GaussianBlur(a, a, cv::Size(), sigma, sigma, cv::BORDER_REPLICATE);
    cv::GaussianBlur(b, b, cv::Size(), sigma, sigma, cv::BORDER_REPLICATE);
    const double c = correlationCoefficient(a, b, mask);
    return std::isfinite(c) ? std::clamp(1 - c, 0.0, 1.0) : 1.0;
}

} // namespace orv::align

