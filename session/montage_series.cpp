// Make Montage's first steps: the increment read from its box, the series named, and its pictures
// read into the stack (or scanned, for a series streamed one picture at a time); the earlier run's
// pictures go first. The steps that follow are in montage_session.cpp.
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

void MontageSession::releaseStack() {
    MontageState& ms = state_.montage;
    forgetPyramidRun();
    MontageRecord& main = ms.main();
    // Above ten pictures a map digit names a picture only together with the stack: the choices
    // are resolved while it is there.
    if (!main.empty() && main.request.method != FocusMethod::Pyramid && main.choices.pictures.empty() &&
        state_.series.imageCount > 10)
        main.choices = depthChoices(MontageChoice{});
    // The pictures were decoded on other threads, into heaps the montage's writing does not use.
    releasePictureMemory([&] {
        for (std::vector<std::uint8_t>& picture : ms.arrays.stack.pictures) std::vector<std::uint8_t>().swap(picture);
        series_.drop();
    });
    ms.seriesReady = false;
}

void MontageSession::letEarlierStackGo() {
    MontageState& ms = state_.montage;
    if (ms.arrays.stack.pictures.empty()) return;
    MontageRecord& main = ms.main();
    // Above ten pictures a map digit names a picture only together with the stack: the main
    // montage's choices are resolved while its pictures are there, for a run that ends before it
    // makes another.
    const bool stackOfMain = ms.seriesReady && ms.arrays.stack.count == state_.series.imageCount;
    if (stackOfMain && !main.empty() && main.request.method != FocusMethod::Pyramid && main.choices.pictures.empty() &&
        state_.series.imageCount > 10) {
        try {
            main.choices = depthChoices(MontageChoice{});
        } catch (const RuntimeError&) {
            main.choices = PictureChoices{};
        }
    }
    releasePictureMemory([&] { ms.arrays.stack = ImageStack{}; });
}

int MontageSession::readIncrement(MontageRequest& r, int& line) {
    // A value below 10, or one that cannot be read, makes the box "10".
    line = kLineIncrementRead;
    const IncrementBox box = readIncrementBox(r.incrementText);
    if (box.replaced) {
        line = kLineIncrementReplaced;
        r.incrementText = box.text;
        observer_.incrementReplaced(box.text);
    }
    line = kLineIncrementValue;
    return box.increment;
}

// The series the first file names, completed against the program's folder: the naming and
// missing-file messages are said here, and nothing is returned for them.
std::optional<SeriesName> MontageSession::checkSeriesName(const MontageRequest& r, int& line) {
    line = kLineSeriesNaming;
    completed_ = completeSeriesName(r.firstFileName, state_.programFolder);
    if (completed_ != r.firstFileName) observer_.fileNameCompleted(completed_);
    line = kLineSeriesNumbering;
    std::optional<SeriesName> series = parseSeriesName(completed_);
    line = kLineSeriesNaming;
    if (!series) {
        ask(PromptIcon::Critical, kRenameTextMontage, kRenameTitle);
        return std::nullopt;
    }
    if (!fileExists(completed_)) {
        ask(PromptIcon::Exclamation, kMissingFileText, kMissingFileTitle);
        observer_.firstFileMissing(completed_);
        return std::nullopt;
    }
    return series;
}

// The checked series becomes the run's: the earlier series' windows go.
void MontageSession::nameSeries(const MontageRequest& r, const SeriesName& series, int& line) {
    line = kLineSeriesStarting;
    state_.montage.firstFileName = r.firstFileName;
    state_.montage.dropComparisons();
    observer_.seriesStarting(true, r.firstFileName);
    line = kLineSeriesPictures;
    state_.series.numberOffset = series.offset;
    seriesFirst_ = completed_;
}

MontageSession::Step MontageSession::loadSeries(const MontageRequest& r, const SeriesName& series, int& line) {
    MontageState& ms = state_.montage;
    const bool reuse = options_.reuseDecodedSeries && series_.stackHolds(completed_);
    if (!reuse) letEarlierStackGo();
    streamed_.reset();
    state_.series.imageCount = 0;
    ms.seriesReady = false;
    nameSeries(r, series, line);

    if (reuse) {
        // The pictures of this series are in the stack already and have not changed.
        state_.series.imageCount = ms.arrays.stack.count;
        observer_.seriesLoaded(state_.series.imageCount, true);
        return Step::Go;
    }
    forgetPyramidRun();
    // A 16-bit series is read at full depth one picture at a time beside its 8-bit cells (by
    // Pyramid Focus's merge, and by the block methods' save): when that does not fit it is refused
    // before any picture is read, as a picture that does not fit is.
    if (!deepSeriesFits(completed_)) return seriesEnd(7, 0, false, completed_);
    const SeriesResult read = decodeSeries(series, series_.startReading());
    line = kLineSeriesFailure;
    if (const Step end = seriesEnd(read.failure, read.count, read.invalidPicture, read.currentFileName);
        end != Step::Go)
        return end;
    series_.finishReading(completed_);
    seriesStamps_ = stampSeries(series, read.count);
    return Step::Go;
}

MontageSession::Step MontageSession::seriesEnd(int failure, int count, bool invalidPicture,
                                               const std::string& fileName) {
    if (failure) {
        // Memory ran out, or a number passed 16 bits: an error, not the end of the series.
        series_.drop();
        askAbout(fileName, PromptIcon::Critical,
                 genericErrorText(RuntimeError(failure), kLineSeriesFailure, kMontageRoutine), kGenericErrorTitle);
        observer_.seriesLoaded(count, true);
        return Step::Stop;
    }
    observer_.seriesLoaded(count, true);
    if (invalidPicture) {
        series_.drop();
        askAbout(fileName, PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
        // A first file that does not load is no series: its name stays out of the recent list.
        return count == 0 ? Step::Stop : Step::Finish;
    }
    // Not even the first picture loaded: there is nothing to make a montage of.
    if (count == 0) {
        series_.drop();
        return Step::Stop;
    }
    return Step::Go;
}

MontageSession::Step MontageSession::scanSeries(const MontageRequest& r, const SeriesName& series, int& line) {
    MontageState& ms = state_.montage;
    forgetPyramidRun();
    streamed_.reset();
    // The stack holds no picture of a streamed series, only its cells' size.
    series_.drop();
    ms.arrays.stack = ImageStack{};
    ms.alignment.reset();
    state_.series.imageCount = 0;
    ms.seriesReady = false;
    nameSeries(r, series, line);
    const int limit = options_.maxPictures > 0 ? std::min(options_.maxPictures, kMaxSeriesPictures) : kMaxSeriesPictures;
    const SeriesScan scan = orv::scanSeries(series, limit, [&](int k) {
        state_.series.imageCount = std::int16_t(k);
        observer_.progress(RunPhase::Reading, k, 0);
        observer_.processEvents();
        stopIfAsked();
    });
    state_.series.imageCount = std::int16_t(scan.count);
    state_.series.currentFileName = scan.currentFileName;
    state_.series.orientation = scan.orientation;
    line = kLineSeriesFailure;
    if (const Step end = seriesEnd(scan.failure, scan.count, scan.invalidPicture, scan.currentFileName);
        end != Step::Go)
        return end;
    seriesStamps_ = stampSeries(series, scan.count);
    streamed_ = std::make_unique<StreamedSeries>(series, scan);
    // An aligned series is read three times (measured, then warped for each of Pyramid Focus's two
    // passes): kept, each file is read and warped once. Unaligned, reading ahead on the second core
    // hides most of the reading, and the pictures are not held.
    if (options_.keepStreamedBytes > 0 && r.align)
        streamed_->keepWithin(std::min(options_.keepStreamedBytes, availableMemory() / 4));
    ImageStack& stack = ms.arrays.stack;
    stack.lastColumn = toInt16(streamed_->width() - 1);
    stack.lastRow = toInt16(streamed_->height() - 1);
    // Pictures of another size than the first are said, as the stack's fill says them.
    MessageList messages;
    const SizeCheck check = sizeCheck(r.ignored, &messages);
    checkSameSize(scan.sizes, check);
    showMessages(messages);
    return Step::Go;
}

} // namespace orv
