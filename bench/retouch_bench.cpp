// orvanta-retouch-bench: a stroke on a 24 MP montage (6000 x 4000) with a 200-pixel brush, soft
// edge and matched brightness, as the montage window paints it: each dab painted and its area
// copied into the window's picture; the 100-dab stroke from its first dab to the end of the
// brightness match; its undo. Prints the medians of REPS strokes (default 5):
//   dab: N ms
//   stroke: N ms
//   undo: N ms
//
//   orvanta-retouch-bench [REPS]
#include "retouch/retouch.h"

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

// The changed rectangle copied into the shown picture, as PictureBox::drawCells does.
void show(QImage& shown, const std::vector<std::uint8_t>& montage, int W, const Rect& r) {
    for (int y = r.y0; y < r.y1; ++y) {
        const std::uint8_t* s = montage.data() + (std::size_t(y) * W + r.x0) * 3;
        QRgb* d = reinterpret_cast<QRgb*>(shown.scanLine(y)) + r.x0;
        for (int x = r.x0; x < r.x1; ++x, s += 3) *d++ = qRgb(s[2], s[1], s[0]);
    }
}

} // namespace

int main(int argc, char** argv) {
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int W = 6000, H = 4000;
    std::vector<std::uint8_t> montage(std::size_t(W) * H * 3), source(montage.size());
    std::mt19937 g(7);
    for (std::size_t i = 0; i < montage.size(); ++i) {
        const int v = 60 + int(g() % 120);
        montage[i] = std::uint8_t(v);
        source[i] = std::uint8_t(std::min(255, v * 11 / 10 + int(g() % 9)));
    }
    QImage shown(W, H, QImage::Format_RGB32);
    show(shown, montage, W, Rect{0, 0, W, H});
    const Raster raster{montage.data(), W, H, std::ptrdiff_t(W) * 3};
    const SourcePlacement placed{source.data(), W, H, std::ptrdiff_t(W) * 3, 0, 0};
    const Brush brush{200, 50, 100, true};

    std::vector<double> dabs, strokes, undos;
    const std::vector<std::uint8_t> original = montage;
    for (int rep = 0; rep < reps; ++rep) {
        // 100 dabs: the pointer moves a quarter radius (50 pixels) between events, along a
        // line across the montage with a bend.
        const auto start = Clock::now();
        StrokeRecord stroke(raster, placed, brush);
        for (int i = 0; i < 100; ++i) {
            const int x = 500 + 50 * i, y = 1500 + (i < 50 ? 10 * i : 1000 - 10 * (i - 50));
            const auto a = Clock::now();
            const Rect changed = stroke.lineTo(x, y);
            show(shown, montage, W, changed);
            dabs.push_back(ms(a, Clock::now()));
        }
        show(shown, montage, W, stroke.finish());
        strokes.push_back(ms(start, Clock::now()));
        const auto u = Clock::now();
        stroke.undo(raster);
        show(shown, montage, W, stroke.bounds());
        undos.push_back(ms(u, Clock::now()));
        if (montage != original) {
            std::fprintf(stderr, "orvanta-retouch-bench: undo did not restore the montage\n");
            return 1;
        }
    }
    std::printf("dab: %.1f ms\nstroke: %.0f ms\nundo: %.1f ms\n", median(dabs), median(strokes), median(undos));
    return 0;
}
