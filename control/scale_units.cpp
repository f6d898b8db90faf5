// Scale modes as units per pixel, and the conversions the picture box draws and reports with.
#include "scale_units.h"

#include "control_error.h"

#include <algorithm>
#include <cmath>

namespace vantler {

int twipsPerPixel(int dotsPerInch) { return std::max(1, int(std::nearbyint(1440.0 / dotsPerInch))); }

double unitsPerPixel(int mode, const ScaleAxis& axis) {
    const double tpp = axis.twipsPerPixel;
    switch (mode) {
    case vbUser: return axis.pixels > 0 && axis.userExtent != 0.0 ? axis.userExtent / axis.pixels : 1.0;
    case vbTwips: return tpp;
    case vbPoints: return tpp / 20.0;
    case vbPixels: return 1.0;
    case vbCharacters: return tpp / (axis.horizontal ? 120.0 : 240.0);
    case vbInches: return tpp / 1440.0;
    case vbMillimeters: return tpp * 25.4 / 1440.0;
    case vbCentimeters: return tpp * 2.54 / 1440.0;
    case vbHimetric: return tpp * 2540.0 / 1440.0;
    case vbContainerPosition:
    case vbContainerSize: return tpp;
    default: throw VantlerError(errInvalidProcedureCall);
    }
}

float convertLength(float length, int fromMode, int toMode, const ScaleAxis& axis) {
    const double pixels = length / unitsPerPixel(fromMode, axis);
    return float(pixels * unitsPerPixel(toMode, axis));
}

double unitToPixel(float unit, float origin, double unitsPerPixel) { return (double(unit) - origin) / unitsPerPixel; }

float pixelToUnit(double pixel, float origin, double unitsPerPixel) { return float(pixel * unitsPerPixel + origin); }

}  // namespace vantler
