// Where the desktop program keeps an unsaved montage when it is told to end (SIGTERM, SIGHUP):
// a project in the user's state folder, named in the preferences until the next start offers it.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace orv {

class ProfileFile;

// The preferences key that names the project kept at the last end; empty once it was offered.
inline constexpr const char* kRecoveredProjectKey = "recovered project";
// Copies of the program ended at once (a logout ends them all) each keep a project: the first
// named takes kRecoveredProjectKey, the others "recovered project 2", "recovered project 3", ...
// (`number` 1 is kRecoveredProjectKey itself).
std::string recoveredProjectKey(int number);

// Names `project` for the next start in the first of those keys that names none, taken in turn
// with the other copies of the program, so that none writes over another's. Preferences that
// cannot be written leave it named in a list of the recovery folder's own, read with them at the
// next start. False when neither can be written.
bool rememberRecoveredProject(ProfileFile& preferences, const std::string& project);

// Empties every key that names `project`, in the preferences and that list: it is not offered again.
void forgetRecoveredProject(ProfileFile& preferences, const std::string& project);

// The projects named for this start, in the order of their keys (the preferences' first, then the
// recovery folder's list), each key emptied as it is read:
// every kept project is offered once. Names only; whether the file is still there is the caller's.
std::vector<std::string> takeRecoveredProjects(ProfileFile& preferences);

inline constexpr const char* kRecoveredProjectTitle = "Orvanta";
std::string recoveredProjectText(const std::string& project);

// $XDG_STATE_HOME/orvanta (an absolute XDG_STATE_HOME), else ~/.local/state/orvanta (the account's
// home folder when HOME is not set); ends in "/". Empty when there is no home folder at all.
std::string recoveryFolder();
// Whether `file` (an absolute name) lies in that folder: a project the program kept itself.
bool inRecoveryFolder(const std::string& file);

// Makes `folder` when it is missing and closes it to other users. False when it cannot be made or
// is not a folder of this user's that only this user may enter: nothing is kept there then, and
// `why` (when given) says why, naming the folder.
bool makePrivateRecoveryFolder(const std::string& folder, std::string* why = nullptr);

// A montage that could not be kept at an end (no state folder, a full disk) is not lost in
// silence: said at once on the standard error (no window may wait for an answer while the
// program ends), and noted with `why` in the preferences under "unkept montage", "unkept montage
// 2", ... (one for each copy of the program ended together), so that the next start says it.
// "FOLDER: REASON", the folder without its closing "/".
std::string recoveryFailure(const std::string& folder, const std::string& reason);
inline constexpr const char* kUnkeptMontageKey = "unkept montage";
std::string unkeptMontageKey(int number);
void noteUnkeptMontage(ProfileFile& preferences, const std::string& why);
// The notes for this start, in the order of their keys, each key emptied as it is read.
std::vector<std::string> takeUnkeptMontageNotes(ProfileFile& preferences);
inline constexpr const char* kUnkeptMontageTitle = "Montage not kept";
std::string unkeptMontageText(const std::string& why);

// A project name in `folder` for a montage kept at `when` (local time), not yet taken there:
// "unsaved montage 2026-12-09 01-30-00.mon", with " 2", " 3", ... added when it is. The name is
// taken by making an empty file under it, so that no other copy of the program is given it too.
std::string recoveryProjectName(const std::string& folder, std::time_t when);

} // namespace orv
