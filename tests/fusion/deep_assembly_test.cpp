// The deep montage of a block method: the block loop decides on the 8-bit stack, the deep
// pictures are assembled by its map, and the result's 8-bit view is the block loop's montage
// exactly while its samples keep the full depth.
#include "fusion_fixtures.h"
#include "fusion/deep_assembly.h"
#include "fusion/picture_choices.h"

#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <random>

using namespace orv;
using namespace orv::test;


TEST(DeepAssembly, TheBlockLoopsChoicesGiveItsMontageAtFullDepth) {
    const int W = 60, H = 40;
    // Picture 1 sharp on the left, picture 2 on the right, picture 3 sharp nowhere.
    const SplitScene scene = splitScene(W, H, 30, 4);
    Stack s(W, H, {scene.left, scene.right, scene.soft});
    FocusContext focus;
    const std::string map = blockMap(s.mp, s.g, 10, 3, focus);
    ASSERT_NE(map.find('1'), std::string::npos);
    ASSERT_NE(map.find('2'), std::string::npos);

    std::vector<DeepPicture> deep;
    for (int n = 1; n <= 3; ++n) deep.push_back(deepOf(s, n, W, H, unsigned(n)));
    std::vector<DeepSource> sources;
    for (const DeepPicture& p : deep) sources.push_back(DeepSource{&p, 0, 0});
    const PictureChoices choices = blockChoices(map, BlockChoiceContext{&s.g, 10, 3, &s.mp, &focus});
    const DeepPicture montage = assembleDeep(choices, sources, 3);

    ASSERT_EQ(montage.width, W);
    ASSERT_EQ(montage.height, H);
    EXPECT_EQ(montage.bitsPerSample, 16);
    int notMultiples = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Rgb m = s.at(x, y);
            const std::uint16_t* d = montage.row(H - 1 - y) + 3 * x;
            ASSERT_EQ(eightBitsOf(d[0]), m.r) << x << "," << y;
            ASSERT_EQ(eightBitsOf(d[1]), m.g) << x << "," << y;
            ASSERT_EQ(eightBitsOf(d[2]), m.b) << x << "," << y;
            // The samples are the chosen picture's own, not the 8-bit value scaled up.
            const DeepPicture& chosen = deep[std::size_t(choices.at(x, y) - 1)];
            ASSERT_EQ(d[0], chosen.row(H - 1 - y)[3 * x]) << x << "," << y;
            notMultiples += d[0] % 257 != 0;
        }
    EXPECT_GT(notMultiples, W * H / 2);
}

TEST(DeepAssembly, OffsetsMoveThePicturesAndUnreachedPixelsStayBlack) {
    DeepPicture grey(4, 3, 1, 16);
    for (std::size_t i = 0; i < grey.samples.size(); ++i) grey.samples[i] = std::uint16_t(1000 + i);
    PictureChoices c;
    c.width = c.columns = 4;
    c.height = c.rows = 3;
    c.pictures = {1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1}; // bottom row first; pixel (3, 0) has no picture
    // Montage (x, y) reads cell (x + 1, y - 1): the right column and the bottom row fall outside.
    const DeepPicture m = assembleDeep(c, {DeepSource{&grey, 1, -1}}, 3);
    // Montage row y = 2 (the top) reads cell row 1, the picture's row 1 from the top.
    EXPECT_EQ(m.at(0, 0, 0), grey.at(1, 1, 0));
    EXPECT_EQ(m.at(0, 0, 2), grey.at(1, 1, 0)); // grey spread to three channels
    EXPECT_EQ(m.at(2, 1, 1), grey.at(3, 2, 0));
    EXPECT_EQ(m.at(3, 0, 0), 0);                 // beyond the picture's right side
    EXPECT_EQ(m.at(1, 2, 0), 0);                 // the bottom row reads cell row -1
    EXPECT_THROW(assembleDeep(PictureChoices{1, 1, 1, 1, 1, {2}}, {DeepSource{&grey, 0, 0}}, 3), RuntimeError);
}

TEST(DeepAssembly, OnePictureAtATimeGivesTheMontageOfAllAtOnceWhateverTheOrderAndTheCells) {
    // A grey picture, a colour one and a grey one of other sizes, placed apart; cells of 7 pixels
    // that do not divide the montage, a few pixels with no picture.
    std::mt19937 random(7);
    auto picture = [&](int w, int h, int channels) {
        DeepPicture p(w, h, channels, 16);
        for (std::uint16_t& v : p.samples) v = std::uint16_t(random());
        return p;
    };
    const std::vector<DeepPicture> deep = {picture(50, 40, 1), picture(44, 36, 3), picture(52, 41, 1)};
    const std::vector<DeepSource> sources = {{&deep[0], 0, 0}, {&deep[1], 3, -2}, {&deep[2], -4, 1}};
    PictureChoices c{48, 38, 7, 7, 6, {}}; // 48 x 38 pixels in cells of 7
    for (int i = 0; i < c.columns * c.rows; ++i) c.pictures.push_back(std::uint16_t(random() % 4));
    const DeepPicture whole = assembleDeep(c, sources, 3);
    EXPECT_EQ(largestChoice(c), 3);

    // As the save reads them: grey until the colour picture comes, then spread.
    for (const std::vector<int>& order : {std::vector<int>{1, 2, 3}, std::vector<int>{3, 1, 2}, std::vector<int>{2, 3, 1}}) {
        DeepPicture out(c.width, c.height, deep[std::size_t(order[0] - 1)].channels);
        for (int n : order) {
            if (out.channels == 1 && deep[std::size_t(n - 1)].channels != 1) out = spreadToColour(out);
            assembleDeepFrom(out, c, n, sources[std::size_t(n - 1)]);
        }
        out.bitsPerSample = whole.bitsPerSample;
        EXPECT_EQ(out, whole) << order[0] << order[1] << order[2];
    }
    DeepPicture wrongSize(c.width - 1, c.height, 3);
    EXPECT_THROW(assembleDeepFrom(wrongSize, c, 1, sources[0]), RuntimeError);
}

// Picture 1 ignored, the Maximum area: a corner block that every picture refuses is named "1" in
// the map but left black by the block loop. Assembled from picture 1 it would show that ignored
// picture where the montage is black, and the 16-bit save would be refused as changed.
TEST(DeepAssembly, ABlockEveryPictureRefusedWithPictureOneIgnoredStaysBlack) {
    const int W = 40, H = 30;
    const Painter sharp = [](int x, int y) { return texture(x, y); };
    Stack s(W, H, {sharp, sharp, blurredTexture(W, H, 3)});
    s.offsets[1] = {20, 15};
    s.offsets[2] = {20, 15};
    s.offsets[3] = {30, 25};
    AreaInput area{true, DisplayArea::Maximum, 3, {}, 0, W, H, 20};
    area.ignored[0] = true;
    ASSERT_EQ(applyDisplayArea(s.g, s.offsets, area), AreaOutcome::Ready);
    const int MW = int(s.g.W), MH = int(s.g.H); // 52 x 40
    ASSERT_EQ(MW, 52);
    s.mp.montage.lastColumn = std::int16_t(MW - 1);
    s.mp.montage.lastRow = std::int16_t(MH - 1);
    s.mp.montage.slot(100).assign(std::size_t(MW) * MH * 3, 0);

    FocusContext focus;
    focus.ignored = area.ignored;
    focus.useOffsets = true;
    focus.offsets = s.offsets;
    focus.smallestX = s.g.smallestX;
    focus.smallestY = s.g.smallestY;
    const std::string map = blockMap(s.mp, s.g, 20, 3, focus);
    // The bottom-left block: picture 2 lies 10 columns right of it, picture 3 10 rows above it.
    ASSERT_EQ(map.substr(map.size() - 5, 1), "1") << map;

    std::vector<DeepPicture> deep;
    for (int n = 1; n <= 3; ++n) deep.push_back(deepOf(s, n, W, H, unsigned(n)));
    std::vector<DeepSource> sources;
    for (int n = 1; n <= 3; ++n)
        sources.push_back(DeepSource{&deep[std::size_t(n - 1)], s.offsets[std::size_t(n)].x - s.g.shiftX,
                                     s.g.dY - s.offsets[std::size_t(n)].y + s.g.shiftY});
    const PictureChoices choices = blockChoices(map, BlockChoiceContext{&s.g, 20, 3, &s.mp, &focus});
    EXPECT_EQ(choices.at(0, 0), 0);
    const DeepPicture montage = assembleDeep(choices, sources, 3);
    ASSERT_EQ(montage.width, MW);
    ASSERT_EQ(montage.height, MH);
    for (int y = 0; y < MH; ++y)
        for (int x = 0; x < MW; ++x) {
            const Rgb m = s.at(x, y);
            const std::uint16_t* d = montage.row(MH - 1 - y) + 3 * x;
            ASSERT_EQ(eightBitsOf(d[0]), m.r) << x << "," << y;
            ASSERT_EQ(eightBitsOf(d[1]), m.g) << x << "," << y;
            ASSERT_EQ(eightBitsOf(d[2]), m.b) << x << "," << y;
        }
}

// A series of mixed sizes: picture 2, larger than picture 1, is held in the stack only within
// picture 1's rounded sides, so a block taken from it past them is black in the montage. Its deep
// picture (the whole file) must leave the same pixels black, or the 16-bit save finds its 8-bit
// view unlike the montage and falls back to 8 bits.
TEST(DeepAssembly, APictureLargerThanTheFirstGivesOnlyTheCellsTheStackHoldsOfIt) {
    const int W = 40, H = 30, W2 = 60, H2 = 40;
    Series series;
    addPainted(series, W, H, [](int, int) { return Rgb{90, 90, 90}; }); // flat: never the sharpest
    addPainted(series, W2, H2, texture);
    PixelArrays mp;
    series.fill(mp, W, H);
    MontageGeometry g;
    g.W = W;
    g.H = H;
    OffsetTable offsets{};
    offsets[2] = {10, 0}; // picture 2 read 10 columns further right
    ASSERT_EQ(applyDisplayArea(g, offsets, AreaInput{true, DisplayArea::Same, 2, {}, 0, W, H, 20}), AreaOutcome::Ready);

    FocusContext focus;
    focus.useOffsets = true;
    focus.offsets = offsets;
    focus.smallestX = g.smallestX;
    focus.smallestY = g.smallestY;
    const std::string map = blockMap(mp, g, 20, 2, focus);
    ASSERT_EQ(map.substr(map.size() - 4, 2), "22") << map; // bottom row: both blocks from picture 2
    // Montage columns 30 to 39 would be picture 2's columns 40 to 49: beyond the stack's cells.
    ASSERT_EQ(mp.pointRed(35, 5, 100), 0);

    DeepPicture deep1(W, H, 3, 16), deep2(W2, H2, 3, 16);
    for (int r = 0; r < H; ++r)
        for (int x = 0; x < W * 3; ++x) deep1.row(r)[x] = 90 * 257;
    for (int r = 0; r < H2; ++r)
        for (int x = 0; x < W2; ++x) {
            const Rgb c = texture(x, H2 - 1 - r);
            const int v[3] = {c.r, c.g, c.b};
            for (int k = 0; k < 3; ++k) deep2.row(r)[3 * x + k] = std::uint16_t(v[k] * 257 + 100);
        }
    const int SW = mp.stack.width(), SH = mp.stack.height();
    const std::vector<DeepSource> sources = {{&deep1, 0, 0, SW, SH}, {&deep2, 10, 0, SW, SH}};
    const PictureChoices choices = blockChoices(map, BlockChoiceContext{&g, 20, 2, &mp, &focus});
    const DeepPicture montage = assembleDeep(choices, sources, 3);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const std::uint16_t* d = montage.row(H - 1 - y) + 3 * x;
            ASSERT_EQ(eightBitsOf(d[0]), mp.pointRed(x, y, 100)) << x << "," << y;
            ASSERT_EQ(eightBitsOf(d[2]), mp.pointBlue(x, y, 100)) << x << "," << y;
        }
}
