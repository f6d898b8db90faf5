// The undo and redo history of a retouched montage across the other commands: what a failed Redo
// leaves, and what the smoothing passes run over strokes keep for Undo.
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "band_picture.h"
#include "base/error_sites.h"
#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace orv {
namespace {

using retouch::Brush;
using retouch::Stroke;

// Asks to stop a Load once `stopAfter` pictures are read (0: never).
class StoppingObserver : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    int stopAfter = 0;
    int read = 0;
    void progress(RunPhase phase, int done, int) override {
        if (phase == RunPhase::Reading) read = done;
    }
    bool stopRequested() override { return stopAfter > 0 && read >= stopAfter; }
};

using Rig = testing::BandSessionRig<StoppingObserver>;

// Redo after a stopped Load has nothing to paint from: it fails and says why, and the strokes
// undone stay to be redone; the montage is as it was. Redo dropped every undone stroke.
TEST(RetouchHistory, ARedoThatCannotPaintKeepsTheStrokesUndone) {
    Rig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const std::vector<Stroke> strokes{Stroke{3, Brush{5, 80, 100, false}, {{10, 10}, {40, 20}}},
                                      Stroke{2, Brush{4, 50, 90, true}, {{50, 30}, {20, 35}}}};
    rig.session.applyStrokes({}, strokes);
    ASSERT_TRUE(rig.session.undoStroke({}));
    ASSERT_TRUE(rig.session.undoStroke({}));
    const std::vector<std::uint8_t> unretouched = rig.session.record({}).picture.rounded();

    rig.observer.stopAfter = 1;
    ASSERT_EQ(rig.session.load(rig.request().firstFileName), LoadOutcome::Stopped);
    rig.observer.stopAfter = 0;
    try {
        rig.session.redoStroke({});
        ADD_FAILURE() << "Redo painted from pictures no longer loaded";
    } catch (const RuntimeError& e) {
        EXPECT_NE(e.description().find("no longer loaded"), std::string::npos) << e.description();
    }
    const MontageRecord& record = rig.session.record({});
    EXPECT_EQ(record.retouch.count(), 0);
    EXPECT_EQ(record.retouch.undone, (std::vector<Stroke>{strokes[1], strokes[0]}));
    EXPECT_EQ(record.picture.rounded(), unretouched);
}

// A smoothing pass over strokes keeps the blocks it replaced for the montage at full depth. A pass
// of another block side than the montage's kept them as choices per pixel, a montage-sized array
// for each pass however few blocks it replaced (24 MB a pass on a 12-megapixel montage); on the
// pass's own grid they take a cell a block.
TEST(RetouchHistory, ASmoothingPassOverStrokesKeepsItsBlocksOnItsOwnGrid) {
    Rig rig;
    MontageRequest r = rig.request();
    r.smoothing = testing::kEagerSmoothing;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    rig.session.applyStroke({}, Stroke{2, Brush{5, 80, 100, false}, {{10, 10}, {40, 20}}});
    for (const char* side : {"7", "13", "7"}) {
        SCOPED_TRACE(side);
        MontageRequest asked = r;
        asked.incrementText = side;
        const std::optional<SmoothResult> smoothed = rig.session.smooth({}, asked, false, true, kSmoothRoutine, 0);
        ASSERT_TRUE(smoothed);
        if (smoothed->replaced == 0) continue;
        const PictureChoices& kept = rig.session.record({}).retouch.smoothed.back().blocks;
        const int cell = std::atoi(side);
        EXPECT_EQ(kept.cell, cell);
        EXPECT_EQ(kept.pictures.size(), std::size_t((60 + cell - 1) / cell) * std::size_t((40 + cell - 1) / cell));
        EXPECT_EQ(int(std::count_if(kept.pictures.begin(), kept.pictures.end(), [](std::uint16_t n) { return n > 0; })),
                  smoothed->replaced);
    }
    EXPECT_FALSE(rig.session.record({}).retouch.smoothed.empty());
}


// What a smoothing pass over strokes keeps (its blocks' choices and pixels) counts in the memory
// Undo may use: past it the oldest strokes are folded together, as a long retouching session's
// are. It was kept outside, growing with every pass. A block a later pass writes over whole is
// let go: undoing a stroke writes the later pass over it anyway.
TEST(RetouchHistory, SmoothingPassesCountInTheUndoMemoryAndKeepNoBlockWrittenOver) {
    Rig rig;
    MontageRequest r = rig.request();
    r.smoothing = testing::kEagerSmoothing;
    ASSERT_TRUE(rig.session.makeMontage(r).made);
    for (int k = 0; k < 3; ++k)
        rig.session.applyStroke({}, Stroke{2, Brush{3, 80, 100, false}, {{5 + 15 * k, 10}, {10 + 15 * k, 30}}});
    const RetouchHistory& history = rig.session.record({}).retouch;
    rig.session.setRetouchUndoBytes(history.bytesKept());
    ASSERT_EQ(history.folded, 0);
    int replaced = 0;
    for (const char* side : {"7", "7", "13", "7"}) {
        MontageRequest asked = r;
        asked.incrementText = side;
        const std::optional<SmoothResult> smoothed = rig.session.smooth({}, asked, false, true, kSmoothRoutine, 0);
        ASSERT_TRUE(smoothed);
        replaced += smoothed->replaced;
    }
    ASSERT_GT(replaced, 0);
    EXPECT_GT(history.folded, 0);
    // No block of a pass lies wholly under the blocks of a pass run after it.
    for (std::size_t i = 0; i < history.smoothedPixels.size(); ++i)
        for (const SmoothedPixels::Block& b : history.smoothedPixels[i].blocks) {
            int under = 0;
            for (int y = b.y; y < b.y + b.rows; ++y)
                for (int x = b.x; x < b.x + b.columns; ++x) {
                    bool covered = false;
                    for (std::size_t j = i + 1; j < history.smoothedPixels.size() && !covered; ++j)
                        for (const SmoothedPixels::Block& c : history.smoothedPixels[j].blocks)
                            if (x >= c.x && x < c.x + c.columns && y >= c.y && y < c.y + c.rows) covered = true;
                    under += covered;
                }
            EXPECT_LT(under, b.rows * b.columns) << "pass " << i << " block at " << b.x << "," << b.y;
        }
}

} // namespace
} // namespace orv
