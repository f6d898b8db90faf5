// The two ties into the desktop: a launcher on the user's desktop ("Orvanta.desktop") and an
// "Orvanta" entry in the file managers' context menu for every file (an application entry plus a
// KDE service menu). Window-free; where the files go comes from the environment or from tests.
#pragma once

#include "base/prompt.h"

#include <cstdint>
#include <string>

namespace orv {

// Messages of the removal of the file-manager entry.
inline constexpr const char* kEntryRemovedText =
    "The 'Orvanta' item has been removed from the Windows Explorer Right Mouse Click context menu";
inline constexpr const char* kEntryRemovedTitle = "To restore it, you need to run setup again";
inline constexpr const char* kEntryRemovalFailedText =
    "I have struck problems with removing the 'Orvanta' item from the Windows Explorer Right Mouse "
    "Click context menu";
inline constexpr const char* kEntryRemovalFailedTitle = "Maybe it has already been removed????";

// Said when the Preferences OK cannot write the launcher the user asked for.
inline constexpr const char* kLauncherNotWrittenTitle = "No shortcut this time";
std::string launcherNotWrittenText(const std::string& launcherPath, const std::string& why);

inline constexpr const char* kLauncherComment = "This is my Orvanta shortcut!";
inline constexpr const char* kLauncherFileName = "Orvanta.desktop";
inline constexpr const char* kFileManagerEntryName = "orvanta-open.desktop";
// The line that marks a file-manager entry as one this program wrote: only such files are removed.
inline constexpr const char* kCreatedByLine = "X-Orvanta-Created-By=orvanta";

struct ShellPlaces {
    std::string programFolder;            // ends in "/"
    std::string programName = "orvanta";  // the executable in programFolder
    std::string desktopFolder;            // the user's desktop
    std::string dataHome;                 // $XDG_DATA_HOME, else ~/.local/share
    std::string icon = "orvanta";         // an icon file or a theme icon name
};

// The user's desktop: $XDG_DESKTOP_DIR, else what `xdg-user-dir DESKTOP` answers, else ~/Desktop.
std::string userDesktopFolder();

// $XDG_DATA_HOME when set and absolute, else ~/.local/share.
std::string userDataHome();

// The places for the program in `programFolder` and this user. The icon is "orvanta.png" beside
// the program when there is one (a build tree), else the theme icon the installation provides.
ShellPlaces shellPlacesFor(const std::string& programFolder);

// A desktop-entry string value: backslash, newline, tab and carriage return escaped, a leading
// blank written as \s.
std::string desktopStringValue(const std::string& text);

// One argument of an Exec line: always in double quotes, with ", `, $ and \ escaped inside them and
// % doubled, then escaped as a string value, so any folder name (blanks included) survives.
std::string desktopExecArgument(const std::string& argument);

// The contents of the three files.
std::string launcherText(const ShellPlaces& places);
std::string fileManagerEntryText(const ShellPlaces& places);
std::string serviceMenuText(const ShellPlaces& places);

class ShellIntegration {
public:
    explicit ShellIntegration(ShellPlaces places) : places_(std::move(places)) {}

    const ShellPlaces& places() const { return places_; }
    std::string launcherPath() const;            // desktop folder + "/Orvanta.desktop"
    std::string applicationEntryPath() const;    // $XDG_DATA_HOME/applications/orvanta-open.desktop
    std::string serviceMenuPath() const;         // $XDG_DATA_HOME/kio/servicemenus/orvanta-open.desktop

    // Writes the launcher, executable, over any file of that name (the desktop folder is made when
    // missing). False when it cannot be written, with the reason in `why` when asked.
    bool createDesktopShortcut(std::string* why = nullptr) const;

    // Writes both file-manager files. A file of that name that this program did not write is left
    // alone (and counts as a failure). False when either is not in place afterwards.
    bool installFileManagerEntry() const;

    // Rewrites each file-manager file that is ours and no longer starts this program as it would
    // now be written (the program moved or was installed elsewhere). Makes no missing file and
    // touches no one else's. False when a stale file cannot be rewritten.
    bool refreshFileManagerEntry() const;

    // Deletes both file-manager files when they are ours. True only when both were there and
    // deleted; a missing file or one written by someone else is a failure (and left alone).
    bool removeFileManagerEntry() const;

private:
    ShellPlaces places_;
};

// What the Preferences OK does with the file-manager box: installs the entry when the box is
// ticked and the flag was 0, removes it (with one of the two messages) when the box is clear and the
// flag was 1, and does nothing otherwise. Returns the new flag, the box's value.
std::int16_t applyFileManagerChoice(const ShellIntegration& shell, bool ticked, std::int16_t flag,
                                    Prompter& prompter);

} // namespace orv
