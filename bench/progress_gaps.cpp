// How soon Cancel takes effect: makes one montage through the session as the desktop program does
// (reading, alignment when asked, the method), saves it as the desktop program does (BMP, TIFF,
// PNG, and JPEG through the conversion program beside this one) into SAVE_FOLDER when one is
// given, and reports, per phase and saved format, the longest time between two of the session's
// progress reports, which is also the longest a Cancel waits before the run stops.
// Usage: orvanta-progress-gaps FIRST_FILE [METHOD 0-5] [align 0/1] [increment] [SAVE_FOLDER]
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include <QGuiApplication>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>

using namespace orv;
using Clock = std::chrono::steady_clock;

namespace {

class GapObserver : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    void progress(RunPhase phase, int, int) override {
        const auto now = Clock::now();
        const double gap = std::chrono::duration<double, std::milli>(now - last_).count();
        double& worst = worst_[phase];
        if (gap > worst) worst = gap;
        ++count_[phase];
        last_ = now;
    }
    void start() { last_ = Clock::now(); }
    std::map<RunPhase, double> worst_;
    std::map<RunPhase, int> count_;

private:
    Clock::time_point last_ = Clock::now();
};

const char* name(RunPhase p) {
    switch (p) {
    case RunPhase::Reading: return "reading";
    case RunPhase::Aligning: return "aligning";
    case RunPhase::Fusing: return "fusing";
    case RunPhase::Smoothing: return "smoothing";
    case RunPhase::Saving: return "saving";
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FIRST_FILE [METHOD] [ALIGN] [INCREMENT] [SAVE_FOLDER]\n", argv[0]);
        return 2;
    }
    StderrPrompter prompter;
    GapObserver observer(prompter);
    SessionState state;
    state.programFolder = "./";
    MontageSession session(state, observer);
    MontageRequest r;
    r.firstFileName = argv[1];
    r.method = FocusMethod(argc > 2 ? std::atoi(argv[2]) : 5);
    r.align = argc > 3 && std::atoi(argv[3]) != 0;
    r.incrementText = argc > 4 ? argv[4] : "20";
    const auto t0 = Clock::now();
    observer.start();
    const MakeOutcome out = session.makeMontage(r);
    const double total = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("made %d in %.2f s\n", int(out.made), total);
    for (const auto& [phase, worst] : observer.worst_)
        std::printf("%-9s %5d reports, longest gap %.0f ms\n", name(phase), observer.count_[phase], worst);
    if (!out.made || argc < 6) return out.made ? 0 : 1;

    // The saving, one format at a time.
    const std::string folder = argv[5];
    std::string programFolder = QCoreApplication::applicationDirPath().toStdString() + "/";
    for (const char* file : {"gaps.bmp", "gaps.tif", "gaps.png", "gaps.jpg"}) {
        observer.worst_.clear();
        observer.count_.clear();
        const auto s0 = Clock::now();
        observer.start();
        const std::string failed = session.saveMontage({}, folder + "/" + file, SaveMontageOptions{{}, programFolder, {}});
        const double took = std::chrono::duration<double>(Clock::now() - s0).count();
        const double worst = observer.worst_[RunPhase::Saving];
        std::printf("saving %-8s %.2f s, %5d reports, longest gap %.0f ms%s\n", file, took,
                    observer.count_[RunPhase::Saving], worst, failed.empty() ? "" : (" (" + failed + ")").c_str());
    }
    return 0;
}
