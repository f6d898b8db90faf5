// What a running command changes in the main window, as the desktop observer sees it: the boxes
// and menu entries it fills and where the windows it places go. FormMontage implements it; the
// observer knows nothing else of the main window.
#pragma once

#include "base/prompt.h"
#include "session/montage_request.h"
#include "session/session_observer.h"

#include <cstdint>
#include <string>

namespace orv {

class MontageView {
public:
    virtual ~MontageView() = default;

    virtual Prompter& prompter() = 0;
    // The file-name and increment boxes.
    virtual void showFileName(const std::string& name) = 0;
    virtual std::string shownFileName() const = 0;
    virtual void showIncrement(const std::string& text) = 0;
    virtual void showMethod(int method) = 0;
    // Every control set as `request` has it: a comparison's settings, an opened project's.
    virtual void showRequest(const MontageRequest& request) = 0;
    // The "Ignore Image" entries of pictures 1 to `count` shown, the others hidden.
    virtual void showIgnoreEntries(int count) = 0;
    // The offset targets: whether they are in use; switched on again for a new series; the
    // status window's text; their colour.
    virtual bool offsetsOn() const = 0;
    virtual void switchOffsetsOn() = 0;
    virtual void showOffsetStatus() = 0;
    virtual void setTargetColor(std::uint32_t colour) = 0;
    // The recent list and the "Window" menus.
    virtual void addRecentFile(const std::string& name) = 0;
    virtual void forgetRecentFile(const std::string& name) = 0;
    virtual void refreshWindowMenus() = 0;
    // Where the source cascade and the montage window start.
    virtual int fileBoxBottom() const = 0;
    virtual int goButtonBottom() const = 0;
    // The running command's phase and progress in the status bar, and whether the user asked it
    // to stop (Cancel or Esc).
    virtual void showProgress(RunPhase phase, int done, int total) = 0;
    virtual bool stopAsked() const = 0;
    virtual void takeFocus() = 0;
    virtual void takeFocusLater() = 0; // once the events under way are done
};

} // namespace orv
