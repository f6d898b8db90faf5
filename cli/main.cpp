// orvanta-cli: makes a montage from a numbered focus series without windows, with the same engine
// and the same messages as the desktop program.
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/prompt.h"
#include "cli/batch_montage.h"
#include "cli/cli_options.h"
#include "engine/properties_text.h"
#include "output/bmp_writer.h"
#include "output/picture_writer.h"

#include <QCoreApplication>
#include <QDir>

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

bool writeText(const std::string& path, const std::string& text) {
    try {
        writeFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
        return true;
    } catch (const RuntimeError& e) {
        std::cerr << "orvanta-cli: cannot write " << path << ": " << e.description() << "\n";
        return false;
    }
}

// The increment box's rule: a value below 10, or a number too large to read, makes the text "10".
std::string incrementBoxText(const std::string& text) {
    const LeadingNumber n = parseLeadingNumber(text);
    if (n.outOfRange || n.value < 10) return "10";
    return text;
}

int run(const CliOptions& o) {
    StderrPrompter prompter;
    const std::string boxText = incrementBoxText(o.incrementText);
    int increment;
    try {
        increment = roundToInt16(parseLeadingNumber(boxText).value);
    } catch (const RuntimeError& e) {
        prompter.ask(PromptIcon::Critical, genericErrorText(e, 1000, "CommandGo"),
                     kGenericErrorTitle);
        return 1;
    }

    ProgressBar bar(!o.quiet);
    BatchMontage batch(prompter);
    const std::string cwd = QDir::currentPath().toStdString() + "/";
    const SeriesOutcome loaded =
        batch.loadSeries(o.firstFile, cwd, [&](int k) { bar.show("loading", k, k); });
    bar.done();
    if (loaded != SeriesOutcome::Loaded) return 1;

    BatchSettings s;
    s.increment = increment;
    s.method = o.method;
    s.ignored = o.ignored;
    s.useOffsets = o.useOffsets;
    s.area = o.area;
    for (std::size_t i = 0; i < o.offsets.size(); ++i) s.offsets[i + 1] = o.offsets[i];

    try {
        const bool made = batch.make(s, false, [&](const BlockRowEvent& e) {
            bar.show("montage", e.rowIndex + 1, e.rowCount);
        });
        bar.done();
        if (!made) {
            if (o.area == DisplayArea::Maximum)
                std::cerr << "orvanta-cli: with these offsets the maximum area is empty\n";
            return 1;
        }
    } catch (...) {
        bar.done();
        const RuntimeError e = currentError();
        prompter.ask(PromptIcon::Critical, genericErrorText(e, e.line(), "CommandGo"),
                     kGenericErrorTitle);
        return 1;
    }

    const MemorySurface montage = batch.montagePicture();
    const std::string output = o.output.empty() ? defaultMontageName(batch.completedName()) : o.output;
    try {
        PictureWriteOptions w;
        w.transparent = o.transparent;
        w.quality = o.quality;
        writePicture(output,
                     BgrView{montage.rounded().data(), montage.pictureWidth(),
                             montage.pictureHeight(), std::size_t(montage.roundedWidth()) * 3},
                     w);
    } catch (const RuntimeError& e) {
        std::cerr << "orvanta-cli: cannot write " << output << ": " << e.description() << "\n";
        return 1;
    }

    PropertiesInput p;
    p.firstFileName = o.firstFile;
    p.pictureCount = batch.pictureCount();
    p.ignored = o.ignored;
    p.method = o.method;
    p.incrementText = boxText;
    p.autoSmooth = o.smooth;
    p.useOffsets = o.useOffsets;
    p.areaSame = o.area == DisplayArea::Same;
    p.areaMinimum = o.area == DisplayArea::Minimum;
    p.areaMaximum = o.area == DisplayArea::Maximum;
    p.offsets = batch.offsets();
    p.map = batch.map();
    const std::string properties = buildPropertiesText(p);

    if (!o.mapFile.empty() && !writeText(o.mapFile, batch.map())) return 1;
    if (!o.reportFile.empty()) {
        if (!writeText(o.reportFile, properties)) return 1;
    } else {
        std::cout << properties << std::flush;
    }
    return 0;
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
    return run(o);
}
