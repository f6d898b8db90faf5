// The stroke's weights are gathered over its dabs first (the strongest per pixel), then every
// reached pixel is blended once from the montage as it was before the stroke, as the 8-bit stroke
// ends up painted.
#include "retouch/deep_retouch.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace orv::retouch {

Rect paintDeepStroke(DeepPicture& montage, const DeepPlacement& source, const Stroke& stroke,
                     const std::array<double, 3>& gain) {
    const DeepPicture* s = source.picture;
    if (!s || s->empty() || montage.empty() || stroke.path.empty()) return {};
    Brush brush = stroke.brush;
    brush.radius = std::clamp(brush.radius, 1, kMaxRadius);
    const double radius = brush.radius, radius2 = radius * radius;
    const double inner = radius * std::clamp(brush.hardness, 0, 100) / 100.0, inner2 = inner * inner;
    const double opacity = std::clamp(brush.opacity, 1, 100) / 100.0;
    // The dabs are walked twice, once for the area they reach and once for their weights, and never
    // listed: a long stroke with a small brush lays millions of them.
    const auto each = [&](const std::function<void(double, double)>& lay) {
        forEachDab(stroke.path, brush.radius, montage.width, montage.height, lay);
    };

    Rect area;
    each([&](double cx, double cy) {
        const Rect r{std::max(0, int(std::floor(cx - radius))), std::max(0, int(std::floor(cy - radius))),
                     std::min(montage.width, int(std::ceil(cx + radius)) + 1),
                     std::min(montage.height, int(std::ceil(cy + radius)) + 1)};
        if (r.empty()) return;
        area = area.empty() ? r
                            : Rect{std::min(area.x0, r.x0), std::min(area.y0, r.y0), std::max(area.x1, r.x1),
                                   std::max(area.y1, r.y1)};
    });
    if (area.empty()) return {};
    const int aw = area.x1 - area.x0, ah = area.y1 - area.y0;
    std::vector<float> weight(std::size_t(aw) * std::size_t(ah), 0.0f);
    each([&](double cx, double cy) {
        const int x0 = std::max(area.x0, int(std::floor(cx - radius))), x1 = std::min(area.x1, int(std::ceil(cx + radius)) + 1);
        const int y0 = std::max(area.y0, int(std::floor(cy - radius))), y1 = std::min(area.y1, int(std::ceil(cy + radius)) + 1);
        for (int y = y0; y < y1; ++y) {
            const double dy2 = (y - cy) * (y - cy);
            if (dy2 > radius2) continue;
            float* row = weight.data() + std::size_t(y - area.y0) * std::size_t(aw);
            for (int x = x0; x < x1; ++x) {
                const double d2 = (x - cx) * (x - cx) + dy2;
                if (d2 > radius2) continue;
                const float w = d2 <= inner2 ? 1.0f : float(brushWeight(brush, std::sqrt(d2)));
                row[x - area.x0] = std::max(row[x - area.x0], w);
            }
        }
    });

    const int mc = montage.channels, sc = s->channels;
    for (int y = area.y0; y < area.y1; ++y) {
        const int sy = y + source.dy;
        if (sy < 0 || sy >= s->height) continue;
        const float* row = weight.data() + std::size_t(y - area.y0) * std::size_t(aw);
        std::uint16_t* out = montage.row(y);
        const std::uint16_t* from = s->row(sy);
        for (int x = area.x0; x < area.x1; ++x) {
            const float w = row[x - area.x0];
            const int sx = x + source.dx;
            if (w <= 0 || sx < 0 || sx >= s->width) continue;
            const double a = opacity * w;
            for (int c = 0; c < mc; ++c) {
                // The gain is blue, green, red; the samples red, green, blue (or grey).
                const double g = brush.match ? gain[mc == 1 ? 1 : std::size_t(2 - c)] : 1.0;
                const double src = std::min(65535.0, from[std::size_t(sx) * std::size_t(sc) + std::size_t(sc == 1 ? 0 : c)] * g);
                std::uint16_t& o = out[std::size_t(x) * std::size_t(mc) + std::size_t(c)];
                o = std::uint16_t(int(o + (src - o) * a + 0.5));
            }
        }
    }
    return area;
}

} // namespace orv::retouch
