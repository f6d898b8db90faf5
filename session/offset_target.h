// The offset target of a source window, without windows: two concentric circle markers whose
// sizes are fixed in twips, the press test that starts a drag, moving and centring them, and the
// text of the offsets status window.
#pragma once

#include "engine/focus_method.h"

#include <string>
#include <utility>
#include <vector>

namespace orv {

struct ProjectSettings;

// One marker's bounding box in picture pixels, y from the top.
struct MarkerBox {
    double left = 0, top = 0, width = 0, height = 0;
    bool operator==(const MarkerBox&) const = default;
};

inline constexpr double kOuterMarkerTwips = 390; // diameter of marker 0
inline constexpr double kInnerMarkerTwips = 150; // diameter of marker 1
inline constexpr double kInnerMarkerOffsetTwips = 120; // marker 1's left and top at the start
inline constexpr int kOuterMarkerBorder = 3;
inline constexpr int kInnerMarkerBorder = 2;

struct OffsetTarget {
    MarkerBox outer; // marker 0
    MarkerBox inner; // marker 1

    // A new target at the picture's top-left corner, its sizes taken from twips through the
    // screen's twips per pixel (26 and 10 pixels at 15 twips per pixel).
    static OffsetTarget initial(double twipsPerPixelX, double twipsPerPixelY);

    // The picture's offset: the centre of marker 0, rounded half to even.
    ImageOffset centre() const;

    // A press at (x, y) starts a drag when it lies closer to marker 1's top-left corner than
    // marker 0's width across and its height down.
    bool pressStartsDrag(double x, double y) const;

    // Both markers moved together; the centre stops at the 16-bit range's ends.
    void moveBy(double dx, double dy);

    // Both markers centred on (x, y): the target restored from a project.
    void centreOn(double x, double y);

    // The target as a picture of width x height shows it: its centre brought onto the nearest
    // pixel of the picture when it lies past an edge (restored from a project of larger pictures,
    // say), so that it is seen there and can be taken again. A picture without pixels shows the
    // target as it is.
    OffsetTarget within(int width, int height) const;

    // A drag by (dx, dy) over a picture of width x height: the target taken from where the
    // picture shows it and moved, its centre kept on the picture, so that a drag past the edge
    // leaves it at the edge and never where the window cannot show it.
    void dragBy(double dx, double dy, int width, int height);
};

// A target centre measured on a picture of storedWidth x storedHeight as its camera stored it,
// moved to where that pixel lies once the picture is turned upright by its orientation tag: the
// targets of a project saved before its pictures were read upright. A centre so far outside the
// picture that it would pass the 16-bit range stays at the range's end, as far outside.
ImageOffset uprightTarget(ImageOffset stored, int orientation, int storedWidth, int storedHeight);

// The target centres of a project saved before its pictures were read upright (it has no camera
// orientation line), moved onto the upright pictures by the first picture's tag and each
// picture's stored sides; `programFolder` completes a relative first name. A name or a picture
// that cannot be read leaves them as stored: the series' reading says what is wrong with it.
void uprightProjectTargets(const ProjectSettings& project, OffsetTable& targets, const std::string& programFolder);

// The offsets status text: a blank, then for every visible source window (its number and target
// centre, in window order) four blanks, "Image ", the number, " = ", x, " , ", y.
std::string offsetStatusText(const std::vector<std::pair<int, ImageOffset>>& visible);

} // namespace orv
