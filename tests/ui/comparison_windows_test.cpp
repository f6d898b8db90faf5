// The comparison windows of "Compare All Montage Methods" and the montages they show, as later
// commands read the series again.
#include "montage_fixture.h"

#include "ui/montage_windows.h"
#include "ui/run_progress.h"

#include <QAction>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace orv;
using namespace orv::testing;

namespace {

// The comparison montages still held, by window number.
std::vector<int> heldComparisons(const MontageRig& rig) {
    std::vector<int> held;
    for (int k = 0; k < kComparisonMontages; ++k)
        if (!rig.state.montage.records[std::size_t(1 + k)].empty()) held.push_back(k);
    return held;
}

std::vector<int> shownComparisons(MontageRig& rig) {
    std::vector<int> shown;
    for (int k = 0; k <= kComparisonMontages; ++k)
        if (FormMontagePicture* w = rig.form->windows().comparisonWindow(k); w && w->isVisible()) shown.push_back(k);
    return shown;
}

void markSaved(MontageRig& rig) {
    for (MontageRecord& r : rig.state.montage.records) r.unsaved = false;
}

// Reading a series again unloads the comparison windows; the montages they showed stayed held
// (five whole montages with their choices, at full depth too for a 16-bit series), out of reach of
// every window, and a later comparison's smoothing still filled the montage slots from them.
TEST(ComparisonWindows, TheirMontagesGoWithThemWhenASeriesIsReadAgain) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "big", 3, QSize(200, 150));
    writeTexturedSeries(rig.files, "sml", 3, QSize(120, 90));
    ASSERT_TRUE(rig.make(rig.files.path("big01.bmp"), "20").made);
    rig.form->action(Command::CompareAllMethods)->trigger();
    ASSERT_EQ(heldComparisons(rig), (std::vector<int>{0, 1, 2, 3, 4}));
    markSaved(rig);

    // Make Montage of another series.
    ASSERT_TRUE(rig.make(rig.files.path("sml01.bmp"), "20").made);
    EXPECT_TRUE(shownComparisons(rig).empty());
    EXPECT_TRUE(heldComparisons(rig).empty());

    // A comparison stopped in its third montage: only the two it made are held, and shown.
    rig.form->action(Command::CompareAllMethods)->trigger();
    markSaved(rig);
    stopWhen(*rig.form, [&] { return rig.form->montageMethod() == 2; });
    rig.form->action(Command::CompareAllMethods)->trigger();
    EXPECT_EQ(shownComparisons(rig), (std::vector<int>{0, 1}));
    EXPECT_EQ(heldComparisons(rig), (std::vector<int>{0, 1}));
    EXPECT_EQ(rig.state.montage.records[1].picture.pictureWidth(), 120);

    // Load, and Evaluate Increments, whose first montage reads the series again.
    markSaved(rig);
    rig.load(rig.files.path("big01.bmp"));
    EXPECT_TRUE(heldComparisons(rig).empty());
    ASSERT_TRUE(rig.make(rig.files.path("big01.bmp"), "20").made);
    rig.form->action(Command::CompareAllMethods)->trigger();
    markSaved(rig);
    rig.form->action(Command::EvaluateIncrements)->trigger();
    EXPECT_TRUE(shownComparisons(rig).empty());
    EXPECT_TRUE(heldComparisons(rig).empty());
}

} // namespace
