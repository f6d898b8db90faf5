// The preferences read at start-up into one record, and where the preferences file lives.
#pragma once

#include "base/runtime_error.h"
#include "settings/profile_file.h"

#include <array>
#include <cstdint>
#include <optional>
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

// What "Reset Smoothing defaults" restores: auto-smooth on, edge factor 0.1, focus factor 0.1,
// difference factor 100, second edge factor 4.
inline constexpr SmoothingPreferences kResetSmoothing{1, 0.1f, 0.1f, 100, 4.0f};

// The Preferences dialog shows the four smoothing factors as sensitivities from 1 to 100:
// 100 - edge factor x 100, focus factor x 100, difference factor / 100, 100 - second edge factor x 10.
std::array<double, 4> smoothingSensitivities(const SmoothingPreferences& s);

// The factors from the four typed sensitivities (auto-smooth is left as it is in `s`): edge factor
// 1 - v / 100, focus factor v / 100, difference factor v x 100 rounded to 16 bits (error 6 when it
// does not fit), second edge factor 10 - v / 10.
SmoothingPreferences smoothingFromSensitivities(const std::array<double, 4>& typed, SmoothingPreferences s);

// The stored whole values of "edgeFactor", "focusFactor", "diffFactor" and "edgefactor2": edge and
// focus factor x 100, the difference factor, second edge factor x 10, each rounded towards minus
// infinity after rounding to six significant digits, so a value read from the file is stored again
// unchanged (error 6 for a value beyond 32 bits).
std::array<long long, 4> smoothingKeyValues(const SmoothingPreferences& s);

inline constexpr std::array<const char*, 4> kSmoothingKeys = {"edgeFactor", "focusFactor", "diffFactor",
                                                              "edgefactor2"};

struct StartupPreferences {
    SmoothingPreferences smoothing;
    std::int16_t shortcut = 0;
    std::int16_t rightMouse = 0;    // any non-zero value read counts as 1
    int montageMethod = 0;          // 0 to 5; anything else ticks method 0
    std::string increment;          // "Increment", trimmed
    bool originatingImage = false;  // show the dominant-image window after each montage
    bool loadImages = false;        // run the Load command when the main window loads
    std::uint32_t targetColor = 0;  // red + 256 * green + 65536 * blue
    std::string filename;           // "filename" when longer than 2 characters, trimmed; else empty
};

// The retouching brush as the preferences keep it: radius in pixels (1-1000), hardness (0-100)
// and opacity (1-100) in percent, and whether a stroke matches the brightness round it.
struct RetouchBrushPreferences {
    int radius = 40;
    int hardness = 50;
    int opacity = 100;
    bool match = true;
    bool operator==(const RetouchBrushPreferences&) const = default;
};
inline constexpr std::array<const char*, 4> kRetouchBrushKeys = {"Retouch brush radius", "Retouch brush hardness",
                                                                 "Retouch brush opacity", "Retouch match brightness"};
// A key that is absent or not a whole number in its range keeps its default.
RetouchBrushPreferences readRetouchBrush(const ProfileFile& prefs);
// Writes the four keys; false when the file could not be written.
bool writeRetouchBrush(ProfileFile& prefs, const RetouchBrushPreferences& brush);

// Reads every start-up key with the reading rule (missing or not numeric: 0). Numbers that do
// not fit the value they feed read as 0 rather than stopping the program. A smoothing factor
// whose key is absent (every fresh install) starts at its reset value instead, so smoothing works
// before the preferences were ever saved; "autoSmooth" absent stays 0.
StartupPreferences readStartupPreferences(const ProfileFile& prefs);

// "orvanta.ini" in the program folder, or $XDG_CONFIG_HOME/orvanta/orvanta.ini (created as
// needed) for an installed copy: when that folder cannot be written, or when the program was
// installed (its shared files lie in "../share/orvanta" beside it), so that even a copy run by
// root never writes into /usr/bin.
std::string preferencesPath(const std::string& programFolder);

// Why the preferences file is there but cannot be read (a folder or a device of that name, a file
// this user may not read); none when it reads, and none when it is missing (a first start).
// Start-up then runs on the defaults, and no write replaces the file: the user is told so.
std::optional<std::string> preferencesUnreadable(const std::string& path);
inline constexpr const char* kPreferencesUnreadableTitle = "Preferences not read";
std::string preferencesUnreadableText(const std::string& path, const std::string& why);

// Why the folder of the preferences file `path` is not there to write in (a file stands where a
// folder of its name should be: "Not a directory"); none when it is a folder. Start-up says so at
// once: no preference of this run can be kept.
std::optional<std::string> preferencesFolderMissing(const std::string& path);
// Why the preferences file `path` could not be written, as the system says it: its folder missing,
// the folder or the file not writable ("Read-only file system"); the error's own description
// ("Disk full") when none of these is found.
std::string preferencesWriteFailure(const std::string& path, const RuntimeError& error);
// What the user is told once per run when the preferences cannot be kept: the program goes on
// with the values it holds.
inline constexpr const char* kPreferencesNotKeptTitle = "Preferences not kept";
std::string preferencesNotKeptText(const std::string& path, const std::string& why);

// The program in `programFolder` (ending in "/") is an installed copy: "../share/orvanta" lies
// beside its folder.
bool isInstalledCopy(const std::string& programFolder);

} // namespace orv
