// The montage records written out: pictures in every format and depth maps (projects are in
// montage_project.cpp).
#include "session/montage_session.h"
#include "session/montage_saving.h"

#include "align/deep_warp.h"
#include "base/file_identity.h"
#include "base/runtime_error.h"
#include "fusion/deep_assembly.h"
#include "input/deep_reader.h"
#include "input/memory_budget.h"
#include "input/picture_file.h"
#include "input/picture_orientation.h"
#include "input/series_loader.h"
#include "input/series_naming.h"
#include "output/deep_output.h"
#include "output/depth_map.h"
#include "output/temp_bmp.h"
#include "retouch/deep_retouch.h"
#include "session/conversion_run.h"


#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

BgrView viewOf(const MemorySurface& picture) {
    return BgrView{picture.rounded().data(), picture.pictureWidth(), picture.pictureHeight(),
                   std::size_t(picture.roundedWidth()) * 3};
}

WriteProgress savingProgress(SessionObserver& observer) {
    return [&observer](int done, int total) {
        observer.progress(RunPhase::Saving, done, total);
        observer.processEvents();
        return !observer.stopRequested();
    };
}

namespace {

// The temporary BMP the conversion program reads, removed on every way out (it was created
// exclusively for this save, so it is ours to delete).
struct TempBmp {
    std::string path;
    bool withMetadata = false; // the metadata file beside it, for the conversion program
    ~TempBmp() {
        if (!path.empty()) ::unlink(path.c_str());
        if (withMetadata) ::unlink((path + ".meta").c_str());
    }
};

void sayMetadataProblem(const SaveMontageOptions& options, const std::string& line) {
    if (options.metadataProblem) options.metadataProblem(line);
    else std::fprintf(stderr, "orvanta: %s\n", line.c_str());
}

// The lines of the conversion program's standard error, without its name before them.
std::vector<std::string> conversionNotes(const std::string& message) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < message.size()) {
        std::size_t end = message.find('\n', at);
        if (end == std::string::npos) end = message.size();
        std::string line = message.substr(at, end - at);
        const std::string prefix = "orvantajpeg: ";
        if (line.compare(0, prefix.size(), prefix) == 0) line.erase(0, prefix.size());
        if (!line.empty()) lines.push_back(line);
        at = end + 1;
    }
    return lines;
}

} // namespace

PictureChoices MontageSession::depthChoices(const MontageChoice& which) const {
    const MontageState& ms = state_.montage;
    const MontageRecord& record = ms.record(which);
    // Pyramid Focus keeps its choices per pixel; a smoothed block montage keeps its blocks'.
    if (record.request.method == FocusMethod::Pyramid || !record.choices.pictures.empty()) return record.choices;
    // A block montage: each block takes the picture its map names.
    return blockChoices(record.map,
                        BlockChoiceContext{&ms.geometry, record.increment, state_.series.imageCount, &ms.arrays, &ms.focus});
}

// The largest picture side the stack holds (sides rounded up to multiples of 4 must fit 16 bits).
constexpr int kLargestSide = 32764;

bool deepSeriesFits(const std::string& firstPicture) {
    const std::optional<SeriesName> series = parseSeriesName(firstPicture);
    if (!series) return true;
    std::vector<DeepPictureSize> sizes;
    bool deep = false;
    // The pictures are counted as they are held: turned upright by the first picture's tag.
    const int orientation = readPictureOrientation(firstPicture);
    for (int n = 1; n <= kMaxPictures; ++n) {
        const std::string name = series->fileName(n);
        if (!fileExists(name)) break;
        DeepExtent e = deepFileExtent(name);
        // A picture that is neither TIFF nor PNG keeps the series at 8 bits; one whose sides the
        // reader refuses is said to be no picture when it is read.
        if (e.width <= 0 || e.height <= 0 || e.width > kLargestSide || e.height > kLargestSide) return true;
        deep = deep || e.bits == 16;
        uprightSides(orientation, e.width, e.height);
        sizes.push_back(DeepPictureSize{e.width, e.height, e.channels});
    }
    if (!deep) return true;
    // The first picture's metadata goes into the saved montage, which is then held three times.
    std::vector<std::string> problems;
    const SavedMetadata metadata =
        readPictureMetadata(firstPicture, problems).empty() ? SavedMetadata::None : SavedMetadata::WrittenIn;
    return deepSeriesMemoryNeed(sizes, metadata) <= availableMemory();
}

bool seriesHasDeepPictures(const SeriesName& series, int count) {
    for (int n = 1; n <= count; ++n)
        if (deepFileBits(series.fileName(n)) == 16) return true;
    return false;
}

bool seriesMixesDepths(const std::string& firstPicture, int count) {
    const std::optional<SeriesName> series = parseSeriesName(firstPicture);
    if (!series) return false;
    bool eight = false, sixteen = false;
    for (int n = 1; n <= count; ++n) {
        const std::string name = series->fileName(n);
        const int bits = deepFileBits(name);
        sixteen = sixteen || bits == 16;
        eight = eight || bits != 16; // JPEG, BMP and GIF pictures are 8-bit too
    }
    return eight && sixteen;
}

namespace {

// How far the 8-bit view of an aligned deep montage may lie from the 8-bit montage: the 8-bit
// warp interpolates and colour-matches rounded 8-bit values, the deep one 16-bit values, so the
// two round apart by a level or two.
constexpr int kAlignedLevels = 2;

// Whether the 8-bit view of `deep` is `eight` (within `levels` in every channel).
bool viewMatches(const DeepPicture& deep, const MemorySurface& eight, int levels) {
    if (deep.width != eight.pictureWidth() || deep.height != eight.pictureHeight()) return false;
    const int c1 = deep.channels == 1 ? 0 : 1, c2 = deep.channels == 1 ? 0 : 2;
    for (int y = 0; y < deep.height; ++y) {
        const std::uint16_t* row = deep.row(y);
        for (int x = 0; x < deep.width; ++x) {
            const std::uint8_t* cell = eight.pixelAt(x, y); // blue, green, red
            const std::uint16_t* px = row + std::size_t(x) * std::size_t(deep.channels);
            if (std::abs(eightBitsOf(px[0]) - cell[2]) > levels || std::abs(eightBitsOf(px[c1]) - cell[1]) > levels ||
                std::abs(eightBitsOf(px[c2]) - cell[0]) > levels)
                return false;
        }
    }
    return true;
}

} // namespace

std::shared_ptr<const DeepPicture> MontageSession::deepMontage(const MontageChoice& which, std::string* why) const {
    // While a saving waits for the deep montage, the strip moves and a stop ends it.
    auto stopSavingIfAsked = [this] {
        observer_.progress(RunPhase::Saving, 0, 0);
        observer_.processEvents();
        if (observer_.stopRequested()) throw RuntimeError(kUserInterrupt);
    };
    const MontageRecord& record = this->record(which);
    std::string unused;
    std::string& reason = why ? *why : unused;
    reason.clear();
    const int count = state_.series.imageCount;
    const std::optional<SeriesName> series = parseSeriesName(completed_);
    if (record.empty() || !series || count <= 0) return nullptr;
    // The series is 16-bit as it was read for the montage: a file written again since at 8 bits
    // does not make it an 8-bit one (nor one re-shot at 16 bits a 16-bit one).
    const std::vector<PictureFileStamp>& madeFrom = record.madeFrom;
    const bool depthsKnown =
        madeFrom.size() >= std::size_t(count) &&
        std::all_of(madeFrom.begin(), madeFrom.begin() + count, [](const PictureFileStamp& s) { return s.bits != 0; });
    const bool deepSeries = depthsKnown ? std::any_of(madeFrom.begin(), madeFrom.begin() + count,
                                                      [](const PictureFileStamp& s) { return s.bits == 16; })
                                        : seriesHasDeepPictures(*series, count);
    if (!deepSeries) return nullptr;
    // Picture n's file is no longer the one read for the montage (re-shot, or replaced by another
    // file of the same name): its samples are not the montage's.
    auto changedSinceMade = [&](int n) {
        return std::size_t(n) <= madeFrom.size() &&
               !stillStampedFile(series->fileName(n), madeFrom[std::size_t(n - 1)]);
    };
    auto changedText = [](int n) { return "picture " + std::to_string(n) + " was changed after the montage was made"; };
    const bool pyramid = record.request.method == FocusMethod::Pyramid;
    if (pyramid && !record.deep) {
        // A project keeps Pyramid Focus's montage at 8 bits only.
        reason = record.fromProject ? "a project keeps it at 8 bits (make the montage again)"
                 : record.request.align && !record.alignment
                     ? "the aligned pictures are no longer at hand (make the montage again)"
                     : "its pictures cannot all be read at full depth";
        return nullptr;
    }
    // The 8-bit picture as its method made it: the strokes painted since taken off a copy.
    const std::vector<RetouchStep>& strokes = record.retouch.done;
    MemorySurface unpainted;
    if (!strokes.empty()) {
        unpainted = record.picture;
        for (auto step = strokes.rbegin(); step != strokes.rend(); ++step) step->kept->undo(montageRaster(unpainted));
    }
    const MemorySurface& made = strokes.empty() ? record.picture : unpainted;
    if (pyramid && record.deepOf != pictureFingerprint(made)) {
        reason = "the montage was changed after it was made";
        return nullptr;
    }
    // What the save holds beside what is held already, checked before anything is read or made:
    // the montage at full depth (Pyramid Focus's is made already, and copied when strokes are
    // painted on it), a picture at full depth for each picture the strokes paint from, and the
    // larger of the picture being read and the file encoded in memory (three times over with the
    // first picture's metadata written in). Pictures are counted at the montage's size. A save
    // that does not fit is error 7, and the montage stays as it is.
    const std::uint64_t deepBytes = std::uint64_t(made.pictureWidth()) * std::uint64_t(made.pictureHeight()) * 3 * 2;
    const std::uint64_t fileBytes = encodedPictureBytes(made.pictureWidth(), made.pictureHeight(), 3, 16) *
                                    (record.metadata && !record.metadata->empty() ? 3 : 1);
    if (pyramid && strokes.empty()) {
        requireMemory(fileBytes);
        return record.deep;
    }
    {
        std::vector<char> painted(std::size_t(count) + 1, 0);
        std::uint64_t keptPictures = 0;
        for (const RetouchStep& step : strokes)
            if (step.stroke.picture >= 1 && step.stroke.picture <= count && !painted[std::size_t(step.stroke.picture)]++)
                ++keptPictures;
        if (!strokes.empty())
            for (const SmoothedOverStrokes& pass : record.retouch.smoothed)
                for (const std::uint16_t n : pass.blocks.pictures)
                    if (n >= 1 && n <= count && !painted[n]++) ++keptPictures;
        requireMemory(deepBytes + keptPictures * deepBytes + std::max(pyramid ? 0 : deepBytes, fileBytes));
    }
    // An aligned montage needs the alignment it was made with (an opened project has none).
    const AlignmentReport* alignment = record.request.align ? record.alignment.get() : nullptr;
    if (record.request.align && !alignment) {
        reason = "the aligned pictures are no longer at hand (make the montage again)";
        return nullptr;
    }

    // The pictures the strokes paint from, and those that smoothing passes over the strokes took
    // blocks from, are kept until they are painted; every other picture is read, placed into the
    // montage and let go before the next is read, so that the series is never held at full depth
    // as a whole.
    static const std::vector<SmoothedOverStrokes> none;
    const std::vector<SmoothedOverStrokes>& passes = strokes.empty() ? none : record.retouch.smoothed;
    std::vector<char> paintedFrom(std::size_t(count) + 1, 0);
    for (const RetouchStep& step : strokes) {
        const int n = step.stroke.picture;
        if (n < 1 || n > count) {
            reason = "a stroke names a picture that is not in the series";
            return nullptr;
        }
        paintedFrom[std::size_t(n)] = 1;
    }
    for (const SmoothedOverStrokes& pass : passes) {
        if (largestChoice(pass.blocks) > count) throw RuntimeError(5);
        for (const std::uint16_t n : pass.blocks.pictures) paintedFrom[n] = 1;
    }
    paintedFrom[0] = 0;
    // Pyramid Focus's strokes are painted again from their pictures read anew, and no pixel of
    // them is checked against the montage shown: a picture written again since the montage was
    // made (a re-shot series) would put its own pixels under the strokes.
    if (pyramid)
        for (int n = 1; n <= count; ++n)
            if (paintedFrom[std::size_t(n)] && changedSinceMade(n)) {
                reason = changedText(n);
                return nullptr;
            }

    const MontageState& ms = state_.montage;
    const MontageGeometry& g = ms.geometry;
    // An aligned picture is warped into the stack, whose size follows the first picture.
    int stackWidth = 0, stackHeight = 0;
    if (alignment && pyramid) {
        const DeepExtent first = deepFileExtent(series->fileName(1));
        if (first.width <= 0 || first.height <= 0) {
            reason = "picture 1 cannot be read at full depth";
            return nullptr;
        }
        int w = first.width, h = first.height;
        uprightSides(state_.series.orientation, w, h);
        stackWidth = roundUp4(w);
        stackHeight = roundUp4(h);
    }
    std::vector<DeepPicture> kept(std::size_t(count) + 1);
    std::vector<DeepSource> sources(std::size_t(count) + 1);
    DeepPicture current;
    std::shared_ptr<DeepPicture> out;
    PictureChoices choices;
    if (pyramid) {
        out = std::make_shared<DeepPicture>(*record.deep);
    } else {
        choices = depthChoices(which);
        if (largestChoice(choices) > count) throw RuntimeError(5);
    }
    // A block montage takes pixels only from the pictures its choices name (an ignored picture, or
    // one no block chose, gives none): the others are not read again. Their headers still say
    // whether one is in colour, which makes the montage colour as reading it did.
    std::vector<char> named(std::size_t(count) + 1, 0);
    for (const std::uint16_t n : choices.pictures)
        if (n >= 1 && n <= count) named[n] = 1;
    bool colour = false;
    int bits = 8;
    for (int n = 1; n <= count; ++n) {
        // Pyramid Focus's deep picture is merged already: only the strokes' pictures are read.
        if (pyramid && !paintedFrom[std::size_t(n)]) continue;
        if (!pyramid && !named[std::size_t(n)] && !paintedFrom[std::size_t(n)]) {
            const DeepExtent e = deepFileExtent(series->fileName(n));
            if (e.width <= 0 || e.height <= 0) {
                reason = "picture " + std::to_string(n) + " cannot be read at full depth";
                return nullptr;
            }
            if (n == 1) {
                int w = e.width, h = e.height;
                uprightSides(state_.series.orientation, w, h);
                stackWidth = roundUp4(w);
                stackHeight = roundUp4(h);
            }
            colour = colour || e.channels != 1;
            continue;
        }
        // The pictures are read again at full depth before the montage is saved: the window
        // events run between them and a stop asked meanwhile ends the saving here.
        stopSavingIfAsked();
        if (changedSinceMade(n)) {
            reason = changedText(n);
            return nullptr;
        }
        DeepPicture& p = paintedFrom[std::size_t(n)] ? kept[std::size_t(n)] : current;
        if (readDeepPicture(series->fileName(n), p, nullptr, state_.series.orientation) != DecodeStatus::Ok) {
            reason = "picture " + std::to_string(n) + " cannot be read at full depth";
            return nullptr;
        }
        // Written again while it was read: what was read may be either picture.
        if (changedSinceMade(n)) {
            reason = changedText(n);
            return nullptr;
        }
        if (n == 1) {
            stackWidth = roundUp4(p.width);
            stackHeight = roundUp4(p.height);
        }
        if (alignment && !alignDeepPicture(p, *alignment, n, stackWidth, stackHeight)) {
            reason = "picture " + std::to_string(n) + " is not the picture that was aligned";
            return nullptr;
        }
        if (p.bitsPerSample == 16) bits = 16;
        // Montage pixel (x, y) was read from picture n at (x + ox, y + oy), as the focus measure
        // places it: the display area's shifts, and the offsets where the method used them (an
        // aligned montage has none; Pyramid Focus only with "Use Image Offsets").
        const bool offsets = (!pyramid || record.request.useOffsets) && !record.request.align && n <= kMaxPictures;
        const ImageOffset t = offsets ? placedOffset(record, n) : ImageOffset{};
        DeepSource& source = sources[std::size_t(n)];
        source.picture = &p;
        source.ox = t.x - g.shiftX;
        source.oy = g.dY - t.y + g.shiftY;
        source.cellsWidth = stackWidth;
        source.cellsHeight = stackHeight;
        if (pyramid) continue;
        // The montage is grey while every picture read is; the first in colour spreads it.
        if (!out) out = std::make_shared<DeepPicture>(choices.width, choices.height, p.channels == 1 ? 1 : 3);
        if (out->channels == 1 && p.channels != 1) *out = spreadToColour(*out);
        assembleDeepFrom(*out, choices, n, source);
    }
    current = DeepPicture{};
    if (!pyramid) {
        if (!out && count > 0) out = std::make_shared<DeepPicture>(choices.width, choices.height, colour ? 3 : 1);
        if (!out) return nullptr;
        if (out->channels == 1 && colour) *out = spreadToColour(*out);
        out->bitsPerSample = bits;
        // Its 8-bit view must be the picture the method made: pixel for pixel, or within the
        // rounding of the two warps for an aligned series. (A pass over strokes replaced blocks
        // that taking the strokes off does not bring back: that montage is checked once its
        // strokes and passes are made again.)
        if (passes.empty() && !viewMatches(*out, made, alignment ? kAlignedLevels : 0)) {
            reason = "the montage was changed after it was made";
            return nullptr;
        }
    }
    if (strokes.empty()) return out;

    // The strokes painted again at full depth, from the same pictures with the same gains.
    if (out->width != made.pictureWidth() || out->height != made.pictureHeight()) {
        reason = "the montage's size is not its choices' size";
        return nullptr;
    }
    stopSavingIfAsked();
    // The smoothing passes run after the first `painted` strokes replace their blocks again.
    std::size_t pass = 0;
    auto replaceBlocks = [&](std::size_t painted) {
        for (; pass < passes.size() && std::size_t(passes[pass].strokes) <= painted; ++pass)
            for (int n = 1; n <= count; ++n)
                if (sources[std::size_t(n)].picture) assembleDeepFrom(*out, passes[pass].blocks, n, sources[std::size_t(n)]);
    };
    for (std::size_t k = 0; k < strokes.size(); ++k) {
        replaceBlocks(k);
        const RetouchStep& step = strokes[k];
        const DeepSource& s = sources[std::size_t(step.stroke.picture)];
        // Montage row y from the top is row H - 1 - y from the bottom, read from the picture's
        // row H - 1 - y + oy from the bottom, which is its row y + height - H - oy from the top.
        const retouch::DeepPlacement placement{s.picture, s.ox, s.picture->height - out->height - s.oy};
        const double* gain = step.kept->gain();
        retouch::paintDeepStroke(*out, placement, step.stroke, {gain[0], gain[1], gain[2]});
    }
    // The passes after the last stroke (a pass run over strokes undone since counts as run after
    // the strokes left, and Undo wrote its blocks again over the pixels it put back).
    replaceBlocks(std::numeric_limits<std::size_t>::max());
    // The strokes round at 16 bits where the 8-bit ones rounded at 8: a level apart at most.
    // (Pyramid Focus merges its deep picture apart from the 8-bit one; its fingerprint stands.)
    if (!pyramid && !viewMatches(*out, record.picture, (alignment ? kAlignedLevels : 0) + 1)) {
        reason = "its strokes cannot be painted at full depth";
        return nullptr;
    }
    return out;
}

void MontageSession::writeDepthMap(const MontageChoice& which, const std::string& path) const {
    observer_.progress(RunPhase::Saving, 0, 0);
    orv::writeDepthMap(path, depthChoices(which), state_.series.imageCount, savingProgress(observer_));
}

void takeFirstPictureMetadata(const std::string& firstPicture, MontageRecord& record) {
    std::vector<std::string> problems;
    // Only the file the montage was made from lends it its camera metadata: a picture 1 written
    // again since (a re-shot series) is another photograph's. Looked at before and after the
    // reading, so that one replaced meanwhile is not taken either.
    const PictureFileStamp* made = record.madeFrom.empty() ? nullptr : &record.madeFrom.front();
    auto unchanged = [&] { return !made || stillStampedFile(firstPicture, *made); };
    PictureMetadata m;
    if (unchanged()) m = readPictureMetadata(firstPicture, problems);
    if (!unchanged()) {
        m = PictureMetadata{};
        problems = {"the montage is saved without the camera metadata: " + firstPicture +
                    " was changed after it was read"};
    }
    record.metadata = m.empty() ? nullptr : std::make_shared<const PictureMetadata>(std::move(m));
    record.metadataProblems = std::move(problems);
}

std::string savePicture(const BgrView& picture, const std::string& path, const SaveMontageOptions& options,
                        const DeepPicture* deep) {
    const PictureMetadata* metadata = options.picture.metadata;
    const WriteProgress& progress = options.picture.writeProgress;
    if (options.conversionFolder && pictureFormatFor(path) == PictureFormat::Jpeg) {
        // The conversion program reads a temporary BMP (and the metadata file beside it) and
        // writes the JPEG beside the target; it is waited for, so the temporary files go only
        // after they have been read. Told as two stages: the temporary BMP's rows, then the
        // program's steps.
        TempBmp temp;
        try {
            temp.path = writeTempBmp(picture, stageOfTwo(progress, false));
            if (metadata && !metadata->empty()) {
                writeFileAtomically(temp.path + ".meta", metadataFileBytes(*metadata));
                temp.withMetadata = true; // ours only once written: a failed write left none
            }
        } catch (...) {
            // A full or closed temporary folder is said as such: the target's folder may well
            // have room, and the generic message would point there.
            const RuntimeError e = currentError();
            if (e.stoppedByUser() || e.number() == 7) throw;
            return temporaryBmpFailureText(e.description(), temporaryBmpFolder(), path);
        }
        ConversionProgress converting;
        if (progress) {
            const int rows = picture.height;
            converting = [&progress, rows](int steps) {
                return progress(rows + int(std::int64_t(rows) * steps / kConversionSteps), 2 * rows);
            };
        }
        const ConversionRun run = runConversion(*options.conversionFolder, temp.path, path, converting);
        if (run.stopped) throw RuntimeError(kUserInterrupt);
        if (!run.succeeded()) return conversionFailureText(run, *options.conversionFolder, path);
        for (const std::string& line : conversionNotes(run.message)) sayMetadataProblem(options, line);
        return {};
    }
    std::vector<std::string> problems;
    PictureWriteOptions picture_options = options.picture;
    picture_options.metadataProblems = &problems;
    // TIFF and PNG hold the full-depth picture at 16 bits; every other format the 8-bit one.
    const PictureFormat format = options.picture.format ? *options.picture.format : pictureFormatFor(path);
    if (deep && (format == PictureFormat::Tiff || format == PictureFormat::Png))
        writeDeepPicture(path, *deep, 16, picture_options);
    else
        writePicture(path, picture, picture_options);
    for (const std::string& line : problems) sayMetadataProblem(options, line);
    return {};
}

std::string MontageSession::saveMontage(const MontageChoice& which, const std::string& path,
                                        const SaveMontageOptions& options) const {
    const MontageRecord& record = this->record(which);
    if (record.empty()) throw RuntimeError(5);
    SaveMontageOptions withRecord = options;
    withRecord.picture.metadata = record.metadata.get();
    if (!withRecord.picture.writeProgress) withRecord.picture.writeProgress = savingProgress(observer_);
    observer_.progress(RunPhase::Saving, 0, 0);
    const PictureFormat format = pictureFormatFor(path);
    if (format == PictureFormat::Jpeg || format == PictureFormat::Tiff || format == PictureFormat::Png)
        for (const std::string& line : record.metadataProblems) sayMetadataProblem(options, line);
    // A montage of a 16-bit series is saved at 16 bits.
    std::shared_ptr<const DeepPicture> deep;
    if (format == PictureFormat::Tiff || format == PictureFormat::Png) {
        std::string why;
        deep = deepMontage(which, &why);
        if (!deep && !why.empty()) sayMetadataProblem(options, "the montage is saved at 8 bits per sample: " + why);
    }
    return savePicture(viewOf(record.picture), path, withRecord, deep.get());
}

int MontageSession::seriesPictureNamed(const std::string& path) const {
    if (path.empty()) return 0;
    // The series read last, and the one last named should a Load of it have found nothing.
    for (const std::string* first : {&seriesFirst_, &completed_})
        if (!first->empty())
            if (const int n = pictureNamed(path, seriesFilesThere(*first))) return n;
    return 0;
}

bool MontageSession::namesAnotherSeries(const MontageRequest& request) const {
    const MontageRecord& main = record({});
    if (main.empty()) return false;
    const std::string asked = completeSeriesName(request.firstFileName, state_.programFolder);
    const std::string madeFrom = completeSeriesName(main.firstFileName, state_.programFolder);
    if (asked == madeFrom) return false;
    // A name Make Montage refuses (no number before the dot, no such first file) replaces nothing.
    bool numbered = false;
    try {
        numbered = parseSeriesName(asked).has_value();
    } catch (const RuntimeError&) {
    }
    const FileIdentity askedFile = identifyFile(asked);
    if (!numbered || !askedFile.exists) return false;
    return !sameRegularFile(askedFile, identifyFile(madeFrom));
}

bool MontageSession::seriesChangedSinceMainMontage(const MontageRequest& request) const {
    const MontageRecord& main = record({});
    if (main.empty() || main.madeFrom.empty()) return false;
    // A name Make Montage refuses (no number before the dot, no such first file) replaces nothing.
    const std::string asked = completeSeriesName(request.firstFileName, state_.programFolder);
    try {
        if (!parseSeriesName(asked)) return false;
    } catch (const RuntimeError&) {
        return false;
    }
    if (!identifyFile(asked).exists) return false;
    return pictureFilesChanged(main.madeFrom);
}

PictureFileStamp stampPictureFile(const std::string& name) {
    PictureFileStamp stamp;
    stamp.name = name;
    struct stat st{};
    if (::stat(name.c_str(), &st) != 0) return stamp;
    stamp.exists = true;
    stamp.device = std::uint64_t(st.st_dev);
    stamp.inode = std::uint64_t(st.st_ino);
    stamp.size = std::uint64_t(st.st_size);
    stamp.modifiedSeconds = st.st_mtim.tv_sec;
    stamp.modifiedNanoseconds = st.st_mtim.tv_nsec;
    return stamp;
}

bool stillStampedFile(const std::string& name, const PictureFileStamp& stamp) {
    return stamp.exists && stampPictureFile(name).sameFile(stamp);
}

bool pictureFilesChanged(const std::vector<PictureFileStamp>& stamps) {
    return std::any_of(stamps.begin(), stamps.end(),
                       [](const PictureFileStamp& s) { return !(stampPictureFile(s.name) == s); });
}

std::vector<PictureFileStamp> MontageSession::stampSeries(const SeriesName& series, int count) const {
    std::vector<PictureFileStamp> stamps;
    try {
        for (int n = 1; n <= count; ++n) {
            PictureFileStamp s = stampPictureFile(series.fileName(n));
            // JPEG, BMP and GIF pictures are 8-bit ones.
            if (s.exists) s.bits = deepFileBits(s.name) == 16 ? 16 : 8;
            stamps.push_back(std::move(s));
        }
    } catch (const RuntimeError&) {
        return {}; // a name that cannot be made: nothing is known
    }
    return stamps;
}

std::string MontageSession::pictureFile(int n) const {
    if (n < 1 || n > state_.series.imageCount || seriesFirst_.empty()) return {};
    try {
        if (const std::optional<SeriesName> series = parseSeriesName(seriesFirst_)) return series->fileName(n);
    } catch (const RuntimeError&) {
    }
    return {};
}

std::string seriesPictureText(const std::string& file, int picture) {
    return file + " is picture " + std::to_string(picture) +
           " of the series.   Saving over it would replace that photograph.   Please choose another name.";
}

} // namespace orv
