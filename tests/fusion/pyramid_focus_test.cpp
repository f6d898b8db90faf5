// Pyramid Focus on small generated series: which picture each part comes from, what it keeps of a
// picture, what ignored pictures and offsets do, and that its map, rows and preview are those the
// block loop would give.
#include "support/case_name.h"
#include "fusion_fixtures.h"

#include "base/runtime_error.h"
#include "engine/focus_measure.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace orv;
using namespace orv::test;

namespace {

PyramidFocusOptions withIncrement(int increment) {
    PyramidFocusOptions o;
    o.increment = increment;
    return o;
}

std::string repeatLine(const std::string& line, int rows) {
    std::string map;
    for (int r = 0; r < rows; ++r) map += line + "\r\n";
    return map;
}

// The block loop over the same series, as Make Montage runs it.
std::string blockLoop(Stack& s, int increment, bool preview) {
    return blockMap(s.mp, s.g, increment, s.mp.stack.count, {}, preview);
}

double share(const PictureChoices& c, int picture, int x0, int x1) {
    int hits = 0, all = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = x0; x < x1; ++x, ++all) hits += c.at(x, y) == picture;
    return double(hits) / all;
}

} // namespace

// Picture 1 is sharp on the left half and blurred on the right, picture 2 the other way round.
TEST(PyramidFocus, TakesEachHalfFromThePictureWhereItIsSharp) {
    const int W = 96, H = 64;
    const Painter blurred = blurredTexture(W, H, 3);
    const Painter leftSharp = [&](int x, int y) { return x < W / 2 ? texture(x, y) : blurred(x, y); };
    const Painter rightSharp = [&](int x, int y) { return x < W / 2 ? blurred(x, y) : texture(x, y); };
    Stack s(W, H, {leftSharp, rightSharp});
    PyramidFocusOptions o;
    o.increment = 16;
    const PyramidFocusResult r = s.fuse(o);

    // Away from the seam the montage is the sharp texture; the blurred copy is far from it.
    Stack blurredOnly(W, H, {blurred});
    EXPECT_GT(blurredOnly.meanError(texture, 0, W, 0, H), 20.0);
    EXPECT_LT(s.meanError(texture, 0, W / 2 - 8, 0, H), 0.5);
    EXPECT_LT(s.meanError(texture, W / 2 + 8, W, 0, H), 0.5);
    EXPECT_LT(s.meanError(texture, 0, W, 0, H), 1.0);

    EXPECT_GT(share(r.choices, 1, 0, W / 2 - 4), 0.98);
    EXPECT_GT(share(r.choices, 2, W / 2 + 4, W), 0.98);
    EXPECT_EQ(r.map, repeatLine("111222", 4));
}

struct IdenticalCase {
    int width, height, pictures, increment;
};

class IdenticalPictures : public ::testing::TestWithParam<IdenticalCase> {};

// A series of one picture repeated gives that picture back, and the block loop gives the same
// montage, the same map and the same preview: the two methods are interchangeable in Make Montage.
TEST_P(IdenticalPictures, GiveThatPictureAndTheBlockLoopsMapAndPreview) {
    const IdenticalCase c = GetParam();
    const std::vector<Painter> painters(std::size_t(c.pictures), Painter(texture));
    Stack pyramid(c.width, c.height, painters);
    Stack blocks(c.width, c.height, painters);
    for (Stack* s : {&pyramid, &blocks}) s->mp.preview.allocate(12, 8);

    std::vector<BlockRowEvent> rows;
    std::vector<std::string> mapsSoFar;
    PyramidFocusOptions o;
    o.increment = c.increment;
    o.drawPreview = true;
    o.onRow = [&](const BlockRowEvent& e) {
        rows.push_back(e);
        mapsSoFar.push_back(*e.map);
    };
    std::vector<std::pair<int, int>> progress;
    o.onProgress = [&](int done, int steps) { progress.emplace_back(done, steps); };
    const PyramidFocusResult r = pyramid.fuse(o);

    int worst = 0;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            const Rgb a = pyramid.at(x, y), b = texture(x, y);
            worst = std::max({worst, std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
        }
    EXPECT_LE(worst, 1);

    const std::string blockMap = blockLoop(blocks, c.increment, true);
    EXPECT_EQ(r.map, blockMap);
    EXPECT_EQ(pyramid.mp.montage.slot(100), blocks.mp.montage.slot(100));
    EXPECT_EQ(pyramid.mp.preview.bytes, blocks.mp.preview.bytes);

    const int rowCount = blockCount(float(c.height), c.increment);
    ASSERT_EQ(int(rows.size()), rowCount);
    for (int k = 0; k < rowCount; ++k) {
        EXPECT_EQ(rows[std::size_t(k)].y, k * c.increment);
        EXPECT_EQ(rows[std::size_t(k)].rowIndex, k);
        EXPECT_EQ(rows[std::size_t(k)].rowCount, rowCount);
        // The map grows by one line per row, the newest row on top.
        EXPECT_EQ(mapsSoFar[std::size_t(k)], blockMap.substr(blockMap.size() - mapsSoFar[std::size_t(k)].size()));
    }
    ASSERT_EQ(int(progress.size()), 2 * c.pictures);
    EXPECT_EQ(progress.back(), std::make_pair(2 * c.pictures, 2 * c.pictures));
}

INSTANTIATE_TEST_SUITE_P(PyramidFocus, IdenticalPictures,
                         ::testing::Values(IdenticalCase{1, 1, 1, 10}, IdenticalCase{3, 2, 2, 10},
                                           IdenticalCase{17, 9, 3, 10}, IdenticalCase{40, 30, 1, 16},
                                           IdenticalCase{101, 37, 3, 20}, IdenticalCase{64, 64, 2, 25}),
                         [](const auto& info) {
                             const IdenticalCase& c = info.param;
                             return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" +
                                    std::to_string(c.pictures) + "pictures_increment" + std::to_string(c.increment);
                         });

// Picture 2 is far sharper than the others everywhere, and a loud colour: once ignored, the montage
// is exactly the montage of the series without it.
TEST(PyramidFocus, IgnoredPicturesNeverContribute) {
    const int W = 48, H = 40;
    const Painter soft = blurredTexture(W, H, 1);
    const Painter softer = blurredTexture(W, H, 2);
    const Painter loud = [](int x, int y) { return (x + y) % 2 ? Rgb{255, 0, 255} : Rgb{0, 255, 0}; };

    Stack withLoud(W, H, {soft, loud, softer});
    Stack without(W, H, {soft, softer});
    PyramidFocusOptions o;
    o.increment = 10;
    o.ignored[1] = true;
    const PyramidFocusResult r = withLoud.fuse(o);
    without.fuse(withIncrement(10));
    EXPECT_EQ(withLoud.mp.montage.slot(100), without.mp.montage.slot(100));
    EXPECT_EQ(r.map.find('2'), std::string::npos);
    EXPECT_EQ(std::count(r.choices.pictures.begin(), r.choices.pictures.end(), 2), 0);

    // Not ignored, the loud picture wins everywhere (only the averaged top level is shared), so the
    // test would see it.
    Stack heard(W, H, {soft, loud, softer});
    const PyramidFocusResult h = heard.fuse(withIncrement(10));
    EXPECT_EQ(h.map, repeatLine("22222", 4));
    EXPECT_LT(heard.meanError(loud, 0, W, 0, H), 10.0);
    EXPECT_GT(without.meanError(loud, 0, W, 0, H), 80.0);
}

TEST(PyramidFocus, EveryPictureIgnoredLeavesTheMontageBlack) {
    Stack s(30, 20, {Painter(texture), Painter(texture)});
    PyramidFocusOptions o;
    o.increment = 10;
    o.ignored[0] = o.ignored[1] = true;
    const PyramidFocusResult r = s.fuse(o);
    const auto& slot = s.mp.montage.slot(100);
    EXPECT_TRUE(std::all_of(slot.begin(), slot.end(), [](std::uint8_t v) { return v == 0; }));
    EXPECT_EQ(r.map, repeatLine("111", 2));
    EXPECT_EQ(std::accumulate(r.choices.pictures.begin(), r.choices.pictures.end(), 0), 0);
}

// Targets (10, 10) and (14, 8) in the Same area: picture 1 is read at (x, y - 2) and picture 2 at
// (x + 4, y). Both hold the texture shifted accordingly, so the montage is the texture where both
// reach, the texture where one reaches, and black where neither does (right of x = W - 4, below 2).
// A batch run that holds the pictures' lowest values in the montage slot until the result is
// written there makes the same montage, black corner included.
TEST(PyramidFocus, OffsetsPlaceEveryPictureAsTheBlockLoopCopiesIt) {
    const int W = 64, H = 48;
    std::vector<std::uint8_t> montages[2];
    for (const bool rangeInMontage : {false, true}) {
        SCOPED_TRACE(rangeInMontage ? "range in the montage" : "range apart");
        Stack s(W, H, {[](int x, int y) { return texture(x, y + 2); },
                       [](int x, int y) { return x >= 4 ? texture(x - 4, y) : Rgb{}; }});
        s.offsets[1] = ImageOffset{10, 10};
        s.offsets[2] = ImageOffset{14, 8};
        AreaInput area{true, DisplayArea::Same, 2, IgnoreTicks{}, 0, W, H};
        ASSERT_EQ(applyDisplayArea(s.g, s.offsets, area), AreaOutcome::Ready);
        PyramidFocusOptions o;
        o.useOffsets = true;
        o.increment = 16;
        o.rangeInMontage = rangeInMontage;
        const PyramidFocusResult r = s.fuse(o);

        EXPECT_LT(s.meanError(texture, 0, W - 4, 2, H), 1.0);
        for (int y = 0; y < 2; ++y)
            for (int x = W - 4; x < W; ++x) {
                EXPECT_EQ(s.at(x, y), Rgb{}) << x << "," << y;
                EXPECT_EQ(r.choices.at(x, y), 0);
            }
        EXPECT_EQ(r.choices.at(W - 1, 10), 1); // only picture 1 reaches the right edge
        EXPECT_EQ(r.choices.at(10, 0), 2);     // only picture 2 reaches the bottom rows
        montages[rangeInMontage ? 1 : 0] = s.mp.montage.slot(100);
    }
    EXPECT_EQ(montages[1], montages[0]);
}

struct LevelsCase {
    int w, h, levels;
};

class Levels : public ::testing::TestWithParam<LevelsCase> {};

TEST_P(Levels, HalveUntilTheSmallerSideIsEightOrLess) {
    EXPECT_EQ(pyramidLevels(GetParam().w, GetParam().h), GetParam().levels);
}

INSTANTIATE_TEST_SUITE_P(PyramidFocus, Levels,
                         ::testing::Values(LevelsCase{2048, 1536, 8}, LevelsCase{16, 16, 1},
                                           LevelsCase{17, 100, 2}, LevelsCase{1, 1, 1},
                                           LevelsCase{4000, 9, 1}, LevelsCase{0, 5, 0}),
                         [](const auto& info) { return std::to_string(info.param.w) + "x" + std::to_string(info.param.h); });

TEST(PyramidFocus, RefusesWhatItCannotUse) {
    Stack s(20, 20, {Painter(texture)});
    auto error = [&](PyramidFocusOptions o, bool withGeometry) {
        if (withGeometry) o.geometry = &s.g;
        try {
            runPyramidFocus(s.mp, o);
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(error(withIncrement(0), true), 5);
    EXPECT_EQ(error(PyramidFocusOptions{}, false), 5);
    s.mp.montage.slot(100).clear(); // a slot the fill never allocated
    EXPECT_EQ(error(PyramidFocusOptions{}, true), 9);
}
