// orvanta-fusion-quality: the quality figures of a montage of a layered synthetic series
// (make-sample-series --scene halo|highlight) against its truth, measured where its regions
// picture says. Prints one line:
//   psnr DB halo PX ring PCT disc LEVELS noise RATIO clipped PCT truth-clipped PCT
// psnr: over the whole picture; halo: the widest distance (1 to 40 px outside the near objects'
// edges) at which the ring's mean luminance error exceeds 2 % of the edge contrast (0: none);
// ring: the largest ring's mean error in percent of that contrast; disc: the mean error (grey
// levels, all channels) inside the measured objects; noise: the standard deviation of the
// luminance error on flat ground against that of --single PICTURE (- without it); clipped and
// truth-clipped: the share of the measured objects' pixels with a channel at 255.
//
//   orvanta-fusion-quality MONTAGE TRUTH REGIONS [--single PICTURE]
//   orvanta-fusion-quality MONTAGE TRUTH --band PX
// The second form prints "band DB inside DB": the PSNR on the outer band PX pixels wide (where an
// aligned series' pictures stop covering the frame) and on the rest.
#include <QCoreApplication>
#include <QImage>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double luminance(const uchar* p) { return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]; }

QImage load(const char* file) { return QImage(file).convertToFormat(QImage::Format_RGB888); }

// Standard deviation of the luminance error of `a` against `truth` where the regions' green is set.
double flatNoise(const QImage& a, const QImage& truth, const QImage& regions) {
    double s = 0, ss = 0;
    long long n = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pt = truth.constScanLine(y);
        const uchar* pr = regions.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            if (pr[3 * x + 1] != 255) continue;
            const double e = luminance(pa + 3 * x) - luminance(pt + 3 * x);
            s += e;
            ss += e * e;
            ++n;
        }
    }
    if (n < 2) return 0;
    const double mean = s / double(n);
    return std::sqrt(std::max(0.0, ss / double(n) - mean * mean));
}

} // namespace

int bandFigures(const QImage& m, const QImage& t, int band) {
    double se[2] = {0, 0};
    long long n[2] = {0, 0};
    for (int y = 0; y < t.height(); ++y) {
        const uchar* pm = m.constScanLine(y);
        const uchar* pt = t.constScanLine(y);
        for (int x = 0; x < t.width(); ++x) {
            const int inBand = x < band || y < band || x >= t.width() - band || y >= t.height() - band;
            for (int c = 0; c < 3; ++c) se[inBand] += double(pm[3 * x + c] - pt[3 * x + c]) * (pm[3 * x + c] - pt[3 * x + c]);
            n[inBand] += 3;
        }
    }
    auto psnr = [](double e, long long k) { return e == 0 || k == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(k) / e); };
    std::printf("band %.2f inside %.2f\n", psnr(se[1], n[1]), psnr(se[0], n[0]));
    return 0;
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 5 && std::string(argv[3]) == "--band") {
        const QImage m = load(argv[1]), t = load(argv[2]);
        const int band = std::atoi(argv[4]);
        if (m.isNull() || t.isNull() || m.size() != t.size() || band < 1) {
            std::fprintf(stderr, "orvanta-fusion-quality: cannot read two pictures of one size\n");
            return 1;
        }
        return bandFigures(m, t, band);
    }
    if (argc != 4 && !(argc == 6 && std::string(argv[4]) == "--single")) {
        std::fprintf(stderr, "usage: orvanta-fusion-quality MONTAGE TRUTH REGIONS [--single PICTURE]\n");
        return 2;
    }
    const QImage m = load(argv[1]), t = load(argv[2]), r = load(argv[3]);
    if (m.isNull() || t.isNull() || r.isNull() || m.size() != t.size() || r.size() != t.size()) {
        std::fprintf(stderr, "orvanta-fusion-quality: cannot read three pictures of one size\n");
        return 1;
    }
    const int W = t.width(), H = t.height();
    double se = 0, discError = 0, nearTruth = 0;
    long long discCells = 0, nearCount = 0, measured = 0, clipped = 0, truthClipped = 0;
    std::vector<double> ringError(41, 0.0), ringTruth(41, 0.0);
    std::vector<long long> ringCount(41, 0);
    for (int y = 0; y < H; ++y) {
        const uchar* pm = m.constScanLine(y);
        const uchar* pt = t.constScanLine(y);
        const uchar* pr = r.constScanLine(y);
        for (int x = 0; x < W; ++x) {
            const uchar* a = pm + 3 * x;
            const uchar* b = pt + 3 * x;
            for (int c = 0; c < 3; ++c) se += double(a[c] - b[c]) * (a[c] - b[c]);
            const int object = pr[3 * x], ring = pr[3 * x + 2];
            if (object >= 128) {
                nearTruth += luminance(b);
                ++nearCount;
            }
            if (object == 255) {
                for (int c = 0; c < 3; ++c) discError += std::abs(a[c] - b[c]);
                discCells += 3;
                ++measured;
                clipped += a[0] == 255 || a[1] == 255 || a[2] == 255;
                truthClipped += b[0] == 255 || b[1] == 255 || b[2] == 255;
            }
            if (ring >= 1 && ring <= 40) {
                ringError[std::size_t(ring)] += luminance(a) - luminance(b);
                ringTruth[std::size_t(ring)] += luminance(b);
                ++ringCount[std::size_t(ring)];
            }
        }
    }
    const double mse = se / (double(W) * H * 3);
    const double psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
    double ringSum = 0;
    long long ringAll = 0;
    for (int d = 1; d <= 40; ++d) {
        ringSum += ringTruth[std::size_t(d)];
        ringAll += ringCount[std::size_t(d)];
    }
    const double contrast = nearCount && ringAll ? std::fabs(nearTruth / double(nearCount) - ringSum / double(ringAll)) : 0;
    int halo = 0;
    double worst = 0;
    for (int d = 1; d <= 40; ++d) {
        if (!ringCount[std::size_t(d)] || contrast <= 0) continue;
        const double e = std::fabs(ringError[std::size_t(d)] / double(ringCount[std::size_t(d)])) / contrast;
        worst = std::max(worst, e);
        if (e > 0.02) halo = d;
    }
    std::string noise = "-";
    if (argc == 6) {
        const QImage single = load(argv[5]);
        const double own = single.size() == t.size() ? flatNoise(single, t, r) : 0;
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", own > 0 ? flatNoise(m, t, r) / own : 0.0);
        if (own > 0) noise = text; // no flat ground: no figure
    }
    std::printf("psnr %.2f halo %d ring %.2f disc %.2f noise %s clipped %.2f truth-clipped %.2f\n", psnr, halo,
                100 * worst, discCells ? discError / double(discCells) : 0.0, noise.c_str(),
                measured ? 100.0 * double(clipped) / double(measured) : 0.0,
                measured ? 100.0 * double(truthClipped) / double(measured) : 0.0);
    return 0;
}
