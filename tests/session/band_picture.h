// The session tests' series: 60 x 40 pictures of noise, strong in one of three vertical bands and
// faint elsewhere, so each band of a montage has one right picture.
#pragma once

#include <QImage>

namespace orv::testing {

// `colour` false gives grey noise, true a colour in which every channel varies.
inline QImage bandPicture(int sharp, unsigned seed, bool colour = false) {
    QImage img(60, 40, QImage::Format_RGB32);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int amp = x / 20 + 1 == sharp ? 120 : 8;
            const int v = 128 + int(seed >> 24) % (2 * amp) - amp;
            img.setPixel(x, y, colour ? qRgb(v, v / 2, 255 - v) : qRgb(v, v, v));
        }
    return img;
}

} // namespace orv::testing
