// The picture box.
#include "ui/picture_box.h"

#include <QMouseEvent>
#include <QPainter>

namespace orv {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(0, 0);
}

void PictureBox::setPicture(QImage image) {
    surface_.setImage(std::move(image));
    setFixedSize(surface_.image().size());
    update();
}

void PictureBox::clearPicture() { setPicture(QImage()); }

void PictureBox::pictureChanged() {
    setFixedSize(surface_.image().size());
    update();
}

void PictureBox::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (surface_.image().isNull()) {
        p.fillRect(e->rect(), palette().window());
        return;
    }
    p.drawImage(e->rect(), surface_.image(), e->rect());
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) emit rightButtonReleased(e->globalPosition().toPoint());
    QWidget::mouseReleaseEvent(e);
}

} // namespace orv
