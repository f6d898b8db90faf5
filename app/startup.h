// The start-up routine of the desktop program (Main of Montage1): program folder, metrics,
// command line, splash, preferences, layout, and the main window filled and shown.
#pragma once

#include "ui/program_state.h"
#include "base/prompt.h"
#include "ui/common_dialog.h"
#include "ui/form_montage.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

struct StartupHooks {
    // Shows the splash modally; the splash calls `loadMainWindow` while it is up. Empty: the main
    // window is loaded without a splash (tests).
    std::function<void(Prompter&, const std::function<void()>& loadMainWindow)> runSplash;
    // Lays out, after the main window and in this order, the montage, dominant-image, printer
    // selection, properties and preferences windows of the later commands. (Source windows are
    // placed by the cascade of every Load.)
    std::function<void(const LayoutRecord&)> layoutOtherWindows;
    // Loads the montage window without showing it (the montage commands register it).
    std::function<void(FormMontage&)> loadMontageWindow;
    // Creates or refreshes the desktop shortcut when the "shortcut" preference is 1. Empty: the
    // launcher is written to the user's desktop.
    std::function<void(ProgramState&)> createDesktopShortcut;
};

// Starts the program with `state.programFolder` and `state.preferences` already set: the splash,
// the screen checks, the preferences into the controls, the command line, the main window shown.
// Returns the shown main window, or nullptr when the program ends at once (a file that is not a
// picture was handed to its own application).
std::unique_ptr<FormMontage> Montage1Main(ProgramState& state, Prompter& prompter, CommonDialog& dialog,
                                          const std::vector<std::string>& args, const StartupHooks& hooks);

} // namespace orv
