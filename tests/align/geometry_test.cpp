// The geometry under the alignment: maps read as scale, turn and shift and back, the change
// between row orders and sizes, and the common rectangle against a brute-force search.
#include "support/case_name.h"
#include "align/affine.h"
#include "align/common_area.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace orv::align {
namespace {

struct SimilarityCase {
    Similarity s;
    int width, height;
};

class SimilarityRoundTrip : public ::testing::TestWithParam<SimilarityCase> {};

TEST_P(SimilarityRoundTrip, DescribeReadsBackWhatWasBuilt) {
    const auto& c = GetParam();
    const Affine a = fromSimilarity(c.s, c.width, c.height);
    const Similarity back = describe(a, c.width, c.height, c.width, c.height);
    EXPECT_NEAR(back.scale, c.s.scale, 1e-12);
    EXPECT_NEAR(back.rotation, c.s.rotation, 1e-10);
    EXPECT_NEAR(back.shiftX, c.s.shiftX, 1e-9);
    EXPECT_NEAR(back.shiftY, c.s.shiftY, 1e-9);
    // The picture's centre lands `shift` away from the reference's.
    const double cx = (c.width - 1) / 2.0, cy = (c.height - 1) / 2.0;
    EXPECT_NEAR(a.x(cx, cy) - cx, c.s.shiftX, 1e-9);
    EXPECT_NEAR(a.y(cx, cy) - cy, c.s.shiftY, 1e-9);
    // Inverse and row flip undo themselves.
    const Affine twice = inverse(inverse(a));
    const Affine flipped = flipRows(flipRows(a, c.height, c.height + 7), c.height, c.height + 7);
    for (int i = 0; i < 6; ++i) {
        EXPECT_NEAR(twice.m[std::size_t(i)], a.m[std::size_t(i)], 1e-9);
        EXPECT_NEAR(flipped.m[std::size_t(i)], a.m[std::size_t(i)], 1e-9);
    }
}

INSTANTIATE_TEST_SUITE_P(Maps, SimilarityRoundTrip,
                         ::testing::Values(SimilarityCase{{1, 0, 0, 0}, 640, 480},
                                           SimilarityCase{{0.9804, 0.35, -12.5, 3.25}, 2048, 1536},
                                           SimilarityCase{{1.074, -2.0, 0.5, -40}, 101, 67},
                                           SimilarityCase{{1, 179.0, 0, 0}, 10, 10}),
                         [](const auto& info) {
                             const SimilarityCase& c = info.param;
                             return std::to_string(c.width) + "x" + std::to_string(c.height) + "_turned" +
                                    orv::testing::caseName(c.s.rotation);
                         });

TEST(Geometry, ClockwiseTurnOnScreenIsPositive) {
    // Rows count down the screen: a clockwise quarter turn takes the point right of the centre
    // to the point below it.
    const Affine a = fromSimilarity({1, 90, 0, 0}, 101, 101);
    EXPECT_NEAR(a.x(60, 50), 50, 1e-9);
    EXPECT_NEAR(a.y(60, 50), 60, 1e-9);
}

TEST(Geometry, RowFlipCountsFromTheOtherEdgeOfEachPicture) {
    // A picture 10 rows high placed at rows 2.. of a 20-row reference, rows from the top: from
    // the bottom, its row 0 (bottom) is the reference's row 7 from the bottom.
    const Affine down{{1, 0, 0, 0, 1, 2}}; // picture -> reference, rows from the top
    const Affine up = flipRows(down, 10, 20);
    EXPECT_NEAR(up.y(0, 0), 20 - 1 - (10 - 1 + 2), 1e-12);
    EXPECT_NEAR(up.y(0, 9), 20 - 1 - 2, 1e-12);
}

TEST(Geometry, ResizeKeepsPixelCentresOnTheSameScenePoints) {
    // Halving: full pixels 0 and 1 make shrunk pixel 0, whose centre is at full 0.5.
    const Affine half = resizeMap(0.5, 0.5);
    EXPECT_DOUBLE_EQ(half.x(0.5, 0.5), 0.0);
    EXPECT_DOUBLE_EQ(half.x(-0.5, 0), -0.5); // the outer edges stay the outer edges
    EXPECT_DOUBLE_EQ(half.x(99.5, 0), 49.5);
}

// Brute force: every rectangle of a small frame, the covered pixels counted by prefix sums.
FrameRect bruteForce(int fw, int fh, const std::vector<Coverage>& cs) {
    std::vector<int> sum(std::size_t(fw + 1) * (fh + 1), 0);
    auto S = [&](int x, int y) -> int& { return sum[std::size_t(y) * (fw + 1) + x]; };
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < fw; ++x) {
            bool all = true;
            for (const Coverage& c : cs) all = all && c.covers(x, y);
            S(x + 1, y + 1) = int(all) + S(x, y + 1) + S(x + 1, y) - S(x, y);
        }
    FrameRect best;
    long long bestArea = 0;
    for (int t = 0; t < fh; ++t)
        for (int b = t; b < fh; ++b)
            for (int l = 0; l < fw; ++l)
                for (int r = l; r < fw; ++r) {
                    const long long area = (long long)(r - l + 1) * (b - t + 1);
                    if (area <= bestArea) continue;
                    if (S(r + 1, b + 1) - S(l, b + 1) - S(r + 1, t) + S(l, t) == area) {
                        bestArea = area;
                        best = FrameRect{l, t, r - l + 1, b - t + 1};
                    }
                }
    return best;
}

// A picture of the frame's size whose content map onto the reference is `s`.
Coverage pictureMovedBy(const Similarity& s, int w, int h) {
    return Coverage{inverse(fromSimilarity(s, w, h)), w, h};
}

struct AreaCase {
    const char* name;
    std::vector<Similarity> moves;
};

void PrintTo(const AreaCase& c, std::ostream* os) { *os << c.name; }

class CommonArea : public ::testing::TestWithParam<AreaCase> {};

TEST_P(CommonArea, IsTheLargestRectangleEveryPictureCovers) {
    const int fw = 36, fh = 27;
    std::vector<Coverage> cs;
    for (const Similarity& s : GetParam().moves) cs.push_back(pictureMovedBy(s, fw, fh));
    const FrameRect expected = bruteForce(fw, fh, cs);
    const FrameRect got = commonArea(fw, fh, cs);
    EXPECT_EQ((long long)got.width * got.height, (long long)expected.width * expected.height);
    for (int y = got.top; y < got.top + got.height; ++y)
        for (int x = got.left; x < got.left + got.width; ++x)
            for (const Coverage& c : cs) ASSERT_TRUE(c.covers(x, y)) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Moves, CommonArea,
    ::testing::Values(AreaCase{"unmoved", {{1, 0, 0, 0}}},
                      AreaCase{"whole_pixel_shifts", {{1, 0, 3, -2}, {1, 0, -1, 4}}},
                      AreaCase{"fractional_shift", {{1, 0, 2.5, 0.25}}},
                      AreaCase{"shrunk_and_grown", {{0.9, 0, 0, 0}, {1.1, 0, 1, 1}}},
                      AreaCase{"turned", {{1, 5, 0, 0}, {1, -3, 1, 0}}},
                      AreaCase{"everything", {{0.95, 4, 2, -1}, {1.06, -2, -1.5, 2}, {1, 1, 0, 0}}},
                      AreaCase{"nothing_in_common", {{1, 0, 30, 0}, {1, 0, -30, 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommonArea, PictureOfAnotherSizeCoversOnlyItsOwnPixels) {
    // An unmoved picture 10 columns narrower than the frame covers the frame's left part.
    const FrameRect r = commonArea(40, 30, {Coverage{Affine{}, 30, 30}});
    EXPECT_EQ(r, (FrameRect{0, 0, 30, 30}));
}

} // namespace
} // namespace orv::align
