// The preferences read at start-up into one record, and where the preferences file lives.
#pragma once

#include "settings/profile_file.h"

#include <cstdint>
#include <string>

namespace orv {

inline constexpr const char* kPreferencesSection = "preferences";

// The smoothing settings of a montage, held as the program uses them.
struct SmoothingPreferences {
    std::int16_t autoSmooth = 0;
    float edgeFactor = 0;  // "edgeFactor" / 100
    float focusFactor = 0; // "focusFactor" / 100
    std::int16_t diffFactor = 0;
    float edgeFactor2 = 0; // "edgefactor2" / 10
};

struct StartupPreferences {
    SmoothingPreferences smoothing;
    std::int16_t shortcut = 0;
    std::int16_t rightMouse = 0;    // any non-zero value read counts as 1
    int montageMethod = 0;          // 0 to 4; anything else ticks method 0
    std::string increment;          // "Increment", trimmed
    bool originatingImage = false;  // show the dominant-image window after each montage
    bool loadImages = false;        // run the Load command when the main window loads
    std::uint32_t targetColor = 0;  // red + 256 * green + 65536 * blue
    std::string filename;           // "filename" when longer than 2 characters, trimmed; else empty
};

// Reads every start-up key with the reading rule (missing or not numeric: 0). Numbers that do
// not fit the value they feed read as 0 rather than stopping the program.
StartupPreferences readStartupPreferences(const ProfileFile& prefs);

// "orvanta.ini" in the program folder, or $XDG_CONFIG_HOME/orvanta/orvanta.ini (created as
// needed) when that folder cannot be written, as for an installed copy.
std::string preferencesPath(const std::string& programFolder);

} // namespace orv
