// The project commands: the names and dialogs here, the files in the session.
#include "ui/project_commands.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "retouch/strokes_file.h"
#include "session/montage_session.h"
#include "settings/project_file.h"
#include "settings/recovery.h"
#include "ui/busy_cursor.h"
#include "ui/montage_windows.h"
#include "ui/path_text.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>

namespace orv {

namespace {

// Captions and names keep their bytes (see path_text.h).
QString qs(const std::string& s) { return pathText(s); }

bool isAbsolute(const std::string& name) { return !name.empty() && name[0] == '/'; }

// Nothing is there under the name (or a folder on its way is gone): not a file that is only
// unreadable now, or of another kind.
bool projectGone(const std::string& project) {
    struct stat st{};
    return ::stat(project.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// What to tell when one of `files` stands for a picture of the session's series; empty when none does.
std::string seriesPictureAmong(const std::vector<std::string>& files, const MontageSession& session) {
    for (const std::string& file : files)
        if (const int picture = session.seriesPictureNamed(file)) return seriesPictureText(file, picture);
    return {};
}

// Adds the recent entry of `project` when that entry opens this project again. An entry stands
// for the name with ".mon" at its end, so a project saved under another ending (rock01.prj) would
// have its entry open another file (rock01.mon): it gets none. Nor does a project the program
// kept in its state folder when it was told to end: it is removed once it is saved or let go.
void addRecentProject(MontageView& view, const std::string& project) {
    if (inRecoveryFolder(project)) return;
    const std::string entry = projectRecentEntry(project);
    if (projectFromRecentEntry(entry) == project) view.addRecentFile(entry);
}

} // namespace

void ProjectCommands::save(FormMontagePicture* window, bool fromMain) {
    const char* routine = fromMain ? kSaveProjectRoutine : kSaveWindowProjectRoutine;
    try {
        if (fromMain && !window->isVisible()) {
            c_.prompter.ask(PromptIcon::Exclamation, kNoProjectMontageText, kNoProjectMontageTitle);
            return;
        }
        std::string name = c_.view.shownFileName();
        if (fromMain && !isAbsolute(name)) {
            name = c_.state.programFolder + name;
            c_.view.showFileName(name);
        }
        c_.dialog.Filter = QString::fromLatin1(kProjectFilter);
        c_.dialog.FileName = qs(proposedProjectName(name));
        if (!fromMain) c_.dialog.InitDir = qs(c_.state.programFolder);
        // The choice is checked as the file it will really be, ".mon" added, before the user is
        // asked whether that file may be replaced.
        const auto check = [&](const QString& chosen) -> std::optional<QString> {
            const std::string project = completedProjectName(trimBlanks(pathBytes(chosen)));
            if (project.empty()) return qs(project);
            // The project's text may not replace its own bitmap: the name is asked again.
            if (projectIsItsOwnBitmap(project)) {
                c_.prompter.ask(PromptIcon::Exclamation, projectIsItsOwnBitmapText(project), kProjectNameTitle);
                return std::nullopt;
            }
            // None of the project's files may replace a picture of the series: the name is asked again.
            const std::string refused = seriesPictureAmong(
                {project, projectBitmapName(project), retouch::strokesNameFor(project)}, c_.session);
            if (refused.empty()) return qs(project);
            c_.prompter.ask(PromptIcon::Exclamation, refused, kSeriesPictureTitle);
            return std::nullopt;
        };
        c_.dialog.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
        // A cancelled choice saves nothing.
        if (!c_.dialog.ShowSave(check)) return;
        const std::string project = pathBytes(c_.dialog.FileName);
        if (project.empty()) return;
        BusyCursor busy;
        const MontageChoice which{fromMain ? std::nullopt : window->comparison()};
        c_.session.saveProject(which, project);
        c_.session.montageKept(which);
        addRecentProject(c_.view, project);
    } catch (...) {
        c_.reportError(routine);
    }
}

void ProjectCommands::open(const MontageRequest& current, const std::optional<std::string>& chosen) {
    std::string project;
    try {
        // The project: named by a recent entry in the file-name box, or chosen in the Open dialog.
        const std::string box = c_.view.shownFileName();
        bool fromRecent = false;
        if (chosen) {
            project = trimBlanks(*chosen);
        } else if (const std::optional<std::string> recent = projectFromRecentEntry(box)) {
            project = *recent;
            fromRecent = true;
        } else {
            c_.dialog.Filter = QString::fromLatin1(kProjectFilter);
            c_.dialog.FileName.clear();
            c_.dialog.InitDir = qs(box);
            c_.dialog.Flags = kFlagHideReadOnly;
            // A cancelled choice opens nothing.
            if (!c_.dialog.ShowOpen()) return;
            project = trimBlanks(pathBytes(c_.dialog.FileName));
        }
        if (!isAbsolute(project)) project = c_.state.programFolder + project;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(project, ec)) {
            c_.prompter.ask(PromptIcon::Critical, kMissingProjectText, kMissingProjectTitle);
            c_.view.showFileName("");
            // A project that is gone leaves no entry behind that would only fail again, as a
            // series whose first file is gone leaves none: the entry it has, and the one it was
            // opened from when that was spelt otherwise.
            if (projectGone(project)) {
                const std::string entry = projectRecentEntry(project);
                c_.view.forgetRecentFile(entry);
                if (fromRecent && box != entry) c_.view.forgetRecentFile(box);
            }
            return;
        }
        // A file that names no series would reset every control and then fail to load "0": it is
        // refused before anything is changed.
        const std::string series = readProjectSettings(project).firstFileName;
        if (series.empty() || series == "0") {
            c_.prompter.ask(PromptIcon::Critical, kNotProjectText, kMissingProjectTitle);
            return;
        }
        addRecentProject(c_.view, project);
    } catch (...) {
        c_.reportError(kOpenProjectRoutine);
        return;
    }
    if (c_.session.openProject(project, current) != ProjectOutcome::Opened) return;
    FormMontagePicture* montage = c_.windows.montageWindow();
    if (!montage->isVisible()) {
        montage->fitToPicture();
        montage->show();
    }
    montage->raise();
    c_.windows.usedWindow()->fitHeightToText();
    c_.view.refreshWindowMenus();
}

} // namespace orv
