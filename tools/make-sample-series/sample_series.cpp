// The synthetic scene: a detailed texture on a tilted plane with a raised dome. Picture k is sharp
// where the depth is near its focus distance and blurred by a box of growing radius elsewhere, as
// a lens would; a moved picture is then sampled from that rendering with windowed-sinc
// interpolation.
#include "sample_series.h"

#include "layered_scene.h"

#include <algorithm>
#include <cmath>

namespace orv::sample {

// The frame plus its margin, top-down RGB floats; canvas (i, j) is frame point (i - m, j - m).
struct Canvas {
    int width = 0, height = 0, margin = 0;
    std::vector<float> rgb;
    const float* at(int i, int j) const { return &rgb[(std::size_t(j) * width + i) * 3]; }
};

namespace {

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
int floorMod(int a, int b) { return a - floorDiv(a, b) * b; }

// Smooth value noise in [0, 1] with cells of `cell` pixels.
float valueNoise(int x, int y, int cell, std::uint32_t seed) {
    const int cx = floorDiv(x, cell), cy = floorDiv(y, cell);
    const float fx = float(floorMod(x, cell)) / cell, fy = float(floorMod(y, cell)) / cell;
    auto v = [&](int i, int j) {
        return float(hash(std::uint32_t(i), std::uint32_t(j), seed) & 0xffff) / 65535.0f;
    };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float a = v(cx, cy) + (v(cx + 1, cy) - v(cx, cy)) * sx;
    const float b = v(cx, cy + 1) + (v(cx + 1, cy + 1) - v(cx, cy + 1)) * sx;
    return a + (b - a) * sy;
}


// The frame and its margin, all black.
Canvas blankCanvas(const SeriesOptions& o) {
    Canvas c;
    c.margin = o.margin;
    c.width = o.width + 2 * o.margin;
    c.height = o.height + 2 * o.margin;
    c.rgb.resize(std::size_t(c.width) * c.height * 3);
    return c;
}

Canvas sharpScene(const SeriesOptions& o) {
    Canvas c = blankCanvas(o);
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i) {
            const int x = i - o.margin, y = j - o.margin;
            float* p = &c.rgb[(std::size_t(j) * c.width + i) * 3];
            const float coarse = valueNoise(x, y, 48, o.seed);
            const float mid = valueNoise(x, y, 9, o.seed + 1);
            const float fine = float(hash(std::uint32_t(x), std::uint32_t(y), o.seed + 2) & 0xff) / 255.0f;
            const bool grid = floorMod(x, 24) == 0 || floorMod(y, 24) == 0;
            const float ring = 0.5f + 0.5f * std::sin(std::hypot(float(x - o.width / 3), float(y - o.height / 2)) * 0.35f);
            p[0] = 255 * std::clamp(0.45f * coarse + 0.35f * mid + 0.2f * fine, 0.0f, 1.0f);
            p[1] = 255 * std::clamp(0.3f * (1 - coarse) + 0.4f * ring + 0.3f * fine, 0.0f, 1.0f);
            p[2] = 255 * std::clamp(0.5f * mid + 0.3f * (1 - fine) + 0.2f * coarse, 0.0f, 1.0f);
            if (grid) p[0] = p[1] = p[2] = 20;
        }
    return c;
}

// Smooth colour gradients: each channel a + b u + c v + d u v over the frame (u, v from 0 to 1),
// which a box centred on a point averages to its value there, and a faint dome common to all
// three (6 % of the range brighter in the middle), which the widest box lowers by a few 16-bit
// units: the pictures differ a little and the truth stays within reach. Drawn on the margin too,
// where values beyond 0 to 255 keep the blur at the frame's edge unbiased.
Canvas gradientScene(const SeriesOptions& o) {
    Canvas c = blankCanvas(o);
    const double du = 1.0 / std::max(1, o.width - 1), dv = 1.0 / std::max(1, o.height - 1);
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i) {
            const double u = (i - o.margin) * du, v = (j - o.margin) * dv;
            const double dome = 0.06 * (1 - 2 * ((u - 0.5) * (u - 0.5) + (v - 0.5) * (v - 0.5)));
            float* p = &c.rgb[(std::size_t(j) * c.width + i) * 3];
            p[0] = float(255 * (0.86 - 0.55 * u - 0.3 * v + 0.2 * u * v + dome));  // blue
            p[1] = float(255 * (0.03 + 0.8 * v + 0.1 * u * v + dome));             // green
            p[2] = float(255 * (0.02 + 0.83 * u + 0.08 * v - 0.06 * u * v + dome)); // red
        }
    return c;
}

// What even a sharp lens and sensor do to a scene: a Gaussian blur of 0.7 pixels, so that no
// detail reaches the pixel grid's own limit (a camera picture never shows single-pixel
// checkerboards), edges repeated.
void lensBlur(Canvas& c) {
    const double sigma = 0.7;
    float k[5];
    float sum = 0;
    for (int i = -2; i <= 2; ++i) sum += k[i + 2] = float(std::exp(-i * i / (2 * sigma * sigma)));
    for (float& v : k) v /= sum;
    std::vector<float> tmp(c.rgb.size());
    for (int pass = 0; pass < 2; ++pass) {
        const std::vector<float>& from = pass == 0 ? c.rgb : tmp;
        std::vector<float>& to = pass == 0 ? tmp : c.rgb;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                for (int ch = 0; ch < 3; ++ch) {
                    float v = 0;
                    for (int i = -2; i <= 2; ++i) {
                        const int sx = pass == 0 ? std::clamp(x + i, 0, c.width - 1) : x;
                        const int sy = pass == 1 ? std::clamp(y + i, 0, c.height - 1) : y;
                        v += k[i + 2] * from[(std::size_t(sy) * c.width + sx) * 3 + ch];
                    }
                    to[(std::size_t(y) * c.width + x) * 3 + ch] = v;
                }
    }
}

// A natural-looking scene: value noise at every scale from 256 pixels down to 4 (each octave
// weaker, as in photographs), with hard-edged discs and blocks of all sizes painted over it and a
// little pixel noise, seen through a sharp lens; nothing periodic, so every part of it can be told
// from its neighbours.
Canvas naturalScene(const SeriesOptions& o) {
    Canvas c = blankCanvas(o);
    for (int j = 0; j < c.height; ++j)
        for (int i = 0; i < c.width; ++i) {
            const int x = i - o.margin, y = j - o.margin;
            float* p = &c.rgb[(std::size_t(j) * c.width + i) * 3];
            for (int ch = 0; ch < 3; ++ch) {
                float sum = 0, norm = 0, amp = 1;
                for (int cell = 256; cell >= 4; cell /= 2) {
                    sum += amp * valueNoise(x, y, cell, o.seed * 31 + std::uint32_t(ch * 7 + cell));
                    norm += amp;
                    amp *= 0.75f;
                }
                const float fine = float(hash(std::uint32_t(x), std::uint32_t(y), o.seed + 17 + std::uint32_t(ch)) & 0xff) / 255.0f;
                p[ch] = 255 * std::clamp(0.1f + 0.8f * ((sum / norm - 0.5f) * 1.8f + 0.5f) + 0.06f * (fine - 0.5f), 0.0f, 1.0f);
            }
        }
    // Shapes, about one per 1600 pixels of canvas, each 3 to 60 pixels across, edges anti-aliased.
    const int shapes = int(std::size_t(c.width) * c.height / 1600);
    for (int s = 0; s < shapes; ++s) {
        auto rnd = [&](std::uint32_t k) { return float(hash(std::uint32_t(s), k, o.seed + 99) & 0xffff) / 65535.0f; };
        const float cx = rnd(1) * c.width, cy = rnd(2) * c.height;
        const float size = 3 + 57 * rnd(3) * rnd(3);
        const bool disc = rnd(4) < 0.5f;
        const float hw = size / 2, hh = disc ? hw : size * (0.3f + 0.7f * rnd(5)) / 2;
        const float colour[3] = {255 * rnd(6), 255 * rnd(7), 255 * rnd(8)};
        const int x0 = std::max(0, int(cx - hw - 2)), x1 = std::min(c.width - 1, int(cx + hw + 2));
        const int y0 = std::max(0, int(cy - hh - 2)), y1 = std::min(c.height - 1, int(cy + hh + 2));
        for (int j = y0; j <= y1; ++j)
            for (int i = x0; i <= x1; ++i) {
                const float dx = i - cx, dy = j - cy;
                const float alpha = disc ? std::clamp(hw + 0.5f - std::hypot(dx, dy), 0.0f, 1.0f)
                                         : std::clamp(hw + 0.5f - std::fabs(dx), 0.0f, 1.0f) *
                                               std::clamp(hh + 0.5f - std::fabs(dy), 0.0f, 1.0f);
                if (alpha <= 0) continue;
                float* p = &c.rgb[(std::size_t(j) * c.width + i) * 3];
                for (int ch = 0; ch < 3; ++ch) p[ch] += alpha * (colour[ch] - p[ch]);
            }
    }
    lensBlur(c);
    return c;
}

// Depth in [0, 1] at frame point (x, y): a plane tilted left to right plus a dome.
float depth(const SeriesOptions& o, int x, int y) {
    const float plane = float(x) / float(std::max(1, o.width - 1));
    const float dx = (x - o.width * 0.65f) / (o.width * 0.25f), dy = (y - o.height * 0.5f) / (o.height * 0.35f);
    const float dome = std::max(0.0f, 1 - dx * dx - dy * dy);
    return std::clamp(0.85f * plane + 0.4f * dome * (0.5f - plane) + 0.05f, 0.0f, 1.0f);
}

// The widest box radius `blurred` uses: at the far end of the depth range from the focus.
int maxBoxRadius(const SeriesOptions& o) {
    const float maxRadius = std::max(2.0f, std::min(o.width, o.height) / 60.0f);
    return int(std::lround(maxRadius * 4));
}

// Box blur with a radius per pixel, through an integral image of one channel at a time (a 24 MP
// picture needs 190 MB for it, not three times that). Each picture is sharp within half the focus
// step of its focus distance (its depth of field), so every point of the scene is sharp in at
// least one picture and the truth can be reached.
Canvas blurred(const SeriesOptions& o, const Canvas& sharp, float focus) {
    const float dof = o.count > 1 ? 0.5f / float(o.count - 1) : 1.0f;
    const int W = sharp.width, H = sharp.height;
    const float maxRadius = std::max(2.0f, std::min(o.width, o.height) / 60.0f);
    std::vector<std::uint16_t> radius(std::size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float off = std::max(0.0f, std::fabs(depth(o, x - sharp.margin, y - sharp.margin) - focus) - dof);
            radius[std::size_t(y) * W + x] = std::uint16_t(std::lround(off * maxRadius * 4));
        }
    std::vector<double> integral(std::size_t(W + 1) * (H + 1), 0.0);
    auto I = [&](int x, int y) -> double& { return integral[std::size_t(y) * (W + 1) + x]; };
    Canvas out = sharp;
    for (int c = 0; c < 3; ++c) {
        for (int y = 0; y < H; ++y) {
            double row = 0;
            for (int x = 0; x < W; ++x) {
                row += sharp.rgb[(std::size_t(y) * W + x) * 3 + c];
                I(x + 1, y + 1) = row + I(x + 1, y);
            }
        }
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const int r = radius[std::size_t(y) * W + x];
                if (r == 0) continue; // sharp here: the copy holds the value
                const int x0 = std::max(0, x - r), x1 = std::min(W, x + r + 1);
                const int y0 = std::max(0, y - r), y1 = std::min(H, y + r + 1);
                const double area = double(x1 - x0) * (y1 - y0);
                out.rgb[(std::size_t(y) * W + x) * 3 + c] = float((I(x1, y1) - I(x0, y1) - I(x1, y0) + I(x0, y0)) / area);
            }
    }
    return out;
}

// One box pass of width 2r + 1 along rows (step 1) or columns, edges repeated.
void boxPass(std::vector<float>& v, int W, int H, int r, bool rows) {
    const int n = rows ? W : H, lines = rows ? H : W;
    std::vector<float> line(std::size_t(n) * 3), out(std::size_t(n) * 3);
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> float* {
            const int x = rows ? i : l, y = rows ? l : i;
            return &v[(std::size_t(y) * W + x) * 3];
        };
        for (int i = 0; i < n; ++i)
            for (int ch = 0; ch < 3; ++ch) line[std::size_t(i) * 3 + ch] = at(i)[ch];
        for (int ch = 0; ch < 3; ++ch) {
            double sum = 0;
            for (int k = -r; k <= r; ++k) sum += line[std::size_t(std::clamp(k, 0, n - 1)) * 3 + ch];
            for (int i = 0; i < n; ++i) {
                out[std::size_t(i) * 3 + ch] = float(sum / (2 * r + 1));
                sum += line[std::size_t(std::min(i + r + 1, n - 1)) * 3 + ch] -
                       line[std::size_t(std::max(i - r, 0)) * 3 + ch];
            }
        }
        for (int i = 0; i < n; ++i)
            for (int ch = 0; ch < 3; ++ch) at(i)[ch] = out[std::size_t(i) * 3 + ch];
    }
}

// Lanczos weights (three lobes) for the six samples around fraction t, normalised: the
// interpolation that keeps the most of a detail the lens left, so that a moved picture is as sharp
// as a camera would have taken it.
void lanczosWeights(double t, double w[6]) {
    const double pi = std::acos(-1.0);
    double sum = 0;
    for (int i = 0; i < 6; ++i) {
        const double d = t - (i - 2); // distance from sample ix - 2 + i
        w[i] = std::fabs(d) < 1e-12 ? 1.0 : 3 * std::sin(pi * d) * std::sin(pi * d / 3) / (pi * pi * d * d);
        sum += w[i];
    }
    for (int i = 0; i < 6; ++i) w[i] /= sum;
}

// The canvas at a frame point, edges repeated.
void sampleLanczos(const Canvas& c, double fx, double fy, double out[3]) {
    const double cx = fx + c.margin, cy = fy + c.margin;
    const int ix = int(std::floor(cx)), iy = int(std::floor(cy));
    double wx[6], wy[6];
    lanczosWeights(cx - ix, wx);
    lanczosWeights(cy - iy, wy);
    out[0] = out[1] = out[2] = 0;
    for (int j = 0; j < 6; ++j) {
        const int y = std::clamp(iy - 2 + j, 0, c.height - 1);
        for (int i = 0; i < 6; ++i) {
            const int x = std::clamp(ix - 2 + i, 0, c.width - 1);
            const float* p = c.at(x, y);
            const double w = wx[i] * wy[j];
            for (int ch = 0; ch < 3; ++ch) out[ch] += w * p[ch];
        }
    }
}

std::uint8_t toByte(double v) { return std::uint8_t(std::clamp(std::lround(v), 0L, 255L)); }

// Frame pixels of `c` (seen through `t`) as stack cells.
Picture render(const SeriesOptions& o, const Canvas& c, const PictureTransform& t) {
    Picture p;
    p.width = o.width;
    p.height = o.height;
    const int RW = (o.width + 3) / 4 * 4, RH = (o.height + 3) / 4 * 4;
    p.cells.assign(std::size_t(RW) * RH * 3, 0);
    if (o.deep) p.deep.assign(std::size_t(o.width) * std::size_t(o.height) * 3, 0);
    const double cx = (o.width - 1) / 2.0, cy = (o.height - 1) / 2.0;
    const double rad = t.rotation * std::acos(-1.0) / 180.0;
    const double a = t.scale * std::cos(rad), b = t.scale * std::sin(rad);
    const bool moves = t.moves();
    for (int y = 0; y < o.height; ++y) {
        std::uint8_t* row = &p.cells[std::size_t(o.height - 1 - y) * RW * 3]; // bottom-up rows
        for (int x = 0; x < o.width; ++x) {
            double rgb[3];
            if (moves) {
                const double dx = x - cx, dy = y - cy;
                sampleLanczos(c, cx + a * dx - b * dy + t.shiftX, cy + b * dx + a * dy + t.shiftY, rgb);
            } else {
                const float* s = c.at(x + c.margin, y + c.margin);
                rgb[0] = s[0];
                rgb[1] = s[1];
                rgb[2] = s[2];
            }
            for (int ch = 0; ch < 3; ++ch) { // cells are blue, green, red
                const int channel = 2 - ch;
                const double v = t.gain[std::size_t(channel)] * rgb[ch] + t.offset[std::size_t(channel)];
                row[x * 3 + channel] = toByte(v);
                if (o.deep)
                    p.deep[(std::size_t(y) * std::size_t(o.width) + std::size_t(x)) * 3 + std::size_t(ch)] =
                    std::uint16_t(std::clamp(std::lround(v * 257.0), 0L, 65535L));
            }
        }
    }
    return p;
}

} // namespace

namespace {

// The strongest blur, as a Gaussian's standard deviation in pixels, of the natural scene.
float maxSigma(const SeriesOptions& o) { return std::max(2.0f, std::min(o.width, o.height) / 60.0f); }

// Box radii whose three passes approach Gaussians of standard deviation sqrt(r * r + r).
constexpr int kBlurRadii[] = {1, 2, 3, 5, 8, 12, 17, 24, 34, 48, 68, 96};

// Every point of the scene spread by a Gaussian whose width grows with its distance from the
// focus, as a lens spreads it: the scene is split into layers of nearly equal blur (each point
// shared between the two nearest widths), each layer spread as a whole, and the layers added.
// Spreading the points, not gathering each output pixel from its own width, keeps every blurred
// feature centred where it is.
Canvas smoothlyBlurred(const SeriesOptions& o, const Canvas& sharp, float focus) {
    const float dof = o.count > 1 ? 0.5f / float(o.count - 1) : 1.0f;
    std::vector<float> sigmas{0.0f};
    for (int r : kBlurRadii) {
        sigmas.push_back(std::sqrt(float(r * r + r)));
        if (sigmas.back() >= maxSigma(o)) break;
    }
    const std::size_t cells = std::size_t(sharp.width) * sharp.height;
    std::vector<float> weight(cells * sigmas.size(), 0.0f); // per level, per pixel
    for (int y = 0; y < sharp.height; ++y)
        for (int x = 0; x < sharp.width; ++x) {
            const float off = std::max(0.0f, std::fabs(depth(o, x - sharp.margin, y - sharp.margin) - focus) - dof);
            const float sigma = std::min(off * maxSigma(o), sigmas.back());
            std::size_t i = 1;
            while (i + 1 < sigmas.size() && sigmas[i] < sigma) ++i;
            const float t = std::clamp((sigma - sigmas[i - 1]) / (sigmas[i] - sigmas[i - 1]), 0.0f, 1.0f);
            const std::size_t at = std::size_t(y) * sharp.width + x;
            weight[(i - 1) * cells + at] = 1 - t;
            weight[i * cells + at] = t;
        }
    Canvas out = sharp;
    std::fill(out.rgb.begin(), out.rgb.end(), 0.0f);
    std::vector<float> layer(sharp.rgb.size());
    for (std::size_t i = 0; i < sigmas.size(); ++i) {
        const float* w = &weight[i * cells];
        if (std::all_of(w, w + cells, [](float v) { return v == 0; })) continue;
        for (std::size_t c = 0; c < cells; ++c)
            for (int ch = 0; ch < 3; ++ch) layer[c * 3 + ch] = w[c] * sharp.rgb[c * 3 + ch];
        if (i > 0)
            for (int pass = 0; pass < 3; ++pass) {
                boxPass(layer, sharp.width, sharp.height, kBlurRadii[i - 1], true);
                boxPass(layer, sharp.width, sharp.height, kBlurRadii[i - 1], false);
            }
        for (std::size_t c = 0; c < layer.size(); ++c) out.rgb[c] += layer[c];
    }
    return out;
}

} // namespace

SeriesMaker::SeriesMaker(const SeriesOptions& options) : o_(options) {
    if (o_.scene == Scene::Halo || o_.scene == Scene::Highlight) layered_ = std::make_shared<LayeredScene>(o_);
    else if (o_.scene == Scene::Natural) sharp_ = std::make_shared<const Canvas>(naturalScene(o_));
    else if (o_.scene == Scene::Gradient) {
        o_.margin = std::max(o_.margin, maxBoxRadius(o_) + 1); // the widest box sees drawn scene
        sharp_ = std::make_shared<const Canvas>(gradientScene(o_));
    } else sharp_ = std::make_shared<const Canvas>(sharpScene(o_));
}

Picture SeriesMaker::regions() const { return layered_ ? layered_->regions() : Picture{}; }

Picture SeriesMaker::picture(int k, const PictureTransform& t) const {
    if (layered_) return layered_->picture(k);
    const float focus = o_.count <= 1 ? 0.5f : float(k - 1) / float(o_.count - 1);
    const Canvas& sharp = *sharp_;
    if (o_.scene == Scene::Natural) return render(o_, smoothlyBlurred(o_, sharp, focus), t);
    return render(o_, blurred(o_, sharp, focus), t);
}

Picture SeriesMaker::truth() const {
    if (layered_) return layered_->truth();
    return render(o_, *sharp_, {});
}

} // namespace orv::sample
