// The desktop program shows what it does: files dropped on the main window, the zoom of the picture
// windows, windows that fit the screen, the map as text, and preferences that say what the program
// uses. The question before an unsaved montage is thrown away is in protect_work_test.cpp, the
// program told to end in end_on_signal_test.cpp, the progress strip and Cancel in
// cancel_run_test.cpp.
#include "work_rig.h"
#include "grabbed_pixels.h"

#include "ui/form_preferences.h"
#include "ui/montage_windows.h"
#include "ui/screen_metrics.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QUrl>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

using namespace orv;
using namespace orv::testing;

namespace {

// --- files dropped on the main window ----------------------------------------------------------

// A picture dropped from a file manager loads its series as Browse does, a project opens as Load a
// Project does; an unsaved montage is asked about first; a folder or several files are not taken.
TEST(DropOnMainWindow, APictureLoadsItsSeriesAndAProjectOpensAsTheMenuCommandsDo) {
    WorkRig rig;
    rig.makeFirst();
    const std::string project = rig.files.path("wrk.mon");
    rig.dialogs->chooseFile(QString::fromStdString(project));
    rig.form->action(Command::SaveProject)->trigger();
    ASSERT_FALSE(rig.state.montage.main().unsaved);
    const QImage stored = rig.montagePicture();
    rig.prompter.shown.clear();

    auto drop = [&](QList<QUrl> urls) {
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.form.get(), &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(rig.form.get(), &dropped);
        QTest::qWait(0); // the file opens once the drop has ended
        QCoreApplication::processEvents();
        return true;
    };
    auto file = [](const std::string& path) { return QUrl::fromLocalFile(QString::fromStdString(path)); };

    EXPECT_FALSE(drop({file(rig.files.path(""))}));
    EXPECT_FALSE(drop({file(rig.second), file(rig.first)}));
    EXPECT_FALSE(drop({QUrl(QStringLiteral("https://example.org/a01.jpg"))}));
    EXPECT_EQ(rig.state.series.imageCount, 3);

    ASSERT_TRUE(drop({file(rig.second)}));
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.second);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;

    ASSERT_TRUE(drop({file(project)}));
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.montagePicture(), stored);

    // A new montage, unsaved: the drop asks first, and Cancel keeps it and its series.
    rig.form->textFileName()->setText(QString::fromStdString(rig.first));
    ASSERT_TRUE(rig.form->makeMontage().made);
    rig.prompter.shown.clear();
    rig.prompter.answerNext(PromptAnswer::Cancel);
    ASSERT_TRUE(drop({file(rig.second)}));
    EXPECT_EQ(rig.asked(), 1);
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_TRUE(rig.state.montage.main().unsaved);
}

// --- zoom -------------------------------------------------------------------------------------------

TEST(PictureZoom, TheOneMappingFollowsTheZoomAndTheBoxTakesTheScaledSize) {
    PictureBox box;
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(Qt::red);
    box.setPicture(picture);
    EXPECT_EQ(box.size(), QSize(40, 30));
    EXPECT_EQ(box.toPicture(QPointF(10, 6)), QPointF(10, 6));
    box.setZoom(2);
    EXPECT_EQ(box.size(), QSize(80, 60));
    EXPECT_EQ(box.toPicture(QPointF(10, 6)), QPointF(5, 3));
    EXPECT_EQ(box.toBox(QRect(1, 2, 3, 4)), QRect(2, 4, 6, 8));
    box.setZoom(0.5);
    EXPECT_EQ(box.size(), QSize(20, 15));
    EXPECT_EQ(box.toBox(QRectF(10, 10, 4, 4)), QRectF(5, 5, 2, 2));
    // Round trip: a picture point shows where the mouse finds it again.
    const QRectF shown = box.toBox(QRectF(12, 8, 0, 0));
    EXPECT_EQ(box.toPicture(shown.topLeft()), QPointF(12, 8));
    box.setZoom(1000);
    EXPECT_EQ(box.zoom(), PictureBox::kMaxZoom);
}

TEST(PictureZoom, PaintsThePictureAtTheZoom) {
    PictureBox box;
    QImage picture(4, 2, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    picture.setPixel(0, 0, qRgb(255, 0, 0));
    box.setPicture(picture);
    box.setZoom(4);
    const QImage painted = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(painted.deviceIndependentSize().toSize(), QSize(16, 8));
    EXPECT_TRUE(everyScreenPixelIs(painted, 3, 3, qRgb(255, 0, 0))); // picture pixel (0, 0), four box pixels wide
    EXPECT_TRUE(everyScreenPixelIs(painted, 4, 0, qRgb(0, 0, 255)));
    EXPECT_TRUE(everyScreenPixelIs(painted, 15, 7, qRgb(0, 0, 255)));
}

TEST(PictureZoom, KeysWheelAndButtonsZoomTheWindowAndItsStatusSaysSoTheCaptionStays) {
    WorkRig rig;
    rig.makeFirst();
    FormMontagePicture* w = rig.form->windows().montageWindow();
    const QString caption = w->windowTitle();
    EXPECT_EQ(w->zoomStatus()->text(), "Zoom 100 %");
    w->zoomIn();
    EXPECT_EQ(w->zoomStatus()->text(), "Zoom 125 %");
    w->zoomOut();
    w->zoomOut();
    EXPECT_EQ(w->zoomStatus()->text(), "Zoom 80 %");
    EXPECT_EQ(w->PictureFile()->size(), QSize(51, 38));

    // Ctrl+wheel over the picture.
    QWheelEvent up(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                   Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(w->scrollArea()->viewport(), &up);
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);

    // Fit to Window: the whole picture in the window as it is.
    w->resize(40, 60);
    w->show();
    w->findChild<QToolButton*>(QStringLiteral("CommandZoomFit"))->click();
    const QSize room = w->scrollArea()->viewport()->size();
    EXPECT_LE(w->PictureFile()->width(), room.width());
    EXPECT_LE(w->PictureFile()->height(), room.height());
    // It touches the window on one side.
    EXPECT_TRUE(room.width() - w->PictureFile()->width() <= 1 || room.height() - w->PictureFile()->height() <= 1)
        << room.width() << "x" << room.height();
    EXPECT_NE(w->zoom(), 1.0);
    w->findChild<QToolButton*>(QStringLiteral("CommandZoom100"))->click();
    EXPECT_DOUBLE_EQ(w->zoom(), 1.0);
    EXPECT_EQ(w->windowTitle(), caption);
}

// Zooming keeps the picture point under the mouse (the wheel) or in the middle of the window (the
// keys and buttons, the mouse elsewhere) where it was, also from a scrolled position.
TEST(PictureZoom, ThePointUnderTheMouseOrInTheMiddleStaysWhereItWas) {
    WorkRig rig;
    rig.makeFirst();
    FormMontagePicture* w = rig.form->windows().montageWindow();
    w->show();
    w->resize(50, 60);
    QApplication::processEvents();
    QWidget* viewport = w->scrollArea()->viewport();
    PictureBox* box = w->PictureFile();
    auto pictureAt = [&](QPointF v) { return box->toPicture(v - QPointF(box->pos())); };
    auto wheel = [&](QPointF v, int delta) {
        QWheelEvent e(v, viewport->mapToGlobal(v), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &e);
    };
    QCursor::setPos(w->mapToGlobal(QPoint(-500, -500)));
    for (const QPointF v : {QPointF(30, 20), QPointF(5, 25), QPointF(200, 60)}) {
        // Larger than the window, scrolled part of the way.
        w->setZoom(4);
        w->scrollArea()->horizontalScrollBar()->setValue(10);
        w->scrollArea()->verticalScrollBar()->setValue(30);
        const QPointF before = pictureAt(v);
        wheel(v, 120);
        wheel(v, 120);
        ASSERT_GT(w->zoom(), 5.5);
        EXPECT_NEAR(pictureAt(v).x(), before.x(), 1.0) << v.x() << "," << v.y();
        EXPECT_NEAR(pictureAt(v).y(), before.y(), 1.0) << v.x() << "," << v.y();
        wheel(v, -120);
        EXPECT_NEAR(pictureAt(v).x(), before.x(), 1.0);
        EXPECT_NEAR(pictureAt(v).y(), before.y(), 1.0);
        const QPointF middle = QRectF(viewport->rect()).center();
        const QPointF inMiddle = pictureAt(middle);
        w->zoomIn();
        EXPECT_NEAR(pictureAt(middle).x(), inMiddle.x(), 1.0);
        EXPECT_NEAR(pictureAt(middle).y(), inMiddle.y(), 1.0);
    }
}

// The offset target is in picture pixels: at 200 % a drag of 20 screen pixels moves it 10.
TEST(PictureZoom, TheOffsetTargetFollowsTheZoom) {
    WorkRig rig;
    rig.load(rig.first);
    rig.form->action(Command::UseOffsets)->trigger();
    FormPicture* w = rig.form->windows().sourceWindow(1);
    w->show();
    w->setZoom(2);
    const QRectF before = w->offsetTarget();
    const QPointF centre = before.center();
    PictureBox* box = w->PictureFile();
    const QPoint at = box->toBox(QRectF(centre, QSizeF(0, 0))).topLeft().toPoint();
    QTest::mousePress(box, Qt::LeftButton, Qt::NoModifier, at);
    QMouseEvent move(QEvent::MouseMove, QPointF(at + QPoint(20, 10)), box->mapToGlobal(QPointF(at + QPoint(20, 10))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(box, &move);
    QTest::mouseRelease(box, Qt::LeftButton, Qt::NoModifier, at + QPoint(20, 10));
    EXPECT_DOUBLE_EQ(w->offsetTarget().left() - before.left(), 10);
    EXPECT_DOUBLE_EQ(w->offsetTarget().top() - before.top(), 5);
}

// --- windows that fit --------------------------------------------------------------------------------

TEST(WindowsFit, TheMainWindowKeepsItsControlsInSight) {
    WorkRig rig;
    rig.form->show();
    rig.form->resize(400, 120);
    EXPECT_GE(rig.form->width(), rig.form->CommandGo()->geometry().right());
    EXPECT_GE(rig.form->centralWidget()->height(), rig.form->CommandGo()->geometry().bottom());
}

// On a screen lower than the 1024 x 768 the layout was made for, the main window is laid out
// smaller than its controls need and grows to them as it first shows: it stays where it was put,
// its frame and title bar at the screen's top edge, not above it.
TEST(WindowsFit, TheMainWindowLaidOutForALowScreenKeepsItsTitleBarOnIt) {
    WorkRig rig;
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    ComputeScreenScale(rig.state.layout, ScreenSize{1024, 600});
    ASSERT_LT(rig.state.layout.scaleY, 1);
    ApplyLayout(rig.form.get(), rig.state.layout);
    const int laidOut = rig.form->height();
    rig.form->move(avail.topLeft());
    rig.form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(rig.form.get()));
    ASSERT_GT(rig.form->height(), laidOut) << "the window did not grow as it showed";
    // A window manager frames the window a moment after it is shown.
    QTest::qWaitFor([&] { return rig.form->frameGeometry() != rig.form->geometry(); }, 1000);
    QTest::qWait(200);
    EXPECT_EQ(rig.form->frameGeometry().topLeft(), avail.topLeft());
}

// A series named on the command line loads as the main window first comes up, before the window
// manager may have told it how large its frame is. A message in the middle of that load (its third
// picture cut short) finds the pictures read so far where the finished load puts them: not higher
// by the frame's height, half over the main window's bottom edge.
TEST(WindowsFit, TheMainWindowLaidOutAtStartUpCascadesItsFirstPicturesBelowItsFrame) {
    MainWindowRig rig;
    writeTexturedSeries(rig.files, "cut", 4, QSize(64, 48));
    const std::string third = rig.files.path("cut03.bmp");
    std::filesystem::resize_file(third, std::filesystem::file_size(third) / 3);
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("cut01.bmp")));
    rig.state.fileOnCommandLine = true;
    rig.state.firstActivation = true;
    rig.state.startupFlag = true;
    std::optional<QPoint> whileAsked;
    // Where the window is once the window manager has framed it, as the message waits.
    rig.prompter.onShow = [&](const Prompt&) {
        QTest::qWait(300);
        if (FormPicture* w = rig.form->windows().existingSourceWindow(1); w && w->isVisible()) whileAsked = w->pos();
    };
    rig.form->move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    rig.form->show();
    // The first activation may come before the window manager has framed the window.
    rig.form->Form_Activate();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.form->commandRunning(); }, 10000));
    ASSERT_EQ(rig.visibleSourceWindows(), 2);
    ASSERT_TRUE(whileAsked) << "the cut picture was not said";
    QTest::qWait(300);
    const QPoint after = rig.form->windows().sourceWindow(1)->pos();
    EXPECT_EQ(whileAsked->y(), after.y());
    EXPECT_EQ(whileAsked->x(), after.x());
}

TEST(WindowsFit, TheMapWindowShowsItsDigitsAsTextAndStaysOnTheScreen) {
    WorkRig rig;
    rig.makeFirst();
    FormUsed* map = rig.form->windows().usedWindow();
    QCoreApplication::processEvents();
    QString expected = QString::fromStdString(rig.state.montage.main().map);
    expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (expected.endsWith('\n')) expected.chop(1);
    EXPECT_EQ(map->textMap()->toPlainText(), expected);
    EXPECT_TRUE(map->textMap()->isReadOnly());
    EXPECT_TRUE(map->textMap()->font().fixedPitch() || QFontInfo(map->textMap()->font()).fixedPitch());
    EXPECT_FALSE(map->textMap()->accessibleName().isEmpty());

    // A map for a huge montage: the window stays within the screen and the view scrolls.
    map->sizeForGrid(400, 800);
    const QSize avail = QGuiApplication::primaryScreen()->availableGeometry().size();
    EXPECT_LE(map->width(), avail.width());
    EXPECT_LE(map->height(), avail.height());
}

TEST(WindowsFit, ThePropertiesWindowHasANameStaysOnTheScreenAndScrolls) {
    WorkRig rig;
    rig.makeFirst();
    FormMontagePicture* main = rig.form->windows().montageWindow();
    const QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
    main->move(avail.right() - 20, avail.top());
    main->mnuProperties()->trigger();
    FormProperties* props = rig.form->windows().propertiesWindow();
    ASSERT_TRUE(props->isVisible());
    EXPECT_EQ(props->accessibleName(), "Properties");
    EXPECT_TRUE(avail.contains(QRect(props->pos(), props->size()))) << props->x() << "," << props->y();
    // A text larger than the screen: the window stops at the screen and its view scrolls.
    props->setText(std::string(4000, 'x') + "\r\n" + std::string(20, 'y'));
    EXPECT_LE(props->width(), avail.width());
    EXPECT_NE(props->findChild<QScrollArea*>(), nullptr);
}

// A report taller than the screen (many pictures and notes) but narrower: it scrolls up and down,
// and the scroll bar does not cover the ends of its lines, which could then only be read by
// scrolling sideways.
TEST(WindowsFit, APropertiesTextTallerThanTheScreenShowsItsLinesWhole) {
    std::optional<QPoint> drag;
    FormProperties props(drag, nullptr);
    std::string report;
    for (int k = 1; k <= 90; ++k)
        report += "Image " + std::to_string(k) + " -- /home/ann/pictures/beetle/shot" + std::to_string(k) + ".bmp\r\n";
    props.setText(report);
    props.showBeside(nullptr);
    QCoreApplication::processEvents();
    const QRect avail = props.screen()->availableGeometry();
    auto* scroll = props.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    ASSERT_GT(scroll->widget()->height(), scroll->viewport()->height()) << "the text is not taller than the screen";
    EXPECT_LE(props.height(), avail.height());
    EXPECT_LE(scroll->widget()->width(), scroll->viewport()->width()) << "the line ends lie under the scroll bar";
    EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
}

// --- preferences -------------------------------------------------------------------------------------

TEST(PreferencesTruth, ANewProfileShowsTheIncrementTheProgramUsesAndCancelWritesNothing) {
    WorkRig rig;
    rig.form->action(Command::Preferences)->trigger();
    auto* prefs = rig.form->findChild<FormPreferences*>();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(prefs->Text1()->text(), "10");
    prefs->Text1()->setText(QStringLiteral("33"));
    prefs->TextEditor()->setText(QStringLiteral("gimp %f"));
    prefs->CommandCancel()->click();
    EXPECT_FALSE(prefs->isVisible());
    EXPECT_EQ(rig.preference("Increment"), "0");
    EXPECT_EQ(rig.preference("Image editor"), "0");
}

TEST(PreferencesTruth, TheChosenMethodIsKeptLikeTheAlignment) {
    WorkRig rig;
    rig.form->mnusimpleCol(5)->trigger();
    rig.form->action(Command::AlignImages)->trigger();
    EXPECT_EQ(rig.preference("Montage method"), "5");
    EXPECT_EQ(rig.preference("Automatic alignment"), "1");
}

} // namespace
