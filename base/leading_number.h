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

// Puts the C library's number conversions (strtod, printf) back to the point as the decimal sign.
// Qt's application object sets them from the user's locale, where a German or French one would
// read "15.5" as 15 and write a score as "9,6": the programs call this once their application
// object is made, so that a montage, its report and its project come out alike in every locale.
void keepNumbersInCNotation();

} // namespace orv
