// The diagonal focus measure: scores of known blocks under every method, refusals and offsets.
#include "support/case_name.h"
#include "engine/focus_measure.h"
#include "engine_fixtures.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

struct Measured {
    float score;
    std::int16_t outX, outY;
};

Measured measure(const PixelArrays& mp, const FocusContext& ctx, int x, int y, int inc, int k,
                 int shiftX = 0, int shiftY = 0) {
    FocusMeasure fm;
    fm.allocate(inc);
    Measured m{0, -1, -1};
    m.score = fm.gotFocusMeasure(mp, ctx, x, y, inc, shiftX, shiftY, m.outX, m.outY, k, k);
    return m;
}

FocusContext method(FocusMethod m) {
    FocusContext c;
    c.method = m;
    return c;
}

} // namespace

TEST(FocusMeasure, AUniformBlockScoresTheStartValueUnderEveryMethod) {
    Series s;
    MemorySurface& p = s.add(40, 40);
    for (int r = 0; r < 40; ++r)
        for (int c = 0; c < 40; ++c) p.setPixel(c, r, 30, 60, 90);
    PixelArrays mp;
    s.fill(mp, 40, 40);
    for (int m = 0; m < 5; ++m)
        EXPECT_FLOAT_EQ(measure(mp, method(FocusMethod(m)), 0, 0, 20, 1).score, 0.0001f) << m;
}

struct StepCase {
    FocusMethod method;
    float expected;
};

class BlackToWhiteStep : public ::testing::TestWithParam<StepCase> {};

// One black-to-white step on the main diagonal, nothing else changes along either diagonal.
TEST_P(BlackToWhiteStep, ScoresOneStep) {
    Series s;
    MemorySurface& p = s.add(20, 20);
    // Main diagonal samples: (j-1, j-1) for j = 1..19. Make (5,5) onwards white on the main
    // diagonal only; the anti-diagonal samples (j-1, 20-j) stay black except where they cross.
    for (int d = 5; d < 19; ++d) setCell(p, d, d, 255, 255, 255);
    // The anti-diagonal passes (9,10) and (10,9): keep those black so it sees no change.
    setCell(p, 9, 10, 0, 0, 0);
    setCell(p, 10, 9, 0, 0, 0);
    PixelArrays mp;
    s.fill(mp, 20, 20);
    EXPECT_FLOAT_EQ(measure(mp, method(GetParam().method), 0, 0, 20, 1).score, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Methods, BlackToWhiteStep,
                         ::testing::Values(StepCase{FocusMethod::ColorSpace3D, 195075.0f},
                                           StepCase{FocusMethod::LinearColor, 0.0001f + 765},
                                           StepCase{FocusMethod::Red, 0.0001f + 255},
                                           StepCase{FocusMethod::Green, 0.0001f + 255},
                                           StepCase{FocusMethod::Blue, 0.0001f + 255},
                                           StepCase{FocusMethod::None, 0.0001f}),
                         [](const auto& info) {
                             const FocusMethod m = info.param.method;
                             return std::string(m == FocusMethod::ColorSpace3D  ? "ColorSpace3D"
                                                : m == FocusMethod::LinearColor ? "LinearColor"
                                                : m == FocusMethod::Red         ? "Red"
                                                : m == FocusMethod::Green       ? "Green"
                                                : m == FocusMethod::Blue        ? "Blue"
                                                : m == FocusMethod::None        ? "None"
                                                                                : "OtherMethod");
                         });

namespace {

// The red-method score of the block at (x, 0) of side `inc` in a w x h picture of red 0/1 columns:
// each counted difference along a diagonal adds 1.
float redColumnsScore(int w, int h, int x, int inc) {
    Series s;
    MemorySurface& p = s.add(w, h);
    for (int y = 0; y < h; ++y)
        for (int c = 0; c < w; ++c) setCell(p, c, y, 0, 0, c % 2);
    PixelArrays mp;
    s.fill(mp, w, h);
    return measure(mp, method(FocusMethod::Red), x, 0, inc, 1).score;
}

} // namespace

TEST(FocusMeasure, IncrementTenCountsEightDifferencesPerDiagonal) {
    EXPECT_FLOAT_EQ(redColumnsScore(10, 10, 0, 10), 0.0001f + 16);
}

TEST(FocusMeasure, ABlockPastTheRightEdgeUsesOnlyTheSamplesInside) {
    // Block at x = 20: samples x = 20..24 inside (5 samples, 4 differences) on each diagonal.
    EXPECT_FLOAT_EQ(redColumnsScore(25, 40, 20, 20), 0.0001f + 8);
}

TEST(FocusMeasure, IgnoredPicturesAreRefusedButPictureElevenNeverIs) {
    Series s;
    for (int n = 0; n < 11; ++n) s.add(20, 20);
    PixelArrays mp;
    s.fill(mp, 20, 20);
    FocusContext c;
    c.ignored[1] = true;
    Measured m = measure(mp, c, 0, 0, 20, 2);
    EXPECT_EQ(m.score, -999.0f);
    EXPECT_EQ(m.outX, -1); // left unchanged
    EXPECT_FLOAT_EQ(measure(mp, c, 0, 0, 20, 11).score, 0.0001f);
}

TEST(FocusMeasure, OffsetsMapThePositionAndRefuseNegativeOnes) {
    Series s;
    s.add(60, 60);
    s.add(60, 60);
    PixelArrays mp;
    s.fill(mp, 60, 60);
    FocusContext c;
    c.offsets[1] = {10, 10};
    c.offsets[2] = {14, 8};
    // Same area: shiftX = 10, shiftY = 8.
    Measured m1 = measure(mp, c, 20, 20, 20, 1, 10, 8);
    EXPECT_EQ(m1.outX, 20);
    EXPECT_EQ(m1.outY, 18);
    Measured m2 = measure(mp, c, 20, 20, 20, 2, 10, 8);
    EXPECT_EQ(m2.outX, 24);
    EXPECT_EQ(m2.outY, 20);
    EXPECT_EQ(measure(mp, c, 0, 0, 20, 1, 10, 8).score, -999.0f); // outY = -2
}

TEST(FocusMeasure, WithOffsetsABlockTouchingTheRightEdgeIsRefusedUnlessSmallestTarget) {
    Series s;
    s.add(50, 50);
    s.add(50, 50);
    PixelArrays mp;
    s.fill(mp, 50, 50);
    FocusContext c;
    c.useOffsets = true;
    c.offsets[1] = {5, 5};
    c.offsets[2] = {9, 5};
    c.smallestX = 5;
    c.smallestY = 5;
    // Block x = 30: picture 2 at outX = 34, 34 + 20 >= 50 and its target is not the smallest.
    EXPECT_EQ(measure(mp, c, 30, 0, 20, 2, 5, 5).score, -999.0f);
    EXPECT_GT(measure(mp, c, 30, 0, 20, 1, 5, 5).score, 0.0f);
}

TEST(FocusMeasure, AnOverflowingPositionIsReportedAndTheMeasureEnds) {
    Series s;
    s.add(20, 20);
    PixelArrays mp;
    s.fill(mp, 20, 20);
    MessageList shown;
    FocusContext c;
    c.messages = &shown;
    c.offsets[1] = {32000, 0};
    Measured m = measure(mp, c, 1000, 0, 20, 1);
    EXPECT_EQ(m.score, -999.0f);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "error 6 (Overflow) at line 9000 of gotFocusMeasure");
    EXPECT_EQ(shown[0].title, "Nobody's Perfect");
}
