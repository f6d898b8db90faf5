// Synthetic series of a few flat layers at different depths, each blurred by a pillbox (the shape
// a lens spreads an out-of-focus point into) of its own width per picture and laid over the layers
// behind it by its blurred coverage, as a lens sees a near object over a far one; then sensor noise.
// The truth is the sharp composite, and a regions picture says where each figure of the quality
// benchmark is measured.
#pragma once

#include "sample_series.h"

#include <vector>

namespace orv::sample {

class LayeredScene {
public:
    // `o.scene` is Scene::Halo or Scene::Highlight.
    explicit LayeredScene(const SeriesOptions& o);

    Picture picture(int k) const; // 1 to count, with noise of standard deviation 2
    Picture truth() const;
    // Red 255: the objects whose inside is measured (the discs; the bright pads), 128: the other
    // near objects (the lines). Green 255: flat ground far from every near object and edge of the
    // far plane. Blue d (1 to 40): the far plane d pixels outside the nearest near object's edge.
    Picture regions() const;

private:
    struct Layer {
        std::vector<float> rgb;   // premultiplied by alpha, top-down
        std::vector<float> alpha; // coverage, 0 to 1
        std::vector<float> blur;  // pillbox diameter in pixels, per picture 1 to count
    };
    Picture toPicture(const std::vector<float>& rgb, int k) const;
    std::vector<float> composite(int k) const; // picture k's pixels before noise; k = 0: sharp

    SeriesOptions o_;
    std::vector<Layer> layers_; // far to near
    std::vector<float> edgeDistance_; // per pixel: distance outside the near objects, < 0 inside
    std::vector<std::uint8_t> measured_, flat_;
};

} // namespace orv::sample
