// Saving, printing, the clipboard and the editor for montages and source pictures.
#include "ui/output_commands.h"

#include "base/runtime_error.h"
#include "input/deep_reader.h"
#include "input/picture_file.h"
#include "output/bgr_image.h"
#include "output/picture_writer.h"
#include "output/save_names.h"
#include "session/montage_rules.h"
#include "settings/shell_integration.h"
#include "ui/busy_cursor.h"
#include "ui/clipboard_editor.h"
#include "ui/form_picture.h"
#include "ui/form_preferences.h"
#include "ui/image_editor.h"
#include "ui/path_text.h"
#include "settings/preferences.h"
#include "ui/picture_source.h"
#include "ui/print_picture.h"
#include "ui/retouch_commands.h"
#include "ui/pselect.h"
#include "ui/save_picture.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>

namespace orv {

namespace {

PrintSize printSizeOf(Command c) {
    switch (c) {
    case Command::PrintMontage:
    case Command::PicturePrint: return PrintSize::Natural;
    case Command::PrintMontageHalf:
    case Command::PicturePrintHalf: return PrintSize::HalfPage;
    default: return PrintSize::FitToPage;
    }
}

// A source picture's saving shown in the progress strip as the session shows a montage's: the
// window events run about 30 times a second and Cancel stops it at the next band.
WriteProgress stripProgress(MontageView& view) {
    auto lastEvents = std::make_shared<QElapsedTimer>();
    return [&view, lastEvents](int done, int total) {
        view.showProgress(RunPhase::Saving, done, total);
        if (!lastEvents->isValid() || lastEvents->elapsed() >= 33) {
            QCoreApplication::processEvents();
            lastEvents->start();
        }
        return !view.stopAsked();
    };
}

// A montage's saving: what it has to say besides the file's creation (a metadata block left out,
// the montage of a 16-bit series written at 8 bits per sample) is kept in `notes`.
SaveMontageOptions notedSaving(const std::string& programFolder, std::vector<std::string>& notes) {
    SaveMontageOptions options{{}, programFolder, {}};
    options.metadataProblem = [&notes](const std::string& line) { notes.push_back(line); };
    return options;
}

// Whether `shown` is the 8-bit view of `deep`, pixel for pixel (grey spread to the three colours).
bool showsEightBitView(const QImage& shown, const DeepPicture& deep) {
    if (shown.width() != deep.width || shown.height() != deep.height || (deep.channels != 1 && deep.channels != 3))
        return false;
    const QImage rgb = shown.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < deep.height; ++y) {
        const std::uint16_t* in = deep.row(y);
        const uchar* line = rgb.constScanLine(y);
        for (int x = 0; x < deep.width; ++x) {
            const std::uint16_t* pixel = in + std::size_t(x) * std::size_t(deep.channels);
            for (int c = 0; c < 3; ++c)
                if (line[3 * x + c] != eightBitsOf(pixel[deep.channels == 3 ? c : 0])) return false;
        }
    }
    return true;
}

// The routine a command's error names: its entry in the main window's menus.
std::string mainEntryName(Command command) {
    for (const MenuSpec& menu : mainMenuBar())
        for (const ActionSpec& entry : menu.entries)
            if (entry.command == command) return entry.name;
    return "mnuFile";
}

} // namespace

std::string montageCaption(const MontageChoice& which, const MontageRecord& record) {
    if (which.comparison) return comparisonCaption(int(record.request.method));
    return kMontageCaptionPrefix + record.firstFileName;
}

OutputCommands::OutputCommands(const CommandContext& c) : c_(c) {}
OutputCommands::~OutputCommands() = default;

SaveServices OutputCommands::saveServices() const {
    SaveServices services{c_.prompter, c_.dialog, c_.state.programFolder};
    services.seriesPicture = [&session = c_.session](const std::string& path) { return session.seriesPictureNamed(path); };
    return services;
}

std::string OutputCommands::editorCommand() const {
    return c_.state.preferences.read(kPreferencesSection, kEditorPreferenceKey, "");
}

EditorFiles& OutputCommands::editorFiles() {
    if (!editorFiles_) editorFiles_ = std::make_unique<EditorFiles>();
    return *editorFiles_;
}

void OutputCommands::watchEditorFiles() {
    if (!editorSweep_) {
        editorSweep_ = std::make_unique<QTimer>();
        editorSweep_->setInterval(std::chrono::seconds(5));
        QObject::connect(editorSweep_.get(), &QTimer::timeout, [this] {
            // An editor that ended before it opened its file is said before its file is looked at.
            tellFailedEditors(editorFiles(), c_.prompter);
            if (!editorFiles().sweep()) editorSweep_->stop();
        });
    }
    if (!editorSweep_->isActive()) editorSweep_->start();
}

void OutputCommands::runMontageFileCommand(Command command) {
    if (command == Command::SelectPrinter) {
        showPrinterWizard(c_.mainWindow, c_.prompter);
        return;
    }
    FormMontagePicture* window = c_.windows.montageWindow();
    const MontageRecord& record = c_.session.record(MontageChoice{});
    // A montage window waiting for a montage that was never made (a project whose picture could not
    // be read) has nothing to keep: each command says so, as without the window.
    const bool visible = window->isVisible() && !record.empty();
    // The montage's picture is made anew from its record; memory running out there is the
    // command's error, said as any other.
    QImage picture;
    try {
        picture = record.empty() ? window->PictureFile()->picture() : shownPicture(record.picture);
    } catch (...) {
        c_.reportError(mainEntryName(command).c_str());
        return;
    }
    const SaveServices services = saveServices();
    switch (command) {
    case Command::SaveMontageAs: {
        PictureSource source = pictureSourceOf(window, *window->PictureFile());
        source.picture = picture;
        source.caption = pathText(montageCaption(MontageChoice{}, record));
        std::vector<std::string> notes;
        const SaveResult saved = saveMontageAs(visible, source, services, [&](const std::string& path) {
            notes.clear();
            return c_.session.saveMontage(MontageChoice{}, path, notedSaving(c_.state.programFolder, notes));
        });
        if (saved.outcome == SaveOutcome::Saved) {
            c_.session.montageKept(MontageChoice{});
            tellSaveNotes(notes);
        }
        break;
    }
    case Command::CopyMontage: {
        std::shared_ptr<const DeepPicture> deep;
        if (visible && !fullDepthMontage(MontageChoice{}, deep)) break;
        if (copyMontageToClipboard(visible, picture, c_.prompter, deep.get())) c_.session.montageKept(MontageChoice{});
        break;
    }
    case Command::EditMontage: {
        std::shared_ptr<const DeepPicture> deep;
        if (visible && !fullDepthMontage(MontageChoice{}, deep)) break;
        if (openMontageInEditor(visible, picture, editorFiles(), c_.prompter, editorCommand(), deep.get())) {
            c_.session.montageKept(MontageChoice{});
            watchEditorFiles();
        }
        break;
    }
    case Command::PrintMontage:
    case Command::PrintMontageFit:
    case Command::PrintMontageHalf:
        if (printMontage(visible,
                         PrintRequest{picture, printSizeOf(command), c_.state.layout.twipsPerPixel,
                                      c_.state.layout.twipsPerPixelY, {}},
                         c_.dialog, c_.prompter) == PrintOutcome::Printed)
            c_.session.montageKept(MontageChoice{});
        break;
    default: break;
    }
}

void OutputCommands::runPictureCommand(Command command, PictureWindow* window, std::optional<MontageChoice> montage) {
    PictureSource source = pictureSourceOf(window, *window->picture());
    std::vector<std::string> notes;
    PictureWrite write;
    std::string readFrom; // a source window's file, while the window shows what was read from it
    std::optional<PictureFileStamp> readStamp; // that file as the window read it, when known
    if (montage) {
        const MontageRecord& record = c_.session.record(*montage);
        // Nothing was made into this window yet: there is no montage to write, copy, edit or
        // print (its blank picture would replace what the clipboard held), as the main window's
        // entries say.
        if (record.empty()) {
            std::optional<MontageCommand> refused;
            switch (command) {
            case Command::PictureSaveAs: refused = MontageCommand::Save; break;
            case Command::PictureCopy: refused = MontageCommand::Copy; break;
            case Command::PictureEditor: refused = MontageCommand::Edit; break;
            case Command::PicturePrint:
            case Command::PicturePrintFit:
            case Command::PicturePrintHalf: refused = MontageCommand::Print; break;
            default: break;
            }
            if (refused) {
                requireMontage(false, *refused, c_.prompter);
                return;
            }
        }
        if (!record.empty()) {
            try {
                source.picture = shownPicture(record.picture);
            } catch (...) {
                QAction* entry = window->action(command);
                c_.reportError(entry ? entry->objectName().toLatin1().constData() : "mnuSaveAs");
                return;
            }
            source.caption = pathText(montageCaption(*montage, record));
        }
        write = [this, which = *montage, &notes](const std::string& path) {
            notes.clear();
            return c_.session.saveMontage(which, path, notedSaving(c_.state.programFolder, notes));
        };
    } else {
        // A source window's picture was read from its file while its caption names that file.
        const auto* sourceWindow = qobject_cast<FormPicture*>(window);
        const std::string file = sourceWindow ? c_.session.pictureFile(sourceWindow->slot()) : std::string();
        if (!file.empty() && pathBytes(source.caption) == sourceCaption(sourceWindow->slot(), file)) readFrom = file;
        // A picture read from a GIF file keeps its own colours in a GIF copy, where the colour
        // cube would change them.
        if (command == Command::PictureSaveAs && !file.empty() && pictureFormatFor(file) == PictureFormat::Gif)
            source.picture = withOwnPalette(source.picture);
        // Its copy keeps the file's metadata and, as TIFF or PNG, the file's 16 bits per sample.
        PictureOrigin origin;
        origin.file = readFrom;
        if (const PictureFileStamp* asRead = readFrom.empty() ? nullptr : c_.session.pictureFileAsRead(sourceWindow->slot()))
            origin.read = *asRead;
        origin.fullDepth = [this, file = readFrom, shown = source.picture, read = origin.read](std::string& why) {
            return fullDepthSource(file, shown, read ? &*read : nullptr, &why);
        };
        readStamp = origin.read;
        origin.note = [&notes](const std::string& line) { notes.push_back(line); };
        write = [picture = pictureWriter(source.picture, c_.state.programFolder, stripProgress(c_.view), origin),
                 &notes](const std::string& path) {
            notes.clear();
            return picture(path);
        };
    }
    // A montage of a 16-bit series, and a picture of a 16-bit file, go to the clipboard and the
    // editor at full depth.
    std::shared_ptr<const DeepPicture> deep;
    if (command == Command::PictureCopy || command == Command::PictureEditor) {
        if (montage && !fullDepthMontage(*montage, deep)) return;
        if (!montage) deep = fullDepthSource(readFrom, source.picture, readStamp ? &*readStamp : nullptr);
    }
    bool kept = false;
    switch (command) {
    case Command::PictureSaveAs:
        kept = SaveAsSub(source, montage ? kMontageSuffix : kCopySuffix, saveServices(), write).outcome ==
               SaveOutcome::Saved;
        if (kept) tellSaveNotes(notes);
        break;
    case Command::PictureCopy:
        copyPictureToClipboard(source.picture, deep.get());
        kept = true;
        break;
    case Command::PictureEditor:
        kept = openPictureInEditor(source.picture, editorFiles(), c_.prompter, editorCommand(), deep.get());
        if (kept) watchEditorFiles();
        break;
    case Command::PicturePrint:
    case Command::PicturePrintFit:
    case Command::PicturePrintHalf:
        kept = printPicture(PrintRequest{source.picture, printSizeOf(command), c_.state.layout.twipsPerPixel,
                                         c_.state.layout.twipsPerPixelY, {}},
                            c_.dialog, c_.prompter) == PrintOutcome::Printed;
        break;
    default: break;
    }
    if (kept && montage) c_.session.montageKept(*montage);
}

bool OutputCommands::fullDepthMontage(const MontageChoice& which, std::shared_ptr<const DeepPicture>& deep) {
    deep.reset();
    try {
        deep = c_.session.deepMontage(which);
    } catch (...) {
        // Stopped while its pictures were read again: the command ends there, as a save does.
        if (currentError().stoppedByUser()) return false;
    }
    if (deep && deep->bitsPerSample != 16) deep.reset();
    return true;
}

std::shared_ptr<const DeepPicture> OutputCommands::fullDepthSource(const std::string& file, const QImage& shown,
                                                                   const PictureFileStamp* read, std::string* why) const {
    std::string unused;
    std::string& reason = why ? *why : unused;
    reason.clear();
    if (file.empty()) return nullptr;
    // 16-bit as the window read it, whatever the file holds now.
    if ((read && read->bits != 0 ? read->bits : deepFileBits(file)) != 16) return nullptr;
    // Written again or replaced since the window read it: its samples are another picture's, even
    // where their 8-bit view is the window's. Looked at before and after the reading.
    const auto changed = [&] {
        if (!read || stillStampedFile(file, *read)) return false;
        reason = file + " was changed after its window read it";
        return true;
    };
    if (changed()) return nullptr;
    const BusyCursor busy;
    auto deep = std::make_shared<DeepPicture>();
    try {
        // Turned upright as the series' pictures were when they were read.
        if (readDeepPicture(file, *deep, nullptr, c_.session.state().series.orientation) != DecodeStatus::Ok) {
            reason = file + " cannot be read at full depth";
            return nullptr;
        }
    } catch (...) {
        reason = "there is not enough memory to read " + file + " at full depth";
        return nullptr;
    }
    if (changed()) return nullptr;
    // A file written again since it was read holds another picture than the window's.
    if (deep->bitsPerSample != 16 || !showsEightBitView(shown, *deep)) {
        reason = file + " was changed after its window read it";
        return nullptr;
    }
    return deep;
}

void OutputCommands::tellSaveNotes(const std::vector<std::string>& notes) {
    if (notes.empty()) return;
    std::string text = "The file was written, but:";
    for (const std::string& line : notes) text += "\n" + line;
    c_.prompter.ask(PromptIcon::Exclamation, text, kSaveNotesTitle);
}

bool OutputCommands::mayDiscardMontage() {
    // Only a montage on screen can still be saved (Save Montage As refuses one whose window is
    // gone): one the user let go, closed or a Load hid is not asked about again.
    if (c_.session.mainMontageUnsaved() && c_.windows.montageWindow()->isVisible()) {
        switch (c_.prompter.ask(PromptIcon::Question, kUnsavedMontageText, kUnsavedMontageTitle,
                                PromptButtons::YesNoCancel)) {
        case PromptAnswer::No: break;
        case PromptAnswer::Yes:
            runMontageFileCommand(Command::SaveMontageAs);
            if (c_.session.mainMontageUnsaved()) return false;
            break;
        default: return false;
        }
    }
    // Strokes painted into a comparison montage are work too; its window goes with the series.
    const int inComparisons = unkeptComparisonStrokes(c_.session, c_.windows);
    return inComparisons == 0 ||
           c_.prompter.ask(PromptIcon::Question, loseComparisonStrokesText(inComparisons, "Go on"), kLoseStrokesTitle,
                           PromptButtons::YesNo) == PromptAnswer::Yes;
}

int OutputCommands::unkeptWork() const {
    const int inComparisons = unkeptComparisonStrokes(c_.session, c_.windows);
    if (!c_.session.mainMontageUnsaved() || !c_.windows.montageWindow()->isVisible()) return inComparisons;
    return 1 + c_.session.record(MontageChoice{}).retouch.count() + inComparisons;
}

void OutputCommands::tellEditedFiles() {
    if (!editorFiles_) return;
    const std::string text = editedFilesText(editorFiles_->changed());
    if (!text.empty()) c_.prompter.ask(PromptIcon::Information, text, kEditorTitle);
}

std::string closeRetouchedText(int strokes) {
    return "The montage has " + std::to_string(strokes) + " retouch strokes that have not been saved. Save it first?";
}

int OutputCommands::unkeptStrokes(const FormMontagePicture* window) const {
    const MontageRecord& record = c_.session.record(MontageChoice{window->comparison()});
    return record.empty() || !record.unsaved ? 0 : record.retouch.count();
}

bool OutputCommands::mayCloseMontageWindow(FormMontagePicture* window) {
    const MontageChoice which{window->comparison()};
    const int strokes = unkeptStrokes(window);
    if (strokes == 0) return true;
    switch (c_.prompter.ask(PromptIcon::Question, closeRetouchedText(strokes), kUnsavedMontageTitle,
                            PromptButtons::YesNoCancel)) {
    case PromptAnswer::No: return true;
    case PromptAnswer::Yes:
        runPictureCommand(Command::PictureSaveAs, window, which);
        return !c_.session.record(which).unsaved;
    default: return false;
    }
}

void OutputCommands::saveDepthMap(FormMontagePicture* window) {
    // A window waiting for a montage that was never made (a project whose picture could not be
    // read) has no map to draw: said before a name is asked for, as its Save As says it.
    if (c_.session.record(MontageChoice{window->comparison()}).empty()) {
        requireMontage(false, MontageCommand::Save, c_.prompter);
        return;
    }
    try {
        c_.dialog.Filter = QStringLiteral("PNG (*.png)|*.png|Bitmap (*.bmp)|*.bmp|All Files (*.*)|*.*");
        c_.dialog.FilterIndex = 1;
        // Named after the series as Save As names its copies: "shot01 depth.png", not
        // "shot01.bmp depth.png".
        c_.dialog.FileName = pathText(withoutExtension(c_.state.montage.firstFileName) + " depth.png");
        // A file that is there (a saved montage) is not replaced unasked, a picture of the series
        // not at all.
        const auto check = [&](const QString& chosen) -> std::optional<QString> {
            // A picture of the series is never replaced: the name is asked again.
            const std::string path = pathBytes(chosen);
            const int picture = c_.session.seriesPictureNamed(path);
            if (picture == 0) return chosen;
            c_.prompter.ask(PromptIcon::Exclamation, seriesPictureText(path, picture), kSeriesPictureTitle);
            return std::nullopt;
        };
        c_.dialog.Flags = kFlagOverwritePrompt | kFlagHideReadOnly;
        if (!c_.dialog.ShowSave(check)) return; // cancel writes nothing
        const std::string path = pathBytes(c_.dialog.FileName);
        c_.session.writeDepthMap(MontageChoice{window->comparison()}, path);
        // Said as a picture's Save As says it.
        c_.prompter.ask(PromptIcon::Information, fileCreatedText(path), kSavedTitle);
    } catch (...) {
        c_.reportError("mnuSaveDepthMap");
    }
}

void OutputCommands::preferences(const std::vector<std::string>& methodCaptions,
                                 std::function<void(std::uint32_t)> setTargetColor) {
    ProgramState& st = c_.state;
    showPreferences(preferences_,
                    PreferencesContext{st.preferences,
                                       HeldPreferences{st.smoothing, st.shortcut, st.rightMouse, st.originatingImage},
                                       methodCaptions, c_.prompter, c_.dialog, std::move(setTargetColor),
                                       ShellIntegration(shellPlacesFor(st.programFolder))},
                    c_.mainWindow);
}

} // namespace orv
