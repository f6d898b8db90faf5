// The smoothing pass. Blocks are visited in strict raster order (bottom row first) and a
// replacement takes effect at once, so every block is judged against final neighbours.
#include "smoothing/smoothing_pass.h"

#include "base/leading_number.h"
#include "base/numbers.h"
#include "engine/properties_text.h"
#include "smoothing/colour_distance.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace orv {

std::optional<Prompt> smoothingRefusal(int increment, const SmoothingSettings& settings) {
    if (increment < 1)
        return Prompt{PromptIcon::Exclamation, PromptButtons::Ok, kSmoothIncrementText,
                      kSmoothSettingsTitle};
    if (!(settings.focusFactor > 0.0f))
        return Prompt{PromptIcon::Exclamation, PromptButtons::Ok, kSmoothFocusFactorText,
                      kSmoothSettingsTitle};
    return std::nullopt;
}

SmootherBlock findSmootherBlock(const PixelArrays& mp, const BlockSearchContext& ctx, int x, int y,
                                int excluded, int slot) {
    SmootherBlock r;
    r.picture = excluded;
    const int inc = ctx.increment;
    const bool left = x > 0, below = y > 0;

    std::array<int, 8> d{};
    std::array<Rgb, 8> L{}, B{};
    float sumCur = 0;
    int count = 0;
    for (int i = 0; i < 8; ++i) {
        d[std::size_t(i)] = edgeSample(i + 1, inc);
        const int di = d[std::size_t(i)];
        if (left) {
            L[std::size_t(i)] = colourAt(mp, x - 1, y + di, slot);
            addDistance(sumCur, L[std::size_t(i)], colourAt(mp, x, y + di, slot));
            ++count;
        }
        if (below) {
            B[std::size_t(i)] = colourAt(mp, x + di, y - 1, slot);
            addDistance(sumCur, B[std::size_t(i)], colourAt(mp, x + di, y, slot));
            ++count;
        }
    }
    if (count == 0) return r;
    r.count = count;
    r.sCur = sumCur / float(count);
    float best = sumCur;

    for (int n = 1; n <= mp.stack.count; ++n) {
        if (n == excluded || isIgnored(ctx.ignored, n)) continue;
        const ImageOffset t =
            ctx.offsets && n <= kMaxPictures ? (*ctx.offsets)[std::size_t(n)] : ImageOffset{};
        const int xs = x + t.x - ctx.shiftX;
        const int ys = y + ctx.dY - t.y + ctx.shiftY;
        if (!(xs > 0 && ys > 0)) continue;
        float sum = 0;
        for (int i = 0; i < 8; ++i) {
            const int di = d[std::size_t(i)];
            if (left) addDistance(sum, L[std::size_t(i)], colourAt(mp, xs, ys + di, n));
            if (below) addDistance(sum, B[std::size_t(i)], colourAt(mp, xs + di, ys, n));
        }
        if (sum < best) {
            best = sum;
            r.picture = n;
            r.xs = xs;
            r.ys = ys;
        }
    }
    r.sBest = best / float(count);
    return r;
}

long long mapIndex(float W, float H, int increment, int x, int y) {
    const float inc = float(increment);
    const long long columns = (long long)((inc + W - 1.0f) / inc);
    const long long rows = (long long)((inc + H - 1.0f) / inc);
    return (rows - 1 - y / increment) * (columns + 2) + x / increment;
}

namespace {

// The hourglass for the length of the pass, whatever way it ends.
class BusyPointer {
public:
    explicit BusyPointer(const std::function<void(bool)>& hook) : hook_(hook) {
        if (hook_) hook_(true);
    }
    ~BusyPointer() { release(); }
    void release() {
        if (hook_ && on_) hook_(false);
        on_ = false;
    }

private:
    const std::function<void(bool)>& hook_;
    bool on_ = true;
};

// "Smoothing =" is followed by "yes" once a pass has run, whether or not a block changed.
std::string markSmoothed(std::string text) {
    const std::string key = "  Smoothing =";
    const auto s = propertiesLine(text, key);
    if (s != std::string::npos) text.replace(s + key.size(), 3, "yes");
    return text;
}

// Copies the candidate's block into the montage slot wherever both lie inside their arrays; gives
// the columns and rows copied.
std::pair<int, int> copyBlock(PixelArrays& mp, int slot, int x, int y, int picture, int xs, int ys, int inc) {
    std::vector<std::uint8_t>& montage = mp.montage.slot(slot);
    const std::vector<std::uint8_t>& src = mp.stack.pictures[std::size_t(picture - 1)];
    const int MW = mp.montage.width(), SW = mp.stack.width();
    const int columns = std::min({inc, mp.montage.lastColumn - x + 1, mp.stack.lastColumn - xs + 1});
    if (columns <= 0) return {0, 0};
    int rows = 0;
    for (int j = 0; j < inc; ++j) {
        if (y + j > mp.montage.lastRow || ys + j > mp.stack.lastRow) break;
        std::memcpy(&montage[3 * (std::size_t(y + j) * MW + x)],
                    &src[3 * (std::size_t(ys + j) * SW + xs)], 3 * std::size_t(columns));
        ++rows;
    }
    return {columns, rows};
}

// The map of another grid than the pass's: which picture each montage pixel was taken from by the
// pass, so that every map cell can be given the picture most of its pixels come from at the end.
class ForeignGridMap {
public:
    ForeignGridMap(int width, int height, int increment, float W, float H)
        : width_(std::max(0, width)), height_(std::max(0, height)), inc_(increment), W_(W), H_(H) {}

    void replaced(int x, int y, int columns, int rows, char digit) {
        if (columns <= 0 || rows <= 0) return;
        if (owner_.empty()) owner_.assign(std::size_t(width_) * std::size_t(height_), '\0');
        for (int j = 0; j < rows; ++j)
            if (y + j >= 0 && y + j < height_)
                for (int i = 0; i < columns; ++i)
                    if (x + i >= 0 && x + i < width_)
                        owner_[std::size_t(y + j) * std::size_t(width_) + std::size_t(x + i)] = digit;
    }

    // Rewrites the cells the pass touched; a map not laid out for this grid is left as it is.
    void applyTo(std::string& map) const {
        if (owner_.empty() || inc_ < 1) return;
        const float inc = float(inc_);
        const long long columns = (long long)((inc + W_ - 1.0f) / inc);
        const long long rows = (long long)((inc + H_ - 1.0f) / inc);
        if (columns <= 0 || rows <= 0 || (long long)map.size() != rows * (columns + 2)) return;
        for (long long cy = 0; cy < rows; ++cy)
            for (long long cx = 0; cx < columns; ++cx) {
                const int x0 = int(cx) * inc_, y0 = int(cy) * inc_;
                const std::size_t at = std::size_t(mapIndex(W_, H_, inc_, x0, y0));
                if (map[at] == '\r' || map[at] == '\n') return;
                std::array<long long, 256> count{};
                bool touched = false;
                for (int y = y0; y < std::min(y0 + inc_, height_); ++y)
                    for (int x = x0; x < std::min(x0 + inc_, width_); ++x) {
                        const char o = owner_[std::size_t(y) * std::size_t(width_) + std::size_t(x)];
                        touched = touched || o != '\0';
                        ++count[std::uint8_t(o != '\0' ? o : map[at])];
                    }
                if (!touched) continue;
                // The cell keeps its picture unless another one holds more of its pixels.
                char best = map[at];
                for (int c = 0; c < 256; ++c)
                    if (count[std::size_t(c)] > count[std::uint8_t(best)]) best = char(c);
                map[at] = best;
            }
    }

private:
    int width_, height_, inc_;
    float W_, H_;
    std::vector<char> owner_;
};

} // namespace

SmoothResult smoothMontage(const SmoothInput& in) {
    SmoothResult result;
    result.report = kReportStart;
    MessageList* messages = in.messages;

    if (!in.montageVisible) {
        record(messages, PromptIcon::Information, kSmoothHiddenText, kSmoothHiddenTitle);
        result.outcome = SmoothOutcome::Hidden;
        return result;
    }
    const int inc = roundToInt16(leadingValue(in.incrementText));
    if (const auto refusal = smoothingRefusal(inc, in.settings)) {
        if (messages) messages->push_back(*refusal);
        result.outcome = SmoothOutcome::Refused;
        return result;
    }
    int slot = int(MontageSlot::Main);
    if (in.comparison) {
        if (*in.comparison < 0 || *in.comparison > 4) throw RuntimeError(9);
        slot = comparisonSlot(*in.comparison);
    }
    PixelArrays& mp = *in.arrays;
    if (mp.montage.slot(slot).size() !=
        std::size_t(mp.montage.width()) * std::size_t(std::max(0, mp.montage.height())) * 3)
        throw RuntimeError(9);

    BusyPointer busy(in.hooks.busy);
    FocusMeasure& measure = *in.measure;
    measure.allocate(inc);

    // The offsets' extents and reference are recomputed for the chosen display area, as a montage
    // is made, without resizing the montage. Without offsets every picture sits where it is.
    MontageGeometry& g = *in.geometry;
    FocusContext focus = *in.focus;
    focus.messages = messages;
    int shiftX = 0, shiftY = 0, dY = 0;
    if (in.placementAsMade) {
        if (!focus.useOffsets) focus.offsets = OffsetTable{};
        shiftX = g.shiftX;
        shiftY = g.shiftY;
        dY = g.dY;
    } else if (focus.useOffsets) {
        AreaInput area{true, in.area, mp.stack.count, focus.ignored, 2, 0, 0, inc};
        applyDisplayArea(g, focus.offsets, area);
        focus.smallestX = g.smallestX;
        focus.smallestY = g.smallestY;
        shiftX = g.shiftX;
        shiftY = g.shiftY;
        dY = g.dY;
    } else {
        focus.offsets = OffsetTable{};
        if (in.placedByArea) {
            shiftX = g.shiftX;
            shiftY = g.shiftY;
            dY = g.dY;
        }
    }
    BlockSearchContext search{inc, &focus.offsets, shiftX, shiftY, dY, focus.ignored};

    const SmoothingSettings& s = in.settings;
    const float edgeFactor = s.edgeFactor, focusFactor = s.focusFactor;
    const float diffFactor = float(s.diffFactor);
    const int lastX = roundToInt32(double(g.W) - 1);
    const int lastY = roundToInt32(double(g.H) - 1);
    const bool foreignGrid = in.mapIncrement > 0 && in.mapIncrement != inc;
    ForeignGridMap foreignMap(mp.montage.width(), mp.montage.height(), in.mapIncrement, g.W, g.H);

    for (int y = 0; y <= lastY; y += inc) {
        std::string rowList;
        for (int x = 0; x <= lastX; x += inc) {
            if (x == 0 && y == 0) continue;
            std::int16_t ox = 0, oy = 0;
            // The detail test: only low-detail blocks are considered. diffFactor is on the scale of
            // method 0's sums of squares, so the block is measured that way whatever the ticked
            // method (under the others nearly every block would count as low-detail); the focus
            // comparison with the candidate keeps the ticked method.
            FocusContext detail = focus;
            detail.method = FocusMethod::ColorSpace3D;
            const float fDetail =
                measure.gotFocusMeasure(mp, detail, x, y, inc, shiftX, shiftY, ox, oy, 0, slot);
            if (!(fDetail / 2.0f / float(inc) < diffFactor)) continue;
            const float fCur = focus.method == FocusMethod::ColorSpace3D
                                   ? fDetail
                                   : measure.gotFocusMeasure(mp, focus, x, y, inc, shiftX, shiftY,
                                                             ox, oy, 0, slot);

            const SmootherBlock b = findSmootherBlock(mp, search, x, y, 999, slot);
            if (b.picture == 999) continue;
            std::int16_t cx = 0, cy = 0;
            const float fCand = measure.gotFocusMeasure(mp, focus, x, add16(y, dY), inc, shiftX,
                                                        shiftY, cx, cy, b.picture, b.picture);

            const float sCur = b.sCur, sBest = b.sBest;
            if (!(std::fabs(sCur - sBest) > edgeFactor * sCur)) continue;
            if (!(sCur * sBest != 0.0f)) continue;
            const float focusChange = std::fabs((fCur - fCand) / fCur);
            const float edgeChange = std::fabs((sCur - sBest) / sCur * edgeFactor / focusFactor);
            if (!(focusChange > edgeChange)) continue;

            if (!rowList.empty()) rowList += " ; ";
            rowList += "(" + std::to_string(x) + "," + std::to_string(y) + ")";
            const auto [columns, rows] = copyBlock(mp, slot, x, y, b.picture, b.xs, b.ys, inc);
            if (in.hooks.redrawBlock) {
                BlockRedraw r{slot, x, y, inc, b.picture, b.xs, b.ys, 0, 0, columns, rows};
                r.montageTop = roundToInt32(double(g.H)) - y - inc;
                r.pictureTop = mp.stack.pictureHeight(b.picture) - b.ys - inc;
                in.hooks.redrawBlock(r);
            }
            if (foreignGrid) {
                foreignMap.replaced(x, y, columns, rows, mapCharacter(b.picture));
            } else if (in.map) {
                // A grid other than the one the map was made with can point outside the map or
                // onto a line break; the map is left as it is for such a block.
                const long long at = mapIndex(g.W, g.H, inc, x, y);
                std::string& map = *in.map;
                if (at >= 0 && at < (long long)map.size() && map[std::size_t(at)] != '\r' &&
                    map[std::size_t(at)] != '\n')
                    map[std::size_t(at)] = mapCharacter(b.picture);
            }
            ++result.replaced;
        }
        if (!rowList.empty() && result.report.size() + rowList.size() < kReportLimit)
            result.report += rowList + "\r\n";
        if (in.hooks.afterRow) in.hooks.afterRow();
    }

    if (foreignGrid && in.map) foreignMap.applyTo(*in.map);
    if (in.properties) {
        *in.properties = result.replaced > 0 && in.map
                             ? updatePropertiesAfterSmoothing(*in.properties, *in.map)
                             : markSmoothed(*in.properties);
        if (in.hooks.propertiesChanged) in.hooks.propertiesChanged(*in.properties);
    }

    busy.release();
    if (in.showMessages) {
        // A pass whose changes all fell beyond the report's limit still changed the montage.
        if (result.replaced > 0)
            record(messages, PromptIcon::Information, result.report, kSmoothReportTitle);
        else
            record(messages, PromptIcon::Exclamation, kAlreadySmoothText, kAlreadySmoothTitle);
    }
    return result;
}

} // namespace orv
