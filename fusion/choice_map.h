// The choice maps of Pyramid Focus: one picture number per pixel of a pyramid level, cleaned by a
// 3 x 3 majority vote, and summed up per block of the increment into the dominant-image map.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

// The part of a level a picture reaches: columns x0 to x1 - 1, rows y0 to y1 - 1.
struct CoverRect {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool contains(int x, int y) const { return x >= x0 && x < x1 && y >= y0 && y < y1; }
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// The part of a level a picture reaches when it need not be a rectangle (an aligned picture's own
// pixels): on each row from y0 one run of columns, x0[i] to x1[i] - 1 on row y0 + i.
struct CoverArea {
    int y0 = 0;
    std::vector<int> x0, x1;

    int y1() const { return y0 + int(x0.size()); }
    bool contains(int x, int y) const {
        if (y < y0 || y >= y1()) return false;
        const std::size_t i = std::size_t(y - y0);
        return x >= x0[i] && x < x1[i];
    }
    bool empty() const;
    static CoverArea of(const CoverRect& r);
};

// A w x h map of picture numbers (row-major, `w` per row; 0 = no picture) cleaned by a 3 x 3
// majority vote into `out`, rows rowFrom to rowTo - 1: each pixel takes the picture chosen most
// often among itself and its neighbours inside the map; on a tie it keeps its own when that is one
// of the most chosen, else takes the lowest number among them. A pixel with 0 stays 0. With
// `cover` (indexed by picture number), a neighbour's picture counts only where it reaches the
// pixel voted on; without it, every picture reaches everywhere.
void majorityVote3x3(const std::uint8_t* in, std::uint8_t* out, int w, int h,
                     const std::vector<CoverRect>* cover, int rowFrom, int rowTo);
void majorityVote3x3(const std::uint8_t* in, std::uint8_t* out, int w, int h,
                     const std::vector<CoverArea>* cover, int rowFrom, int rowTo);
// The same over 16-bit picture numbers (a series longer than 255 pictures).
void majorityVote3x3(const std::uint16_t* in, std::uint16_t* out, int w, int h,
                     const std::vector<CoverArea>* cover, int rowFrom, int rowTo);

// The map character of every block of one row of blocks: the picture chosen most often among the
// block's pixels (x from b * increment, rows y to y + increment - 1, both cut at the map's w x h),
// the lower number on ties; picture 1 when no pixel of the block has a picture (as the block loop
// names a block that every picture refused). `choices` is row-major, `w` per row, bottom row first.
std::string blockMapLine(const std::uint8_t* choices, int w, int h, int y, int increment,
                         int blocks);
std::string blockMapLine(const std::uint16_t* choices, int w, int h, int y, int increment,
                         int blocks);

} // namespace orv
