// The smoothing pass takes each replacement block from where Make Montage placed that picture:
// controls changed after the montage was made (a target dragged, offsets or a picture switched,
// another display area ticked) do not move the blocks it copies in.
#include "band_picture.h"

#include "base/error_sites.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

namespace orv {
namespace {

using testing::BandSessionRig;

struct PlacementCase {
    const char* name;
    bool madeWithOffsets;
    std::function<void(MontageRequest&)> changeAfterwards;
};

class SmoothingPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(SmoothingPlacement, ReplacementBlocksComeFromWhereTheMontagePlacedThePictures) {
    const PlacementCase& c = GetParam();
    BandSessionRig<> rig;
    MontageRequest r = rig.request();
    r.useOffsets = c.madeWithOffsets;
    OffsetTable targets{};
    targets[1] = {6, 4};
    targets[2] = {9, 7};
    targets[3] = {4, 2};
    r.targets = targets;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const MontageState& ms = rig.state.montage;
    // Where the montage took picture n's pixels from.
    const MontageGeometry made = ms.geometry;
    const OffsetTable placed = ms.offsets;

    // Eager factors: many blocks are replaced.
    r.smoothing = testing::kEagerSmoothing;
    c.changeAfterwards(r);
    const std::optional<SmoothResult> smoothed = rig.session.smooth({}, r, false, true, kSmoothRoutine, 0);
    ASSERT_TRUE(smoothed);
    ASSERT_GT(smoothed->replaced, 0);
    EXPECT_TRUE(rig.prompter.shown.empty());

    // Every block listed came from the picture the map names, at that picture's place.
    const PixelArrays& mp = ms.arrays;
    const std::string& map = rig.session.record({}).map;
    const std::regex position(R"(\((\d+),(\d+)\))");
    int checked = 0;
    for (std::sregex_iterator i(smoothed->report.begin(), smoothed->report.end(), position), end; i != end; ++i) {
        const int x = std::stoi((*i)[1]), y = std::stoi((*i)[2]);
        const int n = map[std::size_t((3 - y / 10) * 8 + x / 10)] - '0';
        ASSERT_GE(n, 1);
        ASSERT_LE(n, 3);
        ASSERT_FALSE(isIgnored(r.ignored, n)) << "block (" << x << "," << y << ")";
        const int xs = x + placed[std::size_t(n)].x - made.shiftX;
        const int ys = y + made.dY - placed[std::size_t(n)].y + made.shiftY;
        for (int j = 0; j < 10; ++j)
            for (int i2 = 0; i2 < 10; ++i2) {
                if (xs + i2 > mp.stack.lastColumn || ys + j > mp.stack.lastRow) continue;
                ASSERT_EQ(mp.pointRed(x + i2, y + j, 100), mp.pointRed(xs + i2, ys + j, n))
                    << "block (" << x << "," << y << ") of picture " << n << " at " << i2 << "," << j;
                ASSERT_EQ(mp.pointBlue(x + i2, y + j, 100), mp.pointBlue(xs + i2, ys + j, n));
            }
        ++checked;
    }
    EXPECT_EQ(checked, smoothed->replaced);
    // Nor does the pass move the montage's placement for the commands after it.
    EXPECT_EQ(ms.geometry.shiftX, made.shiftX);
    EXPECT_EQ(ms.geometry.shiftY, made.shiftY);
    EXPECT_EQ(ms.geometry.dY, made.dY);
}

INSTANTIATE_TEST_SUITE_P(
    ControlsChangedAfterTheMontage, SmoothingPlacement,
    ::testing::Values(
        PlacementCase{"Unchanged", true, [](MontageRequest&) {}},
        PlacementCase{"TargetDragged", true, [](MontageRequest& r) { (*r.targets)[2] = {2, 1}; }},
        PlacementCase{"OffsetsSwitchedOff", true, [](MontageRequest& r) { r.useOffsets = false; }},
        PlacementCase{"OffsetsSwitchedOn", false, [](MontageRequest& r) { r.useOffsets = true; }},
        PlacementCase{"AnotherArea", true, [](MontageRequest& r) { r.area = DisplayArea::Maximum; }},
        PlacementCase{"PictureIgnored", true, [](MontageRequest& r) { r.ignored[2] = true; }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv
