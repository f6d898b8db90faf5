// SaveAsSub: the save dialog and the format branches, each step numbered for the error message.
#include "ui/save_picture.h"

#include "base/runtime_error.h"
#include "output/bgr_image.h"
#include "output/picture_writer.h"
#include "output/save_names.h"
#include "output/temp_bmp.h"
#include "ui/busy_cursor.h"
#include "ui/form_gif.h"
#include "ui/screen_metrics.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <unistd.h>

namespace orv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The taskbar hidden for a scope, shown again on every way out.
class TaskbarHidden {
public:
    TaskbarHidden() { ShowTaskbar(false); }
    ~TaskbarHidden() { ShowTaskbar(true); }
    TaskbarHidden(const TaskbarHidden&) = delete;
    TaskbarHidden& operator=(const TaskbarHidden&) = delete;
};

// The temporary BMP, removed on every way out of the JPG branch (it was created exclusively for
// this save, so it is ours to delete).
struct TempBmp {
    std::string path;
    ~TempBmp() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

std::string trimmed(const QByteArray& bytes) { return QString::fromLocal8Bit(bytes).trimmed().toStdString(); }

std::string conversionFailureText(const ConversionRun& run, const std::string& program, const std::string& target) {
    if (!run.started)
        return "I could not start the JPEG conversion program  '" + program +
               "'.   It belongs beside the orvanta program; please reinstall Orvanta.";
    if (!run.message.empty()) return run.message;
    if (run.crashed) return "The JPEG conversion program stopped unexpectedly;  '" + target + "'  was not written.";
    return "The JPEG conversion program ended with status " + std::to_string(run.exitCode) + ";  '" + target +
           "'  was not written.";
}

// The JPG branch: the picture goes to a temporary BMP that orvantajpeg converts; the branch waits
// for the program to end, so the temporary file is deleted only after it has been read.
SaveOutcome saveJpeg(const QImage& picture, const std::string& target, const SaveServices& services, int& line) {
    line = kStepJpegStart;
    ConversionRun run;
    {
        BusyCursor busy;
        TempBmp temp;
        {
            const BgrImage rows(picture);
            temp.path = writeTempBmp(rows.view());
        }
        QCoreApplication::processEvents();
        run = runConversion(services.programFolder, temp.path, target);
        line = kStepWrite;
    }
    if (run.started && !run.crashed && run.exitCode == 0) return SaveOutcome::Saved;
    const std::string program = conversionStart(services.programFolder, "", "").program;
    services.prompter.ask(PromptIcon::Critical, conversionFailureText(run, program, target), kJpegFailedTitle);
    return SaveOutcome::Failed;
}

} // namespace

std::string fileCreatedText(const std::string& fileName) { return "File  " + fileName + "  created."; }

std::string gifSizeText(int width, int height) {
    return "The .GIF format will only allow the saving of screen size images.   Your image is larger than "
           "this  (" +
           std::to_string(width) + "x" + std::to_string(height) +
           ").    The best format is .BMP which allows you to save the whole image.   Do you want to change "
           "to .BMP?";
}

ConversionRun runConversion(const std::string& programFolder, const std::string& tempBmp, const std::string& target) {
    const ProgramStart start = conversionStart(programFolder, tempBmp, target);
    QStringList arguments;
    for (const std::string& a : start.arguments) arguments << qs(a);
    QProcess process;
    process.setProgram(qs(start.program));
    process.setArguments(arguments);
    process.setStandardOutputFile(QProcess::nullDevice());

    bool failedToStart = false;
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError e) {
        if (e != QProcess::FailedToStart) return;
        failedToStart = true;
        loop.quit();
    });
    QObject::connect(&process, &QProcess::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    process.start();
    // Window events run while the program works; nothing here depends on the clock.
    if (!failedToStart && !finished) loop.exec();

    ConversionRun run;
    run.started = !failedToStart;
    if (run.started) {
        run.crashed = process.exitStatus() == QProcess::CrashExit;
        run.exitCode = process.exitCode();
        run.message = trimmed(process.readAllStandardError());
    }
    return run;
}

SaveResult SaveAsSub(const PictureSource& source, const std::string& suffix, const SaveServices& services) {
    SaveResult result;
    int line = kStepSetUp;
    try {
        CommonDialog& dialog = services.dialog;
        dialog.Filter = QString::fromLatin1(kSavePictureFilter);
        dialog.FileName = qs(proposedSaveName(source.caption.toStdString(), suffix));
        dialog.InitDir = qs(services.programFolder);
        for (;;) {
            line = kStepDialog;
            dialog.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
            if (!dialog.ShowSave()) return result;
            result.fileName = dialog.FileName.toStdString();
            const PictureFormat format = pictureFormatFor(result.fileName);

            if (format == PictureFormat::Jpeg) {
                result.outcome = saveJpeg(source.picture, result.fileName, services, line);
                return result;
            }

            line = kStepWrite;
            if (format != PictureFormat::Gif) {
                {
                    BusyCursor busy;
                    const BgrImage rows(source.picture);
                    writePicture(result.fileName, rows.view());
                }
                services.prompter.ask(PromptIcon::Information, fileCreatedText(result.fileName), kSavedTitle);
                result.outcome = SaveOutcome::Saved;
                return result;
            }

            if (services.prompter.ask(PromptIcon::Information, kGifColoursText, kGifColoursTitle,
                                      PromptButtons::YesNo) != PromptAnswer::Yes)
                return result;
            const QSize picture = source.picture.size();
            const QSize window = source.windowSize;
            if (window.isValid() && (picture.width() > window.width() || picture.height() > window.height())) {
                if (services.prompter.ask(PromptIcon::Question, gifSizeText(picture.width(), picture.height()),
                                          kGifSizeTitle, PromptButtons::YesNo) == PromptAnswer::Yes) {
                    dialog.FilterIndex = 0;
                    dialog.FileName = qs(withoutExtension(result.fileName));
                    continue;
                }
            }
            TaskbarHidden hidden;
            const bool written = saveGifWithForm(source.picture, result.fileName, services.prompter, source.window);
            result.outcome = written ? SaveOutcome::Saved : SaveOutcome::Failed;
            return result;
        }
    } catch (...) {
        const RuntimeError e = currentError();
        services.prompter.ask(PromptIcon::Critical, genericErrorText(e, line, "SaveAsSub"), kGenericErrorTitle);
        result.outcome = SaveOutcome::Failed;
        return result;
    }
}

SaveResult saveMontageAs(bool montageVisible, const PictureSource& montage, const SaveServices& services) {
    if (!requireMontage(montageVisible, MontageCommand::Save, services.prompter)) return {};
    TaskbarHidden hidden;
    return SaveAsSub(montage, kMontageSuffix, services);
}

} // namespace orv
