// Series for the alignment tests: generated pictures with known moves put into an image stack,
// the montage the engine makes of a stack, and its PSNR against the truth.
#pragma once

#include "align/align_series.h"
#include "align/alignment_report.h"
#include "engine/montage_run.h"
#include "sample_series.h"

#include <cmath>
#include <string>
#include <vector>

namespace orv::test {

// A stack of pictures all of one size.
inline ImageStack stackOf(std::vector<sample::Picture> pictures) {
    ImageStack s;
    const int W = roundUp4(pictures.at(0).width), H = roundUp4(pictures.at(0).height);
    s.lastColumn = std::int16_t(W - 1);
    s.lastRow = std::int16_t(H - 1);
    s.count = std::int16_t(pictures.size());
    for (auto& p : pictures) {
        s.sizes.push_back({p.width, p.height});
        s.pictures.push_back(std::move(p.cells));
    }
    return s;
}

// Picture k of the series is moved by moves[k - 1].
inline std::vector<sample::Picture> movedPictures(const sample::SeriesMaker& maker,
                                                  const std::vector<sample::PictureTransform>& moves) {
    std::vector<sample::Picture> pictures;
    for (int k = 1; k <= int(moves.size()); ++k) pictures.push_back(maker.picture(k, moves[std::size_t(k - 1)]));
    return pictures;
}
inline ImageStack movedSeries(const sample::SeriesMaker& maker, const std::vector<sample::PictureTransform>& moves) {
    return stackOf(movedPictures(maker, moves));
}

// Moves by equal steps from the middle picture, as a breathing lens on a rail makes them.
inline std::vector<sample::PictureTransform> steppedMoves(int count, double scaleStep, double rotationStep,
                                                          double shiftX, double shiftY) {
    std::vector<sample::PictureTransform> moves;
    for (int k = 1; k <= count; ++k) {
        const int d = k - sample::middlePicture(count);
        sample::PictureTransform t;
        t.scale = std::pow(1 + scaleStep, -d);
        t.rotation = rotationStep * d;
        t.shiftX = shiftX * d;
        t.shiftY = shiftY * d;
        moves.push_back(t);
    }
    return moves;
}

// Scene margin that covers every move of `moves` on a w x h frame.
inline int marginFor(const std::vector<sample::PictureTransform>& moves, int w, int h) {
    double worst = 0;
    const double r = std::hypot(w, h) / 2;
    for (const auto& t : moves)
        worst = std::max(worst, r * std::fabs(1 / t.scale - 1) + r * std::fabs(t.rotation) * 0.0175 +
                                    std::hypot(t.shiftX, t.shiftY) * 1.1);
    return int(std::ceil(worst)) + 6;
}

struct Montage {
    MontageGeometry geometry;
    std::vector<std::uint8_t> cells; // slot 100
    int width = 0;                   // of the slot
};

// The montage the engine makes of `stack` (as the batch front end runs it, the stack filled),
// over the frame or the aligned display area.
inline Montage montageOf(ImageStack stack, const AlignmentReport* aligned = nullptr,
                         DisplayArea area = DisplayArea::Same, int increment = 20) {
    PixelArrays mp;
    mp.stack = std::move(stack);
    Montage m;
    m.geometry.W = float(mp.stack.pictureWidth(1));
    m.geometry.H = float(mp.stack.pictureHeight(1));
    if (aligned) applyAlignedArea(m.geometry, *aligned, area);
    montageOfFilledStack(mp, m.geometry, increment, FocusMethod::ColorSpace3D, 2);
    m.cells = std::move(mp.montage.slot(100));
    m.width = mp.montage.width();
    return m;
}

// PSNR of the montage against the truth on the frame rectangle `r` (rows from the top), the
// montage's pixel (x, y) standing for frame pixel (x + left, y + bottom), rows from the bottom.
inline double psnr(const Montage& m, int left, int bottom, const sample::Picture& truth, const FrameRect& r) {
    const int TW = roundUp4(truth.width);
    double sum = 0;
    long long n = 0;
    for (int fy = r.top; fy < r.top + r.height; ++fy) {
        const int by = truth.height - 1 - fy; // frame row from the bottom
        for (int fx = r.left; fx < r.left + r.width; ++fx)
            for (int ch = 0; ch < 3; ++ch) {
                const int a = m.cells[(std::size_t(by - bottom) * m.width + (fx - left)) * 3 + ch];
                const int b = truth.cells[(std::size_t(by) * TW + fx) * 3 + ch];
                sum += double(a - b) * (a - b);
                ++n;
            }
    }
    const double mse = sum / double(n);
    return mse <= 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

} // namespace orv::test
