// The picture box.
#include "ui/picture_box.h"

#include "base/pixel_types.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace orv {

void PictureBoxSurface::readPixels(std::uint8_t* buffer, int W, int H) const {
    const QImage& img = image();
    const QImage::Format f = img.format();
    const bool rgb32 = f == QImage::Format_RGB32 || f == QImage::Format_ARGB32;
    if (img.isNull() || (!rgb32 && f != QImage::Format_RGB888)) {
        ImageSurface::readPixels(buffer, W, H);
        return;
    }
    // Picture row r (from the top) is buffer row h - 1 - r; blue, green, red per cell.
    const int w = std::min(img.width(), W), h = img.height();
    for (int r = std::max(0, h - H); r < h; ++r) {
        std::uint8_t* out = buffer + std::size_t(h - 1 - r) * std::size_t(W) * 3;
        if (rgb32) {
            const QRgb* in = reinterpret_cast<const QRgb*>(img.constScanLine(r));
            for (int c = 0; c < w; ++c) {
                out[3 * c + 0] = std::uint8_t(qBlue(in[c]));
                out[3 * c + 1] = std::uint8_t(qGreen(in[c]));
                out[3 * c + 2] = std::uint8_t(qRed(in[c]));
            }
        } else {
            const std::uint8_t* in = img.constScanLine(r);
            for (int c = 0; c < w; ++c) {
                out[3 * c + 0] = in[3 * c + 2];
                out[3 * c + 1] = in[3 * c + 1];
                out[3 * c + 2] = in[3 * c + 0];
            }
        }
    }
}

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFixedSize(0, 0);
}

void PictureBox::setPicture(QImage image) {
    surface_.setImage(std::move(image));
    sizeToPicture();
    update();
}

void PictureBox::clearPicture() { setPicture(QImage()); }

void PictureBox::setBlankPicture(int w, int h) {
    // 32-bit, as the source pictures: the format the screen draws without converting. A picture
    // of that size already here is cleared where it is (filling detaches it when it is shared).
    QImage blank = surface_.image();
    surface_.setImage(QImage());
    const QSize size(std::max(0, w), std::max(0, h));
    if (blank.size() != size || blank.format() != QImage::Format_RGB32) blank = QImage(size, QImage::Format_RGB32);
    blank.fill(Qt::black);
    setPicture(std::move(blank));
}

void PictureBox::drawCells(const std::uint8_t* buffer, int W, int H, int x0, int y0, int x1, int y1) {
    // The image is taken out of the surface first, so writing to it does not copy it.
    QImage image = surface_.image();
    surface_.setImage(QImage());
    if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
    const int h = image.height();
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    x1 = std::min({x1, W - 1, image.width() - 1});
    y1 = std::min({y1, H - 1, h - 1});
    for (int y = y0; y <= y1 && x0 <= x1; ++y) {
        const std::uint8_t* in = buffer + 3 * (std::size_t(y) * std::size_t(W) + std::size_t(x0));
        bgrRowToXrgb(in, reinterpret_cast<std::uint32_t*>(image.scanLine(h - 1 - y)) + x0, x1 - x0 + 1);
    }
    surface_.setImage(std::move(image));
    if (x0 <= x1 && y0 <= y1) update(toBox(QRect(QPoint(x0, h - 1 - y1), QPoint(x1, h - 1 - y0))));
}

void PictureBox::pictureChanged() {
    sizeToPicture();
    update();
}

void PictureBox::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    if (surface_.image().isNull()) {
        p.fillRect(e->rect(), palette().window());
        return;
    }
    const QImage& image = surface_.image();
    if (zoom_ == 1) {
        p.drawImage(e->rect(), image, e->rect());
        return;
    }
    // The picture pixels under the exposed part, drawn scaled; what lies beyond the picture (a
    // rounding sliver at the edge) is the window's colour.
    const QRectF exposed(e->rect());
    const QRect pictureRect =
        QRectF(toPicture(exposed.topLeft()), toPicture(exposed.bottomRight() + QPointF(1, 1)))
            .toAlignedRect()
            .intersected(image.rect());
    p.fillRect(e->rect(), palette().window());
    if (pictureRect.isEmpty()) return;
    if (zoom_ < 1) p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(toBox(QRectF(pictureRect)), image, pictureRect);
}

QRect PictureBox::toBox(const QRect& r) const {
    if (zoom_ == 1) return r;
    return toBox(QRectF(r)).toAlignedRect();
}

QRectF PictureBox::toBox(const QRectF& r) const { return QRectF(r.topLeft() * zoom_, r.size() * zoom_); }

void PictureBox::setZoom(double zoom) {
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (zoom == zoom_) return;
    zoom_ = zoom;
    sizeToPicture();
    update();
    emit zoomChanged(zoom_);
}

void PictureBox::sizeToPicture() {
    const QSize picture = surface_.image().size();
    if (zoom_ == 1 || picture.isEmpty()) {
        setFixedSize(picture);
        return;
    }
    setFixedSize(std::max(1, int(std::lround(picture.width() * zoom_))),
                 std::max(1, int(std::lround(picture.height() * zoom_))));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton) emit rightButtonReleased(e->globalPosition().toPoint());
    QWidget::mouseReleaseEvent(e);
}

void PictureBox::showSurface(const MemorySurface& cells) {
    if (!cells.empty())
        surface_.writePixels(cells.rounded().data(), cells.roundedWidth(), roundUp4(cells.pictureHeight()));
    pictureChanged();
}

} // namespace orv
