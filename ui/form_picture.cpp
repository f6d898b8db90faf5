// The source window and its offset target.
#include "ui/form_picture.h"

#include <QAction>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace orv {

QColor colourOf(std::uint32_t colour) {
    return QColor(int(colour & 0xff), int((colour >> 8) & 0xff), int((colour >> 16) & 0xff));
}

// The two circles, drawn over the whole picture box; the box itself takes the mouse.
class TargetOverlay : public QWidget {
public:
    TargetOverlay(PictureBox* box, const FormPicture& owner) : QWidget(box), box_(box), owner_(owner) {
        setObjectName(QStringLiteral("Shape1"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setBrush(Qt::NoBrush);
        // A target past the picture's edge is drawn at the edge, where it can be taken.
        const OffsetTarget t = owner_.target().within(box_->picture().width(), box_->picture().height());
        auto circle = [&](const MarkerBox& m, int border) {
            QPen pen(colourOf(owner_.targetColor()));
            pen.setWidth(border);
            p.setPen(pen);
            // The marker is in picture pixels: it is drawn where the picture shows at the zoom. Its
            // border, as wide on the screen at any zoom, lies inside the marker's box as shown, so
            // the circle's outer edge is the marker's edge (zoomed in, a border set in by half its
            // width in picture pixels drew the circle well inside the marker).
            const double in = border / 2.0;
            p.drawEllipse(box_->toBox(QRectF(m.left, m.top, m.width, m.height)).adjusted(in, in, -in, -in));
        };
        circle(t.outer, kOuterMarkerBorder);
        circle(t.inner, kInnerMarkerBorder);
    }

private:
    const PictureBox* box_;
    const FormPicture& owner_;
};

FormPicture::FormPicture(int slot, QWidget* mainWindow, std::optional<QPoint>& dragState, const OffsetTarget& target)
    : PictureWindow(mainWindow, "FormPicture", "PictureFile", sourceWindowMenu()), slot_(slot),
      dragState_(dragState), target_(target) {
    setWindowTitle(QString::fromLatin1(kOriginalImageCaption));
    setAttribute(Qt::WA_DeleteOnClose, false);
    picture()->setToolTip(QString::fromLatin1(kSourcePictureTooltip));
    picture()->setAccessibleName(QStringLiteral("Picture"));
    overlay_ = new TargetOverlay(picture(), *this);
    picture()->installEventFilter(this);
    if (QAction* place = menuAction(QStringLiteral("mnuPlaceTarget"))) place->setEnabled(shown_);
}

void FormPicture::showPicture(QImage image, const QString& caption) {
    picture()->setPicture(std::move(image));
    setWindowTitle(caption);
}

void FormPicture::unloadPicture() {
    picture()->clearPicture();
    setWindowTitle(QString::fromLatin1(kOriginalImageCaption));
}

void FormPicture::setTarget(const OffsetTarget& t) {
    target_ = t;
    overlay_->update();
}

void FormPicture::setOffsetTarget(const QRectF& outer) {
    OffsetTarget t = target_;
    t.outer = MarkerBox{outer.left(), outer.top(), outer.width(), outer.height()};
    t.inner.left = outer.left() + (outer.width() - t.inner.width) / 2;
    t.inner.top = outer.top() + (outer.height() - t.inner.height) / 2;
    setTarget(t);
}

OffsetTarget FormPicture::shownTarget() const {
    return target_.within(picture()->picture().width(), picture()->picture().height());
}

QRectF FormPicture::offsetTarget() const {
    return QRectF(target_.outer.left, target_.outer.top, target_.outer.width, target_.outer.height);
}

void FormPicture::centreTargetOn(double x, double y) {
    target_.centreOn(x, y);
    overlay_->update();
}

void FormPicture::setTargetShown(bool shown) {
    shown_ = shown;
    overlay_->setVisible(shown);
    // The target is placed from the keyboard only while it is shown.
    if (QAction* place = menuAction(QStringLiteral("mnuPlaceTarget"))) place->setEnabled(shown);
    if (shown) {
        overlay_->resize(picture()->size());
        overlay_->raise();
    }
}

void FormPicture::setTargetColor(std::uint32_t colour) {
    colour_ = colour & 0xFFFFFF;
    overlay_->update();
}

bool FormPicture::eventFilter(QObject* watched, QEvent* e) {
    if (watched != picture()) return PictureWindow::eventFilter(watched, e);
    switch (e->type()) {
    case QEvent::Resize: overlay_->resize(picture()->size()); break;
    case QEvent::MouseButtonPress: {
        // Any button starts a drag on the target; hidden targets are not there to be taken.
        const QPointF at = picture()->toPicture(static_cast<QMouseEvent*>(e)->position());
        if (shown_ && shownTarget().pressStartsDrag(at.x(), at.y()))
            dragState_ = QPoint(int(std::nearbyint(at.x())), int(std::nearbyint(at.y())));
        break;
    }
    case QEvent::MouseMove: {
        auto* m = static_cast<QMouseEvent*>(e);
        if (!dragState_ || !(m->buttons() & Qt::LeftButton)) break;
        const QPointF p = picture()->toPicture(m->position());
        const QPoint at(int(std::nearbyint(p.x())), int(std::nearbyint(p.y())));
        const QPoint d = at - *dragState_;
        target_.dragBy(d.x(), d.y(), picture()->picture().width(), picture()->picture().height());
        overlay_->update();
        dragState_ = at;
        emit targetMoved();
        break;
    }
    case QEvent::MouseButtonRelease:
        // The drag ends; a right-button release goes on to open the context menu.
        dragState_.reset();
        break;
    default: break;
    }
    return PictureWindow::eventFilter(watched, e);
}

void FormPicture::closeEvent(QCloseEvent* e) {
    PictureWindow::closeEvent(e);
    unloadPicture();
}

} // namespace orv
