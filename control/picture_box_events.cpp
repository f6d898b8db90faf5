// The picture box's events: painting, showing and resizing, and Qt's mouse and key events
// translated into the box's own, with its key codes, shift state and buttons.
#include "picture_box.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace vantler {
namespace {

// Key codes as the box reports them: letters and digits as their capitals, the rest by table.
short keyCodeOf(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return short(key);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return short(112 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
    }
}

short shiftOf(Qt::KeyboardModifiers m) {
    short s = 0;
    if (m & Qt::ShiftModifier) s |= 1;
    if (m & Qt::ControlModifier) s |= 2;
    if (m & Qt::AltModifier) s |= 4;
    return s;
}

short buttonsOf(Qt::MouseButtons b) {
    short s = 0;
    if (b & Qt::LeftButton) s |= 1;
    if (b & Qt::RightButton) s |= 2;
    if (b & Qt::MiddleButton) s |= 4;
    return s;
}

}  // namespace

void PictureBox::paintEvent(QPaintEvent* event) {
    // Paint asks the host to redraw after the box was shown, resized or refreshed; repaints
    // that only show new drawing do not raise it.
    if (!autoRedraw_ && paintDue_ && !inPaint_) {
        paintDue_ = false;
        inPaint_ = true;  // drawing in the host's Paint handler must not schedule another paint
        emit Paint();
        inPaint_ = false;
    }
    QFrame::paintEvent(event);
    QPainter p(this);
    p.drawImage(contentsRect().topLeft(), shownImage());
}

void PictureBox::showEvent(QShowEvent* event) {
    QFrame::showEvent(event);
    paintDue_ = true;
}

void PictureBox::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    syncSize();
}

void PictureBox::raiseMouse(QMouseEvent* event, int which) {
    const QPointF at = event->position() - QPointF(contentsRect().topLeft());
    short button = which == 1 ? buttonsOf(event->buttons()) : buttonsOf(event->button());
    short shift = shiftOf(event->modifiers());
    float x = toUnitX(at.x());
    float y = toUnitY(at.y());
    if (which == 0) emit MouseDown(button, shift, x, y);
    if (which == 1) emit MouseMove(button, shift, x, y);
    if (which == 2) emit MouseUp(button, shift, x, y);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    pressed_ = true;
    afterDoubleClick_ = false;
    raiseMouse(event, 0);
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) { raiseMouse(event, 1); }

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    raiseMouse(event, 2);
    // Where the release is, to the fraction: on a 150 % screen the pointer on the box's last screen
    // pixel is at 100.67 of a 101-pixel box, which rounds to 101, past its edge.
    const bool click = pressed_ && !afterDoubleClick_ && QRectF(rect()).contains(event->position());
    pressed_ = false;
    afterDoubleClick_ = false;
    if (click) emit Click();
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent*) {
    pressed_ = true;
    afterDoubleClick_ = true;  // the release that follows raises MouseUp but no second Click
    emit DblClick();
}

void PictureBox::keyPressEvent(QKeyEvent* event) {
    short code = keyCodeOf(event->key());
    short shift = shiftOf(event->modifiers());
    emit KeyDown(code, shift);
    const QString text = event->text();
    if (!text.isEmpty() && text.at(0).unicode() <= 0x7FFF) {
        short ascii = short(text.at(0).unicode());
        emit KeyPress(ascii);
    }
}

void PictureBox::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) return;
    short code = keyCodeOf(event->key());
    short shift = shiftOf(event->modifiers());
    emit KeyUp(code, shift);
}

}  // namespace vantler
