// What one command on a montage works from. The front end reads its controls into a request once,
// when the command starts; the session runs on the request and never reads the controls again, so
// an edit made while a command runs reaches neither the montage nor its properties text.
#pragma once

#include "engine/focus_method.h"
#include "engine/montage.h"
#include "settings/preferences.h"

#include <optional>
#include <string>

namespace orv {

struct MontageRequest {
    std::string firstFileName;  // as typed in the file-name box
    std::string incrementText;  // the increment box's text (a value below 10 becomes "10")
    FocusMethod method = FocusMethod::ColorSpace3D;
    IgnoreTicks ignored{};      // the "Ignore Image" ticks of pictures 1 to 10
    bool useOffsets = false;    // the pictures are placed by their target markers
    // The target markers' centres, picture n at [n]; none when the front end has no markers.
    std::optional<OffsetTable> targets;
    std::optional<DisplayArea> area = DisplayArea::Same; // the ticked display area, if any
    bool align = false;         // automatic alignment (never together with offsets)
    bool colourMatch = false;   // aligned pictures also matched in colour to the reference
    SmoothingPreferences smoothing; // the smoothing pass's factors and the automatic pass

    // The request a comparison makes next: this one with another method and, when given, another
    // increment (as the increment box would hold it).
    MontageRequest comparing(int otherMethod, std::optional<int> otherIncrement) const {
        MontageRequest r = *this;
        r.method = FocusMethod(otherMethod);
        if (otherIncrement) r.incrementText = std::to_string(*otherIncrement);
        return r;
    }
};

} // namespace orv
