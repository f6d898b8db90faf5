// The offset target without windows: its sizes from twips, the press test that starts a drag,
// moving and centring, and the status text.
#include "support/case_name.h"
#include "session/offset_target.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

TEST(OffsetTarget, StartsAtTheTopLeftCornerWithSizesFromTwips) {
    const OffsetTarget t = OffsetTarget::initial(15, 15);
    EXPECT_EQ(t.outer, (MarkerBox{0, 0, 26, 26}));
    EXPECT_EQ(t.inner, (MarkerBox{8, 8, 10, 10}));
    EXPECT_EQ(t.centre(), (ImageOffset{13, 13}));
    // 12 twips per pixel (120 dots per inch): 32.5 pixels across, centre 16.25.
    const OffsetTarget big = OffsetTarget::initial(12, 12);
    EXPECT_DOUBLE_EQ(big.outer.width, 32.5);
    EXPECT_DOUBLE_EQ(big.inner.left + big.inner.width / 2, 16.25);
    EXPECT_EQ(big.centre(), (ImageOffset{16, 16}));
}

struct PressCase {
    double x, y;
    bool drags;
};

class PressTest : public ::testing::TestWithParam<PressCase> {};

// Marker 1's corner is at (8, 8) and marker 0 is 26 x 26: a press 26 or more away across or down
// starts nothing, even inside marker 0's box.
TEST_P(PressTest, MeasuresFromTheInnerMarkersCornerByTheOuterMarkersSize) {
    const OffsetTarget t = OffsetTarget::initial(15, 15);
    EXPECT_EQ(t.pressStartsDrag(GetParam().x, GetParam().y), GetParam().drags);
    OffsetTarget moved = t;
    moved.moveBy(100, 50);
    EXPECT_EQ(moved.pressStartsDrag(GetParam().x + 100, GetParam().y + 50), GetParam().drags);
}

INSTANTIATE_TEST_SUITE_P(Boundary, PressTest,
                         ::testing::Values(PressCase{8, 8, true}, PressCase{33, 8, true}, PressCase{34, 8, false},
                                           PressCase{8, 33, true}, PressCase{8, 34, false}, PressCase{-17, 8, true},
                                           PressCase{-18, 8, false}, PressCase{33.9, 33.9, true},
                                           PressCase{8, -18, false}),
                         [](const auto& info) {
                             return "at_" + orv::testing::caseName(info.param.x) + "_" + orv::testing::caseName(info.param.y);
                         });

TEST(OffsetTarget, MovesAndCentresBothMarkersTogether) {
    OffsetTarget t = OffsetTarget::initial(15, 15);
    t.moveBy(30, -4);
    EXPECT_EQ(t.outer, (MarkerBox{30, -4, 26, 26}));
    EXPECT_EQ(t.inner, (MarkerBox{38, 4, 10, 10}));
    t.centreOn(152, 98);
    EXPECT_EQ(t.outer, (MarkerBox{139, 85, 26, 26}));
    EXPECT_EQ(t.inner, (MarkerBox{147, 93, 10, 10}));
    EXPECT_EQ(t.centre(), (ImageOffset{152, 98}));
}

// A target past a picture's edge is shown on its nearest pixel; a drag takes it from there and
// keeps its centre on the picture. Without a picture only the 16-bit range holds it.
TEST(OffsetTarget, IsShownAndDraggedWithinThePicture) {
    OffsetTarget t = OffsetTarget::initial(15, 15);
    t.centreOn(-40, 500);
    EXPECT_EQ(t.within(120, 90).centre(), (ImageOffset{0, 89}));
    EXPECT_EQ(t.within(120, 90).inner.left - t.within(120, 90).outer.left, 8);
    EXPECT_EQ(t.within(0, 0).outer, t.outer);
    EXPECT_EQ(t.centre(), (ImageOffset{-40, 500}));
    t.dragBy(5, -10, 120, 90);
    EXPECT_EQ(t.centre(), (ImageOffset{5, 79}));
    t.dragBy(1000, 1000, 120, 90);
    EXPECT_EQ(t.centre(), (ImageOffset{119, 89}));
    t.dragBy(-7.5, 0, 120, 90);
    EXPECT_DOUBLE_EQ(t.outer.left + t.outer.width / 2, 111.5);

    t.dragBy(40000, -40000, 0, 0);
    EXPECT_EQ(t.centre(), (ImageOffset{32767, -32768}));
}

TEST(OffsetStatus, ListsEveryVisiblePictureWithItsBlanks) {
    EXPECT_EQ(offsetStatusText({{1, {152, 98}}, {2, {160, 95}}}),
              "     Image 1 = 152 , 98    Image 2 = 160 , 95");
    EXPECT_EQ(offsetStatusText({}), " ");
    EXPECT_EQ(offsetStatusText({{12, {-5, 0}}}), "     Image 12 = -5 , 0");
}

} // namespace
