// The strokes file kept beside a project: text, UTF-8, one stroke a line after the version line.
//   orvanta-strokes 1
//   # a comment
//   stroke PICTURE RADIUS HARDNESS OPACITY MATCH X1,Y1 X2,Y2 ...
// PICTURE is the source's number in the series (1-based), RADIUS in pixels (1-1000), HARDNESS
// (0-100) and OPACITY (1-100) in percent, MATCH 0 or 1, then the brush centre's path in montage
// pixels, origin at the top left, y down.
#pragma once

#include "retouch/retouch.h"

#include <string>
#include <vector>

namespace orv::retouch {

inline constexpr const char* kStrokesVersionLine = "orvanta-strokes 1";

// The strokes of `text`. `pictureCount` > 0 limits the picture numbers to the series. Raises
// RuntimeError 5 whose description names the line ("line 3: ...") for the version line missing,
// an unknown line, a number that cannot be read or a value out of range; line() is that line.
std::vector<Stroke> parseStrokes(const std::string& text, int pictureCount = 0);
// The file's text for `strokes`.
std::string formatStrokes(const std::vector<Stroke>& strokes);

// Reading and writing a strokes file (the writer replaces the file whole, or not at all).
std::vector<Stroke> readStrokesFile(const std::string& path, int pictureCount = 0);
void writeStrokesFile(const std::string& path, const std::vector<Stroke>& strokes);

// "NAME.strokes" for the project "NAME.mon".
std::string strokesNameFor(const std::string& project);

} // namespace orv::retouch
