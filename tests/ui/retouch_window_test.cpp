// Retouching in the montage window, driven with the mouse and the keys as a user would: the mode and
// its caption, the source chosen by a source window, the keys 1-9 and S, the brush dialog and its
// preferences, strokes that orvanta-cli paints the same from a strokes file, Undo and Redo by their
// keys, and the retouching at 150 % and 200 % screen density. The work strokes are (the questions
// before they are lost, projects) is in retouch_work_test.cpp.
#include "cli_like.h"
#include "grabbed_pixels.h"
#include "montage_fixture.h"
#include "retouch_rig.h"

#include "fusion/pyramid_focus.h"
#include "retouch/strokes_file.h"
#include "settings/preferences.h"
#include "ui/output_commands.h"
#include "ui/retouch_commands.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

namespace orv::testing {
namespace {

TEST(RetouchWindow, TheEntriesOfTheMontageWindowsMenu) {
    RetouchRig rig;
    const std::pair<const char*, const char*> entries[] = {{"mnuRetouch", "Retouch from Source Pictures"},
                                                           {"mnuRetouchBrush", "Retouch Brush..."},
                                                           {"mnuUndoRetouch", "Undo Retouch"},
                                                           {"mnuRedoRetouch", "Redo Retouch"},
                                                           {"mnuClearRetouch", "Remove All Retouching"}};
    for (const auto& [name, caption] : entries) {
        QAction* a = rig.window()->menuAction(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        EXPECT_EQ(a->text().remove(QLatin1Char('&')), QString::fromLatin1(caption)); // the access key aside
    }
    EXPECT_TRUE(rig.window()->menuAction("mnuRetouch")->isCheckable());
    EXPECT_EQ(rig.window()->menuAction("mnuUndoRetouch")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Z));
    EXPECT_EQ(rig.window()->menuAction("mnuRedoRetouch")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Y));
}

TEST(RetouchWindow, ModeCaptionAndTheSourceByKeysAndBySourceWindow) {
    RetouchRig rig;
    const QString caption = rig.window()->windowTitle();
    rig.trigger("mnuRetouch");
    EXPECT_TRUE(rig.window()->menuAction("mnuRetouch")->isChecked());
    EXPECT_EQ(rig.window()->windowTitle(), caption + kRetouchCaptionMark + "1");
    QTest::keyClick(rig.window(), Qt::Key_3);
    EXPECT_EQ(rig.retouch().source(), 3);
    EXPECT_TRUE(rig.window()->windowTitle().endsWith("picture 3"));
    QTest::keyClick(rig.window(), Qt::Key_7); // beyond the series: nothing changes
    EXPECT_EQ(rig.retouch().source(), 3);
    // A click in a source window takes its picture.
    QTest::mouseClick(rig.form->windows().existingSourceWindow(2)->PictureFile(), Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(rig.retouch().source(), 2);
    // S: the picture the montage took under the pointer (picture 1's band is on the left).
    QTest::mouseMove(rig.box(), QPoint(10, 40));
    QTest::keyClick(rig.window(), Qt::Key_S);
    EXPECT_EQ(rig.retouch().source(), 1);
    // X held shows the source under the brush.
    QTest::keyPress(rig.window(), Qt::Key_X);
    EXPECT_TRUE(rig.retouch().showingSource());
    QTest::keyRelease(rig.window(), Qt::Key_X);
    EXPECT_FALSE(rig.retouch().showingSource());
    rig.trigger("mnuRetouch");
    EXPECT_FALSE(rig.window()->menuAction("mnuRetouch")->isChecked());
    EXPECT_EQ(rig.window()->windowTitle(), caption);
    // Out of retouch mode a drag paints nothing.
    rig.drag({QPoint(20, 20), QPoint(50, 30)});
    EXPECT_EQ(rig.strokes(), 0);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
}

TEST(RetouchWindow, HoldingXShowsTheSourceUnderTheBrush) {
    RetouchRig rig;
    rig.startRetouching(BrushChoice{6, 100, 100, false}, 3);
    QTest::mouseClick(rig.box(), Qt::MiddleButton, {}, QPoint(20, 40)); // the brush goes there
    const QImage source = rig.sourcePicture(3);
    ASSERT_NE(source.pixel(20, 40), rig.plain.pixel(20, 40)); // the montage took picture 1 there
    QTest::keyPress(rig.window(), Qt::Key_X);
    QImage shown = rig.box()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    EXPECT_TRUE(everyScreenPixelIs(shown, 20, 40, source.pixel(20, 40)));
    EXPECT_TRUE(everyScreenPixelIs(shown, 22, 42, source.pixel(22, 42)));
    EXPECT_TRUE(everyScreenPixelIs(shown, 20, 30, rig.plain.pixel(20, 30))); // beyond the radius
    QTest::keyRelease(rig.window(), Qt::Key_X);
    shown = rig.box()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    EXPECT_TRUE(everyScreenPixelIs(shown, 20, 40, rig.plain.pixel(20, 40)));
    EXPECT_EQ(rig.strokes(), 0);
}

// --- at any zoom and screen density ------------------------------------------------------------
// These run at the usual density and, from CMake, at 150 % and 200 % (QT_SCALE_FACTOR), where a
// screen pixel is a fraction of a box pixel.

// Holding X shows, at every screen pixel well inside the brush, the source pixel the montage pixel
// under it would take: the source lies over the montage pixel for pixel, at any zoom.
TEST(RetouchAtAnyScale, HoldingXShowsTheSourceOverItsOwnMontagePixels) {
    RetouchRig rig;
    rig.startRetouching(BrushChoice{20, 100, 100, false}, 3);
    const QImage source = rig.sourcePicture(3);
    const QPoint brush(40, 40);
    for (const double zoom : {1.25, 0.8, 1.5625, 3.0}) {
        rig.box()->setZoom(zoom);
        const QPoint at = rig.box()->toBox(QRectF(brush + QPointF(0.5, 0.5), QSizeF())).topLeft().toPoint();
        QTest::mouseClick(rig.box(), Qt::MiddleButton, {}, at); // the brush goes there
        QTest::keyPress(rig.window(), Qt::Key_X);
        const QImage shown = rig.box()->grab().toImage().convertToFormat(QImage::Format_RGB888);
        QTest::keyRelease(rig.window(), Qt::Key_X);
        const double dpr = shown.devicePixelRatio();
        int checked = 0, wrong = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) {
                const QPointF p = rig.box()->toPicture(QPointF((x + 0.5) / dpr, (y + 0.5) / dpr));
                // A screen pixel whose middle falls on a border between two montage pixels may show
                // either of them.
                const double fx = p.x() - std::floor(p.x()), fy = p.y() - std::floor(p.y());
                if (fx < 0.05 || fx > 0.95 || fy < 0.05 || fy > 0.95) continue;
                const QPoint pixel(int(std::floor(p.x())), int(std::floor(p.y())));
                const QPoint d = pixel - brush;
                if (d.x() * d.x() + d.y() * d.y() > 18 * 18) continue; // clear of the outline
                ++checked;
                wrong += shown.pixel(x, y) != source.pixel(pixel);
            }
        EXPECT_GT(checked, 100) << zoom;
        EXPECT_EQ(wrong, 0) << "zoom " << zoom << ": " << wrong << " of " << checked << " screen pixels";
    }
}

// Scrolling or zooming moves the picture under a pointer that stays where it is: the brush, and S
// with it, is at the picture pixel now under the pointer, not at the one it was over before.
TEST(RetouchAtAnyScale, ScrollingAndZoomingUnderAStillPointerMoveTheBrushWithIt) {
    RetouchRig rig;
    FormMontagePicture* w = rig.window();
    w->show();
    w->resize(150, 120);
    rig.startRetouching(BrushChoice{6, 100, 100, false});
    w->setZoom(4);
    QScrollBar* h = w->scrollArea()->horizontalScrollBar();
    h->setValue(0);
    QWidget* viewport = w->scrollArea()->viewport();
    const QPoint still(30, 40);
    QCursor::setPos(viewport->mapToGlobal(still));
    QTest::mouseMove(rig.box(), rig.box()->mapFrom(viewport, still));
    QTest::keyClick(w, Qt::Key_S);
    EXPECT_EQ(rig.retouch().source(), 1); // picture 1's band is on the left
    auto underPointer = [&] { return rig.box()->toPicture(QPointF(rig.box()->mapFrom(viewport, still))); };
    // Scrolled to the right end: the middle band, picture 2's, is under the pointer.
    h->setValue(h->maximum());
    ASSERT_GE(underPointer().x(), 45);
    ASSERT_LT(underPointer().x(), 75);
    QTest::keyClick(w, Qt::Key_S);
    EXPECT_EQ(rig.retouch().source(), 2);
    // Zoomed out about the middle of the window: the picture moves under the pointer again.
    w->setZoom(1);
    ASSERT_LT(underPointer().x(), 35);
    QTest::keyClick(w, Qt::Key_S);
    EXPECT_EQ(rig.retouch().source(), 1);
    // The outline is drawn round the pixel under the pointer: the montage shows through everywhere
    // but on its edge.
    const QPointF pixel = underPointer();
    const int r = rig.retouch().brush().radius;
    const QImage shown = w->PictureFile()->grab().toImage().convertToFormat(QImage::Format_RGB888);
    const double dpr = shown.devicePixelRatio();
    auto outlineNear = [&](QPointF boxPoint) {
        int covered = 0;
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const QPoint s = (boxPoint * dpr).toPoint() + QPoint(dx, dy);
                const QPointF p = rig.box()->toPicture(QPointF((s.x() + 0.5) / dpr, (s.y() + 0.5) / dpr));
                if (!shown.rect().contains(s) || p.x() - std::floor(p.x()) < 0.05 || p.y() - std::floor(p.y()) < 0.05) continue;
                covered += shown.pixel(s) != rig.plain.pixel(int(std::floor(p.x())), int(std::floor(p.y())));
            }
        return covered > 0;
    };
    const QPointF centre(std::floor(pixel.x()) + 0.5, std::floor(pixel.y()) + 0.5);
    EXPECT_FALSE(outlineNear(centre));
    for (const QPointF edge : {QPointF(0, -1), QPointF(0, 1), QPointF(-1, 0), QPointF(1, 0)})
        EXPECT_TRUE(outlineNear(centre + edge * (r + 0.5))) << edge.x() << "," << edge.y();
}

TEST(RetouchWindow, TheBrushDialogAndTheBracketsKeepThePreferences) {
    RetouchRig rig;
    EXPECT_EQ(rig.retouch().brush(), (retouch::Brush{40, 50, 100, true}));
    rig.dialogs->chooseBrush(BrushChoice{12, 80, 70, false});
    rig.trigger("mnuRetouchBrush");
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(rig.dialogs->requests[0].kind, DialogKind::Brush);
    EXPECT_EQ(rig.dialogs->requests[0].brush, (BrushChoice{40, 50, 100, true}));
    EXPECT_EQ(rig.retouch().brush(), (retouch::Brush{12, 80, 70, false}));
    EXPECT_EQ(rig.preference("Retouch brush radius"), "12");
    EXPECT_EQ(rig.preference("Retouch brush hardness"), "80");
    EXPECT_EQ(rig.preference("Retouch brush opacity"), "70");
    EXPECT_EQ(rig.preference("Retouch match brightness"), "0");
    // A cancelled dialog changes nothing.
    rig.trigger("mnuRetouchBrush");
    EXPECT_EQ(rig.retouch().brush().radius, 12);
    rig.trigger("mnuRetouch");
    QTest::keyClick(rig.window(), Qt::Key_BracketRight);
    EXPECT_EQ(rig.retouch().brush().radius, 13);
    QTest::keyClick(rig.window(), Qt::Key_BracketLeft);
    QTest::keyClick(rig.window(), Qt::Key_BracketLeft);
    EXPECT_EQ(rig.retouch().brush().radius, 11);
    EXPECT_EQ(readRetouchBrush(rig.state.preferences).radius, 11);
}

TEST(RetouchWindow, AMouseStrokeIsWhatOrvantaCliPaintsFromTheSameStrokesFile) {
    RetouchRig rig;
    rig.startRetouching(BrushChoice{9, 60, 90, true}, 3);
    rig.drag({QPoint(10, 10), QPoint(30, 20), QPoint(55, 35), QPoint(70, 60)});
    ASSERT_EQ(rig.strokes(), 1);
    const std::vector<retouch::Stroke> strokes = rig.form->session().record({}).retouch.strokes();
    ASSERT_EQ(strokes.size(), 1u);
    EXPECT_EQ(strokes[0].picture, 3);
    EXPECT_EQ(strokes[0].path.size(), 4u);
    const QImage painted = rig.montagePicture();
    EXPECT_NE(painted, rig.plain);

    // The window shows the record as painted.
    const MemorySurface& record = rig.form->session().record({}).picture;
    for (int y = 0; y < painted.height(); ++y)
        for (int x = 0; x < painted.width(); ++x) {
            const QRgb c = painted.pixel(x, y);
            const std::uint8_t* r = record.pixelAt(x, y);
            ASSERT_TRUE(qBlue(c) == r[0] && qGreen(c) == r[1] && qRed(c) == r[2]) << x << "," << y;
        }

    // orvanta-cli with the same series, increment and strokes writes the same picture.
    rig.files.writeText("w.strokes", retouch::formatStrokes(strokes));
    const CliRun cli = runCli({"-q", "-i", "20", "-o", QString::fromStdString(rig.files.path("cli.bmp")), "--retouch",
                               QString::fromStdString(rig.files.path("w.strokes")),
                               QString::fromStdString(rig.files.path("r01.bmp"))});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(QImage(QString::fromStdString(rig.files.path("cli.bmp"))).convertToFormat(QImage::Format_RGB888), painted);
}

TEST(RetouchWindow, UndoAndRedoByTheirKeysAndRemoveAll) {
    RetouchRig rig;
    rig.startRetouching(BrushChoice{8, 100, 100, false}, 2);
    rig.drag({QPoint(5, 5), QPoint(40, 50)});
    const QImage one = rig.montagePicture();
    QTest::keyClick(rig.window(), Qt::Key_3);
    rig.drag({QPoint(100, 10), QPoint(60, 70)});
    const QImage two = rig.montagePicture();
    ASSERT_EQ(rig.strokes(), 2);
    EXPECT_NE(one, rig.plain);
    EXPECT_NE(two, one);
    EXPECT_NE(rig.form->session().record({}).properties.find("  Retouched =2 strokes\r\n"), std::string::npos);

    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), one);
    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    EXPECT_EQ(rig.form->session().record({}).properties.find("Retouched"), std::string::npos);
    QTest::keyClick(rig.window(), Qt::Key_Y, Qt::ControlModifier);
    QTest::keyClick(rig.window(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), two);
    rig.trigger("mnuUndoRetouch");
    EXPECT_EQ(rig.montagePicture(), one);
    rig.trigger("mnuRedoRetouch");
    EXPECT_EQ(rig.montagePicture(), two);
    rig.trigger("mnuClearRetouch");
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    EXPECT_EQ(rig.strokes(), 0);
}

// A long session folds the oldest strokes together to keep Undo's memory within bounds: once
// only those are left, Undo says why it takes nothing off (rather than a bare beep) and names
// the way to take them off, which gives back the montage as made.
TEST(RetouchWindow, UndoSaysWhenTheStrokesLeftWereJoinedTogether) {
    RetouchRig rig;
    rig.form->session().setRetouchUndoBytes(1);
    rig.startRetouching(BrushChoice{6, 100, 100, false}, 2);
    for (int k = 0; k < 4; ++k) rig.drag({QPoint(10 + 25 * k, 10), QPoint(15 + 25 * k, 60)});
    ASSERT_EQ(rig.strokes(), 4);
    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(rig.strokes(), 3);
    EXPECT_TRUE(rig.prompter.shown.empty());
    const QImage three = rig.montagePicture();
    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.strokes(), 3);
    EXPECT_EQ(rig.montagePicture(), three);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, foldedStrokesText(3));
    EXPECT_EQ(rig.prompter.shown[0].title, kUndoRetouchTitle);
    rig.trigger("mnuClearRetouch");
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    EXPECT_EQ(rig.strokes(), 0);
    // With no stroke at all there is nothing to say.
    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
}

// The montage window hands the keyboard to the main window, so Ctrl+Z and Ctrl+Y must work from
// there with the pointer anywhere: from its buttons and, while retouching, from its text boxes too
// once they have no typing of their own left to undo (they keep them for their typing otherwise).
TEST(RetouchWindow, UndoAndRedoKeysWorkFromTheMainWindowWithThePointerAway) {
    RetouchRig rig;
    rig.form->show();
    rig.startRetouching(BrushChoice{8, 100, 100, false}, 2);
    rig.drag({QPoint(5, 5), QPoint(40, 50)});
    const QImage painted = rig.montagePicture();
    ASSERT_NE(painted, rig.plain);
    QCursor::setPos(rig.window()->frameGeometry().bottomRight() + QPoint(40, 40));
    // The preview window, shown by Make Montage, keeps the keyboard when it is in front.
    FormPreview* preview = rig.form->windows().previewWindow();
    ASSERT_TRUE(preview->isVisible());
    QApplication::setActiveWindow(preview);
    QTest::keyClick(preview, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    QTest::keyClick(preview, Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), painted);
    QApplication::setActiveWindow(rig.form.get());
    ASSERT_EQ(QApplication::activeWindow(), rig.form.get());

    QLineEdit* box = rig.form->TextIncrement();
    box->setFocus();
    const QString before = box->text();
    QTest::keyClicks(box, "5");
    const QString typed = box->text();
    for (int k = 0; k < 4 && box->isUndoAvailable(); ++k) QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(box->text(), before);
    EXPECT_EQ(rig.montagePicture(), painted);
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    EXPECT_EQ(box->text(), before);
    QTest::keyClick(rig.form->textFileName(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), painted);

    // Retouching over: the montage window in front still takes the keys from a button, and a text
    // box undoes its own typing.
    rig.trigger("mnuRetouch");
    ASSERT_FALSE(rig.retouch().active());
    rig.form->CommandGo()->setFocus();
    QTest::keyClick(rig.form->CommandGo(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    QTest::keyClick(rig.form->CommandGo(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), painted);
    box->setFocus();
    QTest::keyClicks(box, "5");
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), painted);
    EXPECT_NE(box->text(), typed);
    EXPECT_EQ(rig.strokes(), 1);
}


// Undo Retouch, Redo Retouch and Remove All Retouching are offered only when there is a stroke to
// undo, to redo or to remove, and follow every command that changes the strokes.
TEST(RetouchWindow, UndoRedoAndRemoveAllAreEnabledOnlyWithSomethingToDo) {
    RetouchRig rig;
    const auto entries = [&] {
        std::string s;
        for (const char* name : {"mnuUndoRetouch", "mnuRedoRetouch", "mnuClearRetouch"})
            s += rig.window()->menuAction(QString::fromLatin1(name))->isEnabled() ? '1' : '0';
        return s;
    };
    EXPECT_EQ(entries(), "000");
    rig.startRetouching(BrushChoice{8, 100, 100, false}, 2);
    rig.drag({QPoint(5, 5), QPoint(40, 50)});
    EXPECT_EQ(entries(), "101");
    rig.trigger("mnuUndoRetouch");
    EXPECT_EQ(entries(), "010");
    QTest::keyClick(rig.window(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(entries(), "101");
    QTest::keyClick(rig.window(), Qt::Key_Z, Qt::ControlModifier);
    rig.drag({QPoint(60, 10), QPoint(90, 60)}); // a new stroke: nothing left to redo
    EXPECT_EQ(entries(), "101");
    rig.trigger("mnuSmooth");
    EXPECT_EQ(entries(), "101");
    rig.trigger("mnuClearRetouch");
    EXPECT_EQ(entries(), "000");
    rig.drag({QPoint(5, 5), QPoint(40, 50)});
    EXPECT_EQ(entries(), "101");
    // A new montage has no strokes.
    rig.prompter.answerNext(PromptAnswer::Yes);
    rig.form->TextIncrement()->setText(QStringLiteral("10"));
    rig.form->action(Command::MakeMontage)->trigger();
    ASSERT_EQ(rig.strokes(), 0);
    EXPECT_EQ(entries(), "000");
}

} // namespace
} // namespace orv::testing
