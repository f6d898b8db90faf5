// Reads the number at the start of a text the way the program's numeric boxes are read.
#include "base/leading_number.h"

#include <cctype>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <clocale>
#include <cstdlib>
#include <string>

namespace orv {

LeadingNumber parseLeadingNumber(std::string_view text) {
    // Blanks (spaces, tabs, line ends) may stand anywhere before and inside the leading number.
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') s.push_back(c);

    std::size_t i = 0;
    std::string num;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) num.push_back(s[i++]);
    bool digits = false;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
        num.push_back(s[i++]);
        digits = true;
    }
    if (i < s.size() && s[i] == '.') {
        num.push_back(s[i++]);
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            num.push_back(s[i++]);
            digits = true;
        }
    }
    if (!digits) return {};
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        std::string exp = "e";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) exp.push_back(s[j++]);
        bool expDigits = false;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) {
            exp.push_back(s[j++]);
            expDigits = true;
        }
        if (expDigits) num += exp;
    }
    errno = 0;
    const double v = std::strtod(num.c_str(), nullptr);
    if (errno == ERANGE && std::isinf(v)) return {0, true};
    if (std::fabs(v) > FLT_MAX) return {0, true};
    return {v, false};
}

void keepNumbersInCNotation() { std::setlocale(LC_NUMERIC, "C"); }

} // namespace orv
