// The brush, the dabs along a path, the brightness match and the kept pixels of a stroke.
#include "retouch/retouch.h"

#include <algorithm>
#include <functional>
#include <cmath>
#include <cstring>

namespace orv::retouch {

namespace {

constexpr int kTile = 64;

// The dabs the walk passes over at most one by one outside the reach of the montage; a longer
// way outside is passed over whole spacings at once.
constexpr double kPassedOneByOne = 64;

// Where the walk along a path lays its dabs: every `spacing` from the first point.
class DabWalker {
public:
    explicit DabWalker(int radius) : spacing_(std::max(radius, 1) / 4.0) {}
    // Dabs centred outside `reach` (a rectangle of montage pixels) change nothing and need not be
    // laid: a path running far outside the montage then costs no more than one inside it.
    DabWalker(int radius, const Rect& reach) : DabWalker(radius) { reach_ = reach; }

    // The dabs from the last point to (x, y); the first point gets one of its own.
    template <class F> void to(double x, double y, F&& lay) {
        if (!started_) {
            started_ = true;
            lastX_ = x;
            lastY_ = y;
            lay(x, y);
            sinceDab_ = 0;
            return;
        }
        const double dx = x - lastX_, dy = y - lastY_;
        const double length = std::hypot(dx, dy);
        const double last = length + 1e-9;
        double along = spacing_ - sinceDab_;
        // The stretch of the segment within reach, as distances along it.
        double enter = 0, leave = last;
        if (!reach_.empty() && !within(dx, dy, length, enter, leave)) enter = leave = last;
        // Whole spacings up to `to`, when they are many: no dab is laid before `to`.
        const auto passOver = [&](double to) {
            const double steps = std::floor((to - along) / spacing_);
            if (steps > kPassedOneByOne) along += steps * spacing_;
        };
        passOver(enter);
        while (along <= last) {
            if (along > leave) {
                passOver(last);
                if (along > last) break;
            }
            const double t = length > 0 ? along / length : 1.0;
            lay(lastX_ + dx * t, lastY_ + dy * t);
            along += spacing_;
        }
        sinceDab_ = length - (along - spacing_);
        if (sinceDab_ < 1e-9) sinceDab_ = 0;
        lastX_ = x;
        lastY_ = y;
    }
    // The last point gets a dab when the last one laid is not on it.
    template <class F> void end(F&& lay) {
        if (started_ && sinceDab_ > 1e-9) lay(lastX_, lastY_);
        sinceDab_ = 0;
    }
    double sinceDab() const { return sinceDab_; }
    void restore(double sinceDab, double x, double y) {
        started_ = true;
        sinceDab_ = sinceDab;
        lastX_ = x;
        lastY_ = y;
    }

private:
    // The part of the segment from the last point along (dx, dy) within reach (Liang-Barsky);
    // false when none is.
    bool within(double dx, double dy, double length, double& enter, double& leave) const {
        double t0 = 0, t1 = 1;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {lastX_ - reach_.x0, reach_.x1 - 1 - lastX_, lastY_ - reach_.y0, reach_.y1 - 1 - lastY_};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0) {
                if (q[i] < 0) return false;
                continue;
            }
            const double r = q[i] / p[i];
            if (p[i] < 0) t0 = std::max(t0, r);
            else t1 = std::min(t1, r);
        }
        if (t0 > t1) return false;
        enter = t0 * length;
        leave = t1 * length;
        return true;
    }

    double spacing_;
    Rect reach_;
    bool started_ = false;
    double lastX_ = 0, lastY_ = 0;
    double sinceDab_ = 0;
};

Rect unite(const Rect& a, const Rect& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return Rect{std::min(a.x0, b.x0), std::min(a.y0, b.y0), std::max(a.x1, b.x1), std::max(a.y1, b.y1)};
}

// The pixels within `reach` of (cx, cy), cut at the montage.
Rect reachOf(double cx, double cy, double reach, int width, int height) {
    Rect r{int(std::floor(cx - reach)), int(std::floor(cy - reach)), int(std::ceil(cx + reach)) + 1,
           int(std::ceil(cy + reach)) + 1};
    r.x0 = std::max(r.x0, 0);
    r.y0 = std::max(r.y0, 0);
    r.x1 = std::min(r.x1, width);
    r.y1 = std::min(r.y1, height);
    return r;
}

} // namespace

double brushWeight(const Brush& b, double d) {
    const double r = b.radius;
    if (d > r) return 0;
    const double inner = r * std::clamp(b.hardness, 0, 100) / 100.0;
    if (d <= inner) return 1;
    const double t = (d - inner) / (r - inner);
    return 1 - t * t * (3 - 2 * t);
}

int matchRingWidth(int radius) { return std::max(2, radius / 4); }

namespace {

// The dab centres whose dab, or the ring outside it where brightness is matched, may touch a
// montage of `width` x `height`.
Rect centresInReach(int radius, int width, int height) {
    const int r = std::clamp(radius, 1, kMaxRadius);
    const int margin = r + matchRingWidth(r) + 2;
    return Rect{-margin, -margin, width + margin, height + margin};
}

template <class Walker>
std::vector<std::pair<double, double>> centresAlong(const std::vector<PathPoint>& path, Walker walk) {
    std::vector<std::pair<double, double>> out;
    const auto lay = [&](double x, double y) { out.emplace_back(x, y); };
    for (const PathPoint& p : path) walk.to(p.x, p.y, lay);
    walk.end(lay);
    return out;
}

} // namespace

std::vector<std::pair<double, double>> dabCentres(const std::vector<PathPoint>& path, int radius) {
    return centresAlong(path, DabWalker(radius));
}

std::vector<std::pair<double, double>> dabCentres(const std::vector<PathPoint>& path, int radius, int width,
                                                  int height) {
    return centresAlong(path, DabWalker(radius, centresInReach(radius, width, height)));
}

void forEachDab(const std::vector<PathPoint>& path, int radius, int width, int height,
                const std::function<void(double, double)>& lay) {
    DabWalker walk(radius, centresInReach(radius, width, height));
    for (const PathPoint& p : path) walk.to(p.x, p.y, lay);
    walk.end(lay);
}

// The montage pixels of one tile as they were before the stroke, with the strongest weight any
// dab gave each and whether a dab's radius reached it.
struct StrokeRecord::Tile {
    int x0 = 0, y0 = 0, w = 0, h = 0;
    std::vector<std::uint8_t> before; // w x h, 3 bytes a pixel, top row first
    std::vector<float> weight;        // w x h
    std::vector<std::uint8_t> inside; // w x h: within the radius of a dab
};

StrokeRecord::StrokeRecord(const Raster& montage, const SourcePlacement& source, const Brush& brush)
    : montage_(montage), source_(source), brush_(brush) {
    brush_.radius = std::clamp(brush_.radius, 1, kMaxRadius);
    opacity_ = std::clamp(brush_.opacity, 1, 100) / 100.0;
    tilesX_ = (montage.width + kTile - 1) / kTile;
    tilesY_ = (montage.height + kTile - 1) / kTile;
    tileIndex_.assign(std::size_t(tilesX_) * std::size_t(tilesY_), -1);
}

StrokeRecord::~StrokeRecord() = default;
StrokeRecord::StrokeRecord(StrokeRecord&&) noexcept = default;
StrokeRecord& StrokeRecord::operator=(StrokeRecord&&) noexcept = default;

StrokeRecord::Tile* StrokeRecord::tile(int tx, int ty, bool create) {
    int& index = tileIndex_[std::size_t(ty) * std::size_t(tilesX_) + std::size_t(tx)];
    if (index >= 0) return tiles_[std::size_t(index)].get();
    if (!create) return nullptr;
    auto t = std::make_unique<Tile>();
    t->x0 = tx * kTile;
    t->y0 = ty * kTile;
    t->w = std::min(kTile, montage_.width - t->x0);
    t->h = std::min(kTile, montage_.height - t->y0);
    const std::size_t n = std::size_t(t->w) * std::size_t(t->h);
    t->before.resize(n * 3);
    t->weight.assign(n, 0.0f);
    t->inside.assign(n, 0);
    for (int y = 0; y < t->h; ++y)
        std::memcpy(t->before.data() + std::size_t(y) * std::size_t(t->w) * 3,
                    montage_.row(t->y0 + y) + std::size_t(t->x0) * 3, std::size_t(t->w) * 3);
    // Listed before it is indexed: a list that cannot grow leaves no index to a missing tile.
    tiles_.push_back(std::move(t));
    index = int(tiles_.size()) - 1;
    return tiles_.back().get();
}

void StrokeRecord::dabAt(double cx, double cy, Rect& changed, bool paint) {
    ++dabCount_;
    if (brush_.match) markNear(cx, cy);
    const Rect r = reachOf(cx, cy, brush_.radius, montage_.width, montage_.height);
    if (r.empty()) return;
    const double radius = brush_.radius, radius2 = radius * radius;
    const double inner = radius * std::clamp(brush_.hardness, 0, 100) / 100.0, inner2 = inner * inner;
    for (int ty = r.y0 / kTile; ty <= (r.y1 - 1) / kTile; ++ty) {
        for (int tx = r.x0 / kTile; tx <= (r.x1 - 1) / kTile; ++tx) {
            const int x0 = std::max(r.x0, tx * kTile), x1 = std::min(r.x1, (tx + 1) * kTile);
            const int y0 = std::max(r.y0, ty * kTile), y1 = std::min(r.y1, (ty + 1) * kTile);
            Tile* t = nullptr;
            for (int y = y0; y < y1; ++y) {
                const double ddy = y - cy, ddy2 = ddy * ddy;
                if (ddy2 > radius2) continue;
                std::uint8_t* out = montage_.row(y);
                for (int x = x0; x < x1; ++x) {
                    const double ddx = x - cx, d2 = ddx * ddx + ddy2;
                    if (d2 > radius2) continue;
                    if (!t) t = tile(tx, ty, true);
                    const std::size_t i = std::size_t(y - t->y0) * std::size_t(t->w) + std::size_t(x - t->x0);
                    t->inside[i] = 1;
                    const float w = d2 <= inner2 ? 1.0f : float(brushWeight(brush_, std::sqrt(d2)));
                    if (w <= t->weight[i]) continue;
                    t->weight[i] = w;
                    if (paint) paintPixel(*t, i, x, y, out);
                }
            }
        }
    }
    changed = unite(changed, r);
    bounds_ = unite(bounds_, r);
}

void StrokeRecord::paintPixel(const Tile& t, std::size_t i, int x, int y, std::uint8_t* out) const {
    const std::uint8_t* s = source_.at(x, y);
    if (!s) return;
    const std::uint8_t* before = t.before.data() + i * 3;
    const double a = opacity_ * t.weight[i];
    std::uint8_t* o = out + std::size_t(x) * 3;
    for (int c = 0; c < 3; ++c) {
        const double src = brush_.match ? std::min(255.0, s[c] * gain_[c]) : double(s[c]);
        // Between the two values, so never below 0: half up is rounding to nearest.
        o[c] = std::uint8_t(int(before[c] + (src - before[c]) * a + 0.5));
    }
}

void StrokeRecord::paintRect(const Rect& r) {
    if (r.empty()) return;
    for (int ty = r.y0 / kTile; ty <= (r.y1 - 1) / kTile; ++ty) {
        for (int tx = r.x0 / kTile; tx <= (r.x1 - 1) / kTile; ++tx) {
            const Tile* t = tile(tx, ty, false);
            if (!t) continue;
            const int x0 = std::max(r.x0, t->x0), x1 = std::min(r.x1, t->x0 + t->w);
            const int y0 = std::max(r.y0, t->y0), y1 = std::min(r.y1, t->y0 + t->h);
            for (int y = y0; y < y1; ++y) {
                std::uint8_t* out = montage_.row(y);
                const std::size_t rowStart = std::size_t(y - t->y0) * std::size_t(t->w);
                for (int x = x0; x < x1; ++x) {
                    const std::size_t i = rowStart + std::size_t(x - t->x0);
                    if (t->weight[i] > 0) paintPixel(*t, i, x, y, out);
                }
            }
        }
    }
}

void StrokeRecord::markNear(double cx, double cy) {
    const int ring = matchRingWidth(brush_.radius);
    const double reach = brush_.radius + ring, reach2 = reach * reach;
    const Rect r = reachOf(cx, cy, reach, montage_.width, montage_.height);
    if (r.empty()) return;
    if (nearDabs_.empty()) nearDabs_.resize(tileIndex_.size());
    for (int ty = r.y0 / kTile; ty <= (r.y1 - 1) / kTile; ++ty) {
        for (int tx = r.x0 / kTile; tx <= (r.x1 - 1) / kTile; ++tx) {
            const int x0 = std::max(r.x0, tx * kTile), x1 = std::min(r.x1, (tx + 1) * kTile);
            const int y0 = std::max(r.y0, ty * kTile), y1 = std::min(r.y1, (ty + 1) * kTile);
            const int tw = std::min(kTile, montage_.width - tx * kTile), th = std::min(kTile, montage_.height - ty * kTile);
            std::vector<std::uint8_t>& marks = nearDabs_[std::size_t(ty) * std::size_t(tilesX_) + std::size_t(tx)];
            for (int y = y0; y < y1; ++y) {
                const double ddy2 = (y - cy) * (y - cy);
                if (ddy2 > reach2) continue;
                for (int x = x0; x < x1; ++x) {
                    if ((x - cx) * (x - cx) + ddy2 > reach2) continue;
                    if (marks.empty()) marks.assign(std::size_t(tw) * std::size_t(th), 0);
                    marks[std::size_t(y - ty * kTile) * std::size_t(tw) + std::size_t(x - tx * kTile)] = 1;
                }
            }
        }
    }
}

void StrokeRecord::fitGain() {
    // The ring: pixels outside every dab's radius but within the ring's width of one, where the
    // source reaches. The gain per channel makes the source's mean there the montage's. The sums
    // are of whole numbers, exact in any order.
    double sumMontage[3] = {0, 0, 0}, sumSource[3] = {0, 0, 0};
    for (std::size_t k = 0; k < nearDabs_.size(); ++k) {
        const std::vector<std::uint8_t>& marks = nearDabs_[k];
        if (marks.empty()) continue;
        const int tx = int(k % std::size_t(tilesX_)), ty = int(k / std::size_t(tilesX_));
        const int tw = std::min(kTile, montage_.width - tx * kTile), th = std::min(kTile, montage_.height - ty * kTile);
        const Tile* t = tile(tx, ty, false);
        for (int j = 0; j < th; ++j) {
            const int y = ty * kTile + j;
            const std::uint8_t* m = montage_.row(y);
            for (int i = 0; i < tw; ++i) {
                const std::size_t at = std::size_t(j) * std::size_t(tw) + std::size_t(i);
                if (!marks[at] || (t && t->inside[at])) continue;
                const int x = tx * kTile + i;
                const std::uint8_t* s = source_.at(x, y);
                if (!s) continue;
                for (int c = 0; c < 3; ++c) {
                    sumMontage[c] += m[std::size_t(x) * 3 + std::size_t(c)];
                    sumSource[c] += s[c];
                }
            }
        }
    }
    for (int c = 0; c < 3; ++c)
        gain_[c] = sumSource[c] > 0 && sumMontage[c] > 0 ? std::clamp(sumMontage[c] / sumSource[c], 0.25, 4.0) : 1.0;
}

Rect StrokeRecord::dab(double cx, double cy) {
    Rect changed;
    if (brush_.match && dabCount_ == 0) {
        // The first dab's ring gives the gain until the stroke ends.
        dabAt(cx, cy, changed, false);
        fitGain();
        paintRect(changed);
    } else {
        dabAt(cx, cy, changed, true);
    }
    return changed;
}

Rect StrokeRecord::lineTo(int x, int y) {
    DabWalker walk(brush_.radius, centresInReach(brush_.radius, montage_.width, montage_.height));
    if (!path_.empty()) walk.restore(pending_, path_.back().x, path_.back().y);
    Rect changed;
    path_.push_back(PathPoint{x, y});
    walk.to(x, y, [&](double cx, double cy) { changed = unite(changed, dab(cx, cy)); });
    pending_ = walk.sinceDab();
    return changed;
}

Rect StrokeRecord::finish() {
    Rect changed;
    if (!path_.empty() && pending_ > 1e-9) changed = dab(path_.back().x, path_.back().y);
    pending_ = 0;
    if (brush_.match && dabCount_ > 0) {
        // The gain of the ring round the whole stroke, painted again over all of it.
        const double first[3] = {gain_[0], gain_[1], gain_[2]};
        fitGain();
        if (!std::equal(first, first + 3, gain_)) {
            paintRect(bounds_);
            changed = bounds_;
        }
    }
    // Undo needs only the pixels as they were.
    nearDabs_ = {};
    for (const auto& t : tiles_) {
        t->weight = {};
        t->inside = {};
    }
    return changed;
}

Rect StrokeRecord::undo(const Raster& montage) const {
    Rect written;
    for (const auto& t : tiles_) {
        for (int y = 0; y < t->h; ++y)
            std::memcpy(montage.row(t->y0 + y) + std::size_t(t->x0) * 3,
                        t->before.data() + std::size_t(y) * std::size_t(t->w) * 3, std::size_t(t->w) * 3);
        written = unite(written, Rect{t->x0, t->y0, t->x0 + t->w, t->y0 + t->h});
    }
    return written;
}

std::size_t StrokeRecord::bytesKept() const {
    std::size_t n = tileIndex_.size() * sizeof(int);
    for (const auto& t : tiles_) n += t->before.size() + t->weight.size() * sizeof(float) + t->inside.size();
    return n;
}

void StrokeRecord::foldInto(StrokeRecord& earlier) {
    // Undoing the strokes one after the other leaves each tile as the earliest of them kept it:
    // the tiles `earlier` holds already stay, the others are moved over.
    if (earlier.tilesX_ == tilesX_ && earlier.tilesY_ == tilesY_) {
        for (std::unique_ptr<Tile>& t : tiles_) {
            int& index = earlier.tileIndex_[std::size_t(t->y0 / kTile) * std::size_t(tilesX_) + std::size_t(t->x0 / kTile)];
            if (index >= 0) continue;
            index = int(earlier.tiles_.size());
            earlier.tiles_.push_back(std::move(t));
        }
    }
    tiles_.clear();
    tiles_.shrink_to_fit();
    tileIndex_.clear();
    tileIndex_.shrink_to_fit();
}

StrokeRecord paintStroke(const Raster& montage, const SourcePlacement& source, const Stroke& stroke) {
    StrokeRecord record(montage, source, stroke.brush);
    for (const PathPoint& p : stroke.path) record.lineTo(p.x, p.y);
    record.finish();
    return record;
}

} // namespace orv::retouch
