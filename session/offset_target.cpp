// The offset target's geometry and the status text.
#include "session/offset_target.h"

#include "session/montage_rules.h"

#include "input/picture_file.h"
#include "input/picture_orientation.h"
#include "input/series_naming.h"
#include "output/picture_metadata.h"
#include "settings/project_file.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace orv {

OffsetTarget OffsetTarget::initial(double twipsPerPixelX, double twipsPerPixelY) {
    const double tx = twipsPerPixelX > 0 ? twipsPerPixelX : 15;
    const double ty = twipsPerPixelY > 0 ? twipsPerPixelY : 15;
    OffsetTarget t;
    t.outer = MarkerBox{0, 0, kOuterMarkerTwips / tx, kOuterMarkerTwips / ty};
    t.inner = MarkerBox{kInnerMarkerOffsetTwips / tx, kInnerMarkerOffsetTwips / ty, kInnerMarkerTwips / tx,
                        kInnerMarkerTwips / ty};
    return t;
}

ImageOffset uprightTarget(ImageOffset stored, int orientation, int storedWidth, int storedHeight) {
    int c = 0, r = 0;
    uprightPixelOf(validOrientation(orientation), stored.x, stored.y, storedWidth, storedHeight, c, r);
    auto within16 = [](int v) { return std::int16_t(std::clamp(v, int(INT16_MIN), int(INT16_MAX))); };
    return ImageOffset{within16(c), within16(r)};
}

ImageOffset OffsetTarget::centre() const { return markerCentre(outer.left, outer.top, outer.width, outer.height); }

bool OffsetTarget::pressStartsDrag(double x, double y) const {
    return std::abs(x - inner.left) < outer.width && std::abs(y - inner.top) < outer.height;
}

void OffsetTarget::moveBy(double dx, double dy) {
    // The centre stays within the 16-bit range the offsets table holds: zoomed far out, a drag
    // across the screen moves the target tens of thousands of picture pixels.
    auto within16 = [](double centre, double d) {
        return std::clamp(centre + d, double(INT16_MIN), double(INT16_MAX)) - centre;
    };
    dx = within16(outer.left + outer.width / 2, dx);
    dy = within16(outer.top + outer.height / 2, dy);
    outer.left += dx;
    outer.top += dy;
    inner.left += dx;
    inner.top += dy;
}

void OffsetTarget::centreOn(double x, double y) {
    for (MarkerBox* m : {&outer, &inner}) {
        m->left = x - m->width / 2;
        m->top = y - m->height / 2;
    }
}

OffsetTarget OffsetTarget::within(int width, int height) const {
    if (width <= 0 || height <= 0) return *this;
    OffsetTarget t = *this;
    const double x = outer.left + outer.width / 2, y = outer.top + outer.height / 2;
    t.moveBy(std::clamp(x, 0.0, double(width - 1)) - x, std::clamp(y, 0.0, double(height - 1)) - y);
    return t;
}

void OffsetTarget::dragBy(double dx, double dy, int width, int height) {
    *this = within(width, height);
    moveBy(dx, dy);
    *this = within(width, height);
}

std::string offsetStatusText(const std::vector<std::pair<int, ImageOffset>>& visible) {
    std::string t = " ";
    for (const auto& [n, c] : visible)
        t += "    Image " + std::to_string(n) + " = " + std::to_string(c.x) + " , " + std::to_string(c.y);
    return t;
}

void uprightProjectTargets(const ProjectSettings& s, OffsetTable& targets, const std::string& programFolder) {
    if (s.targetsUpright) return;
    // The pictures are only looked at here: a name or a picture that cannot be read leaves the
    // centres as stored, and the series' reading says what is wrong with it.
    try {
        const std::string first = completeSeriesName(s.firstFileName, programFolder);
        const int orientation = readPictureOrientation(first);
        if (orientation == 1) return;
        const std::optional<SeriesName> series = parseSeriesName(first);
        int firstWidth = 0, firstHeight = 0;
        if (readPictureSize(first, firstWidth, firstHeight) != DecodeStatus::Ok) return;
        OffsetTable upright = targets;
        for (int i = 1; i <= kMaxPictures; ++i) {
            if (!s.targets[std::size_t(i)]) continue;
            // Each picture's own stored sides; the first's where it cannot be read.
            int w = firstWidth, h = firstHeight;
            if (series && (readPictureSize(series->fileName(i), w, h) != DecodeStatus::Ok)) {
                w = firstWidth;
                h = firstHeight;
            }
            upright[std::size_t(i)] = uprightTarget(targets[std::size_t(i)], orientation, w, h);
        }
        targets = upright;
    } catch (...) {
    }
}


} // namespace orv
