// Small text helpers shared by every layer.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace orv {

// `s` without the characters of `blanks` at either end.
inline std::string trimBlanks(const std::string& s, const char* blanks = " ") {
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string::npos) return {};
    return s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// The position of the first dot of the file-name part (after the last "/"), not counting the dots
// a hidden file's name starts with (".shot1.bmp" has its extension at the second); npos when none.
// A dot in a folder name is not the extension.
inline std::size_t firstDotOfFileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    while (from < path.size() && path[from] == '.') ++from;
    return path.find('.', from);
}

// `s` with every "%" followed by two hexadecimal digits turned into the byte they stand for; a
// "%" without two digits after it stays as it is.
inline std::string percentDecoded(const std::string& s) {
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && digit(s[i + 1]) >= 0 && digit(s[i + 2]) >= 0) {
            out += char(digit(s[i + 1]) * 16 + digit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Keeps the first message a C library's handler is given (libtiff's module and printf-style
// text) in `*into` as "module: text", the text cut at 511 bytes; nothing when `into` is null or
// holds a message already.
inline void keepFirstMessage(std::string* into, const char* module, const char* format, va_list args) {
    if (!into || !into->empty()) return;
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    *into = (module ? std::string(module) + ": " : std::string()) + text;
}

} // namespace orv
