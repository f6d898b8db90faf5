// orvanta-fusion-bound: how close to the truth any montage assembled from a series' pictures can
// come. An oracle that knows the truth picks, at every pixel, the picture closest to it (all three
// channels), and, for a montage assembled from the pictures' Laplacian pyramids, the picture
// whose coefficients are closest at every level and pixel. Prints one line:
//   pixel DB pyramid DB pyramid-3x3 DB pyramid-5x5 DB single DB
// pixel: the per-pixel oracle; pyramid: the per-level oracle (7 levels, fewer on small pictures);
// pyramid-3x3, pyramid-5x5: the same deciding on the distance summed over 3 x 3 or 5 x 5 places
// of each level, as a method must (one place alone lets the oracle pick the picture whose noise happens to lie
// nearest the truth); single: the best single picture. A method that chooses among the pictures'
// pyramid coefficients cannot beat the pyramid figure; a target above it asks for pixels no
// picture holds.
//
//   orvanta-fusion-bound TRUTH PICTURE...
#include <QCoreApplication>
#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

// A picture of three interleaved float channels.
struct Plane {
    int w = 0, h = 0;
    std::vector<float> v;
    Plane() = default;
    Plane(int width, int height) : w(width), h(height), v(std::size_t(width) * height * 3, 0.0f) {}
    float* at(int x, int y) { return &v[(std::size_t(y) * w + x) * 3]; }
    const float* at(int x, int y) const { return &v[(std::size_t(y) * w + x) * 3]; }
};

Plane load(const char* file) {
    const QImage q = QImage(file).convertToFormat(QImage::Format_RGB888);
    Plane p(q.width(), q.height());
    for (int y = 0; y < p.h; ++y) {
        const uchar* row = q.constScanLine(y);
        for (int i = 0; i < p.w * 3; ++i) p.v[std::size_t(y) * p.w * 3 + i] = row[i];
    }
    return p;
}

// Mirrors an index into [0, n) without repeating the edge sample.
int mirror(int i, int n) {
    if (n == 1) return 0;
    while (i < 0 || i >= n) i = i < 0 ? -i : 2 * (n - 1) - i;
    return i;
}

constexpr float kTaps[5] = {1 / 16.0f, 4 / 16.0f, 6 / 16.0f, 4 / 16.0f, 1 / 16.0f};

// The 5-tap binomial filter along rows then columns, scaled by `gain` in each direction.
Plane smooth(const Plane& in, float gain) {
    Plane rows(in.w, in.h), out(in.w, in.h);
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x)
            for (int c = 0; c < 3; ++c) {
                float s = 0;
                for (int k = -2; k <= 2; ++k) s += kTaps[k + 2] * in.at(mirror(x + k, in.w), y)[c];
                rows.at(x, y)[c] = gain * s;
            }
    for (int y = 0; y < in.h; ++y)
        for (int x = 0; x < in.w; ++x)
            for (int c = 0; c < 3; ++c) {
                float s = 0;
                for (int k = -2; k <= 2; ++k) s += kTaps[k + 2] * rows.at(x, mirror(y + k, in.h))[c];
                out.at(x, y)[c] = gain * s;
            }
    return out;
}

Plane down(const Plane& in) {
    const Plane s = smooth(in, 1);
    Plane out((in.w + 1) / 2, (in.h + 1) / 2);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x) std::copy_n(s.at(2 * x, 2 * y), 3, out.at(x, y));
    return out;
}

// `in` spread to w x h: samples on the even places, zeros between, then the filter (doubled in
// each direction to keep the brightness).
Plane up(const Plane& in, int w, int h) {
    Plane z(w, h);
    for (int y = 0; y < in.h && 2 * y < h; ++y)
        for (int x = 0; x < in.w && 2 * x < w; ++x) std::copy_n(in.at(x, y), 3, z.at(2 * x, 2 * y));
    return smooth(z, 2);
}

Plane minus(Plane a, const Plane& b) {
    for (std::size_t i = 0; i < a.v.size(); ++i) a.v[i] -= b.v[i];
    return a;
}

Plane plus(Plane a, const Plane& b) {
    for (std::size_t i = 0; i < a.v.size(); ++i) a.v[i] += b.v[i];
    return a;
}

// Detail levels, finest first, then the remaining low-pass picture.
std::vector<Plane> laplacian(const Plane& p, int levels) {
    std::vector<Plane> out;
    Plane g = p;
    for (int l = 0; l < levels; ++l) {
        Plane next = down(g);
        out.push_back(minus(g, up(next, g.w, g.h)));
        g = std::move(next);
    }
    out.push_back(std::move(g));
    return out;
}

Plane collapse(const std::vector<Plane>& pyramid) {
    Plane c = pyramid.back();
    for (int l = int(pyramid.size()) - 2; l >= 0; --l) c = plus(pyramid[std::size_t(l)], up(c, pyramid[std::size_t(l)].w, pyramid[std::size_t(l)].h));
    return c;
}

double distance(const float* a, const float* b) {
    double d = 0;
    for (int c = 0; c < 3; ++c) d += double(a[c] - b[c]) * (a[c] - b[c]);
    return d;
}

// Each place of the result from the candidate closest to `truth` there, the distance summed over
// the (2 r + 1)-square window around it (r = 0: the place alone).
Plane closest(const std::vector<const Plane*>& candidates, const Plane& truth, int r = 0) {
    const int w = truth.w, h = truth.h;
    std::vector<double> bestDistance(std::size_t(w) * h, 1e300);
    std::vector<const Plane*> best(std::size_t(w) * h, candidates.front());
    std::vector<double> d(std::size_t(w) * h), rows(std::size_t(w) * h);
    for (const Plane* c : candidates) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) d[std::size_t(y) * w + x] = distance(c->at(x, y), truth.at(x, y));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double s = 0;
                for (int k = -r; k <= r; ++k) s += d[std::size_t(y) * w + mirror(x + k, w)];
                rows[std::size_t(y) * w + x] = s;
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                double s = 0;
                for (int k = -r; k <= r; ++k) s += rows[std::size_t(mirror(y + k, h)) * w + x];
                const std::size_t i = std::size_t(y) * w + x;
                if (s < bestDistance[i]) {
                    bestDistance[i] = s;
                    best[i] = c;
                }
            }
    }
    Plane out(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) std::copy_n(best[std::size_t(y) * w + x]->at(x, y), 3, out.at(x, y));
    return out;
}

// PSNR of `p` stored as 8-bit samples against `truth`; 99 when equal.
double psnr(const Plane& p, const Plane& truth) {
    double se = 0;
    for (std::size_t i = 0; i < p.v.size(); ++i) {
        const double e = std::clamp(std::round(double(p.v[i])), 0.0, 255.0) - truth.v[i];
        se += e * e;
    }
    return se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(p.v.size()) / se);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvanta-fusion-bound TRUTH PICTURE...\n");
        return 2;
    }
    const Plane truth = load(argv[1]);
    std::vector<Plane> pictures;
    for (int i = 2; i < argc; ++i) {
        pictures.push_back(load(argv[i]));
        if (truth.w == 0 || pictures.back().w != truth.w || pictures.back().h != truth.h) {
            std::fprintf(stderr, "orvanta-fusion-bound: %s and %s are not two pictures of one size\n", argv[1], argv[i]);
            return 1;
        }
    }
    std::vector<const Plane*> all;
    double single = 0;
    for (const Plane& p : pictures) {
        all.push_back(&p);
        single = std::max(single, psnr(p, truth));
    }
    const double pixel = psnr(closest(all, truth), truth);

    int levels = 0;
    for (int side = std::min(truth.w, truth.h); levels < 7 && side >= 16; side = (side + 1) / 2) ++levels;
    const std::vector<Plane> truthPyramid = laplacian(truth, levels);
    std::vector<std::vector<Plane>> pyramids;
    for (const Plane& p : pictures) pyramids.push_back(laplacian(p, levels));
    // The pyramid oracle, deciding at each place alone and over 3 x 3 and 5 x 5 windows of each level.
    double pyramid[3] = {0, 0, 0};
    for (int r = 0; r <= 2; ++r) {
        std::vector<Plane> chosen;
        for (int l = 0; l <= levels; ++l) {
            std::vector<const Plane*> level;
            for (const auto& p : pyramids) level.push_back(&p[std::size_t(l)]);
            chosen.push_back(closest(level, truthPyramid[std::size_t(l)], r));
        }
        pyramid[r] = psnr(collapse(chosen), truth);
    }
    std::printf("pixel %.2f pyramid %.2f pyramid-3x3 %.2f pyramid-5x5 %.2f single %.2f\n", pixel, pyramid[0], pyramid[1],
                pyramid[2], single);
    return 0;
}
