// A long stroke keeps no more memory than the montage it touches: a strokes file may lay millions
// of dabs (a 1-pixel brush drawn back and forth), and the brightness match must not hold each one.
#include "retouch/deep_retouch.h"
#include "retouch/retouch.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <vector>

namespace {

std::atomic<bool> counting{false};
std::atomic<long long> liveBytes{0}, peakBytes{0};

} // namespace

void* operator new(std::size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    if (counting) {
        const long long now = liveBytes += (long long)malloc_usable_size(p);
        long long peak = peakBytes;
        while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
        }
    }
    return p;
}
void operator delete(void* p) noexcept {
    if (p && counting) liveBytes -= (long long)malloc_usable_size(p);
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace orv::retouch {
namespace {

struct Picture {
    int width, height;
    std::vector<std::uint8_t> bytes;
    Picture(int w, int h, unsigned seed, int level) : width(w), height(h), bytes(std::size_t(w) * h * 3) {
        std::mt19937 g(seed);
        std::uniform_int_distribution<int> d(-20, 20);
        for (auto& b : bytes) b = std::uint8_t(level + d(g));
    }
    Raster raster() { return Raster{bytes.data(), width, height, std::ptrdiff_t(width) * 3}; }
    SourcePlacement placement() const { return SourcePlacement{bytes.data(), width, height, std::ptrdiff_t(width) * 3, 0, 0}; }
};

TEST(StrokeMemory, ALongStrokeKeepsNoMemoryPerDab) {
    const Picture source(64, 64, 1, 180);
    Picture montage(64, 64, 2, 90);
    Stroke s;
    s.brush = Brush{1, 50, 100, true};
    // About 700 000 dabs, back and forth across the montage.
    for (int i = 0; i < 2000; ++i) s.path.push_back(i % 2 ? PathPoint{63, 63} : PathPoint{0, i % 7});
    peakBytes = liveBytes = 0;
    counting = true;
    {
        StrokeRecord r = paintStroke(montage.raster(), source.placement(), s);
    }
    counting = false;
    // The montage is 12 KiB; its undo tile, weights and marks a few times that.
    EXPECT_LT(peakBytes.load(), 1LL << 20);
}

// The same stroke painted again at full depth walks its dabs without listing them.
TEST(StrokeMemory, ALongStrokePaintedAtFullDepthKeepsNoMemoryPerDab) {
    DeepPicture source(64, 64, 3, 16), montage(64, 64, 3, 16);
    std::fill(source.samples.begin(), source.samples.end(), std::uint16_t(50000));
    std::fill(montage.samples.begin(), montage.samples.end(), std::uint16_t(20000));
    Stroke s;
    s.brush = Brush{1, 50, 100, true};
    for (int i = 0; i < 2000; ++i) s.path.push_back(i % 2 ? PathPoint{63, 63} : PathPoint{0, i % 7});
    peakBytes = liveBytes = 0;
    counting = true;
    const Rect r = paintDeepStroke(montage, DeepPlacement{&source, 0, 0}, s, {1.0, 1.0, 1.0});
    counting = false;
    EXPECT_FALSE(r.empty());
    EXPECT_GT(montage.row(63)[63 * 3], 20000);
    // Weights over the 64 x 64 montage are 16 KiB; about 700 000 listed dabs were 11 MB.
    EXPECT_LT(peakBytes.load(), 1LL << 20);
}

// The brightness match's gain is the ratio of the montage's and the source's sums on the ring:
// pixels within the ring's width of a dab but outside every dab's radius, where the source reaches.
TEST(StrokeMemory, TheMatchedGainIsTheRingsRatio) {
    const Picture source(150, 110, 3, 170);
    for (const Brush b : {Brush{1, 50, 100, true}, Brush{9, 20, 70, true}, Brush{30, 80, 100, true}}) {
        Picture montage(150, 110, 4, 100);
        const Picture before = montage;
        const std::vector<PathPoint> path = {{-5, 3}, {40, 60}, {41, 61}, {140, 20}, {70, 108}, {160, 120}};
        const StrokeRecord r = paintStroke(montage.raster(), source.placement(), Stroke{1, b, path});
        const auto dabs = dabCentres(path, b.radius, 150, 110);
        const double reach = b.radius + matchRingWidth(b.radius);
        double sumM[3] = {0, 0, 0}, sumS[3] = {0, 0, 0};
        for (int y = 0; y < 110; ++y)
            for (int x = 0; x < 150; ++x) {
                bool near = false, inside = false;
                for (const auto& [cx, cy] : dabs) {
                    const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    near = near || d2 <= reach * reach;
                    inside = inside || d2 <= double(b.radius) * b.radius;
                }
                if (!near || inside) continue;
                for (int c = 0; c < 3; ++c) {
                    sumM[c] += before.bytes[(std::size_t(y) * 150 + x) * 3 + c];
                    sumS[c] += source.bytes[(std::size_t(y) * 150 + x) * 3 + c];
                }
            }
        for (int c = 0; c < 3; ++c) EXPECT_EQ(r.gain()[c], std::clamp(sumM[c] / sumS[c], 0.25, 4.0)) << b.radius;
    }
}

} // namespace
} // namespace orv::retouch
