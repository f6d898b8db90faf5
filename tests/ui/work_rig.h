// The main window with a made montage of one series and a second series beside it, for the tests of
// a user's work kept and of the runs they stop: the question before an unsaved montage is thrown
// away, the program told to end, the progress strip and Cancel, the zoom and the windows.
#pragma once

#include "montage_fixture.h"

#include "ui/output_commands.h"
#include "ui/run_progress.h"

#include <QSize>

#include <gtest/gtest.h>

#include <string>

namespace orv::testing {

inline const Prompt kUnsaved{PromptIcon::Question, PromptButtons::YesNoCancel, kUnsavedMontageText, kUnsavedMontageTitle};

struct WorkRig : MontageRig {
    std::string first, second;
    WorkRig() {
        writeTexturedSeries(files, "wrk", 3, QSize(64, 48));
        writeTexturedSeries(files, "oth", 2, QSize(40, 30));
        first = files.path("wrk01.bmp");
        second = files.path("oth01.bmp");
        // The strip shows from the start of a run here (the program waits a moment, so that a
        // quick click does not lay the main window out twice).
        form->runProgress()->setShowDelay(0);
    }
    void makeFirst() {
        ASSERT_TRUE(make(first).made);
        prompter.shown.clear();
    }
    int asked() const {
        int n = 0;
        for (const Prompt& p : prompter.shown) n += p == kUnsaved;
        return n;
    }
};

} // namespace orv::testing
