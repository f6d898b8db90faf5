// Retouching from the keyboard: where the retouching keys go while a text box has the keyboard, and
// a stroke painted by Shift+arrows and Space.
#include "retouch_rig.h"

#include "ui/beep.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace orv::testing {
namespace {

void activate(QWidget* w) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    ASSERT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, 2000));
}

// Retouching from picture `source` with an 8-px brush at zoom 1, the pointer away from the windows
// and the keyboard on the main window's Go button, which it returns.
QPushButton* keyboardOnGo(RetouchRig& rig, int source) {
    rig.startRetouching(BrushChoice{8, 100, 100, false}, source);
    EXPECT_EQ(rig.box()->zoom(), 1);
    activate(rig.form.get());
    QCursor::setPos(rig.window()->frameGeometry().bottomRight() + QPoint(40, 40));
    QPushButton* go = rig.form->CommandGo();
    go->setFocus();
    return go;
}

// While retouching, with the pointer resting over the montage, the digits, S, X, [ and ] typed into
// a text box of the main window go into the box, sent to it or through its window as a user's keys
// come; with the keyboard on a button they choose the source and the brush again.
TEST(RetouchKeys, TypingIntoATextBoxGoesToTheBoxNotToRetouching) {
    RetouchRig rig;
    rig.startRetouching(1);
    const int radius = rig.retouch().brush().radius;
    activate(rig.form.get());
    QCursor::setPos(rig.box()->mapToGlobal(QPoint(30, 30)));
    ASSERT_TRUE(rig.box()->rect().contains(rig.box()->mapFromGlobal(QCursor::pos())));

    QLineEdit* name = rig.form->textFileName();
    name->setFocus();
    name->clear();
    QTest::keyClicks(name, QStringLiteral("3S[]x"));
    QTest::keyPress(name, Qt::Key_X);
    EXPECT_FALSE(rig.retouch().showingSource());
    QTest::keyRelease(name, Qt::Key_X);
    QTest::keyClick(rig.form->windowHandle(), Qt::Key_2);
    EXPECT_EQ(name->text(), "3S[]xx2");

    QLineEdit* increment = rig.form->TextIncrement();
    increment->setFocus();
    QApplication::processEvents(); // the box selects its text when it gets the focus
    QTest::keyClick(increment, Qt::Key_3);
    QTest::keyClick(rig.form->windowHandle(), Qt::Key_2);
    EXPECT_EQ(increment->text(), "32");
    EXPECT_EQ(rig.retouch().source(), 1);
    EXPECT_EQ(rig.retouch().brush().radius, radius);

    // Out of the text box the same keys retouch.
    rig.form->CommandGo()->setFocus();
    QTest::keyClick(rig.form->windowHandle(), Qt::Key_2);
    EXPECT_EQ(rig.retouch().source(), 2);
    QTest::keyClick(rig.form->CommandGo(), Qt::Key_BracketRight);
    EXPECT_GT(rig.retouch().brush().radius, radius);

    // A number box in another window (a dialog over the montage) keeps its digits as well.
    QSpinBox spin;
    spin.setRange(0, 999);
    activate(&spin);
    spin.setFocus();
    spin.selectAll();
    QTest::keyClick(spin.windowHandle(), Qt::Key_3);
    EXPECT_EQ(spin.value(), 3);
    EXPECT_EQ(rig.retouch().source(), 2);
    spin.close();

    // So does a menu open over the montage: its entry's key chooses the entry.
    activate(rig.form.get());
    QMenu menu;
    QAction* three = menu.addAction(QStringLiteral("&3 Three"));
    QSignalSpy chosen(three, &QAction::triggered);
    menu.popup(QCursor::pos());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::keyClick(&menu, Qt::Key_3);
    EXPECT_EQ(chosen.count(), 1);
    EXPECT_EQ(rig.retouch().source(), 2);
}

// With the pointer away and the keyboard on the main window's Go button, Shift+arrows bring the brush
// in and move it, and Space held paints along the moves: one stroke, the same as a drag through the
// same pixels, undone in one step; Go is never pressed.
TEST(RetouchKeys, ShiftArrowsAndSpacePaintAStrokeFromTheKeyboard) {
    RetouchRig rig;
    QPushButton* go = keyboardOnGo(rig, 3);
    QSignalSpy pressed(go, &QPushButton::pressed);
    const int beeps = beepCount();
    QTest::keyClick(go, Qt::Key_Space); // no brush on the montage yet
    EXPECT_EQ(beepCount(), beeps + 1);

    const QPoint start(60, 40); // the middle of the montage, which the window shows whole
    QTest::keyClick(go, Qt::Key_Right, Qt::ShiftModifier); // the brush shows, not moved yet
    QTest::keyPress(go, Qt::Key_Space);
    QTest::keyClick(go, Qt::Key_Right, Qt::ShiftModifier);                       // by 2
    QTest::keyClick(go, Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);  // by 17
    QTest::keyClick(go, Qt::Key_Left, Qt::ShiftModifier);                        // by 2
    QTest::keyRelease(go, Qt::Key_Space);
    EXPECT_EQ(rig.strokes(), 1);
    const QImage keyed = rig.montagePicture();
    EXPECT_NE(keyed, rig.plain);
    EXPECT_EQ(pressed.count(), 0);
    EXPECT_TRUE(go->hasFocus());

    QTest::keyClick(go, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    rig.drag({start, start + QPoint(2, 0), start + QPoint(2, 17), start + QPoint(0, 17)});
    EXPECT_EQ(rig.montagePicture(), keyed);
    EXPECT_EQ(rig.strokes(), 1);
}

// The keyboard brush stays on the montage at its edges; Space typed into a text box is a space.
TEST(RetouchKeys, TheKeyboardBrushStaysOnTheMontageAndTextBoxesKeepSpace) {
    RetouchRig rig;
    QPushButton* go = keyboardOnGo(rig, 1);
    for (int k = 0; k < 20; ++k) QTest::keyClick(go, Qt::Key_Down, Qt::ShiftModifier | Qt::ControlModifier);
    for (int k = 0; k < 20; ++k) QTest::keyClick(go, Qt::Key_Right, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyPress(go, Qt::Key_Space);
    QTest::keyRelease(go, Qt::Key_Space);
    const QImage keyed = rig.montagePicture();
    ASSERT_NE(keyed, rig.plain);
    QTest::keyClick(go, Qt::Key_Z, Qt::ControlModifier);
    rig.drag({QPoint(119, 79)});
    EXPECT_EQ(rig.montagePicture(), keyed) << "a dab at the bottom-right pixel";

    QLineEdit* name = rig.form->textFileName();
    name->setFocus();
    name->setText(QStringLiteral("a"));
    QTest::keyClicks(name, QStringLiteral(" b"));
    EXPECT_EQ(name->text(), "a b");
    EXPECT_EQ(rig.strokes(), 1);
}

// Alt let go of, or F10 and then Esc out of the menu it opened, give the keyboard to the menu bar:
// the digits, Shift+arrows and Space sent to the window are the menu bar's then, even with the
// pointer over the montage; once it lets the keyboard go, they retouch again.
TEST(RetouchKeys, TheMenuBarHoldingTheKeyboardKeepsTheRetouchingKeys) {
    RetouchRig rig;
    rig.startRetouching(BrushChoice{8, 100, 100, false}, 1);
    activate(rig.form.get());
    QWindow* window = rig.form->windowHandle();
    QMenuBar* bar = rig.form->menuBar();
    const struct {
        const char* label;
        std::function<void()> activate;
    } ways[] = {{"alt",
                 [&] {
                     QTest::keyPress(window, Qt::Key_Alt, Qt::AltModifier);
                     QTest::keyRelease(window, Qt::Key_Alt);
                 }},
                {"f10_then_esc", [&] {
                     QTest::keyClick(window, Qt::Key_F10);
                     ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000));
                     QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
                 }}};
    for (const auto& way : ways) {
        rig.form->CommandGo()->setFocus();
        QCursor::setPos(rig.box()->mapToGlobal(QPoint(30, 30)));
        QApplication::processEvents();
        way.activate();
        ASSERT_EQ(QApplication::focusWidget(), bar) << way.label;
        ASSERT_EQ(QApplication::activePopupWidget(), nullptr) << way.label;
        QTest::keyClick(window, Qt::Key_2);
        QTest::keyClick(window, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyPress(window, Qt::Key_Space);
        QTest::keyRelease(window, Qt::Key_Space);
        EXPECT_EQ(rig.retouch().source(), 1) << way.label;
        EXPECT_EQ(rig.strokes(), 0) << way.label;
        EXPECT_EQ(rig.montagePicture(), rig.plain) << way.label;
        // Space opens the menu the bar has lit: Esc closes it, and Esc again lets the keyboard go.
        while (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
        if (QApplication::focusWidget() == bar) QTest::keyClick(window, Qt::Key_Escape);
        ASSERT_NE(QApplication::focusWidget(), bar) << way.label;
    }
    QTest::keyClick(window, Qt::Key_2);
    EXPECT_EQ(rig.retouch().source(), 2);
    QTest::keyPress(window, Qt::Key_Space);
    QTest::keyRelease(window, Qt::Key_Space);
    EXPECT_EQ(rig.strokes(), 1);
}

} // namespace
} // namespace orv::testing
