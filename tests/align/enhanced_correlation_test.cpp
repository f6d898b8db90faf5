// The enhanced correlation: its coefficient ignores brightness and contrast and counts only the
// masked pixels; its search finds a known affine move, also through a change of contrast, and
// gives up on pictures with nothing to correlate.
#include "align/enhanced_correlation.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace orv::align {
namespace {

// A grey picture with detail at several scales: random values smoothed twice, plus blobs.
cv::Mat texture(int width, int height, unsigned seed) {
    cv::RNG rng(seed);
    cv::Mat fine(height, width, CV_32F), coarse(height / 8 + 1, width / 8 + 1, CV_32F);
    rng.fill(fine, cv::RNG::UNIFORM, 0, 255);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 255);
    cv::GaussianBlur(fine, fine, cv::Size(), 1.5);
    cv::resize(coarse, coarse, fine.size(), 0, 0, cv::INTER_CUBIC);
    cv::Mat mixed = 0.5 * fine + 0.5 * coarse, out;
    cv::normalize(mixed, mixed, 20, 235, cv::NORM_MINMAX);
    mixed.convertTo(out, CV_8U);
    return out;
}

cv::Mat asFloat(const cv::Mat& m) {
    cv::Mat f;
    m.convertTo(f, CV_32F);
    return f;
}

TEST(CorrelationCoefficient, IgnoresBrightnessAndContrastAndCountsOnlyTheMask) {
    const cv::Mat a = asFloat(texture(64, 48, 1));
    EXPECT_NEAR(correlationCoefficient(a, a * 0.5 + 40), 1.0, 1e-9);
    EXPECT_NEAR(correlationCoefficient(a, 255 - a), -1.0, 1e-9);
    // The right half differs completely; masked out, it does not count.
    cv::Mat b = a.clone();
    asFloat(texture(32, 48, 2)).copyTo(b(cv::Rect(32, 0, 32, 48)));
    cv::Mat left(a.size(), CV_8U, cv::Scalar(0));
    left(cv::Rect(0, 0, 32, 48)).setTo(255);
    EXPECT_LT(correlationCoefficient(a, b), 0.9);
    EXPECT_NEAR(correlationCoefficient(a, b, left), 1.0, 1e-9);
    // Nothing to correlate: a flat picture, or an empty mask.
    EXPECT_TRUE(std::isnan(correlationCoefficient(a, cv::Mat(a.size(), CV_32F, cv::Scalar(7)))));
    EXPECT_TRUE(std::isnan(correlationCoefficient(a, a, cv::Mat(a.size(), CV_8U, cv::Scalar(0)))));
}

struct MoveCase {
    const char* name;
    double scale, degrees, dx, dy, gain, offset;
};

class CorrelationSearchFinds : public ::testing::TestWithParam<MoveCase> {};

// The input is the template moved by a known affine map A (template pixel x lies at input pixel
// A x), both cut from larger pictures so that their edges hold real detail; from the identity the
// search finds A to within a tenth of a pixel at the corners (its linear resampling biases a
// fractional shift by a few hundredths).
TEST_P(CorrelationSearchFinds, AKnownMove) {
    const MoveCase c = GetParam();
    const cv::Mat scene = texture(200, 160, 3);
    const cv::Rect cut(20, 20, 160, 120);
    const cv::Mat templ = scene(cut);
    const double r = c.degrees * CV_PI / 180;
    const cv::Point2d centre(80, 60);
    cv::Matx23d move(c.scale * std::cos(r), -c.scale * std::sin(r), 0, c.scale * std::sin(r), c.scale * std::cos(r), 0);
    move(0, 2) = centre.x + c.dx - (move(0, 0) * centre.x + move(0, 1) * centre.y);
    move(1, 2) = centre.y + c.dy - (move(1, 0) * centre.x + move(1, 1) * centre.y);
    // The same move in the larger picture's coordinates: A (x - o) + o.
    cv::Matx23d sceneMove = move;
    sceneMove(0, 2) += cut.x - (move(0, 0) * cut.x + move(0, 1) * cut.y);
    sceneMove(1, 2) += cut.y - (move(1, 0) * cut.x + move(1, 1) * cut.y);
    cv::Mat moved, input;
    cv::warpAffine(scene, moved, sceneMove, scene.size(), cv::INTER_CUBIC, cv::BORDER_REFLECT);
    moved(cut).convertTo(input, CV_8U, c.gain, c.offset);

    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    const std::optional<double> rho = maximiseCorrelation(templ, input, warp, CorrelationSearch{});
    ASSERT_TRUE(rho);
    EXPECT_GT(*rho, 0.98);
    for (const cv::Point2d p : {cv::Point2d(0, 0), cv::Point2d(159, 0), cv::Point2d(0, 119), cv::Point2d(159, 119)}) {
        const double fx = warp.at<float>(0, 0) * p.x + warp.at<float>(0, 1) * p.y + warp.at<float>(0, 2);
        const double fy = warp.at<float>(1, 0) * p.x + warp.at<float>(1, 1) * p.y + warp.at<float>(1, 2);
        const double ex = move(0, 0) * p.x + move(0, 1) * p.y + move(0, 2);
        const double ey = move(1, 0) * p.x + move(1, 1) * p.y + move(1, 2);
        EXPECT_LT(std::hypot(fx - ex, fy - ey), 0.1) << p;
    }
}

INSTANTIATE_TEST_SUITE_P(EnhancedCorrelation, CorrelationSearchFinds,
                         ::testing::Values(MoveCase{"Shift", 1, 0, 1.6, -0.7, 1, 0},
                                           MoveCase{"ScaleTurnAndShift", 1.012, 0.8, -1.2, 0.9, 1, 0},
                                           MoveCase{"ThroughAChangeOfContrast", 0.99, -0.5, 0.5, 1.1, 0.7, 40}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(CorrelationSearch, GivesUpWithNothingToCorrelate) {
    const cv::Mat templ = texture(64, 48, 4);
    // A flat input.
    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    EXPECT_FALSE(maximiseCorrelation(templ, cv::Mat(48, 64, CV_8U, cv::Scalar(90)), warp, CorrelationSearch{}));
    // A map that puts the template wholly beside the input: no shared pixel.
    warp = cv::Mat::eye(2, 3, CV_32F);
    warp.at<float>(0, 2) = 500;
    EXPECT_FALSE(maximiseCorrelation(templ, texture(64, 48, 5), warp, CorrelationSearch{}));
}

} // namespace
} // namespace orv::align
