// FormPicture: the source window of one picture slot (1 to 30), showing the picture at its full
// size with the picture context menu and the offset target the user drags onto a feature of the
// picture; focus goes straight back to the main window.
#pragma once

#include "session/offset_target.h"
#include "ui/picture_window.h"

#include <QPoint>
#include <QRectF>

#include <cstdint>
#include <optional>
#include <string>

namespace orv {

inline constexpr const char* kOriginalImageCaption = "Original Image";
inline constexpr const char* kSourcePictureTooltip =
    "This is an image I have read from disk.   My file name is in my title bar.";

// The caption of the window of picture `k` read from `file`: "Image k -- file" (bytes, see path_text.h).
inline std::string sourceCaption(int k, const std::string& file) { return "Image " + std::to_string(k) + " -- " + file; }

class TargetOverlay;

class FormPicture : public PictureWindow {
    Q_OBJECT
public:
    // `dragState` is the program's shared drag state (the last mouse position of a drag);
    // `target` the target a new window starts with.
    FormPicture(int slot, QWidget* mainWindow, std::optional<QPoint>& dragState, const OffsetTarget& target);

    int slot() const { return slot_; }
    PictureBox* PictureFile() const { return picture(); }

    // Puts a picture in the window with the caption "Image k -- name".
    void showPicture(QImage image, const QString& caption);
    // Empties the window: its picture is released and its caption is "Original Image" again. The
    // target keeps its place.
    void unloadPicture();

    // The offset target: two concentric circles in the picture box (marker 0 the outer one).
    const OffsetTarget& target() const { return target_; }
    void setTarget(const OffsetTarget& t);
    // The target where the picture shows it: one past the picture's edge is shown at the edge.
    OffsetTarget shownTarget() const;
    // Marker 0 at `outer` (picture pixels, top-down), marker 1 centred inside it.
    void setOffsetTarget(const QRectF& outer);
    QRectF offsetTarget() const;
    // Both markers centred on (x, y).
    void centreTargetOn(double x, double y);
    void setTargetShown(bool shown);
    bool targetShown() const { return shown_; }
    // The markers' border colour: red + 256 * green + 65536 * blue.
    void setTargetColor(std::uint32_t colour);
    std::uint32_t targetColor() const { return colour_; }

signals:
    // The user dragged the target.
    void targetMoved();

protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    int slot_;
    std::optional<QPoint>& dragState_;
    OffsetTarget target_;
    bool shown_ = false;
    std::uint32_t colour_ = 0;
    TargetOverlay* overlay_;
};

// The colour of a preferences value as Qt takes it.
QColor colourOf(std::uint32_t colour);

} // namespace orv
