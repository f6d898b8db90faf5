// The leading-number rule every numeric text goes through: blanks are skipped, then an optional
// sign, digits, a decimal point and an exponent are read as far as they form a number; a text that
// does not start with a number is 0.
#pragma once

#include <string_view>

namespace orv {

struct LeadingNumber {
    double value = 0;      // 0 when there is no number, or when it is out of range
    bool outOfRange = false; // the number is beyond the single-precision range
};

LeadingNumber parseLeadingNumber(std::string_view text);

// The value alone (0 when out of range).
inline double leadingValue(std::string_view text) { return parseLeadingNumber(text).value; }

} // namespace orv
