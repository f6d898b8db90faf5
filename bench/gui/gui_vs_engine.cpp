// orvanta-gui-bench: what the windows cost. Makes the same montage by clicking "Make Montage" in
// the main window (offscreen unless a display is asked for) and through the engine as orvanta-cli
// does (series decoded, montage made), checks that both are the same, and prints both times and
// their ratio. With --screenshot DIR it also saves pictures of the windows after the click.
#include "ui/program_state.h"
#include "base/prompt.h"
#include "session/fixed_controls_observer.h"
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
#include <iostream>
#include <string>
#include <vector>

using namespace orv;

namespace {

struct Options {
    std::string first; // empty: a generated sample series
    int count = 8;
    std::string size = "1024x768";
    std::string increment = "20";
    int runs = 3;
    std::string screenshots;
};

int usage() {
    std::fprintf(stderr,
                 "usage: orvanta-gui-bench [--count N] [--size WxH] [--increment I] [--runs R]\n"
                 "                         [--screenshot DIR] [FIRST_FILE]\n"
                 "Without FIRST_FILE a sample series of N pictures of WxH is generated.\n");
    return 2;
}

double msSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
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
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        const char* v = nullptr;
        if (a == "--count" && (v = next())) o.count = std::atoi(v);
        else if (a == "--size" && (v = next())) o.size = v;
        else if (a == "--increment" && (v = next())) o.increment = v;
        else if (a == "--runs" && (v = next())) o.runs = std::max(1, std::atoi(v));
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
    bool identical = true;
    for (int run = 0; run < o.runs; ++run) {
        form.textFileName()->setText(QString::fromStdString(o.first));
        form.TextIncrement()->setText(QString::fromStdString(o.increment));
        auto t0 = std::chrono::steady_clock::now();
        form.CommandGo()->click();
        window.push_back(msSince(t0));
        if (prompter.shown) return 1;

        // The same session without windows, as orvanta-cli runs it.
        t0 = std::chrono::steady_clock::now();
        MontageControls controls;
        controls.firstFileName = o.first;
        controls.incrementText = o.increment;
        FixedControlsObserver observer(prompter, controls);
        SessionState batchState;
        batchState.programFolder = state.programFolder;
        MontageSession batch(batchState, observer);
        if (!batch.makeMontage().made) return 1;
        engine.push_back(msSince(t0));

        identical = identical && batchState.montage.arrays.montage.slot(100) == state.montage.arrays.montage.slot(100) &&
                    batchState.montage.map == form.windows().usedWindow()->mapText();
    }

    const double w = median(window), e = median(engine);
    std::printf("series: %s (%d pictures), increment %s, %d runs (medians)\n", o.first.c_str(),
                int(state.series.imageCount), o.increment.c_str(), o.runs);
    std::printf("window: %.1f ms\nengine: %.1f ms\nratio:  %.2f\nsame montage: %s\n", w, e, e > 0 ? w / e : 0.0,
                identical ? "yes" : "NO");

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
