// A retouching stroke is painted whole or not at all: memory that runs out part way through it
// (a tile kept for Undo, the undo step itself) takes the stroke off again and says why, rather
// than leaving the montage half painted or painted without a way to undo it.
#include "session/montage_session.h"

#include "band_picture.h"
#include "base/runtime_error.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <vector>

namespace {

// Allocations left on this thread before one fails; negative: none fails. One fails, as when
// memory runs out for a moment: what is given back after it can be had again.
thread_local long allocationsLeft = -1;

} // namespace

void* operator new(std::size_t n) {
    if (allocationsLeft == 0) {
        allocationsLeft = -1;
        throw std::bad_alloc();
    }
    if (allocationsLeft > 0) --allocationsLeft;
    void* p = std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace orv {
namespace {

using retouch::Brush;
using retouch::Stroke;

// Paints `s` as the mouse would, with the `k`th allocation from its start failing.
void paintFailingAt(MontageSession& session, const Stroke& s, long k) {
    allocationsLeft = k;
    try {
        session.beginStroke({}, s.picture, s.brush);
        for (const retouch::PathPoint& p : s.path) session.strokeTo(p.x, p.y);
        session.endStroke();
    } catch (...) {
        allocationsLeft = -1;
        throw;
    }
    allocationsLeft = -1;
}

TEST(StrokeOutOfMemory, AStrokeIsPaintedWholeOrTakenOffWithAMessage) {
    testing::BandSessionRig<> rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    rig.session.applyStroke({}, Stroke{2, Brush{5, 80, 100, false}, {{10, 10}, {40, 20}}});
    const std::vector<std::uint8_t> before = rig.session.record({}).picture.rounded();
    // A stroke across many tiles, with the brightness match (its ring is marked as it goes).
    const Stroke s{3, Brush{6, 50, 100, true}, {{2, 2}, {60, 40}, {150, 30}, {20, 70}}};
    paintFailingAt(rig.session, s, -1);
    const std::vector<std::uint8_t> painted = rig.session.record({}).picture.rounded();
    ASSERT_NE(painted, before);
    ASSERT_TRUE(rig.session.undoStroke({}));
    ASSERT_EQ(rig.session.record({}).picture.rounded(), before);
    rig.session.clearStrokes({}); // nothing to redo: the next stroke is the second
    rig.session.applyStroke({}, Stroke{2, Brush{5, 80, 100, false}, {{10, 10}, {40, 20}}});
    ASSERT_EQ(rig.session.record({}).picture.rounded(), before);

    int tookOff = 0;
    for (long k = 0;; ++k) {
        SCOPED_TRACE(k);
        bool failed = false;
        try {
            paintFailingAt(rig.session, s, k);
        } catch (const RuntimeError& e) {
            failed = true;
            if (e.number() == 7 && e.description() == kStrokeOutOfMemoryText) ++tookOff;
            else ADD_FAILURE() << e.number() << " " << e.description();
        } catch (const std::bad_alloc&) {
            failed = true; // before anything was painted
        }
        ASSERT_FALSE(rig.session.strokeUnderway());
        const MontageRecord& record = rig.session.record({});
        if (record.retouch.count() == 2) {
            // Kept whole: painted, and undone as any other stroke.
            ASSERT_EQ(record.picture.rounded(), painted);
            ASSERT_TRUE(rig.session.undoStroke({}));
            ASSERT_EQ(rig.session.record({}).picture.rounded(), before);
            if (!failed) break;
            continue;
        }
        ASSERT_TRUE(failed);
        ASSERT_EQ(record.retouch.count(), 1);
        ASSERT_EQ(record.picture.rounded(), before);
    }
    EXPECT_GT(tookOff, 3);
}

} // namespace
} // namespace orv
