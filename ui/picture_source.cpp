// Reading a picture window for the output commands, and the main window's montage guard.
#include "ui/picture_source.h"

#include "ui/picture_box.h"

#include <QWidget>

namespace orv {

PictureSource pictureSourceOf(QWidget* window, const PictureBox& box) {
    PictureSource s;
    s.picture = box.picture();
    s.window = window;
    if (window) {
        s.caption = window->windowTitle();
        s.windowSize = window->frameGeometry().size();
    }
    return s;
}

std::string noMontageText(MontageCommand command) {
    const char* verb = "save";
    switch (command) {
    case MontageCommand::Save: verb = "save"; break;
    case MontageCommand::Print: verb = "print"; break;
    case MontageCommand::Copy: verb = "copy"; break;
    case MontageCommand::Edit: verb = "edit"; break;
    }
    return std::string("You have not got a Montage image to ") + verb + ".";
}

bool requireMontage(bool montageVisible, MontageCommand command, Prompter& prompter) {
    if (montageVisible) return true;
    prompter.ask(PromptIcon::Critical, noMontageText(command), kNoMontageTitle);
    return false;
}

} // namespace orv
