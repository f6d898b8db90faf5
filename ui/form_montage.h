// FormMontage: the main window. The file-name and increment boxes, Browse and Make Montage and the
// menu bar built from the action table. It reads its controls into a request when a command
// starts, hands the command to one of the command controllers, and keeps the controls that would
// start another command disabled while one runs. Controls and menu actions carry their program
// names as objectName ("textFileName", "mnuLoad", "mnusimpleCol_2"), so tests and assistive
// technology find them.
#pragma once

#include "base/prompt.h"
#include "session/montage_session.h"
#include "ui/action_table.h"
#include "ui/command_context.h"
#include "ui/common_dialog.h"
#include "ui/montage_commands.h"
#include "ui/montage_view.h"
#include "ui/offset_commands.h"
#include "ui/output_commands.h"
#include "ui/program_state.h"
#include "ui/project_commands.h"
#include "ui/retouch_commands.h"
#include "ui/run_progress.h"
#include "ui/window_manager.h"

#include <QMainWindow>
#include <QPixmap>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace orv {

class DesktopObserver;
class EditorHandOffWatch;
class RunProgress;

inline constexpr const char* kMainCaption = "Orvanta  -  from Brindlemoor Software";
inline constexpr const char* kMissingCommandLineText =
    "I am sorry, but I cannot find the file that is on the Shortcut or Command Line used to call "
    "this  'Orvanta'  program.";
inline constexpr const char* kMissingCommandLineTitle = "The command line was ";
// The widest name a menu entry shows whole, in average characters; a longer one loses its middle.
inline constexpr int kMenuNameChars = 90;

class FormMontage : public QMainWindow, public MontageView {
    Q_OBJECT
public:
    FormMontage(ProgramState& state, Prompter& prompter, CommonDialog& dialog, QWidget* parent = nullptr);
    ~FormMontage() override;

    // Controls.
    QLineEdit* textFileName() const { return textFileName_; }
    QLineEdit* TextIncrement() const { return textIncrement_; }
    QToolButton* CommandBrowse() const { return commandBrowse_; }
    QPushButton* CommandGo() const { return commandGo_; }
    QLabel* Image1() const { return image1_; }

    // Menu entries by command, and the lists the program fills.
    QAction* action(Command c) const { return actions_[c]; }
    QAction* mnusimpleCol(int i) const { return actions_.methods[std::size_t(i)]; } // method 0 to 5
    QAction* mnuignoreImage(int i) const { return actions_.ignoreImages[std::size_t(i)]; }
    QAction* mnuRecentFile(int i) const { return actions_.recentFiles[std::size_t(i)]; }
    QAction* mnuWindow(int i) const { return actions_.sourceWindows[std::size_t(i - 1)]; } // 1 to 12
    QAction* mnuWindow2(int i) const { return actions_.montageWindows[std::size_t(i)]; }   // 0 to 9
    // Any menu entry by its object name, for tests and assistive tools; nullptr when none.
    QAction* menuAction(const QString& name) const;

    // The request the controls make now: what every command on a montage starts from.
    MontageRequest readRequest() const;
    int montageMethod() const; // the ticked method, 0 when none is
    void setMontageMethod(int method);
    void setAlignment(bool align, bool colourMatch) { offsets_->setAlignment(align, colourMatch); }

    WindowManager& windows() { return *windows_; }
    MontageSession& session() { return *session_; }
    const MontageCommands& montageCommands() const { return *montage_; }
    RetouchCommands& retouchCommands() { return *retouch_; }
    bool commandRunning() const { return running_ > 0; }
    FormStatus* statusWindow() const { return offsets_->statusWindow(); }

    // Start-up: the window loads (background, then "Load images"); its first activation loads.
    void Form_Load();
    void Form_Activate();
    void makeBackground();
    const QPixmap& background() const { return background_; } // the tiled background, screen-sized

    LoadOutcome loadCommand();
    MakeOutcome makeMontage(); // Make Montage with the controls as they are, as a click runs it
    void fillRecentFiles();
    void AddRecentFile(const std::string& name) { addRecentFile(name); }
    void RefreshWindowMenus() { refreshWindowMenus(); }
    void SetTargetColor(std::uint32_t colour) { setTargetColor(colour); }

    // MontageView.
    Prompter& prompter() override { return prompter_; }
    void showFileName(const std::string& name) override;
    std::string shownFileName() const override;
    void showIncrement(const std::string& text) override;
    void showMethod(int method) override { setMontageMethod(method); }
    void showRequest(const MontageRequest& request) override;
    void showIgnoreEntries(int count) override;
    bool offsetsOn() const override;
    void switchOffsetsOn() override { offsets_->switchOffsets(true); }
    void showOffsetStatus() override { offsets_->showStatus(); }
    void setTargetColor(std::uint32_t colour) override { offsets_->setTargetColor(colour); }
    void addRecentFile(const std::string& name) override;
    void forgetRecentFile(const std::string& name) override;
    void refreshWindowMenus() override;
    int fileBoxBottom() const override;
    int goButtonBottom() const override;
    void showProgress(RunPhase phase, int done, int total) override;
    bool stopAsked() const override;
    void takeFocus() override { activateWindow(); }
    RunProgress* runProgress() const { return progress_; }
    void takeFocusLater() override;

    // The desktop session is ending (the user logs out or shuts down): unsaved work is asked about
    // as Exit asks, when the session manager lets the program ask (`allowsInteraction`, asked only
    // then). False: the user chose Cancel, and the session should not end. An answer given here
    // holds for the windows' closing that ends the session, unless the work changes meanwhile.
    bool mayEndSession(const std::function<bool()>& allowsInteraction);

    // The program was told to end (SIGTERM, SIGHUP): a run stops (a file being written is finished
    // first), a question or dialog that waits is closed (as Cancel), an unsaved montage on screen is
    // kept as a project in the user's state folder that the next start offers, and the program
    // ends without asking anything.
    void endOnSignal(int signal);

    // A file dropped on the window: a project (".mon") opens as Load a Project would open it, any
    // other file as the first file of a series chosen with Browse.
    void openDroppedFile(const std::string& path);

protected:
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Counts a command for its whole length; the first one locks the controls, the last unlocks.
    class CommandRun;
    bool mayCloseMontageWindow(FormMontagePicture* w); // the user closes a montage window
    void buildControls();
    void connectCommands();
    void addKeyboardEntries();
    void addZoomKeys();
    void addRetouchKeys();
    void addScrollKeys();
    void keepControlsInSight(); // the minimum size, from where the controls are
    void waitForFrame();        // a moment for the window manager to frame the window first shown
    void runCommand(Command c);
    void runSourceCommand(Command c, FormPicture* window);
    void runMontageCommand(Command c, FormMontagePicture* window);
    // Runs `command` unless another one runs (then a beep), the controls locked meanwhile.
    template <typename F> void runLocked(F&& command);
    // The same, with the request the controls make; one that cannot be read is refused.
    template <typename F> void withRequestLocked(F&& command);
    // Asked before Make Montage or a comparison replaces the main montage: false keeps it.
    bool mayReplaceMontage(const MontageRequest& r);
    void lockControls(bool locked);
    void browse();
    void openRecentFile(int index);

    ProgramState& state_;
    StripPausingPrompter pausingPrompter_; // the prompter given, the progress strip paused for each message
    Prompter& prompter_;
    CommonDialog& dialog_;

    QLineEdit* textFileName_ = nullptr;
    QLineEdit* textIncrement_ = nullptr;
    QToolButton* commandBrowse_ = nullptr;
    QPushButton* commandGo_ = nullptr;
    QLabel* image1_ = nullptr;
    RunProgress* progress_ = nullptr;
    QPixmap background_;
    ActionSet actions_;

    WindowManager* windows_ = nullptr; // a child object
    std::unique_ptr<DesktopObserver> observer_;
    std::unique_ptr<MontageSession> session_;
    std::unique_ptr<MontageCommands> montage_;
    std::unique_ptr<OutputCommands> output_;
    std::unique_ptr<ProjectCommands> projects_;
    std::unique_ptr<OffsetCommands> offsets_;
    std::unique_ptr<RetouchCommands> retouch_;
    int running_ = 0; // commands under way
    bool closing_ = false; // the window closed while a command was under way
    bool savingNow_ = false; // the command under way is writing a file
    bool closeAfterRun_ = false; // the window was closed while a file was being written
    int endingSignal_ = 0; // the signal the program is ending on, once one came
    void finishEndingOnSignal();
    void keepUnsavedMontage();
    // The montage kept at the last end, offered once; true when it was opened.
    bool offerRecoveredMontage();
    // The kept projects opened at this start, each as it was on the disk then. Each stays on the
    // disk until the user has saved its montage or let it go.
    struct RecoveredProject {
        std::string project;  // as the preferences named it
        std::string openedAs; // as the main record names it
        PictureFileStamp stamp;
    };
    std::vector<RecoveredProject> recoveredOpen_;
    // Lets go of those the user has saved or let go (`answered`: the closing question was asked
    // about the montage on screen, or nothing was there to ask about); `all`: every one of them,
    // its montage kept again in a project of its own.
    void settleRecoveredProjects(bool answered, bool all = false);
    // The unsaved work the user let go when the desktop session began to end (OutputCommands::unkeptWork).
    std::optional<int> sessionEndLetGo_;
    bool letGoAtSessionEnd() const;

    // A montage handed to an editor counts as kept; an editor that ends before it opened the
    // picture takes that keeping back. Each hand-off: the editor's file, the montage, the keeping.
    struct EditorHandOff {
        std::string file;
        MontageChoice which;
        std::uint64_t keeping = 0;
    };
    std::vector<EditorHandOff> editorHandOffs_;
    std::vector<std::string> handedNow_; // the files editors were started on by the command running
    // Runs `command`, which may hand montage `which` to an editor, and notes the hand-off.
    void handToEditor(const MontageChoice& which, const std::function<void()>& command);
    // The editor started on `file` ended before it opened it.
    void editorFailed(const std::string& file);
    std::unique_ptr<EditorHandOffWatch> editorWatch_;
};

// The file-name box's text before anything was typed or read: a series beside the program.
std::string initialFileName(const std::string& programFolder);

} // namespace orv
