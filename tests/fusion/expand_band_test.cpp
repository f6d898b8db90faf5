// The colour pass expands each level by bands of rows: every band's rows must be those of the
// whole expansion, at the top and bottom edges, for odd and even sides, whatever the band.
#include "fusion/expand_band.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <string>

namespace orv {
namespace {

struct BandCase {
    int width, height; // the level's size
    int band;          // rows a band
};

class ExpandBand : public ::testing::TestWithParam<BandCase> {};

TEST_P(ExpandBand, GivesTheRowsOfTheWholeExpansion) {
    const BandCase c = GetParam();
    const cv::Size level(c.width, c.height);
    const cv::Size next((c.width + 1) / 2, (c.height + 1) / 2);
    cv::Mat source(next, CV_16SC3);
    cv::randu(source, cv::Scalar::all(-2040), cv::Scalar::all(2040));
    cv::Mat whole;
    cv::pyrUp(source, whole, level);
    cv::Mat buffer, band;
    for (int from = 0; from < c.height; from += c.band) {
        const int to = std::min(c.height, from + c.band);
        const int first = expandBand(source, level, from, to, buffer, band);
        ASSERT_LE(first, from);
        ASSERT_GE(first + band.rows, to);
        for (int y = from; y < to; ++y) {
            const cv::Mat a = band.row(y - first), b = whole.row(y);
            ASSERT_EQ(cv::norm(a, b, cv::NORM_INF), 0.0) << "row " << y << " of the band from " << from;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PyramidFocus, ExpandBand,
                         ::testing::Values(BandCase{37, 301, 128}, BandCase{38, 300, 128}, BandCase{21, 64, 7},
                                           BandCase{5, 5, 128}, BandCase{9, 131, 2}, BandCase{1, 1, 128},
                                           BandCase{64, 257, 1}),
                         [](const auto& info) {
                             const BandCase& c = info.param;
                             return std::to_string(c.width) + "x" + std::to_string(c.height) + "By" + std::to_string(c.band);
                         });

} // namespace
} // namespace orv
