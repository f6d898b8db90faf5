// What the output commands of a picture window (save, print, copy, editor) work on: the window's
// picture at its full size, its caption and size, and the guard of the main window's montage
// commands.
#pragma once

#include "base/prompt.h"

#include <QImage>
#include <QSize>
#include <QString>

class QWidget;

namespace orv {

class PictureBox;

struct PictureSource {
    QImage picture;             // the picture box's picture, whole, whatever the window shows
    QString caption;            // the window's caption (the save name comes from it)
    QSize windowSize;           // the window's outer size in pixels
    QWidget* window = nullptr;  // owns the dialogs the command opens; may be null
};

// The picture, caption and outer size of a picture window with its picture box.
PictureSource pictureSourceOf(QWidget* window, const PictureBox& box);

// The main window's montage commands, each with its own "no montage" message.
enum class MontageCommand { Save, Print, Copy, Edit };

inline constexpr const char* kNoMontageTitle = "Make one, then try again";
// "You have not got a Montage image to save." (print, copy, edit).
std::string noMontageText(MontageCommand command);

// True when the montage window is visible; otherwise shows the command's message (critical icon)
// and returns false.
bool requireMontage(bool montageVisible, MontageCommand command, Prompter& prompter);

} // namespace orv
