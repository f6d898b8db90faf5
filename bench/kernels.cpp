// Kernel benchmarks: the focus measure per method and increment, and the whole block loop, on a
// synthetic stack in memory.
#include "bench/synthetic_stack.h"
#include "engine/focus_measure.h"
#include "engine/montage.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

using namespace orv;

namespace {

SyntheticStack& stack() {
    static SyntheticStack s(10, 1024, 768, 7, [](int, std::mt19937& rng) { return std::uint8_t(rng()); });
    return s;
}

void focusMeasure(benchmark::State& state) {
    const int method = int(state.range(0));
    const int inc = int(state.range(1));
    FocusContext ctx;
    ctx.method = FocusMethod(method);
    FocusMeasure fm;
    fm.allocate(inc);
    const PixelArrays& mp = stack().mp;
    std::int16_t ox, oy;
    int x = 0, y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fm.gotFocusMeasure(mp, ctx, x, y, inc, 0, 0, ox, oy, 1, 1));
        x += inc;
        if (x + inc > 1024) {
            x = 0;
            y = (y + inc) % (768 - inc);
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(focusMeasure)->ArgsProduct({{0, 1, 2, 3, 4}, {10, 20, 40}});

void blockLoop(benchmark::State& state) {
    const int inc = int(state.range(0));
    PixelArrays& mp = stack().mp;
    MontageGeometry g;
    g.W = 1024;
    g.H = 768;
    FocusContext ctx;
    FocusMeasure fm;
    BlockLoopInput in;
    in.geometry = &g;
    in.increment = inc;
    in.pictureCount = 10;
    in.focus = &ctx;
    for (auto _ : state) benchmark::DoNotOptimize(runBlockLoop(mp, fm, in));
    state.SetBytesProcessed(state.iterations() * 1024LL * 768 * 3);
}
BENCHMARK(blockLoop)->Arg(10)->Arg(20)->Arg(40)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
