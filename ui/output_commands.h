// The commands that keep a picture: saving, printing, the clipboard and the editor, from the File
// menu for the main montage and from the context menus of the montage and source windows; the
// depth map and the Preferences dialog. A montage is taken from its record in the session, a
// source picture from its window.
#pragma once

#include "ui/action_table.h"
#include "ui/command_context.h"
#include "ui/save_picture.h"

#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

class EditorFiles;
class FormPreferences;
class PictureWindow;
class FormMontagePicture;

inline constexpr const char* kUnsavedMontageText = "The montage has not been saved. Save it first?";
inline constexpr const char* kUnsavedMontageTitle = "Orvanta";
inline constexpr const char* kSaveNotesTitle = "Orvanta";

// The question before a montage window with unsaved retouching strokes closes.
std::string closeRetouchedText(int strokes);

class OutputCommands {
public:
    explicit OutputCommands(const CommandContext& c);
    ~OutputCommands();

    // The File menu's montage commands (Save Montage As, Copy, Editor, the prints, the printer).
    void runMontageFileCommand(Command command);
    // A picture window's context-menu command; `montage` is the window's montage when it shows one.
    void runPictureCommand(Command command, PictureWindow* window, std::optional<MontageChoice> montage);
    // Before a command that throws the main montage away (Exit, Load, Browse, opening a project or
    // a recent entry): when it is unsaved and on screen, asks whether to save it first. Yes runs Save Montage As
    // and goes on once it is saved; No goes on; Cancel (or a save that did not happen) stays.
    // True: go on.
    bool mayDiscardMontage();
    // What mayDiscardMontage would ask about now: a count that is 0 when it would ask nothing and
    // changes when a stroke is painted or undone (a No answered for it no longer holds then).
    int unkeptWork() const;
    // Before the user closes a montage window whose montage holds retouching strokes that were
    // not kept: Yes saves it first (Save As) and closes once it is saved; No closes; Cancel (or a
    // save that did not happen) keeps the window. True: close.
    bool mayCloseMontageWindow(FormMontagePicture* window);
    // When the program ends: names the temporary files the user saved work into from an editor,
    // which stay where the system empties its temporary files.
    void tellEditedFiles();
    // The strokes of the window's montage that were not saved, copied or printed since.
    int unkeptStrokes(const FormMontagePicture* window) const;
    // "Save Depth Map" of a montage window.
    void saveDepthMap(FormMontagePicture* window);
    // Preferences; `methodCaptions` name the montage methods, `setTargetColor` applies a colour.
    void preferences(const std::vector<std::string>& methodCaptions, std::function<void(std::uint32_t)> setTargetColor);

private:
    EditorFiles& editorFiles(); // the editor's temporary files
    // Looks now and then for editor files no longer needed while some may still go.
    void watchEditorFiles();
    // Montage `which` at full depth for the clipboard and the editor: null for an 8-bit series,
    // and when it cannot be had so (the 8-bit picture the window shows goes then). False when the
    // user stopped it while its pictures were read again.
    bool fullDepthMontage(const MontageChoice& which, std::shared_ptr<const DeepPicture>& deep);
    // A source window's picture at full depth for the clipboard and the editor, read again from
    // `file`, the file the window shows: null for an 8-bit file, and when the file cannot be read
    // so or no longer holds the picture the window shows (the 8-bit picture goes then; `why`
    // says why for a 16-bit file). `read`: the file as the window read it (null: not known), its
    // depth then deciding whether it is a 16-bit picture; a file changed since is not read.
    std::shared_ptr<const DeepPicture> fullDepthSource(const std::string& file, const QImage& shown,
                                                       const PictureFileStamp* read, std::string* why = nullptr) const;
    // What a saving had to say besides the file's creation, in one message after it; nothing when
    // there is nothing.
    void tellSaveNotes(const std::vector<std::string>& notes);
    std::string editorCommand() const; // the "Image editor" preference, blank when unset
    // The save dialog's services; a name that stands for a picture of the series is refused.
    SaveServices saveServices() const;

    CommandContext c_;
    std::unique_ptr<EditorFiles> editorFiles_;
    std::unique_ptr<QTimer> editorSweep_;
    QPointer<FormPreferences> preferences_;
};

// The caption a montage window shows for a record: the main montage's names its first file, a
// comparison montage its method.
std::string montageCaption(const MontageChoice& which, const MontageRecord& record);

} // namespace orv
