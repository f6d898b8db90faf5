// The growing preview of a montage being made: after each row of blocks, the preview rows that
// row reaches are drawn from montage slot 100, nearest cell per axis, so the preview fills in
// step with the montage whichever method makes it.
#pragma once

#include "base/numbers.h"
#include "engine/pixel_arrays.h"

#include <utility>

namespace orv {

class PreviewRows {
public:
    PreviewRows(PixelArrays& mp, bool on) : mp_(mp) {
        const int MW = mp.montage.width(), MH = mp.montage.height();
        on_ = on && !mp.preview.bytes.empty() && MW > 1 && MH > 1;
        if (on_) {
            sx_ = float(mp.preview.width() - 1) / float(MW - 1);
            sy_ = float(mp.preview.height() - 1) / float(MH - 1);
        }
    }
    bool active() const { return on_; }

    // Draws the preview rows of the block row at y and returns the first and last row drawn
    // (first > last when none). A preview row may reach a montage row above this block row; with
    // `aheadUnmade` that row is not made yet and the preview row is drawn black.
    std::pair<int, int> draw(int y, int increment, bool aheadUnmade) {
        if (!on_) return {0, -1};
        const int PW = mp_.preview.width(), PH = mp_.preview.height();
        int first = 0, last = -1;
        const int from = roundToInt32(double(float(y) * sy_));
        const int to = roundToInt32(double(float(y + increment) * sy_ - 1.0f));
        for (int py = from; py <= to; ++py) {
            if (py == lastRow_ || py > PH - 1 || py < 0) continue;
            std::uint8_t* row = mp_.preview.bytes.data() + 3 * std::size_t(py) * PW;
            const int my = roundToInt32(double(float(py) / sy_));
            const bool made = !aheadUnmade || my <= y + increment - 1;
            for (int px = 0; px < PW; ++px) {
                const int mx = roundToInt32(double(float(px) / sx_));
                for (int c = 0; c < 3; ++c) row[3 * px + c] = made ? std::uint8_t(mp_.point(c, mx, my, 100)) : 0;
            }
            lastRow_ = py;
            if (last < first) first = py;
            last = py;
        }
        return {first, last};
    }

private:
    PixelArrays& mp_;
    bool on_ = false;
    float sx_ = 0, sy_ = 0;
    int lastRow_ = -999; // the last preview row drawn
};

} // namespace orv
