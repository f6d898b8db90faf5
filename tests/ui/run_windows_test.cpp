// The windows around a run of Make Montage: the earlier run's windows, gone once the new series is
// in or a message is shown, the window menus, and the preview growing with the montage.
#include "montage_fixture.h"
#include "picture_output_fixture.h"

#include "ui/montage_windows.h"
#include "ui/run_progress.h"

#include <QAction>
#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace orv;
using namespace orv::testing;

namespace {

QRgb pixel(const QImage& img, int x, int y) { return img.pixel(x, y) & 0xffffff; }

// --- the windows of the earlier run --------------------------------------------------------------

// A new run takes the source windows over picture by picture: those it fills stay on screen with
// the new pictures, the rest go once the series is in, and a run that stops shows its message with
// every window of the earlier run that it did not fill gone. A name that names no series stops
// nothing: the earlier series and its montage stay on screen, as after Load.
TEST(EarlierWindows, GoOnceTheNewSeriesIsInOrBeforeAMessage) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "five", 5, QSize(60, 40));
    writeTexturedSeries(rig.files, "three", 3, QSize(50, 30));
    WindowManager& w = rig.form->windows();
    ASSERT_TRUE(rig.make(rig.files.path("five01.bmp")).made);
    EXPECT_EQ(rig.visibleSourceWindows(), 5);

    ASSERT_TRUE(rig.make(rig.files.path("three01.bmp")).made);
    EXPECT_EQ(rig.visibleSourceWindows(), 3);
    for (int k = 1; k <= 3; ++k) {
        const std::string name = rig.files.path("three0" + std::to_string(k) + ".bmp");
        FormPicture* source = w.existingSourceWindow(k);
        EXPECT_EQ(source->windowTitle().toStdString(), "Image " + std::to_string(k) + " -- " + name);
        const QImage file(QString::fromStdString(name));
        EXPECT_EQ(source->PictureFile()->picture().convertToFormat(QImage::Format_RGB888),
                  file.convertToFormat(QImage::Format_RGB888));
    }
    EXPECT_TRUE(w.montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture().size(), QSize(50, 30));

    int sourcesAtMessage = -1;
    bool montageAtMessage = true;
    rig.prompter.onShow = [&](const Prompt&) {
        sourcesAtMessage = rig.visibleSourceWindows();
        montageAtMessage = w.montageWindow()->isVisible();
    };
    EXPECT_FALSE(rig.make(rig.files.path("gone01.bmp")).made);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kMissingFileText);
    EXPECT_EQ(sourcesAtMessage, 3);
    EXPECT_TRUE(montageAtMessage);
    EXPECT_EQ(rig.visibleSourceWindows(), 3);
    EXPECT_TRUE(w.montageWindow()->isVisible());

    // A damaged third picture: the two pictures read stay, the others go before the message.
    ASSERT_TRUE(rig.make(rig.files.path("five01.bmp")).made);
    rig.files.writeText("three03.bmp", "not a picture");
    EXPECT_FALSE(rig.make(rig.files.path("three01.bmp")).made);
    EXPECT_EQ(rig.prompter.shown.back().text, kInvalidPictureText);
    EXPECT_EQ(sourcesAtMessage, 2);
    EXPECT_FALSE(montageAtMessage);
    EXPECT_EQ(rig.visibleSourceWindows(), 2);
    EXPECT_FALSE(w.montageWindow()->isVisible());

    // Load hides the montage windows at once and keeps the source windows it fills.
    ASSERT_TRUE(rig.make(rig.files.path("five01.bmp")).made);
    rig.prompter.onShow = {};
    EXPECT_EQ(rig.load(rig.files.path("five01.bmp")), LoadOutcome::Loaded);
    EXPECT_EQ(rig.visibleSourceWindows(), 5);
    EXPECT_FALSE(w.montageWindow()->isVisible());
}

// After a Make Montage that fails or is stopped part way, the "Window" entries are the windows on
// screen: none brings back a window of the series that went, or names a picture it no longer shows.
TEST(EarlierWindows, TheWindowMenusListOnlyWhatARunThatFailedOrStoppedLeftOnScreen) {
    struct Ending {
        const char* label;
        std::function<void(MontageRig&)> run;
    };
    const Ending endings[] = {
        {"damaged third picture",
         [](MontageRig& rig) {
             rig.files.writeText("new03.bmp", "not a picture");
             rig.make(rig.files.path("new01.bmp"));
         }},
        {"damaged first picture",
         [](MontageRig& rig) {
             rig.files.writeText("new01.bmp", "not a picture");
             rig.make(rig.files.path("new01.bmp"));
         }},
        {"stopped", [](MontageRig& rig) {
             QTimer::singleShot(0, rig.form.get(), [&rig] { rig.form->runProgress()->requestStop(); });
             ASSERT_TRUE(rig.make(rig.files.path("new01.bmp")).stopped);
         }}};
    for (const Ending& e : endings) {
        MontageRig rig;
        writeTexturedSeries(rig.files, "old", 4, QSize(60, 40));
        writeTexturedSeries(rig.files, "new", 3, QSize(60, 40));
        ASSERT_TRUE(rig.make(rig.files.path("old01.bmp")).made) << e.label;
        rig.state.montage.main().unsaved = false;
        e.run(rig);
        WindowManager& w = rig.form->windows();
        int listed = 0;
        for (int i = 1; i <= 12; ++i) {
            QAction* entry = rig.form->mnuWindow(i);
            if (!entry->isVisible()) continue;
            ++listed;
            const int slot = w.sourceSlotOf(entry->data().toString());
            ASSERT_GT(slot, 0) << e.label << ": " << entry->text().toStdString();
            EXPECT_TRUE(w.existingSourceWindow(slot)->isVisible()) << e.label << ": " << entry->text().toStdString();
        }
        EXPECT_EQ(listed, rig.visibleSourceWindows()) << e.label;
        const bool montageListed = rig.form->mnuWindow2(0)->isVisible() &&
                                   rig.form->mnuWindow2(0)->data().toString() == w.montageWindow()->windowTitle();
        EXPECT_EQ(montageListed, w.montageWindow()->isVisible()) << e.label;
    }
}

// The preview window of an earlier run goes with it: out of sight and out of the window list,
// and the next run's preview starts as a new one (its caption, its place, black until rows come).
TEST(EarlierWindows, TheNextPreviewIsANewOne) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "pv", 3, QSize(80, 60));
    WindowManager& w = rig.form->windows();
    ASSERT_TRUE(rig.make(rig.files.path("pv01.bmp")).made);
    FormPreview* first = w.previewWindow();
    const QPoint home = first->pos();
    const QImage firstPicture = first->PicturePreview()->picture();
    first->move(home - QPoint(150, 100));
    first->setWindowTitle("moved");
    first->PicturePreview()->setBlankPicture(10, 10);

    EXPECT_EQ(rig.load(rig.files.path("pv01.bmp")), LoadOutcome::Loaded);
    EXPECT_FALSE(w.hasPreview());
    EXPECT_FALSE(first->isVisible());
    rig.form->RefreshWindowMenus();
    EXPECT_NE(rig.form->mnuWindow2(0)->text(), "Preview");

    ASSERT_TRUE(rig.make(rig.files.path("pv01.bmp")).made);
    FormPreview* next = w.previewWindow();
    EXPECT_TRUE(next->isVisible());
    EXPECT_EQ(next->windowTitle(), "Preview");
    EXPECT_EQ(next->pos(), home);
    EXPECT_EQ(next->PicturePreview()->picture().convertToFormat(QImage::Format_RGB888),
              firstPicture.convertToFormat(QImage::Format_RGB888));
    // Closed by hand, it leaves the list and comes back from its entry-less state the same way.
    next->close();
    rig.form->RefreshWindowMenus();
    EXPECT_FALSE(rig.form->mnuWindow2(1)->isVisible());
}

// --- the preview --------------------------------------------------------------------------------

TEST(Preview, GrowsWithTheMontageAndEndsAsItsNearestNeighbourReduction) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "pre", 4, QSize(100, 60));
    // Watch the preview while the montage is being made: it must gain rows, not appear at the end.
    std::vector<int> drawnRows;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        FormPreview* p = rig.form->windows().hasPreview() ? rig.form->windows().previewWindow() : nullptr;
        if (p && p->isVisible()) {
            const QImage img = p->PicturePreview()->picture();
            int rows = 0;
            for (int y = 0; y < img.height(); ++y) rows += pixel(img, 0, y) != 0;
            drawnRows.push_back(rows);
        }
    });
    watch.start(0);
    ASSERT_TRUE(rig.make(rig.files.path("pre01.bmp"), "10").made);
    watch.stop();

    const QImage montage = rig.montagePicture();
    const QImage preview = rig.form->windows().previewWindow()->PicturePreview()->picture();
    ASSERT_EQ(preview.size(), QSize(kPreviewWidth, kPreviewHeight));
    EXPECT_EQ(pixel(preview, 0, kPreviewHeight - 1), pixel(montage, 0, 59));
    EXPECT_EQ(pixel(preview, kPreviewWidth - 1, 0), pixel(montage, 99, 0));
    // Column 160 x 99 / 319 = 49.65 and row 119 x 59 / 239 = 29.4 from the bottom.
    EXPECT_EQ(pixel(preview, 160, 120), pixel(montage, 50, 30));
    ASSERT_FALSE(drawnRows.empty());
    EXPECT_LT(drawnRows.front(), kPreviewHeight);
    EXPECT_TRUE(std::is_sorted(drawnRows.begin(), drawnRows.end()));
}

TEST(Preview, OfASourcePictureAndTheWindowListEntryGoesWithTheWindow) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("src", 3, QSize(80, 60)).made);
    rig.form->windows().previewWindow()->close();
    EXPECT_FALSE(rig.form->mnuWindow2(1)->isVisible());

    FormPicture* second = rig.form->windows().existingSourceWindow(2);
    second->menuAction("mnushowPreview")->trigger();
    const QImage source = second->PictureFile()->picture();
    const QImage preview = rig.form->windows().previewWindow()->PicturePreview()->picture();
    EXPECT_TRUE(rig.form->windows().previewWindow()->isVisible());
    EXPECT_EQ(rig.form->mnuWindow2(1)->text(), "Preview");
    EXPECT_EQ(pixel(preview, 0, kPreviewHeight - 1), pixel(source, 0, 59));
    EXPECT_EQ(pixel(preview, kPreviewWidth - 1, 0), pixel(source, 79, 0));
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST(Preview, OfTheMontageWindowShowsItsPicture) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("mon", 2, QSize(64, 48)).made);
    rig.form->windows().previewWindow()->PicturePreview()->setBlankPicture(kPreviewWidth, kPreviewHeight);
    rig.form->windows().montageWindow()->menuAction("mnuShowPreview2")->trigger();
    const QImage montage = rig.montagePicture();
    const QImage preview = rig.form->windows().previewWindow()->PicturePreview()->picture();
    EXPECT_EQ(pixel(preview, 0, kPreviewHeight - 1), pixel(montage, 0, 47));
    EXPECT_EQ(pixel(preview, kPreviewWidth - 1, 0), pixel(montage, 63, 0));
}

// Sides that are no multiple of 4 are padded in the arrays; the preview shows the picture's own
// pixels up to its last column and row, with no black edge of padding, after Make Montage and from
// the montage and source windows' entries alike.
TEST(Preview, OfPicturesWithOddSidesEndsAtTheirLastPixelsWithoutAPaddingEdge) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("odd", 3, QSize(81, 61)).made);
    FormPreview* preview = rig.form->windows().previewWindow();
    auto expectCornersOf = [&](const QImage& picture, const char* label) {
        const QImage shown = preview->PicturePreview()->picture();
        ASSERT_EQ(shown.size(), QSize(kPreviewWidth, kPreviewHeight)) << label;
        EXPECT_EQ(pixel(shown, 0, 0), pixel(picture, 0, 0)) << label;
        EXPECT_EQ(pixel(shown, kPreviewWidth - 1, 0), pixel(picture, 80, 0)) << label;
        EXPECT_EQ(pixel(shown, kPreviewWidth - 1, kPreviewHeight - 1), pixel(picture, 80, 60)) << label;
    };
    const QImage montage = rig.montagePicture();
    expectCornersOf(montage, "after Make Montage");
    rig.form->windows().montageWindow()->menuAction("mnuShowPreview2")->trigger();
    expectCornersOf(montage, "montage window");
    FormPicture* second = rig.form->windows().existingSourceWindow(2);
    second->menuAction("mnushowPreview")->trigger();
    expectCornersOf(second->PictureFile()->picture(), "source window");
    EXPECT_TRUE(rig.prompter.shown.empty());
}

// The preview reads its picture without touching the pictures the montage was made from: an aligned
// series stays aligned in them, so smoothing after a preview replaces the blocks it replaces
// without one.
TEST(Preview, LeavesTheAlignedPicturesTheSmoothingPassTakesBlocksFrom) {
    auto smoothed = [](bool previews) {
        MontageRig rig;
        QProcess p;
        p.start(QCoreApplication::applicationDirPath() + "/make-sample-series",
                {QString::fromStdString(rig.files.folder()), "--count", "3", "--size", "120x90", "--scene", "natural",
                 "--shift-step", "5,3", "--prefix", "al", "--no-truth"});
        EXPECT_TRUE(p.waitForFinished(60000));
        rig.form->action(Command::AlignImages)->trigger();
        EXPECT_TRUE(rig.make(rig.files.path("al01.bmp")).made);
        if (previews) {
            rig.form->windows().montageWindow()->menuAction("mnuShowPreview2")->trigger();
            rig.form->windows().existingSourceWindow(3)->menuAction("mnushowPreview")->trigger();
        }
        rig.form->action(Command::Smooth)->trigger();
        // The pass replaced blocks, so where it took them from shows.
        EXPECT_FALSE(rig.prompter.shown.empty());
        if (!rig.prompter.shown.empty()) { EXPECT_NE(rig.prompter.shown.back().text.find("("), std::string::npos); }
        return rig.montagePicture();
    };
    EXPECT_TRUE(samePixels(smoothed(true), smoothed(false)));
}

} // namespace
