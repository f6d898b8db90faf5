// The windowless Make Montage.
#include "cli/batch_montage.h"

#include "base/numbers.h"
#include "project/picture_file.h"
#include "project/series_loader.h"

namespace orv {

SeriesOutcome BatchMontage::loadSeries(const std::string& typed, const std::string& folder,
                                       const std::function<void(int)>& onPicture) {
    pictures_.clear();
    filled_ = false;
    completed_ = completeSeriesName(typed, folder);
    std::optional<SeriesName> series;
    try {
        series = parseSeriesName(completed_);
    } catch (RuntimeError& e) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(e, 4200, "CommandGo"),
                      kGenericErrorTitle);
        return SeriesOutcome::Empty;
    }
    if (!series) {
        prompter_.ask(PromptIcon::Critical, kRenameTextMontage, kRenameTitle);
        return SeriesOutcome::NoDigit;
    }
    if (!fileExists(completed_)) {
        prompter_.ask(PromptIcon::Exclamation, kMissingFileText, kMissingFileTitle);
        return SeriesOutcome::Missing;
    }
    const SeriesResult r = loadSeriesSurfaces(
        *series, pictures_, onPicture,
        [&] { prompter_.ask(PromptIcon::Critical, kLimitText, kLimitTitle); });
    if (r.invalidPicture) {
        prompter_.ask(PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
        return SeriesOutcome::Invalid;
    }
    return pictures_.empty() ? SeriesOutcome::Empty : SeriesOutcome::Loaded;
}

bool BatchMontage::make(const BatchSettings& s, bool shortcut,
                        const std::function<void(const BlockRowEvent&)>& onRow) {
    if (pictures_.empty()) throw RuntimeError(9).atLine(8000);
    const int pw = filled_ ? mp_.stack.pictureWidth(1) : pictures_[0]->pictureWidth();
    const int ph = filled_ ? mp_.stack.pictureHeight(1) : pictures_[0]->pictureHeight();
    if (!shortcut) {
        geometry_.W = float(pw);
        geometry_.H = float(ph);
    }
    offsets_ = s.offsets;
    AreaInput area{s.useOffsets, s.area, pictureCount(), s.ignored, s.evaluationMode, pw, ph};
    const AreaOutcome outcome = applyDisplayArea(geometry_, offsets_, area);
    if (outcome == AreaOutcome::MinimumEmpty) {
        prompter_.ask(PromptIcon::Critical, kMinimumAreaText, kMinimumAreaTitle);
        return false;
    }
    if (outcome == AreaOutcome::MaximumEmpty) return false;

    // A cleared montage picture of W x H, and the stack from the pictures (filled once: the
    // pictures do not change between the runs of a comparison).
    const int w = roundToInt16(geometry_.W), h = roundToInt16(geometry_.H);
    try {
        if (!filled_) {
            MemorySurface blank(w, h);
            ArraySurfaces surfaces;
            surfaces.montage = &blank;
            for (auto& p : pictures_) surfaces.pictures.push_back(p.get());
            SizeCheck check{s.ignored, s.evaluationMode != 0 || s.evaluationRun, &prompter_};
            mp_.loadImageArrays(0, surfaces, check);
            filled_ = true;
        } else {
            mp_.montage.lastColumn = toInt16(roundUp4(w) - 1);
            mp_.montage.lastRow = toInt16(roundUp4(h) - 1);
            for (auto& slot : mp_.montage.slotPixels) slot.clear();
            mp_.montage.slot(100).assign(std::size_t(roundUp4(w)) * roundUp4(h) * 3, 0);
        }
    } catch (RuntimeError& e) {
        throw e.atLine(8200);
    }

    focus_.method = FocusMethod(s.method);
    focus_.ignored = s.ignored;
    focus_.useOffsets = s.useOffsets;
    focus_.offsets = offsets_;
    focus_.smallestX = geometry_.smallestX;
    focus_.smallestY = geometry_.smallestY;
    focus_.prompter = &prompter_;

    BlockLoopInput in;
    in.geometry = &geometry_;
    in.increment = s.increment;
    in.pictureCount = pictureCount();
    in.focus = &focus_;
    in.onRow = onRow;
    map_ = runBlockLoop(mp_, measure_, in);
    return true;
}

MemorySurface BatchMontage::montagePicture() const {
    MemorySurface out(roundToInt16(geometry_.W), roundToInt16(geometry_.H));
    mp_.showMontageArray(out);
    return out;
}

} // namespace orv
