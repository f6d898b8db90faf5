// orvanta-cli: makes a montage from a numbered focus series without windows, with the same engine
// and the same messages as the desktop program.
#include "base/atomic_file.h"
#include "base/memory_tuning.h"
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/prompt.h"
#include "base/regular_file.h"
#include "cli/cli_options.h"
#include "cli/output_targets.h"
#include "cli/project_check.h"
#include "align/alignment_report.h"
#include "base/text.h"
#include "session/montage_session.h"
#include "engine/properties_text.h"
#include "input/series_naming.h"
#include "output/bmp_writer.h"
#include "output/output_set.h"
#include "settings/project_file.h"
#include "smoothing/comparison.h"
#include "smoothing/quality_score.h"
#include "smoothing/smoothing_pass.h"

#include <QCoreApplication>

#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <unistd.h>

using namespace orv;

namespace {

// A one-line progress bar on standard error, drawn only when it is a terminal.
class ProgressBar {
public:
    explicit ProgressBar(bool enabled) : enabled_(enabled && ::isatty(2)) {}
    void show(const std::string& what, int done, int total) {
        if (!enabled_ || total <= 0) return;
        const int width = 30;
        const int filled = done * width / total;
        std::fprintf(stderr, "\r%-16s [%s%s] %d/%d", what.c_str(), std::string(filled, '#').c_str(),
                     std::string(width - filled, ' ').c_str(), done, total);
        std::fflush(stderr);
        dirty_ = true;
    }
    void done() {
        if (enabled_ && dirty_) std::fprintf(stderr, "\r%60s\r", "");
        dirty_ = false;
    }
    ~ProgressBar() { done(); }

private:
    bool enabled_;
    bool dirty_ = false;
};

// A score as the program writes a single-precision number: up to 7 significant digits.
std::string formatScore(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7g", double(v));
    return buf;
}

// A montage kept aside, as a comparison window keeps it.
struct KeptMontage {
    MemorySurface picture;
    std::string map;
    std::string properties;
    MakeOutcome made;
    float score = 0;
};

// The command line's side of a montage session: the options stand in for the window's controls,
// messages go to standard error, progress to the bar, and the comparisons' montages are kept in
// memory as the desktop program keeps them in windows.
class CliObserver : public SessionObserver {
public:
    CliObserver(const CliOptions& o, ProgressBar& bar, CheckedOutput& text) : o_(o), bar_(bar), text_(text) {
        controls_.firstFileName = o.firstFile;
        controls_.incrementText = o.incrementText;
        controls_.method = FocusMethod(o.method);
        controls_.ignored = o.ignored;
        controls_.useOffsets = o.useOffsets;
        controls_.area = o.area;
        controls_.align = o.align;
        controls_.colourMatch = o.colourMatch;
        for (std::size_t i = 0; i < o.offsets.size() && i + 1 < offsets_.size(); ++i) offsets_[i + 1] = o.offsets[i];
    }

    MontageSession* session = nullptr;
    std::array<KeptMontage, 5> windows;
    KeptMontage chosen;
    int chosenWindow = 0;
    bool keptAside = false;

    PromptAnswer prompt(const Prompt& p) override {
        bar_.done();
        return stderr_.show(p);
    }
    MontageControls controls() override { return controls_; }
    void incrementReplaced(const std::string& text) override { controls_.incrementText = text; }
    void readTargetOffsets(OffsetTable& offsets, const MontageControls&, int) override { offsets = offsets_; }
    void pictureLoaded(int k, const std::string&, const MemorySurface&, QImage) override { bar_.show("loading", k, k); }
    void alignmentProgress(int done, int total) override { bar_.show("aligning", done, total); }
    void blockRowDone(const MontageRowEvent& e, const PixelArrays&) override {
        bar_.show("montage", e.row.rowIndex + 1, e.row.rowCount);
    }
    void montageReady(const PixelArrays&, const std::string&, bool) override { bar_.done(); }
    void comparisonSettings(std::optional<int> increment, int method) override {
        if (increment) controls_.incrementText = std::to_string(*increment);
        controls_.method = FocusMethod(method);
    }
    void candidateScored(const Candidate& c) override {
        text_.write(methodCaption(c.method) + " (method " + std::to_string(c.method) + "), increment " +
                    std::to_string(c.increment) + ": Quality score = " + formatScore(c.score) + "\n");
    }
    void keepComparison(int window, int) override {
        const SessionState& st = session->state();
        KeptMontage& k = windows[std::size_t(window)];
        k.picture = session->montagePicture();
        k.map = st.montage.map;
        k.properties = st.montage.propertiesText;
        k.made = session->lastOutcome();
        k.score = evaluateImage(st.montage.arrays, st.montage.geometry, k.made.increment);
    }
    void showComparisonInMain(int window) override {
        chosen = windows[std::size_t(window)];
        chosenWindow = window;
        keptAside = true;
    }

private:
    const CliOptions& o_;
    ProgressBar& bar_;
    CheckedOutput& text_;
    StderrPrompter stderr_;
    MontageControls controls_;
    OffsetTable offsets_{};
};

// One run of the command line: Make Montage as often as the options ask for it, with the same
// settings a user would set in the desktop program.
class CliRun {
public:
    // `text`: where the report, the scores and the recommendation go (standard output, or standard
    // error when the picture goes to standard output).
    CliRun(const CliOptions& o, CheckedOutput& text)
        : o_(o), text_(text), bar_(!o.quiet), observer_(o, bar_, text), session_(state_, observer_, SessionOptions{true, 0}) {
        observer_.session = &session_;
        state_.programFolder = currentFolder();
        state_.smoothing.autoSmooth = o.smooth ? 1 : 0;
        state_.smoothing.edgeFactor = o.edgeFactor;
        state_.smoothing.focusFactor = o.focusFactor;
        state_.smoothing.diffFactor = std::int16_t(o.diffFactor);
    }

    int run();

private:
    // Make Montage; false when no montage (or no smoothed montage, with --smooth) was made.
    bool makeMontage();
    int evaluate();
    bool writeOutputs(const BgrView& picture, const std::string& map, const std::string& properties,
                      const MakeOutcome& made, float score, const MontageChoice& which = {});

    const CliOptions& o_;
    CheckedOutput& text_;
    ProgressBar bar_;
    SessionState state_;
    CliObserver observer_;
    MontageSession session_;
    bool reportedAlignment_ = false;
};

bool CliRun::makeMontage() {
    const MakeOutcome made = session_.makeMontage();
    bar_.done();
    if (made.maximumEmpty) std::cerr << "orvanta-cli: with these offsets the maximum area is empty\n";
    // A picture that could not be aligned is used as loaded, and said so.
    if (const auto& a = state_.montage.alignment; a && !reportedAlignment_) {
        reportedAlignment_ = true;
        for (const PictureAlignment& p : a->pictures)
            if (p.aligned && !p.converged) std::cerr << "orvanta-cli: " << trimBlanks(alignmentWarning(p.picture)) << "\n";
    }
    if (!made.made) return false;
    return !o_.smooth || made.smoothed;
}

bool CliRun::writeOutputs(const BgrView& montage, const std::string& map, const std::string& properties,
                          const MakeOutcome& made, float score, const MontageChoice& which) {
    if (made.smoothed && made.smoothing.replaced > 0) std::cerr << made.smoothing.report << std::flush;
    // A Pyramid Focus montage has no block seams: it is written as made, and said so.
    if (o_.smooth && made.smoothed && made.smoothing.replaced == 0 && o_.method == int(FocusMethod::Pyramid))
        std::cerr << kAlreadySmoothText << "\n" << std::flush;
    const std::string output =
        o_.output.empty() ? defaultOutputName(session_.completedName(), o_.format) : outputPath(o_.output);
    const bool reportToText = o_.reportFile.empty() || o_.reportFile == "-";
    // Every file of the run appears together or not at all.
    std::string writing = output;
    OutputSet files;
    try {
        PictureWriteOptions w;
        w.transparent = o_.transparent;
        w.quality = o_.quality;
        if (!o_.format.empty()) w.format = pictureFormatNamed(o_.format);
        files.addPicture(output, montage, w);
        if (!o_.mapFile.empty()) files.addText(writing = outputPath(o_.mapFile), map);
        if (!o_.depthMapFile.empty())
            files.addWritten([&] { session_.writeDepthMap(which, writing = outputPath(o_.depthMapFile)); });
        if (!reportToText) files.addText(writing = outputPath(o_.reportFile), properties);
        if (!o_.saveProject.empty()) {
            // The project the desktop program opens: its picture, then its text, so that a
            // project never names a picture still to be written.
            const ProjectTargets project = projectTargets(o_.saveProject);
            files.addWritten([&] {
                if (!project.picture.empty()) writeBmp24(writing = project.picture, montage);
                writeProjectFile(writing = project.project, properties);
            });
        }
        writing = output;
        files.commit();
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
    // The comparison's question is answered with OK; its final message is the recommendation.
    RecordingPrompter answers;
    ComparisonResult result;
    if (o_.evaluate == "methods") {
        result = session_.compareAllMethods(o_.method, &answers);
    } else {
        // The comparisons start from a montage the user has made.
        if (!makeMontage()) return 1;
        result = o_.evaluate == "increments" ? session_.evaluateIncrements(o_.method, &answers)
                                             : session_.evaluateAll(&answers);
    }
    if (!result.ran) {
        if (result.message) std::cerr << result.message->text << "\n";
        return 1;
    }
    if (result.candidates.empty()) {
        std::cerr << "orvanta-cli: no montage could be compared\n";
        return 1;
    }
    if (result.message) text_.write(result.message->text + "\n");
    return -1;
}

int CliRun::run() {
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
        if (observer_.keptAside) {
            const KeptMontage& k = observer_.chosen;
            const BgrView view{k.picture.rounded().data(), k.picture.pictureWidth(), k.picture.pictureHeight(),
                               std::size_t(k.picture.roundedWidth()) * 3};
            return writeOutputs(view, k.map, k.properties, k.made, k.score, MontageChoice{observer_.chosenWindow}) ? 0 : 1;
        }
        // The final montage could not be made again: there is nothing right to write.
        const MakeOutcome& last = session_.lastOutcome();
        if (!last.made || (o_.smooth && !last.smoothed)) return 1;
    }
    const MontageState& ms = state_.montage;
    const MakeOutcome& made = session_.lastOutcome();
    const float score = evaluateImage(ms.arrays, ms.geometry, made.increment);
    return writeOutputs(session_.montageView(), ms.map, ms.propertiesText, made, score) ? 0 : 1;
}

// The settings of a project file in place of the first file and the montage options.
bool applyProject(CliOptions& o) {
    if (!isRegularFile(o.openProject)) {
        std::cerr << "orvanta-cli: cannot find the project " << o.openProject << "\n";
        return false;
    }
    const ProjectSettings s = readProjectSettings(o.openProject);
    if (const auto refusal = projectRefusal(s)) {
        std::cerr << "orvanta-cli: cannot use the project " << o.openProject << ": " << *refusal << "\n";
        return false;
    }
    if (s.firstFileName.empty() || s.firstFileName == "0") {
        std::cerr << "orvanta-cli: the project " << o.openProject << " names no first file\n";
        return false;
    }
    o.firstFile = s.firstFileName;
    o.incrementText = s.incrementText;
    o.method = s.method >= 0 && s.method < kMethodCount ? s.method : 0;
    o.align = s.automaticAlignment && !s.usesOffsets;
    o.ignored = s.ignored;
    o.useOffsets = s.usesOffsets;
    o.offsets.clear();
    if (s.usesOffsets) {
        int last = 0;
        for (int i = 1; i <= kMaxPictures; ++i)
            if (s.targets[std::size_t(i)]) last = i;
        for (int i = 1; i <= last; ++i) {
            const auto& t = s.targets[std::size_t(i)];
            o.offsets.push_back(t ? ImageOffset{std::int16_t(t->first), std::int16_t(t->second)} : ImageOffset{});
        }
    }
    if (s.area == ProjectArea::Same) o.area = DisplayArea::Same;
    if (s.area == ProjectArea::Minimum) o.area = DisplayArea::Minimum;
    if (s.area == ProjectArea::Maximum) o.area = DisplayArea::Maximum;
    return true;
}

} // namespace

int main(int argc, char** argv) {
    orv::keepPictureMemory();
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
    // The picture readers are plug-ins found through the application object; no display is used.
    QCoreApplication app(argc, argv);
    if (!o.openProject.empty() && !applyProject(o)) return 1;
    const std::vector<OutputTarget> targets = outputTargets(o);
    if (const auto clash = outputClash(targets)) {
        std::cerr << "orvanta-cli: " << *clash << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    // A project names its series by a full path, so that it opens from anywhere.
    if (!o.saveProject.empty() && !o.firstFile.empty() && o.firstFile[0] != '/')
        o.firstFile = absoluteFileName(o.firstFile);
    // With the picture on standard output, everything else goes to standard error.
    CheckedOutput text(pictureToStandardOutput(o) ? 2 : 1);
    int status = 1;
    try {
        status = CliRun(o, text).run();
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
