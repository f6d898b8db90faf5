// Plane affine maps as the alignment passes them around: composition, inverse, the change between
// the stack's bottom-up rows and top-down picture rows, and the scale / rotation / shift a user
// reads off a map.
#pragma once

#include <array>

namespace orv::align {

// (x, y) -> (m[0] x + m[1] y + m[2], m[3] x + m[4] y + m[5]).
struct Affine {
    std::array<double, 6> m{1, 0, 0, 0, 1, 0};

    double x(double px, double py) const { return m[0] * px + m[1] * py + m[2]; }
    double y(double px, double py) const { return m[3] * px + m[4] * py + m[5]; }
    double determinant() const { return m[0] * m[4] - m[1] * m[3]; }
    bool isIdentity() const { return m == Affine{}.m; }
};

// First `first`, then `then`.
Affine compose(const Affine& then, const Affine& first);

// Raises std::domain_error when the map is singular.
Affine inverse(const Affine& a);

// The same map written in coordinates whose rows are counted the other way: a map between pictures
// of heights `fromHeight` and `toHeight` with rows from the top becomes the map between their rows
// from the bottom, and back (the change is its own inverse).
Affine flipRows(const Affine& a, int fromHeight, int toHeight);

// The similarity (scale, turn and shift, no shear or one-way stretch) nearest to `a`: its linear
// part the nearest [s -t; t s] in the least-squares sense, placed so that it takes the point
// (cx, cy) where `a` takes it.
Affine nearestSimilarity(const Affine& a, double cx, double cy);

// The scale of the nearest similarity to the map's linear part.
double similarScale(const Affine& a);

// Pixel coordinates of a picture resized by (sx, sy) (pixel centres kept on the same scene points,
// as an area resize does) from the full-size picture's.
Affine resizeMap(double sx, double sy);

// A map from picture coordinates to reference coordinates (rows from the top) described as
// a user reads it: the picture is scaled by `scale` and turned clockwise on screen by `rotation`
// degrees about its centre, which lands `shiftX`, `shiftY` pixels (x right, y down) from the
// reference's centre. Scale and rotation are those of the nearest similarity to the map's
// linear part.
struct Similarity {
    double scale = 1;
    double rotation = 0;
    double shiftX = 0;
    double shiftY = 0;
};

Similarity describe(const Affine& pictureToReference, int pictureWidth, int pictureHeight,
                    int referenceWidth, int referenceHeight);

// The map `describe` reads back as `s` for pictures of one size.
Affine fromSimilarity(const Similarity& s, int width, int height);

} // namespace orv::align
