// The Load command: the series named in the file-name box read picture by picture, each shown as
// it comes, with the lines its failures are reported with.
#include "session/montage_session.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "input/deep_reader.h"
#include "input/series_loader.h"
#include "output/picture_metadata.h"

#include <climits>

namespace orv {

SeriesResult MontageSession::decodeSeries(const SeriesName& series, std::vector<std::unique_ptr<MemorySurface>>& into,
                                          bool keepCells) {
    // File after file until one does not load or 30 are loaded; each picture is shown as it comes,
    // turned upright by the first picture's orientation tag (a camera pointing down may tag its
    // shots differently while it stores their pixels alike: one tag keeps them registered).
    state_.series.orientation = readPictureOrientation(series.fileName(1));
    pictureStamps_.clear();
    std::vector<QImage> shown;
    const SeriesResult r = loadSeriesSurfaces(
        series, into,
        [&](int k) {
            // The window takes the shown picture over; the session keeps no copy of it.
            QImage picture = shown.empty() ? QImage() : std::move(shown[std::size_t(k - 1)]);
            MemorySurface& cells = *into[std::size_t(k - 1)];
            // The file as its window's picture was read from it, for the window's saving.
            PictureFileStamp stamp = stampPictureFile(series.fileName(k));
            if (stamp.exists) stamp.bits = deepFileBits(stamp.name) == 16 ? 16 : 8;
            pictureStamps_.resize(std::size_t(k - 1));
            pictureStamps_.push_back(std::move(stamp));
            observer_.pictureLoaded(k, series.fileName(k), cells, std::move(picture));
            if (!keepCells) {
                // The window holds the picture now: its cells go at once, not when the whole series
                // is in (a series of large pictures would otherwise be held twice at the end).
                std::vector<std::uint8_t> released;
                cells.takePixels(released, cells.roundedWidth(), roundUp4(cells.pictureHeight()));
            }
            state_.series.imageCount = std::int16_t(k);
            observer_.progress(RunPhase::Reading, k, 0);
            observer_.processEvents();
            stopIfAsked();
        },
        [&] { ask(PromptIcon::Critical, kLimitText, kLimitTitle); }, observer_.showsPictures() ? &shown : nullptr,
        options_.maxPictures > 0 ? options_.maxPictures : INT_MAX, state_.series.orientation);
    state_.series.imageCount = std::int16_t(r.count);
    state_.series.currentFileName = r.currentFileName;
    return r;
}

LoadOutcome MontageSession::load(const std::string& typed, bool reportMissing) {
    BusySpan busy(observer_);
    int line = kLoadStarting;
    try {
        // The completed name, the digit test, the first file. A name that loads nothing leaves the
        // series, its windows and the montage as they were.
        line = kLoadNaming;
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
        // An empty stack; the windows of the earlier series go.
        line = kLoadStarting;
        state_.series.imageCount = 0;
        seriesFirst_ = completed_;
        state_.montage.dropComparisons();
        observer_.seriesStarting(false, typed);
        line = kLoadNumbering;
        state_.series.numberOffset = series->offset;

        // File after file until one does not load or 30 are loaded.
        line = kLoadPictures;
        std::vector<std::unique_ptr<MemorySurface>> pictures;
        const SeriesResult r = decodeSeries(*series, pictures, false);
        if (r.failure) {
            // Memory ran out, or a number passed 16 bits: an error, not the end of the series.
            busy.release();
            askAbout(r.currentFileName, PromptIcon::Critical,
                     genericErrorText(RuntimeError(r.failure), kLoadPictureFailure, kLoadRoutine), kGenericErrorTitle);
            observer_.seriesLoaded(r.count, false);
            return LoadOutcome::Failed;
        }
        // A file of the series that is there but cannot be read is said so, not passed over.
        if (r.invalidPicture) askAbout(r.currentFileName, PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);

        // Sizes, then the windows.
        line = kLoadSizes;
        state_.series.pictureWidth = r.count ? float(pictures[0]->pictureWidth()) : 0;
        state_.series.pictureHeight = r.count ? float(pictures[0]->pictureHeight()) : 0;
        observer_.seriesLoaded(r.count, false);
        return r.count > 0 ? LoadOutcome::Loaded : LoadOutcome::Failed;
    } catch (...) {
        const RuntimeError e = currentError();
        busy.release();
        if (e.stoppedByUser()) {
            // The pictures read so far stay: they are whole, and shown.
            series_.drop();
            state_.montage.seriesReady = false;
            observer_.seriesLoaded(state_.series.imageCount, false);
            return LoadOutcome::Stopped;
        }
        ask(PromptIcon::Critical, genericErrorText(e, line, kLoadRoutine), kGenericErrorTitle);
        return LoadOutcome::Failed;
    }
}

} // namespace orv
