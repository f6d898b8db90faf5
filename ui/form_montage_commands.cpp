// The main window's commands: the lock every command runs under, the dispatch of the menu entries,
// buttons and picture windows' commands, the request the controls make, and the files opened by
// Browse, a drop on the window and the recent list.
#include "ui/form_montage.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "settings/project_file.h"
#include "ui/beep.h"
#include "ui/form_about.h"
#include "ui/help_window.h"
#include "ui/path_text.h"
#include "ui/run_progress.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <utility>

namespace orv {

// --- commands and the lock -------------------------------------------------------------------

class FormMontage::CommandRun {
public:
    explicit CommandRun(FormMontage& f) : f_(f) {
        // A command changes the work: an answer given when the desktop session began to end no longer holds.
        f_.sessionEndLetGo_.reset();
        if (f_.running_++ == 0) {
            // A stroke the left button is still painting ends before the command changes the
            // montage or the pictures it paints from (a shortcut or the context menu mid-drag).
            f_.retouch_->endStrokeUnderway();
            f_.lockControls(true);
            f_.progress_->start();
        }
    }
    ~CommandRun() {
        if (--f_.running_ == 0) {
            f_.progress_->finish();
            f_.lockControls(false);
            if (f_.closing_) f_.windows_->hideAll();
            f_.closing_ = false;
            f_.savingNow_ = false;
            // Closed while a file was being written: it closes now, asking what is still unsaved.
            if (f_.closeAfterRun_) {
                f_.closeAfterRun_ = false;
                QTimer::singleShot(0, &f_, [&f = f_] { f.close(); });
            }
            // However the command ended (made, stopped, refused, failed part way), the "Window"
            // menus list the windows on screen now, never those of a series that has gone.
            f_.refreshWindowMenus();
        }
    }
    CommandRun(const CommandRun&) = delete;
    CommandRun& operator=(const CommandRun&) = delete;

private:
    FormMontage& f_;
};

template <typename F> void FormMontage::runLocked(F&& command) {
    // A command that would start while another runs is refused: that one still works on the
    // arrays, the records and the windows.
    if (running_ > 0) {
        beep();
        return;
    }
    CommandRun run(*this);
    command();
}

bool FormMontage::mayCloseMontageWindow(FormMontagePicture* w) {
    if (letGoAtSessionEnd()) return true;
    if (running_ > 0) {
        if (output_->unkeptStrokes(w) == 0) return true;
        beep();
        return false;
    }
    CommandRun run(*this);
    return output_->mayCloseMontageWindow(w);
}

template <typename F> void FormMontage::withRequestLocked(F&& command) {
    // A request that cannot be read (a target beyond 16 bits) is the montage's error.
    runLocked([&] {
        std::optional<MontageRequest> r;
        try {
            r = readRequest();
        } catch (...) {
            prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), kLineDisplayArea, kMontageRoutine),
                          kGenericErrorTitle);
            return;
        }
        command(*r);
    });
}

void FormMontage::lockControls(bool locked) {
    // The commands that start another run are disabled, and the boxes are read-only, until the
    // command ends; everything else (the windows, the view menus) still answers.
    static constexpr Command kRunCommands[] = {Command::Browse,          Command::Load,
                                               Command::OpenProject,     Command::SaveProject,
                                               Command::MakeMontage,     Command::SaveMontageAs,
                                               Command::CompareAllMethods, Command::EvaluateIncrements,
                                               Command::EvaluateAll,     Command::Smooth,
                                               // The montage on screen is half made: what these
                                               // would hand over is not what the window shows.
                                               Command::CopyMontage,     Command::EditMontage,
                                               Command::PrintMontage,    Command::PrintMontageFit,
                                               Command::PrintMontageHalf};
    for (Command c : kRunCommands)
        if (QAction* a = action(c)) a->setEnabled(!locked);
    for (QAction* a : actions_.recentFiles) a->setEnabled(!locked);
    commandGo_->setEnabled(!locked);
    commandBrowse_->setEnabled(!locked);
    textFileName_->setReadOnly(locked);
    textIncrement_->setReadOnly(locked);
}

MontageRequest FormMontage::readRequest() const {
    MontageRequest r;
    r.firstFileName = pathBytes(textFileName_->text());
    r.incrementText = textIncrement_->text().toStdString();
    r.method = FocusMethod(montageMethod());
    for (int i = 0; i < 10; ++i) r.ignored[std::size_t(i)] = mnuignoreImage(i)->isChecked();
    r.useOffsets = action(Command::UseOffsets)->isChecked();
    if (r.useOffsets) r.targets = windows_->targetCentres();
    r.align = action(Command::AlignImages)->isChecked();
    r.colourMatch = action(Command::MatchColours)->isChecked();
    r.area = offsets_->area();
    r.smoothing = state_.smoothing;
    return r;
}

void FormMontage::runCommand(Command c) {
    auto withRequest = [this](auto&& command) { withRequestLocked(command); };
    // The commands that make new montages ask before a retouched one is thrown away, and before an
    // unsaved one of another series is (see mayReplaceMontage).
    auto replacing = [this, &withRequest](auto&& command) {
        withRequest([&](const MontageRequest& r) {
            if (!mayReplaceMontage(r)) return;
            command(r);
            retouch_->montageReplaced();
        });
    };
    switch (c) {
    case Command::Browse: runLocked([this] { browse(); }); break;
    case Command::Load:
        runLocked([this] {
            if (output_->mayDiscardMontage()) loadCommand();
        });
        break;
    case Command::MakeMontage: replacing([this](const MontageRequest& r) { montage_->make(r); }); break;
    case Command::Smooth: withRequest([this](const MontageRequest& r) { montage_->smooth(r); }); break;
    case Command::CompareAllMethods:
        replacing([this](const MontageRequest& r) {
            int checked = -1;
            for (int i = 0; i < kMethodCount && checked < 0; ++i)
                if (mnusimpleCol(i)->isChecked()) checked = i;
            montage_->compareAllMethods(r, checked);
        });
        break;
    case Command::EvaluateIncrements: replacing([this](const MontageRequest& r) { montage_->evaluateIncrements(r); }); break;
    case Command::EvaluateAll: replacing([this](const MontageRequest& r) { montage_->evaluateAll(r); }); break;
    case Command::UseOffsets: offsets_->useOffsetsClicked(); break;
    case Command::AlignImages: offsets_->alignClicked(); break;
    case Command::MatchColours: offsets_->rememberAlignment(); break;
    case Command::SaveProject: runLocked([this] { projects_->save(windows_->montageWindow(), true); }); break;
    case Command::OpenProject:
        withRequest([this](const MontageRequest& r) {
            if (!output_->mayDiscardMontage()) return;
            projects_->open(r);
            retouch_->montageReplaced();
        });
        break;
    case Command::AreaMinimum:
    case Command::AreaMaximum:
    case Command::AreaSame: offsets_->areaClicked(action(c)); break;
    case Command::Help: showHelp(this); break;
    case Command::Contact: openContactPage(&prompter_); break;
    case Command::About: {
        FrmAbout about(prompter_, this);
        about.exec();
        break;
    }
    case Command::Exit: close(); break;
    case Command::EditMontage:
        handToEditor(MontageChoice{}, [this, c] { runLocked([this, c] { output_->runMontageFileCommand(c); }); });
        break;
    case Command::SaveMontageAs:
    case Command::CopyMontage:
    case Command::PrintMontage:
    case Command::PrintMontageFit:
    case Command::PrintMontageHalf: runLocked([this, c] { output_->runMontageFileCommand(c); }); break;
    case Command::SelectPrinter: output_->runMontageFileCommand(c); break;
    case Command::Preferences: {
        std::vector<std::string> captions;
        for (int i = 0; i < kMethodCount; ++i) captions.push_back(mnusimpleCol(i)->text().remove(QLatin1Char('&')).toStdString());
        output_->preferences(captions, [this](std::uint32_t colour) {
            state_.targetColor = colour;
            setTargetColor(colour);
        });
        break;
    }
    default: break;
    }
}

void FormMontage::runSourceCommand(Command c, FormPicture* window) {
    switch (c) {
    case Command::PicturePreview:
        runLocked([&] { montage_->previewSource(window, readRequest().ignored); });
        break;
    case Command::PictureTargetColor: offsets_->chooseTargetColor(); break;
    case Command::PicturePlaceTarget: offsets_->placeTarget(window); break;
    case Command::PictureSaveAs: runLocked([&] { output_->runPictureCommand(c, window, std::nullopt); }); break;
    default: output_->runPictureCommand(c, window, std::nullopt); break;
    }
}

void FormMontage::runMontageCommand(Command c, FormMontagePicture* window) {
    const MontageChoice which{window->comparison()};
    switch (c) {
    case Command::PictureSmooth: runLocked([&] { montage_->smooth(readRequest(), window); }); break;
    case Command::PictureProperties: montage_->properties(window); break;
    case Command::PictureSaveProject: runLocked([&] { projects_->save(window, false); }); break;
    case Command::PictureSaveDepthMap: runLocked([&] { output_->saveDepthMap(window); }); break;
    case Command::Retouch: retouch_->setMode(window, retouch_->window() != window); break;
    case Command::RetouchBrush: retouch_->chooseBrush(); break;
    case Command::UndoRetouch: runLocked([&] { retouch_->undo(window); }); break;
    case Command::RedoRetouch: runLocked([&] { retouch_->redo(window); }); break;
    case Command::ClearRetouch: runLocked([&] { retouch_->clear(window); }); break;
    case Command::PicturePreview: runLocked([&] { montage_->previewMontage(window, readRequest().ignored); }); break;
    case Command::PictureEditor:
        handToEditor(which, [&] { runLocked([&] { output_->runPictureCommand(c, window, which); }); });
        break;
    // Saving, copying, printing or editing a montage waits for a run that is making one.
    default: runLocked([&] { output_->runPictureCommand(c, window, which); }); break;
    }
}

void FormMontage::handToEditor(const MontageChoice& which, const std::function<void()>& command) {
    handedNow_.clear();
    const std::uint64_t before = session_->lastKeeping();
    command();
    const std::vector<std::string> handed = std::exchange(handedNow_, {});
    // The command kept the montage once it had started an editor on its file.
    const std::vector<std::uint64_t>& kept = session_->record(which).keptBy;
    if (handed.size() == 1 && session_->lastKeeping() > before && !kept.empty() && kept.back() == session_->lastKeeping())
        editorHandOffs_.push_back({handed.front(), which, kept.back()});
    // Those whose keeping no longer holds (saved since, changed, made anew) have nothing to take back.
    std::erase_if(editorHandOffs_, [this](const EditorHandOff& h) {
        const std::vector<std::uint64_t>& k = session_->record(h.which).keptBy;
        return std::find(k.begin(), k.end(), h.keeping) == k.end();
    });
}

bool FormMontage::mayReplaceMontage(const MontageRequest& r) {
    // A montage of another series is asked about as Load and Open ask: it cannot be made again
    // from what is on screen. Nor can one whose series was re-shot since (the camera wrote new
    // pictures under the same names): it is the only record of the old pictures. Made again from
    // the same unchanged series (another method or block side) the new montage is what the user
    // asked for; only strokes, which cannot be made again, are asked about then.
    // (That question covers its strokes and those of the comparison montages too.)
    if ((session_->namesAnotherSeries(r) || session_->seriesChangedSinceMainMontage(r)) &&
        session_->mainMontageUnsaved() && windows_->montageWindow()->isVisible())
        return output_->mayDiscardMontage();
    return retouch_->confirmNewMontage();
}

LoadOutcome FormMontage::loadCommand() {
    // The controls are locked and Cancel answers for the whole Load, also the one start-up runs.
    CommandRun run(*this);
    return montage_->load(pathBytes(textFileName_->text()));
}

MakeOutcome FormMontage::makeMontage() {
    CommandRun run(*this);
    return montage_->make(readRequest());
}

void FormMontage::browse() {
    try {
        dialog_.Filter = QString::fromLatin1(kPictureFilter);
        dialog_.FileName = textFileName_->text();
        dialog_.InitDir = textFileName_->text();
        dialog_.Flags = kFlagHideReadOnly;
        // A cancelled choice loads nothing: the series on screen stays as it is.
        if (!dialog_.ShowOpen()) return;
        if (!output_->mayDiscardMontage()) return;
        textFileName_->setText(dialog_.FileName);
    } catch (...) {
        prompter_.ask(PromptIcon::Critical, genericErrorText(currentError(), 0, "CommandBrowse"), kGenericErrorTitle);
        return;
    }
    loadCommand();
}

namespace {

// The one local file a drag carries; none for several files, a folder or something else.
std::optional<std::string> droppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1) return std::nullopt;
    const QUrl url = data->urls().first();
    if (!url.isLocalFile()) return std::nullopt;
    const std::string path = pathBytes(url.toLocalFile());
    std::error_code ec;
    if (path.empty() || std::filesystem::is_directory(path, ec)) return std::nullopt;
    return path;
}

} // namespace

void FormMontage::dragEnterEvent(QDragEnterEvent* e) {
    if (droppedFile(e->mimeData())) e->acceptProposedAction();
}

void FormMontage::dropEvent(QDropEvent* e) {
    const std::optional<std::string> path = droppedFile(e->mimeData());
    if (!path) return;
    e->acceptProposedAction();
    // Opened once the drop has ended: the file manager it came from is not held by our questions.
    QTimer::singleShot(0, this, [this, p = *path] { openDroppedFile(p); });
}

void FormMontage::openDroppedFile(const std::string& path) {
    if (isProjectFileName(path)) {
        withRequestLocked([this, &path](const MontageRequest& r) {
            if (!output_->mayDiscardMontage()) return;
            projects_->open(r, path);
            retouch_->montageReplaced();
        });
        return;
    }
    runLocked([this, &path] {
        if (!output_->mayDiscardMontage()) return;
        textFileName_->setText(pathText(path));
        loadCommand();
    });
}

void FormMontage::openRecentFile(int index) {
    runLocked([this, index] {
        if (!output_->mayDiscardMontage()) return;
        // The entry's name as the list holds it: the menu's text is only what is shown.
        const std::string caption = state_.recent.caption(index);
        textFileName_->setText(pathText(caption));
        if (caption.rfind("project ", 0) == 0) {
            projects_->open(readRequest());
            // As after Load a Project: retouching goes on from a picture the project's series has.
            retouch_->montageReplaced();
            return;
        }
        if (caption.empty() || caption[0] != '/') textFileName_->setText(pathText(state_.programFolder + caption));
        // Only a series that loaded goes back to the top: a missing one was just blanked.
        if (loadCommand() == LoadOutcome::Loaded) addRecentFile(shownFileName());
    });
}

} // namespace orv
