// The layered scenes. Halo: a far plane (a textured band above flat dark ground) sharp in the
// last picture and blurred more towards the first, under bright 20-px discs and 4-px lines sharp
// in the first picture and blurred by a 40-px pillbox in every other. Highlight: a dark textured
// far plane sharp in the last picture under bright gold pads whose texture reaches past white
// (clipped, as a sensor clips them), sharp in one picture a third of the way in.
#include "layered_scene.h"

#include <algorithm>
#include <cmath>

namespace orv::sample {

namespace {

std::uint32_t mix(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

float unit(std::uint32_t h) { return float(h & 0xffffff) / float(0xffffff); }

// Smooth value noise in [0, 1] with cells of `cell` pixels.
float smoothNoise(int x, int y, int cell, std::uint32_t seed) {
    const int cx = x / cell, cy = y / cell;
    const float fx = float(x % cell) / cell, fy = float(y % cell) / cell;
    auto v = [&](int i, int j) { return unit(mix(std::uint32_t(i), std::uint32_t(j), seed)); };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float a = v(cx, cy) + (v(cx + 1, cy) - v(cx, cy)) * sx;
    const float b = v(cx, cy + 1) + (v(cx + 1, cy + 1) - v(cx, cy + 1)) * sx;
    return a + (b - a) * sy;
}

// A standard normal value per pixel and picture (Box-Muller on two hashes).
float gaussian(int x, int y, std::uint32_t seed) {
    const float u1 = std::max(1e-7f, unit(mix(std::uint32_t(x), std::uint32_t(y), seed)));
    const float u2 = unit(mix(std::uint32_t(x), std::uint32_t(y), seed + 0x9e37u));
    return std::sqrt(-2 * std::log(u1)) * std::cos(6.2831853f * u2);
}

// `in` (W x H, C channels) spread by a pillbox of `diameter` pixels, normalised over the pixels
// inside the picture; row prefix sums make each pixel cost one addition per row of the disc.
std::vector<float> pillbox(const std::vector<float>& in, int W, int H, int C, float diameter) {
    if (diameter < 1) return in;
    const float r = diameter / 2;
    const int R = int(std::floor(r));
    std::vector<int> half(std::size_t(2 * R + 1));
    for (int dy = -R; dy <= R; ++dy) half[std::size_t(dy + R)] = int(std::floor(std::sqrt(r * r - float(dy * dy))));
    std::vector<double> prefix(std::size_t(W + 1) * H * C, 0.0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < C; ++c)
                prefix[(std::size_t(y) * (W + 1) + x + 1) * C + c] =
                    prefix[(std::size_t(y) * (W + 1) + x) * C + c] + in[(std::size_t(y) * W + x) * C + c];
    std::vector<float> out(in.size());
    std::vector<double> sum(static_cast<std::size_t>(C));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            std::fill(sum.begin(), sum.end(), 0.0);
            long n = 0;
            for (int dy = -R; dy <= R; ++dy) {
                const int yy = y + dy;
                if (yy < 0 || yy >= H) continue;
                const int h = half[std::size_t(dy + R)];
                const int x0 = std::max(0, x - h), x1 = std::min(W - 1, x + h);
                const double* row = &prefix[std::size_t(yy) * (W + 1) * C];
                for (int c = 0; c < C; ++c) sum[std::size_t(c)] += row[std::size_t(x1 + 1) * C + c] - row[std::size_t(x0) * C + c];
                n += x1 - x0 + 1;
            }
            for (int c = 0; c < C; ++c) out[(std::size_t(y) * W + x) * C + c] = float(sum[std::size_t(c)] / double(n));
        }
    return out;
}

struct Disc {
    float cx, cy, r;
};
struct Box {
    float x0, y0, x1, y1; // pixel centres inside: x0 <= x <= x1
};

// Signed distance from pixel centre (x, y) to the shape's edge: positive outside, negative inside.
float distanceTo(const Disc& d, float x, float y) { return std::hypot(x - d.cx, y - d.cy) - d.r; }
float distanceTo(const Box& b, float x, float y) {
    const float dx = std::max({b.x0 - x, 0.0f, x - b.x1}), dy = std::max({b.y0 - y, 0.0f, y - b.y1});
    if (dx > 0 || dy > 0) return std::hypot(dx, dy);
    return -std::min({x - b.x0, b.x1 - x, y - b.y0, b.y1 - y});
}

// Coverage of a pixel by a shape whose signed distance is d: anti-aliased over one pixel.
float coverage(float d) { return std::clamp(0.5f - d, 0.0f, 1.0f); }

} // namespace

LayeredScene::LayeredScene(const SeriesOptions& o) : o_(o) {
    const int W = o.width, H = o.height, N = std::max(1, o.count);
    const std::size_t cells = std::size_t(W) * H;
    Layer far, near;
    far.rgb.assign(cells * 3, 0.0f);
    far.alpha.assign(cells, 1.0f);
    near.rgb.assign(cells * 3, 0.0f);
    near.alpha.assign(cells, 0.0f);
    std::vector<Disc> discs;
    std::vector<Box> boxes;
    const bool halo = o.scene == Scene::Halo;
    const float bandEnd = 0.55f * H; // halo: the textured band above the flat ground
    if (halo) {
        for (float y = 48; y < H - 20; y += 96)
            for (float x = 48; x < W - 20; x += 96) discs.push_back(Disc{x, y, 10});
        for (const float y : {192.0f, 480.0f, 672.0f})
            if (y < H - 4) boxes.push_back(Box{20, y - 1.5f, float(W) - 21, y + 1.5f});
        for (const float x : {288.0f, 672.0f})
            if (x < W - 4) boxes.push_back(Box{x - 1.5f, 20, x + 1.5f, float(H) - 21});
    } else {
        for (float y = 40; y + 60 < H; y += 96)
            for (float x = 40; x + 80 < W; x += 128) boxes.push_back(Box{x, y, x + 63, y + 39});
    }
    edgeDistance_.assign(cells, 1e9f);
    measured_.assign(cells, 0);
    flat_.assign(cells, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const std::size_t at = std::size_t(y) * W + x;
            float* p = &far.rgb[at * 3];
            // The far plane.
            if (halo && float(y) >= bandEnd) {
                p[0] = 30;
                p[1] = 32;
                p[2] = 35; // blue, green, red
            } else {
                for (int c = 0; c < 3; ++c) {
                    const float v = 0.45f * smoothNoise(x, y, 24, o.seed * 7 + std::uint32_t(c)) +
                                    0.35f * smoothNoise(x, y, 6, o.seed * 7 + 3 + std::uint32_t(c)) +
                                    0.2f * unit(mix(std::uint32_t(x), std::uint32_t(y), o.seed * 7 + 6 + std::uint32_t(c)));
                    p[c] = halo ? 40 + 150 * v : 25 + 110 * v;
                }
            }
            // The near objects, their coverage and colour.
            float d = 1e9f, a = 0;
            bool isDisc = false;
            for (const Disc& s : discs) {
                const float e = distanceTo(s, float(x), float(y));
                if (e < d) {
                    d = e;
                    isDisc = true;
                }
                a = std::max(a, coverage(e));
            }
            for (const Box& s : boxes) {
                const float e = distanceTo(s, float(x), float(y));
                if (e < d) {
                    d = e;
                    isDisc = false;
                }
                a = std::max(a, coverage(e));
            }
            edgeDistance_[at] = d;
            near.alpha[at] = a;
            float* q = &near.rgb[at * 3];
            if (halo) {
                const float colour[3] = {isDisc ? 224.0f : 226.0f, isDisc ? 232.0f : 226.0f, isDisc ? 236.0f : 226.0f};
                for (int c = 0; c < 3; ++c) q[c] = a * colour[c];
                if (isDisc && d <= -2) measured_[at] = 255;
                else if (d <= -1) measured_[at] = 128;
                flat_[at] = float(y) >= bandEnd + 25 && d > 40 && x >= 20 && x < W - 20 && y < H - 20 ? 255 : 0;
            } else {
                // Gold: the texture reaches past white, where the sensor clips it.
                const float v = 226 + 40 * (smoothNoise(x, y, 5, o.seed * 13) - 0.5f) +
                                24 * (unit(mix(std::uint32_t(x), std::uint32_t(y), o.seed * 13 + 1)) - 0.5f);
                q[0] = a * 0.72f * v;
                q[1] = a * 0.92f * v;
                q[2] = a * 1.04f * v;
                if (d <= -3) measured_[at] = 255;
            }
        }
    const int sharpNear = halo ? 1 : std::max(1, (N + 2) / 3);
    for (int k = 1; k <= N; ++k) {
        const float towardsLast = N > 1 ? float(N - k) / float(N - 1) : 0.0f;
        far.blur.push_back(halo ? 40 * towardsLast : 32 * towardsLast);
        near.blur.push_back(halo ? (k == sharpNear ? 0.0f : 40.0f) : 8.0f * float(std::abs(k - sharpNear)));
    }
    layers_.push_back(std::move(far));
    layers_.push_back(std::move(near));
}

std::vector<float> LayeredScene::composite(int k) const {
    const int W = o_.width, H = o_.height;
    std::vector<float> out;
    for (const Layer& l : layers_) {
        const float blur = k > 0 ? l.blur[std::size_t(k - 1)] : 0.0f;
        const std::vector<float> rgb = pillbox(l.rgb, W, H, 3, blur);
        const std::vector<float> alpha = pillbox(l.alpha, W, H, 1, blur);
        if (out.empty()) {
            out = rgb;
            continue;
        }
        for (std::size_t i = 0; i < alpha.size(); ++i)
            for (int c = 0; c < 3; ++c) out[i * 3 + c] = rgb[i * 3 + c] + (1 - alpha[i]) * out[i * 3 + c];
    }
    return out;
}

Picture LayeredScene::toPicture(const std::vector<float>& rgb, int k) const {
    Picture p;
    p.width = o_.width;
    p.height = o_.height;
    const int RW = (o_.width + 3) / 4 * 4, RH = (o_.height + 3) / 4 * 4;
    p.cells.assign(std::size_t(RW) * RH * 3, 0);
    for (int y = 0; y < o_.height; ++y) {
        std::uint8_t* row = &p.cells[std::size_t(o_.height - 1 - y) * RW * 3]; // bottom-up rows
        for (int x = 0; x < o_.width; ++x)
            for (int c = 0; c < 3; ++c) {
                float v = rgb[(std::size_t(y) * o_.width + x) * 3 + c];
                if (k > 0) v += 2 * gaussian(x, y, o_.seed * 1009 + std::uint32_t(k * 3 + c));
                row[x * 3 + c] = std::uint8_t(std::clamp(std::lround(v), 0L, 255L));
            }
    }
    return p;
}

Picture LayeredScene::picture(int k) const { return toPicture(composite(k), k); }

Picture LayeredScene::truth() const { return toPicture(composite(0), 0); }

Picture LayeredScene::regions() const {
    const int W = o_.width, H = o_.height, RW = (W + 3) / 4 * 4;
    Picture p;
    p.width = W;
    p.height = H;
    p.cells.assign(std::size_t(RW) * ((H + 3) / 4 * 4) * 3, 0);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const std::size_t at = std::size_t(y) * W + x;
            std::uint8_t* c = &p.cells[(std::size_t(H - 1 - y) * RW + x) * 3];
            const float d = edgeDistance_[at];
            c[0] = d > 0.5f && d < 40.5f ? std::uint8_t(std::lround(d)) : 0;
            c[1] = flat_[at];
            c[2] = measured_[at];
        }
    return p;
}

} // namespace orv::sample
