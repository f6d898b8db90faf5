// Where a picture lies on the levels of Pyramid Focus, and the picture placed and reduced to
// luminance for the first pass.
#include "fusion/pyramid_run.h"

#include "engine/covered_run.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orv::pyramid {

namespace {

// The centre on the montage (one side of `montageSide` pixels) of level pixel i: level pixel i
// covers montage pixels i * 2^l to (i + 1) * 2^l - 1, cut at the montage's last pixel.
long long levelCentre(int i, int level, int montageSide) {
    return std::min<long long>((static_cast<long long>(i) << level) + ((1LL << level) >> 1), montageSide - 1);
}

// The first level pixel whose centre is at least v (levelSide when none).
int firstCentreFrom(long long v, int level, int levelSide, int montageSide) {
    if (v > montageSide - 1) return levelSide;
    const long long half = (1LL << level) >> 1;
    long long i = v <= half ? 0 : (v - half + (1LL << level) - 1) >> level;
    i = std::clamp<long long>(i, 0, levelSide);
    while (i > 0 && levelCentre(int(i - 1), level, montageSide) >= v) --i;
    while (i < levelSide && levelCentre(int(i), level, montageSide) < v) ++i;
    return int(i);
}

} // namespace

// The montage pixels of `rect` that the picture covers with pixels of its own: all of them, or,
// for an aligned picture, those whose frame pixel its own area holds. Montage row y is stack row
// y + oy, frame row frameHeight - 1 - (y + oy) from the top; column x is frame column x + ox.
CoverArea montageCover(const CoverRect& rect, const OwnArea* own, int ox, int oy) {
    CoverArea a = CoverArea::of(rect);
    if (!own) return a;
    const int frameHeight = own->frameHeight;
    const auto& m = own->frameToPicture;
    for (int y = rect.y0; y < rect.y1; ++y) {
        const double fy = double(frameHeight - 1 - (y + oy));
        double lo = rect.x0, hi = rect.x1 - 1;
        narrowCoveredRun(m[0], m[0] * ox + m[1] * fy + m[2], 0, own->width - 1, lo, hi, kCoverEdge);
        narrowCoveredRun(m[3], m[3] * ox + m[4] * fy + m[5], 0, own->height - 1, lo, hi, kCoverEdge);
        const std::size_t i = std::size_t(y - rect.y0);
        a.x0[i] = int(std::ceil(lo));
        a.x1[i] = std::max(a.x0[i], int(std::floor(hi)) + 1);
    }
    return a;
}

// The pixels of a level whose centre on the montage lies in the montage cover `m`.
CoverArea levelCover(const CoverArea& m, int level, cv::Size size, int W, int H) {
    if (level == 0) return m;
    CoverArea a;
    const int first = firstCentreFrom(m.y0, level, size.height, H);
    const int last = firstCentreFrom(m.y1(), level, size.height, H);
    a.y0 = first;
    for (int j = first; j < last; ++j) {
        const int y = int(levelCentre(j, level, H));
        const std::size_t i = std::size_t(y - m.y0);
        const int x0 = firstCentreFrom(m.x0[i], level, size.width, W);
        const int x1 = m.x1[i] > m.x0[i] ? firstCentreFrom(m.x1[i], level, size.width, W) : x0;
        a.x0.push_back(x0);
        a.x1.push_back(std::max(x0, x1));
    }
    return a;
}

// Whether picture p lies where the montage does, covering all of it: its cells are then used in
// place, not copied.
bool inPlace(const Placement& p, cv::Size size) {
    const CoverRect& r = p.rect;
    return p.ox == 0 && p.oy == 0 && r.x0 == 0 && r.y0 == 0 && r.x1 == size.width && r.y1 == size.height;
}

// Picture p in montage coordinates, 8-bit blue, green, red: the stack's own cells when the picture
// sits unshifted over the whole montage, else a copy into `buffer` in which the pixels it does not
// reach repeat its nearest edge, so its coefficients stay quiet there.
cv::Mat placedPicture(const std::uint8_t* source, int sourceWidth, const Placement& p, cv::Size size, cv::Mat& buffer) {
    const CoverRect& r = p.rect;
    auto* cells = const_cast<std::uint8_t*>(source);
    const std::size_t srcRow = std::size_t(sourceWidth) * 3;
    if (inPlace(p, size)) return cv::Mat(size, CV_8UC3, cells, srcRow);
    buffer.create(size, CV_8UC3);
    const int W = size.width, H = size.height;
    cv::parallel_for_(cv::Range(r.y0, r.y1), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            std::uint8_t* d = buffer.ptr<std::uint8_t>(y);
            std::memcpy(d + 3 * r.x0, cells + std::size_t(y + p.oy) * srcRow + std::size_t(r.x0 + p.ox) * 3,
                        std::size_t(r.x1 - r.x0) * 3);
            for (int x = 0; x < r.x0; ++x) std::memcpy(d + 3 * x, d + 3 * r.x0, 3);
            for (int x = r.x1; x < W; ++x) std::memcpy(d + 3 * x, d + 3 * (r.x1 - 1), 3);
        }
    });
    const std::size_t rowBytes = std::size_t(W) * 3;
    for (int y = 0; y < r.y0; ++y) std::memcpy(buffer.ptr(y), buffer.ptr(r.y0), rowBytes);
    for (int y = r.y1; y < H; ++y) std::memcpy(buffer.ptr(y), buffer.ptr(r.y1 - 1), rowBytes);
    return buffer;
}

// 0.114 blue + 0.587 green + 0.299 red, times 8, in fixed point.
void luminance(const cv::Mat& picture, cv::Mat& out) {
    cv::parallel_for_(cv::Range(0, picture.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const std::uint8_t* s = picture.ptr<std::uint8_t>(y);
            std::int16_t* d = out.ptr<std::int16_t>(y);
            for (int x = 0; x < picture.cols; ++x, s += 3)
                d[x] = std::int16_t((934 * s[0] + 4809 * s[1] + 2449 * s[2] + 512) >> 10);
        }
    });
}

} // namespace orv::pyramid
