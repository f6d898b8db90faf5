// The control's runtime error: a number and description as the hosting runtime reports them,
// plus the checked 32-bit and 16-bit arithmetic that raises "Overflow" instead of wrapping.
#pragma once

#include "vantler_global.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vantler {

enum ErrorNumber : int {
    errInvalidProcedureCall = 5,
    errOverflow = 6,
    errOutOfMemory = 7,
    errSubscriptOutOfRange = 9,
    errInvalidPropertyValue = 380,
    errPropertyNotReadableAtRunTime = 393,
    errInvalidPicture = 481,
};

class VANTLER_EXPORT VantlerError : public std::runtime_error {
public:
    explicit VantlerError(int number);
    int number() const { return number_; }
    std::string description() const { return what(); }

private:
    int number_;
};

// The runtime's own text for an error number ("Overflow", "Subscript out of range", ...).
VANTLER_EXPORT std::string errorDescription(int number);

// 32-bit arithmetic that raises error 6 when the exact result does not fit.
VANTLER_EXPORT std::int32_t checkedAdd(std::int32_t a, std::int32_t b);
VANTLER_EXPORT std::int32_t checkedSub(std::int32_t a, std::int32_t b);
VANTLER_EXPORT std::int32_t checkedMul(std::int32_t a, std::int32_t b);

// A value the control keeps as a 16-bit integer; error 6 when it does not fit.
VANTLER_EXPORT std::int16_t toInt16(long long value);

}  // namespace vantler
