// orvanta-cli: makes a montage from a numbered focus series without windows, with the same engine
// and the same messages as the desktop program.
#include "base/atomic_file.h"
#include "base/error_sites.h"
#include "fusion/brightness_evening.h"
#include "base/memory_tuning.h"
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/prompt.h"
#include "base/regular_file.h"
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
#include <cmath>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <unistd.h>

using namespace orv;

namespace {

// A score as the program writes a single-precision number: up to 7 significant digits.
std::string formatScore(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", double(v));
    return buf;
}

// The digits before the first dot of a series name's file name ("IMG_40000.jpg" gives "40000").
std::string seriesNumberOf(const std::string& name) {
    const std::size_t dot = firstDotOfFileName(name);
    if (dot == std::string::npos) return {};
    std::size_t start = dot;
    while (start > 0 && name[start - 1] >= '0' && name[start - 1] <= '9') --start;
    return name.substr(start, dot - start);
}

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

// The phase as --progress names it.
const char* phaseName(RunPhase phase) {
    switch (phase) {
    case RunPhase::Reading: return "reading";
    case RunPhase::Aligning: return "aligning";
    case RunPhase::Fusing: return "fusing";
    case RunPhase::Smoothing: return "smoothing";
    case RunPhase::Saving: return "saving";
    }
    return "working";
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
    s.eightBitFromDeep = o.depth != 8 && !o.score && o.saveProject.empty() && o.format.empty() && !o.output.empty() &&
                         o.output != "-" && holdsSixteenBits(o.output);
    return s;
}

// What a comparison kept of a montage: the score its picture had when it was kept.
struct KeptScore {
    MakeOutcome made;
    float score = 0;
};

// The command line's side of a montage session: messages go to standard error, progress to the
// progress report, and each kept comparison montage is scored as it is kept.
class CliObserver : public SessionObserver {
public:
    CliObserver(ProgressReport& bar, CheckedOutput& text) : bar_(bar), text_(text) {}

    MontageSession* session = nullptr;
    int readLimit = kMaxPictures; // the most pictures the run reads
    IgnoreTicks ignored{};        // the pictures --ignore names
    bool pyramid = false;         // -m pyramid
    bool nothingInUse = false;    // --ignore named every picture of the series: the run stops
    bool fromProject = false;     // the ignored pictures are an opened project's
    std::optional<int> offsetPairs; // how many target centres --offsets gives, when it is used
    DisplayArea area = DisplayArea::Same; // the display area of the offsets
    bool offsetsNoticed = false;
    bool offsetsOverflow = false; // the target centres were too far apart to shift the pictures
    std::array<KeptScore, kComparisonMontages> kept;
    std::optional<int> chosen; // the comparison montage shown as the main one

    PromptAnswer prompt(const Prompt& p) override {
        bar_.finish();
        const PromptAnswer answer = stderr_.show(p);
        // A message about a picture of the series names it; one that went away after the series was
        // counted (moved or deleted while the run went on) is said to be missing, and one that may
        // not be read says why.
        if (!p.details.empty()) {
            std::error_code error;
            if (!std::filesystem::exists(p.details, error))
                std::cerr << "orvanta-cli: " << p.details << " is no longer there (moved or deleted during the run)\n";
            else if (::access(p.details.c_str(), R_OK) != 0)
                std::cerr << "orvanta-cli: the picture is " << p.details << ", which cannot be opened: "
                          << std::strerror(errno) << "\n";
            else
                std::cerr << "orvanta-cli: the picture is " << p.details << "\n";
        }
        // A block method met a longer series: say how to read all of it, or fewer. Pyramid Focus
        // reads the whole series only when its montage is written as made: smoothed, retouched or
        // compared, it is made from the pictures the stack holds.
        if (p.text == kLimitText) {
            if (pyramid)
                std::cerr << "orvanta-cli: Pyramid Focus reads the whole series only when the montage is written as "
                             "made: with --smooth, --retouch or --evaluate it reads 30 pictures (--max-pictures N "
                             "reads the first N)\n";
            else
                std::cerr << "orvanta-cli: the block methods read 30 pictures; -m pyramid reads the whole series "
                             "(--max-pictures N reads the first N)\n";
        }
        // A first number the series cannot count from: which number, and why.
        if (session && (p.text == genericErrorText(RuntimeError(6), kLineSeriesNumbering, kMontageRoutine) ||
                        p.text == genericErrorText(RuntimeError(6), kLineSeriesFailure, kMontageRoutine)))
            std::cerr << "orvanta-cli: the first file's number, " << seriesNumberOf(session->completedName())
                      << ", is past 32767, the highest number a series can count to: number the series' files "
                         "from a lower number (1, say)\n";
        // Target centres too far apart for the shifts: which setting to change.
        if (offsetPairs || fromProject) {
            for (int line : {kLineOffsetExtents, kLineDisplayArea})
                if (p.text == genericErrorText(RuntimeError(6), line, kMontageRoutine)) {
                    offsetsOverflow = true;
                    std::cerr << offsetsOverflowText() << "\n";
                }
        }
        // A maximum area too large for the memory left: how large, and what it would need.
        if ((offsetPairs || fromProject) && area == DisplayArea::Maximum && session &&
            p.text == genericErrorText(RuntimeError(7), kLineArrayFill, kMontageRoutine))
            std::cerr << maximumAreaMemoryText() << "\n";
        return answer;
    }
    // The maximum area's montage, refused before it was filled because the memory left is less
    // than its pixels need.
    std::string maximumAreaMemoryText() const {
        const MontageGeometry& g = session->state().montage.geometry;
        const long width = std::lround(g.W), height = std::lround(g.H);
        const double bytes = double((width + 3) / 4 * 4) * double((height + 3) / 4 * 4) * 3;
        auto size = [](double b) {
            char buf[32];
            if (b >= 1e9) std::snprintf(buf, sizeof buf, "%.1f GB", b / 1e9);
            else std::snprintf(buf, sizeof buf, "%.0f MB", std::ceil(b / 1e6));
            return std::string(buf);
        };
        return "orvanta-cli: with " + std::string(fromProject ? "the project's offsets" : "--offsets") +
               " the maximum area is " + std::to_string(width) + "x" + std::to_string(height) +
               " pixels, whose montage needs " + size(bytes) + " of memory, more than the " +
               size(double(availableMemory())) + " left: bring the target centres closer or choose another --area";
    }
    // Why the offsets could not be applied: the centres' spread, or the maximum area's size.
    std::string offsetsOverflowText() const {
        const SessionState& st = session->state();
        const MontageGeometry& g = st.montage.geometry;
        const long spreadX = long(g.largestX) - g.smallestX, spreadY = long(g.largestY) - g.smallestY;
        const std::string who = fromProject ? "the project's offsets" : "--offsets";
        if (spreadX > 32767 || spreadY > 32767)
            return "orvanta-cli: " + who + " put the target centres " + std::to_string(spreadX) +
                   " pixels apart across and " + std::to_string(spreadY) +
                   " down; the pictures can be shifted at most 32767 pixels against each other";
        // The same area keeps picture 1's width: a picture whose target lies that far right of
        // the smallest would be read past the last column a position can name.
        if (area == DisplayArea::Same)
            return "orvanta-cli: " + who + " put the target centres " + std::to_string(spreadX) +
                   " pixels apart across: in the same area a picture would be read past column 32767, far beyond "
                   "its edge; bring the target centres closer (less than 32767 less the pictures' width apart) or "
                   "choose another --area";
        // The maximum area holds every picture at its shift: its sides grow by the spread.
        const long width = (std::lround(st.series.pictureWidth) + spreadX + 3) / 4 * 4;
        const long height = (std::lround(st.series.pictureHeight) + spreadY + 3) / 4 * 4;
        return "orvanta-cli: with " + who + " the maximum area would be " + std::to_string(width) + "x" +
               std::to_string(height) + " pixels, more than the 32767 a side can have: bring the target centres " +
               "closer or choose another --area";
    }
    void seriesStarting(bool, const std::string&) override { seriesLength_.reset(); }
    // The message does not name the file: the name looked for, as completed (a name without a
    // dot looks for NAME.bmp), is said after it.
    void firstFileMissing(const std::string& name) override {
        std::cerr << "orvanta-cli: the first file is " << name << ", which is not there\n";
    }
    void progress(RunPhase phase, int done, int total) override {
        // The loader reads until a file is missing: the total is the files there to read.
        if (phase == RunPhase::Reading && total == 0 && session) {
            if (!seriesLength_) seriesLength_ = seriesFilesPresent(session->completedName(), readLimit);
            total = *seriesLength_ >= done ? *seriesLength_ : 0;
        }
        bar_.report(phaseName(phase), done, total);
    }
    // The series is in and the montage takes picture 1's size. When every picture of it is
    // ignored, no block and no pixel could come from any of them: the montage would be black.
    void montageSized(float, float, int) override {
        if (nothingInUse || !session) return;
        const int count = session->state().series.imageCount;
        noticeMissingOffsets(count);
        if (count < 1 || count > int(ignored.size())) return;
        for (int n = 1; n <= count; ++n)
            if (!isIgnored(ignored, n)) return;
        nothingInUse = true;
        bar_.finish();
        std::cerr << "orvanta-cli: " << (fromProject ? "the project ignores" : "--ignore names")
                  << " every picture of the series (" << count
                  << "): there is no picture to make the montage from\n";
    }
    bool stopRequested() override { return nothingInUse; }
    // --offsets that name fewer targets than the series has pictures in use leave the others at
    // 0,0, which moves them against the pictures given: said once, since it is rarely meant.
    void noticeMissingOffsets(int count) {
        if (!offsetPairs || offsetsNoticed) return;
        int first = 0;
        for (int n = *offsetPairs + 1; n <= count && first == 0; ++n)
            if (!isIgnored(ignored, n)) first = n;
        if (first == 0) return;
        offsetsNoticed = true;
        bar_.finish();
        std::cerr << "orvanta-cli: --offsets gives " << *offsetPairs << " target centre"
                  << (*offsetPairs == 1 ? "" : "s") << " for a series of " << count << " pictures: "
                  << (first == count ? "picture " + std::to_string(first) + " has its target"
                                     : "pictures " + std::to_string(first) + " to " + std::to_string(count) +
                                           " have their targets")
                  << " at 0,0\n";
    }
    void montageReady(const MontageRecord&, const PixelArrays&, bool) override { bar_.finish(); }
    void candidateScored(const Candidate& c) override {
        text_.write(methodCaption(c.method) + " (method " + std::to_string(c.method) + "), increment " +
                    std::to_string(c.increment) + ": Quality score = " + formatScore(c.score) + "\n");
    }
    void keepComparison(int k, int, const MontageRecord&) override {
        const SessionState& st = session->state();
        KeptScore& kept_ = kept[std::size_t(k)];
        kept_.made = session->lastOutcome();
        kept_.score = evaluateImage(st.montage.arrays, st.montage.geometry, kept_.made.increment);
    }
    void comparisonShownAsMain(int k, const MontageRecord&) override { chosen = k; }

private:
    ProgressReport& bar_;
    CheckedOutput& text_;
    StderrPrompter stderr_;
    std::optional<int> seriesLength_;
};

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
    // Says once when the series stopped at number 32767 while its next file is there.
    void noticeNumberingEnd();
    // Says when the montage made from an opened project is not the picture the project holds.
    void noticeProjectPicture();
    bool writeOutputs(const MontageChoice& which, const MakeOutcome& made, float score);
    // Paints the --retouch strokes into `which`; an exit status when they cannot be used, else -1.
    int retouch(const MontageChoice& which);

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
    // A picture taken brighter or darker than the series is evened out, and said so.
    for (const EvenedPicture& e : state_.montage.evened) std::cerr << "orvanta-cli: " << evenedNote(e) << "\n";
    noticeNumberingEnd();
    if (!made.made) return false;
    return !o_.smooth || made.smoothed;
}

void CliRun::noticeNumberingEnd() {
    if (noticedNumberingEnd_) return;
    try {
        const std::optional<SeriesName> series = parseSeriesName(session_.completedName());
        const int count = session_.pictureCount();
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

bool CliRun::writeOutputs(const MontageChoice& which, const MakeOutcome& made, float score) {
    const MontageRecord& record = session_.record(which);
    const BgrView montage{record.picture.rounded().data(), record.picture.pictureWidth(), record.picture.pictureHeight(),
                          std::size_t(record.picture.roundedWidth()) * 3};
    const std::string& properties = record.properties;
    if (made.smoothed && made.smoothing.replaced > 0) std::cerr << made.smoothing.report << std::flush;
    // A Pyramid Focus montage has no block seams: it is written as made, and said so.
    if (o_.smooth && made.smoothed && made.smoothing.replaced == 0 && record.request.method == FocusMethod::Pyramid)
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
        PictureWriteOptions w;
        w.transparent = o_.transparent;
        w.quality = o_.quality;
        w.format = format;
        w.metadata = record.metadata.get();
        w.metadataProblems = &metadataProblems;
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
        writing = output;
        files.commit();
        for (const std::string& p : metadataProblems) std::cerr << "orvanta-cli: " << p << "\n";
    } catch (...) {
        if (!files.failedTarget().empty()) writing = files.failedTarget();
        std::cerr << "orvanta-cli: cannot write " << writing << ": " << currentError().description() << "\n";
        return false;
    }
    if (reportToText) text_.write(properties);
    if (o_.score) text_.write("Quality score = " + formatScore(score) + "\n");
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
    if (o_.smooth) {
        SmoothingSettings s{o_.edgeFactor, o_.focusFactor, std::int16_t(o_.diffFactor)};
        if (const auto refusal = smoothingRefusal(10, s)) {
            observer_.prompt(*refusal);
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
            return writeOutputs(MontageChoice{*k}, kept.made, kept.score) ? 0 : 1;
        }
        // The final montage could not be made again: there is nothing right to write.
        const MakeOutcome& last = session_.lastOutcome();
        if (!last.made || (o_.smooth && !last.smoothed)) return 1;
    }
    const MontageState& ms = state_.montage;
    const MakeOutcome& made = session_.lastOutcome();
    // Scored only when the score is written (a full pass over the montage).
    const float score = o_.score ? evaluateImage(ms.arrays, ms.geometry, made.increment) : 0.0f;
    if (const int status = retouch(MontageChoice{}); status >= 0) return status;
    noticeProjectPicture();
    return writeOutputs(MontageChoice{}, made, score) ? 0 : 1;
}

void CliRun::noticeProjectPicture() {
    if (o_.openProject.empty()) return;
    // A montage made at 16 bits whose 8-bit picture is the 16-bit one's view rounds otherwise than
    // the montage the project holds: only its sides are compared. An 8-bit series written to a
    // 16-bit format has no such view and is compared whole.
    const bool viewOfDeep = sessionOptions(o_, request_).eightBitFromDeep && session_.record(MontageChoice{}).deep;
    // The project's own picture, as the desktop program shows it; one that cannot be read is
    // compared with nothing.
    const std::string stored = projectBitmapName(o_.openProject);
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
    std::cerr << "orvanta-cli: the montage made again from the project " << o_.openProject
              << " is not the one it holds (" << stored
              << "): it was smoothed with other settings or at another increment, or retouched after smoothing, or "
                 "its pictures have changed since it was saved\n";
}

// The settings of a project file in place of the first file and the montage options: the
// project's offsets replace any the options gave; --align applies unless the project has offsets.
// A retouched project's strokes ("NAME.strokes") are painted again unless --retouch names others.
bool applyProject(const std::string& path, MontageRequest& request, std::string& retouchFile) {
    if (!isRegularFile(path)) {
        std::cerr << "orvanta-cli: cannot find the project " << path << "\n";
        return false;
    }
    ProjectSettings s = readProjectSettings(path);
    if (const auto refusal = projectRefusal(s)) {
        std::cerr << "orvanta-cli: cannot use the project " << path << ": " << *refusal << "\n";
        return false;
    }
    if (s.firstFileName.empty() || s.firstFileName == "0") {
        std::cerr << "orvanta-cli: the project " << path << " names no first file\n";
        return false;
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
            return false;
        }
    }
    request.useOffsets = false;
    request.targets.reset();
    request = projectRequest(s, std::move(request));
    return true;
}

// The pictures of the series there are now, as far as a run could read them; none when the name
// is no series name (the run then says why).
std::vector<std::string> seriesPictures(const std::string& firstFile) {
    return seriesFilesThere(completeSeriesName(firstFile, currentFolder()));
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
    // Ctrl-C, SIGTERM and SIGHUP leave no temporary file behind.
    removeTemporaryFilesOnTermination();
    std::vector<std::string> args(argv + 1, argv + argc);
    const CliParse parsed = parseCliOptions(args);
    if (!parsed.options) {
        std::cerr << "orvanta-cli: " << parsed.error << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    CliOptions o = *parsed.options;
    if (o.help) {
        std::cout << cliHelpText();
        return 0;
    }
    if (o.version) {
        std::cout << "orvanta-cli " << ORVANTA_VERSION << "\n";
        return 0;
    }
    for (const std::string& notice : optionNotices(o)) std::cerr << "orvanta-cli: " << notice << "\n";
    // The picture readers are plug-ins found through the application object; no display is used.
    QCoreApplication app(argc, argv);
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
        if (!applyProject(o.openProject, request, o.retouchFile)) return 1;
        o.firstFile = request.firstFileName; // the default output name follows the project's series
    }
    const std::vector<OutputTarget> targets = outputTargets(o);
    if (const auto clash = outputClash(targets)) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    if (const auto clash = standardErrorClash(targets)) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    if (const auto clash = seriesClash(targets, seriesPictures(request.firstFileName))) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    // A project names its series by a full path, so that it opens from anywhere.
    if (!o.saveProject.empty() && !request.firstFileName.empty() && request.firstFileName[0] != '/')
        request.firstFileName = absoluteFileName(request.firstFileName);
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
        std::cerr << "orvanta-cli: cannot write standard " << (pictureToStandardOutput(o) ? "error" : "output") << ": "
                  << text.failure() << "\n";
        status = 1;
    }
    if (status != 0) releaseWaitingReaders(targets);
    return status;
}
