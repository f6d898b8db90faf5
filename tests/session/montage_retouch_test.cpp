// Retouching the session's montages: the source pixel painted is the one the montage used there
// (offsets, display areas, alignment), undo and redo byte for byte, the properties line, and the
// strokes kept beside a project.
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "band_picture.h"
#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "retouch/strokes_file.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace orv {
namespace {

using retouch::Brush;
using retouch::Stroke;

struct Rig : testing::BandSessionRig<> {
    using BandSessionRig::BandSessionRig;
    std::vector<std::uint8_t> pixels() const { return session.record({}).picture.rounded(); }
};

const Brush kHardCopy{3, 100, 100, false};

struct PlacementCase {
    const char* name;
    bool offsets;
    DisplayArea area;
    bool align;
    FocusMethod method;
};

class SourcePlacement : public ::testing::TestWithParam<PlacementCase> {};

// Painted with a hard full brush from the picture a block came from, a block does not change; from
// another picture it does.
TEST_P(SourcePlacement, ThePictureABlockCameFromPaintsItUnchanged) {
    const PlacementCase& c = GetParam();
    Rig rig;
    MontageRequest r = rig.request();
    r.method = c.method;
    r.useOffsets = c.offsets;
    r.area = c.area;
    r.align = c.align;
    if (c.offsets) {
        OffsetTable t{};
        t[1] = ImageOffset{30, 20};
        t[2] = ImageOffset{33, 18};
        t[3] = ImageOffset{28, 24};
        r.targets = t;
    }
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const MontageRecord& main = rig.session.record({});
    const int W = main.picture.pictureWidth(), H = main.picture.pictureHeight();
    int same = 0, changed = 0;
    // Blocks are counted from the montage's bottom row.
    for (int fromBottom = 5; fromBottom + 5 <= H; fromBottom += 10)
        for (int x = 5; x + 5 <= W; x += 10) {
            const int y = H - 1 - fromBottom;
            const int k = rig.session.sharpestPictureAt({}, x, y);
            ASSERT_GE(k, 1);
            const std::vector<std::uint8_t> before = rig.pixels();
            rig.session.applyStroke({}, Stroke{k, kHardCopy, {{x, y}}});
            if (rig.pixels() == before) ++same;
            else ADD_FAILURE() << "block at " << x << "," << y << " from picture " << k;
            rig.session.undoStroke({});
            rig.session.applyStroke({}, Stroke{k % 3 + 1, kHardCopy, {{x, y}}});
            changed += rig.pixels() != before;
            rig.session.undoStroke({});
            ASSERT_EQ(rig.pixels(), before);
        }
    EXPECT_GT(same, 3);
    EXPECT_EQ(changed, same);
}

INSTANTIATE_TEST_SUITE_P(
    Montages, SourcePlacement,
    ::testing::Values(PlacementCase{"NoOffsets", false, DisplayArea::Same, false, FocusMethod::ColorSpace3D},
                      PlacementCase{"OffsetsSameArea", true, DisplayArea::Same, false, FocusMethod::ColorSpace3D},
                      PlacementCase{"OffsetsMinimumArea", true, DisplayArea::Minimum, false, FocusMethod::Green},
                      PlacementCase{"OffsetsMaximumArea", true, DisplayArea::Maximum, false, FocusMethod::ColorSpace3D},
                      PlacementCase{"AlignedMinimumArea", false, DisplayArea::Minimum, true, FocusMethod::ColorSpace3D}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Retouch, PyramidFocusPaintsFromThePictureAtTheSamePlace) {
    // Pyramid Focus blends, so its pixels are not any one picture's: a hard stroke copies the
    // picture's own pixel at the same place.
    Rig rig;
    MontageRequest r = rig.request();
    r.method = FocusMethod::Pyramid;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const QImage two(QString::fromStdString(rig.path("b2.bmp")));
    EXPECT_EQ(rig.session.sharpestPictureAt({}, 30, 20), 2);
    rig.session.applyStroke({}, Stroke{2, Brush{4, 100, 100, false}, {{30, 20}, {40, 22}}});
    const MemorySurface& p = rig.session.record({}).picture;
    for (const auto& [x, y] : {std::pair{30, 20}, std::pair{33, 21}, std::pair{40, 25}}) {
        const QRgb want = two.pixel(x, y);
        EXPECT_EQ(p.pixelAt(x, y)[0], qBlue(want)) << x << "," << y;
        EXPECT_EQ(p.pixelAt(x, y)[1], qGreen(want)) << x << "," << y;
        EXPECT_EQ(p.pixelAt(x, y)[2], qRed(want)) << x << "," << y;
    }
}

TEST(Retouch, UndoRedoAndClearByteForByteWithThePropertiesLine) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const std::vector<std::uint8_t> made = rig.pixels();
    const std::string properties = rig.session.record({}).properties;
    EXPECT_FALSE(rig.session.undoStroke({}));

    rig.session.beginStroke({}, 1, Brush{8, 50, 80, true});
    for (int x = 0; x <= 50; x += 7) rig.session.strokeTo(x, 15);
    EXPECT_FALSE(rig.session.endStroke().empty());
    const std::vector<std::uint8_t> one = rig.pixels();
    rig.session.applyStroke({}, Stroke{3, Brush{12, 0, 100, false}, {{59, 0}, {0, 39}}});
    const std::vector<std::uint8_t> two = rig.pixels();
    EXPECT_NE(one, made);
    EXPECT_NE(two, one);
    EXPECT_EQ(rig.session.strokeCount({}), 2);
    EXPECT_EQ(retouchedStrokeCount(rig.session.record({}).properties), 2);
    EXPECT_NE(rig.session.record({}).properties.find("  Retouched =2 strokes\r\n  Montage made from"), std::string::npos);

    ASSERT_TRUE(rig.session.undoStroke({}));
    EXPECT_EQ(rig.pixels(), one);
    ASSERT_TRUE(rig.session.undoStroke({}));
    EXPECT_EQ(rig.pixels(), made);
    EXPECT_EQ(rig.session.record({}).properties, properties);
    ASSERT_TRUE(rig.session.redoStroke({}));
    EXPECT_EQ(rig.pixels(), one);
    ASSERT_TRUE(rig.session.redoStroke({}));
    EXPECT_EQ(rig.pixels(), two);
    EXPECT_FALSE(rig.session.redoStroke({}));

    // A new stroke after an undo forgets what could be redone.
    rig.session.undoStroke({});
    rig.session.applyStroke({}, Stroke{2, kHardCopy, {{5, 5}}});
    EXPECT_FALSE(rig.session.redoStroke({}));
    rig.session.clearStrokes({});
    EXPECT_EQ(rig.pixels(), made);
    EXPECT_EQ(rig.session.strokeCount({}), 0);
    EXPECT_EQ(rig.session.record({}).properties, properties);

    // Make Montage starts again without strokes.
    rig.session.applyStroke({}, Stroke{2, kHardCopy, {{5, 5}}});
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    EXPECT_EQ(rig.session.strokeCount({}), 0);
    EXPECT_EQ(rig.pixels(), made);
}

// A long retouching session keeps its undo pixels within a budget: the oldest strokes are folded
// together and no longer undone one at a time, the newest always is, and Clear Strokes and the
// strokes file still take in every stroke.
TEST(Retouch, TheUndoHistoryStaysWithinItsBudgetAndStillClearsEveryStroke) {
    Rig small{SessionOptions{.retouchUndoBytes = 1}};
    ASSERT_TRUE(small.session.makeMontage(small.request()).made);
    const std::vector<std::uint8_t> made = small.pixels();
    std::vector<Stroke> painted;
    std::size_t oneStroke = 0;
    for (int k = 0; k < 8; ++k) {
        painted.push_back(Stroke{k % 3 + 1, Brush{6, 50, 90, k % 2 == 0}, {{5 + 6 * k, 8}, {5 + 6 * k, 30}}});
        small.session.applyStroke({}, painted.back());
        if (k == 0) oneStroke = small.session.record({}).retouch.bytesKept();
    }
    const MontageRecord& record = small.session.record({});
    EXPECT_EQ(record.retouch.strokes(), painted);
    EXPECT_EQ(retouchedStrokeCount(record.properties), 8);
    // The first stroke's record, holding each tile once, and the newest stroke's.
    EXPECT_LE(record.retouch.bytesKept(), 2 * oneStroke);
    const std::vector<std::uint8_t> seven = [&] {
        Rig whole;
        EXPECT_TRUE(whole.session.makeMontage(whole.request()).made);
        whole.session.applyStrokes({}, std::vector<Stroke>(painted.begin(), painted.end() - 1));
        return whole.pixels();
    }();
    ASSERT_TRUE(small.session.undoStroke({}));
    EXPECT_EQ(small.pixels(), seven);
    EXPECT_FALSE(small.session.undoStroke({}));
    EXPECT_EQ(small.session.strokeCount({}), 7);
    ASSERT_TRUE(small.session.redoStroke({}));
    small.session.clearStrokes({});
    EXPECT_EQ(small.pixels(), made);
    EXPECT_EQ(small.session.strokeCount({}), 0);

    // Within the budget every stroke is undone one at a time, as before.
    Rig roomy;
    ASSERT_TRUE(roomy.session.makeMontage(roomy.request()).made);
    roomy.session.applyStrokes({}, painted);
    for (int k = 0; k < 8; ++k) ASSERT_TRUE(roomy.session.undoStroke({})) << k;
    EXPECT_EQ(roomy.pixels(), made);
}

TEST(Retouch, RefusesWhatItCannotPaint) {
    Rig rig;
    EXPECT_THROW(rig.session.applyStroke({}, Stroke{1, kHardCopy, {{5, 5}}}), RuntimeError) << "no montage";
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    EXPECT_THROW(rig.session.applyStroke({}, Stroke{4, kHardCopy, {{5, 5}}}), RuntimeError);
    EXPECT_FALSE(rig.session.canRetouch({}, 0));
    EXPECT_TRUE(rig.session.canRetouch({}, 3));
    EXPECT_EQ(rig.session.strokeCount({}), 0);
}

TEST(Retouch, AProjectKeepsItsStrokesAndOpensWithThemUndoable) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const std::vector<std::uint8_t> made = rig.pixels();
    const std::vector<Stroke> strokes = {Stroke{3, Brush{9, 30, 90, true}, {{2, 3}, {50, 30}}},
                                         Stroke{1, Brush{5, 100, 100, false}, {{40, 5}}}};
    rig.session.applyStrokes({}, strokes);
    const std::vector<std::uint8_t> retouched = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));
    EXPECT_EQ(retouch::readStrokesFile(rig.path("p.strokes"), 3), strokes);

    Rig other;
    ASSERT_EQ(other.session.openProject(rig.path("p.mon"), other.request()), ProjectOutcome::Opened);
    EXPECT_EQ(other.pixels(), retouched);
    EXPECT_EQ(other.session.strokeCount({}), 2);
    EXPECT_EQ(retouchedStrokeCount(other.session.record({}).properties), 2);
    ASSERT_TRUE(other.session.undoStroke({}));
    ASSERT_TRUE(other.session.undoStroke({}));
    EXPECT_EQ(other.pixels(), made);
    EXPECT_TRUE(other.prompter.shown.empty());

    // A project without strokes writes no strokes file; a stale one beside it is not read.
    Rig plain;
    ASSERT_TRUE(plain.session.makeMontage(plain.request()).made);
    plain.session.saveProject({}, plain.path("q.mon"));
    EXPECT_FALSE(std::filesystem::exists(plain.path("q.strokes")));
    std::ofstream(plain.path("q.strokes")) << "not a strokes file\n";
    Rig third;
    ASSERT_EQ(third.session.openProject(plain.path("q.mon"), third.request()), ProjectOutcome::Opened);
    EXPECT_EQ(third.session.strokeCount({}), 0);
}

// A montage smoothed before it was retouched is made again unsmoothed when its project opens: an
// undo then gives back the smoothed montage around the stroke, not the unsmoothed one.
TEST(Retouch, AStrokeUndoneInAReopenedSmoothedProjectLeavesTheSmoothedMontageAroundIt) {
    Rig rig;
    MontageRequest r = rig.request();
    r.smoothing = testing::kEagerSmoothing;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const std::vector<std::uint8_t> made = rig.pixels();
    const std::optional<SmoothResult> smoothed = rig.session.smooth({}, r, false, true, "mnuSmooth", 0);
    ASSERT_TRUE(smoothed);
    ASSERT_GT(smoothed->replaced, 0);
    const std::vector<std::uint8_t> before = rig.pixels();
    ASSERT_NE(before, made);
    const Stroke stroke{3, Brush{4, 100, 100, false}, {{45, 20}, {50, 22}}};
    rig.session.applyStroke({}, stroke);
    const std::vector<std::uint8_t> retouched = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));

    Rig other;
    ASSERT_EQ(other.session.openProject(rig.path("p.mon"), r), ProjectOutcome::Opened);
    EXPECT_EQ(other.pixels(), retouched);
    ASSERT_TRUE(other.session.undoStroke({}));
    // Every pixel the stroke did not paint is the smoothed montage's again.
    const std::vector<std::uint8_t>& undone = other.session.record({}).picture.rounded();
    int differ = 0;
    for (std::size_t i = 0; i < before.size(); ++i) differ += retouched[i] == before[i] && undone[i] != before[i];
    EXPECT_EQ(differ, 0);
    ASSERT_TRUE(other.session.redoStroke({}));
    EXPECT_EQ(other.pixels(), retouched);
    EXPECT_TRUE(other.prompter.shown.empty()) << other.prompter.shown[0].text;
}

// A soft stroke from picture 3 across most of the montage.
const Stroke kLongStroke{3, Brush{9, 30, 90, true}, {{2, 3}, {50, 30}}};

// Makes `rig`'s montage, paints `strokes` stroke by stroke, saves it as p.mon, removes the file
// `gone` beside it and opens the project in `other`: the stored montage is shown, with no strokes
// to undo.
void opensStoredMontageWithout(Rig& rig, const std::vector<Stroke>& strokes, const char* gone, Rig& other) {
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    for (const Stroke& stroke : strokes) rig.session.applyStroke({}, stroke);
    const std::vector<std::uint8_t> retouched = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));
    ASSERT_TRUE(std::filesystem::remove(rig.path(gone)));
    ASSERT_EQ(other.session.openProject(rig.path("p.mon"), other.request()), ProjectOutcome::Opened);
    EXPECT_EQ(other.pixels(), retouched);
    EXPECT_EQ(other.session.strokeCount({}), 0);
    EXPECT_FALSE(other.session.undoStroke({}));
}

// A retouched project copied without its strokes file still opens: its stored montage is shown as
// saved and the user told that the strokes cannot be undone.
TEST(Retouch, AProjectWithoutItsStrokesFileOpensWithItsStoredMontage) {
    Rig rig, other;
    ASSERT_NO_FATAL_FAILURE(opensStoredMontageWithout(rig, {kLongStroke}, "p.strokes", other));
    ASSERT_EQ(other.prompter.shown.size(), 1u);
    EXPECT_EQ(other.prompter.shown[0].text, missingStrokesText(rig.path("p.strokes")));
    EXPECT_EQ(other.prompter.shown[0].title, kMissingStrokesTitle);
}

// A retouched project whose pictures are gone (moved, deleted) could not be opened at all: the
// montage could not be made again for its strokes, and the opening ended in "error 5". It opens
// as a project without strokes does, with its stored montage, and says that the strokes cannot
// be undone.
TEST(Retouch, ARetouchedProjectWhosePicturesAreGoneOpensWithItsStoredMontage) {
    Rig rig, other;
    ASSERT_NO_FATAL_FAILURE(opensStoredMontageWithout(rig, {kLongStroke}, "b1.bmp", other));
    ASSERT_FALSE(other.prompter.shown.empty());
    EXPECT_EQ(other.prompter.shown.back().text, kStrokesNotRemadeText);
    EXPECT_EQ(other.prompter.shown.back().title, kMissingStrokesTitle);
    for (const auto& shown : other.prompter.shown) EXPECT_NE(shown.title, kGenericErrorTitle) << shown.text;
}

// A retouched project whose series lost the picture a stroke painted from (the last shot deleted)
// still opens with its stored montage, as one whose pictures are gone does, rather than ending in
// an error after the controls took its settings; the user is told the strokes cannot be undone.
TEST(Retouch, ARetouchedProjectWhoseSeriesLostAStrokesPictureOpensWithItsStoredMontage) {
    Rig rig, other;
    const Stroke fromPictureOne{1, Brush{9, 30, 90, true}, {{2, 3}, {20, 10}}};
    ASSERT_NO_FATAL_FAILURE(opensStoredMontageWithout(rig, {fromPictureOne, kLongStroke}, "b3.bmp", other));
    ASSERT_FALSE(other.prompter.shown.empty());
    EXPECT_EQ(other.prompter.shown.back().text, kStrokesNotRemadeText);
    for (const auto& shown : other.prompter.shown) EXPECT_NE(shown.title, kGenericErrorTitle) << shown.text;
}

// A retouched project whose montage was smoothed: made again with the automatic pass, its
// strokes undo to the montage as it was made; smoothed after the strokes, the montage made again
// is not the stored one, and its strokes are not offered for undo (which would bring back pixels
// it never had) and the user is told.
TEST(Retouch, ASmoothedProjectUndoesOnlyToMontagesItHad) {
    Rig rig;
    MontageRequest r = rig.request();
    r.smoothing = SmoothingPreferences{1, 0.0f, 0.1f, 30000, 4.0f}; // the automatic pass replaces blocks
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    ASSERT_TRUE(rig.session.lastOutcome().smoothed);
    const std::vector<std::uint8_t> made = rig.pixels();
    rig.session.applyStroke({}, Stroke{2, kHardCopy, {{5, 5}}});
    const std::vector<std::uint8_t> retouched = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));
    Rig other;
    ASSERT_EQ(other.session.openProject(rig.path("p.mon"), r), ProjectOutcome::Opened);
    EXPECT_TRUE(other.pixels() == retouched);
    ASSERT_TRUE(other.session.undoStroke({}));
    EXPECT_TRUE(other.pixels() == made);
    EXPECT_TRUE(other.prompter.shown.empty()) << other.prompter.shown[0].text;

    // Made without the automatic pass and smoothed after the stroke.
    MontageRequest later = r;
    later.smoothing.autoSmooth = 0;
    ASSERT_TRUE(rig.session.makeMontage(later).made);
    rig.session.applyStroke({}, Stroke{2, Brush{8, 100, 100, false}, {{5, 5}, {50, 30}}});
    const std::optional<SmoothResult> pass = rig.session.smooth({}, later, false, true, kSmoothRoutine, 0);
    ASSERT_TRUE(pass);
    ASSERT_GT(pass->replaced, 0);
    const std::vector<std::uint8_t> smoothed = rig.pixels();
    rig.session.saveProject({}, rig.path("q.mon"));
    Rig third;
    ASSERT_EQ(third.session.openProject(rig.path("q.mon"), r), ProjectOutcome::Opened);
    EXPECT_TRUE(third.pixels() == smoothed);
    EXPECT_EQ(third.session.strokeCount({}), 0);
    ASSERT_EQ(third.prompter.shown.size(), 1u);
    EXPECT_EQ(third.prompter.shown[0].text, kStrokesUnlikeText);
}

TEST(Retouch, ABrokenStrokesFileStopsTheProjectFromOpening) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    rig.session.applyStroke({}, Stroke{2, kHardCopy, {{5, 5}}});
    rig.session.saveProject({}, rig.path("p.mon"));
    std::ofstream(rig.path("p.strokes")) << "orvanta-strokes 1\nstroke 9 3 100 100 0 5,5\n";
    Rig other;
    EXPECT_EQ(other.session.openProject(rig.path("p.mon"), other.request()), ProjectOutcome::Failed);
    ASSERT_EQ(other.prompter.shown.size(), 1u);

    // A file whose first strokes could be painted is refused whole: the montage made for it is
    // left as made, not half retouched.
    std::ofstream(rig.path("p.strokes")) << "orvanta-strokes 1\nstroke 2 3 100 100 0 5,5\nstroke 4 3 100 100 0 9,9\n";
    Rig third;
    EXPECT_EQ(third.session.openProject(rig.path("p.mon"), third.request()), ProjectOutcome::Failed);
    EXPECT_EQ(third.session.strokeCount({}), 0);
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    EXPECT_TRUE(third.pixels() == rig.pixels());
    EXPECT_EQ(retouchedStrokeCount(third.session.record({}).properties), 0);
}

// A picture the montage ignored can still be painted from: with the target markers it lies where
// its own target puts it, whether it was never used or used by an earlier montage with another
// target, and so paints what it paints when it is in use.
TEST(Retouch, AnIgnoredPicturePaintsFromWhereItsTargetPutsIt) {
    OffsetTable targets{};
    targets[1] = ImageOffset{30, 20};
    targets[2] = ImageOffset{36, 23};
    targets[3] = ImageOffset{28, 24}; // picture 3 and 1 give the area's shifts either way
    const Stroke fromTwo{2, kHardCopy, {{20, 15}, {35, 22}}};
    auto painted = [&](Rig& rig) {
        rig.session.applyStroke({}, fromTwo);
        std::vector<std::uint8_t> px;
        for (int x = 20; x <= 35; ++x)
            for (int c = 0; c < 3; ++c) px.push_back(rig.session.record({}).picture.pixelAt(x, 15 + (x - 20) * 7 / 15)[c]);
        return px;
    };
    auto request = [&](Rig& rig, bool ignoreTwo, const OffsetTable& t) {
        MontageRequest r = rig.request();
        r.useOffsets = true;
        r.targets = t;
        r.ignored[1] = ignoreTwo;
        return r;
    };
    Rig used;
    ASSERT_TRUE(used.session.makeMontage(request(used, false, targets)).made);
    const std::vector<std::uint8_t> want = painted(used);

    Rig ignored;
    ASSERT_TRUE(ignored.session.makeMontage(request(ignored, true, targets)).made);
    EXPECT_EQ(painted(ignored), want);

    Rig earlier;
    OffsetTable moved = targets;
    moved[2] = ImageOffset{29, 21};
    ASSERT_TRUE(earlier.session.makeMontage(request(earlier, false, moved)).made);
    ASSERT_TRUE(earlier.session.makeMontage(request(earlier, true, targets)).made);
    EXPECT_EQ(painted(earlier), want);
}

// Alignment leaves a picture the montage ignored as loaded: an aligned montage refuses to paint
// from it (its pixels would land off the subject), saying why, and leaves the montage as it was.
// A project saved with such strokes still opens, with its stored montage.
TEST(Retouch, AnAlignedMontageDoesNotPaintFromAPictureItIgnored) {
    Rig rig;
    MontageRequest r = rig.request();
    r.align = true;
    r.ignored[1] = true;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const std::vector<std::uint8_t> made = rig.pixels();
    EXPECT_FALSE(rig.session.canRetouch({}, 2));
    EXPECT_TRUE(rig.session.canRetouch({}, 1));
    try {
        rig.session.applyStrokes({}, {Stroke{1, kHardCopy, {{5, 5}}}, Stroke{2, kHardCopy, {{20, 15}, {35, 22}}}});
        ADD_FAILURE() << "painted from the ignored picture";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.description().find("picture 2 was ignored"), std::string::npos) << e.description();
    }
    EXPECT_EQ(rig.pixels(), made);
    EXPECT_EQ(rig.session.strokeCount({}), 0);

    rig.session.applyStroke({}, Stroke{1, kHardCopy, {{20, 15}, {35, 22}}});
    const std::vector<std::uint8_t> retouched = rig.pixels();
    rig.session.saveProject({}, rig.path("p.mon"));
    std::vector<Stroke> strokes = retouch::readStrokesFile(rig.path("p.strokes"), 3);
    ASSERT_EQ(strokes.size(), 1u);
    strokes[0].picture = 2;
    retouch::writeStrokesFile(rig.path("p.strokes"), strokes);
    Rig other;
    ASSERT_EQ(other.session.openProject(rig.path("p.mon"), other.request()), ProjectOutcome::Opened);
    EXPECT_EQ(other.pixels(), retouched);
    EXPECT_EQ(other.session.strokeCount({}), 0);
    ASSERT_FALSE(other.prompter.shown.empty());
    EXPECT_EQ(other.prompter.shown.back().text, kStrokesNotRemadeText);
}

// Undo puts back whole tiles of kept pixels and the smoothing pass's blocks over them. The
// rectangle Undo gives, which the window repaints, holds every pixel it changed.
TEST(Retouch, UndoAcrossASmoothingPassGivesEveryPixelItPutsBack) {
    Rig rig;
    MontageRequest r = rig.request();
    r.smoothing = testing::kEagerSmoothing;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    rig.session.applyStroke({}, Stroke{2, kHardCopy, {{5, 5}}});
    const std::optional<SmoothResult> smoothed = rig.session.smooth({}, r, false, true, kSmoothRoutine, 0);
    ASSERT_TRUE(smoothed);
    ASSERT_GT(smoothed->replaced, 0);
    const MemorySurface before = rig.session.record({}).picture;
    const std::optional<retouch::Rect> undone = rig.session.undoStroke({});
    ASSERT_TRUE(undone);
    const MemorySurface& after = rig.session.record({}).picture;
    int changed = 0, outside = 0;
    for (int y = 0; y < after.pictureHeight(); ++y)
        for (int x = 0; x < after.pictureWidth(); ++x) {
            if (std::equal(before.pixelAt(x, y), before.pixelAt(x, y) + 3, after.pixelAt(x, y))) continue;
            ++changed;
            outside += !(x >= undone->x0 && x < undone->x1 && y >= undone->y0 && y < undone->y1);
        }
    EXPECT_GT(changed, 0);
    EXPECT_EQ(outside, 0);
}

// The blocks a smoothing pass replaced, from its report "(x,y) ; (x,y)", rows from the bottom.
std::vector<std::pair<int, int>> replacedBlocks(const std::string& report) {
    std::vector<std::pair<int, int>> blocks;
    for (std::size_t at = report.find('('); at != std::string::npos; at = report.find('(', at + 1)) {
        int x = 0, y = 0;
        if (std::sscanf(report.c_str() + at, "(%d,%d)", &x, &y) == 2) blocks.emplace_back(x, y);
    }
    return blocks;
}

// Retouched, smoothed, then the strokes undone (one by one, or cleared): the pixels come back as
// they were before the strokes, except in the blocks the pass replaced, which keep what the pass
// wrote there, as the map and the properties still say. Undo put back whole tiles of the
// unsmoothed montage, so that the blocks around the stroke lost their smoothing while the map
// still named the pictures they came from.
TEST(Retouch, StrokesUndoneAfterASmoothingPassLeaveItsBlocks) {
    for (const bool clear : {false, true}) {
        SCOPED_TRACE(clear ? "Clear Strokes" : "Undo");
        Rig rig;
        MontageRequest r = rig.request();
        r.smoothing = testing::kEagerSmoothing;
        ASSERT_TRUE(rig.session.makeMontage(r).made);
        const MemorySurface made = rig.session.record({}).picture;
        rig.session.applyStroke({}, Stroke{2, kHardCopy, {{25, 15}, {40, 25}}});
        rig.session.applyStroke({}, Stroke{3, Brush{5, 60, 80, true}, {{12, 30}, {50, 8}}});
        const std::optional<SmoothResult> smoothed = rig.session.smooth({}, r, false, true, kSmoothRoutine, 0);
        ASSERT_TRUE(smoothed);
        const std::vector<std::pair<int, int>> blocks = replacedBlocks(smoothed->report);
        ASSERT_EQ(int(blocks.size()), smoothed->replaced);
        ASSERT_GT(smoothed->replaced, 0);
        const MemorySurface after = rig.session.record({}).picture;
        const std::string map = rig.session.record({}).map;
        if (clear) {
            rig.session.clearStrokes({});
        } else {
            ASSERT_TRUE(rig.session.undoStroke({}));
            ASSERT_TRUE(rig.session.undoStroke({}));
        }
        EXPECT_EQ(rig.session.strokeCount({}), 0);
        EXPECT_EQ(rig.session.record({}).map, map);
        const MemorySurface& undone = rig.session.record({}).picture;
        const int W = undone.pictureWidth(), H = undone.pictureHeight();
        int wrong = 0;
        for (int top = 0; top < H; ++top)
            for (int x = 0; x < W; ++x) {
                const int y = H - 1 - top;
                const bool smoothedHere = std::any_of(blocks.begin(), blocks.end(), [&](const auto& b) {
                    return x >= b.first && x < b.first + 10 && y >= b.second && y < b.second + 10;
                });
                const MemorySurface& want = smoothedHere ? after : made;
                wrong += !std::equal(undone.pixelAt(x, top), undone.pixelAt(x, top) + 3, want.pixelAt(x, top));
            }
        EXPECT_EQ(wrong, 0);
    }
}

struct LineCase {
    const char* name;
    std::string before;
    int strokes;
    std::string after;
};

class RetouchedLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(RetouchedLine, StandsBeforeTheMapWhileThereAreStrokes) {
    const LineCase& c = GetParam();
    EXPECT_EQ(withRetouchedLine(c.before, c.strokes), c.after);
    EXPECT_EQ(retouchedStrokeCount(c.after), c.strokes);
}

const std::string kMap = "  Montage made from dominant image numbers:\r\n12\r\n";

INSTANTIATE_TEST_SUITE_P(
    Texts, RetouchedLine,
    ::testing::Values(LineCase{"Added", "\r\n  Smoothing =no \r\n" + kMap, 3,
                               "\r\n  Smoothing =no \r\n  Retouched =3 strokes\r\n" + kMap},
                      LineCase{"Replaced", "  Retouched =3 strokes\r\n" + kMap, 12, "  Retouched =12 strokes\r\n" + kMap},
                      LineCase{"Removed", "  A =1\r\n  Retouched =1 strokes\r\n" + kMap, 0, "  A =1\r\n" + kMap},
                      LineCase{"WithoutMap", "  A =1\r\n", 1, "  A =1\r\n  Retouched =1 strokes\r\n"},
                      // A folder may be named like the lines: its words are not the lines.
                      LineCase{"FolderNamedLikeTheLines",
                               "\r\n  First file name =/p/  Retouched =7 strokes  Montage made from dominant image "
                               "numbers:/a01.bmp\r\n  Smoothing =no \r\n" + kMap,
                               3,
                               "\r\n  First file name =/p/  Retouched =7 strokes  Montage made from dominant image "
                               "numbers:/a01.bmp\r\n  Smoothing =no \r\n  Retouched =3 strokes\r\n" + kMap}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace orv
