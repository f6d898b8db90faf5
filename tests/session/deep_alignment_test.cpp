// Montages of 16-bit series through the session where the 8-bit picture is not simply the
// choices' pictures: aligned series (the deep pictures warped as the 8-bit ones were), smoothed
// montages, and a deep series too large for the memory left.
#include "session/montage_session.h"
#include "session/deep_stack_source.h"
#include "session/prompting_observer.h"

#include "input/deep_reader.h"
#include "fusion/pyramid_focus.h"
#include "input/memory_budget.h"
#include "output/deep_writer.h"
#include "base/error_sites.h"
#include "sample_series.h"
#include "deep_series_rig.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>

namespace orv {
namespace {

using testing::DeepRig;
using testing::writeFile;

// A series of the natural scene moved by breathing steps (with a red drift when asked; still when
// `moving` is false), at 16 bits: the scene's values before they were rounded to 8 bits.
std::vector<DeepPicture> movedDeepSeries(int count, double redDrift, bool moving = true) {
    std::vector<sample::PictureTransform> moves;
    for (int k = 1; k <= count; ++k) {
        const int d = moving ? k - sample::middlePicture(count) : 0;
        sample::PictureTransform t;
        t.scale = std::pow(1.01, -d);
        t.rotation = 0.1 * d;
        t.shiftX = 2.5 * d;
        t.shiftY = 1.5 * d;
        t.gain[2] = 1 + redDrift * d;
        moves.push_back(t);
    }
    const sample::SeriesMaker maker(sample::SeriesOptions{200, 152, count, 4, 16, sample::Scene::Natural});
    std::vector<DeepPicture> out;
    for (int k = 1; k <= count; ++k) {
        const sample::Picture p = maker.picture(k, moves[std::size_t(k - 1)]);
        DeepPicture d(p.width, p.height, 3, 16);
        d.samples = p.deep;
        out.push_back(std::move(d));
    }
    return out;
}

struct Difference {
    int largest = 0;
    double mean = 0;
};

// Between the 8-bit view of `deep` and the session's 8-bit montage.
Difference viewDifference(const DeepPicture& deep, const MemorySurface& eight) {
    Difference d;
    long long sum = 0;
    for (int y = 0; y < deep.height; ++y)
        for (int x = 0; x < deep.width; ++x)
            for (int c = 0; c < 3; ++c) {
                const int diff = std::abs(eightBitsOf(deep.at(x, y, deep.channels == 1 ? 0 : c)) - eight.pixelAt(x, y)[2 - c]);
                d.largest = std::max(d.largest, diff);
                sum += diff;
            }
    d.mean = double(sum) / (3.0 * deep.width * deep.height);
    return d;
}

double deepShare(const DeepPicture& p) {
    const auto n = std::count_if(p.samples.begin(), p.samples.end(), [](std::uint16_t v) { return v % 257 != 0; });
    return double(n) / double(p.samples.size());
}

struct AlignedCase {
    const char* name;
    FocusMethod method;
    DisplayArea area;
    bool colourMatch;
    int largest; // the largest difference of the 8-bit views allowed
    bool grey = false;
};

void PrintTo(const AlignedCase& c, std::ostream* os) { *os << c.name; }

class AlignedDeepMontage : public ::testing::TestWithParam<AlignedCase> {};

TEST_P(AlignedDeepMontage, IsSixteenBitAndItsViewIsTheEightBitMontage) {
    const AlignedCase& c = GetParam();
    std::vector<DeepPicture> series = movedDeepSeries(3, c.colourMatch ? 0.05 : 0);
    if (c.grey)
        for (DeepPicture& p : series) {
            DeepPicture g(p.width, p.height, 1, 16);
            for (std::size_t i = 0; i < g.samples.size(); ++i)
                g.samples[i] = std::uint16_t((p.samples[3 * i] + p.samples[3 * i + 1] + p.samples[3 * i + 2]) / 3);
            p = std::move(g);
        }
    DeepRig rig(series);
    MontageRequest r = rig.request();
    r.method = c.method;
    r.area = c.area;
    r.align = true;
    r.colourMatch = c.colourMatch;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    ASSERT_TRUE(rig.session.state().montage.alignment);
    const DeepPicture deep = rig.saved("m.png");
    EXPECT_TRUE(rig.said.empty()) << rig.said.front();
    const MemorySurface& eight = rig.session.record({}).picture;
    ASSERT_EQ(deep.width, eight.pictureWidth());
    ASSERT_EQ(deep.height, eight.pictureHeight());
    if (c.area == DisplayArea::Minimum) {
        EXPECT_LT(deep.width, 200);
    }
    EXPECT_EQ(deep.channels, c.grey && c.method != FocusMethod::Pyramid ? 1 : 3);
    const Difference d = viewDifference(deep, eight);
    EXPECT_LE(d.largest, c.largest);
    EXPECT_LT(d.mean, 0.5);
    // The values are the series' own 16-bit values, not 8-bit ones spread out.
    EXPECT_GT(deepShare(deep), 0.9);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, AlignedDeepMontage,
    ::testing::Values(AlignedCase{"block_same", FocusMethod::ColorSpace3D, DisplayArea::Same, false, 2},
                      AlignedCase{"block_minimum", FocusMethod::ColorSpace3D, DisplayArea::Minimum, false, 2},
                      AlignedCase{"block_colour_matched", FocusMethod::ColorSpace3D, DisplayArea::Same, true, 2},
                      AlignedCase{"block_grey_colour_matched", FocusMethod::ColorSpace3D, DisplayArea::Same, true, 2, true},
                      AlignedCase{"pyramid_same", FocusMethod::Pyramid, DisplayArea::Same, false, 2},
                      AlignedCase{"pyramid_minimum", FocusMethod::Pyramid, DisplayArea::Minimum, false, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AlignedDeepMontage, AProjectOpenedWithoutItsAlignmentIsSavedAtEightBitsAndSaysWhy) {
    DeepRig rig(movedDeepSeries(3, 0));
    MontageRequest r = rig.request();
    r.align = true;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    rig.session.saveProject({}, rig.path("p.mon"));
    ASSERT_EQ(rig.session.openProject(rig.path("p.mon"), r), ProjectOutcome::Opened);
    rig.saved("again.png");
    ASSERT_EQ(rig.said.size(), 1u);
    EXPECT_NE(rig.said[0].find("saved at 8 bits per sample: the aligned pictures are no longer at hand"), std::string::npos)
        << rig.said[0];
}

// What is done to the montage after it was made.
enum class Change { Smoothed, Retouched, RetouchedThenSmoothed };

struct ChangedCase {
    const char* name;
    int count;
    FocusMethod method;
    bool align;
    Change change;
    int largest; // the largest difference of the 8-bit views allowed
    DisplayArea area = DisplayArea::Same;
    const char* smoothIncrement = nullptr; // the increment box's text when smoothing, if not the montage's
};

void PrintTo(const ChangedCase& c, std::ostream* os) { *os << c.name; }

class ChangedDeepMontage : public ::testing::TestWithParam<ChangedCase> {};

TEST_P(ChangedDeepMontage, IsStillSavedAtSixteenBitsAsItNowIs) {
    const ChangedCase& c = GetParam();
    DeepRig rig(movedDeepSeries(c.count, 0, c.align));
    MontageRequest r = rig.request();
    r.method = c.method;
    r.align = c.align;
    r.area = c.area;
    r.smoothing = SmoothingPreferences{0, 0.0f, 0.1f, 30000, 4.0f}; // eager: blocks are replaced
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const std::vector<std::uint8_t> made = rig.session.record({}).picture.rounded();
    auto smooth = [&] {
        MontageRequest asked = r;
        if (c.smoothIncrement) asked.incrementText = c.smoothIncrement;
        const std::optional<SmoothResult> smoothed = rig.session.smooth({}, asked, false, true, kSmoothRoutine, 0);
        ASSERT_TRUE(smoothed);
        EXPECT_GT(smoothed->replaced, 0);
    };
    if (c.change == Change::Smoothed) {
        smooth();
    } else {
        // Two overlapping strokes from the first and the last picture, one matching brightness.
        rig.session.applyStroke({}, retouch::Stroke{1, retouch::Brush{18, 40, 100, true}, {{40, 40}, {120, 60}}});
        rig.session.applyStroke({}, retouch::Stroke{c.count, retouch::Brush{12, 80, 60, false}, {{100, 30}, {100, 110}}});
    }
    if (c.change == Change::RetouchedThenSmoothed) {
        // A pass over the strokes replaces blocks they painted, a stroke after it paints over
        // replaced blocks, and a second pass follows.
        const std::vector<std::uint8_t> painted = rig.session.record({}).picture.rounded();
        smooth();
        ASSERT_NE(rig.session.record({}).picture.rounded(), painted);
        rig.session.applyStroke({}, retouch::Stroke{2, retouch::Brush{15, 60, 100, true}, {{20, 100}, {160, 100}}});
        r.smoothing.edgeFactor = 0.0f;
        rig.session.smooth({}, r, false, true, kSmoothRoutine, 0);
    }
    ASSERT_NE(rig.session.record({}).picture.rounded(), made);
    const DeepPicture deep = rig.saved("changed.png");
    EXPECT_TRUE(rig.said.empty()) << rig.said.front();
    EXPECT_EQ(deep.bitsPerSample, 16);
    const Difference d = viewDifference(deep, rig.session.record({}).picture);
    EXPECT_LE(d.largest, c.largest);
    EXPECT_LT(d.mean, 0.5);
    EXPECT_GT(deepShare(deep), 0.9);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, ChangedDeepMontage,
    ::testing::Values(ChangedCase{"smoothed", 3, FocusMethod::ColorSpace3D, false, Change::Smoothed, 0},
                      // The map keeps only the last digit of pictures 11 and 12.
                      // Blocks of 7 over a montage of blocks of 10: the pass's pixels, not the map's blocks.
                      ChangedCase{"smoothed_on_another_grid", 3, FocusMethod::ColorSpace3D, false, Change::Smoothed, 0,
                                  DisplayArea::Same, "7"},
                      ChangedCase{"smoothed_twelve_pictures", 12, FocusMethod::ColorSpace3D, false, Change::Smoothed, 0},
                      ChangedCase{"smoothed_aligned", 3, FocusMethod::ColorSpace3D, true, Change::Smoothed, 2},
                      ChangedCase{"smoothed_aligned_minimum", 3, FocusMethod::ColorSpace3D, true, Change::Smoothed, 2,
                                  DisplayArea::Minimum},
                      ChangedCase{"retouched", 3, FocusMethod::ColorSpace3D, false, Change::Retouched, 1},
                      ChangedCase{"retouched_aligned", 3, FocusMethod::ColorSpace3D, true, Change::Retouched, 3},
                      ChangedCase{"retouched_pyramid", 3, FocusMethod::Pyramid, false, Change::Retouched, 2},
                      ChangedCase{"retouched_then_smoothed", 3, FocusMethod::ColorSpace3D, false,
                                  Change::RetouchedThenSmoothed, 1},
                      ChangedCase{"retouched_then_smoothed_aligned", 3, FocusMethod::ColorSpace3D, true,
                                  Change::RetouchedThenSmoothed, 3},
                      ChangedCase{"retouched_then_smoothed_on_another_grid", 3, FocusMethod::ColorSpace3D, false,
                                  Change::RetouchedThenSmoothed, 1, DisplayArea::Same, "7"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChangedDeepMontage, StrokesUndoneAcrossASmoothingPassAreSavedAsShownOrSaidToBeEightBits) {
    DeepRig rig(movedDeepSeries(3, 0, false));
    MontageRequest r = rig.request();
    r.method = FocusMethod::ColorSpace3D;
    r.smoothing = SmoothingPreferences{0, 0.0f, 0.1f, 30000, 4.0f};
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    rig.session.applyStroke({}, retouch::Stroke{1, retouch::Brush{18, 40, 100, true}, {{40, 40}, {120, 60}}});
    rig.session.applyStroke({}, retouch::Stroke{3, retouch::Brush{12, 80, 60, false}, {{100, 30}, {100, 110}}});
    ASSERT_TRUE(rig.session.smooth({}, r, false, true, kSmoothRoutine, 0));
    rig.session.applyStroke({}, retouch::Stroke{2, retouch::Brush{15, 60, 100, true}, {{20, 100}, {160, 100}}});
    // Taking strokes off after a pass brings back pixels from before it: whatever the 16-bit file
    // holds must be the montage as shown, or the file says it was saved at 8 bits.
    for (int undone = 1; undone <= 3; ++undone) {
        SCOPED_TRACE(undone);
        ASSERT_TRUE(rig.session.undoStroke({}));
        rig.said.clear();
        const DeepPicture deep = rig.saved("undone.png");
        if (deep.bitsPerSample == 16) {
            EXPECT_TRUE(rig.said.empty()) << rig.said.front();
            EXPECT_LE(viewDifference(deep, rig.session.record({}).picture).largest, 1);
        } else {
            ASSERT_EQ(rig.said.size(), 1u);
            EXPECT_NE(rig.said[0].find("saved at 8 bits per sample"), std::string::npos) << rig.said[0];
        }
    }
}

TEST(ChangedDeepMontage, UndoneStrokesLeaveTheDeepMontageAsMade) {
    DeepRig rig(movedDeepSeries(3, 0, false));
    const MontageRequest r = rig.request();
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    const DeepPicture before = rig.saved("before.png");
    rig.session.applyStroke({}, retouch::Stroke{2, retouch::Brush{20, 50, 100, true}, {{30, 30}, {150, 100}}});
    const DeepPicture painted = rig.saved("painted.png");
    EXPECT_NE(painted, before);
    ASSERT_TRUE(rig.session.undoStroke({}));
    EXPECT_EQ(rig.saved("undone.png"), before);
    EXPECT_TRUE(rig.said.empty()) << rig.said.front();
}

TEST(ChangedDeepMontage, PyramidFocusReadsOnlyThePicturesItsStrokesPaintFrom) {
    // Its deep picture is merged already: saving the retouched montage reads picture 2 alone (and
    // the first picture's header, which sizes the aligned stack), so a picture gone since does not
    // take the montage down to 8 bits.
    DeepRig rig(movedDeepSeries(3, 0));
    MontageRequest r = rig.request();
    r.method = FocusMethod::Pyramid;
    r.align = true;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    rig.session.applyStroke({}, retouch::Stroke{2, retouch::Brush{20, 50, 100, true}, {{30, 30}, {150, 100}}});
    ASSERT_TRUE(QFile::remove(QString::fromStdString(rig.path("d3.png"))));
    const DeepPicture deep = rig.saved("painted.png");
    EXPECT_TRUE(rig.said.empty()) << rig.said.front();
    EXPECT_EQ(deep.bitsPerSample, 16);
    EXPECT_LE(viewDifference(deep, rig.session.record({}).picture).largest, 3);
}

// A picture written again since the montage was made (a re-shot series) is not the picture its
// strokes were painted from: Pyramid Focus, whose deep picture is merged already, paints them
// again only from the pictures it read, else the montage is saved at 8 bits and says why; its
// 16-bit file never holds strokes the montage on screen does not show.
TEST(ChangedDeepMontage, StrokesOfAPictureWrittenAgainSinceAreNotPaintedFromTheNewOne) {
    for (const bool align : {false, true}) {
        SCOPED_TRACE(align);
        const std::vector<DeepPicture> series = movedDeepSeries(3, 0, align);
        DeepRig rig(series);
        MontageRequest r = rig.request();
        r.method = FocusMethod::Pyramid;
        r.align = align;
        ASSERT_TRUE(rig.session.makeMontage(r).made);
        rig.session.applyStroke({}, retouch::Stroke{2, retouch::Brush{20, 100, 100, false}, {{30, 30}, {150, 100}}});
        // Picture 2 shot again: the same size, other pixels.
        DeepPicture other = series[1];
        for (std::uint16_t& v : other.samples) v = std::uint16_t(65535 - v);
        writeFile(rig.path("d2.png"), encodeDeepPng(other, 16));
        const DeepPicture deep = rig.saved("painted.png");
        if (deep.bitsPerSample == 16) {
            EXPECT_TRUE(rig.said.empty()) << rig.said.front();
        } else {
            ASSERT_EQ(rig.said.size(), 1u);
            EXPECT_NE(rig.said[0].find("saved at 8 bits per sample"), std::string::npos) << rig.said[0];
        }
        EXPECT_LE(viewDifference(deep, rig.session.record({}).picture).largest, 3);
    }
}

TEST(ChangedDeepMontage, ABlockMontageReadsOnlyThePicturesItsBlocksCameFrom) {
    // An ignored picture gives the montage no block: saving it at 16 bits does not decode that
    // picture again, so one whose pixels were cut short since (its header still whole) does not
    // take the montage down to 8 bits. The montage is the one the full reading gave.
    for (const bool colourIgnored : {false, true}) {
        SCOPED_TRACE(colourIgnored);
        std::vector<DeepPicture> series = movedDeepSeries(3, 0, false);
        // A grey series whose ignored picture is in colour is saved in colour, as before.
        for (int k : {0, 2}) {
            DeepPicture g(series[k].width, series[k].height, 1, 16);
            for (std::size_t i = 0; i < g.samples.size(); ++i) g.samples[i] = series[k].samples[3 * i + 1];
            if (colourIgnored) series[k] = g;
        }
        DeepRig rig(series);
        MontageRequest r = rig.request();
        r.ignored[1] = true;
        ASSERT_TRUE(rig.session.makeMontage(r).made);
        const DeepPicture whole = rig.saved("whole.png");
        ASSERT_EQ(whole.channels, 3);
        std::vector<std::uint8_t> cut = encodeDeepPng(series[1], 16);
        cut.resize(cut.size() / 3);
        writeFile(rig.path("d2.png"), cut);
        DeepPicture broken;
        ASSERT_NE(readDeepPicture(rig.path("d2.png"), broken), DecodeStatus::Ok);
        EXPECT_EQ(rig.saved("again.png"), whole);
        EXPECT_TRUE(rig.said.empty()) << rig.said.front();
    }
}

class DeepSeriesMemory : public ::testing::Test {
protected:
    void TearDown() override { setMemoryCeiling(0); }
};

TEST_F(DeepSeriesMemory, ASeriesThatDoesNotFitIsRefusedBeforeAnyPictureIsReadAndOnePictureAtATimeFits) {
    // The 8-bit cells of every picture, room for the montage, and beside them the larger of one
    // picture's samples at 16 bits (the largest: the one read at a time) and the montage's file
    // encoded in memory (its samples with a byte a row and 64 KB of headers).
    std::vector<DeepPictureSize> sizes(3, DeepPictureSize{200, 152, 3});
    const std::uint64_t need = deepSeriesMemoryNeed(sizes);
    const std::uint64_t file = 200u * 152 * 6 + 152 + 65536;
    EXPECT_EQ(need, 3 * 200u * 152 * 3 + 3 * 200u * 152 * 3 + 200u * 152 * 6 + file);
    // A picture of another size goes into cells of the first one's size, and is held at its own
    // size until the stack is filled from it.
    sizes[1] = DeepPictureSize{400, 300, 1};
    EXPECT_EQ(deepSeriesMemoryNeed(sizes) - need, 400u * 300 * 3);
    sizes[1] = DeepPictureSize{600, 300, 1};
    EXPECT_EQ(deepSeriesMemoryNeed(sizes) - need, 600u * 300 * 3 + 600u * 300 * 2 - file);
    // A large first picture makes every picture's cells large, however small the others are.
    const std::vector<DeepPictureSize> large(3, DeepPictureSize{400, 300, 3});
    const std::vector<DeepPictureSize> largeFirst{{400, 300, 3}, {200, 152, 3}, {200, 152, 3}};
    EXPECT_EQ(deepSeriesMemoryNeed(largeFirst), deepSeriesMemoryNeed(large) + 2 * 200u * 152 * 3);
    // The first picture's metadata written into the file: the file is held three times.
    EXPECT_EQ(deepSeriesMemoryNeed(std::vector<DeepPictureSize>(3, DeepPictureSize{200, 152, 3}), SavedMetadata::WrittenIn) -
                  need,
              2 * file);

    for (const FocusMethod method : {FocusMethod::Pyramid, FocusMethod::ColorSpace3D}) {
        SCOPED_TRACE(int(method));
        DeepRig rig(movedDeepSeries(3, 0));
        MontageRequest r = rig.request();
        r.method = method;
        // Full room: the montage at full depth as it should be.
        setMemoryCeiling(0);
        ASSERT_TRUE(rig.session.makeMontage(r).made);
        const DeepPicture roomy = rig.saved("roomy.png");
        // Each picture on its own fits, one picture's samples beside the cells do not.
        setMemoryCeiling(need - 1);
        EXPECT_FALSE(rig.session.makeMontage(r).made);
        EXPECT_EQ(rig.session.pictureCount(), 0);
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_NE(rig.prompter.shown[0].text.find("Out of memory"), std::string::npos) << rig.prompter.shown[0].text;
        // With room for one picture at full depth, well short of the three, the same montage is
        // made and saved at 16 bits. Pyramid Focus needs room for its levels, at 16 bits in
        // floating point, and for the picture being read: without it the series is read and the
        // run refused before it makes any level.
        std::uint64_t tightCeiling = need;
        if (method == FocusMethod::Pyramid) {
            const std::uint64_t made = pictureFingerprint(rig.session.record({}).picture);
            setMemoryCeiling(need);
            rig.prompter.shown.clear();
            EXPECT_FALSE(rig.session.makeMontage(r).made);
            EXPECT_EQ(rig.session.pictureCount(), 3);
            // The montage made before is still there, as it was.
            EXPECT_EQ(pictureFingerprint(rig.session.record({}).picture), made);
            ASSERT_EQ(rig.prompter.shown.size(), 1u);
            EXPECT_NE(rig.prompter.shown[0].text.find("Out of memory"), std::string::npos) << rig.prompter.shown[0].text;
            tightCeiling = std::max(need, pyramidFocusWorkingBytes(PyramidFocusShape{200, 152, true}) + 2 * 200u * 152 * 3);
        }
        setMemoryCeiling(tightCeiling);
        rig.prompter.shown.clear();
        ASSERT_TRUE(rig.session.makeMontage(r).made);
        EXPECT_TRUE(rig.prompter.shown.empty());
        const DeepPicture tight = rig.saved("tight.png");
        EXPECT_TRUE(rig.said.empty()) << rig.said.front();
        EXPECT_EQ(tight, roomy);
        EXPECT_GT(deepShare(tight), 0.5);
    }
}

TEST(DeepStackSource, HandsOutEachPictureAtFullDepthFromItsFileAndBlackForOneThatCannotBeRead) {
    const std::vector<DeepPicture> series = movedDeepSeries(3, 0, false);
    DeepRig rig(series);
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const ImageStack& stack = rig.state.montage.arrays.stack;
    DeepStackSource source(stack, *parseSeriesName(rig.path("d1.png")), nullptr);
    SourcePicture first, second;
    source.read(1, true, first);
    ASSERT_TRUE(first.deep);
    EXPECT_EQ(*first.deep, series[0]);
    EXPECT_EQ(first.cells, stack.pictures[0].data()); // the stack's own cells
    source.read(2, false, second);
    EXPECT_FALSE(second.deep);
    EXPECT_TRUE(source.readWhole());

    // Picture 2 gone since the stack was filled: black at its size, and the series said to be
    // not wholly read at full depth (the session then keeps its montage at 8 bits).
    ASSERT_TRUE(QFile::remove(QString::fromStdString(rig.path("d2.png"))));
    source.read(2, true, second);
    ASSERT_TRUE(second.deep);
    EXPECT_EQ(second.deep->width, stack.pictureWidth(2));
    EXPECT_EQ(second.deep->height, stack.pictureHeight(2));
    EXPECT_TRUE(std::all_of(second.deep->samples.begin(), second.deep->samples.end(), [](std::uint16_t v) { return v == 0; }));
    EXPECT_FALSE(source.readWhole());
}

TEST_F(DeepSeriesMemory, AnEightBitSeriesIsNotCountedAtFullDepth) {
    std::vector<DeepPicture> series = movedDeepSeries(3, 0);
    for (DeepPicture& p : series)
        for (std::uint16_t& v : p.samples) v = std::uint16_t(eightBitsOf(v) * 257);
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    PromptingObserver observer{prompter};
    MontageSession session{state, observer};
    for (int k = 1; k <= 3; ++k)
        writeFile(dir.filePath(QString("e%1.png").arg(k)).toStdString(), encodeDeepPng(series[std::size_t(k - 1)], 8));
    EXPECT_TRUE(deepSeriesFits(dir.filePath("e1.png").toStdString()));
    setMemoryCeiling(deepSeriesMemoryNeed(std::vector<DeepPictureSize>(3, DeepPictureSize{200, 152, 3})) - 1);
    EXPECT_TRUE(deepSeriesFits(dir.filePath("e1.png").toStdString()));
}

} // namespace
} // namespace orv
