// The screen side of the layout: window metrics read from the Qt style, the scale factors for the
// real screen, the layout applied to a window, and the taskbar switch.
#pragma once

#include "ui/screen_layout.h"

#include <optional>

class QWidget;

namespace orv {

// Caption, frame and menu-bar heights and the twips per pixel of the primary screen.
void readScreenMetrics(LayoutRecord& layout);

// The factors for the primary screen, or for the size the command line's resolution option asked for.
void ComputeScreenScale(LayoutRecord& layout, std::optional<ScreenSize> asked);

// Scales the window's position, size and font and those of its controls (the direct children of
// its client area, which forms place by coordinates designed for 1024 x 768).
void ApplyLayout(QWidget* window, const LayoutRecord& layout);

// There is no taskbar window to hide on this desktop: only lets pending events run.
void ShowTaskbar(bool show);

} // namespace orv
