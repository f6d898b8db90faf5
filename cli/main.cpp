// orvanta-cli: makes a montage from a numbered focus series without windows, with the same engine
// and the same messages as the desktop program.
#include "base/atomic_file.h"
#include "base/error_sites.h"
#include "base/file_size_limit.h"
#include "fusion/brightness_evening.h"
#include "base/memory_tuning.h"
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/prompt.h"
#include "base/regular_file.h"
#include "cli/cli_observer.h"
#include "cli/cli_options.h"
#include "cli/output_targets.h"
#include "cli/progress_report.h"
#include "cli/project_check.h"
#include "align/alignment_report.h"
#include "base/text.h"
#include "session/montage_session.h"
#include "engine/properties_text.h"
#include "input/memory_budget.h"
#include "input/picture_file.h"
#include "input/series_loader.h"
#include "input/series_naming.h"
#include "output/bmp_writer.h"
#include "output/deep_output.h"
#include "output/output_set.h"
#include "retouch/strokes_file.h"
#include "settings/project_file.h"
#include "smoothing/comparison.h"
#include "smoothing/quality_score.h"
#include "smoothing/smoothing_pass.h"

#include <QCoreApplication>

#include <array>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sys/stat.h>
#include <unistd.h>

using namespace orv;

namespace {

// The request the options make: they stand in for the desktop program's controls.
MontageRequest requestFromOptions(const CliOptions& o) {
    MontageRequest r;
    r.firstFileName = o.firstFile;
    r.incrementText = o.incrementText;
    r.method = FocusMethod(o.method);
    r.ignored = o.ignored;
    r.useOffsets = o.useOffsets;
    if (o.useOffsets) {
        OffsetTable targets{};
        for (std::size_t i = 0; i < o.offsets.size() && i + 1 < targets.size(); ++i) targets[i + 1] = o.offsets[i];
        r.targets = targets;
    }
    r.area = o.area;
    r.align = o.align;
    r.colourMatch = o.colourMatch;
    r.smoothing.autoSmooth = o.smooth ? 1 : 0;
    r.smoothing.edgeFactor = o.edgeFactor;
    r.smoothing.focusFactor = o.focusFactor;
    r.smoothing.diffFactor = std::int16_t(o.diffFactor);
    return r;
}

// A batch run keeps the decoded series for the comparisons; Pyramid Focus reads a series one
// picture at a time unless the montage is smoothed, retouched or compared afterwards (those
// read the source pictures again from the stack). A smoothed project is smoothed as --smooth asks.
SessionOptions sessionOptions(const CliOptions& o, const MontageRequest& r) {
    const bool smooth = o.smooth || r.smoothing.autoSmooth == 1;
    SessionOptions s;
    s.reuseDecodedSeries = true;
    s.streamPyramid = o.evaluate.empty() && o.retouchFile.empty() && !smooth;
    s.maxPictures = o.maxPictures;
    // An aligned series of up to 1 GiB is kept as it is read: no picture is read or warped twice. A
    // longer one costs no more memory than one picture's share, however many pictures it has.
    s.keepStreamedBytes = std::uint64_t(1) << 30;
    // A 16-bit picture is the only montage written: the 8-bit one may be its view.
    // Nothing but the outputs reads the montage once it is made: it is held once, in its record.
    s.montageInRecordOnly = o.evaluate.empty() && !smooth && !o.score;
    // Of the methods compared, only the recommended montage is written.
    s.keepBestComparisonOnly = o.evaluate == "methods";
    // Pyramid Focus's montage at every increment is the one made first, from the same pictures.
    s.keepPyramidRunForComparison = o.evaluate == "increments" && r.method == FocusMethod::Pyramid;
    // Nor are the source pictures read again, unless strokes paint from them.
    s.releaseStackAfterMontage = s.montageInRecordOnly && o.retouchFile.empty();
    s.eightBitFromDeep = o.depth != 8 && !o.score && o.saveProject.empty() && o.format.empty() && !o.output.empty() &&
                         o.output != "-" && holdsSixteenBits(o.output);
    return s;
}

// A file of the series as the user would name it: below the working folder, from there.
std::string shownName(const std::string& name) {
    const std::string here = currentFolder();
    return name.size() > here.size() && name.compare(0, here.size(), here) == 0 ? name.substr(here.size()) : name;
}

// Why a file could not be written: the file size limit when a write passed it, which the error's
// own description does not say, else that description with what the name may add.
std::string writeFailureReason(const std::string& name) {
    const std::string limit = fileSizeLimitReason();
    return limit.empty() ? currentError().description() + nameTooLongNote(name) : limit;
}

// The first name the options give relative to the working folder when that folder has been
// deleted (the system cannot say where it is); nothing while it is there.
std::optional<std::string> nameBelowAGoneFolder(const CliOptions& o) {
    std::vector<char> here(PATH_MAX);
    if (::getcwd(here.data(), here.size()) || errno != ENOENT) return std::nullopt;
    for (const std::string* name : {&o.firstFile, &o.output, &o.mapFile, &o.depthMapFile, &o.reportFile,
                                    &o.saveProject, &o.openProject, &o.retouchFile})
        if (!name->empty() && *name != "-" && (*name)[0] != '/') return *name;
    return std::nullopt;
}

std::string seriesGapNote(const SeriesGap& gap) {
    return "the series ends at " + shownName(gap.last) + ": " + shownName(gap.missing) +
           " is missing, though " + shownName(gap.later) +
           " is there; a gap in the numbering ends a series, so the pictures after it are not read";
}

// One run of the command line: Make Montage as often as the options ask for it, with the same
// settings a user would set in the desktop program.
class CliRun {
public:
    // `text`: where the report, the scores and the recommendation go (standard output, or standard
    // error when the picture goes to standard output).
    CliRun(const CliOptions& o, MontageRequest request, CheckedOutput& text)
        : o_(o), request_(std::move(request)), text_(text), bar_(o.progress, stderr, ::isatty(2) != 0),
          observer_(bar_, text),
          session_(state_, observer_, sessionOptions(o, request_)) {
        observer_.session = &session_;
        observer_.ignored = request_.ignored;
        observer_.fromProject = !o.openProject.empty();
        if (o.useOffsets && o.openProject.empty()) observer_.offsetPairs = int(o.offsets.size());
        observer_.area = request_.area.value_or(DisplayArea::Same);
        observer_.pyramid = request_.method == FocusMethod::Pyramid;
        // A streamed Pyramid Focus reads the whole series, the block methods and the desktop's 30.
        const SessionOptions so = sessionOptions(o, request_);
        const int most = so.streamPyramid && request_.method == FocusMethod::Pyramid ? kMaxSeriesPictures : kMaxPictures;
        observer_.readLimit = o.maxPictures > 0 ? std::min(o.maxPictures, most) : most;
        state_.programFolder = currentFolder();
        state_.smoothing = request_.smoothing;
    }

    int run();

private:
    int runSteps();
    // Make Montage; false when no montage (or no smoothed montage, with --smooth) was made.
    bool makeMontage();
    int evaluate();
    // Says once when the series stopped at number 32767 while its next file is there, or at a
    // gap in its numbering with later files of its naming there.
    void noticeNumberingEnd();
    // Says when the montage made from an opened project is not the picture the project holds.
    void noticeProjectPicture();
    bool writeOutputs(const MontageChoice& which, const MakeOutcome& made, float score);
    // Paints the --retouch strokes into `which`; an exit status when they cannot be used, else -1.
    int retouch(const MontageChoice& which);
    // The quality score of `which` as it is written: `score` is the montage's as made, which
    // strokes painted since have changed.
    float writtenScore(const MontageChoice& which, int increment, float score) const;
    // The montage is smoothed: --smooth asks for it, or the opened project's montage was.
    bool smooths() const { return request_.smoothing.autoSmooth == 1; }

    const CliOptions& o_;
    const MontageRequest request_;
    CheckedOutput& text_;
    ProgressReport bar_;
    SessionState state_;
    CliObserver observer_;
    MontageSession session_;
    bool reportedAlignment_ = false;
    bool noticedNumberingEnd_ = false;
};

bool CliRun::makeMontage() {
    const MakeOutcome made = session_.makeMontage(request_);
    bar_.finish();
    if (observer_.nothingInUse) return false;
    if (made.maximumEmpty) std::cerr << "orvanta-cli: with these offsets the maximum area is empty\n";
    // A picture that could not be aligned, or showed no clear move, is used as loaded (or placed
    // as its neighbour), and said so.
    if (const auto& a = state_.montage.alignment; a && !reportedAlignment_) {
        reportedAlignment_ = true;
        for (const std::string& notice : alignmentNotices(*a)) std::cerr << "orvanta-cli: " << notice << "\n";
    }
    // A picture with no detail is left out, and one taken brighter or darker than the series is
    // evened out; each is said so.
    for (int n : state_.montage.leftOut) std::cerr << "orvanta-cli: " << leftOutNote(n) << "\n";
    for (const EvenedPicture& e : state_.montage.evened) std::cerr << "orvanta-cli: " << evenedNote(e) << "\n";
    noticeNumberingEnd();
    if (!made.made) return false;
    return !smooths() || made.smoothed;
}

void CliRun::noticeNumberingEnd() {
    if (noticedNumberingEnd_) return;
    try {
        const std::optional<SeriesName> series = parseSeriesName(session_.completedName());
        const int count = session_.pictureCount();
        if (series && count >= 1 && count < observer_.readLimit)
            if (const std::optional<SeriesGap> gap = seriesGapAfter(*series, count)) {
                noticedNumberingEnd_ = true;
                bar_.finish();
                std::cerr << "orvanta-cli: " << seriesGapNote(*gap) << "\n";
                return;
            }
        // The series ended at 32767 because no further number can be counted, not because its
        // next file is missing: the pictures after it are not read, and that is said.
        if (!series || count < 1 || count >= observer_.readLimit || series->offset + count != 32767) return;
        const std::string next = series->fileName(count + 1);
        if (!isRegularFile(next)) return;
        noticedNumberingEnd_ = true;
        bar_.finish();
        std::cerr << "orvanta-cli: the series ends at " << series->fileName(count)
                  << ": 32767 is the highest number a series can count to, so " << next
                  << " and the pictures after it are not read; number the series' files from a lower number (1, "
                     "say) to use them all\n";
    } catch (const RuntimeError&) {
    }
}

int CliRun::retouch(const MontageChoice& which) {
    if (o_.retouchFile.empty()) return -1;
    try {
        session_.applyStrokes(which, retouch::readStrokesFile(o_.retouchFile, session_.pictureCount()));
        return -1;
    } catch (...) {
        std::cerr << "orvanta-cli: " << o_.retouchFile << ": " << currentError().description() << "\n";
        return 2;
    }
}

float CliRun::writtenScore(const MontageChoice& which, int increment, float score) const {
    if (!o_.score || o_.retouchFile.empty()) return score;
    // The strokes went into the montage's record, not into the arrays it was scored from.
    const MontageRecord& record = session_.record(which);
    PixelArrays painted;
    ArraySurfaces s;
    s.montage = &record.picture;
    painted.loadImageArrays(ArrayFill::Full, s, SizeCheck{});
    MontageGeometry g;
    g.W = float(record.picture.pictureWidth());
    g.H = float(record.picture.pictureHeight());
    return evaluateImage(painted, g, increment);
}

bool CliRun::writeOutputs(const MontageChoice& which, const MakeOutcome& made, float score) {
    const MontageRecord& record = session_.record(which);
    const BgrView montage{record.picture.rounded().data(), record.picture.pictureWidth(), record.picture.pictureHeight(),
                          std::size_t(record.picture.roundedWidth()) * 3};
    const std::string& properties = record.properties;
    if (made.smoothed && made.smoothing.replaced > 0) std::cerr << made.smoothing.report << std::flush;
    // A Pyramid Focus montage has no block seams: it is written as made, and said so.
    if (smooths() && made.smoothed && made.smoothing.replaced == 0 && record.request.method == FocusMethod::Pyramid)
        std::cerr << kAlreadySmoothText << "\n" << std::flush;
    const std::string output =
        o_.output.empty() ? defaultOutputName(session_.completedName(), o_.format) : outputPath(o_.output);
    const bool reportToText = o_.reportFile.empty() || o_.reportFile == "-";
    // Every file of the run appears together or not at all.
    std::string writing = output;
    OutputSet files;
    // The first picture's metadata goes into a JPEG, TIFF or PNG; a damaged block is said, not fatal.
    std::vector<std::string> metadataProblems;
    // --format names the picture's format whatever the name's ending.
    const PictureFormat format = o_.format.empty() ? pictureFormatFor(output) : *pictureFormatNamed(o_.format);
    const bool sixteenBitFormat = format == PictureFormat::Tiff || format == PictureFormat::Png;
    if (format == PictureFormat::Jpeg || sixteenBitFormat) metadataProblems = record.metadataProblems;
    try {
        // Standard output failed already (a comparison's scores went there): no file is written.
        if (!text_.failure().empty()) {
            writing = text_.path();
            throw RuntimeError(75, text_.failure());
        }
        PictureWriteOptions w;
        w.transparent = o_.transparent;
        w.quality = o_.quality;
        w.format = format;
        w.metadata = record.metadata.get();
        w.metadataProblems = &metadataProblems;
        // A large picture takes a while to write: said as a step of each per cent, not of each
        // band of rows (a line a row, with --progress json).
        w.writeProgress = [this, said = std::optional<long long>()](int done, int total) mutable {
            const long long percent = total > 0 ? (long long)done * 100 / total : -1;
            if (said == percent) return true;
            said = percent;
            observer_.progress(RunPhase::Saving, done, total);
            return true;
        };
        // A TIFF or PNG of a 16-bit series is written at 16 bits unless --depth 8 says otherwise.
        std::shared_ptr<const DeepPicture> deep;
        if (sixteenBitFormat && o_.depth != 8) {
            std::string why;
            deep = session_.deepMontage(which, &why);
            if (!deep && !why.empty()) std::cerr << "orvanta-cli: the montage is written at 8 bits per sample: " << why << "\n";
            if (deep && seriesMixesDepths(session_.completedName(), session_.pictureCount()))
                std::cerr << "orvanta-cli: the series mixes 8- and 16-bit pictures; it is read at 16 bits\n";
        }
        if (deep)
            files.addWritten([&] { writeDeepPicture(output, *deep, 16, w); });
        else if (o_.depth == 16 && sixteenBitFormat)
            files.addWritten([&] { writeDeepPicture(output, deepFromBgr(montage), 16, w); });
        else
            files.addPicture(output, montage, w);
        if (!o_.mapFile.empty()) files.addText(writing = outputPath(o_.mapFile), record.map);
        if (!o_.depthMapFile.empty())
            files.addWritten([&] { session_.writeDepthMap(which, writing = outputPath(o_.depthMapFile)); });
        if (!reportToText) files.addText(writing = outputPath(o_.reportFile), properties);
        if (!o_.saveProject.empty()) {
            // The project the desktop program opens: its picture (none for a device, which gets
            // the text alone), its strokes, then its text.
            const ProjectTargets project = projectTargets(o_.saveProject);
            const std::vector<retouch::Stroke> strokes = record.retouch.strokes();
            addProjectFiles(files, project.project, project.picture, montage, properties, &writing, &strokes);
        }
        // The report and the score are outputs of the run like the files: standard output that
        // cannot take them (a full disk, a reader gone, closed) puts the files back as they were.
        std::string said;
        if (reportToText) said += properties;
        if (o_.score) said += "Quality score = " + formatScore(score) + "\n";
        if (!said.empty()) files.addText(writing = text_.path(), said);
        writing = output;
        files.commit();
        bar_.finish();
        for (const std::string& p : metadataProblems) std::cerr << "orvanta-cli: " << p << "\n";
    } catch (...) {
        bar_.finish();
        if (!files.failedTarget().empty()) writing = files.failedTarget();
        if (writing == text_.path()) writing = text_.name();
        std::cerr << "orvanta-cli: cannot write " << writing << ": " << writeFailureReason(writing) << "\n";
        return false;
    }
    return true;
}

// Runs the comparison the options name. The chosen montage is left in slot 100, or kept aside by
// the observer for the method comparison (whose windows keep the pictures). Returns an exit
// status, or -1 to go on and write the chosen montage.
int CliRun::evaluate() {
    // The comparisons score the steps at block edges, which Pyramid Focus does not have: asked for
    // with it, they compare the block methods, or its montage at every increment, and say so.
    if (request_.method == FocusMethod::Pyramid)
        std::cerr << "orvanta-cli: "
                  << (o_.evaluate == "increments"
                          ? "Pyramid Focus makes the same montage whatever the increment, which sets only the "
                            "dominant-image map's blocks: the scores compare where those blocks' edges fall"
                          : "--evaluate " + o_.evaluate +
                                " compares the five block methods; Pyramid Focus has no block edges for the score to "
                                "measure and is not among them: judge it beside the recommended montage")
                  << "\n";
    // The comparison's question is answered with OK; its final message is the recommendation.
    RecordingPrompter answers;
    ComparisonResult result;
    if (o_.evaluate == "methods") {
        result = session_.compareAllMethods(request_, int(request_.method), &answers);
        if (!observer_.nothingInUse) noticeNumberingEnd();
    } else {
        // The comparisons start from a montage the user has made.
        if (!makeMontage()) return 1;
        result = o_.evaluate == "increments" ? session_.evaluateIncrements(request_, &answers)
                                             : session_.evaluateAll(request_, &answers);
    }
    if (!result.ran) {
        if (result.message) std::cerr << result.message->text << "\n";
        return 1;
    }
    if (result.candidates.empty()) {
        // Too narrow a montage takes no increment: said as Evaluate Increments and all Montage
        // Methods says it.
        if (o_.evaluate == "increments" && session_.lastOutcome().made)
            std::cerr << kNothingToCompareText << "\n";
        else
            std::cerr << "orvanta-cli: no montage could be compared\n";
        return 1;
    }
    if (result.message) text_.write(result.message->text + "\n");
    return -1;
}

int CliRun::run() {
    const int status = runSteps();
    // Target centres too far apart are a value out of its range, unless a project gave them.
    if (status != 0 && observer_.offsetsOverflow) return o_.openProject.empty() ? 2 : 1;
    // A run stopped because --ignore left no picture is a usage error.
    return status != 0 && observer_.nothingInUse ? 2 : status;
}

int CliRun::runSteps() {
    if (smooths()) {
        SmoothingSettings s{o_.edgeFactor, o_.focusFactor, std::int16_t(o_.diffFactor)};
        if (const auto refusal = smoothingRefusal(10, s)) {
            observer_.prompt(*refusal);
            // Here the preference is an option; an opened project's montage is smoothed unasked.
            std::cerr << "orvanta-cli: that emphasis is --focus-factor: give it a value above 0"
                      << (o_.smooth ? "" : " (the project's montage was smoothed, so it is smoothed again)") << "\n";
            return 1;
        }
    }
    if (o_.evaluate.empty()) {
        if (!makeMontage()) return 1;
    } else {
        const int status = evaluate();
        if (status >= 0) return status;
        if (observer_.nothingInUse) return 1;
        if (const std::optional<int> k = observer_.chosen) {
            const KeptScore& kept = observer_.kept[std::size_t(*k)];
            if (const int status = retouch(MontageChoice{*k}); status >= 0) return status;
            return writeOutputs(MontageChoice{*k}, kept.made, writtenScore(MontageChoice{*k}, kept.made.increment, kept.score))
                       ? 0
                       : 1;
        }
        // The final montage could not be made again: there is nothing right to write.
        const MakeOutcome& last = session_.lastOutcome();
        if (!last.made || (smooths() && !last.smoothed)) return 1;
    }
    const MontageState& ms = state_.montage;
    const MakeOutcome& made = session_.lastOutcome();
    // Scored only when the score is written (a full pass over the montage).
    const float score = o_.score ? evaluateImage(ms.arrays, ms.geometry, made.increment) : 0.0f;
    if (const int status = retouch(MontageChoice{}); status >= 0) return status;
    noticeProjectPicture();
    return writeOutputs(MontageChoice{}, made, writtenScore(MontageChoice{}, made.increment, score)) ? 0 : 1;
}

void CliRun::noticeProjectPicture() {
    if (o_.openProject.empty()) return;
    // A montage made at 16 bits whose 8-bit picture is the 16-bit one's view rounds otherwise than
    // the montage the project holds: only its sides are compared. An 8-bit series written to a
    // 16-bit format has no such view and is compared whole.
    const bool viewOfDeep = sessionOptions(o_, request_).eightBitFromDeep && session_.record(MontageChoice{}).deep;
    // The project's own picture, as the desktop program shows it; one that cannot be read is
    // compared with nothing.
    const std::string stored = projectBitmapToRead(o_.openProject);
    std::unique_ptr<MemorySurface> held;
    try {
        if (decodeToSurface(stored, held, nullptr, MontageRoom::Made) != DecodeStatus::Ok || !held) return;
    } catch (const RuntimeError&) {
        return;
    }
    const MemorySurface& made = session_.record(MontageChoice{}).picture;
    bool same = held->pictureWidth() == made.pictureWidth() && held->pictureHeight() == made.pictureHeight();
    for (int y = 0; same && !viewOfDeep && y < made.pictureHeight(); ++y)
        same = std::equal(made.pixelAt(0, y), made.pixelAt(0, y) + std::size_t(made.pictureWidth()) * 3, held->pixelAt(0, y));
    if (same) return;
    bar_.finish();
    // Options given with the project that change its montage are the likely reason, not the project:
    // --max-pictures among them when it read fewer pictures than the project was made from.
    const bool fewerPictures = o_.maxPictures > 0 && session_.pictureCount() < o_.projectPictureCount;
    std::string given;
    for (const auto& [on, name] : {std::pair{o_.retouchGiven, "--retouch"}, std::pair{o_.smooth, "--smooth"},
                                   std::pair{o_.align, "--align"}, std::pair{fewerPictures, "--max-pictures"}})
        if (on) given += std::string(given.empty() ? "" : ", ") + name;
    std::cerr << "orvanta-cli: the montage made again from the project " << o_.openProject
              << " is not the one it holds (" << stored << "): ";
    if (!given.empty()) std::cerr << "the options given with it (" << given << ") change it\n";
    else
        std::cerr << "it was smoothed with other settings or at another increment, or retouched after smoothing, or "
                     "its pictures have changed since it was saved\n";
}

// The settings of a project file in place of the first file and the montage options: the
// project's offsets replace any the options gave. --align applies unless the project places its
// pictures by target centres: the two exclude each other, so asking for both is a usage error.
// A retouched project's strokes ("NAME.strokes") are painted again unless --retouch names others.
// Returns 0, or the exit status of the refusal it has printed; `pictureCount` gets the pictures
// the project was made from.
int applyProject(const std::string& path, MontageRequest& request, std::string& retouchFile, int& pictureCount) {
    if (!isRegularFile(path)) {
        // One that is there, but a folder, a FIFO or a device, is not said to be missing.
        struct stat st{};
        if (::stat(path.c_str(), &st) != 0)
            std::cerr << "orvanta-cli: cannot find the project " << path << "\n";
        else
            std::cerr << "orvanta-cli: cannot use the project " << path << ": it is "
                      << (S_ISDIR(st.st_mode) ? "a folder" : "no regular file (a FIFO, a device or a socket)")
                      << ", not a project file\n";
        return 1;
    }
    ProjectSettings s = readProjectSettings(path);
    if (const auto refusal = projectRefusal(s)) {
        std::cerr << "orvanta-cli: cannot use the project " << path << ": " << *refusal << "\n";
        return 1;
    }
    if (s.firstFileName.empty() || s.firstFileName == "0") {
        std::cerr << "orvanta-cli: the project " << path << " names no first file\n";
        return 1;
    }
    if (request.align && s.usesOffsets) {
        std::cerr << "orvanta-cli: the project " << path
                  << " places its pictures by target centres, which exclude --align: give no --align with it\n"
                     "Try 'orvanta-cli --help'.\n";
        return 2;
    }
    // A project folder moved or copied with its pictures: the series is read from the project's
    // own folder when the stored first file is not there and one of its name is.
    const std::string storedFirst = completeSeriesName(s.firstFileName, currentFolder());
    if (const std::optional<std::string> moved = firstFileBesideProject(path, storedFirst)) {
        s.firstFileName = *moved;
        std::cerr << "orvanta-cli: " << movedSeriesText(storedFirst, moved->substr(0, moved->rfind('/') + 1)) << "\n";
    }
    if (retouchFile.empty()) {
        try {
            if (retouchedStrokeCount(readProjectContents(path).propertiesText) > 0) {
                const std::string strokes = retouch::strokesNameFor(path);
                retouch::readStrokesFile(strokes);
                retouchFile = strokes;
            }
        } catch (...) {
            std::cerr << "orvanta-cli: cannot use the project " << path << ": its strokes "
                      << retouch::strokesNameFor(path) << ": " << currentError().description() << "\n";
            return 1;
        }
    }
    request.useOffsets = false;
    request.targets.reset();
    pictureCount = s.pictureCount;
    request = projectRequest(s, std::move(request));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: no file of the run may take the number of a closed standard
    // descriptor and receive the messages or the report.
    holdClosedStandardDescriptors();
    orv::keepPictureMemory();
    // A reader that has gone (`| head -c 100`) is a write that fails and is said, with the files
    // put back, not a SIGPIPE that ends the run half way with its files in place.
    std::signal(SIGPIPE, SIG_IGN);
    // A file passing the file size limit is a write that fails and is said, like a full disk.
    catchFileSizeLimit();
    // Ctrl-C, SIGTERM and SIGHUP leave no temporary file behind.
    removeTemporaryFilesOnTermination();
    std::vector<std::string> args(argv + 1, argv + argc);
    const CliParse parsed = parseCliOptions(args);
    if (!parsed.options) {
        std::cerr << "orvanta-cli: " << parsed.error << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    CliOptions o = *parsed.options;
    if (o.help || o.version) {
        // What a script reads (`orvanta-cli --version > v.txt`) is checked like the report: a full
        // disk or a closed output is a failure.
        CheckedOutput out(1);
        out.write(o.help ? cliHelpText() : std::string("orvanta-cli ") + ORVANTA_VERSION + "\n");
        if (out.failure().empty()) return 0;
        std::cerr << "orvanta-cli: cannot write standard output: " << out.failure() << "\n";
        return 1;
    }
    for (const std::string& notice : parsed.notices) std::cerr << "orvanta-cli: " << notice << "\n";
    for (const std::string& notice : optionNotices(o)) std::cerr << "orvanta-cli: " << notice << "\n";
    // With the working folder deleted under the run, a name relative to it names nothing there:
    // said as such, not as a file that is missing or cannot be written.
    if (const std::optional<std::string> relative = nameBelowAGoneFolder(o)) {
        std::cerr << "orvanta-cli: the working folder has been deleted, so " << *relative
                  << " names no file there: give it by its full path\n";
        return 1;
    }
    // The picture readers are plug-ins found through the application object; no display is used.
    QCoreApplication app(argc, argv);
    keepNumbersInCNotation();
    // A strokes file that cannot be read or parsed stops the run before any picture is read.
    if (!o.retouchFile.empty()) {
        try {
            retouch::readStrokesFile(o.retouchFile);
        } catch (...) {
            std::cerr << "orvanta-cli: " << o.retouchFile << ": " << currentError().description() << "\n";
            return 2;
        }
    }
    MontageRequest request = requestFromOptions(o);
    if (!o.openProject.empty()) {
        o.retouchGiven = !o.retouchFile.empty();
        if (const int refused = applyProject(o.openProject, request, o.retouchFile, o.projectPictureCount)) return refused;
        o.firstFile = request.firstFileName; // the default output name follows the project's series
    }
    const std::vector<OutputTarget> targets = outputTargets(o);
    if (const auto clash = outputClash(targets)) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    if (const auto clash = inputClash(targets, {{"--open-project", o.openProject}, {"--retouch", o.retouchFile}})) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    if (const auto clash = standardErrorClash(targets)) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    // The series' pictures first, then those past its end that are the user's all the same.
    const std::vector<std::string> pictures = guardedPictures(request.firstFileName, request.ignored);
    if (const auto clash = seriesClash(withStandardOutputText(o, targets), pictures)) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    if (const auto clash = standardOutputClash(withStandardOutputText(o, targets))) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    // A project names its series by a full path, so that it opens from anywhere.
    if (!o.saveProject.empty() && !request.firstFileName.empty() && request.firstFileName[0] != '/')
        request.firstFileName = absoluteFileName(request.firstFileName);
    // An output that cannot be written stops the run before the series is read, not after the
    // montage has been made; it is said as the writing would say it. The default picture lies
    // beside the series: without a series there, reading it says what is wrong.
    const std::string picture = !o.output.empty() ? outputPath(o.output)
                                : pictures.empty()
                                    ? std::string()
                                    : defaultOutputName(completeSeriesName(request.firstFileName, currentFolder()), o.format);
    if (const std::optional<UnwritableOutput> unwritable = firstUnwritableOutput(o, picture)) {
        std::cerr << "orvanta-cli: cannot write " << unwritable->name << ": " << unwritable->error.description()
                  << nameTooLongNote(unwritable->name) << "\n";
        releaseWaitingReaders(targets);
        return 1;
    }
    // With the picture on standard output, everything else goes to standard error.
    CheckedOutput text(pictureToStandardOutput(o) ? 2 : 1);
    int status = 1;
    try {
        status = CliRun(o, std::move(request), text).run();
    } catch (...) {
        const RuntimeError e = currentError();
        std::cerr << genericErrorText(e, e.line(), "CommandGo") << "\n";
    }
    if (status == 0 && !text.failure().empty()) {
        std::cerr << "orvanta-cli: cannot write " << text.name() << ": " << text.failure() << "\n";
        status = 1;
    }
    if (status != 0) releaseWaitingReaders(targets);
    return status;
}
