// The 3 x 3 majority vote and the per-block summary of a choice map.
#include "fusion/choice_map.h"

#include "engine/montage.h"

#include <algorithm>
#include <array>

namespace orv {

namespace {

// Picture numbers go up to 30; one counter per possible byte keeps the loops free of checks.
using Counts = std::array<std::uint32_t, 256>;

} // namespace

bool CoverArea::empty() const {
    for (std::size_t i = 0; i < x0.size(); ++i)
        if (x1[i] > x0[i]) return false;
    return true;
}

CoverArea CoverArea::of(const CoverRect& r) {
    CoverArea a;
    a.y0 = r.y0;
    const std::size_t rows = std::size_t(std::max(0, r.y1 - r.y0));
    a.x0.assign(rows, r.x0);
    a.x1.assign(rows, r.x1);
    return a;
}

namespace {

template <class Cover>
void vote(const std::uint8_t* in, std::uint8_t* out, int w, int h, const std::vector<Cover>* cover, int rowFrom,
          int rowTo) {
    Counts counts{};
    std::array<std::uint8_t, 9> labels{};
    for (int y = std::max(0, rowFrom); y < std::min(h, rowTo); ++y) {
        const int y0 = std::max(0, y - 1), y1 = std::min(h - 1, y + 1);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t own = in[std::size_t(y) * w + x];
            if (own == 0) {
                out[std::size_t(y) * w + x] = 0;
                continue;
            }
            const int x0 = std::max(0, x - 1), x1 = std::min(w - 1, x + 1);
            int n = 0;
            bool uniform = true;
            for (int yy = y0; yy <= y1; ++yy) {
                const std::uint8_t* row = in + std::size_t(yy) * w;
                for (int xx = x0; xx <= x1; ++xx) {
                    const std::uint8_t v = row[xx];
                    if (v == 0) continue;
                    if (cover && !(*cover)[v].contains(x, y)) continue;
                    labels[std::size_t(n++)] = v;
                    uniform = uniform && v == own;
                }
            }
            if (uniform) {
                out[std::size_t(y) * w + x] = own;
                continue;
            }
            std::uint32_t most = 0;
            for (int i = 0; i < n; ++i) most = std::max<std::uint32_t>(most, ++counts[labels[std::size_t(i)]]);
            std::uint8_t winner = own;
            if (counts[own] != most) {
                winner = 255;
                for (int i = 0; i < n; ++i)
                    if (counts[labels[std::size_t(i)]] == most) winner = std::min(winner, labels[std::size_t(i)]);
            }
            for (int i = 0; i < n; ++i) counts[labels[std::size_t(i)]] = 0;
            out[std::size_t(y) * w + x] = winner;
        }
    }
}

} // namespace

void majorityVote3x3(const std::uint8_t* in, std::uint8_t* out, int w, int h,
                     const std::vector<CoverRect>* cover, int rowFrom, int rowTo) {
    vote(in, out, w, h, cover, rowFrom, rowTo);
}

void majorityVote3x3(const std::uint8_t* in, std::uint8_t* out, int w, int h,
                     const std::vector<CoverArea>* cover, int rowFrom, int rowTo) {
    vote(in, out, w, h, cover, rowFrom, rowTo);
}

std::string blockMapLine(const std::uint8_t* choices, int w, int h, int y, int increment,
                         int blocks) {
    std::string line;
    line.reserve(std::size_t(std::max(0, blocks)));
    Counts counts{};
    const int yEnd = std::min(h, y + increment);
    for (int b = 0; b < blocks; ++b) {
        const int x0 = b * increment, x1 = std::min(w, x0 + increment);
        for (int yy = y; yy < yEnd; ++yy) {
            const std::uint8_t* row = choices + std::size_t(yy) * w;
            for (int x = x0; x < x1; ++x) ++counts[row[x]];
        }
        int winner = 1;
        std::uint32_t most = 0;
        for (int p = 1; p < 256; ++p)
            if (counts[std::size_t(p)] > most) {
                most = counts[std::size_t(p)];
                winner = p;
            }
        counts.fill(0);
        line.push_back(mapCharacter(winner));
    }
    return line;
}

} // namespace orv
