// The program-wide state records of the desktop program: everything start-up sets and the
// commands share, passed by reference to the windows so tests can build their own.
#pragma once

#include "engine/focus_measure.h"
#include "engine/focus_method.h"
#include "engine/module_point.h"
#include "engine/montage.h"
#include "settings/preferences.h"
#include "settings/profile_file.h"
#include "settings/recent_files.h"
#include "ui/screen_layout.h"
#include "smoothing/comparison.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace orv {

// What the Load command leaves for the montage commands.
struct SeriesState {
    std::int16_t imageCount = 0;     // pictures loaded, 0 to 30
    long long numberOffset = 0;      // the first file's number minus 1
    std::string currentFileName;     // the name last built
    float pictureWidth = 0;          // picture 1's size in pixels
    float pictureHeight = 0;
};

// The inputs of Make Montage as the main window's controls hold them at the moment of reading.
struct MontageControls {
    std::string firstFileName;  // text of textFileName
    std::string incrementText;  // text of TextIncrement
    FocusMethod method = FocusMethod::ColorSpace3D; // the ticked mnusimpleCol entry
    IgnoreTicks ignored{};      // ticks of mnuignoreImage 0 to 9
    bool useOffsets = false;    // tick of mnuAddOffsets
    std::optional<DisplayArea> area = DisplayArea::Same; // the ticked area entry, if any
};

// What Make Montage builds and the later commands (smoothing, comparisons, preview, properties)
// read: the pixel arrays, the geometry, the offsets and the texts of the montages on screen.
struct MontageState {
    ModulePoint arrays;
    FocusMeasure measure;
    FocusContext focus;         // the focus settings of the last montage
    MontageGeometry geometry;
    OffsetTable offsets{};
    std::string firstFileName;  // the first file name as typed for the last Make Montage
    std::string propertiesText; // the main montage's report
    std::array<std::string, 11> comparisonProperties; // entry k: comparison montage window k
    // Slot 100 no longer holds the picture of the main montage window (a comparison refresh
    // overwrote it, or a comparison picture was put in the window).
    bool mainSlotStale = false;
    // The last full Make Montage loaded its pictures and sized the montage: what a comparison's
    // later montages reuse.
    bool seriesReady = false;
};

struct ProgramState {
    std::string programFolder;      // ends in "/"
    ProfileFile preferences{""};    // the preferences file
    bool startupFlag = true;        // a missing first file is not reported while set
    bool firstActivation = true;    // the main window's first activation runs the Load command
    int dragState = -999;           // no offset target is being dragged
    std::string commandArgument;    // the command line, enclosing quotes removed
    LayoutRecord layout;
    SmoothingPreferences smoothing;
    std::int16_t shortcut = 0;
    std::int16_t rightMouse = 0;
    bool originatingImage = false;  // show the dominant-image window after a montage
    std::uint32_t targetColor = 0;  // the offset targets' colour
    bool projectFlag = false;       // a project load is running Make Montage
    EvaluationState evaluation;
    SeriesState series;
    MontageState montage;
    RecentFiles recent;

    // Ends the program once the main window has closed.
    std::function<void()> quit;
};

} // namespace orv
