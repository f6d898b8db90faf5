// orvanta-align-bench: loads a series into the image stack as orvanta-cli does, aligns it
// automatically and makes the montage (method 0, increment 20), reporting the alignment's time,
// the memory it adds to the stack and how much the block seams show; with --truth, the montage's
// PSNR against the truth on the common rectangle, beside that of the unaligned pictures and, with
// --registered, of the same series taken without moves.
#include "align/align_series.h"
#include "align/alignment_report.h"
#include "engine/montage_run.h"
#include "input/picture_file.h"
#include "input/series_loader.h"
#include "output/bmp_writer.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>

using namespace orv;

namespace {

// Resident and peak resident memory of this process, bytes.
long long statusBytes(const char* key) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(key, 0) == 0) return std::atoll(line.c_str() + std::strlen(key)) * 1024;
    return -1;
}

// Starts the peak from the present resident size (Linux: "5" to clear_refs).
bool resetPeak() {
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    f.flush();
    return bool(f);
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec * 1e-9;
}

bool loadStack(const std::string& first, PixelArrays& mp) {
    const std::string completed = completeSeriesName(first, QDir::currentPath().toStdString() + "/");
    const auto series = parseSeriesName(completed);
    if (!series) return false;
    std::vector<std::unique_ptr<MemorySurface>> pictures;
    loadSeriesSurfaces(*series, pictures);
    if (pictures.empty()) return false;
    MemorySurface montage(pictures[0]->pictureWidth(), pictures[0]->pictureHeight());
    ArraySurfaces surfaces;
    surfaces.montage = &montage;
    for (auto& p : pictures) surfaces.pictures.push_back(p.get());
    mp.loadImageArrays(ArrayFill::Full, surfaces, SizeCheck{});
    return true;
}

// The montage of the stack over `g`, as Make Montage's block loop makes it.
void makeMontage(PixelArrays& mp, const MontageGeometry& g) { montageOfFilledStack(mp, g, 20, FocusMethod::ColorSpace3D, 2); }

// PSNR of montage slot 100 (frame pixel (x, y) at montage (x - left, y - bottom), rows from the
// bottom) against the truth picture on the frame rectangle `r` (rows from the top).
double psnr(const PixelArrays& mp, int left, int bottom, const QImage& truth, const FrameRect& r) {
    const auto& slot = mp.montage.slot(100);
    double se = 0;
    long long n = 0;
    for (int ty = r.top; ty < r.top + r.height; ++ty) {
        const uchar* t = truth.constScanLine(ty);
        const int by = truth.height() - 1 - ty;
        for (int x = r.left; x < r.left + r.width; ++x) {
            const std::uint8_t* m = &slot[(std::size_t(by - bottom) * mp.montage.width() + (x - left)) * 3];
            for (int c = 0; c < 3; ++c) {
                const double d = double(m[c]) - t[3 * x + (2 - c)];
                se += d * d;
                ++n;
            }
        }
    }
    return se == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * double(n) / se);
}

// The colour step across block seams beyond the step between pixels inside the blocks: what the
// block structure adds, mean over the montage (increment 20, both directions).
double seamExcess(const PixelArrays& mp, const MontageGeometry& g) {
    const int inc = 20, W = int(g.W), H = int(g.H), MW = mp.montage.width();
    const auto& slot = mp.montage.slot(100);
    auto step = [&](int x0, int y0, int x1, int y1) {
        const std::uint8_t* a = &slot[(std::size_t(y0) * MW + x0) * 3];
        const std::uint8_t* b = &slot[(std::size_t(y1) * MW + x1) * 3];
        double d = 0;
        for (int c = 0; c < 3; ++c) d += double(a[c] - b[c]) * (a[c] - b[c]);
        return std::sqrt(d);
    };
    double seam = 0, inside = 0;
    long long n = 0;
    for (int y = 0; y + inc < H; y += inc)
        for (int x = 0; x + inc < W; x += inc)
            for (int d = 0; d < inc; ++d) {
                seam += step(x + inc - 1, y + d, x + inc, y + d) + step(x + d, y + inc - 1, x + d, y + inc);
                inside += step(x + inc / 2 - 1, y + d, x + inc / 2, y + d) + step(x + d, y + inc / 2 - 1, x + d, y + inc / 2);
                n += 2;
            }
    return n ? (seam - inside) / double(n) : 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: orvanta-align-bench FIRST_FILE [--colour-match] [--minimum] [-o MONTAGE.bmp]\n"
                 "                           [--truth TRUTH [--registered FIRST_FILE]] [--lines] [--unaligned]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string first, out, truthFile, registered;
    AlignOptions options;
    DisplayArea area = DisplayArea::Same;
    bool lines = false, compareUnaligned = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--colour-match") options.colourMatch = true;
        else if (a == "--minimum") area = DisplayArea::Minimum;
        else if (a == "--lines") lines = true;
        else if (a == "--unaligned") compareUnaligned = true;
        else if (a == "-o") out = next();
        else if (a == "--truth") truthFile = next();
        else if (a == "--registered") registered = next();
        else if (!a.empty() && a[0] == '-') return usage();
        else first = a;
    }
    if (first.empty()) return usage();

    PixelArrays mp;
    if (!loadStack(first, mp)) {
        std::fprintf(stderr, "orvanta-align-bench: cannot load %s\n", first.c_str());
        return 1;
    }
    const int W = mp.stack.width(), H = mp.stack.height(), N = mp.stack.count;
    const double picture = double(W) * H * 3, MB = 1024.0 * 1024.0;
    // The montage buffer the fill made stays, as in Make Montage. Memory the loading freed is
    // handed back first, so that what the alignment takes shows as new resident memory.
    malloc_trim(0);
    const long long before = statusBytes("VmRSS:");
    const bool peakKnown = resetPeak();
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = cpuSeconds();
    AlignmentReport report;
    try {
        report = alignStack(mp.stack, options);
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "orvanta-align-bench: error %d (%s)\n", e.number(), e.description().c_str());
        return 1;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - c0;
    const long long peak = statusBytes("VmHWM:");
    std::printf("align: %d pictures %dx%d, stack %.1f MB, picture %.1f MB; wall %.3f s, cpu %.3f s; ", N,
                mp.stack.pictureWidth(1), mp.stack.pictureHeight(1), N * picture / MB, picture / MB, wall, cpu);
    if (peakKnown && before > 0 && peak > 0)
        std::printf("added peak %.1f MB (%.2f pictures)\n", (peak - before) / MB, (peak - before) / picture);
    else
        std::printf("added peak unknown\n");
    for (const std::string& notice : alignmentNotices(report))
        std::fprintf(stderr, "orvanta-align-bench: %s\n", notice.c_str());
    if (lines) std::fputs(alignmentPropertiesLines(report).c_str(), stdout);
    if (options.colourMatch && lines)
        for (const auto& p : report.pictures)
            std::printf("  Image %d gain %.3f %.3f %.3f offset %.1f %.1f %.1f\n", p.picture, p.gain[0], p.gain[1],
                        p.gain[2], p.offset[0], p.offset[1], p.offset[2]);

    MontageGeometry g;
    if (applyAlignedArea(g, report, area) != AreaOutcome::Ready) {
        std::fprintf(stderr, "orvanta-align-bench: the pictures have no area in common\n");
        return 1;
    }
    makeMontage(mp, g);
    std::printf("seams: %.2f colour steps above those inside the blocks\n", seamExcess(mp, g));
    if (!out.empty()) {
        const BgrView view{mp.montage.slot(100).data(), int(g.W), int(g.H), std::size_t(mp.montage.width()) * 3};
        writeBmp24(out, view);
    }
    if (truthFile.empty() && !compareUnaligned) return 0;

    // The same pictures unaligned.
    PixelArrays plain;
    loadStack(first, plain);
    MontageGeometry frame;
    frame.W = float(plain.stack.pictureWidth(1));
    frame.H = float(plain.stack.pictureHeight(1));
    makeMontage(plain, frame);
    std::printf("seams unaligned: %.2f\n", seamExcess(plain, frame));
    if (truthFile.empty()) return 0;

    const QImage truth = QImage(QString::fromStdString(truthFile)).convertToFormat(QImage::Format_RGB888);
    if (truth.width() != report.frameWidth || truth.height() != report.frameHeight) {
        std::fprintf(stderr, "orvanta-align-bench: the truth is not the frame's size\n");
        return 1;
    }
    const FrameRect r = area == DisplayArea::Minimum
                            ? FrameRect{report.common.left, report.common.top, int(g.W), int(g.H)}
                            : report.common;
    const double aligned = psnr(mp, -g.shiftX, g.dY, truth, r);
    const double unaligned = psnr(plain, 0, 0, truth, r);
    std::printf("psnr: unaligned %.2f, aligned %.2f", unaligned, aligned);
    if (!registered.empty()) {
        PixelArrays exact;
        if (!loadStack(registered, exact)) return 1;
        makeMontage(exact, frame);
        std::printf(", registered %.2f", psnr(exact, 0, 0, truth, r));
    }
    std::printf(" (dB on the common %dx%d rectangle)\n", r.width, r.height);
    return 0;
}
