// orvanta-retouch-bench: a stroke on a 24 MP montage (6000 x 4000) with a 200-pixel brush, soft
// edge and matched brightness, as the montage window paints it: each dab painted, its cells drawn
// into the window's picture box and that part of the box repainted at once (an offscreen window
// unless QT_QPA_PLATFORM says otherwise); the 100-dab stroke from its first dab to the end of the
// brightness match, repaints included; its undo and repaint. Prints the medians of REPS strokes
// (default 5):
//   dab: N ms
//   stroke: N ms
//   undo: N ms
//
//   orvanta-retouch-bench [REPS]
#include "retouch/retouch.h"
#include "session/montage_session.h"
#include "ui/picture_box.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

using namespace orv::retouch;

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The changed rectangle drawn into the window and repainted there, as the montage window does.
void show(orv::PictureBox& box, const orv::MemorySurface& montage, const Rect& r) {
    if (r.empty()) return;
    const int h = montage.pictureHeight();
    box.drawCells(montage.rounded().data(), montage.roundedWidth(), orv::roundUp4(h), r.x0, h - r.y1, r.x1 - 1,
                  h - 1 - r.y0);
    box.repaint(box.toBox(QRect(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0)));
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int W = 6000, H = 4000;
    std::vector<std::uint8_t> cells(std::size_t(W) * H * 3), source(cells.size());
    std::mt19937 g(7);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int v = 60 + int(g() % 120);
        cells[i] = std::uint8_t(v);
        source[i] = std::uint8_t(std::min(255, v * 11 / 10 + int(g() % 9)));
    }
    orv::MemorySurface picture(W, H, std::move(cells));
    orv::PictureBox shown;
    shown.setBlankPicture(W, H);
    shown.show();
    show(shown, picture, Rect{0, 0, W, H});
    app.processEvents();
    const Raster raster = orv::montageRaster(picture);
    const SourcePlacement placed{source.data(), W, H, std::ptrdiff_t(W) * 3, 0, 0};
    const Brush brush{200, 50, 100, true};

    std::vector<double> dabs, strokes, undos;
    const std::vector<std::uint8_t> original = picture.rounded();
    for (int rep = 0; rep < reps; ++rep) {
        // 100 dabs: the pointer moves a quarter radius (50 pixels) between events, along a
        // line across the montage with a bend.
        const auto start = Clock::now();
        StrokeRecord stroke(raster, placed, brush);
        for (int i = 0; i < 100; ++i) {
            const int x = 500 + 50 * i, y = 1500 + (i < 50 ? 10 * i : 1000 - 10 * (i - 50));
            const auto a = Clock::now();
            const Rect changed = stroke.lineTo(x, y);
            show(shown, picture, changed);
            dabs.push_back(ms(a, Clock::now()));
        }
        show(shown, picture, stroke.finish());
        strokes.push_back(ms(start, Clock::now()));
        const auto u = Clock::now();
        stroke.undo(raster);
        show(shown, picture, stroke.bounds());
        undos.push_back(ms(u, Clock::now()));
        if (picture.rounded() != original) {
            std::fprintf(stderr, "orvanta-retouch-bench: undo did not restore the montage\n");
            return 1;
        }
    }
    std::printf("dab: %.1f ms\nstroke: %.0f ms\nundo: %.1f ms\n", median(dabs), median(strokes), median(undos));
    return 0;
}
