// Small generated focus series for the pyramid tests: a detailed texture, its box-blurred copy,
// and pictures painted from them in array coordinates (y from the bottom).
#pragma once

#include "base/deep_picture.h"
#include "base/pixel_types.h"
#include "engine/engine_fixtures.h"
#include "engine/montage.h"
#include "fusion/pyramid_focus.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace orv {
inline void PrintTo(const Rgb& c, std::ostream* os) { *os << "rgb(" << c.r << "," << c.g << "," << c.b << ")"; }
} // namespace orv

namespace orv::test {

// A sharp, colourful texture: per-pixel noise over a coarser pattern, values 20 to 235.
inline Rgb texture(int x, int y) {
    auto h = [](std::uint32_t a, std::uint32_t b, std::uint32_t salt) {
        std::uint32_t v = a * 374761393u + b * 668265263u + salt * 2246822519u;
        v = (v ^ (v >> 13)) * 1274126177u;
        return int((v ^ (v >> 16)) & 0xff);
    };
    const int coarse = ((x / 6 + y / 6) % 2) * 60;
    return Rgb{20 + (h(x, y, 1) * 3 / 4 + coarse) % 216, 20 + (h(x, y, 2) * 3 / 4 + coarse) % 216,
               20 + (h(x, y, 3) * 3 / 4) % 216};
}

// The texture box-blurred with radius r, cut at the picture's edges.
inline std::function<Rgb(int, int)> blurredTexture(int W, int H, int r) {
    std::vector<Rgb> cells(std::size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            int sr = 0, sg = 0, sb = 0, n = 0;
            for (int j = std::max(0, y - r); j <= std::min(H - 1, y + r); ++j)
                for (int i = std::max(0, x - r); i <= std::min(W - 1, x + r); ++i) {
                    const Rgb c = texture(i, j);
                    sr += c.r;
                    sg += c.g;
                    sb += c.b;
                    ++n;
                }
            cells[std::size_t(y) * W + x] = Rgb{(sr + n / 2) / n, (sg + n / 2) / n, (sb + n / 2) / n};
        }
    return [cells, W](int x, int y) { return cells[std::size_t(y) * W + x]; };
}

// The block loop over `mp` as Make Montage runs it: its map.
inline std::string blockMap(PixelArrays& mp, const MontageGeometry& g, int increment, int pictures,
                            const FocusContext& focus = {}, bool preview = false) {
    FocusMeasure fm;
    BlockLoopInput in;
    in.geometry = &g;
    in.increment = increment;
    in.pictureCount = pictures;
    in.focus = &focus;
    in.drawPreview = preview;
    return runBlockLoop(mp, fm, in);
}

using Painter = std::function<Rgb(int, int)>;

// A W x H scene of texture as the pictures of a focus series show it: sharp everywhere, blurred
// everywhere, and sharp only left or only right of column `split`.
struct SplitScene {
    Painter sharp, soft, left, right;
};
inline SplitScene splitScene(int W, int H, int split, int blur = 3) {
    SplitScene s{texture, blurredTexture(W, H, blur), {}, {}};
    s.left = [sharp = s.sharp, soft = s.soft, split](int x, int y) { return x < split ? sharp(x, y) : soft(x, y); };
    s.right = [sharp = s.sharp, soft = s.soft, split](int x, int y) { return x >= split ? sharp(x, y) : soft(x, y); };
    return s;
}

// A w x h picture added to `s`, painted cell by cell (rows from the bottom).
inline MemorySurface& addPainted(Series& s, int w, int h, const Painter& paint) {
    MemorySurface& p = s.add(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const Rgb c = paint(x, y);
            setCell(p, x, y, c.b, c.g, c.r);
        }
    return p;
}

// A series of W x H pictures painted by `painters`, loaded into the arrays as Make Montage loads
// them (montage slot 100 black, W x H).
struct Stack {
    PixelArrays mp;
    MontageGeometry g;
    OffsetTable offsets{};

    Stack(int W, int H, const std::vector<Painter>& painters) {
        Series s;
        for (const Painter& paint : painters) addPainted(s, W, H, paint);
        s.fill(mp, W, H);
        g.W = float(W);
        g.H = float(H);
    }

    PyramidFocusResult fuse(PyramidFocusOptions o = {}) {
        o.geometry = &g;
        o.offsets = &offsets;
        return runPyramidFocus(mp, o);
    }

    Rgb at(int x, int y) const {
        return Rgb{mp.pointRed(x, y, 100), mp.pointGreen(x, y, 100), mp.pointBlue(x, y, 100)};
    }
    Rgb picture(int n, int x, int y) const {
        return Rgb{mp.pointRed(x, y, n), mp.pointGreen(x, y, n), mp.pointBlue(x, y, n)};
    }

    // Mean absolute channel difference between the montage and `reference` over columns x0 to
    // x1 - 1 and rows y0 to y1 - 1.
    double meanError(const Painter& reference, int x0, int x1, int y0, int y1) const {
        double sum = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const Rgb a = at(x, y), b = reference(x, y);
                sum += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
            }
        return sum / (3.0 * (x1 - x0) * (y1 - y0));
    }
};

// The deep version of stack picture n (rows from the top): each 8-bit value c as c * 257 moved by
// up to 128 either way, so that its 8-bit view is the stack's picture.
inline DeepPicture deepOf(const Stack& s, int n, int W, int H, unsigned seed) {
    DeepPicture p(W, H, 3, 16);
    std::mt19937 rng(seed);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const Rgb c = s.picture(n, x, y);
            const int values[3] = {c.r, c.g, c.b};
            for (int k = 0; k < 3; ++k)
                p.row(H - 1 - y)[3 * x + k] = std::uint16_t(std::clamp(values[k] * 257 + int(rng() % 257) - 128, 0, 65535));
        }
    return p;
}

} // namespace orv::test
