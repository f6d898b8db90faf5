// The routines and line numbers that the generic error message names ("error 7 (Out of memory) at
// line 5100 of CommandGo"): users quote them when they report a fault, so each step of a command
// keeps its number, and every number is written here once.
#pragma once

namespace orv {

// The routines a message names.
inline constexpr const char* kLoadRoutine = "mnuLoad";
inline constexpr const char* kMontageRoutine = "CommandGo";
inline constexpr const char* kSmoothRoutine = "mnuSmooth";
inline constexpr const char* kComparisonRoutine = "evaluateImage";
inline constexpr const char* kFocusMeasureRoutine = "gotFocusMeasure";
inline constexpr const char* kOpenProjectRoutine = "mnuOpenProject";
inline constexpr const char* kSaveProjectRoutine = "mnuSave";
inline constexpr const char* kSaveWindowProjectRoutine = "mnuSaveProject";

// Load.
enum LoadLine : int {
    kLoadStarting = 200,      // the stack emptied, the earlier windows going
    kLoadNaming = 400,        // the name completed, the digit test, the first file looked for
    kLoadNumbering = 420,     // the first file's number
    kLoadPictures = 500,      // file after file
    kLoadPictureFailure = 510, // memory ran out or a number passed 16 bits while reading
    kLoadSizes = 800,         // picture 1's size and the windows
};

// Make Montage, and the engine's steps under it.
enum MontageLine : int {
    kLineIncrementRead = 500,     // the increment box read
    kLineIncrementReplaced = 550, // the box set to "10"
    kLineIncrementValue = 1000,   // the increment's value
    kLineSeriesStarting = 2000,   // the earlier series' windows going
    kLineSeriesNaming = 4000,     // the name completed, the digit test, the first file looked for
    kLineSeriesNumbering = 4200,  // the first file's number read
    kLineSeriesPictures = 5000,   // file after file
    kLineSeriesFailure = 5100,    // memory ran out or a number passed 16 bits while reading
    kLineMontageSize = 8000,      // the montage takes picture 1's size
    kLineDisplayArea = 8100,      // the offsets and the display area
    kLineAlignment = 8150,        // automatic alignment
    kLineArrayFill = 8200,        // the pixel arrays filled
    kLineSampleStore = 8400,      // the focus measure's sample store
    kLineBlockLoop = 8500,        // the block loop
    kLineFocusMeasure = 9000,     // a picture's focus measure
    kLineFocusAntiAliased = 9700, // the focus measure's smoothed variant
    kLineLastColumn = 10200,      // the block loop's last column
    kLinePreviewRows = 10400,     // the growing preview
    kLineMontageShown = 10500,    // the montage shown
    kLineFinishing = 11000,       // the properties text and the automatic smoothing
    kLineFirstFileUsed = 15000,   // the name back in the box and the recent list
    kLineFocusSample = 20000,     // one sample of the focus measure
    kLineOffsetExtents = 21000,   // the offsets' extents before the display area
};

} // namespace orv
