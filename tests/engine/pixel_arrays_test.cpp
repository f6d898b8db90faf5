// The pixel arrays: rounding, placement, readers, the same-size warning, write-back.
#include "support/case_name.h"
#include "engine_fixtures.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

TEST(PixelArrays, SidesRoundUpToFourAndMarginsReadBlack) {
    Series s;
    MemorySurface& p = s.add(101, 75);
    for (int r = 0; r < 75; ++r)
        for (int c = 0; c < 101; ++c) p.setPixel(c, r, 9, 9, 9);
    p.setPixel(0, 0, 1, 2, 3); // top-left picture pixel
    PixelArrays mp;
    s.fill(mp, 101, 75);
    EXPECT_EQ(mp.stack.width(), 104);
    EXPECT_EQ(mp.stack.height(), 76);
    EXPECT_EQ(mp.stack.lastColumn, 103);
    EXPECT_EQ(mp.pointRed(0, 74, 1), 3); // picture row 0 is array row h - 1
    EXPECT_EQ(mp.pointBlue(0, 74, 1), 1);
    EXPECT_EQ(mp.pointRed(100, 0, 1), 9);
    EXPECT_EQ(mp.pointRed(101, 0, 1), 0);  // margin column
    EXPECT_EQ(mp.pointRed(0, 75, 1), 0);   // margin row
    EXPECT_EQ(mp.pointRed(104, 0, 1), 0);  // beyond the array
    EXPECT_EQ(mp.pointRed(0, 76, 1), 0);
    EXPECT_EQ(mp.pointRed(0, 0, 2), 0);    // beyond the picture count
}

TEST(PixelArrays, PictureIndexAbove99NamesAMontageSlot) {
    Series s;
    s.add(8, 8).setPixel(1, 7, 0, 0, 50);
    PixelArrays mp;
    s.fill(mp, 8, 8);
    mp.montage.slot(100)[2 + 3 * (1 + 8 * 0)] = 77;
    EXPECT_EQ(mp.pointRed(1, 0, 100), 77);
    EXPECT_EQ(mp.pointRed(1, 0, 1), 50);
    EXPECT_EQ(mp.pointRed(1, 0, 101), 0); // an unfilled comparison slot reads black
    EXPECT_EQ(mp.pointRed(1, 0, 105), 0);
}

TEST(PixelArrays, WriteBackIsTheReverseOfTheFill) {
    Series s;
    MemorySurface& p = s.add(5, 3);
    p.setPixel(4, 0, 10, 20, 30);
    PixelArrays mp;
    s.fill(mp, 5, 3);
    mp.montage.slot(100) = mp.stack.pictures[0];
    MemorySurface out(5, 3);
    mp.showMontageArray(out);
    EXPECT_EQ(out.pixelAt(4, 0)[2], 30);
    EXPECT_EQ(out.pixelAt(4, 0)[0], 10);
    EXPECT_EQ(out.pixelAt(0, 2)[0], 0);
}

struct SizeCase {
    int largerPicture;   // 0: none
    bool ignoreIt;
    bool comparison;
    int expectedWarnings;
};

class SameSizeCheck : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SameSizeCheck, WarnsForEveryPictureFrom2OnThatIsNotIgnored) {
    const SizeCase c = GetParam();
    Series s;
    for (int n = 1; n <= 12; ++n) n == c.largerPicture ? s.add(12, 10) : s.add(8, 6);
    MessageList shown;
    SizeCheck check;
    check.messages = &shown;
    check.comparisonRun = c.comparison;
    if (c.ignoreIt && c.largerPicture) check.ignored[std::size_t(c.largerPicture - 1)] = true;
    PixelArrays mp;
    s.fill(mp, 8, 6, check);
    ASSERT_EQ(int(shown.size()), c.expectedWarnings);
    EXPECT_EQ(mp.stack.count, 12); // the fill goes on
    if (c.expectedWarnings) {
        EXPECT_EQ(shown[0].text, "Image " + std::to_string(c.largerPicture) +
                                     " has a different dimension (12,10) from Image 1 "
                                     "(8,6).   All images must be the same size.");
        EXPECT_EQ(shown[0].title, "You can edit each picture to the same size");
        EXPECT_EQ(shown[0].icon, PromptIcon::Critical);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, SameSizeCheck,
                         ::testing::Values(SizeCase{12, false, false, 1}, SizeCase{3, false, false, 1},
                                           SizeCase{3, true, false, 0}, SizeCase{3, false, true, 0},
                                           SizeCase{0, false, false, 0}),
                         [](const auto& info) {
                             const SizeCase& c = info.param;
                             if (c.largerPicture == 0) return std::string("all_the_same_size");
                             return "picture" + std::to_string(c.largerPicture) + "_larger" + (c.ignoreIt ? "_ignored" : "") +
                                    (c.comparison ? "_in_a_comparison" : "");
                         });

TEST(PixelArrays, ALargerPictureIsReadIntoTheFirstPicturesCells) {
    Series s;
    s.add(4, 4);
    MemorySurface& big = s.add(8, 8);
    big.setPixel(0, 7, 1, 1, 1); // bottom-left
    big.setPixel(5, 7, 2, 2, 2); // outside picture 1's width
    PixelArrays mp;
    s.fill(mp, 4, 4);
    EXPECT_EQ(mp.pointRed(0, 0, 2), 1);
    EXPECT_EQ(mp.stack.pictureWidth(2), 8);
    EXPECT_EQ(mp.pointRed(5, 0, 2), 0);
}
