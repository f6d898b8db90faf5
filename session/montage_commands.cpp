// The session's commands on a finished montage: the smoothing pass, the three comparisons
// driving Make Montage, and the montage picture and its depth map as the front ends write them.
#include "session/montage_session.h"

#include "base/numbers.h"
#include "base/runtime_error.h"
#include "output/depth_map.h"

#include <algorithm>

namespace orv {

// --- smoothing -------------------------------------------------------------------------------

std::optional<SmoothResult> MontageSession::smooth(const MontageChoice& which, bool showMessagesAtEnd,
                                                   bool visible, const std::string& routine, int line) {
    MontageState& ms = state_.montage;
    MessageList messages;
    // A pyramid montage has no block seams to smooth.
    if (!which.comparison && ms.focus.method == FocusMethod::Pyramid) {
        if (showMessagesAtEnd) ask(PromptIcon::Exclamation, kAlreadySmoothText, kAlreadySmoothTitle);
        SmoothResult unchanged;
        unchanged.report = kReportStart;
        return unchanged;
    }
    try {
        const MontageControls c = observer_.controls();
        // The main montage is smoothed as its window shows it.
        if (!which.comparison && ms.mainSlotStale && visible) {
            if (PictureSurface* shown = observer_.montageSurface()) {
                ArraySurfaces s;
                s.montage = shown;
                ms.arrays.loadImageArrays(ArrayFill::Montage, s, SizeCheck{});
            }
            ms.mainSlotStale = false;
        }
        // The pass measures with the method, ignore ticks and offsets as they are now.
        FocusContext focus = ms.focus;
        focus.method = c.method;
        focus.ignored = c.ignored;
        focus.useOffsets = c.useOffsets;
        focus.offsets = ms.offsets;
        if (c.useOffsets) observer_.readTargetOffsets(focus.offsets, c, state_.series.imageCount);

        const int k = which.comparison.value_or(0);
        std::string& map = which.comparison ? ms.comparisonMaps[std::size_t(std::clamp(k, 0, kComparisonWindows - 1))] : ms.map;
        std::string mapText = map;
        SmoothInput in;
        in.arrays = &ms.arrays;
        in.measure = &ms.measure;
        in.focus = &focus;
        in.geometry = &ms.geometry;
        in.area = c.area.value_or(DisplayArea::Same);
        in.map = &mapText;
        in.properties = which.comparison ? &ms.comparisonProperties[std::size_t(std::clamp(k, 0, 10))]
                                         : &ms.propertiesText;
        in.messages = &messages;
        in.montageVisible = visible;
        in.comparison = which.comparison;
        in.showMessages = showMessagesAtEnd;
        in.incrementText = c.incrementText;
        in.settings.edgeFactor = state_.smoothing.edgeFactor;
        in.settings.focusFactor = state_.smoothing.focusFactor;
        in.settings.diffFactor = state_.smoothing.diffFactor;
        in.hooks.busy = [this](bool on) { observer_.busy(on); };
        in.hooks.redrawBlock = [&](const BlockRedraw& r) { observer_.blockReplaced(which, r.slot, r.x, r.y, r.increment); };
        in.hooks.afterRow = [this] { observer_.processEvents(); };
        in.hooks.propertiesChanged = [&](const std::string& text) { observer_.propertiesChanged(which, text); };
        const SmoothResult r = smoothMontage(in);
        if (r.outcome == SmoothOutcome::Done) {
            map = mapText;
            observer_.mapChanged(which, map);
        }
        showMessages(messages);
        return r;
    } catch (...) {
        const RuntimeError e = currentError();
        showMessages(messages);
        ask(PromptIcon::Critical, genericErrorText(e, e.line() ? e.line() : line, routine), kGenericErrorTitle);
        return std::nullopt;
    }
}

// --- comparisons -----------------------------------------------------------------------------

ComparisonResult MontageSession::runComparison(Prompter* answers,
                                               const std::function<ComparisonResult(ComparisonDriver&)>& command) {
    ComparisonHooks hooks;
    hooks.makeMontage = [this](const MontageRequest& r, const EvaluationState&) {
        observer_.comparisonSettings(r.increment, r.method);
        const MakeOutcome made = makeMontage();
        return made.made ? made.increment : 0;
    };
    hooks.processEvents = [this] { observer_.processEvents(); };
    hooks.scored = [this](const Candidate& c) { observer_.candidateScored(c); };
    hooks.keepComparison = [this](int k, int method) {
        MontageState& ms = state_.montage;
        ms.comparisonProperties[std::size_t(k)] = ms.propertiesText;
        ms.comparisonMaps[std::size_t(k)] = ms.map;
        observer_.keepComparison(k, method);
    };
    hooks.showComparisonInMain = [this](int k) {
        state_.montage.mainSlotStale = true;
        observer_.showComparisonInMain(k);
    };
    hooks.finishMethods = [this](int method) { observer_.comparisonFinished(method); };
    hooks.takeFocus = [this] { observer_.takeFocus(); };
    try {
        ComparisonDriver driver(state_.evaluation, state_.montage.arrays, state_.montage.geometry,
                                answers ? *answers : observerPrompter(), std::move(hooks));
        return command(driver);
    } catch (...) {
        state_.evaluation.evaluationMode = 0;
        state_.evaluation.evaluationRun = false;
        ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "evaluateImage"), kGenericErrorTitle);
        return ComparisonResult{};
    }
}

ComparisonResult MontageSession::compareAllMethods(int checkedMethod, Prompter* answers) {
    return runComparison(answers, [checkedMethod](ComparisonDriver& d) { return d.compareAllMethods(checkedMethod); });
}

ComparisonResult MontageSession::evaluateIncrements(int method, Prompter* answers) {
    return runComparison(answers, [method](ComparisonDriver& d) { return d.evaluateIncrements(method); });
}

ComparisonResult MontageSession::evaluateAll(Prompter* answers) {
    return runComparison(answers, [](ComparisonDriver& d) { return d.evaluateAll(); });
}

// --- the montage picture ---------------------------------------------------------------------

PictureChoices MontageSession::depthChoices(const MontageChoice& which) const {
    const MontageState& ms = state_.montage;
    if (!which.comparison && ms.focus.method == FocusMethod::Pyramid) return ms.choices;
    // A block montage: each block takes the picture its map names.
    const std::string& map = which.comparison ? ms.comparisonMaps[std::size_t(*which.comparison)] : ms.map;
    return blockChoices(map, BlockChoiceContext{&ms.geometry, ms.increment, state_.series.imageCount, &ms.arrays, &ms.focus});
}

void MontageSession::writeDepthMap(const MontageChoice& which, const std::string& path) const {
    orv::writeDepthMap(path, depthChoices(which), state_.series.imageCount);
}

BgrView MontageSession::montageView() const {
    const PixelArrays& mp = state_.montage.arrays;
    const auto& slot = mp.montage.slot(int(MontageSlot::Main));
    const int w = std::min<int>(roundToInt16(state_.montage.geometry.W), mp.montage.width());
    const int h = std::min<int>(roundToInt16(state_.montage.geometry.H), mp.montage.height());
    return BgrView{slot.data(), w, h, std::size_t(mp.montage.width()) * 3};
}

MemorySurface MontageSession::montagePicture() const {
    MemorySurface out(roundToInt16(state_.montage.geometry.W), roundToInt16(state_.montage.geometry.H));
    state_.montage.arrays.showMontageArray(out);
    return out;
}

} // namespace orv
