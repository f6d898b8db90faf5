// The montage windows' window-free rules: the preview's nearest-neighbour scaling, marker centres,
// the map grid, caption look-up and the label text of CR LF texts.
#include "support/case_name.h"
#include "session/montage_rules.h"

#include "base/runtime_error.h"
#include "engine/picture_surface.h"

#include <gtest/gtest.h>

using namespace orv;

namespace {

// A stack of one picture whose cell (x, y) holds (x, y, 7), and a preview buffer of pw x ph.
PixelArrays arraysWith(int w, int h, int pw, int ph) {
    PixelArrays mp;
    mp.stack.lastColumn = std::int16_t(w - 1);
    mp.stack.lastRow = std::int16_t(h - 1);
    mp.stack.count = 1;
    mp.stack.sizes = {{w, h}};
    std::vector<std::uint8_t> cells(std::size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* c = &cells[3 * (std::size_t(y) * w + x)];
            c[0] = std::uint8_t(x);
            c[1] = std::uint8_t(y);
            c[2] = 7;
        }
    mp.stack.pictures = {cells};
    mp.preview.allocate(pw, ph);
    return mp;
}

std::pair<int, int> previewSource(const PixelArrays& mp, int px, int py) {
    const std::uint8_t* c = &mp.preview.bytes[3 * (std::size_t(py) * mp.preview.width() + px)];
    return {c[0], c[1]};
}

struct ScaleCase {
    int w, h, pw, ph;
    int px, py;     // a preview cell
    int sx, sy;     // the picture cell it shows
};

class PreviewScaling : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(PreviewScaling, NearestPictureCellWithTheEndsMeeting) {
    const ScaleCase& c = GetParam();
    PixelArrays mp = arraysWith(c.w, c.h, c.pw, c.ph);
    ASSERT_TRUE(scalePictureIntoPreview(mp, 1));
    EXPECT_EQ(previewSource(mp, 0, 0), std::make_pair(0, 0));
    EXPECT_EQ(previewSource(mp, c.pw - 1, c.ph - 1), std::make_pair(c.w - 1, c.h - 1));
    EXPECT_EQ(previewSource(mp, c.px, c.py), std::make_pair(c.sx, c.sy));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PreviewScaling,
    ::testing::Values(ScaleCase{8, 8, 8, 8, 5, 3, 5, 3},          // same size: every cell
                      ScaleCase{100, 60, 320, 240, 160, 119, 50, 29}, // 160 / 3.2222 = 49.66
                      ScaleCase{200, 100, 100, 52, 50, 26, 101, 50},  // 50 / 0.4975 = 100.51, 26 / 0.5152 = 50.47
                      ScaleCase{16, 8, 4, 4, 1, 2, 5, 5}),           // 1 / 0.2 = 5, 2 / (3/7) = 4.67
    [](const auto& info) {
        const ScaleCase& c = info.param;
        return std::to_string(c.w) + "x" + std::to_string(c.h) + "_into_" + std::to_string(c.pw) + "x" + std::to_string(c.ph);
    });

TEST(PreviewScaling, MontageSlotsAndMissingPictures) {
    PixelArrays mp = arraysWith(4, 4, 8, 8);
    EXPECT_FALSE(scalePictureIntoPreview(mp, 2));   // no picture 2
    EXPECT_FALSE(scalePictureIntoPreview(mp, 101)); // slot not filled
    mp.montage.lastColumn = 3;
    mp.montage.lastRow = 3;
    mp.montage.slot(100).assign(4 * 4 * 3, 200);
    ASSERT_TRUE(scalePictureIntoPreview(mp, 100));
    EXPECT_EQ(mp.preview.bytes.front(), 200);
    EXPECT_EQ(mp.preview.bytes.back(), 200);
}

// Cells are rounded up to multiples of 4; the cells past the picture's own last column and row
// are black padding, and the preview's last pixels show the picture's last pixel, not the padding.
TEST(PreviewScaling, LeavesOutTheCellsPastThePicturesOwnSides) {
    PixelArrays mp = arraysWith(84, 64, 320, 240);
    mp.stack.sizes = {{81, 61}};
    ASSERT_TRUE(scalePictureIntoPreview(mp, 1));
    EXPECT_EQ(previewSource(mp, 0, 0), std::make_pair(0, 0));
    EXPECT_EQ(previewSource(mp, 319, 239), std::make_pair(80, 60));

    // A montage slot's own size comes from the caller; without it every cell is scaled.
    mp.montage.lastColumn = 83;
    mp.montage.lastRow = 63;
    mp.montage.slot(100) = mp.stack.pictures[0];
    ASSERT_TRUE(scalePictureIntoPreview(mp, 100, 81, 61));
    EXPECT_EQ(previewSource(mp, 319, 239), std::make_pair(80, 60));
    ASSERT_TRUE(scalePictureIntoPreview(mp, 100));
    EXPECT_EQ(previewSource(mp, 319, 239), std::make_pair(83, 63));
}

TEST(MarkerCentre, RoundsHalvesToEven) {
    EXPECT_EQ(markerCentre(8, 8, 4, 4), (ImageOffset{10, 10}));
    EXPECT_EQ(markerCentre(10, 11, 5, 5), (ImageOffset{12, 14})); // 12.5 -> 12, 13.5 -> 14
    EXPECT_THROW(markerCentre(40000, 0, 0, 0), RuntimeError);
}

TEST(MapGrid, CountsTheBlockColumnsAndRowsTheLoopVisits) {
    EXPECT_EQ(mapGrid(100, 60, 20).columns, 5);
    EXPECT_EQ(mapGrid(100, 60, 20).rows, 3);
    EXPECT_EQ(mapGrid(100, 60, 30).columns, 4); // blocks at 0, 30, 60 and 90
    EXPECT_EQ(mapGrid(0, 0, 20).columns, 0);
}

TEST(ComparisonCaption, IsTheMethodsCaptionAndUsed) {
    EXPECT_EQ(comparisonCaption(4), "Preference Blue Focus used.");
}

TEST(DisplayText, EachLineEndIsOneBreak) {
    EXPECT_EQ(displayText("\r\n  a =1\r\n12\r\n34\r\n"), "\n  a =1\n12\n34\n");
    EXPECT_EQ(displayText("a\rb\nc"), "a\nb\nc");
}

} // namespace
