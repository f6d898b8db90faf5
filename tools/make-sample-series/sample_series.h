// Synthetic focus series with a known truth: a detailed scene whose depth varies across the frame,
// each picture sharp near its own focus distance, optionally seen through a known per-picture
// scale, rotation, shift and brightness change (focus breathing, a moved camera, exposure drift).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace orv::sample {

// Where picture k's pixels lie on the reference frame: pixel q of the picture (top-down, pixel
// centres at whole numbers) shows what the reference shows at
//     c + scale * R(rotation) * (q - c) + (shiftX, shiftY),
// c the frame's centre, R a clockwise turn on screen by `rotation` degrees. So `scale` is the
// factor that maps the picture onto the reference (0.98 for content that looks 2 % larger), and
// the shift is where the picture's centre lands, x right and y down. The colour of each channel
// (blue, green, red) is then gain * value + offset.
struct PictureTransform {
    double scale = 1.0;
    double rotation = 0.0;
    double shiftX = 0.0;
    double shiftY = 0.0;
    std::array<double, 3> gain{1.0, 1.0, 1.0};
    std::array<double, 3> offset{0.0, 0.0, 0.0};

    bool moves() const { return scale != 1.0 || rotation != 0.0 || shiftX != 0.0 || shiftY != 0.0; }
};

enum class Scene {
    Rings, // a texture of rings, grid lines and noise, box-blurred: the montage sample
    Natural, // noise at every scale with hard-edged shapes, blurred smoothly as a lens does:
             // what photographs of real subjects look like to an alignment
    Halo,      // bright discs and lines sharp in picture 1 over a far plane sharp in the last
               // (layered_scene.h); noise of standard deviation 2; no moves
    Highlight, // gold pads past white sharp in one picture over a dark far plane; no moves
    Gradient,  // smooth colour gradients and no detail, where 8 bits show bands and 16 do not:
               // each channel bilinear across the frame plus a faint dome, which the blur
               // changes by a few 16-bit units at most, so every picture is near the truth
};

struct SeriesOptions {
    int width = 640;
    int height = 480;
    int count = 8;
    unsigned seed = 1;
    // Scene drawn this far beyond every edge of the frame, so that moved pictures show scene there
    // too (a camera sees more than the reference frame). 0 keeps the frame's own edges.
    int margin = 0;
    Scene scene = Scene::Rings;
    // Also fill Picture::deep (the 16-bit samples); a series written at 8 bits leaves it empty.
    bool deep = true;
};

// A picture as the stack holds it: roundUp4(width) x roundUp4(height) cells of blue, green, red,
// bottom row first, cells beyond the picture black.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> cells;
    // The same picture at 16 bits per sample (the scene's values times 257, before they are
    // rounded to 8 bits), red, green, blue, rows from the top. Filled for the rings, natural and
    // gradient scenes when SeriesOptions::deep is set.
    std::vector<std::uint16_t> deep;
};

struct Canvas; // the scene drawn in floating point, beyond the frame by the margin

class SeriesMaker {
public:
    explicit SeriesMaker(const SeriesOptions& options);

    // Picture k (1 to count) seen through `t`. The identity transform gives the registered picture.
    Picture picture(int k, const PictureTransform& t = {}) const;

    // The sharp scene on the reference frame: the all-in-focus truth.
    Picture truth() const;

    // Where the quality figures are measured (LayeredScene::regions); an empty picture for the
    // rings, natural and gradient scenes.
    Picture regions() const;

    const SeriesOptions& options() const { return o_; }

private:
    SeriesOptions o_;
    std::shared_ptr<const class LayeredScene> layered_;
    std::shared_ptr<const Canvas> sharp_; // the scene on the frame plus margin
};

// The picture the middle of a series of `count` is: the reference others are aligned onto.
inline int middlePicture(int count) { return (count + 1) / 2; }

} // namespace orv::sample
