// Where the desktop program keeps an unsaved montage when it is told to end (SIGTERM, SIGHUP):
// a project in the user's state folder, named in the preferences until the next start offers it.
#pragma once

#include <ctime>
#include <string>

namespace orv {

// The preferences key that names the project kept at the last end; empty once it was offered.
inline constexpr const char* kRecoveredProjectKey = "recovered project";
inline constexpr const char* kRecoveredProjectTitle = "Orvanta";
std::string recoveredProjectText(const std::string& project);

// $XDG_STATE_HOME/orvanta (an absolute XDG_STATE_HOME), else ~/.local/state/orvanta; ends in "/".
std::string recoveryFolder();

// A project name in `folder` for a montage kept at `when` (local time), not yet taken there:
// "unsaved montage 2026-12-09 01-30-00.mon", with " 2", " 3", ... added when it is.
std::string recoveryProjectName(const std::string& folder, std::time_t when);

} // namespace orv
