// The montage properties report: how the last montage was made, as plain text with CR LF lines.
#pragma once

#include "base/text.h"
#include "engine/focus_method.h"
#include "engine/montage.h"

#include <string>

namespace orv {

struct PropertiesInput {
    std::string firstFileName; // as typed
    int pictureCount = 0;
    IgnoreTicks ignored{};
    int method = 0;             // the ticked "Montage Method" entry, -1 when none is ticked
    std::string incrementText;  // the increment box's text
    bool autoSmooth = false;
    bool useOffsets = false;
    bool areaSame = true, areaMinimum = false, areaMaximum = false; // display-area ticks
    OffsetTable offsets{};
    std::string map; // the dominant-image map, each line ended by CR LF
};

std::string buildPropertiesText(const PropertiesInput& in);

// Replaces everything after "image numbers:" and the two characters that follow it (its line
// break) with `map`, and the three characters after "Smoothing =" with "yes".
std::string updatePropertiesAfterSmoothing(const std::string& text, const std::string& map);

// Where the line that starts with `key` (such as "  Smoothing =") begins in a properties text, or
// npos: the same words inside the first file name (a folder may be called anything) are not that
// line, as they do not start one.
std::size_t propertiesLine(const std::string& text, const std::string& key);
// Where the map's heading "  Montage made from dominant image numbers:" begins, or npos: the last
// one, as the map's own lines hold only picture numbers.
std::size_t propertiesMapHeading(const std::string& text);


} // namespace orv
