// The names the save commands propose: the file part of a picture window's caption, cut at the
// first dot of its file-name part, with " montage" or " copy" behind.
#pragma once

#include <string>

namespace orv {

inline constexpr const char* kMontageSuffix = " montage"; // montage windows
inline constexpr const char* kCopySuffix = " copy";       // source windows

// The file named by a window caption: the text after the first " -- " ("Image3 -- /p/a3.bmp"),
// else after the first " image from " ("Montage in focus image from /p/a1.bmp"), else the whole
// caption.
std::string captionFileName(const std::string& caption);

// `path` cut before the first dot of its file-name part (after the last "/"); a dot in a folder
// name is not an extension, nor are the dots a hidden file's name starts with. A name without
// such a dot comes back unchanged.
std::string withoutExtension(const std::string& path);

// The name the Save dialog proposes: captionFileName, cut by withoutExtension, + suffix.
// "Montage -- /pics/rock1.bmp" with " montage" gives "/pics/rock1 montage".
std::string proposedSaveName(const std::string& caption, const std::string& suffix);

} // namespace orv
