// The session's commands on a finished montage: the smoothing pass and the three comparisons
// driving Make Montage with copies of the user's request.
#include "session/montage_session.h"

#include "base/error_sites.h"
#include "base/numbers.h"
#include "base/runtime_error.h"

#include <algorithm>

namespace orv {

// --- smoothing -------------------------------------------------------------------------------

namespace {

// A block the smoothing pass replaced, in the choices. On another grid than the choices' the
// choices go per pixel, so that they still say where each of the montage's pixels came from; so
// does a block that covers only part of its cell, when `wholeCellsOnly`.
void followReplacedBlock(PictureChoices& choices, const BlockRedraw& b, bool wholeCellsOnly = false) {
    if (choices.pictures.empty()) return;
    const int cell = choices.cell;
    if (cell <= 0 || b.picture < 0 || b.picture > 255) {
        choices = PictureChoices{};
        return;
    }
    const bool wholeCell = b.columns == std::min(cell, choices.width - b.x) && b.rows == std::min(cell, choices.height - b.y);
    if (b.increment == cell && b.x % cell == 0 && b.y % cell == 0 && b.x / cell < choices.columns &&
        b.y / cell < choices.rows && (wholeCell || !wholeCellsOnly)) {
        choices.pictures[std::size_t(b.y / cell) * std::size_t(choices.columns) + std::size_t(b.x / cell)] =
            std::uint8_t(b.picture);
        return;
    }
    if (cell != 1) {
        PictureChoices pixels{choices.width, choices.height, 1, choices.width, choices.height, {}};
        pixels.pictures.assign(std::size_t(std::max(0, choices.width)) * std::size_t(std::max(0, choices.height)), 0);
        for (int y = 0; y < choices.height && y / cell < choices.rows; ++y)
            for (int x = 0; x < choices.width && x / cell < choices.columns; ++x)
                pixels.pictures[std::size_t(y) * std::size_t(choices.width) + std::size_t(x)] =
                    std::uint16_t(choices.at(x, y));
        choices = std::move(pixels);
    }
    for (int y = std::max(0, b.y); y < std::min(b.y + b.rows, choices.height); ++y)
        for (int x = std::max(0, b.x); x < std::min(b.x + b.columns, choices.width); ++x)
            choices.pictures[std::size_t(y) * std::size_t(choices.columns) + std::size_t(x)] = std::uint16_t(b.picture);
}

// The pixels a smoothing pass has just copied into a block of its montage slot.
SmoothedPixels::Block writtenBlock(const PixelArrays& arrays, const BlockRedraw& b) {
    SmoothedPixels::Block block{b.x, b.y, b.columns, b.rows, {}};
    const std::vector<std::uint8_t>& montage = arrays.montage.slot(b.slot);
    const std::size_t width = std::size_t(arrays.montage.width());
    block.bgr.reserve(3 * std::size_t(b.columns) * std::size_t(b.rows));
    for (int j = 0; j < b.rows; ++j) {
        const std::uint8_t* row = &montage[3 * (std::size_t(b.y + j) * width + std::size_t(b.x))];
        block.bgr.insert(block.bgr.end(), row, row + 3 * std::size_t(b.columns));
    }
    return block;
}

// Lets go of the blocks of earlier passes that `latest` writes over whole. Undoing a stroke writes
// again, in the order they ran, every pass run after it, and a later pass counts at least as many
// strokes as an earlier one: whenever such a block is written, `latest` is written over it.
void dropCoveredBlocks(std::vector<SmoothedPixels>& earlier, const SmoothedPixels& latest, int width, int height) {
    if (latest.blocks.empty() || earlier.empty() || width <= 0 || height <= 0) return;
    std::vector<bool> covered(std::size_t(width) * std::size_t(height));
    for (const SmoothedPixels::Block& b : latest.blocks)
        for (int y = std::max(b.y, 0); y < std::min(b.y + b.rows, height); ++y)
            for (int x = std::max(b.x, 0); x < std::min(b.x + b.columns, width); ++x)
                covered[std::size_t(y) * std::size_t(width) + std::size_t(x)] = true;
    const auto coveredWhole = [&](const SmoothedPixels::Block& b) {
        // Pixels beyond the picture are never written again.
        for (int y = std::max(b.y, 0); y < std::min(b.y + b.rows, height); ++y)
            for (int x = std::max(b.x, 0); x < std::min(b.x + b.columns, width); ++x)
                if (!covered[std::size_t(y) * std::size_t(width) + std::size_t(x)]) return false;
        return true;
    };
    for (SmoothedPixels& pass : earlier)
        if (pass.strokes <= latest.strokes && std::erase_if(pass.blocks, coveredWhole) > 0) pass.blocks.shrink_to_fit();
    std::erase_if(earlier, [](const SmoothedPixels& pass) { return pass.blocks.empty(); });
}

} // namespace

void MontageSession::arraysRefilled() {
    forgetPyramidRun();
    slotHoldsMain_ = false;
    series_.drop();
}

void MontageSession::loadMainIntoSlot() {
    MontageState& ms = state_.montage;
    if (slotHoldsMain_ || ms.main().empty()) return;
    ArraySurfaces s;
    s.montage = &ms.main().picture;
    ms.arrays.loadImageArrays(ArrayFill::Montage, s, SizeCheck{});
    slotHoldsMain_ = true;
}

std::optional<SmoothResult> MontageSession::smooth(const MontageChoice& which, const MontageRequest& r,
                                                   bool showMessagesAtEnd, bool visible, const std::string& routine,
                                                   int line) {
    MontageState& ms = state_.montage;
    MessageList messages;
    // A pyramid montage has no block seams to smooth.
    if (!which.comparison && ms.focus.method == FocusMethod::Pyramid) {
        if (showMessagesAtEnd) ask(PromptIcon::Exclamation, kAlreadySmoothText, kAlreadySmoothTitle);
        SmoothResult unchanged;
        unchanged.report = kReportStart;
        return unchanged;
    }
    // The pass takes its blocks from the pictures in the stack. After a Make Montage that was
    // stopped they may be another series' pictures, or half of them: the montage shown is the
    // earlier one, and blocks of those pictures would be copied into it.
    // A batch run that let the stack go once its montage was made, or a run that let the earlier
    // series go before it read its own and then ended, has no pictures to take them from.
    const bool stackLetGo = ms.arrays.stack.pictures.empty() || ms.arrays.stack.pictures[0].empty();
    if (!which.comparison && (visible || stackLetGo) && !ms.seriesReady && !ms.main().empty()) {
        if (showMessagesAtEnd) ask(PromptIcon::Exclamation, kSmoothSourcesGoneText, kSmoothSourcesGoneTitle);
        return std::nullopt;
    }
    // A pass the user stops leaves the montage as it was: its picture and map are written back only
    // at the end, its properties text is kept here.
    const std::string propertiesBefore = ms.record(which).properties;
    try {
        MontageRecord& record = ms.record(which);
        const int slot = which.comparison ? comparisonSlot(*which.comparison) : int(MontageSlot::Main);
        if (!which.comparison) {
            // The main montage is smoothed as it is shown.
            if (visible) loadMainIntoSlot();
        } else {
            // The comparison montages go into slots 100 to 104.
            ArraySurfaces s;
            for (int k = 0; k < kComparisonMontages; ++k)
                if (const MontageRecord& c = ms.records[std::size_t(1 + k)]; !c.empty())
                    s.comparison[std::size_t(k)] = &c.picture;
            ms.arrays.loadImageArrays(ArrayFill::Comparisons, s, SizeCheck{});
            slotHoldsMain_ = false;
        }
        // The pass measures with the method and ignore ticks of the request, and takes its blocks
        // from where the montage placed each picture: the offsets, display area and alignment it
        // was made with, whatever the targets and ticks say now (a picture it ignored lies where
        // its target put it then).
        FocusContext focus = ms.focus;
        focus.method = r.method;
        focus.ignored = r.ignored;
        if (focus.useOffsets)
            for (int n = 1; n <= state_.series.imageCount && n <= kMaxPictures; ++n)
                focus.offsets[std::size_t(n)] = placedOffset(record, n);

        std::string mapText = record.map;
        // The block methods' choices follow the pass block by block (the map keeps only the last
        // digit of a picture's number), so that a deep montage is assembled as the smoothed one.
        PictureChoices choices;
        if (record.request.method != FocusMethod::Pyramid) {
            try {
                choices = depthChoices(which);
            } catch (const RuntimeError&) {
                choices = PictureChoices{};
            }
        }
        // Over painted strokes, the blocks this pass replaces are kept apart as well: at full depth
        // the strokes before it are painted first and these blocks replaced over them.
        // They are kept on the pass's own grid: on the montage's, a pass of another block side
        // would keep a montage-sized array of per-pixel choices for every pass, however few
        // blocks it replaced.
        SmoothedOverStrokes over{record.retouch.count(), {}};
        auto followOverStrokes = [&](const BlockRedraw& b) {
            if (choices.pictures.empty()) return;
            if (over.blocks.pictures.empty() && b.increment > 0) {
                const int side = b.increment;
                over.blocks = PictureChoices{choices.width, choices.height, side, (choices.width + side - 1) / side,
                                             (choices.height + side - 1) / side, {}};
                over.blocks.pictures.assign(std::size_t(over.blocks.columns) * std::size_t(over.blocks.rows), 0);
            }
            followReplacedBlock(over.blocks, b, true);
        };
        // And the pixels it writes there, which undoing those strokes must leave as the pass wrote them.
        SmoothedPixels overPixels{record.retouch.count(), {}};
        SmoothInput in;
        in.arrays = &ms.arrays;
        in.measure = &ms.measure;
        in.focus = &focus;
        in.geometry = &ms.geometry;
        in.placementAsMade = true;
        in.map = &mapText;
        in.mapIncrement = record.increment;
        in.properties = &record.properties;
        in.messages = &messages;
        in.montageVisible = visible;
        in.comparison = which.comparison;
        in.showMessages = showMessagesAtEnd;
        in.incrementText = r.incrementText;
        in.settings.edgeFactor = r.smoothing.edgeFactor;
        in.settings.focusFactor = r.smoothing.focusFactor;
        in.settings.diffFactor = r.smoothing.diffFactor;
        in.hooks.busy = [this](bool on) { observer_.busy(on); };
        in.hooks.redrawBlock = [&](const BlockRedraw& b) {
            followReplacedBlock(choices, b);
            if (over.strokes > 0) followOverStrokes(b);
            if (overPixels.strokes > 0) overPixels.blocks.push_back(writtenBlock(ms.arrays, b));
            observer_.blockReplaced(which, ms.arrays, b.slot, b.x, b.y, b.increment);
        };
        in.hooks.afterRow = [this] {
            observer_.progress(RunPhase::Smoothing, 0, 0);
            observer_.processEvents();
            stopIfAsked();
        };
        in.hooks.propertiesChanged = [&](const std::string& text) { observer_.propertiesChanged(which, text); };
        const SmoothResult result = smoothMontage(in);
        if (result.outcome == SmoothOutcome::Done) {
            // The record takes the smoothed picture and map.
            if (!record.empty()) ms.arrays.showMontageArray(record.picture, slot);
            record.map = mapText;
            if (record.request.method != FocusMethod::Pyramid) record.choices = std::move(choices);
            if (over.strokes > 0 && !record.choices.pictures.empty() && result.replaced > 0)
                record.retouch.smoothed.push_back(std::move(over));
            if (overPixels.strokes > 0 && result.replaced > 0) {
                dropCoveredBlocks(record.retouch.smoothedPixels, overPixels, record.picture.pictureWidth(),
                                  record.picture.pictureHeight());
                record.retouch.smoothedPixels.push_back(std::move(overPixels));
            }
            // What the pass keeps counts in the memory Undo may use, as the strokes' tiles do.
            record.retouch.keepWithin(options_.retouchUndoBytes);
            record.unsaved = true;
            observer_.mapChanged(which, record.map);
        }
        showMessages(messages);
        return result;
    } catch (...) {
        const RuntimeError e = currentError();
        if (e.stoppedByUser()) {
            MontageRecord& record = ms.record(which);
            record.properties = propertiesBefore;
            slotHoldsMain_ = false; // the slot holds the half-smoothed picture
            observer_.busy(false);
            observer_.propertiesChanged(which, record.properties);
            observer_.recordChanged(which, record);
            return std::nullopt;
        }
        showMessages(messages);
        ask(PromptIcon::Critical, genericErrorText(e, e.line() ? e.line() : line, routine), kGenericErrorTitle);
        return std::nullopt;
    }
}

// --- comparisons -----------------------------------------------------------------------------

ComparisonResult MontageSession::runComparison(const MontageRequest& request, Prompter* answers,
                                               const std::function<ComparisonResult(ComparisonDriver&)>& command) {
    // Each montage the comparison asks for is the request with the method and increment it
    // tries; an increment it does not name stays as the last montage had it.
    MontageRequest working = request;
    ComparisonHooks hooks;
    hooks.makeMontage = [this, &working](const ComparisonStep& step, const EvaluationState&) {
        working = working.comparing(step.method, step.increment);
        observer_.showRequest(working);
        const MakeOutcome made = make(working, MakeMode::Montage);
        // A run the user stopped ends the whole comparison: no later montage, no verdict.
        if (made.stopped && observer_.stopRequested()) throw RuntimeError(kUserInterrupt);
        working.incrementText = lastRequest_.incrementText;
        return made.made ? made.increment : 0;
    };
    hooks.processEvents = [this] { observer_.processEvents(); };
    // The comparison montage just kept, and the best one kept so far with its score.
    std::optional<int> justKept, bestKept;
    float bestKeptScore = kNoScoreYet;
    hooks.scored = [this, &justKept, &bestKept, &bestKeptScore](const Candidate& c) {
        observer_.candidateScored(c);
        if (!options_.keepBestComparisonOnly || !justKept) return;
        // Equal scores keep the earlier montage, as the recommendation does.
        int dropped = *justKept;
        if (c.score < bestKeptScore) {
            bestKeptScore = c.score;
            dropped = bestKept.value_or(-1);
            bestKept = justKept;
        }
        justKept.reset();
        if (dropped >= 0) state_.montage.records[std::size_t(1 + dropped)] = MontageRecord{};
    };
    hooks.keepComparison = [this, &justKept](int k, int method) {
        MontageState& ms = state_.montage;
        MontageRecord& kept = ms.records[std::size_t(1 + k)];
        kept = ms.main();
        justKept = k;
        observer_.keepComparison(k, method, kept);
    };
    hooks.showComparisonInMain = [this](int k) {
        MontageState& ms = state_.montage;
        // The main montage becomes the best one whole: its map, properties, request and choices
        // describe the picture shown, so Properties, the map window, a saved project and the
        // smoothing pass all speak of the montage on screen, not of the last one made.
        ms.main() = ms.records[std::size_t(1 + k)];
        ms.main().retouch = RetouchHistory{}; // the strokes were painted on another picture
        ms.main().unsaved = true;
        slotHoldsMain_ = false;
        observer_.comparisonShownAsMain(k, ms.main());
    };
    hooks.finishMethods = [this](int method) { observer_.comparisonFinished(method, state_.montage.firstFileName); };
    hooks.takeFocus = [this] { observer_.takeFocus(); };
    // Pyramid Focus's montage is kept for the comparison's later montages only while it runs
    // (and from the montage before it, when the session keeps that for a comparison).
    if (!options_.keepPyramidRunForComparison) forgetPyramidRun();
    comparing_ = true;
    struct EndComparing {
        MontageSession& s;
        ~EndComparing() {
            s.comparing_ = false;
            s.forgetPyramidRun();
        }
    } endComparing{*this};
    // A comparison that ends without a verdict (stopped, or failed part way) puts back the montage
    // the user had before it: the method and increment go back to the user's, and a montage made
    // on the way with another increment or method would not be the one they describe.
    MontageState& ms = state_.montage;
    struct MontageBefore {
        MontageRecord main;
        MontageGeometry geometry;
        FocusContext focus;
        std::string firstFileName;
    } before{ms.main(), ms.geometry, ms.focus, ms.firstFileName};
    try {
        ComparisonDriver driver(state_.evaluation, state_.montage.arrays, state_.montage.geometry,
                                answers ? *answers : observerPrompter(), std::move(hooks));
        return command(driver);
    } catch (...) {
        state_.evaluation.evaluationMode = 0;
        state_.evaluation.evaluationRun = false;
        ms.main() = std::move(before.main);
        ms.geometry = before.geometry;
        ms.focus = before.focus;
        ms.firstFileName = std::move(before.firstFileName);
        slotHoldsMain_ = false;
        observer_.runStopped(ms.main());
        const RuntimeError e = currentError();
        if (!e.stoppedByUser()) ask(PromptIcon::Critical, genericErrorText(e, 0, kComparisonRoutine), kGenericErrorTitle);
        return ComparisonResult{};
    }
}

ComparisonResult MontageSession::compareAllMethods(const MontageRequest& request, int checkedMethod,
                                                   Prompter* answers) {
    return runComparison(request, answers,
                         [checkedMethod](ComparisonDriver& d) { return d.compareAllMethods(checkedMethod); });
}

ComparisonResult MontageSession::evaluateIncrements(const MontageRequest& request, Prompter* answers) {
    const int method = int(request.method);
    return runComparison(request, answers, [method](ComparisonDriver& d) { return d.evaluateIncrements(method); });
}

ComparisonResult MontageSession::evaluateAll(const MontageRequest& request, Prompter* answers) {
    return runComparison(request, answers, [](ComparisonDriver& d) { return d.evaluateAll(); });
}

} // namespace orv
