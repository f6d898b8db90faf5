// The main window's own events: the increment box's focus, the first activation, the layout kept
// in sight of the controls, the desktop session's end and closing.
#include "ui/form_montage.h"

#include "base/file_identity.h"
#include "retouch/strokes_file.h"
#include "settings/preferences.h"
#include "settings/profile_file.h"
#include "settings/project_file.h"
#include "settings/recovery.h"
#include "ui/help_window.h"
#include "ui/main_background.h"
#include "ui/run_progress.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <QToolButton>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <utility>

namespace orv {

bool FormMontage::eventFilter(QObject* watched, QEvent* e) {
    // The increment box selects its whole text when it gets the focus, also by a click (the
    // click's own cursor placement comes first, so the selection is made just after it).
    if (watched == textIncrement_ && e->type() == QEvent::FocusIn)
        QTimer::singleShot(0, textIncrement_, [box = textIncrement_] { box->selectAll(); });
    // The menu bar, once Alt or F10 has given it the keyboard, moves between its menus by the
    // arrows: the picture scroll keys are not taken from it.
    if (watched == menuBar() && e->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
            e->accept();
            return true;
        }
    }
    // While a montage is retouched, Ctrl+Z and Ctrl+Y in a text box undo and redo its strokes (the
    // window's own keys) once the box has none of its own typing left to undo or redo: the keyboard
    // stays in this window while painting.
    if (e->type() == QEvent::ShortcutOverride && retouch_->active() &&
        (watched == textIncrement_ || watched == textFileName_)) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (isUndoRedoKey(*k) && !textBoxKeepsKey(watched, *k)) {
            k->ignore();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, e);
}

void FormMontage::editorFailed(const std::string& file) {
    // The montage counts as unsaved again, as it did before it was handed on; quitting or loading
    // another series asks about it.
    for (auto h = editorHandOffs_.begin(); h != editorHandOffs_.end(); ++h)
        if (h->file == file) {
            session_->keepingFailed(h->which, h->keeping);
            editorHandOffs_.erase(h);
            return;
        }
}

// --- start-up events ------------------------------------------------------------------------

void FormMontage::Form_Load() {
    makeBackground();
    if (readProfileNumber(state_.preferences, kPreferencesSection, "Load images") != 0) loadCommand();
}

void FormMontage::Form_Activate() {
    if (!state_.firstActivation) return;
    state_.firstActivation = false;
    // What starts now may show pictures, cascaded below this window's frame, and messages; a
    // window closed while its frame was awaited starts nothing.
    const bool shown = isVisible();
    waitForFrame();
    if (shown && !isVisible()) return;
    if (offerRecoveredMontage()) {
        state_.projectOnCommandLine.clear();
        state_.startupFlag = false;
        return;
    }
    if (!state_.projectOnCommandLine.empty()) {
        // A project named on the command line opens as one dropped on the window.
        openDroppedFile(std::exchange(state_.projectOnCommandLine, {}));
        state_.startupFlag = false;
        return;
    }
    // The series loads at the first activation when the command line named a file, or when the
    // preferences ask for the last series ("Load images on start up").
    if (state_.fileOnCommandLine || readProfileNumber(state_.preferences, kPreferencesSection, "Load images") != 0)
        loadCommand();
    // Start-up is over either way: from now on a missing series is said.
    state_.startupFlag = false;
}

void FormMontage::waitForFrame() {
    // An X11 window manager frames the window a moment after it first shows, and only then does
    // this window know where its frame's bottom edge is; until then it would take its client area
    // for its frame, and the first pictures of a series loaded now would come up a title bar's
    // height too high, over its bottom edge. A window manager that draws no frame (or none at
    // all) costs the start half a second.
    if (!isVisible() || QGuiApplication::platformName() != QLatin1String("xcb") ||
        windowFlags().testFlag(Qt::FramelessWindowHint) || isFullScreen())
        return;
    QElapsedTimer waited;
    waited.start();
    while (isVisible() && frameGeometry() == geometry() && waited.elapsed() < 500) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
}

void FormMontage::keepControlsInSight() {
    // In a large font the increment's caption grows leftwards from its box; the file-name box gives
    // up the room it needs, so that the caption does not cover the Browse button.
    if (const auto* label1 = centralWidget()->findChild<QLabel*>(QStringLiteral("Label1"))) {
        const int overlap = commandBrowse_->geometry().right() + 6 - label1->x();
        if (overlap > 0) {
            commandBrowse_->move(commandBrowse_->x() - overlap, commandBrowse_->y());
            textFileName_->resize(std::max(100, textFileName_->width() - overlap), textFileName_->height());
        }
    }
    // However small the window is made, the controls (as the screen layout placed them) stay.
    const QRect controls = centralWidget()->childrenRect() | commandGo_->geometry();
    // The menu and status bars as they are laid out, which is as large as their hints say or
    // larger: a hint lags behind the font the screen layout has just scaled until their layouts
    // run again.
    const int laidOut = centralWidget()->isVisible() ? height() - centralWidget()->height() : 0;
    const int chrome = std::max(laidOut, menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    const QPoint at = pos();
    const QSize before = size();
    setMinimumSize(controls.right() + 12, controls.bottom() + 6 + chrome);
    // Grown to its minimum as it first shows (a layout scaled down for a small screen), before the
    // window manager has framed it, the window would be put with its inside where its frame was
    // asked to be: its title bar above the screen's top edge. Its frame goes where it was asked.
    if (size() != before && windowHandle()) windowHandle()->setFramePosition(at);
}

bool FormMontage::event(QEvent* e) {
    if (e->type() == QEvent::Show) keepControlsInSight();
    if (e->type() == QEvent::WindowActivate && state_.firstActivation) {
        // Run after the activation has been delivered, so the window is up when messages show.
        QTimer::singleShot(0, this, &FormMontage::Form_Activate);
    }
    const bool handled = QMainWindow::event(e);
    // With a scaled font the bars grow when their layouts next run, after the window is shown; on a
    // screen wider than 4:3 they grow more than the window did and would cut the strip's controls.
    if (e->type() == QEvent::LayoutRequest && isVisible()) keepControlsInSight();
    return handled;
}

void FormMontage::makeBackground() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    background_ = tiledBackground(image1_->pixmap(), image1_->size(), screen ? screen->geometry().size() : QSize(1024, 768));
    QPalette pal = centralWidget()->palette();
    pal.setBrush(QPalette::Window, QBrush(background_));
    centralWidget()->setPalette(pal);
    centralWidget()->setAutoFillBackground(true);
}

int FormMontage::fileBoxBottom() const {
    // The box's bottom in the client area, counted from the main window's outer top edge; the
    // cascade adds the caption and menu-bar heights above the client area.
    const int box = frameGeometry().top() + textFileName_->geometry().bottom() + 1;
    // Below the controls this window has its progress strip with Cancel: where the first picture
    // window would cover it, the whole cascade moves down to start below this window's bottom edge.
    const int firstTop = box + state_.layout.captionHeight + state_.layout.menuBarHeight + 20;
    return box + std::max(0, frameGeometry().bottom() + 1 - firstTop);
}

int FormMontage::goButtonBottom() const {
    // Just below the button, but never over the progress strip under it.
    return std::max(commandGo_->mapToGlobal(QPoint(0, commandGo_->height())).y(), frameGeometry().bottom() + 1);
}

bool FormMontage::letGoAtSessionEnd() const { return sessionEndLetGo_ && *sessionEndLetGo_ == output_->unkeptWork(); }

bool FormMontage::mayEndSession(const std::function<bool()>& allowsInteraction) {
    sessionEndLetGo_.reset();
    // Nothing to ask about: the session manager is not kept waiting for leave to ask.
    if (output_->unkeptWork() == 0) return true;
    // Without leave to show a question nothing can be saved: the session ends as it must.
    if (!allowsInteraction()) return true;
    if (!output_->mayDiscardMontage()) return false;
    sessionEndLetGo_ = output_->unkeptWork();
    return true;
}

void FormMontage::closeEvent(QCloseEvent* e) {
    // A file being written is finished first: stopped, the file the user asked for would not be
    // written, and the montage being saved would be asked about as unsaved. The window closes
    // once the command has ended (Cancel in the strip still stops the writing).
    if (running_ > 0 && savingNow_) {
        closeAfterRun_ = true;
        e->ignore();
        return;
    }
    // An unsaved montage is not thrown away without a question; Cancel keeps the program. One the
    // user let go as the desktop session began to end is not asked about again as it ends.
    if (!letGoAtSessionEnd() && !output_->mayDiscardMontage()) {
        e->ignore();
        return;
    }
    // Each kept project opened at this start was saved or let go with that answer.
    settleRecoveredProjects(true);
    output_->tellEditedFiles();
    closeHelp();
    // A command still under way stops at its next picture, block row or band rather than running
    // on out of sight; the windows it would show again are hidden once it has ended.
    if (running_ > 0) {
        progress_->requestStop();
        closing_ = true;
    }
    windows_->hideAll();
    e->accept();
    QCoreApplication::processEvents();
    if (state_.quit) state_.quit();
}

// --- the program told to end -------------------------------------------------------------------

void FormMontage::endOnSignal(int signal) {
    if (endingSignal_ != 0) return;
    endingSignal_ = signal;
    // A run stops at its next picture or row; a file being written is finished first.
    if (running_ > 0 && !savingNow_) progress_->requestStop();
    finishEndingOnSignal();
}

void FormMontage::finishEndingOnSignal() {
    // A question or dialog waiting for the user is closed as Cancel would close it; the command it
    // belongs to then ends.
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    if (running_ > 0 || QApplication::activeModalWidget()) {
        if (running_ > 0 && !savingNow_) progress_->requestStop();
        QTimer::singleShot(20, this, [this] { finishEndingOnSignal(); });
        return;
    }
    keepUnsavedMontage();
    closeHelp();
    windows_->hideAll();
    hide();
    if (state_.quit) state_.quit();
}

void FormMontage::keepUnsavedMontage() {
    // What closing would ask about: the main montage, made or changed and still on screen.
    if (!session_->mainMontageUnsaved() || !windows_->montageWindow()->isVisible()) {
        // A kept project opened at this start and saved or let go since is not offered again.
        settleRecoveredProjects(false);
        return;
    }
    // Written as a run of its own: the stop asked of the run that was under way is not this save's.
    progress_->start();
    bool kept = false;
    std::string lost; // why nothing could be kept
    const std::string folder = recoveryFolder();
    try {
        // A folder that cannot be made, or that others may enter, keeps nothing.
        if (makePrivateRecoveryFolder(folder, &lost)) {
            const std::string project = recoveryProjectName(folder, std::time(nullptr));
            try {
                session_->saveProject(MontageChoice{}, project);
            } catch (...) {
                // The empty file that took the name goes with the save that failed.
                std::error_code ec;
                if (std::filesystem::is_regular_file(project, ec) && std::filesystem::file_size(project, ec) == 0)
                    std::filesystem::remove(project, ec);
                throw;
            }
            // The pictures it was made from, so that a series re-shot before the next start is
            // asked about there; without them the project is still kept.
            try {
                writePictureStamps(pictureStampsNameFor(project), session_->record(MontageChoice{}).madeFrom);
            } catch (...) {
            }
            // Another copy of the program ended at the same time keeps its own project under a key
            // of its own: each is offered at the next start.
            kept = rememberRecoveredProject(state_.preferences, project);
        }
    } catch (...) {
        lost = recoveryFailure(folder, currentError().description());
    }
    progress_->finish();
    // Nobody is there to answer now: the program ends as it was asked to, and the next start says
    // that the montage is lost.
    if (!lost.empty()) noteUnkeptMontage(state_.preferences, lost);
    // A kept project opened at this start is in the new one, with whatever was done to it since.
    // When nothing could be kept, it is offered at the next start once more.
    if (kept) settleRecoveredProjects(true, true);
    else
        for (const RecoveredProject& opened : recoveredOpen_) rememberRecoveredProject(state_.preferences, opened.project);
}

void FormMontage::settleRecoveredProjects(bool answered, bool all) {
    const MontageRecord& main = session_->record(MontageChoice{});
    for (auto it = recoveredOpen_.begin(); it != recoveredOpen_.end();) {
        const auto& [project, openedAs, stamp] = *it;
        // Its montage still on screen and not saved, and not asked about: it is still the only copy.
        // One whose window the user closed was let go, as any montage closed without saving is.
        const bool unsettled = !main.empty() && main.project == openedAs && main.unsaved &&
                               windows_->montageWindow()->isVisible() && !answered;
        if (unsettled && !all) {
            ++it;
            continue;
        }
        forgetRecoveredProject(state_.preferences, project);
        // Only a project the program kept itself, as it kept it: one the user saved under its name
        // since is the user's.
        if (inRecoveryFolder(project) && stampPictureFile(project) == stamp) {
            std::error_code ec;
            for (const std::string& file : {projectBitmapName(project), retouch::strokesNameFor(project),
                                            pictureStampsNameFor(project), project})
                std::filesystem::remove(file, ec);
        }
        it = recoveredOpen_.erase(it);
    }
}

bool FormMontage::offerRecoveredMontage() {
    // Offered once: each project stays where its question says it is. Copies of the program
    // ended together each kept one; every one still there is offered, one question each.
    bool opened = false;
    for (const std::string& why : takeUnkeptMontageNotes(state_.preferences))
        prompter_.ask(PromptIcon::Exclamation, unkeptMontageText(why), kUnkeptMontageTitle);
    for (const std::string& project : takeRecoveredProjects(state_.preferences)) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(project, ec)) continue;
        if (prompter_.ask(PromptIcon::Question, recoveredProjectText(project), kRecoveredProjectTitle,
                          PromptButtons::YesNo) != PromptAnswer::Yes)
            continue;
        const PictureFileStamp stamp = stampPictureFile(project);
        const std::string before = state_.montage.main().project;
        // One opened before is unsaved work: opening the next asks about it first.
        openDroppedFile(project);
        MontageRecord& main = state_.montage.main();
        if (main.empty() || main.project == before ||
            !sameRegularFile(identifyFile(main.project), identifyFile(project))) {
            // Not opened (the question about the one opened before was cancelled, the project
            // could not be read): it waits for the next start.
            rememberRecoveredProject(state_.preferences, project);
            continue;
        }
        // Back on screen, it is still not saved anywhere the user chose: leaving asks about it again.
        main.unsaved = true;
        opened = true;
        // The one it replaced was saved or let go when the question about it was answered.
        settleRecoveredProjects(false);
        recoveredOpen_.push_back(RecoveredProject{project, main.project, stamp});
    }
    return opened;
}

} // namespace orv
