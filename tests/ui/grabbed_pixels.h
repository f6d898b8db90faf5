// Reading a grabbed widget at any screen scale: the grab holds devicePixelRatio screen pixels for
// each pixel of the widget (one and a half at 150 %), so a widget pixel is read from the screen
// pixels that show it.
#pragma once

#include <QImage>
#include <QRgb>

#include <algorithm>
#include <cmath>
#include <vector>

namespace orv::testing {

// The screen pixels of `grabbed` whose middle lies in widget pixel (x, y): one at 100 %, one or two
// across and down at 150 %, two at 200 %.
inline std::vector<QRgb> screenPixelsOf(const QImage& grabbed, int x, int y) {
    const double dpr = grabbed.devicePixelRatio();
    auto first = [dpr](int v) { return int(std::ceil(v * dpr - 0.5)); };
    std::vector<QRgb> pixels;
    for (int sy = first(y); sy < first(y + 1); ++sy)
        for (int sx = first(x); sx < first(x + 1); ++sx)
            if (grabbed.valid(sx, sy)) pixels.push_back(grabbed.pixel(sx, sy) & 0xffffff);
    return pixels;
}

// True when some screen pixel of widget pixel (x, y) passes `test` (a line thinner than a widget
// pixel at this scale shows in one of them).
template <typename Test> bool someScreenPixel(const QImage& grabbed, int x, int y, Test test) {
    const std::vector<QRgb> pixels = screenPixelsOf(grabbed, x, y);
    return std::any_of(pixels.begin(), pixels.end(), test);
}

// True when every screen pixel of widget pixel (x, y) shows the colour `rgb` (alpha ignored).
inline bool everyScreenPixelIs(const QImage& grabbed, int x, int y, QRgb rgb) {
    const std::vector<QRgb> pixels = screenPixelsOf(grabbed, x, y);
    return !pixels.empty() &&
           std::all_of(pixels.begin(), pixels.end(), [rgb](QRgb p) { return p == (rgb & 0xffffff); });
}

} // namespace orv::testing
