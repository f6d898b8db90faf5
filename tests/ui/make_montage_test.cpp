// Make Montage from the main window: the increment rule, the map, the display areas, the series
// limits and failures, the windows it shows, and the montage matching the one orvanta-cli makes
// from the same series and settings. The earlier run's windows and the growing preview are in
// run_windows_test.cpp.
#include "support/case_name.h"
#include "montage_fixture.h"
#include "picture_output_fixture.h"

#include "cli_like.h"
#include "input/series_loader.h"
#include "session/montage_rules.h"
#include "ui/montage_windows.h"
#include "ui/run_progress.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QProcess>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace orv;
using namespace orv::testing;

namespace {

QRgb pixel(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffff; }

// --- the increment ------------------------------------------------------------------------------

struct IncrementCase {
    const char* typed;
    const char* boxAfter;
    int used;
};

class IncrementRule : public ::testing::TestWithParam<IncrementCase> {};

TEST_P(IncrementRule, BoxTextAndIncrementUsed) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "inc", 2, QSize(60, 40));
    const MakeOutcome r = rig.make(rig.files.path("inc01.bmp"), GetParam().typed);
    EXPECT_TRUE(r.made);
    EXPECT_EQ(r.increment, GetParam().used);
    EXPECT_EQ(rig.form->TextIncrement()->text().toStdString(), GetParam().boxAfter);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(Box, IncrementRule,
                         ::testing::Values(IncrementCase{"5", "10", 10}, IncrementCase{"abc", "10", 10},
                                           IncrementCase{"", "10", 10}, IncrementCase{"25.5", "25.5", 26},
                                           IncrementCase{"24.5", "24.5", 24}, IncrementCase{"1e40", "10", 10},
                                           IncrementCase{"30abc", "30abc", 30}),
                         [](const auto& info) { return "typed_" + orv::testing::caseName(info.param.typed); });

TEST(MakeMontage, AnIncrementBeyondSixteenBitsIsReportedAtLine1000) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "inc", 2, QSize(60, 40));
    const MakeOutcome r = rig.make(rig.files.path("inc01.bmp"), "40000");
    EXPECT_FALSE(r.made);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, "error 6 (Overflow) at line 1000 of CommandGo");
    EXPECT_EQ(rig.prompter.shown[0].title, "Nobody's Perfect");
    EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Critical);
}

// --- the montage and its map --------------------------------------------------------------------

TEST(MakeMontage, EachBandComesFromItsSharpPictureAndTheMapHasTheTopRowFirst) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "band", 5, QSize(100, 60));
    rig.form->show();
    QTest::mouseClick(rig.form->CommandGo(), Qt::LeftButton); // the default series name fails
    rig.prompter.shown.clear();
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("band01.bmp")));
    rig.form->TextIncrement()->setText("20");
    QTest::mouseClick(rig.form->CommandGo(), Qt::LeftButton);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.map(), "12345\r\n12345\r\n12345\r\n");
    EXPECT_EQ(rig.form->windows().usedWindow()->LabelUsed()->text(), "12345\n12345\n12345\n");

    const QImage montage = rig.montagePicture();
    ASSERT_EQ(montage.size(), QSize(100, 60));
    for (int k = 1; k <= 5; ++k) {
        const QImage source = rig.form->windows().existingSourceWindow(k)->PictureFile()->picture();
        for (int y : {0, 31, 59})
            for (int x : {20 * (k - 1), 20 * (k - 1) + 13})
                EXPECT_EQ(pixel(montage, x, y), pixel(source, x, y)) << k << " " << x << "," << y;
    }
}

TEST(MakeMontage, PictureTwelveShowsAsItsLastDigitInTheMap) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("many", 12, QSize(120, 20), "10").made);
    EXPECT_EQ(rig.map(), "123456789012\r\n123456789012\r\n");
}

// A montage too tall to leave room below it puts the dominant-image window at the screen's lower
// left: the whole window, its title bar too, stays on the screen.
TEST(MakeMontage, TheMapWindowAtTheScreensFootStaysWhollyOnIt) {
    MontageRig rig;
    rig.state.originatingImage = true;
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(rig.makeTextured("tall", 2, QSize(80, avail.height()), "20").made);
    FormUsed* used = rig.form->windows().usedWindow();
    ASSERT_TRUE(used->isVisible());
    EXPECT_EQ(used->x(), avail.left());
    EXPECT_LE(used->y() + used->height() + rig.state.layout.captionHeight + 2 * rig.state.layout.sizingFrameHeight,
              avail.bottom() + 1);
    EXPECT_GE(used->y(), avail.top());
}

// The first time the map window goes to the screen's foot it has no frame yet: the frame the window
// manager gives the main window tells how tall its own will be, where the style's caption height
// says less (here: nothing at all).
TEST(MakeMontage, TheMapWindowsFirstPlaceAtTheFootCountsTheRealFrame) {
    MontageRig rig;
    rig.state.originatingImage = true;
    rig.state.layout.captionHeight = 0;
    rig.state.layout.sizingFrameHeight = 0;
    rig.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.form.get()));
    const int frame = rig.form->frameGeometry().height() - rig.form->height();
    ASSERT_GT(frame, 0) << "the platform draws no window frames";
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    ASSERT_TRUE(rig.makeTextured("tall", 2, QSize(80, avail.height()), "20").made);
    FormUsed* used = rig.form->windows().usedWindow();
    ASSERT_TRUE(used->isVisible());
    EXPECT_EQ(used->frameGeometry().height() - used->height(), frame);
    EXPECT_LE(used->frameGeometry().bottom(), avail.bottom());
    EXPECT_GE(used->frameGeometry().top(), avail.top());
}

// Whatever the montage's height, the dominant-image window comes up whole on the screen: below the
// montage window's frame when it fits there, else at the screen's lower left (it used to go below
// the montage window whenever 40 pixels were left there, and ran on past the screen's foot).
TEST(MakeMontage, TheMapWindowComesUpWholeOnTheScreen) {
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    for (const int eighths : {2, 3, 4, 5}) {
        SCOPED_TRACE(eighths);
        MontageRig rig;
        rig.state.originatingImage = true;
        rig.form->show();
        ASSERT_TRUE(rig.makeTextured("h" + std::to_string(eighths), 2, QSize(120, avail.height() * eighths / 8), "10").made);
        FormUsed* used = rig.form->windows().usedWindow();
        const QRect montage = rig.form->windows().montageWindow()->frameGeometry();
        ASSERT_TRUE(used->isVisible());
        const QRect map = used->frameGeometry();
        EXPECT_TRUE(avail.contains(map)) << map.top() << ".." << map.bottom() << " in " << avail.top() << ".." << avail.bottom();
        EXPECT_TRUE(map.top() > montage.bottom() || map.left() == avail.left());
    }
}

TEST(MakeMontage, WindowsCaptionsAndTheRecentListAfterAMontage) {
    MontageRig rig;
    rig.state.originatingImage = true;
    writeTexturedSeries(rig.files, "cap", 3, QSize(60, 40));
    // Typed without folder and extension: the box is completed for the run and put back after.
    rig.state.programFolder = rig.files.folder();
    ASSERT_TRUE(rig.make("cap01", "20").made);
    FormMontage& f = *rig.form;
    EXPECT_EQ(f.textFileName()->text(), "cap01");
    EXPECT_EQ(f.windows().montageWindow()->windowTitle(), "Montage in focus image from cap01");
    EXPECT_EQ(rig.state.recent.caption(0), "cap01");
    EXPECT_EQ(rig.preference("filename"), rig.files.path("cap01.bmp"));
    EXPECT_TRUE(f.windows().montageWindow()->isVisible());
    EXPECT_TRUE(f.windows().usedWindow()->isVisible());
    EXPECT_TRUE(f.windows().previewWindow()->isVisible());
    EXPECT_EQ(f.windows().usedWindow()->windowTitle(), " Dominant image used for the Montage");
    EXPECT_EQ(f.windows().usedWindow()->LabelUsed()->font().family(), "Times New Roman");
    EXPECT_EQ(f.windows().previewWindow()->windowTitle(), "Preview");
    EXPECT_EQ(f.windows().previewWindow()->PicturePreview()->toolTip(), "Preview of the final picture");
    EXPECT_EQ(f.windows().montageWindow()->PictureFile()->toolTip(),
              "This is a combined In Focus Montage - see the Properties page for details");
    // The window list: source windows, then the montage and "Preview".
    EXPECT_EQ(f.mnuWindow(3)->text(), QString::fromStdString("Image 3 -- " + rig.files.path("cap03.bmp")));
    EXPECT_EQ(f.mnuWindow2(0)->text(), "Montage in focus image from cap01");
    EXPECT_EQ(f.mnuWindow2(1)->text(), "Preview");
    EXPECT_FALSE(f.mnuWindow2(2)->isVisible());
    EXPECT_EQ(rig.state.montage.main().properties,
              "\r\n  First file name =cap01\r\n  Number of files found =3\r\n"
              "  Montage method used =0 (3D Color Space Focus)\r\n  Increment size =20\r\n"
              "  Smoothing =no \r\n  Montage made from dominant image numbers:\r\n" +
                  rig.map() + "\r\n");
}

TEST(MakeMontage, AMontageLargerThanTheScreenHasItsWindowWithinTheScreen) {
    MontageRig rig;
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    writeTexturedSeries(rig.files, "tall", 2, avail.size() + QSize(100, 100));
    rig.form->show();
    ASSERT_TRUE(rig.make(rig.files.path("tall01.bmp"), "20").made);
    FormMontagePicture* m = rig.form->windows().montageWindow();
    EXPECT_EQ(m->PictureFile()->size(), avail.size() + QSize(100, 100)) << "the picture keeps its full size";
    EXPECT_TRUE(avail.contains(m->frameGeometry()))
        << "window " << m->frameGeometry().top() << " to " << m->frameGeometry().bottom() << " on a screen to "
        << avail.bottom() << ": its scroll bar and zoom strip are off the screen";
}

// The main window's progress strip (with Cancel) lies below its controls, where the source cascade
// and the montage window would start: they begin below the main window instead, still 20 pixels
// apart. (A caption and menu bar of no height make the cascade start as high as it can.)
TEST(MakeMontage, PictureWindowsLeaveTheProgressStripInSight) {
    MontageRig rig;
    rig.state.layout.captionHeight = 0;
    rig.state.layout.menuBarHeight = 0;
    writeTexturedSeries(rig.files, "strip", 3, QSize(60, 40));
    rig.form->show();
    ASSERT_TRUE(rig.make(rig.files.path("strip01.bmp"), "20").made);
    const QStatusBar* bar = rig.form->statusBar();
    const QRect strip(bar->mapToGlobal(QPoint(0, 0)), bar->size());
    const int mainBottom = rig.form->frameGeometry().bottom();
    ASSERT_GE(mainBottom, strip.bottom());
    WindowManager& w = rig.form->windows();
    for (int k = 1; k <= 3; ++k) {
        const QRect f = w.existingSourceWindow(k)->frameGeometry();
        EXPECT_GT(f.top(), mainBottom) << "source window " << k << " from " << f.top();
        EXPECT_EQ(f.left(), (k - 1) * 20);
        if (k > 1) { EXPECT_EQ(f.top() - w.existingSourceWindow(k - 1)->frameGeometry().top(), 20); }
    }
    EXPECT_GT(w.montageWindow()->frameGeometry().top(), mainBottom);
    EXPECT_FALSE(w.montageWindow()->frameGeometry().intersects(strip));
}

TEST(MakeMontage, TheMapWindowStaysHiddenWhenOriginatingImageIsOff) {
    MontageRig rig;
    rig.state.originatingImage = false;
    ASSERT_TRUE(rig.makeTextured("hid", 2, QSize(40, 40)).made);
    EXPECT_FALSE(rig.form->windows().usedWindow()->isVisible());
    EXPECT_EQ(rig.map(), "12\r\n12\r\n");
}

TEST(MontageWindow, CloseWindowDropsItFromTheWindowList) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("cls", 2, QSize(40, 40)).made);
    ASSERT_TRUE(rig.form->mnuWindow2(0)->isVisible());
    rig.form->windows().montageWindow()->menuAction("mnuClose")->trigger();
    EXPECT_FALSE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.form->mnuWindow2(0)->text(), "Preview");
    EXPECT_FALSE(rig.form->mnuWindow2(1)->isVisible());
}

// --- the display areas --------------------------------------------------------------------------

struct AreaCase {
    const char* name;
    const char* entry;
    QSize picture;
    QRectF target1, target2;
    QSize montage;
};

class DisplayAreas : public ::testing::TestWithParam<AreaCase> {};

// Offsets are taken from the target markers of the source windows.
void useOffsets(MontageRig& rig, const char* entry) {
    QAction* use = rig.form->menuAction("mnuAddOffsets");
    if (!use->isChecked()) use->trigger();
    if (!rig.form->menuAction(entry)->isChecked()) rig.form->menuAction(entry)->trigger();
}

// Loads two textured pictures prefix01.bmp and prefix02.bmp of `size`, puts their targets on
// `target1` and `target2` and takes offsets from them over the display area of `entry`.
void loadWithTargets(MontageRig& rig, const std::string& prefix, QSize size, QRectF target1, QRectF target2,
                     const char* entry) {
    writeTexturedSeries(rig.files, prefix, 2, size);
    ASSERT_EQ(rig.load(rig.files.path(prefix + "01.bmp")), LoadOutcome::Loaded);
    rig.form->windows().existingSourceWindow(1)->setOffsetTarget(target1);
    rig.form->windows().existingSourceWindow(2)->setOffsetTarget(target2);
    useOffsets(rig, entry);
}

TEST_P(DisplayAreas, SizeTheMontageAndASecondRunStartsFromThePictures) {
    const AreaCase& c = GetParam();
    MontageRig rig;
    ASSERT_NO_FATAL_FAILURE(loadWithTargets(rig, "off", c.picture, c.target1, c.target2, c.entry));
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(rig.make(rig.files.path("off01.bmp")).made) << run;
        EXPECT_EQ(rig.montagePicture().size(), c.montage) << run;
        EXPECT_EQ(rig.form->windows().montageWindow()->PictureFile()->size(), c.montage) << run;
    }
    EXPECT_TRUE(rig.prompter.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, DisplayAreas,
    ::testing::Values(
        // Targets centred on (10, 10) and (16, 8): a spread of 6 across and 2 down.
        AreaCase{"Same", "mnuActivateOffsetsSame", {101, 40}, {8, 8, 4, 4}, {14, 6, 4, 4}, {101, 40}},
        AreaCase{"Minimum", "mnuActivateOffsetsMin", {101, 40}, {8, 8, 4, 4}, {14, 6, 4, 4}, {92, 36}},
        AreaCase{"Maximum", "mnuActivateOffsetsMax", {100, 40}, {8, 8, 4, 4}, {14, 6, 4, 4}, {108, 44}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayAreas, SameAreaShiftsEachPictureByItsTarget) {
    MontageRig rig;
    // Targets centred on (10, 10) and (14, 8).
    ASSERT_NO_FATAL_FAILURE(
        loadWithTargets(rig, "same", QSize(60, 40), QRectF(8, 8, 4, 4), QRectF(12, 6, 4, 4), "mnuActivateOffsetsSame"));
    ASSERT_TRUE(rig.make(rig.files.path("same01.bmp")).made);
    const MontageGeometry& g = rig.state.montage.geometry;
    EXPECT_EQ(g.shiftX, 10);
    EXPECT_EQ(g.shiftY, 8);
    EXPECT_EQ(g.dY, 0);
    EXPECT_EQ(rig.state.montage.offsets[1], (ImageOffset{10, 10}));
    EXPECT_EQ(rig.state.montage.offsets[2], (ImageOffset{14, 8}));
    EXPECT_NE(rig.state.montage.main().properties.find("  Offset display method =Same\r\n"
                                                    "  Image 1 offset X =10\r\n  Image 1 offset Y =10\r\n"
                                                    "  Image 2 offset X =14\r\n  Image 2 offset Y =8\r\n"),
              std::string::npos);
}

TEST(DisplayAreas, AnEmptyMinimumAreaIsReportedAndTheMontageWindowHidden) {
    MontageRig rig;
    ASSERT_NO_FATAL_FAILURE(
        loadWithTargets(rig, "min", QSize(16, 12), QRectF(0, 0, 0, 0), QRectF(20, 0, 0, 0), "mnuActivateOffsetsMin"));
    EXPECT_FALSE(rig.make(rig.files.path("min01.bmp")).made);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                      "I cannot continue with this selected 'minimum area' for the offsets, as with these offset "
                      "positions there is no image.",
                      "Change the area from the 'minimum'."}));
    EXPECT_FALSE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.state.recent.caption(0), ""); // the command ended there
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(DisplayAreas, AnEmptyMaximumAreaEndsWithoutAMessage) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "max", 2, QSize(40, 40));
    ASSERT_EQ(rig.load(rig.files.path("max01.bmp")), LoadOutcome::Loaded);
    // Every picture ignored: no extents, so the maximum area has no size.
    rig.form->mnuignoreImage(0)->trigger();
    rig.form->mnuignoreImage(1)->trigger();
    useOffsets(rig, "mnuActivateOffsetsMax");
    rig.form->TextIncrement()->setText("20");
    EXPECT_FALSE(rig.form->makeMontage().made);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// A target 32750 pixels right of the other: the same area would read that picture past column
// 32767. One overflow box, and no montage; the block loop does not show a box per block.
TEST(DisplayAreas, TargetsTooFarApartForTheSameAreaShowOneOverflowBox) {
    MontageRig rig;
    // Targets centred on (10, 10) and (32760, 10).
    ASSERT_NO_FATAL_FAILURE(
        loadWithTargets(rig, "far", QSize(60, 40), QRectF(8, 8, 4, 4), QRectF(32758, 8, 4, 4), "mnuActivateOffsetsSame"));
    EXPECT_FALSE(rig.make(rig.files.path("far01.bmp")).made);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, "error 6 (Overflow) at line 8100 of CommandGo");
    EXPECT_EQ(rig.prompter.shown[0].title, "Nobody's Perfect");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// --- the series ---------------------------------------------------------------------------------

TEST(MakeMontage, ThirtyOneFilesGiveTheLimitMessageAndAMontageOfThirty) {
    MontageRig rig;
    rig.files.writeSeries("lim", 1, 31, 2, ".bmp", QSize(12, 12));
    ASSERT_TRUE(rig.make(rig.files.path("lim01.bmp"), "10").made);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                      "I can only cope with  30 pictures, so I will use the first ones.", "No wuckas mate"}));
    EXPECT_EQ(rig.state.series.imageCount, 30);
    EXPECT_EQ(rig.state.montage.arrays.stack.count, 30);
    EXPECT_NE(rig.state.montage.main().properties.find("  Number of files found =30\r\n"), std::string::npos);
}

struct SeriesFailure {
    const char* name;
    const char* typed; // relative to the rig's folder
    Prompt prompt;
    bool addedToRecent;
    const char* failingFile = nullptr; // the file the message's details name
};

class SeriesFailures : public ::testing::TestWithParam<SeriesFailure> {};

TEST_P(SeriesFailures, AreReportedAndMakeNoMontage) {
    const SeriesFailure& c = GetParam();
    MontageRig rig;
    writeTexturedSeries(rig.files, "bad", 1, QSize(20, 20));
    rig.files.writeText("bad02.bmp", "this is not a picture");
    rig.files.writeText("plain.bmp", "x");
    rig.files.writeText("junk01.bmp", "not a picture either");
    rig.state.recent.add(rig.files.path("gone01.bmp"), rig.state.preferences);
    EXPECT_FALSE(rig.make(rig.files.path(c.typed)).made);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    // The message's text stays; its details name the file that did not load.
    Prompt shown = rig.prompter.shown[0];
    EXPECT_EQ(shown.details, c.failingFile ? rig.files.path(c.failingFile) : "");
    shown.details.clear();
    EXPECT_EQ(shown, c.prompt);
    EXPECT_EQ(rig.state.recent.caption(0) == rig.files.path(c.typed), c.addedToRecent);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Series, SeriesFailures,
    ::testing::Values(
        SeriesFailure{"InvalidPicture", "bad01.bmp",
                      Prompt{PromptIcon::Critical, PromptButtons::Ok, kInvalidPictureText, kInvalidPictureTitle}, true,
                      "bad02.bmp"},
        // A first file that does not load is no series: its name stays out of the recent list.
        SeriesFailure{"InvalidFirstPicture", "junk01.bmp",
                      Prompt{PromptIcon::Critical, PromptButtons::Ok, kInvalidPictureText, kInvalidPictureTitle}, false,
                      "junk01.bmp"},
        SeriesFailure{"NoDigit", "plain.bmp",
                      Prompt{PromptIcon::Critical, PromptButtons::Ok,
                             "You must have a number as the last letter in the file name,  eg "
                             "c:\\thisdirectory\\myfile1.bmp, or c:\\myotherfile6",
                             "Rename the file and try again"},
                      false},
        SeriesFailure{"Missing", "gone01.bmp",
                      Prompt{PromptIcon::Exclamation, PromptButtons::Ok, "So very sorry, but I can't find that file.",
                             "roll the dice again"},
                      false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- a click while a montage is being made ------------------------------------------------------

TEST(MakeMontage, ClicksDuringARunWaitForIt) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "busy", 3, QSize(60, 60));
    writeTexturedSeries(rig.files, "other", 2, QSize(20, 20));
    rig.form->show();
    bool sawRunning = false;
    // Arrives with the first events the run lets through: another Make Montage, a Load.
    QTimer::singleShot(0, rig.form.get(), [&] {
        sawRunning = rig.form->commandRunning();
        rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("other01.bmp")));
        rig.form->CommandGo()->click();
        rig.form->menuAction("mnuLoad")->trigger();
        rig.form->menuAction("mnuEvaluate")->trigger();
    });
    ASSERT_TRUE(rig.make(rig.files.path("busy01.bmp"), "20").made);
    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(rig.map(), "123\r\n123\r\n123\r\n");
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_FALSE(rig.form->commandRunning());
}

// --- the same montage as orvanta-cli ------------------------------------------------------------

struct CliCase {
    const char* name;
    const char* increment;
    int method;
    std::vector<int> ignored;
    bool offsets;
    const char* area; // "same", "min", "max"
    bool smooth;
};

class SameAsCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(SameAsCli, MontageMapAndReportMatchByteForByte) {
    const CliCase& c = GetParam();
    MontageRig rig;
    writeTexturedSeries(rig.files, "cli", 4, QSize(98, 66), 3);
    const std::string first = rig.files.path("cli01.bmp");
    const std::vector<QRectF> targets = {{10, 12, 6, 6}, {14, 10, 6, 6}, {9, 15, 6, 6}, {12, 12, 5, 5}};

    // The desktop program.
    ASSERT_EQ(rig.load(first), LoadOutcome::Loaded);
    rig.form->setMontageMethod(c.method);
    for (int n : c.ignored) rig.form->mnuignoreImage(n - 1)->trigger();
    QStringList offsets;
    if (c.offsets) {
        for (int n = 1; n <= 4; ++n) {
            rig.form->windows().existingSourceWindow(n)->setOffsetTarget(targets[std::size_t(n - 1)]);
            const ImageOffset o = markerCentre(targets[std::size_t(n - 1)].left(), targets[std::size_t(n - 1)].top(),
                                               targets[std::size_t(n - 1)].width(), targets[std::size_t(n - 1)].height());
            offsets << QStringLiteral("%1,%2").arg(o.x).arg(o.y);
        }
        const std::string area = c.area;
        useOffsets(rig, area == "min" ? "mnuActivateOffsetsMin" : area == "max" ? "mnuActivateOffsetsMax"
                                                                                : "mnuActivateOffsetsSame");
    }
    rig.state.smoothing.autoSmooth = c.smooth ? 1 : 0;
    rig.form->TextIncrement()->setText(c.increment);
    rig.form->show();
    QTest::mouseClick(rig.form->CommandGo(), Qt::LeftButton);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;

    // orvanta-cli with the same settings.
    QStringList args{"-q", "-i", c.increment, "-m", QString::number(c.method), "-o", QString::fromStdString(rig.files.path("cli.bmp")),
                     "--map", QString::fromStdString(rig.files.path("cli-map.txt")), "--report",
                     QString::fromStdString(rig.files.path("cli-report.txt"))};
    if (!c.ignored.empty()) {
        QStringList list;
        for (int n : c.ignored) list << QString::number(n);
        args << "--ignore" << list.join(',');
    }
    if (c.offsets) args << "--offsets" << offsets.join(';') << "--area" << c.area;
    if (c.smooth) args << "--smooth";
    args << QString::fromStdString(first);
    const CliRun cli = runCli(args);
    ASSERT_EQ(cli.exitCode, 0) << cli.err;

    QImage written(QString::fromStdString(rig.files.path("cli.bmp")));
    written = written.convertToFormat(QImage::Format_RGB888);
    const QImage shown = rig.montagePicture();
    ASSERT_EQ(shown.size(), written.size());
    for (int y = 0; y < shown.height(); ++y)
        ASSERT_EQ(std::memcmp(shown.constScanLine(y), written.constScanLine(y), std::size_t(shown.width()) * 3), 0)
            << "row " << y;
    EXPECT_EQ(rig.map(), readAll(rig.files.path("cli-map.txt")));
    EXPECT_EQ(rig.state.montage.main().properties, readAll(rig.files.path("cli-report.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SameAsCli,
    ::testing::Values(CliCase{"Plain", "20", 0, {}, false, "same", false},
                      CliCase{"LinearIgnoringTwo", "13", 1, {2}, false, "same", false},
                      CliCase{"GreenSameArea", "16", 3, {}, true, "same", false},
                      CliCase{"RedMinimumArea", "11", 2, {}, true, "min", false},
                      CliCase{"BlueMaximumAreaIgnoringThree", "17", 4, {3}, true, "max", false},
                      CliCase{"Smoothed", "10", 0, {}, false, "same", true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
