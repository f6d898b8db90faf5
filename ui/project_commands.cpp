// The main window's project commands: "Save a Project", a montage window's "Save project", and
// "Load a Project", which puts the project's settings in the controls, reloads the series through
// Make Montage in project mode and shows the stored montage, map and properties.
#include "ui/form_montage.h"

#include "base/runtime_error.h"
#include "base/text.h"
#include "input/picture_file.h"
#include "output/bgr_image.h"
#include "output/bmp_writer.h"
#include "settings/project_file.h"
#include "ui/busy_cursor.h"
#include "ui/montage_windows.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>

namespace orv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

bool isAbsolute(const std::string& name) { return !name.empty() && name[0] == '/'; }

} // namespace

void FormMontage::mnuSave_Click() { saveProject(windows_->montageWindow(), true); }

void FormMontage::mnuSaveProject_Click(FormMontagePicture* window) { saveProject(window, false); }

void FormMontage::saveProject(FormMontagePicture* window, bool fromMain) {
    const char* routine = fromMain ? "mnuSave" : "mnuSaveProject";
    try {
        if (fromMain && !window->isVisible()) {
            prompter_.ask(PromptIcon::Exclamation, kNoProjectMontageText, kNoProjectMontageTitle);
            return;
        }
        std::string name = textFileName_->text().toStdString();
        if (fromMain && !isAbsolute(name)) {
            name = state_.programFolder + name;
            textFileName_->setText(qs(name));
        }
        dialog_.Filter = QString::fromLatin1(kProjectFilter);
        dialog_.FileName = qs(proposedProjectName(name));
        dialog_.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
        if (!fromMain) dialog_.InitDir = qs(state_.programFolder);
        // A cancelled choice saves nothing.
        if (!dialog_.ShowSave()) return;
        const std::string project = completedProjectName(trimBlanks(dialog_.FileName.toStdString()));
        if (project.empty()) return;

        // The text of the montage this window shows: a comparison window has its own.
        std::string text = state_.montage.propertiesText;
        if (window != windows_->montageWindow())
            if (const std::optional<int> k = windows_->comparisonIndexOf(window))
                text = state_.montage.comparisonProperties[std::size_t(*k)];
        // The picture first: a project file is never left without its montage.
        BusyCursor busy;
        writeBmp24(projectBitmapName(project), BgrImage(window->PictureFile()->picture()).view());
        writeProjectFile(project, text);
        AddRecentFile(projectRecentEntry(project));
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, routine), kGenericErrorTitle);
    }
}

void FormMontage::mnuOpenProject_Click() {
    RunningCommand running(running_);
    openProject();
}

void FormMontage::openProject() {
    try {
        // The project: named by a recent entry in the file-name box, or chosen in the Open dialog.
        const std::string box = textFileName_->text().toStdString();
        std::string project;
        if (const std::optional<std::string> recent = projectFromRecentEntry(box)) {
            project = *recent;
        } else {
            dialog_.Filter = QString::fromLatin1(kProjectFilter);
            dialog_.FileName.clear();
            dialog_.InitDir = qs(box);
            dialog_.Flags = kFlagHideReadOnly;
            // A cancelled choice opens nothing.
            if (!dialog_.ShowOpen()) return;
            project = trimBlanks(dialog_.FileName.toStdString());
        }
        if (!isAbsolute(project)) project = state_.programFolder + project;
        if (!QFileInfo(qs(project)).isFile()) {
            prompter_.ask(PromptIcon::Critical, kMissingProjectText, kMissingProjectTitle);
            textFileName_->clear();
            return;
        }
        AddRecentFile(projectRecentEntry(project));

        // The settings, into the controls (the new file name clears the ignore ticks).
        const ProjectSettings s = readProjectSettings(project);
        textFileName_->setText(qs(s.firstFileName));
        setMontageMethod(s.method);
        textIncrement_->setText(qs(s.incrementText));
        if (s.automaticAlignment) setAlignment(true, action(Command::MatchColours)->isChecked());
        if (s.usesOffsets) {
            switchOffsets(true);
            for (int i = 1; i <= kMaxPictures; ++i)
                if (const auto& t = s.targets[std::size_t(i)]) windows_->sourceWindow(i)->centreTargetOn(t->first, t->second);
            ShowOffsetStatus();
            const Command area = s.area == ProjectArea::Minimum   ? Command::AreaMinimum
                                 : s.area == ProjectArea::Maximum ? Command::AreaMaximum
                                 : s.area == ProjectArea::Same    ? Command::AreaSame
                                                                  : Command::None;
            if (area != Command::None)
                for (Command c : {Command::AreaSame, Command::AreaMinimum, Command::AreaMaximum})
                    action(c)->setChecked(c == area);
        }
        for (int i = 0; i < 10; ++i) mnuignoreImage(i)->setChecked(s.ignored[std::size_t(i)]);

        // The series, loaded by Make Montage without computing a montage.
        state_.projectFlag = true;
        session_->makeMontage();
        state_.projectFlag = false; // also when Make Montage stopped before it came to the flag

        // The stored properties, map and montage picture.
        BusyCursor busy;
        const ProjectContents c = readProjectContents(project);
        MontageState& ms = state_.montage;
        ms.propertiesText = c.propertiesText;
        ms.map = c.map;
        FormUsed* used = windows_->usedWindow();
        used->setMapText(c.map);
        QImage stored;
        const DecodeStatus st = decodePicture(projectBitmapName(project), stored);
        if (st != DecodeStatus::Ok) throw RuntimeError(st == DecodeStatus::Missing ? 53 : 481);
        FormMontagePicture* montage = windows_->montageWindow();
        montage->PictureFile()->setPicture(std::move(stored));
        // Slot 100 does not hold this picture: smoothing reads it from the window.
        ms.mainSlotStale = true;
        if (!montage->isVisible()) {
            montage->fitToPicture();
            montage->show();
        }
        montage->raise();
        used->fitHeightToText();
        RefreshWindowMenus();
    } catch (...) {
        state_.projectFlag = false;
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "mnuOpenProject"), kGenericErrorTitle);
    }
}

} // namespace orv
