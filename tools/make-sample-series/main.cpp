// make-sample-series: writes a deterministic synthetic focus series and its all-in-focus truth.
// The scene is a detailed texture whose depth varies across the frame (a tilted plane with a
// raised dome); picture k is sharp where the depth is near its focus distance and blurred by a
// box of growing radius elsewhere, as a lens would.
#include "base/runtime_error.h"
#include "output/bmp_writer.h"
#include "output/jpeg_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string folder;
    std::string prefix = "sample";
    int count = 8;
    int width = 640;
    int height = 480;
    std::string format = "bmp";
    unsigned seed = 1;
    bool truth = true;
};

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise in [0, 1] with cells of `cell` pixels.
float valueNoise(int x, int y, int cell, std::uint32_t seed) {
    const int cx = x / cell, cy = y / cell;
    const float fx = float(x % cell) / cell, fy = float(y % cell) / cell;
    auto v = [&](int i, int j) { return float(hash(std::uint32_t(i), std::uint32_t(j), seed) & 0xffff) / 65535.0f; };
    const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    const float a = v(cx, cy) + (v(cx + 1, cy) - v(cx, cy)) * sx;
    const float b = v(cx, cy + 1) + (v(cx + 1, cy + 1) - v(cx, cy + 1)) * sx;
    return a + (b - a) * sy;
}

// The sharp scene, top-down RGB floats.
std::vector<float> scene(const Options& o) {
    std::vector<float> px(std::size_t(o.width) * o.height * 3);
    for (int y = 0; y < o.height; ++y)
        for (int x = 0; x < o.width; ++x) {
            float* p = &px[(std::size_t(y) * o.width + x) * 3];
            const float coarse = valueNoise(x, y, 48, o.seed);
            const float mid = valueNoise(x, y, 9, o.seed + 1);
            const float fine = float(hash(std::uint32_t(x), std::uint32_t(y), o.seed + 2) & 0xff) / 255.0f;
            const bool grid = (x % 24 == 0) || (y % 24 == 0);
            const float ring = 0.5f + 0.5f * std::sin(std::hypot(float(x - o.width / 3), float(y - o.height / 2)) * 0.35f);
            p[0] = 255 * std::clamp(0.45f * coarse + 0.35f * mid + 0.2f * fine, 0.0f, 1.0f);
            p[1] = 255 * std::clamp(0.3f * (1 - coarse) + 0.4f * ring + 0.3f * fine, 0.0f, 1.0f);
            p[2] = 255 * std::clamp(0.5f * mid + 0.3f * (1 - fine) + 0.2f * coarse, 0.0f, 1.0f);
            if (grid) p[0] = p[1] = p[2] = 20;
        }
    return px;
}

// Depth in [0, 1] at each pixel: a plane tilted left to right plus a dome.
float depth(const Options& o, int x, int y) {
    const float plane = float(x) / float(std::max(1, o.width - 1));
    const float dx = (x - o.width * 0.65f) / (o.width * 0.25f), dy = (y - o.height * 0.5f) / (o.height * 0.35f);
    const float dome = std::max(0.0f, 1 - dx * dx - dy * dy);
    return std::clamp(0.85f * plane + 0.4f * dome * (0.5f - plane) + 0.05f, 0.0f, 1.0f);
}

// Box blur with a radius per pixel, through an integral image of each channel.
// Each picture is sharp within half the focus step of its focus distance (its depth of field),
// so every point of the scene is sharp in at least one picture and the truth can be reached.
std::vector<float> blurred(const Options& o, const std::vector<float>& sharp, float focus) {
    const float dof = o.count > 1 ? 0.5f / float(o.count - 1) : 1.0f;
    const int W = o.width, H = o.height;
    std::vector<double> integral(std::size_t(W + 1) * (H + 1) * 3, 0.0);
    auto I = [&](int x, int y, int c) -> double& { return integral[(std::size_t(y) * (W + 1) + x) * 3 + c]; };
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c)
                I(x + 1, y + 1, c) = sharp[(std::size_t(y) * W + x) * 3 + c] + I(x, y + 1, c) + I(x + 1, y, c) - I(x, y, c);
    std::vector<float> out(sharp.size());
    const float maxRadius = std::max(2.0f, std::min(W, H) / 60.0f);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const float off = std::max(0.0f, std::fabs(depth(o, x, y) - focus) - dof);
            const int r = int(std::lround(off * maxRadius * 4));
            const int x0 = std::max(0, x - r), x1 = std::min(W, x + r + 1);
            const int y0 = std::max(0, y - r), y1 = std::min(H, y + r + 1);
            const double area = double(x1 - x0) * (y1 - y0);
            for (int c = 0; c < 3; ++c)
                out[(std::size_t(y) * W + x) * 3 + c] =
                    float((I(x1, y1, c) - I(x0, y1, c) - I(x1, y0, c) + I(x0, y0, c)) / area);
        }
    return out;
}

void save(const Options& o, const std::vector<float>& rgb, const std::string& path) {
    const int W = o.width, H = o.height;
    const std::size_t stride = std::size_t(W) * 3;
    std::vector<std::uint8_t> bgr(stride * H);
    for (int y = 0; y < H; ++y) // bottom-up rows
        for (int x = 0; x < W; ++x)
            for (int c = 0; c < 3; ++c)
                bgr[std::size_t(H - 1 - y) * stride + x * 3 + (2 - c)] =
                    std::uint8_t(std::clamp(std::lround(rgb[(std::size_t(y) * W + x) * 3 + c]), 0L, 255L));
    const orv::BgrView view{bgr.data(), W, H, stride};
    if (o.format == "jpg") orv::writeJpeg(path, view, 92);
    else orv::writeBmp24(path, view);
}

int usage() {
    std::fprintf(stderr, "usage: make-sample-series FOLDER [--count N] [--size WxH] [--format bmp|jpg] "
                         "[--prefix NAME] [--seed N] [--no-truth]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--count") { const char* v = next(); if (!v) return usage(); o.count = std::atoi(v); }
        else if (a == "--size") { const char* v = next(); if (!v || std::sscanf(v, "%dx%d", &o.width, &o.height) != 2) return usage(); }
        else if (a == "--format") { const char* v = next(); if (!v) return usage(); o.format = v; }
        else if (a == "--prefix") { const char* v = next(); if (!v) return usage(); o.prefix = v; }
        else if (a == "--seed") { const char* v = next(); if (!v) return usage(); o.seed = unsigned(std::atoi(v)); }
        else if (a == "--no-truth") o.truth = false;
        else if (!a.empty() && a[0] == '-') return usage();
        else o.folder = a;
    }
    if (o.folder.empty() || o.count < 1 || o.count > 99 || o.width < 1 || o.height < 1 ||
        (o.format != "bmp" && o.format != "jpg"))
        return usage();
    try {
        std::filesystem::create_directories(o.folder);
        const std::vector<float> sharp = scene(o);
        for (int k = 1; k <= o.count; ++k) {
            const float focus = o.count == 1 ? 0.5f : float(k - 1) / float(o.count - 1);
            char name[32];
            std::snprintf(name, sizeof name, "%02d", k);
            save(o, blurred(o, sharp, focus), o.folder + "/" + o.prefix + name + "." + o.format);
        }
        if (o.truth) save(o, sharp, o.folder + "/" + o.prefix + "-truth." + o.format);
    } catch (const orv::RuntimeError& e) {
        std::fprintf(stderr, "make-sample-series: %s\n", e.description().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-series: %s\n", e.what());
        return 1;
    }
    std::printf("%d pictures of %dx%d written to %s (%s01.%s ...)\n", o.count, o.width, o.height,
                o.folder.c_str(), o.prefix.c_str(), o.format.c_str());
    return 0;
}
