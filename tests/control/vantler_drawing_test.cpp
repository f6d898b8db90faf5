// The Vantler control: drawing in scale units, events with by-reference arguments, sizing.
#include "dib_section.h"
#include "vantler.h"
#include "vantler_checks.h"

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using testvantler::errorOf;
using testvantler::isRed;
using testvantler::kRed;
using vantler::Vantler;

// ---- drawing in scale units ----

TEST(Drawing, UserScaleMapsCornersToTheDrawingArea) {
    Vantler control;
    control.Scale_(0, 0, 10, 10);
    const QSize area = control.box()->contentsRect().size();
    control.PSet_(5, 5, kRed);
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(area.width() / 2, area.height() / 2)));
    control.Scale_();
    EXPECT_EQ(control.ScaleMode(), vantler::vbTwips);
    EXPECT_EQ(errorOf([&] { control.Scale_(1, 2); }), vantler::errInvalidProcedureCall);
}

TEST(Drawing, XorPenTwiceRestoresTheBackground) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    const QImage before = control.box()->shownImage();
    control.setDrawMode(7);
    control.Line(0, 5, 5, 60, 40, 0x00FFFFFF);
    EXPECT_NE(control.box()->shownImage(), before);
    control.Line(0, 5, 5, 60, 40, 0x00FFFFFF);
    EXPECT_EQ(control.box()->shownImage(), before);
}

TEST(Drawing, PaintPictureWithSourceInvertTwiceRestores) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    QImage picture = testvantler::filled(8, 8, qRgb(0x5A, 0x0F, 0xC3));
    const QImage before = control.box()->shownImage();
    control.PaintPicture(QPixmap::fromImage(picture), 3, 4, {}, {}, {}, {}, {}, {}, 0x00660046u);
    const QColor once = control.box()->shownImage().pixelColor(5, 6);
    EXPECT_EQ(once.red(), before.pixelColor(5, 6).red() ^ 0x5A);
    control.PaintPicture(QPixmap::fromImage(picture), 3, 4, {}, {}, {}, {}, {}, {}, 0x00660046u);
    EXPECT_EQ(control.box()->shownImage(), before);
}

// A picture stretched beyond what the box can make is refused with an error number, leaving the
// box as it was and Qt's own out-of-memory line unsaid; a large stretch that can be made is drawn.
TEST(Drawing, PaintPictureRefusesAStretchTooLargeToMake) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    QImage picture = testvantler::filled(4, 4, qRgb(200, 30, 30));
    const QPixmap pixmap = QPixmap::fromImage(picture);
    const QImage before = control.box()->shownImage();
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { logged << text; });
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 1e9, 1e9); }), vantler::errOutOfMemory);
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 1e9, 20); }), vantler::errOutOfMemory);
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 20, 20, 0, 0, 1e9, 1e9); }), vantler::errOutOfMemory);
    // Sizes and places beyond 32 bits are overflows, never converted with undefined results.
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 1e12, 20); }), vantler::errOverflow);
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 1e12, 0); }), vantler::errOverflow);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(logged.isEmpty()) << logged.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(control.box()->shownImage(), before);

    // Stretched well past the box, the part that lands on it is drawn.
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 4000, 4000); }), 0);
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(30, 30)));
}

TEST(Drawing, ClsKeepsPersistentDrawingWhenAutoRedrawIsOff) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.setAutoRedraw(true);
    control.PSet_(3, 3, kRed);
    control.setAutoRedraw(false);
    control.PSet_(9, 9, kRed);
    control.Cls();
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(3, 3)));
    EXPECT_FALSE(isRed(control.box()->shownImage().pixelColor(9, 9)));
    EXPECT_TRUE(isRed(control.Image().toImage().pixelColor(3, 3)));
}

TEST(Drawing, CharacterHeightIsTwiceItsWidthInTwips) {
    Vantler control;
    EXPECT_NEAR(control.ScaleY(1, 4, 1), 240.0, 1e-3);
    EXPECT_GT(control.TextWidth(QStringLiteral("WWWW")), control.TextWidth(QStringLiteral("W")));
    EXPECT_NEAR(control.TextHeight(QStringLiteral("a\nb")), 2 * control.TextHeight(QStringLiteral("a")), 1e-3);
}

TEST(Drawing, TheBoxContextFeedsBlockCopies) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.setAutoRedraw(true);
    control.PSet_(2, 3, kRed);
    vantler::cDIBSection dib;
    ASSERT_TRUE(dib.Create(10, 10));
    ASSERT_NE(control.hdc(), 0u);
    dib.LoadPictureBlt(control.hdc(), 0, 0, -1, -1, vantler::gdi::SRCCOPY);
    EXPECT_EQ(dib.Byte(6, 6), 0);  // pixel (2, 3) from the top is storage row 10 - 1 - 3
    EXPECT_EQ(dib.Byte(6, 7), 0);
    EXPECT_EQ(dib.Byte(6, 8), 255);
    dib.PaintPicture(control.hdc(), 5, 5, 1, 1, 2, 3, vantler::gdi::SRCCOPY);  // block coordinates count from the top
    EXPECT_TRUE(isRed(control.Image().toImage().pixelColor(5, 5))) << "and copies back into the box";
}

// ---- events ----

TEST(Events, MouseArgumentsAreInScaleUnitsAndClickFollowsMouseUp) {
    Vantler control;
    control.show();
    QStringList order;
    float downX = -1, downY = -1;
    short downButton = 0;
    QObject::connect(&control, &Vantler::MouseDown, [&](short& b, short&, float& x, float& y) {
        order << "MouseDown";
        downButton = b;
        downX = x;
        downY = y;
    });
    QObject::connect(&control, &Vantler::MouseUp, [&](short&, short&, float&, float&) { order << "MouseUp"; });
    QObject::connect(&control, &Vantler::Click, [&] { order << "Click"; });
    QObject::connect(&control, &Vantler::DblClick, [&] { order << "DblClick"; });
    const QPoint origin = control.box()->contentsRect().topLeft();
    const int tpp = control.box()->twipsPerPixelX();
    QTest::mouseClick(control.box(), Qt::LeftButton, {}, origin + QPoint(10, 20));
    EXPECT_EQ(order, (QStringList{"MouseDown", "MouseUp", "Click"}));
    EXPECT_EQ(downButton, 1);
    EXPECT_FLOAT_EQ(downX, 10.0f * tpp);
    EXPECT_FLOAT_EQ(downY, 20.0f * control.box()->twipsPerPixelY());
    order.clear();
    QTest::mouseDClick(control.box(), Qt::LeftButton, {}, origin + QPoint(10, 20));
    EXPECT_TRUE(order.contains("DblClick"));
    EXPECT_EQ(order.count("Click"), 0) << "the second click of a double click is not a Click";
}

// On a screen at 150 % or 125 % the pointer lies between whole box pixels: a press and release on
// the box's last screen column (100.67 of a 101-pixel-wide box) is a click on the box, and one just
// past its edge is not.
TEST(Events, AClickAtAFractionOfAPixelCountsWhereThePointerIs) {
    Vantler control;
    control.show();
    int clicks = 0;
    QObject::connect(&control, &Vantler::Click, [&] { ++clicks; });
    vantler::PictureBox* box = control.box();
    auto pressAndRelease = [&](QPointF at) {
        for (const QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(t, at, box->mapToGlobal(at), Qt::LeftButton,
                          t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(box, &e);
        }
    };
    const double right = box->width(), bottom = box->height();
    pressAndRelease(QPointF(right - 1.0 / 3, bottom - 1.0 / 3));
    EXPECT_EQ(clicks, 1);
    pressAndRelease(QPointF(right - 0.4, 5));
    EXPECT_EQ(clicks, 2);
    pressAndRelease(QPointF(-0.4, 5)); // released just left of the box: no click, though it rounds to 0
    EXPECT_EQ(clicks, 2);
}

TEST(Events, KeyArgumentsArePassedByReference) {
    Vantler control;
    control.show();
    short seenCode = 0, seenShift = 0;
    QObject::connect(&control, &Vantler::KeyDown, [&](short& code, short& shift) {
        seenCode = code;
        seenShift = shift;
        code = 99;  // the host changes the argument...
    });
    short codeAfterHost = 0;
    // ...and whoever listens to the box after the host sees the change.
    QObject::connect(control.box(), &vantler::PictureBox::KeyDown,
                     [&](short& code, short&) { codeAfterHost = code; });
    short ascii = 0;
    QObject::connect(&control, &Vantler::KeyPress, [&](short& a) { ascii = a; });
    QTest::keyClick(control.box(), 'A', Qt::ShiftModifier);
    EXPECT_EQ(seenCode, 65);
    EXPECT_EQ(seenShift, 1);
    EXPECT_EQ(codeAfterHost, 99);
    EXPECT_EQ(ascii, 'A');
}

TEST(Events, PaintAsksForRedrawingOnlyAfterRefreshAndTheHostDrawingShows) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&control));
    control.box()->repaint();
    int paints = 0;
    QObject::connect(&control, &Vantler::Paint, [&] {
        ++paints;
        control.PSet_(4, 4, kRed);  // drawing inside Paint must not start another paint
    });
    control.Line(0, 20, 20, 60, 20, kRed);
    control.box()->repaint();
    EXPECT_EQ(paints, 0) << "new drawing is shown without a Paint event";
    control.Refresh();
    EXPECT_EQ(paints, 1);
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(4, 4)));
    EXPECT_FALSE(isRed(control.box()->shownImage().pixelColor(40, 20))) << "Refresh rebuilt the screen";
    control.box()->repaint();
    EXPECT_EQ(paints, 1);
    control.setAutoRedraw(true);
    control.Refresh();
    EXPECT_EQ(paints, 1) << "with AutoRedraw the box repaints itself";
}

TEST(Events, PictureRaisesChange) {
    Vantler control;
    QSignalSpy change(&control, &Vantler::Change);
    control.setPicture(QPixmap(5, 5));
    EXPECT_EQ(change.count(), 1);
}

// ---- sizing ----

TEST(Sizing, TheBoxFillsTheControlAndTheControlFollowsAnAutoSizedBox) {
    QWidget form;
    auto* control = new Vantler(&form);
    form.resize(400, 300);
    form.show();
    QSignalSpy resized(control, &Vantler::Resize);
    control->resize(200, 150);
    EXPECT_EQ(control->box()->geometry(), QRect(0, 0, 200, 150));
    EXPECT_EQ(resized.count(), 1);
    const double tpp = control->box()->twipsPerPixelX();
    EXPECT_DOUBLE_EQ(control->ScaleWidth(), (200 - 4) * tpp) << "twips follow the new drawing area";

    control->setAutoSize(true);
    control->setPicture(QPixmap(60, 40));
    EXPECT_EQ(control->box()->size(), QSize(64, 44)) << "picture plus the 3D border";
    EXPECT_EQ(control->size(), QSize(64, 44));
    EXPECT_EQ(resized.count(), 2);
}

TEST(Sizing, AnAutoSizedBoxFitsItsPictureWhateverItsBorder) {
    Vantler control;
    control.setAutoSize(true);
    control.setPicture(QPixmap(60, 40));
    for (const int border : {0, 1}) {
        control.setBorderStyle(border);
        EXPECT_EQ(control.box()->contentsRect().size(), QSize(60, 40)) << "border style " << border;
    }
    control.setAppearance(0);  // flat: a one-pixel border
    EXPECT_EQ(control.box()->contentsRect().size(), QSize(60, 40)) << "flat";
    EXPECT_EQ(control.size(), QSize(62, 42));
}
