// Deep pictures of an aligned series placed as their 8-bit views were: the 8-bit view of each
// warped deep picture lies within a level or two of the aligned stack's picture, keeps the full
// 16-bit range, and pictures the alignment left alone stay as they are.
#include "align/deep_warp.h"
#include "align_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace orv::test {
namespace {

DeepPicture deepOf(const sample::Picture& p) {
    DeepPicture d(p.width, p.height, 3, 16);
    d.samples = p.deep;
    return d;
}

// The largest and the mean difference, in 8-bit levels, between the 8-bit view of `deep` and
// picture n of the stack, over the picture as the stack holds it.
struct ViewDifference {
    int largest = 0;
    double mean = 0;
};

ViewDifference viewDifference(const DeepPicture& deep, const ImageStack& stack, int n) {
    ViewDifference d;
    const int w = stack.pictureWidth(n), h = stack.pictureHeight(n);
    const std::uint8_t* cells = stack.pictures[std::size_t(n - 1)].data();
    long long sum = 0;
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const int eight = cells[(std::size_t(r) * stack.width() + x) * 3 + std::size_t(2 - c)];
                const int diff = std::abs(eightBitsOf(deep.at(x, h - 1 - r, c)) - eight);
                d.largest = std::max(d.largest, diff);
                sum += diff;
            }
    d.mean = double(sum) / (3.0 * w * h);
    return d;
}

// The share of samples that are not an 8-bit value times 257.
double deepShare(const DeepPicture& p) {
    const auto n = std::count_if(p.samples.begin(), p.samples.end(), [](std::uint16_t v) { return v % 257 != 0; });
    return double(n) / double(p.samples.size());
}

struct WarpCase {
    const char* name;
    int width, height, count;
    double scaleStep, rotationStep, shiftX, shiftY;
    bool colourMatch;
    double gainStep; // the red channel's brightness drift per picture
};

void PrintTo(const WarpCase& c, std::ostream* os) { *os << c.name; }

class DeepWarp : public ::testing::TestWithParam<WarpCase> {};

TEST_P(DeepWarp, DeepViewFollowsTheEightBitWarp) {
    const WarpCase& c = GetParam();
    auto moves = steppedMoves(c.count, c.scaleStep, c.rotationStep, c.shiftX, c.shiftY);
    for (int k = 1; k <= c.count; ++k) moves[std::size_t(k - 1)].gain[2] = 1 + c.gainStep * (k - sample::middlePicture(c.count));
    const sample::SeriesMaker maker(sample::SeriesOptions{c.width, c.height, c.count, 5,
                                                          marginFor(moves, c.width, c.height), sample::Scene::Natural});
    std::vector<sample::Picture> pictures = movedPictures(maker, moves);
    std::vector<DeepPicture> deep;
    for (const auto& p : pictures) deep.push_back(deepOf(p));
    ImageStack stack = stackOf(pictures);
    AlignOptions o;
    o.colourMatch = c.colourMatch;
    const AlignmentReport report = alignStack(stack, o);
    ASSERT_EQ(report.notConverged(), 0);

    for (int n = 1; n <= c.count; ++n) {
        SCOPED_TRACE("picture " + std::to_string(n));
        DeepPicture d = deep[std::size_t(n - 1)];
        ASSERT_TRUE(alignDeepPicture(d, report, n, stack.width(), stack.height()));
        ASSERT_EQ(d.width, stack.pictureWidth(n));
        ASSERT_EQ(d.height, stack.pictureHeight(n));
        const ViewDifference diff = viewDifference(d, stack, n);
        EXPECT_LE(diff.largest, 2);
        EXPECT_LT(diff.mean, 0.5);
        EXPECT_GT(deepShare(d), 0.9);
        if (n != report.reference && c.colourMatch) {
            // The drift was taken out of the deep picture too.
            EXPECT_NE(report.pictures[std::size_t(n - 1)].gain[2], 1.0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Series, DeepWarp,
    ::testing::Values(
        WarpCase{"breathing_5", 320, 240, 5, 0.01, 0.1, 2.5, 1.5, false, 0},
        // Sides that are not multiples of 4: the stack's rounded cells lie beyond the frame.
        WarpCase{"odd_sides_3", 322, 243, 3, -0.015, -0.2, -3.0, 2.0, false, 0},
        WarpCase{"colour_drift_3", 320, 240, 3, 0.01, 0.0, 2.0, -1.0, true, 0.06}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeepWarp, PicturesTheAlignmentLeftAloneStayAsLoaded) {
    const auto moves = steppedMoves(3, 0.01, 0, 2, 1);
    const sample::SeriesMaker maker(sample::SeriesOptions{160, 120, 3, 2, marginFor(moves, 160, 120), sample::Scene::Natural});
    std::vector<sample::Picture> pictures = movedPictures(maker, moves);
    ImageStack stack = stackOf(pictures);
    AlignOptions o;
    o.ignored[0] = true; // picture 1
    AlignmentReport report = alignStack(stack, o);
    report.pictures[2].converged = false; // as if picture 3 had not matched

    for (const int n : {1, 3}) {
        DeepPicture d = deepOf(pictures[std::size_t(n - 1)]);
        const DeepPicture before = d;
        EXPECT_TRUE(alignDeepPicture(d, report, n, stack.width(), stack.height())) << n;
        EXPECT_EQ(d, before) << n;
    }
    // A picture of another size is not the one that was aligned: it is refused and kept.
    report.pictures[2].converged = true;
    DeepPicture other(100, 80, 3, 16);
    const DeepPicture before = other;
    EXPECT_FALSE(alignDeepPicture(other, report, 3, stack.width(), stack.height()));
    EXPECT_EQ(other, before);
    EXPECT_FALSE(alignDeepPicture(other, report, 4, stack.width(), stack.height()));
}

TEST(DeepWarp, TheReferenceIsCutToTheFrameAsTheStackHoldsIt) {
    // A reference taller and wider than the stack (which follows the first picture): the stack
    // keeps its left columns and bottom rows.
    AlignmentReport report;
    report.reference = 2;
    report.frameWidth = 4;
    report.frameHeight = 4;
    report.pictures.resize(2);
    report.pictures[1] = PictureAlignment{};
    report.pictures[1].picture = 2;
    report.pictures[1].aligned = true;
    report.pictures[1].reference = true;
    report.pictures[1].width = 6;
    report.pictures[1].height = 7;
    DeepPicture d(6, 7, 1, 16);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 6; ++x) d.row(y)[x] = std::uint16_t(1000 * y + x);
    ASSERT_TRUE(alignDeepPicture(d, report, 2, 4, 4));
    ASSERT_EQ(d.width, 4);
    ASSERT_EQ(d.height, 4);
    EXPECT_EQ(d.at(0, 0, 0), 3000); // row 3 from the top: the fourth row above the bottom one
    EXPECT_EQ(d.at(3, 3, 0), 6003);
}

struct ColourCase {
    const char* name;
    int channels;
    std::uint16_t value;
    std::array<std::uint16_t, 3> expected; // per channel of the deep picture
};

void PrintTo(const ColourCase& c, std::ostream* os) { *os << c.name; }

class DeepColour : public ::testing::TestWithParam<ColourCase> {};

// The fit is blue, green, red: gain 2 on blue, 1.5 on green, 1 on red with an offset of 10 levels.
TEST_P(DeepColour, FitIsAppliedAtSixteenBits) {
    const ColourCase& c = GetParam();
    DeepPicture p(1, 1, c.channels, 16);
    std::fill(p.samples.begin(), p.samples.end(), c.value);
    applyDeepColour(p, {2.0, 1.5, 1.0}, {0, 0, 10});
    for (int ch = 0; ch < c.channels; ++ch) EXPECT_EQ(p.at(0, 0, ch), c.expected[std::size_t(ch)]) << ch;
}

INSTANTIATE_TEST_SUITE_P(
    Channels, DeepColour,
    ::testing::Values(ColourCase{"rgb_channels_reversed", 3, 1000, {3570, 1500, 2000}},
                      ColourCase{"grey_takes_green", 1, 1000, {1500, 0, 0}},
                      ColourCase{"kept_within_range", 3, 60000, {62570, 65535, 65535}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv::test
