// FormPicture: the source window of one picture slot (1 to 30), showing the picture at its full
// size with the picture context menu; focus goes straight back to the main window.
#pragma once

#include "ui/picture_box.h"

#include <QWidget>

class QAction;
class QMenu;
class QScrollArea;

namespace orv {

inline constexpr const char* kOriginalImageCaption = "Original Image";
inline constexpr const char* kSourcePictureTooltip =
    "This is an image I have read from disk.   My file name is in my title bar.";

class FormPicture : public QWidget {
    Q_OBJECT
public:
    explicit FormPicture(int slot, QWidget* mainWindow);

    int slot() const { return slot_; }
    PictureBox* PictureFile() const { return picture_; }
    QMenu* mnuMenu() const { return menu_; }
    QAction* menuAction(const QString& name) const;

    // Puts a picture in the window with the caption "Image k -- name".
    void showPicture(QImage image, const QString& caption);
    // Empties the window: its picture is released and its caption is "Original Image" again.
    void unloadPicture();

    // The offset target marker: its left, top, width and height in picture pixels (top-down), and
    // its centre rounded half to even, the picture's offset when offsets are used.
    void setOffsetTarget(const QRectF& marker) { target_ = marker; }
    QRectF offsetTarget() const { return target_; }

    // Outer size for a picture shown whole; the client area is the picture, capped at the screen.
    void placeAt(int left, int top);

signals:
    void closed(int slot, const QString& caption); // the window unloaded
    void focusHandOff();                           // the main window should take the focus

protected:
    void closeEvent(QCloseEvent* e) override;
    bool event(QEvent* e) override;

private:
    void mnuClose_Click();

    int slot_;
    QScrollArea* scroll_;
    PictureBox* picture_;
    QMenu* menu_;
    QRectF target_;
};

} // namespace orv
