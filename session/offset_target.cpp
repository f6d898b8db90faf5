// The offset target's geometry and the status text.
#include "session/offset_target.h"

#include "session/montage_rules.h"

#include "input/picture_orientation.h"

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

std::string offsetStatusText(const std::vector<std::pair<int, ImageOffset>>& visible) {
    std::string t = " ";
    for (const auto& [n, c] : visible)
        t += "    Image " + std::to_string(n) + " = " + std::to_string(c.x) + " , " + std::to_string(c.y);
    return t;
}

} // namespace orv
