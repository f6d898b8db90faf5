// Rounding and 16-bit checked values: every float-to-integer conversion rounds half to even, and
// every value the program keeps as a 16-bit number raises error 6 "Overflow" when it does not fit.
#pragma once

#include "base/runtime_error.h"

#include <cfenv>
#include <cmath>
#include <cstdint>

namespace orv {

// Nearest integer, halves to the even neighbour (the default floating-point rounding mode).
inline double roundHalfEven(double v) { return std::nearbyint(v); }

// A whole number that must fit a 16-bit signed integer.
inline std::int16_t toInt16(long long v) {
    if (v < INT16_MIN || v > INT16_MAX) throw RuntimeError(6);
    return static_cast<std::int16_t>(v);
}

// A floating value rounded half to even into a 16-bit signed integer.
inline std::int16_t roundToInt16(double v) {
    if (!std::isfinite(v)) throw RuntimeError(6);
    const double r = roundHalfEven(v);
    if (r < INT16_MIN || r > INT16_MAX) throw RuntimeError(6);
    return static_cast<std::int16_t>(r);
}

// A floating value rounded half to even into a 32-bit signed integer (error 6 when it does not fit).
inline std::int32_t roundToInt32(double v) {
    if (!std::isfinite(v)) throw RuntimeError(6);
    const double r = roundHalfEven(v);
    if (r < INT32_MIN || r > INT32_MAX) throw RuntimeError(6);
    return static_cast<std::int32_t>(r);
}

// Sum and difference of 16-bit values, checked.
inline std::int16_t add16(long long a, long long b) { return toInt16(a + b); }
inline std::int16_t sub16(long long a, long long b) { return toInt16(a - b); }

} // namespace orv
