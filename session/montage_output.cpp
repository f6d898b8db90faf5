// The montage records written out: pictures in every format, depth maps, and projects (saved
// through the output set, opened back into the main record).
#include "session/montage_session.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "fusion/deep_assembly.h"
#include "input/deep_reader.h"
#include "input/picture_file.h"
#include "input/series_naming.h"
#include "output/bmp_writer.h"
#include "output/deep_output.h"
#include "output/depth_map.h"
#include "output/output_set.h"
#include "output/temp_bmp.h"
#include "retouch/strokes_file.h"
#include "session/conversion_run.h"


#include <cstdio>
#include <unistd.h>

namespace orv {

namespace {

BgrView viewOf(const MemorySurface& picture) {
    return BgrView{picture.rounded().data(), picture.pictureWidth(), picture.pictureHeight(),
                   std::size_t(picture.roundedWidth()) * 3};
}

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

// A saving run by the session tells its observer how far it is, lets window events run and stops
// at the next band when the observer asks.
WriteProgress savingProgress(SessionObserver& observer) {
    return [&observer](int done, int total) {
        observer.progress(RunPhase::Saving, done, total);
        observer.processEvents();
        return !observer.stopRequested();
    };
}

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
    if (record.request.method == FocusMethod::Pyramid) return record.choices;
    // A block montage: each block takes the picture its map names.
    return blockChoices(record.map,
                        BlockChoiceContext{&ms.geometry, record.increment, state_.series.imageCount, &ms.arrays, &ms.focus});
}

std::vector<DeepPicture> readDeepSeries(const std::string& firstPicture, int count) {
    const std::optional<SeriesName> series = parseSeriesName(firstPicture);
    if (!series || count <= 0) return {};
    bool deep = false;
    for (int n = 1; n <= count && !deep; ++n) deep = deepFileBits(series->fileName(n)) == 16;
    if (!deep) return {};
    std::vector<DeepPicture> pictures(static_cast<std::size_t>(count));
    for (int n = 1; n <= count; ++n)
        if (readDeepPicture(series->fileName(n), pictures[std::size_t(n - 1)]) != DecodeStatus::Ok) return {};
    return pictures;
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
    bool deep = false;
    for (int n = 1; n <= count && !deep; ++n) deep = deepFileBits(series->fileName(n)) == 16;
    if (!deep) return nullptr;
    if (record.request.method == FocusMethod::Pyramid) {
        if (record.deep && record.deepOf == pictureFingerprint(record.picture)) return record.deep;
        reason = record.deep ? "the montage was changed after it was made"
                             : record.request.align ? "aligned montages are made at 8 bits for now"
                                                    : "its pictures cannot all be read at full depth";
        return nullptr;
    }
    if (record.request.align) {
        reason = "aligned montages are made at 8 bits for now";
        return nullptr;
    }
    const MontageState& ms = state_.montage;
    const PictureChoices choices = depthChoices(which);
    std::vector<DeepPicture> pictures(static_cast<std::size_t>(count));
    std::vector<DeepSource> sources(static_cast<std::size_t>(count));
    bool grey = true;
    for (int n = 1; n <= count; ++n) {
        // The pictures are read again at full depth before the montage is saved: the window
        // events run between them and a stop asked meanwhile ends the saving here.
        stopSavingIfAsked();
        DeepPicture& p = pictures[std::size_t(n - 1)];
        if (readDeepPicture(series->fileName(n), p) != DecodeStatus::Ok) {
            reason = "picture " + std::to_string(n) + " cannot be read at full depth";
            return nullptr;
        }
        grey = grey && p.channels == 1;
        DeepSource& s = sources[std::size_t(n - 1)];
        s.picture = &p;
        if (record.request.useOffsets) {
            const ImageOffset t = ms.offsets[std::size_t(n)];
            s.ox = t.x - ms.geometry.shiftX;
            s.oy = ms.geometry.dY - t.y + ms.geometry.shiftY;
        }
    }
    auto out = std::make_shared<DeepPicture>(assembleDeep(choices, sources, grey ? 1 : 3));
    // Its 8-bit view must be the record's picture, pixel for pixel.
    const MemorySurface& eight = record.picture;
    if (out->width != eight.pictureWidth() || out->height != eight.pictureHeight()) {
        reason = "the montage's size is not its choices' size";
        return nullptr;
    }
    stopSavingIfAsked();
    for (int y = 0; y < out->height; ++y) {
        if (y % 256 == 255) stopSavingIfAsked();
        const std::uint16_t* row = out->row(y);
        for (int x = 0; x < out->width; ++x) {
            const std::uint8_t* cell = eight.pixelAt(x, y); // blue, green, red
            const std::uint16_t* px = row + std::size_t(x) * std::size_t(out->channels);
            const int c1 = out->channels == 1 ? 0 : 1, c2 = out->channels == 1 ? 0 : 2;
            if (eightBitsOf(px[0]) != cell[2] || eightBitsOf(px[c1]) != cell[1] || eightBitsOf(px[c2]) != cell[0]) {
                reason = "the montage was changed after it was made";
                return nullptr;
            }
        }
    }
    return out;
}

void MontageSession::writeDepthMap(const MontageChoice& which, const std::string& path) const {
    observer_.progress(RunPhase::Saving, 0, 0);
    orv::writeDepthMap(path, depthChoices(which), state_.series.imageCount, savingProgress(observer_));
}

void takeFirstPictureMetadata(const std::string& firstPicture, MontageRecord& record) {
    std::vector<std::string> problems;
    PictureMetadata m = readPictureMetadata(firstPicture, problems);
    record.metadata = m.empty() ? nullptr : std::make_shared<const PictureMetadata>(std::move(m));
    record.metadataProblems = std::move(problems);
}

std::string savePicture(const BgrView& picture, const std::string& path, const SaveMontageOptions& options) {
    const PictureMetadata* metadata = options.picture.metadata;
    const WriteProgress& progress = options.picture.writeProgress;
    if (options.conversionFolder && pictureFormatFor(path) == PictureFormat::Jpeg) {
        // The conversion program reads a temporary BMP (and the metadata file beside it) and
        // writes the JPEG beside the target; it is waited for, so the temporary files go only
        // after they have been read. Told as two stages: the temporary BMP's rows, then the
        // program's steps.
        TempBmp temp;
        temp.path = writeTempBmp(picture, stageOfTwo(progress, false));
        if (metadata && !metadata->empty()) {
            temp.withMetadata = true;
            writeFileAtomically(temp.path + ".meta", metadataFileBytes(*metadata));
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
    if (format == PictureFormat::Tiff || format == PictureFormat::Png) {
        // A montage of a 16-bit series is saved at 16 bits.
        std::string why;
        if (const std::shared_ptr<const DeepPicture> deep = deepMontage(which, &why)) {
            std::vector<std::string> problems;
            withRecord.picture.metadataProblems = &problems;
            writeDeepPicture(path, *deep, 16, withRecord.picture);
            for (const std::string& line : problems) sayMetadataProblem(options, line);
            return {};
        }
        if (!why.empty()) sayMetadataProblem(options, "the montage is saved at 8 bits per sample: " + why);
    }
    return savePicture(viewOf(record.picture), path, withRecord);
}

namespace {

// The project's files, the picture's rows told to `progress`.
void addProjectFilesTelling(OutputSet& files, const std::string& project, const std::string& pictureFile,
                            const BgrView& picture, const std::string& properties, std::string* writing,
                            const std::vector<retouch::Stroke>* strokes, const WriteProgress& progress) {
    std::string unused;
    std::string& name = writing ? *writing : unused;
    // The picture first: a project file is never left without its montage. A montage without
    // strokes removes none that an earlier save left: they would not be read without the
    // retouched line, and the set cannot delete. A project written to a device gets its text alone.
    files.addWritten([&] {
        if (pictureFile.empty()) {
            writeProjectFile(name = project, properties);
            return;
        }
        writeBmp24(name = pictureFile, picture, progress);
        if (strokes && !strokes->empty()) retouch::writeStrokesFile(name = retouch::strokesNameFor(project), *strokes);
        writeProjectFile(name = project, properties);
    });
}

} // namespace

void addProjectFiles(OutputSet& files, const std::string& project, const std::string& pictureFile,
                     const BgrView& picture, const std::string& properties, std::string* writing,
                     const std::vector<retouch::Stroke>* strokes) {
    addProjectFilesTelling(files, project, pictureFile, picture, properties, writing, strokes, {});
}

void MontageSession::saveProject(const MontageChoice& which, const std::string& project) const {
    const MontageRecord& record = this->record(which);
    if (record.empty()) throw RuntimeError(5);
    // The bitmap, strokes and project are put into place together once all are written; a stop
    // while the bitmap is written leaves every one of them as it was.
    observer_.progress(RunPhase::Saving, 0, 0);
    OutputSet files;
    const std::vector<retouch::Stroke> strokes = record.retouch.strokes();
    addProjectFilesTelling(files, project, projectBitmapName(project), viewOf(record.picture), record.properties,
                           nullptr, &strokes, savingProgress(observer_));
    files.commit();
}

ProjectOutcome MontageSession::openProject(const std::string& project, const MontageRequest& current) {
    try {
        // The project's settings, shown in the controls.
        const ProjectSettings settings = readProjectSettings(project);
        // A number the program cannot hold (an offset beyond 16 bits, a huge method) is an overflow:
        // the project is not used rather than read with the number wrapped.
        if (!settings.outOfRange.empty()) throw RuntimeError(6);
        const MontageRequest request = projectRequest(settings, current);
        observer_.showRequest(request);

        // A retouched montage's strokes: read first, so that a broken file stops the opening.
        const ProjectContents contents = readProjectContents(project);
        std::vector<retouch::Stroke> strokes;
        if (retouchedStrokeCount(contents.propertiesText) > 0)
            strokes = retouch::readStrokesFile(retouch::strokesNameFor(project));

        if (strokes.empty()) {
            // The series, loaded by Make Montage without computing a montage.
            make(request, MakeMode::Project);
        } else {
            // The montage made again as it was before the strokes, and the strokes painted on it,
            // so that each can be undone: the pictures aligned as they were, no smoothing pass.
            MontageRequest again = request;
            again.smoothing.autoSmooth = 0;
            if (!make(again, MakeMode::Montage).made) throw RuntimeError(5);
            applyStrokes(MontageChoice{}, strokes);
        }

        // The stored properties, map and montage picture become the main record.
        BusySpan busy(observer_);
        std::unique_ptr<MemorySurface> stored;
        const DecodeStatus st = decodeToSurface(projectBitmapName(project), stored);
        if (st != DecodeStatus::Ok) throw RuntimeError(st == DecodeStatus::Missing ? 53 : 481);
        MontageState& ms = state_.montage;
        MontageRecord& main = ms.main();
        if (strokes.empty() || stored->pictureWidth() != main.picture.pictureWidth() ||
            stored->pictureHeight() != main.picture.pictureHeight())
            main.retouch = RetouchHistory{};
        main.picture = std::move(*stored);
        main.map = contents.map;
        main.properties = contents.propertiesText;
        main.firstFileName = request.firstFileName;
        main.request = request;
        main.increment = last_.increment;
        if (strokes.empty()) {
            main.choices = PictureChoices{};
            main.retouch = RetouchHistory{};
        }
        main.unsaved = false; // it is the project's own picture
        main.deep = nullptr;
        main.deepOf = 0;
        takeFirstPictureMetadata(completed_, main);
        slotHoldsMain_ = false;
        observer_.recordChanged(MontageChoice{}, main);
        return ProjectOutcome::Opened;
    } catch (...) {
        ask(PromptIcon::Critical, genericErrorText(currentError(), 0, kOpenProjectRoutine), kGenericErrorTitle);
        return ProjectOutcome::Failed;
    }
}

} // namespace orv
