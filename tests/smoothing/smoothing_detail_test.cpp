// The smoothing pass's detail test is judged in method 0's units whatever method is ticked, while
// the focus comparison with a candidate keeps the ticked method.
#include "scene.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

constexpr Rgb kWeak{160, 100, 100};   // 60 away from the grey around it
constexpr Rgb kBetter{110, 100, 100}; // 10 away

// Block (10, 10) of a 40 x 40 montage (increment 10) sits badly against the grey around it; picture
// 2 has a block there that joins far better and has more detail under every method (two white
// pixels on its main diagonal).
Scene sceneWith(FocusMethod method) {
    Scene s(40, 40, 2);
    for (int p : {1, 100}) s.block(p, 10, 10, 10, kWeak);
    s.detailedBlock(2, 10, 10, 10, kBetter);
    s.set(2, 13, 13, Rgb{255, 255, 255});
    s.plainMap(10);
    s.focus.method = method;
    return s;
}

// Detail along the block's main diagonal, `step` apart in every channel: the detail test's figure
// is 8 x 3 x step^2 / 20 in method 0's units, 8 x 3 x step / 20 in method 1's, 8 x step / 20 in a
// single colour's.
void diagonalDetail(Scene& s, int step) {
    for (int i = 0; i < 10; ++i)
        s.set(100, 10 + i, 10 + i, i % 2 ? Rgb{160 + step, 100 + step, 100 + step} : kWeak);
}

class DetailTest : public ::testing::TestWithParam<FocusMethod> {};

// A step of 20 gives 480 in method 0's units, above the default diffFactor of 100: a detailed block
// is left alone. Judged in the ticked method's own units (24 for method 1, 8 for one colour) it
// would count as low-detail and be swapped for the blurrier-edged candidate.
TEST_P(DetailTest, ADetailedBlockIsKeptUnderEveryMethod) {
    Scene s = sceneWith(GetParam());
    diagonalDetail(s, 20);
    const Rgb before = s.at(100, 12, 10);
    const SmoothResult r = smoothMontage(s.input(10));
    EXPECT_EQ(r.replaced, 0);
    EXPECT_EQ(s.at(100, 12, 10), before);
    EXPECT_EQ(s.map[13], '1');
}

// A step of 2 gives 4.8 in method 0's units: the block is low-detail under every method and is
// replaced (the candidate's measure differs from the block's under every method).
TEST_P(DetailTest, ALowDetailBlockIsStillReplacedUnderEveryMethod) {
    Scene s = sceneWith(GetParam());
    diagonalDetail(s, 2);
    const SmoothResult r = smoothMontage(s.input(10));
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(s.at(100, 12, 10), s.at(2, 12, 10));
    EXPECT_EQ(s.map[13], '2');
}

// diffFactor keeps its meaning: raised above 480 it lets the detailed block through again.
TEST_P(DetailTest, DiffFactorKeepsItsScale) {
    Scene s = sceneWith(GetParam());
    diagonalDetail(s, 20);
    SmoothingSettings settings;
    settings.diffFactor = 481;
    EXPECT_EQ(smoothMontage(s.input(10, settings)).replaced, 1);
    Scene t = sceneWith(GetParam());
    diagonalDetail(t, 20);
    settings.diffFactor = 480;
    EXPECT_EQ(smoothMontage(t.input(10, settings)).replaced, 0);
}

INSTANTIATE_TEST_SUITE_P(SmoothingPass, DetailTest,
                         ::testing::Values(FocusMethod::ColorSpace3D, FocusMethod::LinearColor,
                                           FocusMethod::Red, FocusMethod::Green, FocusMethod::Blue),
                         [](const auto& info) { return "Method" + std::to_string(int(info.param)); });

// The candidate's block differs from the montage's only in green. The focus comparison is made in
// the ticked method: red-only sees no focus change and keeps the block; green-only and method 0
// see one and replace it.
TEST(SmoothingPassFocusComparison, KeepsTheTickedMethod) {
    for (const auto& [method, replaced] : {std::pair{FocusMethod::Red, 0}, std::pair{FocusMethod::Green, 1},
                                           std::pair{FocusMethod::ColorSpace3D, 1}}) {
        Scene s = sceneWith(method);
        s.block(2, 10, 10, 10, kBetter);
        s.set(2, 15, 15, Rgb{110, 200, 100}); // on the main diagonal, green only
        EXPECT_EQ(smoothMontage(s.input(10)).replaced, replaced) << "method " << int(method);
    }
}

} // namespace
