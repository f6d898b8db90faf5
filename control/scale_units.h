// The picture box's coordinate units: how many units of a scale mode make one screen pixel,
// lengths converted between modes, and coordinates converted between units and pixels. No
// widget is needed: the box passes in its resolution, drawing area and user scale.
#pragma once

#include "vantler_global.h"

namespace vantler {

enum ScaleModeValue : int {
    vbUser = 0, vbTwips = 1, vbPoints = 2, vbPixels = 3, vbCharacters = 4, vbInches = 5,
    vbMillimeters = 6, vbCentimeters = 7, vbHimetric = 8, vbContainerPosition = 9, vbContainerSize = 10,
};

// Twips (1/1440 inch) per screen pixel at a resolution in dots per inch, rounded and at least
// 1: 15 at 96 dpi.
VANTLER_EXPORT int twipsPerPixel(int dotsPerInch);

// One axis of the drawing area, as the conversions along it need it.
struct ScaleAxis {
    bool horizontal = true;  // a character is 120 twips wide and 240 twips high
    int twipsPerPixel = 15;
    int pixels = 0;           // the drawing area's extent
    double userExtent = 0;    // ScaleWidth or ScaleHeight, for the user scale
};

// Units of `mode` in one pixel along the axis. The user scale spreads the user extent over the
// drawing area (1 unit a pixel while either is empty); the container modes count twips, as the
// control measures itself in twips. Any other mode is error 5.
VANTLER_EXPORT double unitsPerPixel(int mode, const ScaleAxis& axis);

// A length given in `fromMode` units, in `toMode` units.
VANTLER_EXPORT float convertLength(float length, int fromMode, int toMode, const ScaleAxis& axis);

// A coordinate in units, counted from `origin` (ScaleLeft or ScaleTop), as pixels from the
// drawing area's edge; and a pixel offset back in units.
VANTLER_EXPORT double unitToPixel(float unit, float origin, double unitsPerPixel);
VANTLER_EXPORT float pixelToUnit(double pixel, float origin, double unitsPerPixel);

}  // namespace vantler
