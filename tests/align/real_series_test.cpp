// The shared real series: focus breathing on a circuit board, measured independently as scale
// 0.979 for the first picture and 1.017 for the last against the middle one.
#include "align/align_series.h"
#include "input/picture_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace orv {
namespace {

TEST(RealSeries, CircuitBoardBreathingMatchesTheIndependentMeasurement) {
    const std::string folder = std::string(ORVANTA_SHARED_DATA) + "/stacks/pcb/";
    if (!std::filesystem::exists(folder + "pcb07.jpg")) GTEST_SKIP() << "no shared series at " << folder;
    ImageStack stack;
    for (int k = 1; k <= 7; ++k) {
        std::unique_ptr<MemorySurface> s;
        ASSERT_EQ(decodeToSurface(folder + "pcb0" + std::to_string(k) + ".jpg", s), DecodeStatus::Ok);
        const int W = roundUp4(s->pictureWidth()), H = roundUp4(s->pictureHeight());
        stack.lastColumn = std::int16_t(W - 1);
        stack.lastRow = std::int16_t(H - 1);
        stack.sizes.push_back({s->pictureWidth(), s->pictureHeight()});
        stack.pictures.emplace_back();
        ASSERT_TRUE(s->takePixels(stack.pictures.back(), W, H));
    }
    stack.count = 7;
    const AlignmentReport r = alignStack(stack, AlignOptions{});
    EXPECT_EQ(r.reference, 4);
    EXPECT_EQ(r.notConverged(), 0);
    EXPECT_NEAR(r.pictures[0].similarity.scale / 0.979, 1.0, 0.002);
    EXPECT_NEAR(r.pictures[6].similarity.scale / 1.017, 1.0, 0.002);
    // Scales grow through the series, as the focus moves from near to far.
    for (int n = 1; n < 7; ++n) EXPECT_LT(r.pictures[std::size_t(n - 1)].similarity.scale, r.pictures[std::size_t(n)].similarity.scale);
}

} // namespace
} // namespace orv
