// What the main window's command controllers work with: the program state, the session, the
// windows, the message and dialog layers and the main window as a view.
#pragma once

#include "base/prompt.h"
#include "session/montage_session.h"
#include "ui/common_dialog.h"
#include "ui/montage_view.h"
#include "ui/program_state.h"
#include "ui/window_manager.h"

class QWidget;

namespace orv {

struct CommandContext {
    ProgramState& state;
    MontageSession& session;
    WindowManager& windows;
    Prompter& prompter;
    CommonDialog& dialog;
    MontageView& view;
    QWidget* mainWindow;

    // Shows the generic message for an error caught at a command's boundary.
    void reportError(const char* routine, int line = 0) const;
};

} // namespace orv
