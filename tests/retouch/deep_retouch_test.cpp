// A stroke painted again at full depth: the 8-bit view of the deep montage after the stroke is the
// 8-bit montage after the same stroke, within the level the two roundings may differ by, and
// pixels the stroke or the source does not reach keep their 16-bit values.
#include "retouch/deep_retouch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

namespace orv::retouch {
namespace {

// A deep picture with values that are no 8-bit value times 257, and the 8-bit view of it, top
// row first, blue, green, red.
struct Pair {
    DeepPicture deep;
    std::vector<std::uint8_t> eight;
    Raster raster(int w, int h) { return Raster{eight.data(), w, h, std::ptrdiff_t(w) * 3}; }
};

Pair noise(int w, int h, int level, unsigned seed) {
    Pair p{DeepPicture(w, h, 3, 16), std::vector<std::uint8_t>(std::size_t(w) * h * 3)};
    std::mt19937 g(seed);
    std::uniform_int_distribution<int> d(-5000, 5000);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const std::uint16_t v = std::uint16_t(level * 257 + d(g) + 1000 * c);
                p.deep.row(y)[x * 3 + c] = v;
                p.eight[(std::size_t(y) * w + x) * 3 + std::size_t(2 - c)] = eightBitsOf(v);
            }
    return p;
}

struct DeepStrokeCase {
    const char* name;
    Brush brush;
    std::vector<PathPoint> path;
    int dx, dy; // where the source lies under the montage
};

void PrintTo(const DeepStrokeCase& c, std::ostream* os) { *os << c.name; }

class DeepStroke : public ::testing::TestWithParam<DeepStrokeCase> {};

TEST_P(DeepStroke, ItsViewIsTheEightBitStroke) {
    const DeepStrokeCase& c = GetParam();
    const int W = 90, H = 70;
    Pair montage = noise(W, H, 90, 1), source = noise(W + 10, H + 10, 170, 2);
    const Pair untouched = montage;
    const SourcePlacement eightSource{source.eight.data(), W + 10, H + 10, std::ptrdiff_t(W + 10) * 3, c.dx, c.dy};
    const StrokeRecord record = paintStroke(montage.raster(W, H), eightSource, Stroke{1, c.brush, c.path});
    const double* g = record.gain();
    const Rect area = paintDeepStroke(montage.deep, DeepPlacement{&source.deep, c.dx, c.dy}, Stroke{1, c.brush, c.path},
                                      {g[0], g[1], g[2]});
    EXPECT_FALSE(area.empty());
    int changed = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const int eight = montage.eight[(std::size_t(y) * W + x) * 3 + std::size_t(2 - ch)];
                const std::uint16_t deep = montage.deep.at(x, y, ch);
                ASSERT_LE(std::abs(eightBitsOf(deep) - eight), 1) << x << "," << y;
                if (deep != untouched.deep.at(x, y, ch)) {
                    ++changed;
                    EXPECT_TRUE(x >= area.x0 && x < area.x1 && y >= area.y0 && y < area.y1) << x << "," << y;
                }
                // Where the 8-bit stroke left the montage alone, the deep one moved by less than
                // the two roundings apart.
                if (eight == untouched.eight[(std::size_t(y) * W + x) * 3 + std::size_t(2 - ch)] &&
                    std::abs(int(deep) - int(untouched.deep.at(x, y, ch))) > 2 * 257)
                    ADD_FAILURE() << "moved where the 8-bit stroke did not: " << x << "," << y << " channel " << ch;
            }
    EXPECT_GT(changed, 100);
}

INSTANTIATE_TEST_SUITE_P(
    Brushes, DeepStroke,
    ::testing::Values(DeepStrokeCase{"hard_full", Brush{12, 100, 100, false}, {{20, 20}, {60, 30}}, 0, 0},
                      DeepStrokeCase{"soft_half_opacity", Brush{15, 20, 50, false}, {{30, 40}, {50, 20}, {70, 50}}, 3, 4},
                      DeepStrokeCase{"matched_brightness", Brush{10, 50, 100, true}, {{25, 35}, {65, 35}}, 5, 5},
                      // The source ends inside the stroke: pixels it does not reach stay.
                      DeepStrokeCase{"source_cut_short", Brush{14, 60, 80, true}, {{10, 10}, {40, 20}}, -15, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeepStroke, AGreyMontageTakesTheGreenGain) {
    DeepPicture montage(20, 20, 1, 16), source(20, 20, 1, 16);
    std::fill(montage.samples.begin(), montage.samples.end(), std::uint16_t(10000));
    std::fill(source.samples.begin(), source.samples.end(), std::uint16_t(20000));
    paintDeepStroke(montage, DeepPlacement{&source, 0, 0}, Stroke{1, Brush{5, 100, 100, true}, {{10, 10}}}, {4.0, 0.5, 4.0});
    EXPECT_EQ(montage.at(10, 10, 0), 10000); // 20000 x 0.5
    EXPECT_EQ(montage.at(0, 0, 0), 10000);
    paintDeepStroke(montage, DeepPlacement{&source, 0, 0}, Stroke{1, Brush{5, 100, 100, true}, {{10, 10}}}, {1.0, 4.0, 1.0});
    EXPECT_EQ(montage.at(10, 10, 0), 65535); // kept within range
}

} // namespace
} // namespace orv::retouch
