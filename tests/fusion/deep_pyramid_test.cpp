// Pyramid Focus at full depth: the choices of the 8-bit pass applied to the deep pictures in
// floating point. Identical pictures come back within 1 at 16 bits; a real merge stays with the
// 8-bit montage in its 8-bit view.
#include "fusion_fixtures.h"
#include "fusion/pyramid_focus.h"

#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <random>

using namespace orv;
using namespace orv::test;


TEST(DeepPyramid, IdenticalPicturesComeBackWithinOne) {
    const int W = 70, H = 50;
    const Painter paint = [](int x, int y) { return texture(x, y); };
    Stack s(W, H, {paint, paint, paint});
    const DeepPicture one = deepOf(s, 1, W, H, 7);
    PyramidFocusOptions o;
    o.increment = 10;
    o.deepPictures = {&one, &one, &one};
    const PyramidFocusResult r = s.fuse(o);
    ASSERT_TRUE(r.deep);
    ASSERT_EQ(r.deep->width, W);
    ASSERT_EQ(r.deep->height, H);
    int worst = 0;
    for (std::size_t i = 0; i < one.samples.size(); ++i)
        worst = std::max(worst, std::abs(int(r.deep->samples[i]) - int(one.samples[i])));
    EXPECT_LE(worst, 1);
}

TEST(DeepPyramid, AMergeAgreesWithTheEightBitMontage) {
    const int W = 80, H = 60;
    const SplitScene scene = splitScene(W, H, 40, 4);
    Stack s(W, H, {scene.left, scene.right});
    const DeepPicture a = deepOf(s, 1, W, H, 1), b = deepOf(s, 2, W, H, 2);
    PyramidFocusOptions o;
    o.increment = 10;
    o.deepPictures = {&a, &b};
    const PyramidFocusResult r = s.fuse(o);
    ASSERT_TRUE(r.deep);
    double sum = 0;
    int worst = 0, notMultiples = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Rgb m = s.at(x, y);
            const std::uint16_t* d = r.deep->row(H - 1 - y) + 3 * x;
            const int diffs[3] = {std::abs(eightBitsOf(d[0]) - m.r), std::abs(eightBitsOf(d[1]) - m.g),
                                  std::abs(eightBitsOf(d[2]) - m.b)};
            for (int k : diffs) {
                sum += k;
                worst = std::max(worst, k);
            }
            notMultiples += d[0] % 257 != 0;
        }
    EXPECT_LT(sum / (3.0 * W * H), 0.75);
    EXPECT_LE(worst, 4);
    EXPECT_GT(notMultiples, W * H / 2);
}

TEST(DeepPyramid, DeepPicturesOfAnotherSizeAreRefused) {
    const Painter paint = [](int x, int y) { return texture(x, y); };
    Stack s(40, 30, {paint, paint});
    DeepPicture small(39, 30, 3, 16);
    PyramidFocusOptions o;
    o.deepPictures = {&small, &small};
    EXPECT_THROW(s.fuse(o), RuntimeError);
}
