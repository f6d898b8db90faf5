// The smoothing pass on hand-built montages: which blocks are examined, which candidate wins,
// what the pass writes (pixels, map, properties, report) and what it refuses.
#include "scene.h"

#include <gtest/gtest.h>

#include <cctype>

using namespace orv;
using namespace orv::test;

namespace {

constexpr Rgb kWeak{160, 100, 100};   // 60 away from the grey around it
constexpr Rgb kBetter{110, 100, 100}; // 10 away

// A 40 x 40 montage (increment 10) copied from picture 1, whose block (10, 10) is a flat colour
// that sits badly against the grey around it; picture 2 has a block there that joins better and
// has detail; picture 3 equals picture 1.
Scene weakBlockScene() {
    Scene s(40, 40, 3);
    for (int p : {1, 3, 100}) s.block(p, 10, 10, 10, kWeak);
    s.detailedBlock(2, 10, 10, 10, kBetter);
    s.plainMap(10);
    return s;
}

} // namespace

TEST(SmoothingPass, ReplacesAWeakBlockAndUpdatesPixelsMapPropertiesAndReport) {
    Scene s = weakBlockScene();
    const std::string before = s.properties;
    std::vector<BlockRedraw> redraws;
    std::vector<bool> busy;
    std::string shownProperties;
    SmoothInput in = s.input(10);
    in.hooks.redrawBlock = [&](const BlockRedraw& r) {
        // The array is already updated when the window is asked to draw the block.
        EXPECT_EQ(s.at(100, r.x + 5, r.y + 5), (Rgb{255, 255, 255}));
        redraws.push_back(r);
    };
    in.hooks.busy = [&](bool on) { busy.push_back(on); };
    in.hooks.propertiesChanged = [&](const std::string& t) { shownProperties = t; };

    const SmoothResult r = smoothMontage(in);

    EXPECT_EQ(r.outcome, SmoothOutcome::Done);
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(r.report, "Smoothing occurred at co-ordinates\r\n(10,10)\r\n");
    EXPECT_EQ(s.at(100, 10, 10), kBetter);
    EXPECT_EQ(s.at(100, 19, 19), kBetter);
    EXPECT_EQ(s.at(100, 15, 15), (Rgb{255, 255, 255}));
    EXPECT_EQ(s.at(100, 20, 10), kGrey);
    // Block (10, 10) is the second block of the second row from the bottom: the third map line.
    EXPECT_EQ(s.map, "1111\r\n1111\r\n1211\r\n1111\r\n");
    ASSERT_EQ(redraws.size(), 1u);
    EXPECT_EQ(redraws[0].x, 10);
    EXPECT_EQ(redraws[0].y, 10);
    EXPECT_EQ(redraws[0].picture, 2);
    EXPECT_EQ(redraws[0].montageTop, 20);
    EXPECT_EQ(redraws[0].pictureTop, 20);
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));

    const std::string head = before.substr(0, before.find("image numbers:") + 16);
    std::string expected = head + s.map;
    expected.replace(expected.find("Smoothing =") + 11, 3, "yes");
    EXPECT_EQ(s.properties, expected);
    EXPECT_EQ(shownProperties, expected);
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_EQ(s.messages[0],
              (Prompt{PromptIcon::Information, PromptButtons::Ok, r.report, "Smooved"}));
}

struct CandidateCase {
    const char* name;
    void (*tweak)(Scene&, SmoothingSettings&);
    int winner; // 0: the block stays
};

class CandidateRules : public ::testing::TestWithParam<CandidateCase> {};

TEST_P(CandidateRules, DecideWhichPictureReplacesTheBlock) {
    Scene s = weakBlockScene();
    SmoothingSettings settings;
    GetParam().tweak(s, settings);
    const Rgb original = s.at(100, 12, 10);
    const SmoothResult r = smoothMontage(s.input(10, settings));
    const int winner = GetParam().winner;
    EXPECT_EQ(r.replaced, winner ? 1 : 0);
    EXPECT_EQ(s.map[13], winner ? char('0' + winner) : '1');
    EXPECT_EQ(s.at(100, 12, 10), winner ? s.at(winner, 12, 10) : original);
}

// The montage block gets detail on its main diagonal (two colours 20 apart in every channel, in
// turn): 8 steps, so the detail test's figure (measure / 2 / increment) is 480 in method 0's units,
// which the test uses whatever the ticked method (in method 1's it would be 24).
void detailedMontageBlock(Scene& s) {
    for (int i = 0; i < 10; ++i)
        s.set(100, 10 + i, 10 + i, i % 2 ? Rgb{180, 120, 120} : kWeak);
}

INSTANTIATE_TEST_SUITE_P(
    SmoothingPass, CandidateRules,
    ::testing::Values(
        CandidateCase{"PicturesEqualToTheMontageNeverWin", [](Scene&, SmoothingSettings&) {}, 2},
        CandidateCase{"EqualCandidatesLowestPictureWins",
                      [](Scene& s, SmoothingSettings&) { s.detailedBlock(3, 10, 10, 10, kBetter); }, 2},
        CandidateCase{"AStrictlyBetterLaterPictureWins",
                      [](Scene& s, SmoothingSettings&) { s.detailedBlock(3, 10, 10, 10, {105, 100, 100}); }, 3},
        CandidateCase{"IgnoredPicturesAreNoCandidates",
                      [](Scene& s, SmoothingSettings&) {
                          s.focus.ignored[1] = true;
                          s.detailedBlock(3, 10, 10, 10, {120, 100, 100});
                      }, 3},
        CandidateCase{"OnlyIgnoredPictureJoinsBetter",
                      [](Scene& s, SmoothingSettings&) { s.focus.ignored[1] = true; }, 0},
        CandidateCase{"DiffFactorZeroSmoothsNothing",
                      [](Scene&, SmoothingSettings& f) { f.diffFactor = 0; }, 0},
        CandidateCase{"EdgeGainBelowEdgeFactorKeepsTheBlock",
                      [](Scene&, SmoothingSettings& f) { f.edgeFactor = 0.9f; }, 0},
        CandidateCase{"SmallEdgeGainKeepsTheBlockByDefault",
                      [](Scene& s, SmoothingSettings&) { s.detailedBlock(2, 10, 10, 10, {158, 100, 100}); }, 0},
        CandidateCase{"EdgeFactorZeroTakesAnyGainWithOtherFocus",
                      [](Scene& s, SmoothingSettings& f) {
                          s.detailedBlock(2, 10, 10, 10, {158, 100, 100});
                          f.edgeFactor = 0;
                      }, 2},
        CandidateCase{"CandidateWithTheSameFocusKeepsTheBlock",
                      [](Scene& s, SmoothingSettings&) { s.block(2, 10, 10, 10, kBetter); }, 0},
        CandidateCase{"CandidateEdgeDifferenceZeroIsNeverUsed",
                      [](Scene& s, SmoothingSettings&) { s.detailedBlock(2, 10, 10, 10, kGrey); }, 0},
        CandidateCase{"DetailedMontageBlockFailsTheDetailTest",
                      [](Scene& s, SmoothingSettings&) { detailedMontageBlock(s); }, 0},
        CandidateCase{"DetailedMontageBlockWithAHigherDiffFactor",
                      [](Scene& s, SmoothingSettings& f) {
                          detailedMontageBlock(s);
                          f.diffFactor = 1000;
                      }, 2},
        CandidateCase{"FocusLossAboveTheWeightedEdgeGainKeepsTheBlock",
                      [](Scene& s, SmoothingSettings& f) {
                          detailedMontageBlock(s);
                          f.diffFactor = 1000;
                          f.focusFactor = 0.09f;
                      }, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct EdgeCase {
    int x, y;
    int count;
    float sCur;
};

class EdgeSamples : public ::testing::TestWithParam<EdgeCase> {};

// The column left of the blocks at x = 20 is red-shifted by 30 and the row below the blocks at
// y = 20 green-shifted by 40, so the edge difference tells which edges were sampled.
TEST_P(EdgeSamples, FirstColumnUsesOnlyTheRowBelowAndFirstRowOnlyTheLeftEdge) {
    Scene s(40, 40, 2);
    for (int y = 0; y < 40; ++y) s.set(100, 19, y, {130, 100, 100});
    for (int x = 0; x < 40; ++x) s.set(100, x, 19, {100, 140, 100});
    const EdgeCase c = GetParam();
    BlockSearchContext ctx;
    ctx.increment = 10;
    const SmootherBlock b = findSmootherBlock(s.mp, ctx, c.x, c.y, 999, 100);
    EXPECT_EQ(b.count, c.count);
    EXPECT_FLOAT_EQ(b.sCur, c.sCur);
    // Grey pictures join exactly as well as the montage: no candidate, sBest equals sCur.
    EXPECT_EQ(b.picture, 999);
    EXPECT_FLOAT_EQ(b.sBest, c.sCur);
}

INSTANTIATE_TEST_SUITE_P(SmoothingPass, EdgeSamples,
                         ::testing::Values(EdgeCase{0, 0, 0, 0}, EdgeCase{0, 20, 8, 40},
                                           EdgeCase{20, 0, 8, 30}, EdgeCase{20, 20, 16, 35}),
                         [](const auto& info) {
                             return "Block" + std::to_string(info.param.x) + "_" + std::to_string(info.param.y);
                         });

struct BorderCase {
    const char* name;
    int x, y;                // the weak montage block
    bool useOffsets;
    DisplayArea area;
    ImageOffset target1, target2;
    int candidate, cx, cy;   // where the better block lies
    bool replaced;
};

class FirstColumnAndRow : public ::testing::TestWithParam<BorderCase> {};

TEST_P(FirstColumnAndRow, AreReplacedOnlyWhenOffsetsShiftAPictureRightOrUp) {
    const BorderCase c = GetParam();
    Scene s(40, 40, 2);
    // The montage block came from picture 1, so picture 1 joins no better where it is.
    for (int p : {1, 100}) s.block(p, c.x, c.y, 10, kWeak);
    s.detailedBlock(c.candidate, c.cx, c.cy, 10, kBetter);
    s.plainMap(10);
    s.focus.useOffsets = c.useOffsets;
    s.focus.offsets[1] = c.target1;
    s.focus.offsets[2] = c.target2;
    SmoothInput in = s.input(10);
    in.area = c.area;
    const SmoothResult r = smoothMontage(in);
    const std::string position = "(" + std::to_string(c.x) + "," + std::to_string(c.y) + ")";
    EXPECT_EQ(r.report.find(position) != std::string::npos, c.replaced) << r.report;
    EXPECT_EQ(s.at(100, c.x + 1, c.y + 1), c.replaced ? kBetter : kWeak);
    EXPECT_EQ(s.at(100, c.x + 5, c.y + 5), (c.replaced ? Rgb{255, 255, 255} : kWeak));
}

INSTANTIATE_TEST_SUITE_P(
    SmoothingPass, FirstColumnAndRow,
    ::testing::Values(
        BorderCase{"FirstColumnWithoutOffsets", 0, 10, false, DisplayArea::Same, {}, {}, 2, 0, 10, false},
        BorderCase{"FirstRowWithoutOffsets", 10, 0, false, DisplayArea::Same, {}, {}, 2, 10, 0, false},
        // Picture 2's target lies 5 to the right: its block for column 0 starts at x = 5.
        BorderCase{"FirstColumnShiftedRight", 0, 10, true, DisplayArea::Same, {0, 0}, {5, 0}, 2, 5, 10, true},
        // The minimum area's row adjustment (dY = 5) puts picture 1's block for row 0 at y = 5.
        BorderCase{"FirstRowShiftedUpByTheMinimumArea", 10, 0, true, DisplayArea::Minimum, {0, 0}, {0, 5}, 1, 10, 5, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SmoothingPass, ReportStopsGrowingAtItsLimitWhileSmoothingGoesOn) {
    // 40 weak blocks in each of the rows y = 10, 30 and 50: two rows' lists fit below 1020
    // characters, the third does not.
    Scene s(800, 60, 2);
    for (int y : {10, 30, 50})
        for (int x = 10; x < 800; x += 20) {
            for (int p : {1, 100}) s.block(p, x, y, 10, kWeak);
            s.detailedBlock(2, x, y, 10, kBetter);
        }
    s.plainMap(10);
    const SmoothResult r = smoothMontage(s.input(10));
    EXPECT_EQ(r.replaced, 120);
    auto rowList = [](int y) {
        std::string l;
        for (int x = 10; x < 800; x += 20)
            l += (l.empty() ? "" : " ; ") + ("(" + std::to_string(x) + "," + std::to_string(y) + ")");
        return l;
    };
    EXPECT_EQ(r.report, std::string(kReportStart) + rowList(10) + "\r\n" + rowList(30) + "\r\n");
    EXPECT_LT(r.report.size(), 1020u);
    EXPECT_GE(r.report.size() + rowList(50).size(), 1020u);
    // The unlisted row is smoothed all the same.
    EXPECT_EQ(s.at(100, 790, 50), kBetter);
    EXPECT_EQ(s.map.substr(0, 10), "1212121212");
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_EQ(s.messages[0].text, r.report);
}

TEST(SmoothingPass, ChangesBeyondTheReportLimitAreStillReportedAsSmoothing) {
    // One row of 100 changes is longer than the report may grow: the box still says smoothing
    // occurred rather than that the image was already smooth.
    Scene s(2000, 20, 2);
    for (int x = 10; x < 2000; x += 20) {
        for (int p : {1, 100}) s.block(p, x, 10, 10, kWeak);
        s.detailedBlock(2, x, 10, 10, kBetter);
    }
    s.plainMap(10);
    const SmoothResult r = smoothMontage(s.input(10));
    EXPECT_EQ(r.replaced, 100);
    EXPECT_EQ(r.report, kReportStart);
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_EQ(s.messages[0].title, "Smooved");
}

TEST(SmoothingPass, APassThatChangesNothingStillSaysSmoothingYes) {
    for (bool show : {true, false}) {
        Scene s(40, 40, 2);
        s.plainMap(10);
        const std::string before = s.properties;
        ASSERT_NE(before.find("Smoothing =no \r\n"), std::string::npos);
        SmoothInput in = s.input(10);
        in.showMessages = show;
        const SmoothResult r = smoothMontage(in);
        EXPECT_EQ(r.replaced, 0);
        std::string expected = before;
        expected.replace(expected.find("Smoothing =no "), 14, "Smoothing =yes");
        EXPECT_EQ(s.properties, expected);
        if (show) {
            ASSERT_EQ(s.messages.size(), 1u);
            EXPECT_EQ(s.messages[0],
                      (Prompt{PromptIcon::Exclamation, PromptButtons::Ok,
                              "This image is already as smooth as I can get it.",
                              "Sorry, I can't improve perfection"}));
        } else {
            EXPECT_TRUE(s.messages.empty());
        }
    }
}

struct RefusalCase {
    const char* incrementText;
    float focusFactor;
    bool visible;
    SmoothOutcome outcome;
    const char* text;
};

class Refusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusals, ChangeNothingAndSayWhy) {
    const RefusalCase c = GetParam();
    Scene s = weakBlockScene();
    const auto pixels = s.mp.montage.slot(100);
    const std::string map = s.map, properties = s.properties;
    SmoothInput in = s.input(10);
    in.incrementText = c.incrementText;
    in.settings.focusFactor = c.focusFactor;
    in.montageVisible = c.visible;
    in.showMessages = false; // the automatic pass shows these all the same
    const SmoothResult r = smoothMontage(in);
    EXPECT_EQ(r.outcome, c.outcome);
    EXPECT_EQ(s.mp.montage.slot(100), pixels);
    EXPECT_EQ(s.map, map);
    EXPECT_EQ(s.properties, properties);
    ASSERT_EQ(s.messages.size(), 1u);
    EXPECT_EQ(s.messages[0].text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    SmoothingPass, Refusals,
    ::testing::Values(
        RefusalCase{"10", 0.1f, false, SmoothOutcome::Hidden, kSmoothHiddenText},
        RefusalCase{"0", 0.1f, true, SmoothOutcome::Refused, kSmoothIncrementText},
        RefusalCase{"0.5", 0.1f, true, SmoothOutcome::Refused, kSmoothIncrementText},
        RefusalCase{"-20", 0.1f, true, SmoothOutcome::Refused, kSmoothIncrementText},
        RefusalCase{"abc", 0.1f, true, SmoothOutcome::Refused, kSmoothIncrementText},
        RefusalCase{"10", 0.0f, true, SmoothOutcome::Refused, kSmoothFocusFactorText},
        RefusalCase{"10", -1.0f, true, SmoothOutcome::Refused, kSmoothFocusFactorText}),
    [](const auto& info) {
        const RefusalCase& c = info.param;
        if (!c.visible) return std::string("HiddenMontage");
        if (c.focusFactor == 0) return std::string("FocusFactorZero");
        if (c.focusFactor < 0) return std::string("FocusFactorNegative");
        std::string name = std::string("Increment_") + c.incrementText;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return name;
    });

TEST(SmoothingPass, AnIncrementBeyondSixteenBitsIsAnOverflow) {
    Scene s = weakBlockScene();
    SmoothInput in = s.input(10);
    in.incrementText = "40000";
    try {
        smoothMontage(in);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

struct GridCase {
    int x, y;
};

class ChangedIncrement : public ::testing::TestWithParam<GridCase> {};

// The montage and its map were made with increment 20 (4 x 2 blocks); the pass walks a grid of 10.
TEST_P(ChangedIncrement, NeverWritesTheMapOutsideItsTextOrOverItsLineBreaks) {
    const GridCase c = GetParam();
    Scene s(80, 40, 2);
    s.plainMap(20);
    for (int p : {1, 100}) s.block(p, c.x, c.y, 10, kWeak);
    s.detailedBlock(2, c.x, c.y, 10, kBetter);
    const std::string map = s.map;
    const SmoothResult r = smoothMontage(s.input(10));
    EXPECT_EQ(r.replaced, 1);
    EXPECT_EQ(s.at(100, c.x + 1, c.y + 1), kBetter);
    EXPECT_EQ(s.map, map);
}

// (40, 30) falls on the first line break; (10, 10) lies beyond the end of the text.
INSTANTIATE_TEST_SUITE_P(SmoothingPass, ChangedIncrement,
                         ::testing::Values(GridCase{40, 30}, GridCase{10, 10}),
                         [](const auto& info) {
                             return info.param.x == 40 ? "OverALineBreak" : "BeyondTheText";
                         });

// The same montage and map (increment 20), the pass told the map's grid: each map cell the pass
// touched takes the picture most of its pixels now come from, and no other cell changes.
TEST(SmoothingPass, OnAnotherGridEachTouchedMapCellTakesThePictureMostOfItsPixelsComeFrom) {
    Scene s(80, 40, 2);
    s.plainMap(20);
    // Three quarters of the upper cell (20, 20) are replaced, in blocks of 10; of the upper cell
    // (60, 20) only its top-left quarter, block (60, 30).
    for (auto [x, y] : {std::pair{20, 20}, {30, 20}, {20, 30}, {60, 30}}) {
        for (int p : {1, 100}) s.block(p, x, y, 10, kWeak);
        s.detailedBlock(2, x, y, 10, kBetter);
    }
    SmoothInput in = s.input(10);
    in.mapIncrement = 20;
    const SmoothResult r = smoothMontage(in);
    ASSERT_EQ(r.replaced, 4);
    EXPECT_EQ(s.at(100, 61, 31), kBetter);
    EXPECT_EQ(s.map, "1211\r\n1111\r\n");
    EXPECT_EQ(s.properties.substr(s.properties.find("image numbers:") + 16), s.map);
    EXPECT_NE(s.properties.find("  Smoothing =yes"), std::string::npos);
}

TEST(SmoothingPass, ComparisonMontagesAreSmoothedInTheirOwnSlot) {
    Scene s = weakBlockScene();
    s.mp.montage.slot(102) = s.mp.montage.slot(100);
    const auto main = s.mp.montage.slot(100);
    SmoothInput in = s.input(10);
    in.comparison = 2;
    EXPECT_EQ(smoothMontage(in).replaced, 1);
    EXPECT_EQ(s.mp.montage.slot(100), main);
    EXPECT_EQ(s.at(102, 10, 10), kBetter);

    // Comparison montage 5 has no slot; an unfilled slot cannot be smoothed either.
    for (int index : {5, 1}) {
        in.comparison = index;
        try {
            smoothMontage(in);
            ADD_FAILURE() << "index " << index;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 9);
        }
    }
}

// An aligned montage cut to the minimum area: montage block (x, y) came from the pictures at
// (x - shiftX, y + dY). The pass compares and copies the candidate from there, so the block it
// puts in is the one the montage's neighbours were cut from.
TEST(SmoothingPass, AnAlignedMontageTakesItsBlocksFromWhereTheAreaPlacedThem) {
    for (const bool placedByArea : {true, false}) {
        SCOPED_TRACE(placedByArea ? "placed by the area" : "where it is");
        Scene s(60, 60, 3);
        // The montage is the pictures' 40 x 40 part from (10, 10).
        s.mp.montage.lastColumn = 39;
        s.mp.montage.lastRow = 39;
        s.mp.montage.slot(100) = Scene::grey(40, 40);
        s.g.W = 40;
        s.g.H = 40;
        s.g.shiftX = -10;
        s.g.dY = 10;
        for (int p : {1, 3}) s.block(p, 20, 20, 10, kWeak);
        s.block(100, 10, 10, 10, kWeak);
        s.detailedBlock(2, 20, 20, 10, kBetter);
        s.plainMap(10);
        SmoothInput in = s.input(10);
        in.placedByArea = placedByArea;
        const SmoothResult r = smoothMontage(in);
        if (placedByArea) {
            EXPECT_EQ(r.replaced, 1);
            EXPECT_EQ(s.at(100, 10, 10), kBetter);
            EXPECT_EQ(s.at(100, 15, 15), (Rgb{255, 255, 255}));
        } else {
            // Read where it is, picture 2 has only grey there.
            EXPECT_NE(s.at(100, 10, 10), kBetter);
        }
    }
}
