// The windowless Make Montage.
#include "cli/batch_montage.h"

#include <algorithm>
#include <thread>

#include "base/numbers.h"
#include "engine/montage_run.h"
#include "input/picture_file.h"
#include "input/series_loader.h"

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
    if (r.failure) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(RuntimeError(r.failure), 5100, "CommandGo"),
                      kGenericErrorTitle);
        return SeriesOutcome::Empty;
    }
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

    // The stack is filled from the pictures once: they do not change between the runs of a
    // comparison (and their pixels move into the stack), so later runs only clear the montage.
    MemorySurface blank;
    try {
        if (!filled_) blank = MemorySurface(roundToInt16(geometry_.W), roundToInt16(geometry_.H));
    } catch (RuntimeError& e) {
        throw e.atLine(8200);
    }
    ArraySurfaces surfaces;
    surfaces.montage = &blank;
    for (auto& p : pictures_) surfaces.pictures.push_back(p.get());

    MontageRun run;
    run.arrays = &mp_;
    run.measure = &measure_;
    run.focus = &focus_;
    run.geometry = &geometry_;
    run.offsets = &offsets_;
    run.settings = MontageRunSettings{s.increment, FocusMethod(s.method), s.ignored, s.useOffsets};
    run.pictureCount = pictureCount();
    run.prompter = &prompter_;
    run.surfaces = filled_ ? nullptr : &surfaces;
    run.sizeCheck = SizeCheck{s.ignored, s.evaluationMode != 0 || s.evaluationRun, &prompter_};
    run.afterFill = [this] { filled_ = true; };
    run.threads = int(std::max(1u, std::thread::hardware_concurrency()));
    if (onRow) run.onRow = [&](const MontageRowEvent& e) { onRow(e.row); };
    map_ = runMontage(run);
    return true;
}

MemorySurface BatchMontage::montagePicture() const {
    MemorySurface out(roundToInt16(geometry_.W), roundToInt16(geometry_.H));
    mp_.showMontageArray(out);
    return out;
}

BgrView BatchMontage::montageView() const {
    const auto& slot = mp_.montage.slot(100);
    const int w = std::min<int>(roundToInt16(geometry_.W), mp_.montage.width());
    const int h = std::min<int>(roundToInt16(geometry_.H), mp_.montage.height());
    return BgrView{slot.data(), w, h, std::size_t(mp_.montage.width()) * 3};
}

} // namespace orv
