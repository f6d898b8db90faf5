// The strokes file's parser and writer; every error names its line.
#include "retouch/strokes_file.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"

#include <cctype>
#include <charconv>
#include <string_view>

namespace orv::retouch {

namespace {

// The largest distance a path point may lie from the montage's origin.
constexpr int kMaxCoordinate = 1000000;

[[noreturn]] void fail(int line, const std::string& what) {
    RuntimeError e(5, "line " + std::to_string(line) + ": " + what);
    e.atLine(line);
    throw e;
}

std::vector<std::string_view> words(std::string_view s) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
        const std::size_t start = i;
        while (i < s.size() && s[i] != ' ' && s[i] != '\t') ++i;
        if (i > start) out.push_back(s.substr(start, i - start));
    }
    return out;
}

// A whole decimal integer (an optional minus sign when `negative` is allowed), else nothing.
bool readInt(std::string_view w, int& v, bool negative) {
    if (w.empty() || (w[0] == '-' && !negative) || w[0] == '+') return false;
    const auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
    return ec == std::errc() && end == w.data() + w.size();
}

int number(std::string_view w, const char* name, int low, int high, int line) {
    int v = 0;
    if (!readInt(w, v, false)) fail(line, std::string(name) + " \"" + std::string(w) + "\" is not a whole number");
    if (v < low || v > high)
        fail(line, std::string(name) + " " + std::to_string(v) + " is outside " + std::to_string(low) + " to " +
                       std::to_string(high));
    return v;
}

PathPoint point(std::string_view w, int line) {
    const std::size_t comma = w.find(',');
    PathPoint p;
    if (comma == std::string_view::npos || !readInt(w.substr(0, comma), p.x, true) ||
        !readInt(w.substr(comma + 1), p.y, true))
        fail(line, "path point \"" + std::string(w) + "\" is not X,Y");
    if (p.x < -kMaxCoordinate || p.x > kMaxCoordinate || p.y < -kMaxCoordinate || p.y > kMaxCoordinate)
        fail(line, "path point \"" + std::string(w) + "\" is too far from the montage");
    return p;
}

} // namespace

std::vector<Stroke> parseStrokes(const std::string& text, int pictureCount) {
    std::vector<Stroke> strokes;
    std::string_view rest(text);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") rest.remove_prefix(3); // a byte-order mark
    int lineNumber = 0;
    bool versioned = false;
    while (!rest.empty() || lineNumber == 0) {
        const std::size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::vector<std::string_view> w = words(line);
        if (!versioned) {
            if (w.size() != 2 || w[0] != "orvanta-strokes")
                fail(lineNumber, "the first line must be \"" + std::string(kStrokesVersionLine) + "\"");
            if (w[1] != "1") fail(lineNumber, "strokes file version " + std::string(w[1]) + " is not known");
            versioned = true;
            continue;
        }
        if (w.empty() || w[0].front() == '#') continue;
        if (w[0] != "stroke") fail(lineNumber, "unknown line \"" + std::string(line.substr(0, 40)) + "\"");
        if (w.size() < 7) fail(lineNumber, "a stroke needs PICTURE RADIUS HARDNESS OPACITY MATCH and a path");
        Stroke s;
        s.picture = number(w[1], "picture", 1, pictureCount > 0 ? pictureCount : 999, lineNumber);
        s.brush.radius = number(w[2], "radius", 1, kMaxRadius, lineNumber);
        s.brush.hardness = number(w[3], "hardness", 0, 100, lineNumber);
        s.brush.opacity = number(w[4], "opacity", 1, 100, lineNumber);
        s.brush.match = number(w[5], "match", 0, 1, lineNumber) == 1;
        for (std::size_t i = 6; i < w.size(); ++i) s.path.push_back(point(w[i], lineNumber));
        strokes.push_back(std::move(s));
    }
    return strokes;
}

std::string formatStrokes(const std::vector<Stroke>& strokes) {
    std::string out = std::string(kStrokesVersionLine) + "\n";
    for (const Stroke& s : strokes) {
        out += "stroke " + std::to_string(s.picture) + " " + std::to_string(s.brush.radius) + " " +
               std::to_string(s.brush.hardness) + " " + std::to_string(s.brush.opacity) + " " +
               (s.brush.match ? "1" : "0");
        for (const PathPoint& p : s.path) out += " " + std::to_string(p.x) + "," + std::to_string(p.y);
        out += "\n";
    }
    return out;
}

std::vector<Stroke> readStrokesFile(const std::string& path, int pictureCount) {
    std::string text;
    switch (readRegularFile(path, text)) {
    case FileRead::Ok: break;
    case FileRead::Missing: throw RuntimeError(53);
    default: throw RuntimeError(75);
    }
    return parseStrokes(text, pictureCount);
}

void writeStrokesFile(const std::string& path, const std::vector<Stroke>& strokes) {
    const std::string text = formatStrokes(strokes);
    writeFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string strokesNameFor(const std::string& project) {
    std::string base = project;
    if (base.size() >= 4) {
        std::string tail = base.substr(base.size() - 4);
        for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
        if (tail == ".mon") base.resize(base.size() - 4);
    }
    return base + ".strokes";
}

} // namespace orv::retouch
