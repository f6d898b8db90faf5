// Start-up: the program folder and preferences, the command line, the splash, the main window
// and its controls from the preferences, then the event loop takes over.
#include "base/text.h"
#include "app/startup.h"

#include "base/leading_number.h"
#include "app/command_line.h"
#include "input/picture_file.h"
#include "input/series_loader.h"
#include "settings/project_file.h"
#include "settings/shell_integration.h"
#include "ui/help_window.h"
#include "ui/path_text.h"
#include "ui/screen_metrics.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

namespace orv {

std::unique_ptr<FormMontage> Montage1Main(ProgramState& state, Prompter& prompter, CommonDialog& dialog,
                                          const std::vector<std::string>& args, const StartupHooks& hooks) {
    // The program folder is set by the caller; the start-up flag.
    state.startupFlag = true;
    // Window metrics and twips per pixel.
    readScreenMetrics(state.layout);
    // Nothing is dragged, and the first activation is still to come.
    state.dragState.reset();
    state.firstActivation = true;
    // The argument, without one pair of enclosing quotes.
    CommandLine cl = parseCommandLine(args, fileExists);
    state.commandArgument = cl.argument;

    // A named file must exist and be a picture the series reader takes; anything else is said and
    // the program starts without it (handing it to the desktop's opener could start this program
    // again, when it is the opener's choice for that file).
    std::string longName;
    if (!cl.filePart.empty()) {
        if (!fileExists(cl.filePart)) {
            prompter.ask(PromptIcon::Exclamation, kMissingCommandLineText,
                         kMissingCommandLineTitle + cl.filePart);
            cl = CommandLine{};
            state.commandArgument.clear();
        } else {
            longName = absolutePathBytes(cl.filePart);
            state.fileOnCommandLine = true;
            if (isProjectFileName(longName)) {
                // A project opens at the first activation, as one dropped on the window does; the
                // file-name box keeps the last series until the project puts its own there.
                state.projectOnCommandLine = longName;
                state.fileOnCommandLine = false;
                longName.clear();
            } else if (!isSeriesPictureName(longName)) {
                prompter.ask(PromptIcon::Critical, kInvalidPictureText, kInvalidPictureTitle);
                cl = CommandLine{};
                state.commandArgument.clear();
                state.fileOnCommandLine = false;
                longName.clear();
            }
        }
    }

    // The splash, which loads the main window while it is up.
    std::unique_ptr<FormMontage> main;
    auto loadMainWindow = [&] {
        if (main) return;
        main = std::make_unique<FormMontage>(state, prompter, dialog);
        main->Form_Load();
    };
    if (hooks.runSplash) hooks.runSplash(prompter, loadMainWindow);
    loadMainWindow();

    // The preferences start-up keeps.
    const StartupPreferences prefs = readStartupPreferences(state.preferences);
    // A preferences file that is there but cannot be read reads as the defaults, and is never
    // replaced by a write: the user learns why the settings are not theirs and will not be kept.
    // Preferences without a folder to be written in cannot be kept either; the user is told so
    // now, and otherwise at the first write that fails. Once told, the program goes on with the
    // values it holds.
    const std::string preferencesFile = state.preferences.path();
    if (const std::optional<std::string> why = preferencesUnreadable(preferencesFile)) {
        prompter.ask(PromptIcon::Exclamation, preferencesUnreadableText(preferencesFile, *why),
                     kPreferencesUnreadableTitle);
        state.preferences.silenceWriteFailureNotice();
    } else if (const std::optional<std::string> missing = preferencesFolderMissing(preferencesFile)) {
        prompter.ask(PromptIcon::Exclamation, preferencesNotKeptText(preferencesFile, *missing),
                     kPreferencesNotKeptTitle);
        state.preferences.silenceWriteFailureNotice();
    } else {
        state.preferences.setWriteFailureNotice(
            [&prompter, &state, window = QPointer<FormMontage>(main.get()), preferencesFile](const RuntimeError& e) {
                const std::string text = preferencesNotKeptText(preferencesFile, preferencesWriteFailure(preferencesFile, e));
                // Said once the command that wrote is back in the event loop, never from inside it
                // or from another thread; and not while the program ends.
                if (!window) return;
                QMetaObject::invokeMethod(
                    window.data(),
                    [&prompter, &state, window, text] {
                        if (!window || !window->isVisible() || state.preferences.writeFailureNoticeSilenced()) return;
                        prompter.ask(PromptIcon::Exclamation, text, kPreferencesNotKeptTitle);
                    },
                    Qt::QueuedConnection);
            });
    }
    state.smoothing = prefs.smoothing;
    state.shortcut = prefs.shortcut;
    state.rightMouse = prefs.rightMouse;

    // The layout for this screen.
    std::optional<ScreenSize> asked;
    if (cl.hasResolution && cl.resolutionWidth > 0) asked = ScreenSize{cl.resolutionWidth, cl.resolutionHeight};
    ComputeScreenScale(state.layout, asked);
    ApplyLayout(main.get(), state.layout);
    if (hooks.layoutOtherWindows) hooks.layoutOtherWindows(state.layout);

    // The main window shows.
    main->show();
    main->activateWindow();

    // The file-name box.
    if (!longName.empty()) main->textFileName()->setText(pathText(longName));
    else if (!prefs.filename.empty()) main->textFileName()->setText(pathText(prefs.filename));

    // The increment box, at least 10.
    main->TextIncrement()->setText(QString::fromStdString(cl.hasIncrement ? cl.incrementText : trimBlanks(prefs.increment)));
    if (leadingValue(main->TextIncrement()->text().toStdString()) < 10) main->TextIncrement()->setText(QStringLiteral("10"));

    // The montage window, loaded and hidden.
    if (hooks.loadMontageWindow) hooks.loadMontageWindow(*main);

    // Method, originating image, recent files, target colour.
    main->setMontageMethod(prefs.montageMethod);
    main->setAlignment(readProfileNumber(state.preferences, kPreferencesSection, "Automatic alignment") != 0,
                       readProfileNumber(state.preferences, kPreferencesSection, "Colour matching") != 0);
    state.originatingImage = prefs.originatingImage;
    state.recent.load(state.preferences);
    main->fillRecentFiles();
    state.targetColor = prefs.targetColor;
    main->SetTargetColor(state.targetColor);

    // The desktop shortcut, while the preferences ask for it.
    if (state.shortcut == 1) {
        if (hooks.createDesktopShortcut) hooks.createDesktopShortcut(state);
        else ShellIntegration(shellPlacesFor(state.programFolder)).createDesktopShortcut();
    }

    // A file-manager entry left by this program where it used to live starts it from here.
    if (state.rightMouse == 1) ShellIntegration(shellPlacesFor(state.programFolder)).refreshFileManagerEntry();

    // From here on the program runs on window events; the first activation loads the series.
    // A desktop that does not hand the new window the focus must not keep the series from
    // loading: the first turn of the event loop stands in for the activation then.
    QTimer::singleShot(0, main.get(), &FormMontage::Form_Activate);
    return main;
}

} // namespace orv
