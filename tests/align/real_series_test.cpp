// The shared real series: focus breathing on a circuit board, measured independently as scale
// 0.979 for the first picture and 1.017 for the last against the middle one.
#include "align/align_series.h"
#include "input/picture_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace orv {
namespace {

// Pictures `name`01.jpg to `name`NN.jpg of a shared series into `stack`; false when the series is
// not there.
bool loadShared(const std::string& name, int count, ImageStack& stack) {
    const std::string folder = std::string(ORVANTA_SHARED_DATA) + "/stacks/" + name + "/";
    auto file = [&](int k) { return folder + name + (k < 10 ? "0" : "") + std::to_string(k) + ".jpg"; };
    if (!std::filesystem::exists(file(count))) return false;
    for (int k = 1; k <= count; ++k) {
        std::unique_ptr<MemorySurface> s;
        EXPECT_EQ(decodeToSurface(file(k), s), DecodeStatus::Ok);
        if (!s) return false;
        const int W = roundUp4(s->pictureWidth()), H = roundUp4(s->pictureHeight());
        stack.lastColumn = std::int16_t(W - 1);
        stack.lastRow = std::int16_t(H - 1);
        stack.sizes.push_back({s->pictureWidth(), s->pictureHeight()});
        stack.pictures.emplace_back();
        EXPECT_TRUE(s->takePixels(stack.pictures.back(), W, H));
    }
    stack.count = std::int16_t(count);
    return true;
}

TEST(RealSeries, CircuitBoardBreathingMatchesTheIndependentMeasurement) {
    ImageStack stack;
    if (!loadShared("pcb", 7, stack)) GTEST_SKIP() << "no shared series at " << ORVANTA_SHARED_DATA;
    const AlignmentReport r = alignStack(stack, AlignOptions{});
    EXPECT_EQ(r.reference, 4);
    EXPECT_EQ(r.notConverged(), 0);
    EXPECT_NEAR(r.pictures[0].similarity.scale / 0.979, 1.0, 0.002);
    EXPECT_NEAR(r.pictures[6].similarity.scale / 1.017, 1.0, 0.002);
    // Scales grow through the series, as the focus moves from near to far.
    for (int n = 1; n < 7; ++n) EXPECT_LT(r.pictures[std::size_t(n - 1)].similarity.scale, r.pictures[std::size_t(n)].similarity.scale);
}

// The beetle's neighbours differ by a breathing of 0.05 to 0.15 % and a drifting flash: so little
// that broadly, with the detail smoothed away, a right map and no move match equally well. That
// must not refuse the maps: every picture is placed, none warned about, scales growing through the
// series as on the circuit board.
TEST(RealSeries, BeetleBreathingIsFollowedWithoutWarnings) {
    ImageStack stack;
    if (!loadShared("beetle", 10, stack)) GTEST_SKIP() << "no shared series at " << ORVANTA_SHARED_DATA;
    const AlignmentReport r = alignStack(stack, AlignOptions{});
    EXPECT_EQ(r.reference, 5);
    EXPECT_EQ(r.notConverged(), 0);
    EXPECT_GT(r.pictures[0].similarity.scale, 1.002);
    EXPECT_LT(r.pictures[9].similarity.scale, 0.996);
}

} // namespace
} // namespace orv
