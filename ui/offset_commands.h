// The image-offset commands: "Use Image Offsets" with the targets and the status window,
// "Align Images Automatically" and "Match Colours When Aligning" (which exclude the targets and
// are remembered as preferences), the status text and the target colour.
#pragma once

#include "ui/action_table.h"
#include "ui/command_context.h"
#include "ui/form_status.h"

#include <QPointer>

class QAction;
class QWidget;

namespace orv {

class FormPicture;

class OffsetCommands {
public:
    // The tick entries of the menu bar's `actions`.
    OffsetCommands(const CommandContext& c, const ActionSet& actions)
        : c_(c), useOffsets_(actions[Command::UseOffsets]), align_(actions[Command::AlignImages]),
          colourMatch_(actions[Command::MatchColours]),
          areas_{{{actions[Command::AreaSame], DisplayArea::Same},
                  {actions[Command::AreaMinimum], DisplayArea::Minimum},
                  {actions[Command::AreaMaximum], DisplayArea::Maximum}}} {}

    // The ticks, targets and display area as `request` has them (an opened project's).
    void show(const MontageRequest& request);
    // After the entries inverted their own ticks.
    void useOffsetsClicked() { switchOffsets(useOffsets_->isChecked()); }
    void alignClicked();
    void rememberAlignment();
    void setAlignment(bool align, bool colourMatch);
    void switchOffsets(bool on);
    void showStatus();
    FormStatus* statusWindow() const { return status_.data(); } // none while offsets are off
    void setTargetColor(std::uint32_t colour);
    // The ticked display area, if any; ticking `entry` unticks the other two.
    std::optional<DisplayArea> area() const;
    void areaClicked(QAction* entry);
    // A source window's "Set Offset Target Color": applied, not kept in the preferences.
    void chooseTargetColor();
    // A source window's "Place Offset Target...": the target's centre typed in, where a drag
    // with the mouse would put it, for the keyboard. Only while the targets are shown.
    void placeTarget(FormPicture* window);

private:
    CommandContext c_;
    QAction* useOffsets_;
    QAction* align_;
    QAction* colourMatch_;
    std::array<std::pair<QAction*, DisplayArea>, 3> areas_; // the display area entries
    QPointer<FormStatus> status_;
};

} // namespace orv
