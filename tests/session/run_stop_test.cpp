// Stopping a run: the session asks its observer at each picture read, alignment step and block row
// (Pyramid Focus: each picture measured and each row). A stopped Make Montage says nothing, keeps
// the montage records, and the next run makes the same montage as an uninterrupted one.
#include "base/error_sites.h"
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "band_picture.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orv {
namespace {

using testing::bandPicture;

// Asks to stop at the `stopAt`-th progress report of `phase`, and records every report.
class StoppingObserver : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    RunPhase phase = RunPhase::Reading;
    int stopAt = 0; // 0: never
    int seen = 0;
    std::vector<RunPhase> phases;
    int stoppedShown = 0;
    void progress(RunPhase p, int done, int total) override {
        if (phases.empty() || phases.back() != p) phases.push_back(p);
        EXPECT_GE(done, 0);
        if (total > 0) {
            EXPECT_LE(done, total);
        }
        if (p == phase) ++seen;
        if (p == phase && done == stopAgainAt) ++seenAgain;
    }
    bool stopRequested() override { return (stopAt > 0 && seen >= stopAt) || seenAgain >= 2; }
    int stopAgainAt = -1; // stop at the second report of this many steps done
    int seenAgain = 0;
    void runStopped(const MontageRecord&) override { ++stoppedShown; }
    void blockRowDone(const MontageRowEvent&, const PixelArrays&) override { ++rows; }
    int rows = 0;
};

struct StopRig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    StopRig() {
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 4; ++k) bandPicture(1 + (k - 1) % 3, 11u * k, true).save(dir.filePath(QStringLiteral("s%1.bmp").arg(k)), "BMP");
    }
    MontageRequest request(FocusMethod method, bool align) const {
        MontageRequest r;
        r.firstFileName = dir.filePath("s1.bmp").toStdString();
        r.incrementText = "10";
        r.method = method;
        r.align = align;
        return r;
    }
};

struct StopCase {
    const char* label;
    FocusMethod method;
    bool align;
    RunPhase phase;
    int at;
};

class StoppedRun : public ::testing::TestWithParam<StopCase> {};

TEST_P(StoppedRun, KeepsTheRecordsSaysNothingAndTheNextRunIsWhole) {
    const StopCase& c = GetParam();
    // The montage an uninterrupted session makes.
    StopRig clean;
    StoppingObserver plain(clean.prompter);
    MontageSession reference(clean.state, plain);
    ASSERT_TRUE(reference.makeMontage(clean.request(c.method, c.align)).made);
    const MontageRecord expected = reference.record({});

    StopRig rig;
    StoppingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    // An earlier montage with another increment.
    MontageRequest earlierRequest = rig.request(c.method, c.align);
    earlierRequest.incrementText = "20";
    ASSERT_TRUE(session.makeMontage(earlierRequest).made);
    const MontageRecord earlier = session.record({});

    observer.phase = c.phase;
    observer.seen = 0;
    observer.stopAt = c.at;
    const MakeOutcome stopped = session.makeMontage(rig.request(c.method, c.align));
    EXPECT_FALSE(stopped.made);
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(observer.stoppedShown, 1);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(session.record({}).map, earlier.map);
    EXPECT_EQ(session.record({}).picture.rounded(), earlier.picture.rounded());
    EXPECT_EQ(session.record({}).increment, 20);
    EXPECT_TRUE(session.record({}).unsaved);

    observer.stopAt = 0;
    ASSERT_TRUE(session.makeMontage(rig.request(c.method, c.align)).made);
    EXPECT_EQ(session.record({}).map, expected.map);
    EXPECT_EQ(session.record({}).picture.rounded(), expected.picture.rounded());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StoppedRun,
    ::testing::Values(StopCase{"reading_picture_2", FocusMethod::ColorSpace3D, false, RunPhase::Reading, 2},
                      StopCase{"block_row_2", FocusMethod::ColorSpace3D, false, RunPhase::Fusing, 2},
                      StopCase{"aligning_step_1", FocusMethod::ColorSpace3D, true, RunPhase::Aligning, 1},
                      StopCase{"pyramid_measuring", FocusMethod::Pyramid, false, RunPhase::Fusing, 1},
                      StopCase{"pyramid_aligned_late", FocusMethod::Pyramid, true, RunPhase::Fusing, 9}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(RunProgress, PyramidFocusAnswersAStopWhileItsPyramidsAreCollapsed) {
    // Four pictures measured and four merged: eight steps. Reports that come again with eight
    // steps done, before any row, come while the pyramids are collapsed; a stop there ends the run.
    StopRig rig;
    StoppingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    observer.phase = RunPhase::Fusing;
    observer.stopAgainAt = 8;
    const MakeOutcome stopped = session.makeMontage(rig.request(FocusMethod::Pyramid, false));
    EXPECT_TRUE(stopped.stopped);
    EXPECT_EQ(observer.seenAgain, 2);
    EXPECT_EQ(observer.rows, 0);
    observer.stopAgainAt = -1;
    observer.seenAgain = 0;
    EXPECT_TRUE(session.makeMontage(rig.request(FocusMethod::Pyramid, false)).made);
    EXPECT_GT(observer.rows, 0);
}

TEST(RunProgress, PhasesComeInTheirOrder) {
    StopRig rig;
    StoppingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    ASSERT_TRUE(session.makeMontage(rig.request(FocusMethod::Pyramid, true)).made);
    EXPECT_EQ(observer.phases, (std::vector<RunPhase>{RunPhase::Reading, RunPhase::Aligning, RunPhase::Fusing}));
}

TEST(RunProgress, AComparisonStoppedInItsSecondMontageEndsWithoutAVerdict) {
    StopRig rig;
    StoppingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    observer.phase = RunPhase::Fusing;
    observer.stopAt = 6; // four block rows a montage: inside the second one
    const ComparisonResult r = session.compareAllMethods(rig.request(FocusMethod::ColorSpace3D, false), 0);
    EXPECT_FALSE(r.message.has_value());
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
    EXPECT_TRUE(rig.state.montage.records[2].empty()); // the second method's montage was not kept
}

TEST(RunProgress, AStoppedLoadKeepsThePicturesReadSoFar) {
    StopRig rig;
    StoppingObserver observer(rig.prompter);
    observer.stopAt = 2;
    MontageSession session(rig.state, observer);
    EXPECT_EQ(session.load(rig.request(FocusMethod::ColorSpace3D, false).firstFileName), LoadOutcome::Stopped);
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST(RunProgress, AStoppedSmoothingPassLeavesTheMontageAsItWasAndTheNextPassIsWhole) {
    // The smoothed montage an uninterrupted pass makes.
    StopRig clean;
    StoppingObserver plain(clean.prompter);
    MontageSession reference(clean.state, plain);
    MontageRequest r = clean.request(FocusMethod::ColorSpace3D, false);
    r.smoothing = testing::kEagerSmoothing;
    ASSERT_TRUE(reference.makeMontage(r).made);
    ASSERT_TRUE(reference.smooth({}, r, false, true, kSmoothRoutine, 0));
    const MontageRecord smoothed = reference.record({});

    StopRig rig;
    StoppingObserver observer(rig.prompter);
    MontageSession session(rig.state, observer);
    r.firstFileName = rig.request(FocusMethod::ColorSpace3D, false).firstFileName;
    ASSERT_TRUE(session.makeMontage(r).made);
    const MontageRecord made = session.record({});
    ASSERT_NE(made.picture.rounded(), smoothed.picture.rounded()); // the pass changes blocks here
    observer.phase = RunPhase::Smoothing;
    observer.seen = 0;
    observer.stopAt = 1;
    EXPECT_FALSE(session.smooth({}, r, true, true, kSmoothRoutine, 0));
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(session.record({}).picture.rounded(), made.picture.rounded());
    EXPECT_EQ(session.record({}).map, made.map);
    EXPECT_EQ(session.record({}).properties, made.properties);

    observer.stopAt = 0;
    ASSERT_TRUE(session.smooth({}, r, false, true, kSmoothRoutine, 0));
    EXPECT_EQ(session.record({}).picture.rounded(), smoothed.picture.rounded());
    EXPECT_EQ(session.record({}).map, smoothed.map);
}

} // namespace
} // namespace orv
