// The montage session: Make Montage as the named steps it runs in order, with the lines its
// failures are reported with (Load is in montage_load.cpp, reading the series in montage_series.cpp).
#include "session/montage_session.h"

#include "align/alignment_report.h"
#include "base/error_sites.h"
#include "base/memory_tuning.h"
#include "base/numbers.h"
#include "base/runtime_error.h"
#include "engine/properties_text.h"
#include "fusion/pyramid_focus.h"
#include "input/memory_budget.h"
#include "input/series_loader.h"
#include "output/picture_metadata.h"
#include "session/deep_stack_source.h"
#include "session/kept_pyramid_run.h"
#include "session/montage_rules.h"
#include "session/offset_target.h"

#include <algorithm>
#include <climits>
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

int montageSide(float side) {
    try {
        return roundToInt16(side);
    } catch (RuntimeError& e) {
        throw e.atLine(kLineArrayFill);
    }
}

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

PromptAnswer MontageSession::askAbout(const std::string& file, PromptIcon icon, const std::string& text,
                                      const std::string& title) {
    if (text == kInvalidPictureText) return observer_.prompt(refusedPicturePrompt(file));
    return observer_.prompt(Prompt{icon, PromptButtons::Ok, text, title, file});
}

void MontageSession::stopIfAsked() {
    if (observer_.stopRequested()) throw RuntimeError(kUserInterrupt);
}

void MontageSession::forgetStoppedRun() {
    // The stack and slot 100 may hold a half-read series, a half-aligned stack or a half-made
    // montage: the next run reads the files again, and slot 100 takes the main record when needed.
    MontageState& ms = state_.montage;
    forgetPyramidRun();
    series_.drop();
    ms.seriesReady = false;
    ms.alignment.reset();
    slotHoldsMain_ = false;
    observer_.runStopped(ms.main());
}

void MontageSession::showMessages(MessageList& messages) { showRecorded(messages, *prompter_); }

bool MontageSession::streamedPictureRefused() const {
    return streamed_ && currentError().number() == 481 && !streamed_->failedFile().empty();
}

SizeCheck MontageSession::sizeCheck(const IgnoreTicks& ignored, MessageList* messages) const {
    const EvaluationState& e = state_.evaluation;
    return SizeCheck{ignored, e.evaluationMode != 0 || e.evaluationRun, messages};
}

// --- Make Montage ----------------------------------------------------------------------------

MakeOutcome MontageSession::makeMontage(const MontageRequest& request) { return make(request, MakeMode::Montage); }

MakeOutcome MontageSession::make(const MontageRequest& request, MakeMode mode) {
    MakeOutcome out;
    int line = kLineIncrementRead;
    MontageRequest r = request;
    try {
        makeSteps(r, mode, out, line);
    } catch (...) {
        const RuntimeError e = currentError();
        out.made = false;
        out.stopped = e.stoppedByUser();
        if (out.stopped) forgetStoppedRun();
        else ask(PromptIcon::Critical, genericErrorText(e, e.line() ? e.line() : line, kMontageRoutine), kGenericErrorTitle);
    }
    last_ = out;
    lastRequest_ = r;
    if (out.stopped || !out.nameTaken) return out;
    // The name as typed goes back to the front end (its box and recent list). A run that failed
    // before it took the name, or stopped, leaves them as they are.
    try {
        observer_.firstFileUsed(state_.montage.firstFileName);
    } catch (...) {
        ask(PromptIcon::Critical, genericErrorText(currentError(), kLineFirstFileUsed, kMontageRoutine),
            kGenericErrorTitle);
    }
    return out;
}

void MontageSession::makeSteps(MontageRequest& r, MakeMode mode, MakeOutcome& out, int& line) {
    MontageState& ms = state_.montage;
    const int increment = readIncrement(r, line);

    BusySpan busy(observer_);
    const bool reusing = reusesLoadedPictures(state_.evaluation, increment);
    // The series is read again: a Pyramid Focus run kept from the pictures before is not reused.
    // Decoded pictures kept between runs are let go, and the run with them, only once the series
    // turns out to be another or changed.
    if (!reusing && !options_.reuseDecodedSeries) forgetPyramidRun();
    // A name that names no series (no number before its extension, no first file) is said before
    // anything goes: the series, its windows and the montage stay as they were, as after Load.
    std::optional<SeriesName> series;
    if (!reusing) {
        out.nameTaken = true;
        series = checkSeriesName(r, line);
        if (!series) {
            out.stopped = true;
            return;
        }
    }
    observer_.montageStarting(reusing);
    if (reusing) {
        // A comparison reuses the pictures and montage size of the last run. When that run loaded
        // nothing there is nothing to reuse (its message has been shown).
        if (!ms.seriesReady) {
            out.stopped = true;
            return;
        }
    } else {
        const bool stream = options_.streamPyramid && r.method == FocusMethod::Pyramid && mode == MakeMode::Montage;
        const Step step = stream ? scanSeries(r, *series, line) : loadSeries(r, *series, line);
        if (step != Step::Go) {
            out.stopped = step == Step::Stop;
            return;
        }
        line = kLineMontageSize;
        sizeMontageToFirstPicture(increment);
    }

    line = kLineDisplayArea;
    const float oldW = ms.geometry.W, oldH = ms.geometry.H;
    AreaOutcome fit{};
    try {
        fit = placePictures(r, mode, increment, line);
    } catch (...) {
        // A file of a streamed series that its alignment found it cannot read is said as the
        // loader says it, naming the file; nothing is made.
        if (!streamedPictureRefused()) throw;
        busy.release();
        askAbout(streamed_->failedFile(), PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
        return;
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

    line = kLineArrayFill;
    if (mode == MakeMode::Project) {
        // A project supplies its montage and map itself.
        fillStackWithoutMontage(r, increment);
        out.increment = increment;
    } else {
        runMethod(r, increment, out, line);
    }

    line = kLineFinishing;
    finishMontage(r, out, busy);
    // A streamed series leaves no stack for the commands that reuse one.
    if (streamed_) ms.seriesReady = false;
    if (options_.releaseStackAfterMontage && out.made && !streamed_ && mode == MakeMode::Montage) releaseStack();
}

void MontageSession::sizeMontageToFirstPicture(int increment) {
    MontageState& ms = state_.montage;
    state_.series.pictureWidth = float(streamed_ ? streamed_->pictureWidth(1) : series_.firstWidth(ms.arrays));
    state_.series.pictureHeight = float(streamed_ ? streamed_->pictureHeight(1) : series_.firstHeight(ms.arrays));
    ms.geometry.W = state_.series.pictureWidth;
    ms.geometry.H = state_.series.pictureHeight;
    ms.seriesReady = true;
    observer_.montageSized(ms.geometry.W, ms.geometry.H, increment);
}

// The alignment the request asks for, its progress told and a stop honoured after each picture.
AlignOptions MontageSession::alignOptions(const MontageRequest& r) {
    AlignOptions o;
    o.ignored = r.ignored;
    o.colourMatch = r.colourMatch;
    o.onProgress = [this](const AlignProgress& p) {
        observer_.alignmentProgress(p.done, p.total);
        observer_.progress(RunPhase::Aligning, p.done, p.total);
        observer_.processEvents();
        stopIfAsked();
    };
    return o;
}

AreaOutcome MontageSession::placePictures(const MontageRequest& r, MakeMode mode, int increment, int& line) {
    MontageState& ms = state_.montage;
    const int N = state_.series.imageCount;
    if (r.useOffsets && r.targets) {
        // The target markers' centres of the pictures in use.
        for (int n = 1; n <= N && n <= kMaxPictures; ++n)
            if (!isIgnored(r.ignored, n)) ms.offsets[std::size_t(n)] = (*r.targets)[std::size_t(n)];
    }
    const DisplayArea area = r.area.value_or(DisplayArea::Same); // no tick keeps picture 1's area
    if (r.align && mode == MakeMode::Montage && streamed_) {
        // The maps measured from the files; each picture is warped whenever it is read.
        line = kLineAlignment;
        auto plan = std::make_shared<AlignmentPlan>(measureAlignment(*streamed_, alignOptions(r)));
        streamed_->align(plan);
        ms.alignment = plan->report;
        ms.offsets = OffsetTable{};
        return applyAlignedArea(ms.geometry, *ms.alignment, area);
    }
    if (r.align && mode == MakeMode::Montage) {
        // The pictures are aligned onto the reference's frame before the area is chosen: offsets
        // play no part, and the minimum area is the rectangle every aligned picture covers.
        line = kLineAlignment;
        if (!series_.aligned(r.colourMatch) || !ms.alignment) {
            forgetPyramidRun();
            MessageList messages;
            // The stack is filled at picture 1's size; the montage slot follows the area later.
            const bool filled = series_.fill(ms.arrays, roundToInt16(state_.series.pictureWidth),
                                             roundToInt16(state_.series.pictureHeight), sizeCheck(r.ignored, &messages));
            if (filled) showMessages(messages);
            ms.alignment = alignStack(ms.arrays.stack, alignOptions(r));
            series_.markAligned(r.colourMatch);
        }
        ms.offsets = OffsetTable{};
        return applyAlignedArea(ms.geometry, *ms.alignment, area);
    }
    ms.alignment.reset();
    const AreaInput in{r.useOffsets,
                       area,
                       N,
                       r.ignored,
                       state_.evaluation.evaluationMode,
                       int(state_.series.pictureWidth),
                       int(state_.series.pictureHeight),
                       increment};
    return applyDisplayArea(ms.geometry, ms.offsets, in);
}

void MontageSession::fillStackWithoutMontage(const MontageRequest& r, int increment) {
    // No block loop, but the pictures go into the arrays as for a montage, so that smoothing a
    // reopened project works on its own series.
    MontageState& ms = state_.montage;
    forgetPyramidRun();
    MessageList messages;
    if (series_.fill(ms.arrays, montageSide(ms.geometry.W), montageSide(ms.geometry.H),
                     SizeCheck{r.ignored, false, &messages}))
        showMessages(messages);
    slotHoldsMain_ = false;
    ms.measure.allocate(increment);
    ms.focus = montageFocusContext(MontageRunSettings{increment, r.method, r.ignored, r.useOffsets}, ms.offsets,
                                   ms.geometry, nullptr);
}

void MontageSession::runMethod(const MontageRequest& r, int increment, MakeOutcome& out, int& line) {
    MontageState& ms = state_.montage;
    const int N = state_.series.imageCount;
    // The arrays, the growing preview and the block loop (or Pyramid Focus in its place).
    observer_.processEvents();
    PictureSurface* preview = observer_.previewSurface();
    std::optional<BlankSurface> blank;
    ArraySurfaces surfaces;
    const bool fill = !streamed_ && series_.needsFill();
    if (fill) {
        forgetPyramidRun();
        series_.requireFillMemory(montageSide(ms.geometry.W), montageSide(ms.geometry.H));
        blank.emplace(montageSide(ms.geometry.W), montageSide(ms.geometry.H));
        surfaces = series_.surfaces(*blank);
    }
    MessageList messages;
    MontageRun run = montageRunOver(ms.arrays, ms.measure, ms.focus, ms.geometry, ms.offsets,
                                    MontageRunSettings{increment, r.method, r.ignored, r.useOffsets && !r.align}, N,
                                    options_.threads > 0 ? options_.threads
                                                         : int(std::max(1u, std::thread::hardware_concurrency())));
    run.messages = &messages;
    run.surfaces = fill ? &surfaces : nullptr;
    run.sizeCheck = sizeCheck(r.ignored, &messages);
    run.afterFill = [&] {
        if (fill) series_.filled();
        showMessages(messages);
        if (preview) ms.arrays.loadPreviewArray(*preview);
    };
    run.drawPreview = preview != nullptr;
    // Pyramid Focus measures every picture before its first row: those steps come first.
    int stepsBefore = 0;
    run.onRow = [&](const MontageRowEvent& e) {
        showMessages(messages);
        observer_.blockRowDone(e, ms.arrays);
        observer_.progress(RunPhase::Fusing, stepsBefore + e.row.rowIndex + 1, stepsBefore + e.row.rowCount);
        stopIfAsked();
    };
    PictureChoices choices;
    std::shared_ptr<const DeepPicture> deep;
    ms.evened.clear();
    ms.leftOut.clear();
    if (r.method == FocusMethod::Pyramid) {
        run.montageMethod = [&](const BlockLoopInput& in) {
            PyramidFocusOptions o;
            o.geometry = &ms.geometry;
            o.offsets = &ms.offsets;
            o.useOffsets = r.useOffsets;
            o.ignored = r.ignored;
            o.increment = increment;
            o.pictureCount = N;
            if (ms.alignment) // an aligned picture takes part only where it has pixels of its own
                for (const PictureAlignment& p : ms.alignment->pictures)
                    o.ownAreas.push_back(OwnArea{p.fromReference.m, p.width, p.height, ms.alignment->frameHeight});
            o.drawPreview = in.drawPreview;
            o.onRow = in.onRow;
            const int rows = blockCount(ms.geometry.H, increment);
            // Inside a comparison, what this run reads but the increment, to be matched with the
            // run kept from its earlier montage.
            std::unique_ptr<PyramidRun> settings;
            if ((comparing_ || options_.keepPyramidRunForComparison) && !streamed_) {
                settings = pyramidRunOf(r, o.ownAreas, N);
                if (keptPyramidRunServes(*settings)) return reusePyramidRun(in, increment, choices, deep);
            }
            // After each picture, and between them while the pyramids are collapsed (the strip stays
            // where it was): the window answers and a stop takes effect.
            int doneBefore = 0;
            o.onWait = [&, rows] {
                observer_.progress(RunPhase::Fusing, doneBefore, stepsBefore + rows);
                observer_.processEvents();
                stopIfAsked();
            };
            o.onProgress = [&](int done, int steps) {
                stepsBefore = steps;
                doneBefore = done;
                o.onWait();
            };
            // A 16-bit series is merged at full depth too, its pictures aligned as the 8-bit ones:
            // read from the files one at a time as the merge asks for them.
            std::optional<DeepStackSource> deepSource;
            const std::optional<SeriesName> series = parseSeriesName(completed_);
            if (streamed_) {
                o.source = streamed_.get();
                // A batch run: no window shows the montage slot while it is made.
                o.rangeInMontage = !o.drawPreview;
                o.eightBitFromDeep = options_.eightBitFromDeep;
                streamed_->setReadAhead(true);
                streamed_->setPassedOver(r.ignored); // the merge takes no part of an ignored picture
                streamed_->setMontageMade(true);
            } else if (series && seriesHasDeepPictures(*series, N)) {
                deepSource.emplace(ms.arrays.stack, *series, ms.alignment ? &*ms.alignment : nullptr,
                                   state_.series.orientation, seriesStamps_);
                o.source = &*deepSource;
            }
            // Its levels, with the pictures the source holds meanwhile (a streamed series: the one
            // merged and the one read ahead; the desktop program's 16-bit series: one at full depth),
            // must fit before any is made: out of memory is then a message, not a killed program.
            const std::uint64_t cells = std::uint64_t(roundUp4(int(state_.series.pictureWidth))) *
                                        std::uint64_t(roundUp4(int(state_.series.pictureHeight))) * 3;
            const std::uint64_t sourceBytes = streamed_ ? 2 * (cells + (streamed_->hasDeep() ? 2 * cells : 0))
                                              : deepSource ? 2 * cells
                                                           : 0;
            o.checkMemory = [sourceBytes](std::uint64_t bytes) { requireMemory(bytes + sourceBytes); };
            PyramidFocusResult result = runPyramidFocus(ms.arrays, o);
            // A picture that could not be read at full depth leaves the montage at 8 bits.
            if (deepSource && !deepSource->readWhole()) result.deep = nullptr;
            if (streamed_) {
                streamed_->setReadAhead(false);
                streamed_->setPassedOver({});
                streamed_->setMontageMade(false);
                streamed_->dropKept(); // nothing reads the series again
                // The colour fits are known once every picture has been matched.
                if (streamed_->plan()) ms.alignment = streamed_->plan()->report;
            }
            choices = std::move(result.choices);
            deep = std::move(result.deep);
            ms.evened = std::move(result.evened);
            ms.leftOut = std::move(result.leftOut);
            if (settings) keepPyramidRun(std::move(settings), choices, deep);
            return result.map;
        };
    }
    std::string map;
    try {
        map = runMontage(run);
    } catch (...) {
        showMessages(messages);
        // A file of a streamed series that turned out not to be a picture it can read is said
        // as the loader says it; nothing is made.
        if (streamedPictureRefused()) {
            askAbout(streamed_->failedFile(), PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
            return;
        }
        throw;
    }
    showMessages(messages);

    // The main record: the montage as slot 100 holds it, or the slot's own pixels when nothing
    // reads the slot again.
    MontageRecord& main = ms.main();
    const int montageW = montageSide(ms.geometry.W), montageH = montageSide(ms.geometry.H);
    std::vector<std::uint8_t>& slot = ms.arrays.montage.slot(int(MontageSlot::Main));
    const bool moveSlot = options_.montageInRecordOnly && !preview && ms.arrays.montage.width() == roundUp4(montageW) &&
                          ms.arrays.montage.height() == roundUp4(montageH) &&
                          slot.size() == std::size_t(roundUp4(montageW)) * std::size_t(roundUp4(montageH)) * 3;
    if (moveSlot) {
        // The cells beyond the picture black, as a picture drawn from the slot has them.
        const std::size_t rowBytes = std::size_t(roundUp4(montageW)) * 3;
        for (int y = 0; y < roundUp4(montageH); ++y) {
            std::uint8_t* row = slot.data() + std::size_t(y) * rowBytes;
            const std::size_t from = y < montageH ? std::size_t(montageW) * 3 : 0;
            std::fill(row + from, row + rowBytes, std::uint8_t(0));
        }
        main.picture = MemorySurface(montageW, montageH, std::move(slot));
        slot = std::vector<std::uint8_t>();
    } else {
        main.picture = MemorySurface(montageW, montageH);
        ms.arrays.showMontageArray(main.picture);
    }
    main.map = std::move(map);
    main.properties.clear();
    main.firstFileName = ms.firstFileName;
    main.request = r;
    main.increment = increment;
    main.choices = std::move(choices);
    main.retouch = RetouchHistory{}; // a new montage starts without strokes
    stroke_.reset();
    main.unsaved = true;
    main.deep = std::move(deep);
    main.deepOf = main.deep ? pictureFingerprint(main.picture) : 0;
    main.fromProject = false;
    main.project.clear();
    main.alignment = ms.alignment ? std::make_shared<const AlignmentReport>(*ms.alignment) : nullptr;
    main.madeFrom = seriesStamps_;
    takeFirstPictureMetadata(completed_, main);
    slotHoldsMain_ = !moveSlot;

    // The preview is taken once more from the finished montage: a montage smaller than the
    // preview reaches, in the last preview row of each block row, a montage row that was not
    // made yet.
    line = kLinePreviewRows;
    if (preview)
        scalePictureIntoPreview(ms.arrays, int(MontageSlot::Main), main.picture.pictureWidth(), main.picture.pictureHeight());
    observer_.montageReady(main, ms.arrays, preview != nullptr);
    line = kLineMontageShown;
    out.made = true;
    out.increment = increment;
}

void MontageSession::finishMontage(const MontageRequest& r, MakeOutcome& out, BusySpan& busy) {
    // The windows settle, the properties text, the automatic smoothing.
    observer_.montageFinished();
    buildProperties(r);
    // A properties view opened while the montage was being made shows the finished one's text.
    observer_.propertiesChanged(MontageChoice{}, state_.montage.main().properties);
    if (r.smoothing.autoSmooth == 1 && out.made) {
        busy.release();
        const std::optional<SmoothResult> s = smooth(MontageChoice{}, r, false, observer_.montageVisible(MontageChoice{}),
                                                     kMontageRoutine, kLineFinishing);
        out.smoothed = s && s->outcome == SmoothOutcome::Done;
        if (s) out.smoothing = *s;
    }
}

void MontageSession::buildProperties(const MontageRequest& r) {
    MontageState& ms = state_.montage;
    PropertiesInput p;
    p.firstFileName = ms.firstFileName;
    p.pictureCount = state_.series.imageCount;
    p.ignored = r.ignored;
    p.method = int(r.method);
    p.incrementText = r.incrementText;
    p.autoSmooth = r.smoothing.autoSmooth != 0;
    p.useOffsets = r.useOffsets;
    p.areaSame = r.area == DisplayArea::Same;
    p.areaMinimum = r.area == DisplayArea::Minimum;
    p.areaMaximum = r.area == DisplayArea::Maximum;
    p.offsets = ms.offsets;
    p.map = ms.main().map;
    ms.main().properties = buildPropertiesText(p);
    if (ms.alignment) {
        ms.main().properties = withAlignmentLines(ms.main().properties, *ms.alignment);
        // A project opened again aligns its pictures as they were: matched in colour or not, over
        // the same display area (the minimum one is the rectangle every aligned picture covers).
        const std::string aligned = "  Automatic alignment =yes\r\n";
        if (const std::size_t at = ms.main().properties.find(aligned); at != std::string::npos) {
            const DisplayArea area = r.area.value_or(DisplayArea::Same);
            std::string lines = r.colourMatch ? "  Colour matching =yes\r\n" : "";
            lines += std::string("  Aligned display area =") +
                     (area == DisplayArea::Minimum   ? "Minimum"
                      : area == DisplayArea::Maximum ? "Maximum"
                                                     : "Same") +
                     "\r\n";
            ms.main().properties.insert(at + aligned.size(), lines);
        }
    }
    ms.main().properties = withEvenedLines(ms.main().properties, ms.evened, ms.leftOut);
    ms.main().properties = withOrientationLine(ms.main().properties, state_.series.orientation);
}

std::string withOrientationLine(const std::string& properties, int orientation) {
    if (orientation <= 1 || orientation > 8) return properties;
    // After the count's line, not after the same words inside the first file name.
    const std::string count = "  Number of files found =";
    const std::size_t at = propertiesLine(properties, count);
    const std::size_t end = at == std::string::npos ? std::string::npos : properties.find("\r\n", at);
    const std::string line = "  " + std::string(kCameraOrientationKey) + " =" + std::to_string(orientation) +
                             " (pictures turned upright)\r\n";
    if (end == std::string::npos) return properties + line;
    return properties.substr(0, end + 2) + line + properties.substr(end + 2);
}

MontageRequest projectRequest(const ProjectSettings& s, MontageRequest r, const std::string& programFolder) {
    r.firstFileName = s.firstFileName;
    r.incrementText = s.incrementText;
    r.method = FocusMethod(s.method >= 0 && s.method < kMethodCount ? s.method : 0);
    r.ignored = s.ignored;
    // A smoothed montage is made again with the smoothing pass; one saved unsmoothed leaves the
    // automatic pass as the caller has it.
    if (s.smoothed) r.smoothing.autoSmooth = 1;
    // Alignment and the target markers exclude each other; a project that used neither leaves
    // both as they were.
    if (s.automaticAlignment) {
        r.align = true;
        r.colourMatch = s.colourMatch;
        r.useOffsets = false;
        if (s.alignedArea == ProjectArea::Same) r.area = DisplayArea::Same;
        if (s.alignedArea == ProjectArea::Minimum) r.area = DisplayArea::Minimum;
        if (s.alignedArea == ProjectArea::Maximum) r.area = DisplayArea::Maximum;
    }
    if (s.usesOffsets) {
        r.useOffsets = true;
        r.align = false;
        OffsetTable targets = r.targets.value_or(OffsetTable{});
        for (int i = 1; i <= kMaxPictures; ++i)
            if (const auto& t = s.targets[std::size_t(i)])
                targets[std::size_t(i)] = ImageOffset{std::int16_t(t->first), std::int16_t(t->second)};
        uprightProjectTargets(s, targets, programFolder);
        r.targets = targets;
        if (s.area == ProjectArea::Same) r.area = DisplayArea::Same;
        if (s.area == ProjectArea::Minimum) r.area = DisplayArea::Minimum;
        if (s.area == ProjectArea::Maximum) r.area = DisplayArea::Maximum;
    }
    return r;
}

} // namespace orv
