// FormMontage: the main window. The file-name and increment boxes, Browse and Make Montage, the
// whole menu tree, the Load command, the recent-file list and the "Window" menus. Controls and
// menu actions carry their program names as objectName ("textFileName", "mnuLoad",
// "mnusimpleCol_2"), so tests and assistive technology find them.
#pragma once

#include "app/program_state.h"
#include "base/prompt.h"
#include "ui/window_list.h"
#include "ui/common_dialog.h"
#include "ui/form_picture.h"
#include "ui/montage_windows.h"

#include <QMainWindow>
#include <QPixmap>
#include <QPointer>

#include <array>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace orv {

inline constexpr const char* kMainCaption = "Orvanta  -  from Brindlemoor Software";
inline constexpr const char* kMissingCommandLineText =
    "I am sorry, but I cannot find the file that is on the Shortcut or Command Line used to call "
    "this  'Orvanta'  program.";
inline constexpr const char* kMissingCommandLineTitle = "The command line was ";

// The windows of the montage commands. The montage commands create them and register them here;
// the Load command hides or unloads them and the "Window" menus list their captions.
struct MontageWindowSet {
    QPointer<QWidget> montage;                       // FormMontagePicture
    QPointer<QWidget> used;                          // FormUsed
    QPointer<QWidget> properties;                    // FormProperties
    QPointer<QWidget> preview;                       // FormPreview
    std::array<QPointer<QWidget>, 6> comparison;     // the comparison's extra montage windows
    std::array<QPointer<QWidget>, 6> comparisonUsed; // and their dominant-image windows
    std::function<void()> clearPropertiesTicks;      // untick "Properties" in every montage window
};

// How a Load run ended.
enum class LoadOutcome { Loaded, Refused, Missing, Failed };

// What one Make Montage left: whether a montage was made, and with which increment.
struct MakeResult {
    bool made = false;
    int increment = 0;
};

inline constexpr const char* kMontageCaptionPrefix = "Montage in focus image from ";

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

    // Any menu entry by its name ("mnuLoad", "mnuRecentFile_3"), nullptr when there is none.
    QAction* menuAction(const QString& name) const;
    QAction* mnusimpleCol(int i) const { return methods_[std::size_t(i)]; }
    QAction* mnuignoreImage(int i) const { return ignore_[std::size_t(i)]; }
    QAction* mnuRecentFile(int i) const { return recent_[std::size_t(i)]; }
    QAction* mnuWindow(int i) const { return windows_[std::size_t(i - 1)]; }   // 1 to 12
    QAction* mnuWindow2(int i) const { return windows2_[std::size_t(i)]; }     // 0 to 9

    // The one place the montage commands read the main window's controls and ticks.
    MontageControls readControls() const;
    int montageMethod() const;
    void setMontageMethod(int method) { mnusimpleCol_Click(method); }

    ProgramState& state() { return state_; }
    Prompter& prompter() { return prompter_; }
    MontageWindowSet& montageWindows() { return montageWindows_; }

    // Source window k (1 to 30), created on first use and reused by slot.
    FormPicture* sourceWindow(int k);
    FormPicture* existingSourceWindow(int k) const { return pictures_[std::size_t(k)]; }

    // Handlers.
    void Form_Load();      // the window loads: background, then "Load images"
    void Form_Activate();  // every activation: the first one runs the Load command
    void makeBackground();
    void CommandBrowse_Click();
    void mnuLoad_Click() { loadCommand(); }
    LoadOutcome loadCommand();
    void mnusimpleCol_Click(int index);
    void mnuActivateOffsets_Click(DisplayArea area); // after the entry's own tick was inverted
    void mnuRecentFile_Click(int index);
    void mnuWindow_Click(int index);
    void mnuWindow2_Click(int index);
    void mnuHelp_Click();
    void mnuContact_Click();
    void mnuAbout_Click();
    void mnuExit_Click() { close(); }

    // Make Montage ("Make Montage" and "Make the Montage"); a click while a long command runs is
    // ignored, as that command still works on the arrays and windows.
    void CommandGo_Click();
    // The command itself, as the comparisons run it.
    MakeResult makeMontage();
    // The properties text of the montage just made.
    void setPropertiesString();
    // The quality score of the main montage for blocks of `increment`.
    float evaluateImage(int increment) const;

    // Smoothing: "Smooth Montage Image" of the main window, and that of a montage window.
    void mnuSmooth_Click();
    void smoothMontageWindow(FormMontagePicture* window);
    // The comparisons.
    void mnuAllMethods_Click();
    void mnuEvaluate_Click();
    void mnuEvaluateAll_Click();
    // "Properties" of a montage window, and closing the properties view.
    void mnuProperties_Click(FormMontagePicture* window);
    void closePropertiesView();
    // "Show Preview of this Picture" of a montage window and of a source window.
    void mnuShowPreview2_Click(FormMontagePicture* window);
    void mnushowPreview_Click(FormPicture* window);

    // The montage windows, created on first use and reused; comparison windows only when made.
    FormMontagePicture* montageWindow();
    FormUsed* usedWindow();
    FormPreview* previewWindow();
    FormProperties* propertiesWindow();
    FormMontagePicture* comparisonWindow(int k) const;
    FormUsed* comparisonUsedWindow(int k) const;
    bool commandRunning() const { return running_ > 0; }

    // The recent-file list: filled from the preferences at start-up, a name moved to the top.
    void fillRecentFiles();
    void AddRecentFile(const std::string& name);

    // Rebuilds both "Window" menus from the visible windows.
    void RefreshWindowMenus();

    // Hides the source windows and their "Ignore Image" entries and unloads the comparison
    // windows (and the preview window when asked) of an earlier run; a window that cannot go is
    // left and the next one is tried.
    void dropEarlierSeriesWindows(bool unloadPreview);
    // Closes and deletes a window of an earlier run; failures are ignored.
    static void unloadWindow(QPointer<QWidget>& w);

    // The tiled background made by makeBackground (screen-sized).
    const QPixmap& background() const { return background_; }

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void buildControls();
    void buildMenus();
    void connectCommands();
    QAction* addEntry(QMenu* menu, const char* name, const char* caption);
    void showSourceList();
    void onSourceWindowClosed(int slot, const QString& caption);
    void clearIgnoreTicks();
    int fileBoxBottom() const;

    // Make Montage's stages and helpers.
    enum class Ending { Finish, Stop };
    Ending makeMontageSteps(MakeResult& result, int& line, bool& remembered);
    void placeMontageWindows(float W, float H, int increment);
    void drawPreviewRows(int from, int to);
    OffsetTable currentOffsets(const MontageControls& c) const;
    FocusContext currentFocus(const MontageControls& c) const;
    void connectMontageWindow(FormMontagePicture* w);
    FormMontagePicture* makeComparisonWindow(int k);
    void keepComparison(int k, int method);
    bool smooth(FormMontagePicture* window, FormUsed* map, int index, bool showMessages);
    std::vector<std::string> comparisonCaptions() const;
    void runComparison(const std::function<void(ComparisonDriver&)>& command);
    void preview(int mode, int picture);
    bool gate() const; // true when a command may start now
    void focusMainLater(); // a secondary window was activated: the main window takes the focus

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

    std::array<QAction*, 5> methods_{};
    std::array<QAction*, 10> ignore_{};
    std::array<QAction*, 12> recent_{};
    std::array<QAction*, 12> windows_{};
    std::array<QAction*, 10> windows2_{};

    WindowMenuList sourceList_{kSourceWindowEntries};
    std::array<FormPicture*, 31> pictures_{}; // slot 0 unused; owned as child windows
    MontageWindowSet montageWindows_;
    int running_ = 0; // long commands under way
};

// The file-name box's text before anything was typed or read: a series beside the program.
std::string initialFileName(const std::string& programFolder);

} // namespace orv
