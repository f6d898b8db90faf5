// The progress strip while a command runs, and Cancel, Esc or Exit stopping a run: the earlier
// montage stays and nothing half made is shown.
#include "work_rig.h"

#include "smoothing/comparison.h"
#include "ui/montage_windows.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

using namespace orv;
using namespace orv::testing;

namespace {

TEST(RunProgressStrip, ShowsThePhaseWhileACommandRunsAndGoesAfterwards) {
    WorkRig rig;
    RunProgress* strip = rig.form->runProgress();
    QStringList phases;
    int largestTotal = 0;
    std::function<void()> watch = [&] {
        if (!rig.form->commandRunning()) return;
        phases << strip->phaseLabel()->text();
        largestTotal = std::max(largestTotal, strip->bar()->maximum());
        QTimer::singleShot(1, rig.form.get(), watch);
    };
    QTimer::singleShot(0, rig.form.get(), watch);
    rig.form->action(Command::AlignImages)->setChecked(true);
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    rig.form->TextIncrement()->setText(QStringLiteral("10"));
    rig.form->CommandGo()->click();
    EXPECT_TRUE(strip->isHidden());
    EXPECT_FALSE(phases.isEmpty());
    EXPECT_TRUE(phases.filter(QStringLiteral("Reading")).size() + phases.filter(QStringLiteral("Aligning")).size() +
                    phases.filter(QStringLiteral("Fusing")).size() >
                0)
        << phases.join(',').toStdString();
    EXPECT_GT(largestTotal, 0);
    EXPECT_EQ(phaseText(RunPhase::Aligning), "Aligning");
}

TEST(RunProgressStrip, AQuickRunNeverShowsIt) {
    WorkRig rig;
    RunProgress* strip = rig.form->runProgress();
    strip->setShowDelay(60000);
    bool shown = false;
    std::function<void()> watch = [&] {
        if (!rig.form->commandRunning()) return;
        shown = shown || !strip->isHidden();
        QTimer::singleShot(1, rig.form.get(), watch);
    };
    QTimer::singleShot(0, rig.form.get(), watch);
    rig.makeFirst();
    EXPECT_FALSE(shown);
    EXPECT_TRUE(strip->isHidden());
}

// A comparison's verdict waits for the user at the end of the run: the strip, which said "Fusing"
// with a full bar a moment before, is gone while the message is open; a message in the middle of a
// run hides it too, and it comes back once the run goes on.
TEST(RunProgressStrip, IsGoneWhileAMessageWaitsForTheUser) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "cmp", 3, QSize(120, 90));
    ASSERT_TRUE(rig.make(rig.files.path("cmp01.bmp"), "20").made);
    RunProgress* strip = rig.form->runProgress();
    for (const Command c : {Command::CompareAllMethods, Command::EvaluateIncrements}) {
        SCOPED_TRACE(int(c));
        rig.prompter.shown.clear();
        QStringList seen; // the message title, and the strip as it was under it
        rig.prompter.onShow = [&](const Prompt& p) {
            seen << QString::fromStdString(p.title) + (strip->isHidden() ? ": hidden" : ": " + strip->phaseLabel()->text());
        };
        rig.prompter.answerNext(PromptAnswer::No); // the unsaved montage is let go
        rig.form->action(c)->trigger();
        ASSERT_FALSE(rig.prompter.shown.empty());
        const QString verdict = QString::fromLatin1(c == Command::CompareAllMethods ? kCompareVisuallyTitle : kWellDoneTitle);
        EXPECT_TRUE(seen.contains(verdict + ": hidden")) << seen.join(" | ").toStdString();
        EXPECT_EQ(seen.filter(": hidden").size(), seen.size()) << seen.join(" | ").toStdString();
        EXPECT_TRUE(strip->isHidden());
    }
    rig.prompter.onShow = nullptr;

    // The question before the unsaved montage goes comes during Make Montage, which then runs on.
    bool shownAfter = false;
    std::function<void()> watch = [&] {
        if (!rig.form->commandRunning()) return;
        shownAfter = shownAfter || !strip->isHidden();
        QTimer::singleShot(1, rig.form.get(), watch);
    };
    rig.prompter.onShow = [&](const Prompt&) {
        EXPECT_TRUE(strip->isHidden());
        QTimer::singleShot(0, rig.form.get(), watch);
    };
    rig.prompter.answerNext(PromptAnswer::No);
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    rig.form->CommandGo()->click();
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.state.montage.main().firstFileName, rig.first);
    EXPECT_TRUE(shownAfter);
    EXPECT_TRUE(strip->isHidden());
}

// Cancel stops the run at the next picture or row: the earlier montage, its record and its map
// stay, nothing is said, and the next run works.
struct StopCase {
    const char* label;
    bool align;
    int method; // 0: 3D Color Space, 5: Pyramid
    bool escape; // Esc instead of the button
};

class CancelRun : public ::testing::TestWithParam<StopCase> {};

TEST_P(CancelRun, KeepsTheEarlierMontageAndShowsNothingHalfMade) {
    const StopCase& c = GetParam();
    WorkRig rig;
    rig.form->setMontageMethod(c.method);
    rig.form->action(Command::AlignImages)->setChecked(c.align);
    rig.form->show();
    rig.makeFirst();
    const QImage before = rig.montagePicture();
    const std::string map = rig.state.montage.main().map;
    const std::string properties = rig.state.montage.main().properties;

    if (c.escape) {
        rig.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    }
    QTimer::singleShot(0, rig.form.get(), [&] {
        ASSERT_FALSE(rig.form->runProgress()->isHidden());
        // Esc works in whichever window of the program is active.
        if (c.escape) QTest::keyClick(QApplication::activeWindow() ? QApplication::activeWindow() : rig.form.get(), Qt::Key_Escape);
        else rig.form->runProgress()->cancelButton()->click();
    });
    const MakeOutcome out = rig.make(rig.first, "12");
    EXPECT_FALSE(out.made);
    EXPECT_TRUE(out.stopped);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.state.montage.main().map, map);
    EXPECT_EQ(rig.state.montage.main().properties, properties);
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_EQ(rig.map(), map);
    EXPECT_TRUE(rig.form->runProgress()->isHidden());
    EXPECT_TRUE(rig.form->CommandGo()->isEnabled());

    // Nothing is asked any more: the next run goes through.
    const MakeOutcome again = rig.make(rig.first, "12");
    EXPECT_TRUE(again.made);
    EXPECT_NE(rig.state.montage.main().map, map);
}

INSTANTIATE_TEST_SUITE_P(Table, CancelRun,
                         ::testing::Values(StopCase{"block_method_button", false, 0, false},
                                           StopCase{"pyramid_with_alignment_button", true, 5, false},
                                           StopCase{"block_method_escape", false, 0, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// The preview a stopped run had begun (black, or grown a few rows) goes with the run, out of the
// window list too, whether or not an earlier montage stays; the next run's preview comes back.
TEST(CancelRun, ThePreviewOfAStoppedRunGoesWithIt) {
    for (const bool earlier : {false, true}) {
        SCOPED_TRACE(earlier);
        WorkRig rig;
        rig.form->show();
        if (earlier) rig.makeFirst();
        WindowManager& w = rig.form->windows();
        bool previewSeen = false;
        stopWhen(*rig.form, [&] {
            previewSeen = w.hasPreview() && w.previewWindow()->isVisible();
            return previewSeen;
        });
        ASSERT_TRUE(rig.make(rig.first, "12").stopped);
        ASSERT_TRUE(previewSeen);
        EXPECT_FALSE(w.hasPreview() && w.previewWindow()->isVisible());
        for (int k = 0; k < 10; ++k)
            EXPECT_FALSE(rig.form->mnuWindow2(k)->isVisible() && rig.form->mnuWindow2(k)->text() == "Preview") << k;
        EXPECT_EQ(w.montageWindow()->isVisible(), earlier);

        ASSERT_TRUE(rig.make(rig.first, "12").made);
        EXPECT_TRUE(w.hasPreview() && w.previewWindow()->isVisible());
    }
}

TEST(CancelRun, ALoadStoppedKeepsThePicturesReadSoFar) {
    WorkRig rig;
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    QTimer::singleShot(0, rig.form.get(), [&] { rig.form->runProgress()->requestStop(); });
    rig.form->action(Command::Load)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_GE(rig.state.series.imageCount, 1);
    EXPECT_LT(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.visibleSourceWindows(), rig.state.series.imageCount);
}

// A Make Montage stopped while it still reads its pictures leaves the earlier, unsaved montage on
// screen: it can be saved, and leaving asks about it.
TEST(CancelRun, AStopWhileReadingKeepsTheEarlierMontageOnScreenAndAskedAbout) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "next", 4, QSize(120, 90));
    rig.makeFirst();
    const QImage before = rig.montagePicture();
    ASSERT_TRUE(rig.state.montage.main().unsaved);
    stopWhen(*rig.form, [&rig] { return rig.state.series.imageCount >= 1; });
    // The window events run after the first picture only when the last turn is a moment ago.
    QTest::qWait(60);
    ASSERT_TRUE(rig.make(rig.files.path("next01.bmp")).stopped);
    ASSERT_LT(rig.state.series.imageCount, 4);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), before);
    EXPECT_EQ(rig.form->mnuWindow2(0)->text().toStdString(), rig.form->windows().montageWindow()->windowTitle().toStdString());
    rig.form->show();
    rig.runAnswering(Command::Exit, PromptAnswer::Cancel);
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.quits, 0);
}

// The Load start-up runs at the first activation (a file on the command line, or "Load images on
// start up") is a command like any other: the controls wait for it, so a click on Make Montage
// cannot start a second run inside it, and Cancel stops it.
TEST(CancelRun, TheStartUpLoadLocksTheControlsAndCanBeStopped) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "boot", 6, QSize(120, 90));
    rig.state.firstActivation = true;
    rig.state.fileOnCommandLine = true;
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("boot01.bmp")));
    bool ran = false;
    QTimer::singleShot(0, rig.form.get(), [&] {
        ran = true;
        EXPECT_TRUE(rig.form->commandRunning());
        EXPECT_FALSE(rig.form->CommandGo()->isEnabled());
        EXPECT_FALSE(rig.form->action(Command::Load)->isEnabled());
        rig.form->CommandGo()->click();
        rig.form->action(Command::MakeMontage)->trigger();
        rig.form->runProgress()->cancelButton()->click();
    });
    rig.form->Form_Activate();
    ASSERT_TRUE(ran);
    EXPECT_EQ(rig.form->montageCommands().montagesMade(), 0);
    EXPECT_FALSE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_GE(rig.state.series.imageCount, 1);
    EXPECT_LT(rig.state.series.imageCount, 6);
    EXPECT_EQ(rig.visibleSourceWindows(), rig.state.series.imageCount);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_FALSE(rig.form->commandRunning());
    EXPECT_TRUE(rig.form->CommandGo()->isEnabled());
}

// Exit while a montage is being made stops the run: the program does not go on computing out of
// sight, and no window of the run comes back once the main window has gone.
TEST(CancelRun, ExitDuringARunStopsItAndNoWindowComesBack) {
    WorkRig rig;
    writeTexturedSeries(rig.files, "long", 6, QSize(200, 150));
    rig.form->show();
    bool running = false;
    QTimer::singleShot(0, rig.form.get(), [&] {
        running = rig.form->commandRunning();
        rig.form->action(Command::Exit)->trigger();
    });
    const MakeOutcome out = rig.make(rig.files.path("long01.bmp"));
    ASSERT_TRUE(running);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_TRUE(out.stopped);
    EXPECT_FALSE(out.made);
    EXPECT_FALSE(rig.form->isVisible());
    EXPECT_FALSE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.visibleSourceWindows(), 0);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
}

// Exit while the montage is being saved lets the file be written: stopped, the file the user asked
// for was never there, and the montage being saved was asked about as unsaved (No stopped the save
// and ended the program). The program ends once the save has ended, asking nothing more.
TEST(CancelRun, ExitDuringASaveWritesTheFileAndThenEnds) {
    WorkRig rig;
    rig.makeFirst();
    rig.form->show();
    const std::string saved = rig.files.path("saved while leaving.tif");
    rig.dialogs->chooseFile(QString::fromStdString(saved));
    rig.prompter.answerNext(PromptAnswer::No); // should the montage be asked about
    // The window events run during the save only when the last turn is a moment ago.
    QElapsedTimer pause;
    pause.start();
    while (pause.elapsed() <= 50) QCoreApplication::processEvents();
    bool duringSave = false;
    whenTrue(
        rig.form.get(),
        [&rig] { return rig.form->commandRunning() && rig.form->runProgress()->phaseLabel()->text().startsWith("Saving"); },
        [&rig, &duringSave] {
            duringSave = true;
            rig.form->action(Command::Exit)->trigger();
        });
    rig.form->action(Command::SaveMontageAs)->trigger();
    ASSERT_TRUE(duringSave);
    QCoreApplication::processEvents();
    EXPECT_EQ(QImage(QString::fromStdString(saved)).size(), QSize(64, 48));
    EXPECT_EQ(rig.asked(), 0);
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    EXPECT_EQ(rig.quits, 1);
    EXPECT_FALSE(rig.form->isVisible());
}

} // namespace
