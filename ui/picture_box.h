// A picture box (PictureFile): shows one picture at a zoom (one picture pixel to one screen pixel at
// 100 %), and is the picture surface the montage engine reads and draws.
#pragma once

#include "input/picture_file.h"

#include <QWidget>

namespace orv {

// The picture of a picture box as the engine reads it: the usual 32-bit and 24-bit pictures go
// straight into the caller's rows, without the intermediate copy of the general conversion.
class PictureBoxSurface : public ImageSurface {
public:
    void readPixels(std::uint8_t* buffer, int W, int H) const override;
};

class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setPicture(QImage image);
    void clearPicture();
    // A black picture of w x h (the cleared picture of a montage or preview window).
    void setBlankPicture(int w, int h);
    // Draws the cells x0..x1, y0..y1 (array coordinates, rows from the bottom) of a bottom-up
    // buffer of W x H cells onto the picture and repaints only that part.
    void drawCells(const std::uint8_t* buffer, int W, int H, int x0, int y0, int x1, int y1);
    // The picture made the cells of `cells`, which has this picture's size (a montage record).
    void showSurface(const MemorySurface& cells);
    const QImage& picture() const { return surface_.image(); }
    bool hasPicture() const { return !surface_.image().isNull(); }

    // Where a point of the box falls in the picture, and where a rectangle of the picture shows in
    // the box, at the zoom. Everything that maps the mouse to the picture or paints over a part of
    // it goes through these, so it follows the zoom.
    QPointF toPicture(const QPointF& boxPoint) const { return boxPoint / zoom_; }
    QRect toBox(const QRect& pictureRect) const;      // the box pixels the picture rectangle touches
    QRectF toBox(const QRectF& pictureRect) const;    // exactly, for drawing shapes over the picture

    // The zoom: box pixels per picture pixel (1 shows the picture at 100 %), kept within
    // kMinZoom..kMaxZoom. The box is the picture's size at the zoom.
    static constexpr double kMinZoom = 1.0 / 32, kMaxZoom = 16;
    double zoom() const { return zoom_; }
    void setZoom(double zoom);


    // The engine's view of the picture; call pictureChanged() after writing through it.
    ImageSurface& surface() { return surface_; }
    void pictureChanged();

signals:
    // The right mouse button was released over the picture (the context menu's cue).
    void rightButtonReleased(const QPoint& globalPos);
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    void sizeToPicture();

    PictureBoxSurface surface_;
    double zoom_ = 1;
};

} // namespace orv
