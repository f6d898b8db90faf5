// orvanta-gui-bench: what the windows cost. Makes the same montage by clicking "Make Montage" in
// the main window (offscreen unless a display is asked for) and through the engine as orvanta-cli
// does (series decoded, montage made), checks that both are the same, and prints both times and
// their ratio. With --screenshot DIR it also saves pictures of the windows after the click.
#include "ui/program_state.h"
#include "base/memory_tuning.h"
#include "base/prompt.h"
#include "session/montage_session.h"
#include "session/prompting_observer.h"
#include "ui/common_dialog.h"
#include "ui/form_montage.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include <sys/resource.h>

using namespace orv;

namespace {

struct Options {
    std::string first; // empty: a generated sample series
    int count = 8;
    std::string size = "1024x768";
    std::string increment = "20";
    int runs = 3;
    int warmup = 3; // runs first made and not counted: the first click creates the windows
    bool each = false;
    std::string screenshots;
};

int usage() {
    std::fprintf(stderr,
                 "usage: orvanta-gui-bench [--count N] [--size WxH] [--increment I] [--runs R]\n"
                 "                         [--warmup W] [--each] [--screenshot DIR] [FIRST_FILE]\n"
                 "Without FIRST_FILE a sample series of N pictures of WxH is generated. W runs (3 unless\n"
                 "given) of each are made first and not counted; --each prints every run's times.\n");
    return 2;
}

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Pages this process has touched for the first time so far (minor faults), and the processor
// time it has used (milliseconds), over every thread.
struct Usage {
    long faults = 0;
    double cpu = 0;
};
Usage resourceUse() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return Usage{ru.ru_minflt, ms(ru.ru_utime) + ms(ru.ru_stime)};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Messages go to standard error; questions get their first button.
class ReportingPrompter : public Prompter {
public:
    PromptAnswer show(const Prompt& p) override {
        std::cerr << "message: " << p.text << " (" << p.title << ")\n";
        ++shown;
        return defaultAnswer(p.buttons);
    }
    int shown = 0;
};

void saveGrab(QWidget* w, const QString& path) {
    if (w && w->isVisible() && w->grab().save(path)) std::cout << "saved " << path.toStdString() << "\n";
}

} // namespace

int main(int argc, char** argv) {
    // The allocator as the desktop program and orvanta-cli set it.
    keepPictureMemory();
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--count" && (v = next())) o.count = std::atoi(v);
        else if (a == "--size" && (v = next())) o.size = v;
        else if (a == "--increment" && (v = next())) o.increment = v;
        else if (a == "--runs" && (v = next())) o.runs = std::max(1, std::atoi(v));
        else if (a == "--warmup" && (v = next())) o.warmup = std::max(0, std::atoi(v));
        else if (a == "--each") o.each = true;
        else if (a == "--screenshot" && (v = next())) o.screenshots = v;
        else if (!a.empty() && a[0] != '-' && o.first.empty()) o.first = a;
        else return usage();
    }
    if (!std::getenv("QT_QPA_PLATFORM") && o.screenshots.empty()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The offscreen platform's notes about window features it lacks say nothing about the timing.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtWarningMsg || !text.startsWith(QLatin1String("This plugin does not support")))
            std::cerr << text.toStdString() << "\n";
    });
    QApplication app(argc, argv);

    QTemporaryDir work;
    if (o.first.empty()) {
        const QString maker = QCoreApplication::applicationDirPath() + "/make-sample-series";
        QProcess p;
        p.start(maker, {work.path() + "/series", "--count", QString::number(o.count), "--size",
                        QString::fromStdString(o.size), "--no-truth"});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            std::cerr << "orvanta-gui-bench: cannot run " << maker.toStdString() << "\n";
            return 1;
        }
        o.first = (work.path() + "/series/sample01.bmp").toStdString();
    }
    o.first = QFileInfo(QString::fromStdString(o.first)).absoluteFilePath().toStdString();

    // The desktop program's main window on its own state, as start-up leaves it.
    ProgramState state;
    state.programFolder = work.path().toStdString() + "/";
    state.preferences = ProfileFile(state.programFolder + "orvanta.ini");
    state.startupFlag = false;
    state.firstActivation = false;
    state.originatingImage = true;
    ReportingPrompter prompter;
    CommonDialog dialog(std::make_unique<ScriptedDialogBackend>());
    FormMontage form(state, prompter, dialog);
    form.windows().montageWindow();
    form.show();
    QCoreApplication::processEvents();

    std::vector<double> window, engine;
    Usage windowUse, engineUse; // summed over the counted runs
    // The click in the main window, as a user makes it.
    auto clickWindow = [&] {
        form.textFileName()->setText(QString::fromStdString(o.first));
        form.TextIncrement()->setText(QString::fromStdString(o.increment));
        const auto t0 = std::chrono::steady_clock::now();
        form.CommandGo()->click();
        return msSince(t0);
    };
    // The same session without windows, as orvanta-cli runs it.
    SessionState batchState;
    auto runEngine = [&] {
        const auto t0 = std::chrono::steady_clock::now();
        MontageRequest request;
        request.firstFileName = o.first;
        request.incrementText = o.increment;
        PromptingObserver observer(prompter);
        batchState = SessionState{};
        batchState.programFolder = state.programFolder;
        MontageSession batch(batchState, observer);
        if (!batch.makeMontage(request).made) return -1.0;
        return msSince(t0);
    };
    // Each path runs as its front end is used: click after click in the one program, run after
    // run of the engine. The first runs of each (windows created, caches warm) are not counted.
    auto measure = [&](const char* name, const std::function<double()>& once, std::vector<double>& times,
                       Usage& use) {
        for (int run = -o.warmup; run < o.runs; ++run) {
            const Usage u0 = resourceUse();
            const double t = once();
            if (prompter.shown || t < 0) return false;
            if (o.each) std::fprintf(stderr, "run %d: %s %.1f ms\n", run, name, t);
            if (run < 0) continue;
            times.push_back(t);
            const Usage u1 = resourceUse();
            use.faults += u1.faults - u0.faults;
            use.cpu += u1.cpu - u0.cpu;
        }
        return true;
    };
    if (!measure("window", clickWindow, window, windowUse) || !measure("engine", runEngine, engine, engineUse))
        return 1;
    const bool identical = batchState.montage.arrays.montage.slot(100) == state.montage.arrays.montage.slot(100) &&
                batchState.montage.main().map == form.windows().usedWindow()->mapText();

    const double w = median(window), e = median(engine);
    std::printf("series: %s (%d pictures), increment %s, %d runs after %d not counted (medians)\n",
                o.first.c_str(), int(state.series.imageCount), o.increment.c_str(), o.runs, o.warmup);
    std::printf("window: %.1f ms\nengine: %.1f ms\nratio:  %.2f\nsame montage: %s\n", w, e, e > 0 ? w / e : 0.0,
                identical ? "yes" : "NO");
    // Processor time and fresh pages per run (means, every thread): steadier than the clock on a
    // busy machine, and what the window path adds to the engine's work.
    std::printf("processor time per run: window %.1f ms, engine %.1f ms\n", windowUse.cpu / o.runs,
                engineUse.cpu / o.runs);
    std::printf("pages first touched per run: window %ld, engine %ld\n", windowUse.faults / o.runs,
                engineUse.faults / o.runs);

    if (!o.screenshots.empty()) {
        QDir().mkpath(QString::fromStdString(o.screenshots));
        const QString dir = QString::fromStdString(o.screenshots) + "/";
        QCoreApplication::processEvents();
        saveGrab(form.windows().montageWindow(), dir + "montage.png");
        saveGrab(form.windows().usedWindow(), dir + "map.png");
        saveGrab(form.windows().previewWindow(), dir + "preview.png");
        saveGrab(&form, dir + "main.png");
        if (QScreen* s = QGuiApplication::primaryScreen()) {
            const QPixmap screen = s->grabWindow(0);
            if (!screen.isNull() && screen.save(dir + "screen.png"))
                std::cout << "saved " << (dir + "screen.png").toStdString() << "\n";
        }
    }
    return identical ? 0 : 1;
}
