// The smoothing pass as the windows call it. This file and its source are the only ones of the
// windows that see the pass's own settings record, which shares its name with the preferences'
// record; the windows hand the factors over one by one.
#pragma once

#include "base/prompt.h"
#include "engine/focus_measure.h"
#include "engine/module_point.h"
#include "engine/montage.h"

#include <cstdint>
#include <functional>
#include <string>

namespace orv {

struct SmoothingCall {
    ModulePoint* arrays = nullptr;
    FocusMeasure* measure = nullptr;
    const FocusContext* focus = nullptr;
    MontageGeometry* geometry = nullptr;
    DisplayArea area = DisplayArea::Same;
    std::string* map = nullptr;
    std::string* properties = nullptr;
    Prompter* prompter = nullptr;

    bool montageVisible = true;
    int montageIndex = 999; // 999 the main montage, 0 to 4 a comparison montage
    bool showMessages = true;
    std::string incrementText;
    float edgeFactor = 0;
    float focusFactor = 0;
    std::int16_t diffFactor = 0;

    std::function<void(bool)> busy;
    // A block of `slot` at array position (x, y) with side `increment` has changed.
    std::function<void(int slot, int x, int y, int increment)> redrawBlock;
    std::function<void()> afterRow;
    std::function<void(const std::string&)> propertiesChanged;
};

struct SmoothingOutcome {
    bool ran = false; // false: the window was hidden or the settings were refused
    int replaced = 0;
    std::string report;
};

// Raises RuntimeError as the pass does.
SmoothingOutcome runSmoothing(const SmoothingCall& call);

} // namespace orv
