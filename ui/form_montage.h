// FormMontage: the main window. The file-name and increment boxes, Browse and Make Montage and the
// menu bar built from the action table; its commands are thin handlers that read the controls and
// call the montage session, whose observer (DesktopObserver) puts the results in the windows the
// window manager keeps. Controls and menu actions carry their program names as objectName
// ("textFileName", "mnuLoad", "mnusimpleCol_2"), so tests and assistive technology find them.
#pragma once

#include "base/prompt.h"
#include "session/montage_session.h"
#include "ui/action_table.h"
#include "ui/common_dialog.h"
#include "ui/program_state.h"
#include "ui/window_manager.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace orv {

class DesktopObserver;
class EditorFiles;
class FormPreferences;
class FormStatus;

inline constexpr const char* kMainCaption = "Orvanta  -  from Brindlemoor Software";
inline constexpr const char* kMissingCommandLineText =
    "I am sorry, but I cannot find the file that is on the Shortcut or Command Line used to call "
    "this  'Orvanta'  program.";
inline constexpr const char* kMissingCommandLineTitle = "The command line was ";
inline constexpr const char* kNoProjectMontageText = "You have to have a Montage image visible in order to save a project.";
inline constexpr const char* kNoProjectMontageTitle = "Sorry...";
inline constexpr const char* kMissingProjectText =
    "There is a problem in reading that file.   It appears not to exist.   Try another project file.";
inline constexpr const char* kMissingProjectTitle = "Do you always have bad luck like this?";

class FormMontage : public QMainWindow {
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
    CommonDialog& CommonDialog1() { return dialog_; }

    // Menu entries by command, and the lists the program fills.
    QAction* action(Command c) const { return actions_[c]; }
    QAction* mnusimpleCol(int i) const { return actions_.methods[std::size_t(i)]; }
    QAction* mnuignoreImage(int i) const { return actions_.ignoreImages[std::size_t(i)]; }
    QAction* mnuRecentFile(int i) const { return actions_.recentFiles[std::size_t(i)]; }
    QAction* mnuWindow(int i) const { return actions_.sourceWindows[std::size_t(i - 1)]; } // 1 to 12
    QAction* mnuWindow2(int i) const { return actions_.montageWindows[std::size_t(i)]; }   // 0 to 9
    // Any menu entry by its object name, for tests and assistive tools; nullptr when none.
    QAction* menuAction(const QString& name) const;

    // The one place the commands read the main window's controls and ticks.
    MontageControls readControls() const;
    int montageMethod() const;
    QAction* methodEntry(int method) const; // the "Montage Method" entry of method 0 to 5
    void setMontageMethod(int method) { mnusimpleCol_Click(method); }

    ProgramState& state() { return state_; }
    Prompter& prompter() { return prompter_; }
    WindowManager& windows() { return *windows_; }
    MontageSession& session() { return *session_; }
    bool commandRunning() const { return running_ > 0; }

    // Start-up events.
    void Form_Load();     // the window loads: background, then "Load images"
    void Form_Activate(); // every activation: the first one runs the Load command
    void makeBackground();
    const QPixmap& background() const { return background_; } // the tiled background, screen-sized

    // Browse, Load, recent files, window menus.
    void CommandBrowse_Click();
    void mnuLoad_Click() { loadCommand(); }
    LoadOutcome loadCommand();
    void mnusimpleCol_Click(int index);
    void mnuActivateOffsets_Click(Command area); // after the entry's own tick was inverted
    void mnuRecentFile_Click(int index);
    void mnuWindow_Click(int index);
    void mnuWindow2_Click(int index);
    void fillRecentFiles();
    void AddRecentFile(const std::string& name);
    void RefreshWindowMenus();

    // Make Montage ("Make Montage" and "Make the Montage"); a click while a long command runs is
    // ignored, as that command still works on the arrays and windows.
    void CommandGo_Click();
    MakeOutcome makeMontage(); // the command itself, as the comparisons run it
    // Smoothing: "Smooth Montage Image" of the main window, and that of a montage window.
    void mnuSmooth_Click();
    void smoothMontageWindow(FormMontagePicture* window);
    // The comparisons.
    void mnuAllMethods_Click();
    void mnuEvaluate_Click();
    void mnuEvaluateAll_Click();
    // "Properties" of a montage window, and "Show Preview of this Picture" of montage and source windows.
    void mnuProperties_Click(FormMontagePicture* window);
    void mnuShowPreview2_Click(FormMontagePicture* window);
    void mnushowPreview_Click(FormPicture* window);

    // Saving, printing, the clipboard and the editor: the File menu's entries for the montage, and
    // those of a picture window's context menu (a source window's or a montage window's).
    void runMontageFileCommand(Command c);
    void runPictureCommand(Command c, PictureWindow* window, bool isSource);
    void mnuPreferences_Click();
    // "Save Depth Map" of a montage window: which picture each pixel came from, in greys.
    void mnuSaveDepthMap_Click(FormMontagePicture* window);

    // Image offsets: "Use Image Offsets" (after the entry inverted its own tick), switching the
    // targets and the status window on or off, the status text and the target colour.
    void mnuAddOffsets_Click();
    // "Align Images Automatically" and "Match Colours When Aligning", remembered as preferences.
    void mnuAlign_Click();
    void rememberAlignment();
    void setAlignment(bool align, bool colourMatch);
    void switchOffsets(bool on);
    void ShowOffsetStatus();
    void SetTargetColor(std::uint32_t colour);
    void mnuOffsetColor_Click(); // a source window's "Set Offset Target Color"
    FormStatus* statusWindow() const; // none while offsets are off

    // Projects: "Save a Project", a montage window's "Save project", "Load a Project" (also run
    // by a recent entry beginning with "project ").
    void mnuSave_Click();
    void mnuSaveProject_Click(FormMontagePicture* window);
    void mnuOpenProject_Click();

    void mnuHelp_Click();
    void mnuContact_Click();
    void mnuAbout_Click();
    void mnuExit_Click() { close(); }

    // Where the cascade and the montage window start: the file box's and the button's bottom.
    int fileBoxBottom() const;
    int goButtonBottom() const;

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void connectCommands();
    void runCommand(Command c);
    void runSourceCommand(Command c, FormPicture* window);
    void runMontageCommand(Command c, FormMontagePicture* window);
    void clearIgnoreTicks();
    void preview(int picture, bool fromComparisons);
    bool gate() const; // true when a command may start now
    void focusMainLater();
    void saveProject(FormMontagePicture* window, bool fromMain);
    void openProject();
    EditorFiles& editorFiles(); // the editor's temporary files, deleted when the program quits

    ProgramState& state_;
    Prompter& prompter_;
    CommonDialog& dialog_;

    QLineEdit* textFileName_ = nullptr;
    QLineEdit* textIncrement_ = nullptr;
    QToolButton* commandBrowse_ = nullptr;
    QPushButton* commandGo_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* image1_ = nullptr;
    QPixmap background_;
    ActionSet actions_;

    WindowManager* windows_ = nullptr; // a child object
    std::unique_ptr<DesktopObserver> observer_;
    std::unique_ptr<MontageSession> session_;
    std::unique_ptr<EditorFiles> editorFiles_;
    QPointer<FormPreferences> preferences_;
    QPointer<FormStatus> status_;
    int running_ = 0; // long commands under way
};

// The file-name box's text before anything was typed or read: a series beside the program.
std::string initialFileName(const std::string& programFolder);

} // namespace orv
