// Affine map arithmetic.
#include "align/affine.h"

#include <cmath>
#include <stdexcept>

namespace orv::align {

Affine compose(const Affine& b, const Affine& a) {
    const auto& p = b.m;
    const auto& q = a.m;
    return Affine{{p[0] * q[0] + p[1] * q[3], p[0] * q[1] + p[1] * q[4], p[0] * q[2] + p[1] * q[5] + p[2],
                   p[3] * q[0] + p[4] * q[3], p[3] * q[1] + p[4] * q[4], p[3] * q[2] + p[4] * q[5] + p[5]}};
}

Affine inverse(const Affine& a) {
    const double d = a.determinant();
    if (!std::isfinite(d) || std::fabs(d) < 1e-12) throw std::domain_error("singular affine map");
    const auto& m = a.m;
    const double i0 = m[4] / d, i1 = -m[1] / d, i3 = -m[3] / d, i4 = m[0] / d;
    return Affine{{i0, i1, -(i0 * m[2] + i1 * m[5]), i3, i4, -(i3 * m[2] + i4 * m[5])}};
}

Affine flipRows(const Affine& a, int fromHeight, int toHeight) {
    const Affine from{{1, 0, 0, 0, -1, double(fromHeight - 1)}};
    const Affine to{{1, 0, 0, 0, -1, double(toHeight - 1)}};
    return compose(to, compose(a, from));
}

Affine nearestSimilarity(const Affine& a, double cx, double cy) {
    const auto& m = a.m;
    const double s = (m[0] + m[4]) / 2, t = (m[3] - m[1]) / 2;
    const double x = a.x(cx, cy), y = a.y(cx, cy);
    return Affine{{s, -t, x - s * cx + t * cy, t, s, y - t * cx - s * cy}};
}

double similarScale(const Affine& a) { return std::hypot((a.m[0] + a.m[4]) / 2, (a.m[3] - a.m[1]) / 2); }

Affine resizeMap(double sx, double sy) { return Affine{{sx, 0, 0.5 * sx - 0.5, 0, sy, 0.5 * sy - 0.5}}; }

Similarity describe(const Affine& t, int pw, int ph, int rw, int rh) {
    const auto& m = t.m;
    // The nearest similarity [a -b; b a] to the linear part in the least-squares sense.
    const double a = (m[0] + m[4]) / 2, b = (m[3] - m[1]) / 2;
    Similarity s;
    s.scale = std::hypot(a, b);
    s.rotation = std::atan2(b, a) * 180.0 / std::acos(-1.0);
    const double cx = (pw - 1) / 2.0, cy = (ph - 1) / 2.0;
    s.shiftX = t.x(cx, cy) - (rw - 1) / 2.0;
    s.shiftY = t.y(cx, cy) - (rh - 1) / 2.0;
    return s;
}

Affine fromSimilarity(const Similarity& s, int width, int height) {
    const double rad = s.rotation * std::acos(-1.0) / 180.0;
    const double a = s.scale * std::cos(rad), b = s.scale * std::sin(rad);
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    // c + [a -b; b a] (q - c) + shift
    return Affine{{a, -b, cx - a * cx + b * cy + s.shiftX, b, a, cy - b * cx - a * cy + s.shiftY}};
}

} // namespace orv::align
