// Error numbers and texts of the control, and the checked arithmetic behind error 6.
#include "control_error.h"

#include <limits>

namespace vantler {

std::string errorDescription(int number) {
    switch (number) {
    case errInvalidProcedureCall: return "Invalid procedure call or argument";
    case errOverflow: return "Overflow";
    case errOutOfMemory: return "Out of memory";
    case errSubscriptOutOfRange: return "Subscript out of range";
    case errInvalidPropertyValue: return "Invalid property value";
    case errPropertyNotReadableAtRunTime: return "Property cannot be read at run time";
    case errInvalidPicture: return "Invalid picture";
    default: return "Application-defined or object-defined error";
    }
}

VantlerError::VantlerError(int number) : std::runtime_error(errorDescription(number)), number_(number) {}

std::int32_t checkedAdd(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_add_overflow(a, b, &r)) throw VantlerError(errOverflow);
    return r;
}

std::int32_t checkedSub(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_sub_overflow(a, b, &r)) throw VantlerError(errOverflow);
    return r;
}

std::int32_t checkedMul(std::int32_t a, std::int32_t b) {
    std::int32_t r;
    if (__builtin_mul_overflow(a, b, &r)) throw VantlerError(errOverflow);
    return r;
}

std::int16_t toInt16(long long value) {
    if (value < std::numeric_limits<std::int16_t>::min() || value > std::numeric_limits<std::int16_t>::max())
        throw VantlerError(errOverflow);
    return static_cast<std::int16_t>(value);
}

}  // namespace vantler
