// The 3 x 3 majority vote and the per-block summary of a choice map.
#include "fusion/choice_map.h"

#include "engine/montage.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace orv {

namespace {

// One counter per possible picture number keeps the loops free of checks: 256 for the block
// methods' 30 pictures, 65536 for a long series of 16-bit choices.
template <class T> std::vector<std::uint32_t> makeCounts() {
    return std::vector<std::uint32_t>(std::size_t(1) << (8 * sizeof(T)), 0);
}

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

template <class T, class Cover>
void vote(const T* in, T* out, int w, int h, const std::vector<Cover>* cover, int rowFrom, int rowTo) {
    std::vector<std::uint32_t> counts = makeCounts<T>();
    std::array<T, 9> labels{};
    for (int y = std::max(0, rowFrom); y < std::min(h, rowTo); ++y) {
        const int y0 = std::max(0, y - 1), y1 = std::min(h - 1, y + 1);
        for (int x = 0; x < w; ++x) {
            const T own = in[std::size_t(y) * w + x];
            if (own == 0) {
                out[std::size_t(y) * w + x] = 0;
                continue;
            }
            const int x0 = std::max(0, x - 1), x1 = std::min(w - 1, x + 1);
            int n = 0;
            bool uniform = true;
            for (int yy = y0; yy <= y1; ++yy) {
                const T* row = in + std::size_t(yy) * w;
                for (int xx = x0; xx <= x1; ++xx) {
                    const T v = row[xx];
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
            T winner = own;
            if (counts[own] != most) {
                winner = std::numeric_limits<T>::max();
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

void majorityVote3x3(const std::uint16_t* in, std::uint16_t* out, int w, int h,
                     const std::vector<CoverArea>* cover, int rowFrom, int rowTo) {
    vote(in, out, w, h, cover, rowFrom, rowTo);
}

namespace {

template <class T>
std::string mapLine(const T* choices, int w, int h, int y, int increment, int blocks) {
    std::string line;
    line.reserve(std::size_t(std::max(0, blocks)));
    std::vector<std::uint32_t> counts = makeCounts<T>();
    std::vector<T> seen; // the pictures the block holds, each once
    const int yEnd = std::min(h, y + increment);
    for (int b = 0; b < blocks; ++b) {
        const int x0 = b * increment, x1 = std::min(w, x0 + increment);
        for (int yy = y; yy < yEnd; ++yy) {
            const T* row = choices + std::size_t(yy) * w;
            for (int x = x0; x < x1; ++x)
                if (counts[row[x]]++ == 0) seen.push_back(row[x]);
        }
        int winner = 1;
        std::uint32_t most = 0;
        for (const T p : seen)
            if (p != 0 && (counts[p] > most || (counts[p] == most && int(p) < winner))) {
                most = counts[p];
                winner = p;
            }
        for (const T p : seen) counts[p] = 0;
        seen.clear();
        line.push_back(mapCharacter(winner));
    }
    return line;
}

} // namespace

std::string blockMapLine(const std::uint8_t* choices, int w, int h, int y, int increment, int blocks) {
    return mapLine(choices, w, h, y, increment, blocks);
}

std::string blockMapLine(const std::uint16_t* choices, int w, int h, int y, int increment, int blocks) {
    return mapLine(choices, w, h, y, increment, blocks);
}

} // namespace orv
