// Reading and writing private-profile files.
#include "settings/profile_file.h"

#include "base/atomic_file.h"
#include "base/leading_number.h"
#include "base/regular_file.h"
#include "base/text.h"

#include <algorithm>
#include <cctype>
#include <sstream>

namespace orv {

namespace {


bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// The section a line opens, or false when it opens none.
bool sectionOf(const std::string& line, std::string& name) {
    const std::string t = trimBlanks(line, " \t");
    if (t.size() < 2 || t.front() != '[') return false;
    const auto close = t.find(']');
    if (close == std::string::npos) return false;
    name = trimBlanks(t.substr(1, close - 1), " \t");
    return true;
}

bool keyOf(const std::string& line, std::string& key, std::string& value) {
    const auto eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = trimBlanks(line.substr(0, eq), " \t");
    value = trimBlanks(line.substr(eq + 1), " \t");
    return true;
}

} // namespace

std::vector<std::string> ProfileFile::lines() const { return linesOf(fileText()); }

std::string ProfileFile::fileText() const {
    // A name that is missing, unreadable or not a regular file reads as an empty file.
    std::string text;
    readRegularFile(path_, text);
    return text;
}

std::vector<std::string> ProfileFile::linesOf(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

std::string ProfileFile::read(const std::string& section, const std::string& key,
                              const std::string& fallback) const {
    bool inSection = false;
    std::string name, k, v;
    for (const auto& line : lines()) {
        if (sectionOf(line, name)) {
            inSection = sameName(name, section);
            continue;
        }
        if (inSection && keyOf(line, k, v) && sameName(k, key)) return v;
    }
    return fallback;
}

void ProfileFile::write(const std::string& section, const std::string& key, const std::string& value) {
    const std::string before = fileText();
    std::vector<std::string> ls = linesOf(before);
    const std::string entry = key + "=" + value;
    bool inSection = false;
    int sectionEnd = -1; // index after the last line of the matching section
    std::string name, k, v;
    bool done = false;
    for (std::size_t i = 0; i < ls.size() && !done; ++i) {
        if (sectionOf(ls[i], name)) {
            if (inSection) break;
            inSection = sameName(name, section);
            if (inSection) sectionEnd = int(i) + 1;
            continue;
        }
        if (!inSection) continue;
        if (keyOf(ls[i], k, v) && sameName(k, key)) {
            ls[i] = k + "=" + value; // the key keeps the spelling it has in the file
            done = true;
        } else if (!trimBlanks(ls[i], " \t").empty()) {
            sectionEnd = int(i) + 1;
        }
    }
    if (!done) {
        if (sectionEnd < 0) {
            if (!ls.empty() && !trimBlanks(ls.back(), " \t").empty()) ls.push_back("");
            ls.push_back("[" + section + "]");
            ls.push_back(entry);
        } else {
            ls.insert(ls.begin() + sectionEnd, entry);
        }
    }
    std::string text;
    for (const auto& l : ls) text += l + "\r\n";
    // A value written again as it stands leaves the file alone (the recent list and the last
    // file name are written after every montage).
    if (text == before) return;
    writeFileAtomically(path_, std::vector<std::uint8_t>(text.begin(), text.end()));
}

bool ProfileFile::tryWrite(const std::string& section, const std::string& key, const std::string& value) {
    try {
        write(section, key, value);
        return true;
    } catch (...) {
        return false;
    }
}

std::string readProfileText(const ProfileFile& file, const std::string& section, const std::string& key) {
    std::string v = file.read(section, key, "0");
    const auto nul = v.find('\0');
    if (nul != std::string::npos) v.resize(nul);
    return v;
}

double readProfileNumber(const ProfileFile& file, const std::string& section, const std::string& key) {
    return leadingValue(readProfileText(file, section, key));
}

} // namespace orv
