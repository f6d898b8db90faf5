// The image-offset and alignment commands.
#include "ui/offset_commands.h"

#include "session/offset_target.h"
#include "settings/preferences.h"
#include "ui/beep.h"
#include "ui/form_status.h"

#include "ui/form_picture.h"

#include <QAction>
#include <QApplication>

namespace orv {

// Automatic alignment and the target markers exclude each other: ticking one unticks the other.
void OffsetCommands::alignClicked() {
    if (align_->isChecked() && useOffsets_->isChecked()) switchOffsets(false);
    rememberAlignment();
}

void OffsetCommands::rememberAlignment() {
    c_.state.preferences.tryWrite(kPreferencesSection, "Automatic alignment", align_->isChecked() ? "1" : "0");
    c_.state.preferences.tryWrite(kPreferencesSection, "Colour matching", colourMatch_->isChecked() ? "1" : "0");
}

void OffsetCommands::setAlignment(bool align, bool colourMatch) {
    align_->setChecked(align);
    colourMatch_->setChecked(colourMatch);
    if (align && useOffsets_->isChecked()) switchOffsets(false);
}

void OffsetCommands::switchOffsets(bool on) {
    useOffsets_->setChecked(on);
    if (on && align_->isChecked()) {
        align_->setChecked(false);
        rememberAlignment();
    }
    if (!on) {
        c_.windows.setTargetsShown(false);
        if (status_) {
            status_->close();
            status_->deleteLater();
        }
        status_.clear();
        return;
    }
    // The targets of all 30 slots, then the status window beside the main window.
    c_.windows.setTargetsShown(true);
    if (!status_) {
        status_ = new FormStatus(c_.mainWindow);
        QObject::connect(status_, &FormStatus::focusHandOff, c_.mainWindow, [this] { c_.view.takeFocusLater(); });
    }
    showStatus();
    status_->placeAgainst(c_.mainWindow);
    status_->show();
    status_->raise();
}

void OffsetCommands::show(const MontageRequest& r) {
    if (r.align != align_->isChecked() || r.colourMatch != colourMatch_->isChecked()) setAlignment(r.align, r.colourMatch);
    if (!r.useOffsets) {
        if (useOffsets_->isChecked()) switchOffsets(false);
        return;
    }
    if (!useOffsets_->isChecked()) switchOffsets(true);
    if (r.targets) {
        // Only the targets that are elsewhere move.
        const OffsetTable now = c_.windows.targetCentres();
        for (int i = 1; i <= kMaxPictures; ++i)
            if (const ImageOffset t = (*r.targets)[std::size_t(i)]; !(t == now[std::size_t(i)]))
                c_.windows.sourceWindow(i)->centreTargetOn(t.x, t.y);
    }
    showStatus();
    for (auto [entry, area] : areas_)
        entry->setChecked(r.area == area);
}

std::optional<DisplayArea> OffsetCommands::area() const {
    for (auto [entry, area] : areas_)
        if (entry->isChecked()) return area;
    return std::nullopt;
}

void OffsetCommands::areaClicked(QAction* entry) {
    // The entry inverted its own tick; when now ticked, the other two are unticked.
    if (!entry->isChecked()) return;
    for (auto [other, area] : areas_)
        if (other != entry) other->setChecked(false);
}

void OffsetCommands::showStatus() {
    if (status_)
        status_->setStatusText(offsetStatusText(c_.windows.visibleTargetCentres()), c_.state.layout.dialogFrameHeight);
}

void OffsetCommands::setTargetColor(std::uint32_t colour) { c_.windows.setTargetColor(colour); }

void OffsetCommands::placeTarget(FormPicture* window) {
    if (!window || !window->targetShown()) {
        beep();
        return;
    }
    const QImage& picture = window->PictureFile()->picture();
    const ImageOffset at = window->shownTarget().centre();
    c_.dialog.Target = TargetChoice{at.x, at.y, picture.width(), picture.height()};
    // A cancelled choice leaves the target where it is.
    if (!c_.dialog.ShowTarget()) return;
    window->centreTargetOn(c_.dialog.Target.x, c_.dialog.Target.y);
    showStatus();
}

void OffsetCommands::chooseTargetColor() {
    // A cancelled choice changes nothing.
    if (c_.dialog.ShowColor()) setTargetColor(c_.dialog.Color);
}

} // namespace orv
