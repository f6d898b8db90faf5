// orvanta-cli: makes a montage from a numbered focus series without windows, with the same engine
// and the same messages as the desktop program.
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/prompt.h"
#include "cli/batch_montage.h"
#include "cli/cli_options.h"
#include "engine/montage_run.h"
#include "engine/properties_text.h"
#include "input/series_naming.h"
#include "output/bmp_writer.h"
#include "output/output_set.h"
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

// What one Make Montage left behind: the texts that go with slot 100 and its smoothing report.
struct MadeMontage {
    std::string boxText; // the increment box's text it was made with
    int increment = 0;
    int method = 0;
    std::string properties;
    bool smoothed = false;
    SmoothResult smoothing;
};

// A montage kept aside, as a comparison window keeps it.
struct KeptMontage {
    MemorySurface picture;
    std::string map;
    MadeMontage made;
    float score = 0;
};

// One run of the command line: the series decoded once and Make Montage as often as the options
// ask for it, with the same settings a user would set in the desktop program.
class Session {
public:
    explicit Session(const CliOptions& o) : o_(o), bar_(!o.quiet), batch_(prompter_) {
        s_.ignored = o.ignored;
        s_.useOffsets = o.useOffsets;
        s_.area = o.area;
        for (std::size_t i = 0; i < o.offsets.size(); ++i) s_.offsets[i + 1] = o.offsets[i];
        smoothing_.edgeFactor = o.edgeFactor;
        smoothing_.focusFactor = o.focusFactor;
        smoothing_.diffFactor = std::int16_t(o.diffFactor);
    }

    int run();

private:
    // Make Montage with the increment box's text and the method given, honouring the comparison
    // state; smooths the result when --smooth is given. Returns the increment used, 0 when no
    // montage was made (its messages have been shown).
    int makeMontage(const std::string& boxText, int method, const EvaluationState& state);
    int evaluate(EvaluationState& state, KeptMontage& chosen, bool& keptAside);
    bool writeOutputs(const BgrView& picture, const std::string& map, const MadeMontage& made,
                      float score);

    const CliOptions& o_;
    StderrPrompter prompter_;
    ProgressBar bar_;
    BatchMontage batch_;
    BatchSettings s_;
    SmoothingSettings smoothing_;
    MadeMontage made_;
    bool lastMadeOk_ = false; // the last Make Montage left a montage in slot 100
};

int Session::makeMontage(const std::string& typedBox, int method, const EvaluationState& state) {
    lastMadeOk_ = false;
    IncrementBox box;
    try {
        box = readIncrementBox(typedBox);
    } catch (const RuntimeError& e) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(e, e.line(), "CommandGo"),
                      kGenericErrorTitle);
        return 0;
    }
    const std::string boxText = box.text;
    const int increment = box.increment;
    s_.increment = increment;
    s_.method = method;
    s_.evaluationMode = state.evaluationMode;
    s_.evaluationRun = state.evaluationRun;
    made_ = MadeMontage{boxText, increment, method, "", false, {}};
    try {
        const bool made = batch_.make(s_, reusesLoadedPictures(state, increment),
                                      [&](const BlockRowEvent& e) {
                                          bar_.show("montage", e.rowIndex + 1, e.rowCount);
                                      });
        bar_.done();
        if (!made) {
            if (o_.area == DisplayArea::Maximum)
                std::cerr << "orvanta-cli: with these offsets the maximum area is empty\n";
            return 0;
        }
    } catch (...) {
        bar_.done();
        const RuntimeError e = currentError();
        prompter_.ask(PromptIcon::Critical, genericErrorText(e, e.line(), "CommandGo"),
                      kGenericErrorTitle);
        return 0;
    }

    PropertiesInput p;
    p.firstFileName = o_.firstFile;
    p.pictureCount = batch_.pictureCount();
    p.ignored = o_.ignored;
    p.method = method;
    p.incrementText = boxText;
    p.autoSmooth = o_.smooth;
    p.useOffsets = o_.useOffsets;
    p.areaSame = o_.area == DisplayArea::Same;
    p.areaMinimum = o_.area == DisplayArea::Minimum;
    p.areaMaximum = o_.area == DisplayArea::Maximum;
    p.offsets = batch_.offsets();
    p.map = batch_.map();
    made_.properties = buildPropertiesText(p);

    if (o_.smooth) {
        // The automatic pass at the end of Make Montage: no message of its own.
        SmoothInput in;
        in.arrays = &batch_.arrays();
        in.measure = &batch_.focusMeasure();
        in.focus = &batch_.focusContext();
        in.geometry = &batch_.geometry();
        in.area = o_.area;
        in.map = &batch_.map();
        in.properties = &made_.properties;
        in.prompter = &prompter_;
        in.showMessages = false;
        in.incrementText = boxText;
        in.settings = smoothing_;
        try {
            made_.smoothing = smoothMontage(in);
            made_.smoothed = made_.smoothing.outcome == SmoothOutcome::Done;
        } catch (...) {
            const RuntimeError e = currentError();
            prompter_.ask(PromptIcon::Critical, genericErrorText(e, 11000, "CommandGo"),
                          kGenericErrorTitle);
            return 0;
        }
        if (!made_.smoothed) return 0;
    }
    lastMadeOk_ = true;
    return increment;
}

// The picture part of an in-memory surface's rounded cells.
BgrView viewOf(const MemorySurface& m) {
    return BgrView{m.rounded().data(), m.pictureWidth(), m.pictureHeight(),
                   std::size_t(m.roundedWidth()) * 3};
}

bool Session::writeOutputs(const BgrView& montage, const std::string& map,
                           const MadeMontage& made, float score) {
    if (made.smoothed && made.smoothing.replaced > 0) std::cerr << made.smoothing.report << std::flush;
    const std::string output =
        o_.output.empty() ? defaultMontageName(batch_.completedName()) : o_.output;
    // The picture, the map and the report appear together or not at all.
    std::string writing = output;
    try {
        OutputSet files;
        PictureWriteOptions w;
        w.transparent = o_.transparent;
        w.quality = o_.quality;
        files.addPicture(output, montage, w);
        if (!o_.mapFile.empty()) files.addText(writing = o_.mapFile, map);
        if (!o_.reportFile.empty()) files.addText(writing = o_.reportFile, made.properties);
        writing = output;
        files.commit();
    } catch (...) {
        std::cerr << "orvanta-cli: cannot write " << writing << ": " << currentError().description() << "\n";
        return false;
    }
    if (o_.reportFile.empty()) std::cout << made.properties << std::flush;
    if (o_.score) std::cout << "Quality score = " << formatScore(score) << "\n" << std::flush;
    return true;
}

// Runs the comparison the options name. The chosen montage is left in slot 100, or kept aside in
// `chosen` for the method comparison (whose windows keep the pictures). Returns an exit status,
// or -1 to go on and write the chosen montage.
int Session::evaluate(EvaluationState& state, KeptMontage& chosen, bool& keptAside) {
    std::string box = o_.incrementText;
    int method = o_.method;
    std::array<KeptMontage, 5> windows;

    ComparisonHooks hooks;
    hooks.makeMontage = [&](const MontageRequest& r, const EvaluationState& st) {
        if (r.increment) box = std::to_string(*r.increment);
        method = r.method;
        return makeMontage(box, method, st);
    };
    hooks.scored = [&](const Candidate& c) {
        std::cout << methodCaption(c.method) << " (method " << c.method << "), increment "
                  << c.increment << ": Quality score = " << formatScore(c.score) << "\n"
                  << std::flush;
    };
    hooks.keepComparison = [&](int window, int) {
        KeptMontage& k = windows[std::size_t(window)];
        k.picture = batch_.montagePicture();
        k.map = batch_.map();
        k.made = made_;
        k.score = evaluateImage(batch_.arrays(), batch_.geometry(), made_.increment);
    };
    hooks.showComparisonInMain = [&](int window) {
        chosen = windows[std::size_t(window)];
        keptAside = true;
    };

    // The driver's question is answered with OK; its final message is the recommendation.
    RecordingPrompter answers;
    ComparisonDriver driver(state, batch_.arrays(), batch_.geometry(), answers, hooks);
    ComparisonResult result;
    if (o_.evaluate == "methods") {
        result = driver.compareAllMethods(o_.method);
    } else {
        // The comparisons start from a montage the user has made.
        if (makeMontage(box, method, state) == 0) return 1;
        result = o_.evaluate == "increments" ? driver.evaluateIncrements(o_.method)
                                             : driver.evaluateAll();
    }
    if (!result.ran) {
        if (result.message) std::cerr << result.message->text << "\n";
        return 1;
    }
    if (result.candidates.empty()) {
        std::cerr << "orvanta-cli: no montage could be compared\n";
        return 1;
    }
    if (result.message) std::cout << result.message->text << "\n" << std::flush;
    return -1;
}

int Session::run() {
    if (o_.smooth) {
        if (const auto refusal = smoothingRefusal(10, smoothing_)) {
            prompter_.show(*refusal);
            return 1;
        }
    }
    const std::string cwd = currentFolder();
    const SeriesOutcome loaded =
        batch_.loadSeries(o_.firstFile, cwd, [&](int k) { bar_.show("loading", k, k); });
    bar_.done();
    if (loaded != SeriesOutcome::Loaded) return 1;

    EvaluationState state;
    if (o_.evaluate.empty()) {
        if (makeMontage(o_.incrementText, o_.method, state) == 0) return 1;
    } else {
        KeptMontage chosen;
        bool keptAside = false;
        const int status = evaluate(state, chosen, keptAside);
        if (status >= 0) return status;
        if (keptAside) return writeOutputs(viewOf(chosen.picture), chosen.map, chosen.made, chosen.score) ? 0 : 1;
        // The final montage could not be made again: there is nothing right to write.
        if (!lastMadeOk_) return 1;
    }
    const float score = evaluateImage(batch_.arrays(), batch_.geometry(), made_.increment);
    return writeOutputs(batch_.montageView(), batch_.map(), made_, score) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const CliParse parsed = parseCliOptions(args);
    if (!parsed.options) {
        std::cerr << "orvanta-cli: " << parsed.error << "\nTry 'orvanta-cli --help'.\n";
        return 2;
    }
    const CliOptions& o = *parsed.options;
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
    try {
        return Session(o).run();
    } catch (...) {
        const RuntimeError e = currentError();
        std::cerr << genericErrorText(e, e.line(), "CommandGo") << "\n";
        return 1;
    }
}
