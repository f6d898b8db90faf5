// The diagonal focus measure. Only 2 x (increment - 1) pixels are read per block: the main
// diagonal from the lower-left corner and the anti-diagonal from the upper-left corner.
#include "engine/focus_measure.h"

#include "base/error_sites.h"

#include "base/numbers.h"

#include <cstdlib>

namespace orv {

void FocusMeasure::allocate(int increment) {
    const std::size_t n = std::size_t(increment < 0 ? 0 : increment) + 1;
    red_.assign(n, 0);
    green_.assign(n, 0);
    blue_.assign(n, 0);
}

namespace {

inline float accumulate(float score, FocusMethod method, int dR, int dG, int dB) {
    switch (method) {
    case FocusMethod::ColorSpace3D:
        // Squares and sum in double, one rounding to single precision per step.
        return float(double(score) + (double(dR) * dR + double(dG) * dG + double(dB) * dB));
    case FocusMethod::LinearColor: return score + float(dR + dG + dB);
    case FocusMethod::Red: return score + float(dR);
    case FocusMethod::Green: return score + float(dG);
    case FocusMethod::Blue: return score + float(dB);
    default: return score;
    }
}

void report(MessageList* messages, const RuntimeError& e, int line) {
    if (e.number() == 480)
        record(messages, PromptIcon::Critical, "I appear to be having a memory problem.",
               "Try closing some other applications");
    else
        record(messages, PromptIcon::Critical, genericErrorText(e, line, kFocusMeasureRoutine),
               kGenericErrorTitle);
}

} // namespace

float FocusMeasure::gotFocusMeasure(const PixelArrays& mp, const FocusContext& ctx, int x, int y,
                                    int increment, int shiftX, int shiftY, std::int16_t& outX,
                                    std::int16_t& outY, int k, int source) {
    float score = kRefusedScore;
    int line = kLineFocusMeasure;
    try {
        if (isIgnored(ctx.ignored, k)) return score;
        if (k != 0) {
            const ImageOffset t = (k >= 1 && k <= 30) ? ctx.offsets[std::size_t(k)] : ImageOffset{};
            outX = toInt16(x + t.x - shiftX);
            outY = toInt16(y - t.y + shiftY);
            if (outX < 0 || outY < 0) return score;
            if (ctx.useOffsets) {
                if ((outX + increment >= mp.stack.pictureWidth(k) && t.x != ctx.smallestX) ||
                    (outY + increment >= mp.stack.pictureHeight(k) && t.y != ctx.smallestY))
                    return score;
            }
        } else {
            outX = toInt16(x);
            outY = toInt16(y);
        }
        score = kAcceptedStart;
        if (std::size_t(increment) + 1 > red_.size()) allocate(increment);

        const int W1 = mp.stack.pictureWidth(1);
        const int H1 = mp.stack.pictureHeight(1);
        const FocusMethod method = ctx.method;
        const int ox = outX, oy = outY;

        // A source picture is read straight from its cells: every sample lies below picture 1's
        // own size, which the rounded stack always covers. Montage slots may be smaller and go
        // through the checked readers.
        const bool direct = source >= 1 && source <= mp.stack.count && W1 <= mp.stack.width() &&
                            H1 <= mp.stack.height();
        const std::uint8_t* cells = direct ? mp.stack.pictures[std::size_t(source - 1)].data() : nullptr;
        const std::size_t rowBytes = std::size_t(mp.stack.width()) * 3;
        auto sample = [&](int j, int px, int py) {
            if (cells) {
                const std::uint8_t* p = cells + std::size_t(py) * rowBytes + std::size_t(px) * 3;
                blue_[std::size_t(j)] = p[0];
                green_[std::size_t(j)] = p[1];
                red_[std::size_t(j)] = p[2];
                return;
            }
            red_[std::size_t(j)] = mp.pointRed(px, py, source);
            green_[std::size_t(j)] = mp.pointGreen(px, py, source);
            blue_[std::size_t(j)] = mp.pointBlue(px, py, source);
        };
        // A difference counts only between two samples taken on the same diagonal. The walk is
        // forced inline: out of line (as GCC chose once the edge test came first) its two calls
        // keep the score and the line in memory and take a third longer for the whole measure.
        auto walk = [&](bool anti) __attribute__((always_inline)) {
            bool previous = false;
            for (int j = 1; j <= increment - 1; ++j) {
                const int px = ox + j - 1;
                const int py = anti ? oy + increment - j : oy + j - 1;
                // A sample past picture 1's edge is skipped before it needs a 16-bit coordinate, so
                // a block at the edge of a picture 32764 pixels wide never overflows.
                if (px >= W1 || py >= H1) {
                    previous = false;
                    continue;
                }
                if (px > INT16_MAX || py > INT16_MAX) throw RuntimeError(6);
                sample(j, px, py);
                if (j > 1 && previous) {
                    line = kLineFocusSample;
                    const std::size_t a = std::size_t(j), b = a - 1;
                    score = accumulate(score, method, std::abs(red_[a] - red_[b]),
                                       std::abs(green_[a] - green_[b]),
                                       std::abs(blue_[a] - blue_[b]));
                    line = anti ? kLineFocusAntiAliased : kLineFocusMeasure;
                }
                previous = true;
            }
        };
        walk(false);
        line = kLineFocusAntiAliased;
        walk(true);
    } catch (...) {
        report(ctx.messages, currentError(), line);
    }
    return score;
}

} // namespace orv
