// Readable names for the cases of parameterised tests, so that a listing and a failure say which
// case it is ("Texts/LeadingNumberTest.ReadsTheNumberAtTheStart/minus_12_5x") instead of the
// case's bytes.
#pragma once

#include <cctype>
#include <string>

namespace orv::testing {

// Letters and digits kept, every other run of characters one underscore ("-" at the start becomes
// "minus", "." inside a number "_"), "empty" for an empty text.
inline std::string caseName(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (std::isalnum(c)) {
            out += char(c);
        } else if (c == '-' && (i + 1 < text.size() && (std::isdigit(static_cast<unsigned char>(text[i + 1])) || text[i + 1] == '.'))) {
            if (!out.empty() && out.back() != '_') out += '_';
            out += "minus";
        } else if (!out.empty() && out.back() != '_') {
            out += '_';
        }
    }
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? "empty" : out;
}

// A number as a name: 12.5 -> "12_5", -3 -> "minus3".
inline std::string caseName(double v) {
    std::string s = std::to_string(v);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    return caseName(s);
}

} // namespace orv::testing
