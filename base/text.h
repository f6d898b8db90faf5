// Small text helpers shared by every layer.
#pragma once

#include <string>

namespace orv {

// `s` without the characters of `blanks` at either end.
inline std::string trimBlanks(const std::string& s, const char* blanks = " ") {
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

} // namespace orv
