// orvanta: the focus-stacking desktop program.
#include "base/atomic_file.h"
#include "base/deferred_termination.h"
#include "base/leading_number.h"
#include "base/memory_tuning.h"
#include "base/standard_descriptors.h"
#include "app/startup.h"
#include "app/command_line.h"
#include "input/picture_file.h"
#include "settings/preferences.h"
#include "ui/focus_style.h"
#include "ui/message_box_prompter.h"
#include "ui/path_text.h"
#include "ui/splash.h"

#include <QApplication>
#include <QIcon>
#include <QSocketNotifier>

#include <filesystem>
#include <iostream>
#include <system_error>

using namespace orv;

namespace {

// The program's folder by its bytes (Qt's applicationDirPath decodes them, and a folder whose name
// is not UTF-8 would then not be found again), ending in "/".
std::string programFolderBytes() {
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec && exe.has_parent_path()) return exe.parent_path().native() + "/";
    return pathBytes(QCoreApplication::applicationDirPath()) + "/";
}

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: no file of the program may take a closed standard descriptor.
    holdClosedStandardDescriptors();
    orv::keepPictureMemory();
    // Ctrl-C, SIGTERM and SIGHUP leave no temporary file behind.
    orv::removeTemporaryFilesOnTermination();
    // SIGTERM and SIGHUP (a logout, a service manager, a closed terminal) come to the event loop
    // first: the program ends as a closed main window would, keeping an unsaved montage. A second
    // one ends it at once.
    const int terminationPipe = orv::deferTerminationSignals();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const CommandLine cl = parseCommandLine(args, fileExists);
    if (cl.help) {
        std::cout << commandLineHelpText();
        return 0;
    }
    if (cl.version) {
        std::cout << "orvanta " << ORVANTA_VERSION << "\n";
        return 0;
    }
    if (!cl.error.empty()) {
        std::cerr << "orvanta: " << cl.error << "\nTry 'orvanta --help'.\n";
        return 2;
    }

    QApplication app(argc, argv);
    orv::keepNumbersInCNotation();
    QApplication::setApplicationName(QStringLiteral("Orvanta"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANTA_VERSION));
    QApplication::setOrganizationName(QStringLiteral("Brindlemoor Software"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/orvanta.png")));
    // The main window ends the program when it closes, whatever other windows are still up.
    QApplication::setQuitOnLastWindowClosed(false);
    // The keyboard focus shows on every button, the default one too.
    QApplication::setStyle(new orv::FocusVisibleStyle);

    ProgramState state;
    state.programFolder = programFolderBytes();
    state.preferences = ProfileFile(preferencesPath(state.programFolder));
    state.quit = [] { QCoreApplication::quit(); };

    MessageBoxPrompter prompter;
    CommonDialog dialog(std::make_unique<QtDialogBackend>(nullptr));
    StartupHooks hooks;
    hooks.runSplash = [](Prompter& p, const std::function<void()>& loadMainWindow) {
        Splash splash(p, loadMainWindow);
        splash.exec();
    };

    hooks.loadMontageWindow = [](FormMontage& form) { form.windows().montageWindow(); };

    // Until the main window is there, there is no work to keep: the signal ends the program.
    FormMontage* endingWindow = nullptr;
    int endedBy = 0;
    std::unique_ptr<QSocketNotifier> termination;
    if (terminationPipe >= 0) {
        termination = std::make_unique<QSocketNotifier>(terminationPipe, QSocketNotifier::Read);
        QObject::connect(termination.get(), &QSocketNotifier::activated, [&] {
            const int signal = takeDeferredSignal(terminationPipe);
            if (signal == 0 || endedBy != 0) return;
            endedBy = signal;
            // Nobody is there to answer a message about preferences that cannot be kept.
            state.preferences.silenceWriteFailureNotice();
            if (!endingWindow) endProgramOnTerminationSignal(signal);
            endingWindow->endOnSignal(signal);
        });
    }

    std::unique_ptr<FormMontage> mainWindow = Montage1Main(state, prompter, dialog, args, hooks);
    if (!mainWindow) return 0;
    endingWindow = mainWindow.get();
    // File, colour and printer dialogs stay above the main window.
    dialog.setBackend(std::make_unique<QtDialogBackend>(mainWindow.get()));
    const int status = app.exec();
    return endedBy != 0 ? 128 + endedBy : status;
}
