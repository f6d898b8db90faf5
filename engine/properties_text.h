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


} // namespace orv
