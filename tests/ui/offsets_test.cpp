// Image offsets in the windows: "Use Image Offsets" with the targets of all 30 slots and the status
// window, the display-area ticks, dragging a target with the mouse, the target colours, and a
// dragged target giving the montage orvanta-cli gives for the centres the status window shows.
#include "montage_fixture.h"

#include "cli_like.h"
#include "grabbed_pixels.h"
#include "ui/form_status.h"
#include "ui/montage_windows.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>

using namespace orv;
using namespace orv::testing;

namespace {

QAction* entry(MontageRig& rig, const char* name) { return rig.form->menuAction(QString::fromLatin1(name)); }

// Mouse events straight to a source window's picture box, in picture pixels.
void mouse(FormPicture* w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    PictureBox* box = w->PictureFile();
    QMouseEvent e(type, QPointF(at), QPointF(box->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(box, &e);
}

// Press at `from`, move in two steps to `to` with `button` held, release.
void drag(FormPicture* w, QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    mouse(w, QEvent::MouseButtonPress, from, button, button);
    mouse(w, QEvent::MouseMove, from + (to - from) / 2, Qt::NoButton, button);
    mouse(w, QEvent::MouseMove, to, Qt::NoButton, button);
    mouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

std::string statusText(MontageRig& rig) {
    FormStatus* s = rig.form->statusWindow();
    return s ? s->LabelStatus()->text().toStdString() : std::string("(no status window)");
}

// --- the menu -----------------------------------------------------------------------------------

TEST(OffsetMenu, AnActivationEntryUnticksTheOtherTwoAndASecondClickLeavesNone) {
    MontageRig rig;
    EXPECT_TRUE(entry(rig, "mnuActivateOffsetsSame")->isChecked());
    entry(rig, "mnuActivateOffsetsMin")->trigger();
    EXPECT_TRUE(entry(rig, "mnuActivateOffsetsMin")->isChecked());
    EXPECT_FALSE(entry(rig, "mnuActivateOffsetsSame")->isChecked());
    EXPECT_FALSE(entry(rig, "mnuActivateOffsetsMax")->isChecked());
    entry(rig, "mnuActivateOffsetsMax")->trigger();
    EXPECT_FALSE(entry(rig, "mnuActivateOffsetsMin")->isChecked());
    EXPECT_TRUE(entry(rig, "mnuActivateOffsetsMax")->isChecked());
    entry(rig, "mnuActivateOffsetsMax")->trigger();
    for (const char* n : {"mnuActivateOffsetsSame", "mnuActivateOffsetsMin", "mnuActivateOffsetsMax"})
        EXPECT_FALSE(entry(rig, n)->isChecked()) << n;
}

TEST(OffsetMenu, UseImageOffsetsShowsTheTargetsOfAllSlotsAndTheStatusWindow) {
    MontageRig rig;
    rig.files.writeSeries("s", 1, 2, 2, ".bmp", QSize(60, 40));
    ASSERT_EQ(rig.load(rig.files.path("s01.bmp")), LoadOutcome::Loaded);
    rig.form->show();
    QAction* use = entry(rig, "mnuAddOffsets");
    ASSERT_TRUE(use->isCheckable());
    EXPECT_FALSE(use->isChecked());
    EXPECT_EQ(rig.form->statusWindow(), nullptr);
    EXPECT_FALSE(rig.form->windows().existingSourceWindow(1)->targetShown());

    use->trigger();
    EXPECT_TRUE(use->isChecked());
    for (int k = 1; k <= kMaxPictures; ++k) {
        FormPicture* w = rig.form->windows().existingSourceWindow(k);
        ASSERT_NE(w, nullptr) << k;
        EXPECT_TRUE(w->targetShown()) << k;
    }
    FormStatus* status = rig.form->statusWindow();
    ASSERT_NE(status, nullptr);
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->LabelStatus()->font().family(), "Times New Roman");
    EXPECT_EQ(statusText(rig), "     Image 1 = 13 , 13    Image 2 = 13 , 13");
    EXPECT_EQ(status->x(), status->screen()->availableGeometry().left());
    EXPECT_GE(status->height(), status->LabelStatus()->height() + 3 * rig.state.layout.dialogFrameHeight);

    use->trigger();
    EXPECT_FALSE(use->isChecked());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(rig.form->statusWindow(), nullptr);
    for (int k = 1; k <= kMaxPictures; ++k) EXPECT_FALSE(rig.form->windows().existingSourceWindow(k)->targetShown()) << k;
}

TEST(OffsetMenu, TheStatusTextListsTheCentresWithTheirBlanks) {
    MontageRig rig;
    rig.files.writeSeries("st", 1, 2, 2, ".bmp", QSize(200, 150));
    ASSERT_EQ(rig.load(rig.files.path("st01.bmp")), LoadOutcome::Loaded);
    rig.form->windows().existingSourceWindow(1)->centreTargetOn(152, 98);
    rig.form->windows().existingSourceWindow(2)->centreTargetOn(160, 95);
    entry(rig, "mnuAddOffsets")->trigger();
    EXPECT_EQ(statusText(rig), " " "    Image 1 = 152 , 98" "    Image 2 = 160 , 95");
}

// --- dragging -----------------------------------------------------------------------------------

struct DragRig : MontageRig {
    DragRig() {
        files.writeSeries("d", 1, 3, 2, ".bmp", QSize(120, 90));
        EXPECT_EQ(load(files.path("d01.bmp")), LoadOutcome::Loaded);
        form->show();
        entry(*this, "mnuAddOffsets")->trigger();
    }
    FormPicture* source(int k) { return form->windows().existingSourceWindow(k); }
};

TEST(DragTarget, ALeftButtonDragMovesBothMarkersAndTheStatusFollows) {
    DragRig rig;
    drag(rig.source(2), {10, 10}, {40, 30});
    EXPECT_EQ(rig.source(2)->target().outer, (MarkerBox{30, 20, 26, 26}));
    EXPECT_EQ(rig.source(2)->target().inner, (MarkerBox{38, 28, 10, 10}));
    EXPECT_EQ(statusText(rig), "     Image 1 = 13 , 13    Image 2 = 43 , 33    Image 3 = 13 , 13");
    EXPECT_FALSE(rig.state.dragState.has_value());
}

TEST(DragTarget, APressAsFarAsTheOuterMarkersSizeFromTheInnerCornerStartsNoDrag) {
    DragRig rig;
    // Marker 1's corner is at (8, 8); marker 0 is 26 pixels across.
    drag(rig.source(1), {34, 8}, {60, 40});
    drag(rig.source(1), {8, 34}, {60, 40});
    EXPECT_EQ(rig.source(1)->target().centre(), (ImageOffset{13, 13}));
    drag(rig.source(1), {33, 8}, {43, 18}); // one pixel closer: it moves
    EXPECT_EQ(rig.source(1)->target().centre(), (ImageOffset{23, 23}));
}

TEST(DragTarget, OnlyTheLeftButtonMovesAndHiddenTargetsStay) {
    DragRig rig;
    drag(rig.source(1), {10, 10}, {50, 50}, Qt::MiddleButton);
    EXPECT_EQ(rig.source(1)->target().centre(), (ImageOffset{13, 13}));
    entry(rig, "mnuAddOffsets")->trigger(); // off
    drag(rig.source(1), {10, 10}, {50, 50});
    EXPECT_EQ(rig.source(1)->target().centre(), (ImageOffset{13, 13}));
}

TEST(DragTarget, ARightButtonReleaseEndsTheDragAndOpensTheContextMenu) {
    DragRig rig;
    FormPicture* w = rig.source(1);
    mouse(w, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(w, QEvent::MouseMove, {20, 10}, Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(rig.state.dragState.has_value());
    mouse(w, QEvent::MouseButtonRelease, {20, 10}, Qt::RightButton, Qt::LeftButton);
    EXPECT_FALSE(rig.state.dragState.has_value());
    EXPECT_TRUE(w->mnuMenu()->isVisible());
    w->mnuMenu()->hide();
    mouse(w, QEvent::MouseMove, {60, 60}, Qt::NoButton, Qt::LeftButton); // no drag now
    EXPECT_EQ(w->target().centre(), (ImageOffset{23, 13}));
}

TEST(DragTarget, TargetsKeepTheirPlacesThroughOffAndOnAndAReload) {
    DragRig rig;
    drag(rig.source(3), {10, 10}, {70, 50});
    const MarkerBox moved = rig.source(3)->target().outer;
    entry(rig, "mnuAddOffsets")->trigger();
    entry(rig, "mnuAddOffsets")->trigger();
    EXPECT_EQ(rig.source(3)->target().outer, moved);
    ASSERT_EQ(rig.load(rig.files.path("d01.bmp")), LoadOutcome::Loaded);
    EXPECT_EQ(rig.source(3)->target().outer, moved);
    // Loading with offsets on keeps them on and lists the new series.
    EXPECT_TRUE(entry(rig, "mnuAddOffsets")->isChecked());
    EXPECT_TRUE(rig.source(3)->targetShown());
    ASSERT_NE(rig.form->statusWindow(), nullptr);
    EXPECT_NE(statusText(rig).find("Image 3 = 73 , 53"), std::string::npos) << statusText(rig);
}

// Zoomed far out, a drag of a few hundred screen pixels moves the mouse tens of thousands of
// picture pixels (past the 16-bit range, where the status text's centre raised an overflow inside
// the mouse handler and ended the program): the target stops at the picture's edge, where the
// window shows it and it can be taken back.
TEST(DragTarget, AZoomedOutDragStopsTheCentreAtThePicturesEdge) {
    DragRig rig;
    FormPicture* w = rig.source(2);
    w->setZoom(1.0 / 32);
    drag(w, {0, 0}, {1100, 1100}); // 35200 picture pixels right and down
    EXPECT_EQ(w->target().centre(), (ImageOffset{119, 89}));
    EXPECT_EQ(w->target().inner.left - w->target().outer.left, 8); // the markers still share one centre
    EXPECT_EQ(statusText(rig), "     Image 1 = 13 , 13    Image 2 = 119 , 89    Image 3 = 13 , 13");
    // Taken where it stopped and dragged the other way, it stops at the other corner.
    drag(w, {3, 2}, {-1100, -1100});
    EXPECT_EQ(w->target().centre(), (ImageOffset{0, 0}));
    EXPECT_FALSE(rig.state.dragState.has_value());
}

// A target dragged past the picture stops at its edge; one that lies outside the picture (restored
// from a project of larger pictures) is drawn at the nearest edge and taken from there.
TEST(DragTarget, ATargetPastThePictureIsShownAndTakenAtItsEdge) {
    DragRig rig;
    FormPicture* w = rig.source(1);
    drag(w, {10, 10}, {400, -300});
    EXPECT_EQ(w->target().centre(), (ImageOffset{119, 0}));
    drag(w, {115, 2}, {95, 22}); // taken again where it shows
    EXPECT_EQ(w->target().centre(), (ImageOffset{99, 20}));

    w->centreTargetOn(500, 60);
    EXPECT_EQ(w->target().centre(), (ImageOffset{500, 60})); // kept as restored until it is moved
    EXPECT_EQ(w->shownTarget().centre(), (ImageOffset{119, 60}));
    drag(w, {118, 58}, {108, 48});
    EXPECT_EQ(w->target().centre(), (ImageOffset{109, 50}));
}

// The target placed from the keyboard: the source window's "Place Offset Target..." (Shift+F10
// reaches it) takes the centre typed in, on the picture, as a drag would leave it.
TEST(PlaceTarget, TheTypedCentreMovesBothMarkersOnThePictureAndTheStatusFollows) {
    DragRig rig;
    FormPicture* w = rig.source(2);
    QAction* place = w->menuAction(QStringLiteral("mnuPlaceTarget"));
    ASSERT_NE(place, nullptr);
    EXPECT_TRUE(place->isEnabled());
    rig.dialogs->chooseTarget(43, 33);
    place->trigger();
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(rig.dialogs->requests[0].kind, DialogKind::Target);
    EXPECT_EQ(rig.dialogs->requests[0].target, (TargetChoice{13, 13, 120, 90}));
    EXPECT_EQ(w->target().outer, (MarkerBox{30, 20, 26, 26}));
    EXPECT_EQ(w->target().inner, (MarkerBox{38, 28, 10, 10}));
    EXPECT_EQ(statusText(rig), "     Image 1 = 13 , 13    Image 2 = 43 , 33    Image 3 = 13 , 13");

    // A centre past the picture stays on it; a cancelled choice leaves the target.
    rig.dialogs->chooseTarget(500, -4);
    place->trigger();
    EXPECT_EQ(w->target().centre(), (ImageOffset{119, 0}));
    place->trigger();
    EXPECT_EQ(w->target().centre(), (ImageOffset{119, 0}));

    // Without the targets the entry is dimmed, and asks nothing.
    entry(rig, "mnuAddOffsets")->trigger();
    EXPECT_FALSE(place->isEnabled());
    const std::size_t asked = rig.dialogs->requests.size();
    rig.form->windows().sourceCommand(Command::PicturePlaceTarget, w);
    EXPECT_EQ(rig.dialogs->requests.size(), asked);
}

// --- colours ------------------------------------------------------------------------------------

TEST(TargetColour, ASourceWindowsChoiceColoursEveryTargetWithoutBeingStored) {
    DragRig rig;
    rig.state.preferences.write(kPreferencesSection, "Target color", "255");
    rig.dialogs->chooseColor(0x00ff00);
    rig.source(2)->menuAction("mnuOffsetColor")->trigger();
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(rig.dialogs->requests[0].kind, DialogKind::Color);
    for (int k = 1; k <= kMaxPictures; ++k) EXPECT_EQ(rig.source(k)->targetColor(), 0x00ff00u) << k;
    EXPECT_EQ(rig.preference("Target color"), "255");

    // Make Montage reloads the pictures into the same slots: they keep the colour.
    ASSERT_TRUE(rig.make(rig.files.path("d01.bmp")).made);
    EXPECT_EQ(rig.source(1)->targetColor(), 0x00ff00u);
    // A cancelled choice changes nothing.
    rig.source(1)->menuAction("mnuOffsetColor")->trigger();
    EXPECT_EQ(rig.source(1)->targetColor(), 0x00ff00u);
    // The Load command applies the preferences' colour.
    ASSERT_EQ(rig.load(rig.files.path("d01.bmp")), LoadOutcome::Loaded);
    for (int k = 1; k <= kMaxPictures; ++k) EXPECT_EQ(rig.source(k)->targetColor(), 255u) << k;
}

TEST(TargetColour, TheCirclesAreDrawnInTheColourWithNothingInside) {
    DragRig rig;
    rig.form->SetTargetColor(0x0000ff); // red
    FormPicture* w = rig.source(1);
    w->centreTargetOn(40, 30);
    const QImage shown = w->PictureFile()->grab().toImage();
    const QImage picture = w->PictureFile()->picture().convertToFormat(QImage::Format_RGB32);
    auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; };
    EXPECT_TRUE(someScreenPixel(shown, 40, 18, red)) << "the outer circle's top";   // outer box 27..53, 17..43
    EXPECT_TRUE(someScreenPixel(shown, 40, 26, red)) << "the inner circle's top";   // inner box 35..45, 25..35
    EXPECT_TRUE(everyScreenPixelIs(shown, 40, 30, picture.pixel(40, 30))) << "the transparent centre";
    EXPECT_TRUE(everyScreenPixelIs(shown, 28, 18, picture.pixel(28, 18))) << "the outer box's corner";
    entry(rig, "mnuAddOffsets")->trigger(); // hidden
    EXPECT_TRUE(everyScreenPixelIs(w->PictureFile()->grab().toImage(), 40, 18, picture.pixel(40, 18)));
}

// Zoomed in, the circles still reach the edges of their markers (the outer marker's box is 27..53 x
// 17..43 picture pixels), where a drag takes them and the target centre is counted from; the border
// keeps its width on the screen.
TEST(TargetColour, ZoomedInTheOuterCircleReachesItsMarkersEdge) {
    DragRig rig;
    rig.form->SetTargetColor(0x0000ff); // red
    FormPicture* w = rig.source(1);
    w->centreTargetOn(40, 30);
    auto red = [](QRgb c) { return qRed(c) > 200 && qGreen(c) < 80 && qBlue(c) < 80; };
    for (const double zoom : {3.0, 4.0}) {
        w->setZoom(zoom);
        const QImage shown = w->PictureFile()->grab().toImage();
        const double dpr = shown.devicePixelRatio();
        // The screen pixel under a point of the box.
        auto at = [&](double x, double y) { return shown.pixel(int(std::floor(x * dpr)), int(std::floor(y * dpr))); };
        const double top = 17 * zoom, middle = 40 * zoom, right = 53 * zoom;
        EXPECT_TRUE(red(at(middle, top + 1.5))) << "the outer circle's top at zoom " << zoom;
        EXPECT_FALSE(red(at(middle, top - 1))) << "above the marker at zoom " << zoom;
        EXPECT_FALSE(red(at(middle, top + 4))) << "inside the border at zoom " << zoom;
        EXPECT_TRUE(red(at(right - 1.5, 30 * zoom))) << "the outer circle's right side at zoom " << zoom;
    }
}

TEST(TargetColour, SetTargetColorReachesWindowsMadeLater) {
    MontageRig rig;
    rig.form->SetTargetColor(0x123456);
    rig.files.writeSeries("c", 1, 2);
    rig.form->windows().sourceWindow(5);
    EXPECT_EQ(rig.form->windows().existingSourceWindow(5)->targetColor(), 0x123456u);
}

// --- the montage of dragged targets -------------------------------------------------------------

// A textured scene seen through a window moved by (dx, dy) per picture, picture k sharp in band k.
void writeShiftedSeries(const SeriesFolder& f, const std::vector<QPoint>& shifts, QSize size) {
    const QSize scene = size + QSize(40, 40);
    for (std::size_t i = 0; i < shifts.size(); ++i) {
        const int k = int(i) + 1;
        const QImage full = texturedPicture(k, int(shifts.size()), scene);
        full.copy(QRect(QPoint(20, 20) + shifts[i], size)).save(QString::fromStdString(f.path("sh0" + std::to_string(k) + ".bmp")), "BMP");
    }
}

TEST(DragTarget, DraggedTargetsGiveTheMontageOrvantaCliGivesForTheStatusCentres) {
    MontageRig rig;
    const std::vector<QPoint> shifts = {{0, 0}, {6, -4}, {-5, 3}};
    writeShiftedSeries(rig.files, shifts, QSize(96, 64));
    const std::string first = rig.files.path("sh01.bmp");
    ASSERT_EQ(rig.load(first), LoadOutcome::Loaded);
    rig.form->show();
    entry(rig, "mnuAddOffsets")->trigger();
    entry(rig, "mnuActivateOffsetsMin")->trigger();
    // Each target onto the same feature: scene point (50, 40) lies at (30, 20) - shift.
    for (int k = 1; k <= 3; ++k) {
        const QPoint feature = QPoint(30, 20) - shifts[std::size_t(k - 1)];
        drag(rig.form->windows().existingSourceWindow(k), {10, 10}, feature - QPoint(3, 3));
    }
    // The centres as the status window shows them.
    const QString status = QString::fromStdString(statusText(rig));
    QStringList centres;
    QRegularExpression re(QStringLiteral("Image (\\d+) = (-?\\d+) , (-?\\d+)"));
    for (auto m = re.globalMatch(status); m.hasNext();) {
        const auto one = m.next();
        centres << one.captured(2) + "," + one.captured(3);
    }
    ASSERT_EQ(centres.size(), 3) << status.toStdString();
    EXPECT_EQ(centres.join(';'), "30,20;24,24;35,17");

    rig.form->TextIncrement()->setText("16");
    QTest::mouseClick(rig.form->CommandGo(), Qt::LeftButton);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;

    const CliRun cli = runCli({"-q", "-i", "16", "--offsets", centres.join(';'), "--area", "min", "-o",
                               QString::fromStdString(rig.files.path("cli.bmp")), QString::fromStdString(first)});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    const QImage written = QImage(QString::fromStdString(rig.files.path("cli.bmp"))).convertToFormat(QImage::Format_RGB888);
    const QImage shown = rig.montagePicture();
    ASSERT_EQ(shown.size(), written.size());
    EXPECT_EQ(shown, written);
}

} // namespace
