// orvanta-fusion-run: makes one montage of a numbered series without windows, with any of the six
// methods, for bench/run (the batch front end gains the pyramid method separately). Loads the
// series with the same loader into the same stack as orvanta-cli, no offsets.
//
//   orvanta-fusion-run [-m 0-5|pyramid] [-i INCREMENT] [-o OUT] [--map FILE] [--depth-map FILE] FIRST_FILE
#include "base/atomic_file.h"
#include "base/runtime_error.h"
#include "engine/montage_run.h"
#include "fusion/pyramid_focus.h"
#include "input/picture_file.h"
#include "input/series_loader.h"
#include "output/depth_map.h"
#include "output/picture_writer.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

using namespace orv;

namespace {

int usage() {
    std::fprintf(stderr, "usage: orvanta-fusion-run [-m 0-5|pyramid] [-i INCREMENT] [-o OUT] "
                         "[--map FILE] [--depth-map FILE] FIRST_FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int method = kPyramidFocusMethod, increment = 20;
    std::string first, out, mapFile, depthFile;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        if (a == "-m" && v) {
            method = std::strcmp(v, "pyramid") == 0 ? kPyramidFocusMethod : std::atoi(v);
            ++i;
        } else if (a == "-i" && v) {
            increment = std::atoi(v);
            ++i;
        } else if (a == "-o" && v) {
            out = v;
            ++i;
        } else if (a == "--map" && v) {
            mapFile = v;
            ++i;
        } else if (a == "--depth-map" && v) {
            depthFile = v;
            ++i;
        } else if (!a.empty() && a[0] != '-' && first.empty()) {
            first = a;
        } else {
            return usage();
        }
    }
    if (first.empty() || method < 0 || method > 5 || increment < 10) return usage();

    try {
        const std::string completed = completeSeriesName(first, QDir::currentPath().toStdString() + "/");
        const auto series = parseSeriesName(completed);
        if (!series) return usage();
        std::vector<std::unique_ptr<MemorySurface>> pictures;
        loadSeriesSurfaces(*series, pictures);
        if (pictures.empty()) {
            std::fprintf(stderr, "orvanta-fusion-run: no picture of %s could be read\n", completed.c_str());
            return 1;
        }
        const int N = int(pictures.size());
        MontageGeometry g;
        g.W = float(pictures[0]->pictureWidth());
        g.H = float(pictures[0]->pictureHeight());
        OffsetTable offsets{};
        MemorySurface blank(pictures[0]->pictureWidth(), pictures[0]->pictureHeight());
        ArraySurfaces surfaces;
        surfaces.montage = &blank;
        for (auto& p : pictures) surfaces.pictures.push_back(p.get());

        PixelArrays mp;
        std::string map;
        PictureChoices choices;
        if (method == kPyramidFocusMethod) {
            mp.loadImageArrays(ArrayFill::Full, surfaces, SizeCheck{});
            pictures.clear(); // their pixels moved into the stack
            PyramidFocusOptions o;
            o.geometry = &g;
            o.offsets = &offsets;
            o.increment = increment;
            o.pictureCount = N;
            o.keepChoices = !depthFile.empty();
            PyramidFocusResult r = runPyramidFocus(mp, o);
            map = std::move(r.map);
            choices = std::move(r.choices);
        } else {
            FocusMeasure measure;
            FocusContext focus;
            MontageRun run = montageRunOver(mp, measure, focus, g, offsets,
                                            MontageRunSettings{increment, FocusMethod(method), IgnoreTicks{}, false}, N,
                                            int(std::max(1u, std::thread::hardware_concurrency())));
            run.surfaces = &surfaces;
            map = runMontage(run);
            if (!depthFile.empty())
                choices = blockChoices(map, BlockChoiceContext{&g, increment, N, &mp, &focus});
        }

        const auto& slot = mp.montage.slot(100);
        const BgrView view{slot.data(), int(g.W), int(g.H), std::size_t(mp.montage.width()) * 3};
        if (!out.empty()) writePicture(out, view);
        if (!mapFile.empty()) writeFileAtomically(mapFile, std::vector<std::uint8_t>(map.begin(), map.end()));
        if (!depthFile.empty()) writeDepthMap(depthFile, choices, N);
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "orvanta-fusion-run: %s\n", genericErrorText(e, e.line(), "orvanta-fusion-run").c_str());
        return 1;
    }
    return 0;
}
