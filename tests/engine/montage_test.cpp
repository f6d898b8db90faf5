// The block loop, the dominant-image map, the display areas and the properties text.
#include "support/case_name.h"
#include "engine/montage.h"
#include "base/runtime_error.h"
#include "engine/properties_text.h"
#include "engine_fixtures.h"

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

std::vector<std::string> lines(const std::string& map) {
    std::vector<std::string> out;
    std::size_t at = 0;
    while (at < map.size()) {
        const auto e = map.find("\r\n", at);
        out.push_back(map.substr(at, e - at));
        at = e + 2;
    }
    return out;
}

struct LoopRun {
    PixelArrays mp;
    MontageGeometry g;
    FocusContext ctx;
    std::string map;
    std::vector<int> rowsY;

    LoopRun() = default;
    // A run of `s` over a montage of w x h.
    LoopRun(Series& s, int w, int h) {
        s.montage = MemorySurface(w, h);
        g.W = float(w);
        g.H = float(h);
    }
};

void runLoop(Series& s, LoopRun& r, int inc) {
    r.mp.loadImageArrays(ArrayFill::Full, s.surfaces(), {});
    FocusMeasure fm;
    BlockLoopInput in;
    in.geometry = &r.g;
    in.increment = inc;
    in.pictureCount = int(s.pictures.size());
    in.focus = &r.ctx;
    in.onRow = [&](const BlockRowEvent& e) { r.rowsY.push_back(e.y); };
    r.map = runBlockLoop(r.mp, fm, in);
}

// Picture with detail (red column stripes) inside [x0, x1) x [y0, y1) (array coordinates).
void detail(MemorySurface& p, int x0, int x1, int y0, int y1, int value = 200) {
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) setCell(p, x, y, 0, 0, x % 2 ? value : 0);
}

} // namespace

TEST(BlockLoop, MapHasOneLinePerBlockRowTopRowFirst) {
    Series s;
    MemorySurface& p1 = s.add(100, 60);
    MemorySurface& p2 = s.add(100, 60);
    detail(p1, 0, 100, 40, 60); // the top block row is sharp in picture 1
    detail(p2, 0, 100, 0, 40);
    LoopRun r(s, 100, 60);
    runLoop(s, r, 20);
    EXPECT_EQ(lines(r.map), (std::vector<std::string>{"11111", "22222", "22222"}));
    EXPECT_EQ(r.rowsY, (std::vector<int>{0, 20, 40}));
    // The montage holds each block from its winner.
    EXPECT_EQ(r.mp.pointRed(1, 50, 100), r.mp.pointRed(1, 50, 1));
    EXPECT_EQ(r.mp.pointRed(1, 10, 100), r.mp.pointRed(1, 10, 2));
}

TEST(BlockLoop, IncrementThirtyOnWidthHundredStartsColumnsAt0_30_60_90) {
    Series s;
    MemorySurface& p1 = s.add(100, 30);
    MemorySurface& p2 = s.add(100, 30);
    detail(p1, 0, 100, 0, 30);
    detail(p2, 90, 100, 0, 30, 255); // sharper only in the last, cut block
    LoopRun r(s, 100, 30);
    runLoop(s, r, 30);
    EXPECT_EQ(lines(r.map), (std::vector<std::string>{"1112"}));
    EXPECT_EQ(r.mp.pointRed(99, 1, 100), r.mp.pointRed(99, 1, 2));
}

TEST(BlockLoop, EqualScoresKeepTheLowerPictureAndPictureTwelveShowsAsTwo) {
    Series s;
    for (int n = 1; n <= 12; ++n) {
        MemorySurface& p = s.add(40, 20);
        detail(p, 0, 20, 0, 20, n == 12 ? 250 : 100); // left block: 12 is the sharpest
        detail(p, 20, 40, 0, 20, 100);                // right block: all equal
    }
    LoopRun r(s, 40, 20);
    runLoop(s, r, 20);
    EXPECT_EQ(r.map, "21\r\n");
}

TEST(BlockLoop, ABlockEveryPictureRefusesWithPictureOneIgnoredStaysBlack) {
    Series s;
    for (int n = 0; n < 2; ++n) {
        MemorySurface& p = s.add(20, 20);
        detail(p, 0, 20, 0, 20);
    }
    LoopRun r(s, 20, 20);
    r.ctx.ignored = {true, true};
    runLoop(s, r, 20);
    EXPECT_EQ(r.map, "1\r\n");
    for (int x = 0; x < 20; ++x) EXPECT_EQ(r.mp.pointRed(x, 1, 100), 0);
}

struct AreaCase {
    DisplayArea area;
    int width;
    std::vector<ImageOffset> targets;
    float expectedW;
    int shiftX, shiftY, dY;
    AreaOutcome outcome;
};

class DisplayAreas : public ::testing::TestWithParam<AreaCase> {};

TEST_P(DisplayAreas, SizeTheMontageAndSetTheShifts) {
    const AreaCase c = GetParam();
    MontageGeometry g;
    g.W = float(c.width);
    g.H = 60;
    OffsetTable offsets{};
    for (std::size_t i = 0; i < c.targets.size(); ++i) offsets[i + 1] = c.targets[i];
    AreaInput in{true, c.area, int(c.targets.size()), {}, 0, c.width, 60};
    EXPECT_EQ(applyDisplayArea(g, offsets, in), c.outcome);
    if (c.outcome != AreaOutcome::Ready) return;
    EXPECT_EQ(g.W, c.expectedW);
    EXPECT_EQ(g.shiftX, c.shiftX);
    EXPECT_EQ(g.shiftY, c.shiftY);
    EXPECT_EQ(g.dY, c.dY);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, DisplayAreas,
    ::testing::Values(
        AreaCase{DisplayArea::Same, 100, {{10, 10}, {14, 8}}, 100, 10, 8, 0, AreaOutcome::Ready},
        AreaCase{DisplayArea::Minimum, 101, {{10, 10}, {16, 8}}, 92, 10, 8, 2, AreaOutcome::Ready},
        AreaCase{DisplayArea::Maximum, 100, {{10, 10}, {16, 8}}, 108, 16, 10, -2, AreaOutcome::Ready},
        AreaCase{DisplayArea::Minimum, 100, {{0, 0}, {120, 0}}, 0, 0, 0, 0,
                 AreaOutcome::MinimumEmpty},
        // Targets all right of x 999 or below y 999 (the middle of a large picture), or all left
        // of or above the picture: the extents are the targets' own, not 999 and 0.
        AreaCase{DisplayArea::Same, 100, {{1200, 1000}, {1204, 1002}}, 100, 1200, 1000, 0, AreaOutcome::Ready},
        AreaCase{DisplayArea::Minimum, 101, {{1200, 1000}, {1206, 1002}}, 92, 1200, 1000, 2, AreaOutcome::Ready},
        AreaCase{DisplayArea::Maximum, 100, {{-10, -10}, {-4, -8}}, 108, -4, -8, -2, AreaOutcome::Ready},
        AreaCase{DisplayArea::Maximum, 100, {{1500, 1500}, {1500, 1500}}, 100, 1500, 1500, 0, AreaOutcome::Ready}),
    [](const auto& info) {
        const DisplayArea a = info.param.area;
        return std::string(a == DisplayArea::Same ? "Same" : a == DisplayArea::Minimum ? "Minimum" : "Maximum") + "_" +
               std::to_string(info.index);
    });

TEST(DisplayAreas, ASecondRunOnAReducedMontageDoesNotShrinkItAgainButSetsTheShifts) {
    MontageGeometry g;
    g.W = 92; // already reduced: no longer picture 1's size
    g.H = 56;
    OffsetTable offsets{};
    offsets[1] = {10, 10};
    offsets[2] = {16, 8};
    AreaInput in{true, DisplayArea::Minimum, 2, {}, 0, 101, 60};
    applyDisplayArea(g, offsets, in);
    EXPECT_EQ(g.W, 92);
    EXPECT_EQ(g.dY, 2);
}

// In the same area picture k is read from block column x + (its target x - the smallest): past
// column 32767 that position cannot be named, and the area is refused once (error 6) before any
// block is measured, instead of every block of every such picture failing in the measure.
TEST(DisplayAreas, SameAreaRefusesAShiftThatReadsPastTheLastPosition) {
    auto place = [](int spread, int increment, DisplayArea area = DisplayArea::Same) {
        MontageGeometry g;
        g.W = 200;
        g.H = 150;
        OffsetTable offsets{};
        offsets[1] = {std::int16_t(spread - 100), 0};
        offsets[2] = {-100, 0};
        offsets[3] = {0, 0};
        AreaInput in{true, area, 3, {}, 0, 200, 150, increment};
        applyDisplayArea(g, offsets, in);
        return g;
    };
    // Increment 20: the last block column is 180.
    EXPECT_EQ(place(32767 - 180, 20).shiftX, -100);
    try {
        place(32767 - 179, 20);
        ADD_FAILURE() << "no overflow";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
        EXPECT_EQ(e.line(), 8100);
    }
    // Increment 30: the last block column is 180 too; increment 0 counts every column (199).
    EXPECT_NO_THROW(place(32767 - 180, 30));
    EXPECT_THROW(place(32767 - 180, 0), RuntimeError);
    EXPECT_NO_THROW(place(32767 - 199, 0));
    // An ignored picture's target takes no part.
    MontageGeometry g;
    g.W = 200;
    g.H = 150;
    OffsetTable offsets{};
    offsets[1] = {0, 0};
    offsets[2] = {32767, 0};
    IgnoreTicks ignored{};
    ignored[1] = true;
    EXPECT_NO_THROW(applyDisplayArea(g, offsets, AreaInput{true, DisplayArea::Same, 2, ignored, 0, 200, 150, 20}));
}

TEST(DisplayAreas, WithoutOffsetsEveryTargetIsZero) {
    MontageGeometry g;
    g.W = 10;
    g.H = 10;
    OffsetTable offsets{};
    offsets[3] = {4, 4};
    AreaInput in{false, DisplayArea::Maximum, 3, {}, 0, 10, 10};
    applyDisplayArea(g, offsets, in);
    EXPECT_EQ(offsets[3], ImageOffset{});
    EXPECT_EQ(g.W, 10);
    EXPECT_EQ(g.shiftX, 0);
}

TEST(MaximumArea, PartsNoPictureCoversStayBlack) {
    Series s;
    for (int n = 0; n < 2; ++n) {
        MemorySurface& p = s.add(40, 40);
        detail(p, 0, 40, 0, 40, 100 + n);
    }
    LoopRun r;
    r.g.W = 40;
    r.g.H = 40;
    OffsetTable offsets{};
    offsets[1] = {10, 10};
    offsets[2] = {30, 10};
    AreaInput in{true, DisplayArea::Maximum, 2, {}, 0, 40, 40};
    applyDisplayArea(r.g, offsets, in);
    EXPECT_EQ(r.g.W, 60);
    s.montage = MemorySurface(60, 40);
    r.ctx.useOffsets = true;
    r.ctx.offsets = offsets;
    r.ctx.smallestX = r.g.smallestX;
    r.ctx.smallestY = r.g.smallestY;
    runLoop(s, r, 20);
    EXPECT_EQ(lines(r.map).size(), 2u);
    EXPECT_EQ(lines(r.map)[0].size(), 3u);
    // Montage columns 0..19 map to picture 2 at x - 0... picture 1 at x - 20 (refused), picture 2
    // at x + 0: the left blocks come from picture 2; nothing lights the right edge beyond 40 + 20.
    EXPECT_EQ(r.mp.pointRed(0, 1, 100), r.mp.pointRed(0, 1, 2));
}

TEST(PropertiesText, ListsTheSettingsThenTheMapWithCrLfLineEnds) {
    PropertiesInput p;
    p.firstFileName = "c:\\pics\\shot01.bmp";
    p.pictureCount = 3;
    p.method = 1;
    p.incrementText = "20";
    p.autoSmooth = true;
    p.map = "123\r\n332\r\n";
    EXPECT_EQ(buildPropertiesText(p),
              "\r\n  First file name =c:\\pics\\shot01.bmp\r\n  Number of files found =3\r\n"
              "  Montage method used =1 (Linear Color Focus)\r\n  Increment size =20\r\n"
              "  Smoothing =yes\r\n  Montage made from dominant image numbers:\r\n123\r\n332\r\n\r\n");
}

TEST(PropertiesText, IgnoreLineOffsetsAndTrimmedIncrement) {
    PropertiesInput p;
    p.firstFileName = "/p/a1.bmp";
    p.pictureCount = 12;
    p.ignored[1] = p.ignored[4] = true;
    p.incrementText = " 30 ";
    p.useOffsets = true;
    p.areaSame = false;
    p.areaMinimum = true;
    p.offsets[12] = {-3, 7};
    const std::string t = buildPropertiesText(p);
    EXPECT_NE(t.find("  Ignore image number =2, 5\r\n"), std::string::npos);
    EXPECT_NE(t.find("  Increment size =30\r\n"), std::string::npos);
    EXPECT_NE(t.find("  Smoothing =no \r\n"), std::string::npos);
    EXPECT_NE(t.find("  Offset display method =Minimum\r\n"), std::string::npos);
    EXPECT_EQ(t.find("Image 2 offset"), std::string::npos);
    EXPECT_NE(t.find("  Image 12 offset X =-3\r\n  Image 12 offset Y =7\r\n"), std::string::npos);
    p.ignored = {};
    EXPECT_EQ(buildPropertiesText(p).find("Ignore"), std::string::npos);
}

TEST(BlockLoop, RowsOnSeveralThreadsGiveTheSameMontageMapAndMessages) {
    Series s;
    std::uint32_t seed = 5;
    for (int n = 0; n < 4; ++n) {
        MemorySurface& p = s.add(90, 70);
        for (int y = 0; y < 70; ++y)
            for (int x = 0; x < 90; ++x) {
                seed = seed * 1664525u + 1013904223u;
                setCell(p, x, y, int(seed >> 24) % (50 + 60 * n), int(seed >> 16) % 200, int(seed >> 8) % 255);
            }
    }
    s.montage = MemorySurface(90, 70);
    PixelArrays filled;
    filled.loadImageArrays(ArrayFill::Full, s.surfaces(), {});
    auto run = [&](int threads, std::vector<Prompt>& shown, bool preview = false) {
        LoopRun r;
        r.mp = filled;
        std::vector<int> changed;
        if (preview) r.mp.preview.allocate(36, 28);
        r.g.W = 90;
        r.g.H = 70;
        MessageList recorded;
        r.ctx.messages = &recorded;
        r.ctx.method = FocusMethod::LinearColor;
        // Picture 3's target lies so far right that its position overflows in every row: each
        // row shows a message, which must come out in row order.
        r.ctx.offsets[3] = {32767, 0};
        FocusMeasure fm;
        BlockLoopInput in;
        in.geometry = &r.g;
        in.increment = 10;
        in.pictureCount = 4;
        in.focus = &r.ctx;
        in.threads = threads;
        in.drawPreview = preview;
        in.onRow = [&](const BlockRowEvent& e) {
            r.rowsY.push_back(e.y);
            changed.push_back(e.previewChanged);
        };
        r.map = runBlockLoop(r.mp, fm, in);
        shown = recorded;
        return std::make_tuple(r.map, r.mp.montage.slot(100), r.rowsY, changed, r.mp.preview.bytes);
    };
    std::vector<Prompt> one, two, three;
    const auto a = run(1, one);
    EXPECT_EQ(a, run(2, two));
    EXPECT_EQ(a, run(3, three));
    // One message per block of 7 rows of 9 blocks, but for the first column: its samples lie past
    // picture 1's edge and are skipped before their positions need 16 bits.
    EXPECT_EQ(one.size(), 7u * 8u);
    EXPECT_EQ(one, two);
    EXPECT_EQ(one, three);
    // With the growing preview, the preview rows drawn after each block row match too.
    std::vector<Prompt> p1, p2;
    const auto withPreview = run(1, p1, true);
    EXPECT_EQ(withPreview, run(2, p2, true));
    EXPECT_EQ(p1, p2);
}

// A line is found where it starts a line, not where a folder of the first file name holds its words.
TEST(PropertiesText, ALineIsFoundWhereItStartsALine) {
    PropertiesInput p;
    p.firstFileName = "/home/ann/  Smoothing =yes  Montage made from dominant image numbers:/shot01.bmp";
    p.pictureCount = 3;
    p.incrementText = "20";
    p.map = "123\r\n";
    const std::string t = buildPropertiesText(p);
    EXPECT_EQ(propertiesLine(t, "  Smoothing =yes"), std::string::npos);
    const std::size_t line = propertiesLine(t, "  Smoothing =");
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(t.substr(line, 16), "  Smoothing =no ");
    EXPECT_EQ(t.substr(propertiesMapHeading(t)), "  Montage made from dominant image numbers:\r\n123\r\n\r\n");
    EXPECT_EQ(propertiesLine("  Smoothing =no \r\n", "  Smoothing ="), 0u);
}

// A smoothing pass rewrites the map and the smoothing line; a first file name in a folder whose
// name holds the same words ("image numbers:", "Smoothing =") stays as it was.
TEST(PropertiesText, SmoothingRewritesTheMapAndItsLineNotTheSameWordsInTheFileName) {
    PropertiesInput p;
    p.firstFileName = "/home/ann/Smoothing =no, image numbers: 3/shot01.bmp";
    p.pictureCount = 3;
    p.incrementText = "20";
    p.map = "123\r\n332\r\n";
    const std::string before = buildPropertiesText(p);
    p.autoSmooth = true;
    p.map = "133\r\n312\r\n";
    // The new map replaces everything after the heading's line break.
    const std::string after = buildPropertiesText(p);
    EXPECT_EQ(updatePropertiesAfterSmoothing(before, p.map), after.substr(0, after.size() - 2));
}
