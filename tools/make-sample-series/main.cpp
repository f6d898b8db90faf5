// make-sample-series: writes a deterministic synthetic focus series and its all-in-focus truth.
// The scene is a detailed texture whose depth varies across the frame (a tilted plane with a
// raised dome); picture k is sharp where the depth is near its focus distance and blurred by a
// box of growing radius elsewhere, as a lens would. Options move the pictures by known steps of
// scale, rotation and shift and change their brightness, for testing automatic alignment.
// Pictures are made and written one at a time, so a long series of large pictures needs the memory
// of one picture's making, not of the series.
#include "base/atomic_file.h"
#include "base/runtime_error.h"
#include "output/bmp_writer.h"
#include "output/deep_output.h"
#include "output/jpeg_writer.h"
#include "output/picture_writer.h"
#include "sample_series.h"

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
    orv::sample::SeriesOptions series;
    std::string format = "bmp";
    int depth = 8; // 16: TIFF or PNG files at 16 bits per sample
    int digits = 2; // of the picture numbers: 2 with --count, 4 with --frames
    bool truth = true;
    double scaleStep = 0;    // each picture magnified by this fraction more than the one before
    double rotationStep = 0; // degrees, clockwise, per picture
    double shiftStepX = 0, shiftStepY = 0;
    double gainStep = 0;     // brightness gain change per picture
    int flashPicture = 0;    // this picture's brightness also times flashGain (a flash that gave more light)
    double flashGain = 1;
    int margin = -1;         // -1: just enough for the moves
};

bool moves(const Options& o) { return o.scaleStep != 0 || o.rotationStep != 0 || o.shiftStepX != 0 || o.shiftStepY != 0; }

// Picture k against the middle picture: content magnified by (1 + scaleStep)^(k - middle), so
// the factor that maps it onto the middle one is the inverse.
orv::sample::PictureTransform transformOf(const Options& o, int k) {
    const int d = k - orv::sample::middlePicture(o.series.count);
    orv::sample::PictureTransform t;
    t.scale = std::pow(1 + o.scaleStep, -d);
    t.rotation = o.rotationStep * d;
    t.shiftX = o.shiftStepX * d;
    t.shiftY = o.shiftStepY * d;
    t.gain.fill((1 + o.gainStep * d) * (k == o.flashPicture ? o.flashGain : 1));
    return t;
}

// Enough scene beyond the frame that every moved picture samples drawn scene.
int marginFor(const Options& o) {
    if (!moves(o)) return 0;
    const int W = o.series.width, H = o.series.height;
    double worst = 0;
    for (int k = 1; k <= o.series.count; ++k) {
        const auto t = transformOf(o, k);
        const double r = std::hypot(W, H) / 2;
        worst = std::max(worst, r * std::fabs(t.scale - 1) + r * std::fabs(t.rotation) * 3.1416 / 180 +
                                    std::hypot(t.shiftX, t.shiftY));
    }
    return int(std::ceil(worst)) + 4;
}

void save(const Options& o, const orv::sample::Picture& p, const std::string& path) {
    if (o.depth == 16) {
        orv::DeepPicture deep(p.width, p.height, 3, 16);
        deep.samples = p.deep;
        orv::writeDeepPicture(path, deep, 16);
        return;
    }
    const orv::BgrView view{p.cells.data(), p.width, p.height, std::size_t((p.width + 3) / 4 * 4) * 3};
    if (o.format == "jpg") orv::writeJpeg(path, view, 92);
    else if (o.format == "bmp") orv::writeBmp24(path, view);
    else orv::writePicture(path, view); // TIFF or PNG at 8 bits
}

int usage() {
    std::fprintf(stderr,
                 "usage: make-sample-series FOLDER [--count N | --frames N] [--size WxH] [--format bmp|jpg|tif|png]\n"
                 "         [--depth 8|16] [--prefix NAME] [--seed N] [--no-truth]\n"
                 "         [--scene rings|natural|gradient|halo|highlight]\n"
                 "         [--scale-step F] [--rotation-step DEG] [--shift-step X,Y] [--gain-step F] "
                 "[--flash K,G] [--margin PX]\n"
                 "--count N (1 to 99) names the pictures PREFIX01, PREFIX02, ...; --frames N (1 to 9999)\n"
                 "names them PREFIX0001, PREFIX0002, ...: the same series rule, four digits. Pictures are\n"
                 "written one at a time, so a long series of large pictures takes one picture's memory.\n"
                 "--depth 16 writes TIFF (the default) or PNG at 16 bits per sample (rings, natural and\n"
                 "gradient scenes); at 8 bits every format is written.\n"
                 "The steps move picture k by (k - middle) steps against the middle picture: its content\n"
                 "looks (1 + F)^(k - middle) times as large, turned DEG degrees anticlockwise and moved\n"
                 "by (-X, -Y) per step, its brightness times 1 + F per step; --flash K,G multiplies picture\n"
                 "K's brightness by G as well (0.1 to 3). The moves are written to\n"
                 "PREFIX-transforms.txt as the factors that map each picture onto the middle one.\n"
                 "The rings scene (the default) suits montage tests; the natural scene, noise at every scale\n"
                 "with hard-edged shapes blurred smoothly, looks to an alignment like a real subject.\n"
                 "The gradient scene is smooth colour gradients without detail, where 8 bits per sample show\n"
                 "bands and 16 do not; the blur changes it by a few 16-bit units, so each picture is near the truth.\n"
                 "The halo scene (bright discs and lines sharp in picture 1 over a far plane sharp in the last)\n"
                 "and the highlight scene (gold pads past white, sharp in one picture) carry sensor noise,\n"
                 "take no moves and add PREFIX-regions.bmp: where the quality benchmark measures.\n");
    return 2;
}

bool readNumber(const char* v, double& out) {
    if (!v) return false;
    char* end = nullptr;
    out = std::strtod(v, &end);
    return end != v && *end == 0 && std::isfinite(out);
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    auto& series = o.series;
    bool countGiven = false, framesGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (a == "--count") { const char* v = next(); if (!v || framesGiven) return usage(); series.count = std::atoi(v); countGiven = true; }
        else if (a == "--frames") {
            const char* v = next();
            if (!v || countGiven) return usage();
            series.count = std::atoi(v);
            if (series.count < 1 || series.count > 9999) return usage();
            o.digits = 4;
            framesGiven = true;
        }
        else if (a == "--size") { const char* v = next(); if (!v || std::sscanf(v, "%dx%d", &series.width, &series.height) != 2) return usage(); }
        else if (a == "--format") { const char* v = next(); if (!v) return usage(); o.format = v; }
        else if (a == "--prefix") { const char* v = next(); if (!v) return usage(); o.prefix = v; }
        else if (a == "--seed") { const char* v = next(); if (!v) return usage(); series.seed = unsigned(std::atoi(v)); }
        else if (a == "--no-truth") o.truth = false;
        else if (a == "--depth") { const char* v = next(); if (!v) return usage(); o.depth = std::atoi(v); }
        else if (a == "--scale-step") { if (!readNumber(next(), o.scaleStep) || o.scaleStep <= -0.5 || o.scaleStep >= 0.5) return usage(); }
        else if (a == "--rotation-step") { if (!readNumber(next(), o.rotationStep) || std::fabs(o.rotationStep) > 10) return usage(); }
        else if (a == "--gain-step") { if (!readNumber(next(), o.gainStep) || std::fabs(o.gainStep) >= 0.5) return usage(); }
        else if (a == "--flash") {
            const char* v = next();
            if (!v || std::sscanf(v, "%d,%lf", &o.flashPicture, &o.flashGain) != 2 || o.flashPicture < 1 ||
                !(o.flashGain >= 0.1 && o.flashGain <= 3))
                return usage();
        }
        else if (a == "--shift-step") { const char* v = next(); if (!v || std::sscanf(v, "%lf,%lf", &o.shiftStepX, &o.shiftStepY) != 2) return usage(); }
        else if (a == "--scene") {
            const char* v = next();
            if (!v) return usage();
            if (std::string(v) == "natural") series.scene = orv::sample::Scene::Natural;
            else if (std::string(v) == "rings") series.scene = orv::sample::Scene::Rings;
            else if (std::string(v) == "halo") series.scene = orv::sample::Scene::Halo;
            else if (std::string(v) == "highlight") series.scene = orv::sample::Scene::Highlight;
            else if (std::string(v) == "gradient") series.scene = orv::sample::Scene::Gradient;
            else return usage();
        }
        else if (a == "--margin") { const char* v = next(); if (!v) return usage(); o.margin = std::atoi(v); if (o.margin < 0) return usage(); }
        else if (!a.empty() && a[0] == '-') return usage();
        else o.folder = a;
    }
    if (o.format == "tiff") o.format = "tif";
    if (o.format == "jpeg") o.format = "jpg";
    if (o.folder.empty() || series.count < 1 || series.count > (o.digits == 4 ? 9999 : 99) || series.width < 1 ||
        series.height < 1 || series.width > 30000 || series.height > 30000 ||
        (o.format != "bmp" && o.format != "jpg" && o.format != "tif" && o.format != "png") ||
        (o.depth != 8 && o.depth != 16))
        return usage();
    const bool layered = series.scene == orv::sample::Scene::Halo || series.scene == orv::sample::Scene::Highlight;
    // At 16 bits: TIFF (the default) or PNG, for the scenes drawn in floating point.
    if (o.depth == 16) {
        if (o.format == "bmp") o.format = "tif";
        if ((o.format != "tif" && o.format != "png") || layered) return usage();
    }
    if (layered && (moves(o) || o.gainStep != 0 || o.flashPicture != 0)) return usage(); // their truth holds for unmoved pictures only
    series.margin = o.margin >= 0 ? o.margin : marginFor(o);
    series.deep = o.depth == 16;
    try {
        std::filesystem::create_directories(o.folder);
        const orv::sample::SeriesMaker maker(series);
        const bool listed = moves(o) || o.gainStep != 0 || o.flashPicture != 0;
        std::string list = "# picture scale rotation shiftX shiftY gain: the factors that map each picture onto picture " +
                           std::to_string(orv::sample::middlePicture(series.count)) + "\n";
        for (int k = 1; k <= series.count; ++k) {
            const orv::sample::PictureTransform t = transformOf(o, k);
            char name[32];
            std::snprintf(name, sizeof name, "%0*d", o.digits, k);
            save(o, maker.picture(k, t), o.folder + "/" + o.prefix + name + "." + o.format);
            char line[160];
            std::snprintf(line, sizeof line, "%d %.6f %.4f %.3f %.3f %.4f\n", k, t.scale, t.rotation, t.shiftX,
                          t.shiftY, t.gain[0]);
            list += line;
        }
        if (o.truth) save(o, maker.truth(), o.folder + "/" + o.prefix + "-truth." + o.format);
        // Where the quality figures are measured: always BMP, exact.
        if (o.truth && layered) {
            const orv::sample::Picture r = maker.regions();
            orv::writeBmp24(o.folder + "/" + o.prefix + "-regions.bmp",
                            orv::BgrView{r.cells.data(), r.width, r.height, std::size_t((r.width + 3) / 4 * 4) * 3});
        }
        if (listed)
            orv::writeFileAtomically(o.folder + "/" + o.prefix + "-transforms.txt",
                                     std::vector<std::uint8_t>(list.begin(), list.end()));
    } catch (const orv::RuntimeError& e) {
        std::fprintf(stderr, "make-sample-series: %s\n", e.description().c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make-sample-series: %s\n", e.what());
        return 1;
    }
    std::printf("%d pictures of %dx%d written to %s (%s%0*d.%s ...)\n", series.count, series.width, series.height,
                o.folder.c_str(), o.prefix.c_str(), o.digits, 1, o.format.c_str());
    return 0;
}
