// FormPicture: the source window of one picture slot (1 to 30), showing the picture at its full
// size with the picture context menu; focus goes straight back to the main window.
#pragma once

#include "ui/picture_window.h"

#include <QRectF>

namespace orv {

inline constexpr const char* kOriginalImageCaption = "Original Image";
inline constexpr const char* kSourcePictureTooltip =
    "This is an image I have read from disk.   My file name is in my title bar.";

class FormPicture : public PictureWindow {
    Q_OBJECT
public:
    FormPicture(int slot, QWidget* mainWindow);

    int slot() const { return slot_; }
    PictureBox* PictureFile() const { return picture(); }

    // Puts a picture in the window with the caption "Image k -- name".
    void showPicture(QImage image, const QString& caption);
    // Empties the window: its picture is released and its caption is "Original Image" again.
    void unloadPicture();

    // The offset target marker: its left, top, width and height in picture pixels (top-down), and
    // its centre rounded half to even, the picture's offset when offsets are used.
    void setOffsetTarget(const QRectF& marker) { target_ = marker; }
    QRectF offsetTarget() const { return target_; }

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    int slot_;
    QRectF target_;
};

} // namespace orv
