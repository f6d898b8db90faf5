// The program-wide state of the desktop program: the montage session's state and what start-up
// sets for the windows, passed by reference to the windows so tests can build their own.
#pragma once

#include "session/montage_session.h"
#include "settings/preferences.h"
#include "settings/profile_file.h"
#include "settings/recent_files.h"
#include "ui/screen_layout.h"

#include <QPoint>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace orv {

struct ProgramState : SessionState {
    ProfileFile preferences{""};    // the preferences file
    bool startupFlag = true;        // a missing first file is not reported while set
    bool firstActivation = true;    // the main window's first activation runs the Load command
    std::optional<QPoint> dragState; // the last mouse position of a drag in progress, if any
    bool fileOnCommandLine = false;  // the command line named a picture that is there
    std::string projectOnCommandLine; // a project the command line named, opened at the first activation
    std::string commandArgument;    // the command line, enclosing quotes removed
    LayoutRecord layout;
    std::int16_t shortcut = 0;
    std::int16_t rightMouse = 0;
    bool originatingImage = false;  // show the dominant-image window after a montage
    std::uint32_t targetColor = 0;  // the offset targets' colour
    RecentFiles recent;

    // Ends the program once the main window has closed.
    std::function<void()> quit;
};

} // namespace orv
