// SaveAsSub: the save dialog and the format branches, each step numbered for the error message.
#include "ui/save_picture.h"

#include "base/runtime_error.h"
#include "input/deep_reader.h"
#include "output/picture_metadata.h"
#include "output/picture_writer.h"
#include "output/save_names.h"
#include "output/bgr_image.h"
#include "session/conversion_run.h"
#include "session/montage_session.h"
#include "ui/busy_cursor.h"
#include "ui/form_gif.h"
#include "ui/path_text.h"
#include "ui/screen_metrics.h"

#include <cstdio>

namespace orv {

namespace {

// Captions and names keep their bytes (see path_text.h).
QString qs(const std::string& s) { return pathText(s); }

// The taskbar hidden for a scope, shown again on every way out.
class TaskbarHidden {
public:
    TaskbarHidden() { ShowTaskbar(false); }
    ~TaskbarHidden() { ShowTaskbar(true); }
    TaskbarHidden(const TaskbarHidden&) = delete;
    TaskbarHidden& operator=(const TaskbarHidden&) = delete;
};

// The JPG branch: the writer runs the conversion program and waits for it; its failure is told.
SaveOutcome saveJpeg(const PictureWrite& write, const std::string& target, const SaveServices& services, int& line) {
    line = kStepJpegStart;
    std::string failure;
    {
        BusyCursor busy;
        failure = write(target);
        line = kStepWrite;
    }
    if (failure.empty()) return SaveOutcome::Saved;
    services.prompter.ask(PromptIcon::Critical, failure, kJpegFailedTitle);
    return SaveOutcome::Failed;
}

} // namespace

PictureWrite pictureWriter(const QImage& picture, const std::string& programFolder, WriteProgress progress,
                           PictureOrigin origin) {
    return [picture, programFolder, progress, origin](const std::string& path) {
        SaveMontageOptions options{{}, programFolder, origin.note};
        options.picture.writeProgress = progress;
        const auto say = [&](const std::string& line) {
            if (origin.note) origin.note(line);
            else std::fprintf(stderr, "orvanta: %s\n", line.c_str());
        };
        const PictureFormat format = pictureFormatFor(path);
        const bool deepFormat = format == PictureFormat::Tiff || format == PictureFormat::Png;
        // The file is still the one the window read: looked at before and after each reading,
        // so that one replaced meanwhile is not taken either.
        const auto unchanged = [&] { return !origin.read || stillStampedFile(origin.file, *origin.read); };
        PictureMetadata metadata;
        std::shared_ptr<const DeepPicture> deep;
        if (!origin.file.empty() && (deepFormat || format == PictureFormat::Jpeg)) {
            // The camera's metadata of the file goes into the copy, as the first picture's goes
            // into a montage; a file re-shot since the window read it is another photograph's,
            // and the metadata it holds is left out with a word.
            std::vector<std::string> problems;
            if (unchanged()) metadata = readPictureMetadata(origin.file, problems);
            if (!unchanged()) {
                std::vector<std::string> unread;
                const bool held = !metadata.empty() || !readPictureMetadata(origin.file, unread).empty();
                metadata = PictureMetadata{};
                problems.clear();
                if (held)
                    problems.push_back("the picture is saved without the camera metadata: " + origin.file +
                                       " was changed after it was read");
            }
            for (const std::string& line : problems) say(line);
            options.picture.metadata = &metadata;
        }
        // 16-bit as the window read it: a file written again since at 8 bits does not make it an
        // 8-bit picture, and the save says why it is not kept at 16.
        const auto deepWhenRead = [&] {
            return origin.read && origin.read->bits != 0 ? origin.read->bits == 16 : deepFileBits(origin.file) == 16;
        };
        if (!origin.file.empty() && deepFormat && origin.fullDepth && deepWhenRead()) {
            std::string why;
            deep = origin.fullDepth(why);
            if (!deep) say("the picture is saved at 8 bits per sample: " + why);
        }
        return savePicture(BgrImage(picture).view(), path, options, deep.get());
    };
}

std::string fileCreatedText(const std::string& fileName) { return "File  " + fileName + "  created."; }

std::string gifSizeText(int width, int height) {
    return "The .GIF format will only allow the saving of screen size images.   Your image is larger than "
           "this  (" +
           std::to_string(width) + "x" + std::to_string(height) +
           ").    The best format is .BMP which allows you to save the whole image.   Do you want to change "
           "to .BMP?";
}

SaveResult SaveAsSub(const PictureSource& source, const std::string& suffix, const SaveServices& services,
                     const PictureWrite& write) {
    SaveResult result;
    int line = kStepSetUp;
    try {
        CommonDialog& dialog = services.dialog;
        dialog.Filter = QString::fromLatin1(kSavePictureFilter);
        dialog.FileName = qs(proposedSaveName(pathBytes(source.caption), suffix));
        dialog.InitDir = qs(services.programFolder);
        for (;;) {
            line = kStepDialog;
            dialog.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
            // A picture of the series is never replaced: it is refused before the user is asked
            // whether to replace it, and the name is asked again.
            const auto check = [&](const QString& chosen) -> std::optional<QString> {
                const std::string name = pathBytes(chosen);
                const int picture = services.seriesPicture ? services.seriesPicture(name) : 0;
                if (picture == 0) return chosen;
                services.prompter.ask(PromptIcon::Exclamation, seriesPictureText(name, picture), kSeriesPictureTitle);
                return std::nullopt;
            };
            if (!dialog.ShowSave(check)) return result;
            result.fileName = pathBytes(dialog.FileName);
            const PictureFormat format = pictureFormatFor(result.fileName);

            if (format == PictureFormat::Jpeg) {
                result.outcome = saveJpeg(write, result.fileName, services, line);
                return result;
            }

            line = kStepWrite;
            if (format != PictureFormat::Gif) {
                {
                    BusyCursor busy;
                    write(result.fileName);
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
        if (e.stoppedByUser()) {
            result.outcome = SaveOutcome::Stopped;
            return result;
        }
        services.prompter.ask(PromptIcon::Critical, genericErrorText(e, line, "SaveAsSub"), kGenericErrorTitle);
        result.outcome = SaveOutcome::Failed;
        return result;
    }
}

SaveResult saveMontageAs(bool montageVisible, const PictureSource& montage, const SaveServices& services,
                         const PictureWrite& write) {
    if (!requireMontage(montageVisible, MontageCommand::Save, services.prompter)) return {};
    TaskbarHidden hidden;
    return SaveAsSub(montage, kMontageSuffix, services, write);
}

} // namespace orv
