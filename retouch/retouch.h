// Retouching: painting from a source picture into a montage with a round brush. A stroke is a path
// of brush centres; dabs are laid along it every quarter of the radius. Each pixel of the stroke
// takes the strongest brush weight any dab gives it (so overlapping dabs do not build up), and is
// blended once: montage + (source - montage) x opacity x weight. The weight is 1 inside the hard
// part of the radius (hardness x radius) and falls smoothly to 0 at the radius. "Match brightness"
// scales the source per channel by a gain fitted on a ring just outside the stroke, so the painted
// area meets its surroundings without a step. Every stroke keeps the montage pixels it touched, so
// undo puts them back byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace orv::retouch {

// Rows of blue-green-red pixels, `top` the first byte of the top row, `stride` the bytes from one
// row to the next one down (negative for a bottom-up bitmap).
struct Raster {
    std::uint8_t* top = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;

    std::uint8_t* row(int y) const { return top + std::ptrdiff_t(y) * stride; }
};

// A source picture as it lies under the montage: montage pixel (x, y) came from picture pixel
// (x + dx, y + dy) (both top-down); pixels the picture does not reach are never painted.
struct SourcePlacement {
    const std::uint8_t* top = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
    int dx = 0;
    int dy = 0;

    const std::uint8_t* at(int x, int y) const {
        const int sx = x + dx, sy = y + dy;
        if (sx < 0 || sy < 0 || sx >= width || sy >= height) return nullptr;
        return top + std::ptrdiff_t(sy) * stride + std::ptrdiff_t(sx) * 3;
    }
};

struct PathPoint {
    int x = 0;
    int y = 0;
    bool operator==(const PathPoint&) const = default;
};

inline constexpr int kMaxRadius = 1000;

struct Brush {
    int radius = 40;    // picture pixels, 1 to 1000
    int hardness = 50;  // percent, 0 to 100
    int opacity = 100;  // percent, 1 to 100
    bool match = true;  // match brightness
    bool operator==(const Brush&) const = default;
};

// One stroke as the strokes file keeps it.
struct Stroke {
    int picture = 1; // the source picture's number in the series (1-based)
    Brush brush;
    std::vector<PathPoint> path; // brush centres in montage pixels, origin top left, y down
    bool operator==(const Stroke&) const = default;
};

// The brush weight at distance `d` from a dab centre (0 to 1).
double brushWeight(const Brush& b, double d);

// The dab centres along `path`, every quarter radius from its first point; the last point always
// gets a dab.
std::vector<std::pair<double, double>> dabCentres(const std::vector<PathPoint>& path, int radius);
// The same dabs on a montage of `width` x `height`, leaving out those that can change nothing
// there (a path far outside it is passed over, not walked dab by dab), as a stroke lays them.
std::vector<std::pair<double, double>> dabCentres(const std::vector<PathPoint>& path, int radius, int width,
                                                  int height);
// Calls `lay` with each of those dabs in turn, keeping none (a long stroke lays millions).
void forEachDab(const std::vector<PathPoint>& path, int radius, int width, int height,
                const std::function<void(double, double)>& lay);

// The width of the ring outside a stroke on which brightness is matched.
int matchRingWidth(int radius);

// A rectangle of montage pixels, x0..x1-1, y0..y1-1.
struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x1 <= x0 || y1 <= y0; }
};

// A stroke being painted, and afterwards the record that undoes it: the montage's pixels under
// every tile it touched, as they were before it.
class StrokeRecord {
public:
    // `montage` and `source` must stay valid until finish().
    StrokeRecord(const Raster& montage, const SourcePlacement& source, const Brush& brush);
    ~StrokeRecord();
    StrokeRecord(StrokeRecord&&) noexcept;
    StrokeRecord& operator=(StrokeRecord&&) noexcept;

    // Lays one dab centred on (cx, cy) and paints what it changes (with the gain fitted so far
    // when matching). Returns the montage pixels it changed.
    Rect dab(double cx, double cy);
    // Lays the dabs of the path from the last point painted (or the path's start) to (x, y).
    Rect lineTo(int x, int y);
    // Ends the stroke: with matching, the gain is fitted on the ring around the whole stroke and
    // the stroke painted again with it. Returns the pixels that may have changed. Only undo()
    // may follow.
    Rect finish();

    // Puts the montage's pixels back as they were before the stroke, byte for byte, and returns
    // the pixels it wrote: every tile the stroke touched, which reaches past bounds() (pixels
    // there changed since, by a smoothing pass, go back too).
    Rect undo(const Raster& montage) const;
    // The pixels the stroke may have changed.
    Rect bounds() const { return bounds_; }
    const std::vector<PathPoint>& path() const { return path_; }
    // The per-channel gain (blue, green, red) the stroke was painted with.
    const double* gain() const { return gain_; }
    std::size_t bytesKept() const;
    // Hands `earlier`, the record of a stroke painted before this one on the same montage, the
    // kept tiles it does not hold yet and lets go of the rest: undoing `earlier` then takes both
    // strokes off, as undoing this one and then `earlier` would. This record undoes nothing after.
    void foldInto(StrokeRecord& earlier);

private:
    struct Tile;
    Tile* tile(int tx, int ty, bool create);
    void paintRect(const Rect& r);
    void paintPixel(const Tile& t, std::size_t i, int x, int y, std::uint8_t* out) const;
    void fitGain();
    // Marks the dab's pixels (painting those whose weight grew, when `paint`).
    void dabAt(double cx, double cy, Rect& changed, bool paint);
    // Marks the pixels within the ring's reach of the dab centred on (cx, cy).
    void markNear(double cx, double cy);

    Raster montage_;
    SourcePlacement source_;
    Brush brush_;
    int tilesX_ = 0, tilesY_ = 0;
    std::vector<int> tileIndex_; // -1 for a tile not touched
    std::vector<std::unique_ptr<Tile>> tiles_;
    // With matching, the pixels within the ring's reach of a dab, per tile (empty where none is):
    // a mark a pixel, however many dabs the path lays over it.
    std::vector<std::vector<std::uint8_t>> nearDabs_;
    std::size_t dabCount_ = 0;
    std::vector<PathPoint> path_;
    double pending_ = 0; // the distance along the path since the last dab
    double gain_[3] = {1, 1, 1};
    double opacity_ = 1;
    Rect bounds_;
};

// Paints a whole stroke onto `montage` and returns its record.
StrokeRecord paintStroke(const Raster& montage, const SourcePlacement& source, const Stroke& stroke);

} // namespace orv::retouch
