// Small generated series for the engine tests: pictures built pixel by pixel in memory.
#pragma once

#include "engine/pixel_arrays.h"
#include "engine/picture_surface.h"

#include <memory>
#include <vector>

namespace orv::test {

struct Series {
    std::vector<std::unique_ptr<MemorySurface>> pictures;
    MemorySurface montage;

    MemorySurface& add(int w, int h) {
        pictures.push_back(std::make_unique<MemorySurface>(w, h));
        return *pictures.back();
    }
    ArraySurfaces surfaces() {
        ArraySurfaces s;
        s.montage = &montage;
        for (auto& p : pictures) s.pictures.push_back(p.get());
        return s;
    }
    void fill(PixelArrays& mp, int montageW, int montageH, SizeCheck check = {}) {
        montage = MemorySurface(montageW, montageH);
        mp.loadImageArrays(ArrayFill::Full, surfaces(), check);
    }
};

// Sets a pixel given in array coordinates (y from the bottom).
inline void setCell(MemorySurface& s, int x, int y, int b, int g, int r) {
    s.setPixel(x, s.pictureHeight() - 1 - y, std::uint8_t(b), std::uint8_t(g), std::uint8_t(r));
}

} // namespace orv::test
