// Kernel benchmarks of the smoothing pass and the seam score, on a montage made from a synthetic
// stack of noisy pictures (so the pass has blocks to examine and replace).
#ifdef ORVANTA_HAVE_SMOOTHING
#include "bench/synthetic_stack.h"
#include "engine/focus_measure.h"
#include "engine/montage.h"
#include "smoothing/quality_score.h"
#include "smoothing/smoothing_pass.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

using namespace orv;

namespace {

struct Made : SyntheticStack {
    MontageGeometry g;
    FocusContext ctx;
    FocusMeasure fm;
    std::string map;
    std::vector<std::uint8_t> montage;

    Made(int n, int w, int h, int inc)
        : SyntheticStack(n, w, h, 11,
                         [](int k, std::mt19937& rng) { return std::uint8_t(rng() % (40 + 20 * k)); }) {
        g.W = float(w);
        g.H = float(h);
        BlockLoopInput in;
        in.geometry = &g;
        in.increment = inc;
        in.pictureCount = n;
        in.focus = &ctx;
        map = runBlockLoop(mp, fm, in);
        montage = mp.montage.slot(100);
    }
};

void smoothingPass(benchmark::State& state) {
    static Made made(10, 1024, 768, 20);
    for (auto _ : state) {
        state.PauseTiming();
        made.mp.montage.slot(100) = made.montage;
        std::string map = made.map;
        std::string properties = "  Smoothing =no \r\n  Montage made from dominant image numbers:\r\n" + map;
        MessageList messages;
        state.ResumeTiming();
        SmoothInput in;
        in.arrays = &made.mp;
        in.measure = &made.fm;
        in.focus = &made.ctx;
        in.geometry = &made.g;
        in.map = &map;
        in.properties = &properties;
        in.messages = &messages;
        in.showMessages = false;
        in.incrementText = "20";
        benchmark::DoNotOptimize(smoothMontage(in).replaced);
    }
}
BENCHMARK(smoothingPass)->Unit(benchmark::kMillisecond);

void qualityScore(benchmark::State& state) {
    static Made made(10, 1024, 768, 20);
    for (auto _ : state) benchmark::DoNotOptimize(evaluateImage(made.mp, made.g, int(state.range(0))));
}
BENCHMARK(qualityScore)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMicrosecond);

} // namespace
#endif
