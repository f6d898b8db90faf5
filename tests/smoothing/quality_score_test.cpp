// The quality score on montages of flat blocks, where the expected average seam step can be
// worked out by hand.
#include "scene.h"
#include "base/runtime_error.h"
#include "smoothing/quality_score.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace orv;
using namespace orv::test;

namespace {

float score(Scene& s, int inc) { return evaluateImage(s.mp, s.g, inc); }

} // namespace

TEST(QualityScore, MontagesWithoutACompleteBlockPairScoreZero) {
    Scene uniform(40, 40, 1);
    EXPECT_EQ(score(uniform, 10), 0.0f);

    // Two blocks side by side and no second row: nothing is sampled, however different they are.
    Scene pair(20, 10, 1);
    pair.block(100, 0, 0, 10, {0, 0, 0});
    pair.block(100, 10, 0, 10, {255, 255, 255});
    EXPECT_EQ(score(pair, 10), 0.0f);

    // W <= increment or H <= increment.
    Scene column(10, 40, 1), row(40, 10, 1);
    for (Scene* s : {&column, &row})
        for (int y = 0; y < int(s->g.H); ++y)
            for (int x = 0; x < int(s->g.W); ++x)
                if ((x + y) % 2) s->set(100, x, y, {0, 0, 0});
    EXPECT_EQ(score(column, 10), 0.0f);
    EXPECT_EQ(score(row, 10), 0.0f);

    // A uniform montage's 0 was measured; the others' was not.
    EXPECT_TRUE(scoreMeasuresSeams(uniform.g, 10));
    EXPECT_TRUE(scoreMeasuresSeams(Scene(11, 11, 1).g, 10));
    for (Scene* s : {&pair, &column, &row}) EXPECT_FALSE(scoreMeasuresSeams(s->g, 10));
}

TEST(QualityScore, FourFlatBlocksSampleOnlyTheLowerLeftBlocksSeams) {
    Scene s(20, 20, 1);
    s.block(100, 0, 0, 10, {10, 20, 30});
    s.block(100, 10, 0, 10, {10, 20, 90});   // 60 to the right of block (0, 0)
    s.block(100, 0, 10, 10, {10, 100, 30});  // 80 in the row above
    s.block(100, 10, 10, 10, {255, 255, 255}); // its seams are never sampled
    EXPECT_EQ(score(s, 10), 70.0f);          // (8 x 60 + 8 x 80) / 16
}

TEST(QualityScore, BlackAgainstWhiteEverywhereIsTheLargestScore) {
    Scene s(30, 30, 1);
    for (int by = 0; by < 3; ++by)
        for (int bx = 0; bx < 3; ++bx)
            s.block(100, bx * 10, by * 10, 10, (bx + by) % 2 ? Rgb{255, 255, 255} : Rgb{0, 0, 0});
    EXPECT_NEAR(score(s, 10), std::sqrt(3.0 * 255 * 255), 1e-3);
    EXPECT_NEAR(score(s, 10), 441.67, 0.01);
}

TEST(QualityScore, AnIncrementBelowOneIsRefused) {
    Scene s(20, 20, 1);
    EXPECT_THROW(score(s, 0), RuntimeError);
}

struct SampleCase {
    int inc;
    bool rightSeam; // a step across the right seam of block (0, 0) at one row, else across the
                    // seam to the next row at one column
    int offset;     // that row or column inside the block
    float expected;
};

class SeamSamples : public ::testing::TestWithParam<SampleCase> {};

// Only block (0, 0) is sampled in a 2 x 2 block montage; one pixel beyond its seam differs by
// 100, so the score is 100 / 16 when that pixel is one of the 8 samples and 0 otherwise.
TEST_P(SeamSamples, LieAtNinthsOfTheIncrement) {
    const SampleCase c = GetParam();
    Scene s(2 * c.inc, 2 * c.inc, 1);
    if (c.rightSeam)
        s.set(100, c.inc, c.offset, {200, 100, 100});
    else
        s.set(100, c.offset, c.inc, {200, 100, 100});
    EXPECT_EQ(score(s, c.inc), c.expected);
}

// Increment 10 samples 1, 2, 3, 4, 6, 7, 8, 9; increment 20 samples 2, 4, 7, 9, 11, 13, 16, 18.
INSTANTIATE_TEST_SUITE_P(
    QualityScore, SeamSamples,
    ::testing::Values(SampleCase{10, true, 1, 6.25f}, SampleCase{10, true, 0, 0.0f},
                      SampleCase{10, true, 5, 0.0f}, SampleCase{10, true, 9, 6.25f},
                      SampleCase{10, false, 6, 6.25f}, SampleCase{10, false, 5, 0.0f},
                      SampleCase{20, true, 7, 6.25f}, SampleCase{20, true, 8, 0.0f},
                      SampleCase{20, false, 18, 6.25f}, SampleCase{20, false, 17, 0.0f}),
    [](const auto& info) {
        const SampleCase& c = info.param;
        return "Increment" + std::to_string(c.inc) + (c.rightSeam ? "RightSeamRow" : "UpperSeamColumn") +
               std::to_string(c.offset);
    });
