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

// The position of the first dot of the file-name part (after the last "/"), not counting the dots
// a hidden file's name starts with (".shot1.bmp" has its extension at the second); npos when none.
// A dot in a folder name is not the extension.
inline std::size_t firstDotOfFileName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    while (from < path.size() && path[from] == '.') ++from;
    return path.find('.', from);
}

} // namespace orv
