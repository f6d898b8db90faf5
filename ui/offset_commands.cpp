// The main window's image-offset commands: "Use Image Offsets" with the targets and the status
// window, the status text, and the target colour.
#include "ui/form_montage.h"

#include "session/offset_target.h"
#include "settings/preferences.h"
#include "ui/form_status.h"

#include <QAction>

namespace orv {

void FormMontage::mnuAddOffsets_Click() { switchOffsets(action(Command::UseOffsets)->isChecked()); }

// Automatic alignment and the target markers exclude each other: ticking one unticks the other.
void FormMontage::mnuAlign_Click() {
    if (action(Command::AlignImages)->isChecked() && action(Command::UseOffsets)->isChecked()) switchOffsets(false);
    rememberAlignment();
}

void FormMontage::rememberAlignment() {
    state_.preferences.tryWrite(kPreferencesSection, "Automatic alignment",
                                action(Command::AlignImages)->isChecked() ? "1" : "0");
    state_.preferences.tryWrite(kPreferencesSection, "Colour matching",
                                action(Command::MatchColours)->isChecked() ? "1" : "0");
}

void FormMontage::setAlignment(bool align, bool colourMatch) {
    action(Command::AlignImages)->setChecked(align);
    action(Command::MatchColours)->setChecked(colourMatch);
    if (align && action(Command::UseOffsets)->isChecked()) switchOffsets(false);
}

void FormMontage::switchOffsets(bool on) {
    action(Command::UseOffsets)->setChecked(on);
    if (on && action(Command::AlignImages)->isChecked()) {
        action(Command::AlignImages)->setChecked(false);
        rememberAlignment();
    }
    if (!on) {
        windows_->setTargetsShown(false);
        if (status_) {
            status_->close();
            status_->deleteLater();
        }
        status_.clear();
        return;
    }
    // The targets of all 30 slots, then the status window beside the main window.
    windows_->setTargetsShown(true);
    if (!status_) {
        status_ = new FormStatus(this);
        connect(status_, &FormStatus::focusHandOff, this, &FormMontage::focusMainLater);
    }
    ShowOffsetStatus();
    status_->placeAgainst(this);
    status_->show();
    status_->raise();
}

void FormMontage::ShowOffsetStatus() {
    if (status_) status_->setStatusText(offsetStatusText(windows_->visibleTargetCentres()), state_.layout.dialogFrameHeight);
}

FormStatus* FormMontage::statusWindow() const { return status_.data(); }

void FormMontage::SetTargetColor(std::uint32_t colour) { windows_->setTargetColor(colour); }

void FormMontage::mnuOffsetColor_Click() {
    // The chosen colour is applied, not kept in the preferences; a cancelled choice changes nothing.
    if (dialog_.ShowColor()) SetTargetColor(dialog_.Color);
}

} // namespace orv
