// The image editor "Open in Editor" hands a picture to: the command set in Preferences ("Image
// editor": a program and its arguments, "%f" for the file), else the desktop's default
// application for PNG pictures unless that is Orvanta itself (our desktop entry claims the picture
// types so that a picture opens in Orvanta, which is no editor).
#pragma once

#include "output/temp_bmp.h"

#include <functional>
#include <optional>
#include <string>

namespace orv {

inline constexpr const char* kEditorPreferenceKey = "Image editor";
inline constexpr const char* kNoEditorText = "There is no image editor set. Choose one in Preferences.";

// A desktop entry: its file name ("org.gimp.GIMP.desktop") and its text.
struct DesktopEntry {
    std::string name;
    std::string text;
};

// The program and arguments of an editor command line for `file`: every "%f" becomes the file;
// without one the file is the last argument. None for a blank line.
std::optional<ProgramStart> editorCommandStart(const std::string& commandLine, const std::string& file);

// The start an application's desktop entry makes for `file` (its Exec line, the field codes
// %f %F %u %U standing for the file and the others dropped). None when the entry has no Exec line
// or is Orvanta's own.
std::optional<ProgramStart> desktopEntryStart(const DesktopEntry& entry, const std::string& file);

// The editor for `file`: the preference when it is set, else `defaultPng`'s application.
std::optional<ProgramStart> editorStart(const std::string& preference, const std::string& file,
                                        const std::optional<DesktopEntry>& defaultPng);

// The desktop's default application for PNG pictures (xdg-mime and the XDG data folders); none
// when there is none. Tests replace the lookup; an empty function restores it.
std::optional<DesktopEntry> defaultPngApplication();
void setDefaultPngLookup(std::function<std::optional<DesktopEntry>()> lookup);

// Starts the editor without waiting for it; false when it could not be started, with the
// system's error number in `failure` when given (0 when a replaced starter refused it). `ended`,
// when given, is set once the editor has ended (at once for a replaced starter). Tests replace the
// starter; an empty function restores the real one.
bool startEditor(const ProgramStart& start, const ProgramEnded& ended = {}, int* failure = nullptr);
void setEditorStarter(std::function<bool(const ProgramStart&)> starter);

} // namespace orv
