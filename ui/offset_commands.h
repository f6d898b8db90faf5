// The image-offset commands: "Use Image Offsets" with the targets and the status window,
// "Align Images Automatically" and "Match Colours When Aligning" (which exclude the targets and
// are remembered as preferences), the status text and the target colour.
#pragma once

#include "ui/command_context.h"
#include "ui/form_status.h"

#include <QPointer>

class QAction;
class QWidget;

namespace orv {

class OffsetCommands {
public:
    // `useOffsets`, `align` and `colourMatch` are the menu's tick entries.
    OffsetCommands(const CommandContext& c, QAction* useOffsets, QAction* align, QAction* colourMatch)
        : c_(c), useOffsets_(useOffsets), align_(align), colourMatch_(colourMatch) {}

    // After the entries inverted their own ticks.
    void useOffsetsClicked() { switchOffsets(useOffsets_->isChecked()); }
    void alignClicked();
    void rememberAlignment();
    void setAlignment(bool align, bool colourMatch);
    void switchOffsets(bool on);
    void showStatus();
    FormStatus* statusWindow() const { return status_.data(); } // none while offsets are off
    void setTargetColor(std::uint32_t colour);
    // A source window's "Set Offset Target Color": applied, not kept in the preferences.
    void chooseTargetColor();

private:
    CommandContext c_;
    QAction* useOffsets_;
    QAction* align_;
    QAction* colourMatch_;
    QPointer<FormStatus> status_;
};

} // namespace orv
