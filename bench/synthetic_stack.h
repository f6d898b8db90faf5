// The stack the kernel benchmarks run on: pictures of random cells made in memory and loaded into
// the pixel arrays as a run loads its series.
#pragma once

#include "engine/montage.h"

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace orv {

struct SyntheticStack {
    std::vector<std::unique_ptr<MemorySurface>> pictures;
    PixelArrays mp;

    // `n` pictures of `w` x `h`; `cell(k, rng)` gives each cell of picture k (from 0), drawn from
    // one generator seeded with `seed`, so a benchmark runs on the same pictures every time.
    template <class Cell>
    SyntheticStack(int n, int w, int h, unsigned seed, Cell cell) {
        std::mt19937 rng(seed);
        for (int k = 0; k < n; ++k) {
            std::vector<std::uint8_t> cells(std::size_t(roundUp4(w)) * roundUp4(h) * 3);
            for (auto& c : cells) c = cell(k, rng);
            pictures.push_back(std::make_unique<MemorySurface>(w, h, std::move(cells)));
        }
        MemorySurface montage(w, h);
        ArraySurfaces s;
        s.montage = &montage;
        for (auto& p : pictures) s.pictures.push_back(p.get());
        mp.loadImageArrays(ArrayFill::Full, s, SizeCheck{});
    }
};

} // namespace orv
