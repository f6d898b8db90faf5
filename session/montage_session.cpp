// The montage session: Load and Make Montage, each in the order of its steps, with the line
// numbers its failures are reported with.
#include "session/montage_session.h"

#include "base/numbers.h"
#include "base/runtime_error.h"
#include "align/alignment_report.h"
#include "engine/properties_text.h"
#include "fusion/pyramid_focus.h"
#include "input/series_loader.h"
#include "session/montage_rules.h"

#include <algorithm>
#include <optional>
#include <thread>

namespace orv {

// The comparisons and the kernels' recorded messages reach the front end through the observer.
class MontageSession::ObserverPrompter : public Prompter {
public:
    explicit ObserverPrompter(SessionObserver& o) : o_(o) {}
    PromptAnswer show(const Prompt& p) override { return o_.prompt(p); }

private:
    SessionObserver& o_;
};

namespace {

// The busy pointer for the rest of a command, handed back early before a message or a pass
// that shows its own.
class BusySpan {
public:
    explicit BusySpan(SessionObserver& o) : o_(o) { o_.busy(true); }
    ~BusySpan() { release(); }
    void release() {
        if (on_) o_.busy(false);
        on_ = false;
    }

private:
    SessionObserver& o_;
    bool on_ = true;
};

} // namespace

MontageSession::MontageSession(SessionState& state, SessionObserver& observer, SessionOptions options)
    : state_(state), observer_(observer), options_(options),
      prompter_(std::make_unique<ObserverPrompter>(observer)) {}

MontageSession::~MontageSession() = default;

PromptAnswer MontageSession::ask(PromptIcon icon, const std::string& text, const std::string& title,
                                 PromptButtons buttons) {
    return observer_.prompt(Prompt{icon, buttons, text, title});
}

Prompter& MontageSession::observerPrompter() { return *prompter_; }

void MontageSession::showMessages(MessageList& messages) { showRecorded(messages, *prompter_); }

// --- Load ----------------------------------------------------------------------------------------

SeriesResult MontageSession::decodeSeries(const SeriesName& series, std::vector<std::unique_ptr<MemorySurface>>& into) {
    // File after file until one does not load or 30 are loaded; each picture is shown as it comes.
    std::vector<QImage> shown;
    const SeriesResult r = loadSeriesSurfaces(
        series, into,
        [&](int k) {
            // The window takes the shown picture over; the session keeps no copy of it.
            QImage picture = shown.empty() ? QImage() : std::move(shown[std::size_t(k - 1)]);
            observer_.pictureLoaded(k, series.fileName(k), *into[std::size_t(k - 1)], std::move(picture));
            state_.series.imageCount = std::int16_t(k);
            observer_.processEvents();
        },
        [&] { ask(PromptIcon::Critical, kLimitText, kLimitTitle); }, observer_.showsPictures() ? &shown : nullptr);
    state_.series.imageCount = std::int16_t(r.count);
    state_.series.currentFileName = r.currentFileName;
    return r;
}

LoadOutcome MontageSession::load(bool reportMissing) {
    BusySpan busy(observer_);
    LoadOutcome outcome = LoadOutcome::Failed;
    int line = 0;
    try {
        // An empty stack; the windows of the earlier series go.
        state_.series.imageCount = 0;
        line = 200;
        const std::string typed = observer_.controls().firstFileName;
        observer_.seriesStarting(false, typed);

        // The completed name, the digit test, the first file.
        line = 400;
        completed_ = completeSeriesName(typed, state_.programFolder);
        if (completed_ != typed) observer_.fileNameCompleted(completed_);
        const std::optional<SeriesName> series = parseSeriesName(completed_);
        if (!series) {
            ask(PromptIcon::Critical, kRenameTextLoad, kRenameTitle);
            return LoadOutcome::Refused;
        }
        if (!fileExists(completed_)) {
            if (reportMissing) {
                ask(PromptIcon::Exclamation, kMissingFileText, kMissingFileTitle);
                observer_.firstFileMissing(completed_);
            }
            return LoadOutcome::Missing;
        }
        line = 420;
        state_.series.numberOffset = series->offset;

        // File after file until one does not load or 30 are loaded.
        line = 500;
        std::vector<std::unique_ptr<MemorySurface>> pictures;
        const SeriesResult r = decodeSeries(*series, pictures);
        if (r.failure) {
            // Memory ran out, or a number passed 16 bits: an error, not the end of the series.
            busy.release();
            ask(PromptIcon::Critical, genericErrorText(RuntimeError(r.failure), 510, "mnuLoad"), kGenericErrorTitle);
            observer_.seriesLoaded(r.count, false);
            return LoadOutcome::Failed;
        }
        // A file of the series that is there but cannot be read is said so, not passed over.
        if (r.invalidPicture) ask(PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);

        // Sizes, then the windows.
        line = 800;
        state_.series.pictureWidth = r.count ? float(pictures[0]->pictureWidth()) : 0;
        state_.series.pictureHeight = r.count ? float(pictures[0]->pictureHeight()) : 0;
        observer_.seriesLoaded(r.count, false);
        outcome = r.count > 0 ? LoadOutcome::Loaded : LoadOutcome::Failed;
    } catch (...) {
        const RuntimeError e = currentError();
        busy.release();
        ask(PromptIcon::Critical, genericErrorText(e, line, "mnuLoad"), kGenericErrorTitle);
        outcome = LoadOutcome::Failed;
    }
    return outcome;
}

// --- Make Montage ----------------------------------------------------------------------------

MakeOutcome MontageSession::makeMontage() {
    MakeOutcome out;
    int line = 500;
    try {
        makeMontageSteps(out, line);
    } catch (...) {
        const RuntimeError e = currentError();
        ask(PromptIcon::Critical, genericErrorText(e, e.line() ? e.line() : line, "CommandGo"), kGenericErrorTitle);
        out.made = false;
        out.stopped = false;
    }
    last_ = out;
    if (out.stopped || !out.nameTaken) return out;
    // The name as typed goes back to the front end (its box and recent list). A run that failed
    // before it read the name, or stopped, leaves them as they are.
    try {
        observer_.firstFileUsed(state_.montage.firstFileName);
    } catch (...) {
        ask(PromptIcon::Critical, genericErrorText(currentError(), 15000, "CommandGo"), kGenericErrorTitle);
    }
    return out;
}

MontageSession::SeriesStep MontageSession::loadSeriesForMontage(const MontageControls& c, int& line) {
    MontageState& ms = state_.montage;
    state_.series.imageCount = 0;
    ms.seriesReady = false;
    line = 2000;
    ms.firstFileName = c.firstFileName;
    observer_.seriesStarting(true, c.firstFileName);

    line = 4000;
    completed_ = completeSeriesName(c.firstFileName, state_.programFolder);
    if (completed_ != c.firstFileName) observer_.fileNameCompleted(completed_);
    line = 4200;
    const std::optional<SeriesName> series = parseSeriesName(completed_);
    line = 4000;
    if (!series) {
        ask(PromptIcon::Critical, kRenameTextMontage, kRenameTitle);
        return SeriesStep::Stop;
    }
    if (!fileExists(completed_)) {
        ask(PromptIcon::Exclamation, kMissingFileText, kMissingFileTitle);
        observer_.firstFileMissing(completed_);
        return SeriesStep::Stop;
    }
    line = 5000;
    state_.series.numberOffset = series->offset;

    if (options_.reuseDecodedSeries && stackHoldsSeries_ && decodedName_ == completed_) {
        // The pictures of this series are in the stack already and have not changed.
        state_.series.imageCount = ms.arrays.stack.count;
        observer_.seriesLoaded(state_.series.imageCount, true);
        return SeriesStep::Loaded;
    }
    pictures_.clear();
    stackHoldsSeries_ = false;
    stackAligned_ = false;
    decodedName_.clear();
    const SeriesResult r = decodeSeries(*series, pictures_);
    line = 5100;
    if (r.failure) {
        // Memory ran out, or a number passed 16 bits: an error, not the end of the series.
        pictures_.clear();
        ask(PromptIcon::Critical, genericErrorText(RuntimeError(r.failure), 5100, "CommandGo"), kGenericErrorTitle);
        observer_.seriesLoaded(r.count, true);
        return SeriesStep::Stop;
    }
    observer_.seriesLoaded(r.count, true);
    if (r.invalidPicture) {
        ask(PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
        return SeriesStep::Finish;
    }
    // Not even the first picture loaded: there is nothing to make a montage of.
    if (r.count == 0) return SeriesStep::Stop;
    decodedName_ = completed_;
    return SeriesStep::Loaded;
}

void MontageSession::makeMontageSteps(MakeOutcome& out, int& line) {
    MontageState& ms = state_.montage;

    // The increment: a value below 10, or one that cannot be read, makes the box "10".
    line = 500;
    const IncrementBox box = readIncrementBox(observer_.controls().incrementText);
    if (box.replaced) {
        line = 550;
        observer_.incrementReplaced(box.text);
    }
    line = 1000;
    const int increment = box.increment;

    BusySpan busy(observer_);
    const bool shortcut = reusesLoadedPictures(state_.evaluation, increment);
    observer_.montageStarting(shortcut);
    const MontageControls c = observer_.controls();

    if (shortcut) {
        // A comparison reuses the pictures and montage size of the last run. When that run loaded
        // nothing there is nothing to reuse (its message has been shown).
        if (!ms.seriesReady) {
            out.stopped = true;
            return;
        }
    } else {
        out.nameTaken = true;
        const SeriesStep step = loadSeriesForMontage(c, line);
        if (step != SeriesStep::Loaded) {
            out.stopped = step == SeriesStep::Stop;
            return;
        }
        // The montage takes picture 1's size.
        line = 8000;
        const bool reused = pictures_.empty();
        state_.series.pictureWidth = float(reused ? ms.arrays.stack.pictureWidth(1) : pictures_[0]->pictureWidth());
        state_.series.pictureHeight = float(reused ? ms.arrays.stack.pictureHeight(1) : pictures_[0]->pictureHeight());
        ms.geometry.W = state_.series.pictureWidth;
        ms.geometry.H = state_.series.pictureHeight;
        ms.seriesReady = true;
        observer_.montageSized(ms.geometry.W, ms.geometry.H, increment);
    }

    // The offsets and the display area.
    line = 8100;
    const int N = state_.series.imageCount;
    if (c.useOffsets) observer_.readTargetOffsets(ms.offsets, c, N);
    const float oldW = ms.geometry.W, oldH = ms.geometry.H;
    // With no area ticked the montage keeps picture 1's area, as with "same area".
    const AreaInput area{c.useOffsets, c.area.value_or(DisplayArea::Same), N, c.ignored,
                         state_.evaluation.evaluationMode, int(state_.series.pictureWidth),
                         int(state_.series.pictureHeight)};
    AreaOutcome fit = AreaOutcome::Ready;
    if (c.align && !state_.projectFlag) {
        // The pictures are aligned onto the reference's frame before the area is chosen: offsets
        // play no part, and the minimum area is the rectangle every aligned picture covers.
        line = 8150;
        alignSeries(c);
        ms.offsets = OffsetTable{};
        fit = applyAlignedArea(ms.geometry, *ms.alignment, c.area.value_or(DisplayArea::Same));
    } else {
        ms.alignment.reset();
        fit = applyDisplayArea(ms.geometry, ms.offsets, area);
    }
    if (fit == AreaOutcome::MinimumEmpty) {
        busy.release();
        ask(PromptIcon::Critical, kMinimumAreaText, kMinimumAreaTitle);
        observer_.montageHidden();
        out.stopped = true;
        return;
    }
    if (fit == AreaOutcome::MaximumEmpty) {
        out.stopped = true;
        out.maximumEmpty = true;
        return;
    }
    if (ms.geometry.W != oldW || ms.geometry.H != oldH) observer_.montageSized(ms.geometry.W, ms.geometry.H, increment);

    // A project supplies its montage and map itself.
    line = 8200;
    if (state_.projectFlag) {
        state_.projectFlag = false;
        // No block loop, but the pictures go into the arrays as for a montage, so that smoothing
        // a reopened project works on its own series.
        if (!stackHoldsSeries_ || !pictures_.empty()) {
            std::optional<BlankSurface> blank;
            try {
                blank.emplace(roundToInt16(ms.geometry.W), roundToInt16(ms.geometry.H));
            } catch (RuntimeError& e) {
                throw e.atLine(8200);
            }
            ArraySurfaces surfaces;
            surfaces.montage = &*blank;
            for (auto& p : pictures_) surfaces.pictures.push_back(p.get());
            MessageList messages;
            ms.arrays.loadImageArrays(ArrayFill::Full, surfaces, SizeCheck{c.ignored, false, &messages});
            stackHoldsSeries_ = true;
            pictures_.clear();
            showMessages(messages);
        }
        line = 8400;
        ms.measure.allocate(increment);
        ms.focus = montageFocusContext(MontageRunSettings{increment, c.method, c.ignored, c.useOffsets}, ms.offsets,
                                       ms.geometry, nullptr);
        ms.mainSlotStale = true;
        out.increment = increment;
    } else {
        // The arrays, the growing preview and the block loop.
        observer_.processEvents();
        PictureSurface* preview = observer_.previewSurface();
        std::optional<BlankSurface> blank;
        ArraySurfaces surfaces;
        const bool fill = !stackHoldsSeries_ || !pictures_.empty();
        if (fill) {
            try {
                blank.emplace(roundToInt16(ms.geometry.W), roundToInt16(ms.geometry.H));
            } catch (RuntimeError& e) {
                throw e.atLine(8200);
            }
            surfaces.montage = &*blank;
            for (auto& p : pictures_) surfaces.pictures.push_back(p.get());
        }
        MessageList messages;
        MontageRun run;
        run.arrays = &ms.arrays;
        run.measure = &ms.measure;
        run.focus = &ms.focus;
        run.geometry = &ms.geometry;
        run.offsets = &ms.offsets;
        run.settings = MontageRunSettings{increment, c.method, c.ignored, c.useOffsets && !c.align};
        run.pictureCount = N;
        run.messages = &messages;
        run.surfaces = fill ? &surfaces : nullptr;
        run.sizeCheck = SizeCheck{c.ignored, state_.evaluation.evaluationMode != 0 || state_.evaluation.evaluationRun,
                                  &messages};
        run.afterFill = [&] {
            // The pictures' pixels have moved into the stack.
            stackHoldsSeries_ = true;
            pictures_.clear();
            showMessages(messages);
            if (preview) ms.arrays.loadPreviewArray(*preview);
        };
        run.drawPreview = preview != nullptr;
        run.threads = options_.threads > 0 ? options_.threads : int(std::max(1u, std::thread::hardware_concurrency()));
        run.onRow = [&](const MontageRowEvent& e) {
            showMessages(messages);
            observer_.blockRowDone(e, ms.arrays);
        };
        ms.choices = PictureChoices{};
        if (c.method == FocusMethod::Pyramid) {
            run.montageMethod = [&](const BlockLoopInput& in) {
                PyramidFocusOptions o;
                o.geometry = &ms.geometry;
                o.offsets = &ms.offsets;
                o.useOffsets = c.useOffsets;
                o.ignored = c.ignored;
                o.increment = increment;
                o.pictureCount = N;
                if (ms.alignment) // an aligned picture takes part only where it has pixels of its own
                    for (const PictureAlignment& a : ms.alignment->pictures)
                        o.ownAreas.push_back(OwnArea{a.fromReference.m, a.width, a.height, ms.alignment->frameHeight});
                o.drawPreview = in.drawPreview;
                o.onRow = in.onRow;
                PyramidFocusResult r = runPyramidFocus(ms.arrays, o);
                ms.choices = std::move(r.choices);
                return r.map;
            };
        }
        std::string map;
        try {
            map = runMontage(run);
        } catch (...) {
            showMessages(messages);
            throw;
        }
        showMessages(messages);
        ms.mainSlotStale = false;
        ms.map = map;
        ms.increment = increment;

        // The preview is taken once more from the finished montage: a montage smaller than the
        // preview reaches, in the last preview row of each block row, a montage row that was not
        // made yet.
        line = 10400;
        if (preview) scalePictureIntoPreview(ms.arrays, int(MontageSlot::Main));
        observer_.montageReady(ms.arrays, map, preview != nullptr);
        line = 10500;
        out.made = true;
        out.increment = increment;
    }

    // The windows settle, the properties text, the automatic smoothing.
    line = 11000;
    observer_.montageFinished();
    buildProperties(observer_.controls());
    if (state_.smoothing.autoSmooth == 1 && out.made) {
        busy.release();
        const std::optional<SmoothResult> r =
            smooth(MontageChoice{}, false, observer_.montageVisible(MontageChoice{}), "CommandGo", 11000);
        out.smoothed = r && r->outcome == SmoothOutcome::Done;
        if (r) out.smoothing = *r;
    }
}

void MontageSession::alignSeries(const MontageControls& c) {
    MontageState& ms = state_.montage;
    if (stackAligned_ && stackHoldsSeries_ && pictures_.empty() && alignedColours_ == c.colourMatch && ms.alignment)
        return; // a comparison's later montages reuse the aligned pictures
    if (!stackHoldsSeries_ || !pictures_.empty()) {
        // The stack is filled at picture 1's size; the montage slot follows the area later.
        BlankSurface blank(roundToInt16(state_.series.pictureWidth), roundToInt16(state_.series.pictureHeight));
        ArraySurfaces surfaces;
        surfaces.montage = &blank;
        for (auto& p : pictures_) surfaces.pictures.push_back(p.get());
        MessageList messages;
        ms.arrays.loadImageArrays(ArrayFill::Full, surfaces,
                                  SizeCheck{c.ignored, state_.evaluation.evaluationMode != 0 || state_.evaluation.evaluationRun,
                                            &messages});
        stackHoldsSeries_ = true;
        pictures_.clear();
        showMessages(messages);
    }
    AlignOptions o;
    o.ignored = c.ignored;
    o.colourMatch = c.colourMatch;
    o.onProgress = [this](const AlignProgress& p) {
        observer_.alignmentProgress(p.done, p.total);
        observer_.processEvents();
    };
    ms.alignment = alignStack(ms.arrays.stack, o);
    stackAligned_ = true;
    alignedColours_ = c.colourMatch;
}

void MontageSession::buildProperties(const MontageControls& c) {
    PropertiesInput p;
    p.firstFileName = state_.montage.firstFileName;
    p.pictureCount = state_.series.imageCount;
    p.ignored = c.ignored;
    p.method = int(c.method);
    p.incrementText = c.incrementText;
    p.autoSmooth = state_.smoothing.autoSmooth != 0;
    p.useOffsets = c.useOffsets;
    p.areaSame = c.area == DisplayArea::Same;
    p.areaMinimum = c.area == DisplayArea::Minimum;
    p.areaMaximum = c.area == DisplayArea::Maximum;
    p.offsets = state_.montage.offsets;
    p.map = state_.montage.map;
    state_.montage.propertiesText = buildPropertiesText(p);
    if (state_.montage.alignment)
        state_.montage.propertiesText = withAlignmentLines(state_.montage.propertiesText, *state_.montage.alignment);
}

} // namespace orv
