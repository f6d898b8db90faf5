// Painting from a source into a montage: what a stroke copies and blends, where its dabs lie, the
// brightness match, and undo byte for byte.
#include "retouch/retouch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace orv::retouch {
namespace {

// A picture in memory, top row first.
struct Picture {
    int width, height;
    std::vector<std::uint8_t> bytes;
    Picture(int w, int h) : width(w), height(h), bytes(std::size_t(w) * h * 3) {}
    std::uint8_t* at(int x, int y) { return bytes.data() + (std::size_t(y) * width + x) * 3; }
    Raster raster() { return Raster{bytes.data(), width, height, std::ptrdiff_t(width) * 3}; }
    SourcePlacement placement(int dx = 0, int dy = 0) const {
        return SourcePlacement{bytes.data(), width, height, std::ptrdiff_t(width) * 3, dx, dy};
    }
};

// Noise around `level` in every channel, the same for every seed.
Picture noise(int w, int h, int level, unsigned seed) {
    Picture p(w, h);
    std::mt19937 g(seed);
    std::uniform_int_distribution<int> d(-20, 20);
    for (auto& b : p.bytes) b = std::uint8_t(level + d(g));
    return p;
}

double nearestDab(const std::vector<std::pair<double, double>>& dabs, int x, int y) {
    double best = 1e9;
    for (const auto& [cx, cy] : dabs) best = std::min(best, std::hypot(x - cx, y - cy));
    return best;
}

Stroke stroke(Brush b, std::vector<PathPoint> path, int picture = 1) { return Stroke{picture, b, std::move(path)}; }

struct DabCase {
    const char* name;
    std::vector<PathPoint> path;
    int radius;
    std::vector<std::pair<double, double>> dabs;
};

class DabSpacing : public ::testing::TestWithParam<DabCase> {};

TEST_P(DabSpacing, EveryQuarterRadiusAlongThePath) {
    const DabCase& c = GetParam();
    const auto dabs = dabCentres(c.path, c.radius);
    ASSERT_EQ(dabs.size(), c.dabs.size());
    for (std::size_t i = 0; i < dabs.size(); ++i) {
        EXPECT_NEAR(dabs[i].first, c.dabs[i].first, 1e-9) << i;
        EXPECT_NEAR(dabs[i].second, c.dabs[i].second, 1e-9) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DabSpacing,
    ::testing::Values(DabCase{"OnePoint", {{5, 6}}, 8, {{5, 6}}},
                      DabCase{"StraightLine", {{0, 0}, {8, 0}}, 8, {{0, 0}, {2, 0}, {4, 0}, {6, 0}, {8, 0}}},
                      DabCase{"EndBetweenSpacings", {{0, 0}, {0, 5}}, 8, {{0, 0}, {0, 2}, {0, 4}, {0, 5}}},
                      // The distance carries over the corner: 3 along the first leg, 1 more round it.
                      DabCase{"AroundACorner", {{0, 0}, {3, 0}, {3, 4}}, 8, {{0, 0}, {2, 0}, {3, 1}, {3, 3}, {3, 4}}},
                      DabCase{"RepeatedPoint", {{4, 4}, {4, 4}, {8, 4}}, 16, {{4, 4}, {8, 4}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrushWeight, HardEdgeInsideTheRadiusSoftEdgeOverTheOuterPart) {
    const Brush hard{10, 100, 100, false};
    EXPECT_EQ(brushWeight(hard, 0), 1);
    EXPECT_EQ(brushWeight(hard, 10), 1);
    EXPECT_EQ(brushWeight(hard, 10.01), 0);
    const Brush half{10, 50, 100, false};
    EXPECT_EQ(brushWeight(half, 5), 1);
    EXPECT_NEAR(brushWeight(half, 7.5), 0.5, 1e-12);
    EXPECT_EQ(brushWeight(half, 10), 0);
    const Brush soft{10, 0, 100, false};
    double last = 1;
    for (double d = 0.5; d <= 10; d += 0.5) {
        EXPECT_LT(brushWeight(soft, d), last) << d;
        last = brushWeight(soft, d);
    }
}

TEST(Stroke, HardFullStrokeCopiesTheSourceInsideTheRadiusAndNothingOutside) {
    Picture montage = noise(80, 60, 100, 1);
    const Picture before = montage;
    const Picture source = noise(80, 60, 160, 2);
    const Stroke s = stroke(Brush{7, 100, 100, false}, {{10, 12}, {50, 30}, {52, 50}});
    paintStroke(montage.raster(), source.placement(), s);
    const auto dabs = dabCentres(s.path, 7);
    int inside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 80; ++x) {
            const bool in = nearestDab(dabs, x, y) <= 7;
            inside += in;
            const std::uint8_t* want = in ? source.bytes.data() + (std::size_t(y) * 80 + x) * 3
                                          : before.bytes.data() + (std::size_t(y) * 80 + x) * 3;
            ASSERT_EQ(0, std::memcmp(montage.at(x, y), want, 3)) << x << "," << y << (in ? " inside" : " outside");
        }
    EXPECT_GT(inside, 600);
}

TEST(Stroke, SoftStrokeBlendsByOpacityTimesTheStrongestWeight) {
    Picture montage(60, 60);
    for (auto& b : montage.bytes) b = 40;
    Picture source(60, 60);
    for (auto& b : source.bytes) b = 240;
    const Brush b{12, 0, 50, false};
    paintStroke(montage.raster(), source.placement(), stroke(b, {{30, 30}}));
    for (int x = 30; x <= 44; ++x) {
        const double want = 40 + 200 * 0.5 * brushWeight(b, x - 30);
        EXPECT_EQ(montage.at(x, 30)[1], std::uint8_t(std::lround(want))) << x;
    }
    // Two dabs over the same pixel do not build up: the centre is half way, not three quarters.
    Picture twice(60, 60);
    for (auto& v : twice.bytes) v = 40;
    paintStroke(twice.raster(), source.placement(), stroke(b, {{30, 30}, {30, 30}, {31, 30}, {30, 30}}));
    EXPECT_EQ(twice.at(30, 30)[0], 140);
}

TEST(Stroke, ThePlacementPicksTheSourcePixelAndUnreachedPixelsStay) {
    Picture montage(40, 40);
    Picture source(40, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) source.at(x, y)[0] = std::uint8_t(x + 100), source.at(x, y)[1] = std::uint8_t(y);
    // Montage pixel (x, y) came from source pixel (x + 5, y - 3).
    paintStroke(montage.raster(), source.placement(5, -3), stroke(Brush{4, 100, 100, false}, {{36, 2}}));
    EXPECT_EQ(montage.at(34, 4)[0], 139);
    EXPECT_EQ(montage.at(34, 4)[1], 1);
    EXPECT_EQ(montage.at(35, 2)[0], 0) << "source column 40 is beyond the picture";
    EXPECT_EQ(montage.at(36, 1)[1], 0) << "source row -2 is beyond the picture";
}

TEST(Stroke, UndoPutsEveryByteBackAndPaintingAgainRedoesIt) {
    Picture montage = noise(300, 200, 120, 3);
    const Picture original = montage;
    const Picture sourceA = noise(300, 200, 90, 4), sourceB = noise(300, 200, 150, 5);
    StrokeRecord first = paintStroke(montage.raster(), sourceA.placement(), stroke(Brush{30, 40, 80, true}, {{0, 0}, {150, 120}}));
    const Picture afterFirst = montage;
    StrokeRecord second = paintStroke(montage.raster(), sourceB.placement(2, 1), stroke(Brush{50, 90, 100, false}, {{140, 100}, {299, 199}}));
    const Picture afterSecond = montage;
    EXPECT_NE(afterFirst.bytes, original.bytes);
    EXPECT_NE(afterSecond.bytes, afterFirst.bytes);
    second.undo(montage.raster());
    EXPECT_EQ(montage.bytes, afterFirst.bytes);
    first.undo(montage.raster());
    EXPECT_EQ(montage.bytes, original.bytes);
    // Redo: the same strokes on the same montage give the same bytes.
    first = paintStroke(montage.raster(), sourceA.placement(), stroke(Brush{30, 40, 80, true}, {{0, 0}, {150, 120}}));
    second = paintStroke(montage.raster(), sourceB.placement(2, 1), stroke(Brush{50, 90, 100, false}, {{140, 100}, {299, 199}}));
    EXPECT_EQ(montage.bytes, afterSecond.bytes);
}

// Strokes that overlap and strokes that do not, folded into the first one's record: undoing that
// record alone puts back every byte both strokes changed, and each tile is kept only once.
TEST(Stroke, AStrokeFoldedIntoAnEarlierOneComesOffWithIt) {
    Picture montage = noise(300, 200, 120, 3);
    const Picture original = montage;
    const Picture sourceA = noise(300, 200, 90, 4), sourceB = noise(300, 200, 150, 5);
    StrokeRecord first = paintStroke(montage.raster(), sourceA.placement(), stroke(Brush{30, 40, 80, true}, {{0, 0}, {150, 120}}));
    StrokeRecord second = paintStroke(montage.raster(), sourceB.placement(2, 1), stroke(Brush{50, 90, 100, false}, {{140, 100}, {299, 199}}));
    const double gain[3] = {second.gain()[0], second.gain()[1], second.gain()[2]};
    const std::size_t apart = first.bytesKept() + second.bytesKept();
    second.foldInto(first);
    EXPECT_LT(first.bytesKept() + second.bytesKept(), apart);
    EXPECT_TRUE(std::equal(gain, gain + 3, second.gain()));
    const Picture painted = montage;
    EXPECT_TRUE(second.undo(montage.raster()).empty());
    EXPECT_EQ(montage.bytes, painted.bytes);
    first.undo(montage.raster());
    EXPECT_EQ(montage.bytes, original.bytes);
}

// The mean level just inside a single dab's edge against just outside it, as a share of the level.
double edgeStep(Picture& montage, int cx, int cy, int r) {
    double in = 0, out = 0;
    int nIn = 0, nOut = 0;
    for (int y = 0; y < montage.height; ++y)
        for (int x = 0; x < montage.width; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            const std::uint8_t* p = montage.at(x, y);
            const double level = (p[0] + p[1] + p[2]) / 3.0;
            if (d > r - 4 && d <= r) in += level, ++nIn;
            if (d > r && d <= r + 4) out += level, ++nOut;
        }
    return std::abs(in / nIn - out / nOut) / (out / nOut);
}

TEST(Stroke, MatchingBrightnessRemovesTheStepAtTheEdge) {
    const Picture base = noise(200, 200, 110, 6);
    Picture brighter = base;
    for (auto& b : brighter.bytes) b = std::uint8_t(std::lround(b * 1.1));
    for (bool match : {false, true}) {
        Picture montage = base;
        StrokeRecord r = paintStroke(montage.raster(), brighter.placement(), stroke(Brush{40, 100, 100, match}, {{100, 100}}));
        const double step = edgeStep(montage, 100, 100, 40);
        if (match) {
            EXPECT_LT(step, 0.01);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(r.gain()[c], 1 / 1.1, 0.01);
        } else {
            EXPECT_GT(step, 0.08) << "the source is 10 % brighter";
        }
    }
}

TEST(Stroke, PaintedDabByDabItEndsAsTheWholeStroke) {
    // The desktop program paints as the mouse moves; the batch program paints the whole path.
    const Picture source = noise(120, 90, 170, 7);
    Picture whole = noise(120, 90, 100, 8);
    Picture moved = whole;
    const Stroke s = stroke(Brush{15, 60, 70, true}, {{10, 10}, {40, 20}, {41, 22}, {90, 70}});
    paintStroke(whole.raster(), source.placement(), s);
    StrokeRecord live(moved.raster(), source.placement(), s.brush);
    for (const PathPoint& p : s.path) live.lineTo(p.x, p.y);
    live.finish();
    EXPECT_EQ(moved.bytes, whole.bytes);
    EXPECT_EQ(live.path(), s.path);
}

TEST(Stroke, ABrushPartlyOutsideTheMontagePaintsOnlyInside) {
    Picture montage(20, 20);
    const Picture source = noise(20, 20, 200, 9);
    StrokeRecord r = paintStroke(montage.raster(), source.placement(), stroke(Brush{6, 100, 100, false}, {{-3, -3}, {25, -3}}));
    EXPECT_EQ(0, std::memcmp(montage.at(0, 0), source.bytes.data(), 3));
    EXPECT_EQ(montage.at(10, 10)[0], 0);
    r.undo(montage.raster());
    EXPECT_EQ(montage.bytes, std::vector<std::uint8_t>(20 * 20 * 3, 0));
}

// A path may run far outside the montage (a strokes file allows a million pixels): the dabs out
// there are passed over, not laid one by one, and those within reach lie where the walk puts them.
TEST(Stroke, APathFarOutsideTheMontageIsPassedOverAndPaintsAsOneInside) {
    const std::vector<PathPoint> diagonal = {{-1000000, -999990}, {1000000, 1000010}, {-1000000, -999985}};
    const auto all = dabCentres(diagonal, 4);
    const auto laid = dabCentres(diagonal, 4, 60, 40);
    EXPECT_LT(laid.size(), 1000u);
    // Those of the walk within reach of the montage (4 + ring 2 + 2 pixels) are among those laid.
    int within = 0;
    for (const auto& [x, y] : all) {
        if (x < -8 || x > 67 || y < -8 || y > 47) continue;
        ++within;
        double nearest = 1e9;
        for (const auto& [lx, ly] : laid) nearest = std::min(nearest, std::hypot(lx - x, ly - y));
        EXPECT_LT(nearest, 1e-6) << x << "," << y;
    }
    EXPECT_GT(within, 100);

    // Painted across the montage from a million pixels away: as from just outside it.
    const Picture source = noise(60, 40, 180, 3);
    Picture far = noise(60, 40, 90, 4);
    Picture near = far;
    const Brush b{4, 50, 80, true};
    paintStroke(far.raster(), source.placement(), stroke(b, {{-1000000, 20}, {1000000, 20}}));
    paintStroke(near.raster(), source.placement(), stroke(b, {{-40, 20}, {100, 20}}));
    EXPECT_EQ(far.bytes, near.bytes);
}

} // namespace
} // namespace orv::retouch
