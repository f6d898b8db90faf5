// What the Vantler control's tests share: the error number an action raises, and a red pixel.
#pragma once

#include "control_error.h"

#include <QColor>
#include <QImage>

#include <functional>

namespace testvantler {

constexpr uint kRed = 0x0000FF;  // colour values are 0x00BBGGRR

// The number of the control error `f` raises; 0 when it raises none.
inline int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const vantler::VantlerError& e) {
        return e.number();
    }
    return 0;
}

// A w x h picture of one colour.
inline QImage filled(int w, int h, const QColor& colour) {
    QImage picture(w, h, QImage::Format_RGB32);
    picture.fill(colour);
    return picture;
}

inline bool isRed(const QColor& c) { return c.red() > 170 && c.green() < 100 && c.blue() < 100; }

}  // namespace testvantler
