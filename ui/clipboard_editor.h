// "Copy to Clipboard" and "Open in Editor" for a picture window's picture. The editor (see
// image_editor.h) gets a temporary BMP; the temporary files are kept until Orvanta quits, and
// past it while their editor runs, because an editor may take its time to read them.
#pragma once

#include "base/prompt.h"
#include "output/temp_bmp.h"

#include <QImage>
#include <QObject>

#include <string>
#include <vector>

namespace orv {

// Clears the clipboard and puts the picture on it, whole.
void copyPictureToClipboard(const QImage& picture);

// The main window's "Copy Montage to Clipboard": the no-montage message when the montage window
// is not visible, else copyPictureToClipboard. True when copied.
bool copyMontageToClipboard(bool montageVisible, const QImage& montage, Prompter& prompter);

// The temporary BMPs handed to editors. They are deleted when this object goes (the program
// quits), except a file changed since it was written (the user saved work into it) and a file
// whose editor is still running (it may not have read the file yet: a slow editor is still
// starting when the user quits).
class EditorFiles {
public:
    EditorFiles() = default;
    ~EditorFiles() { deleteAll(); }
    EditorFiles(const EditorFiles&) = delete;
    EditorFiles& operator=(const EditorFiles&) = delete;

    // Writes the picture to a new temporary BMP and keeps it; its path. Raises RuntimeError.
    std::string add(const QImage& picture);
    // What the editor started on the file at `path` sets once it has ended.
    ProgramEnded editorOf(const std::string& path);
    std::vector<std::string> paths() const;
    // The files whose editor has not ended yet.
    int withEditorRunning() const;
    // The files changed since they were written here: the user saved work into them. A file
    // left empty or deleted holds no work and is not among them.
    std::vector<std::string> changed() const;
    // Deletes the files made here whose editor has ended and that nobody has changed since or
    // that were left empty.
    void deleteAll();

private:
    struct Made {
        std::string path;
        long long size = 0;
        long long modified = 0; // nanoseconds
        ProgramEnded editorEnded; // none: no editor was started on it
    };
    std::vector<Made> made_;
};

inline constexpr const char* kEditorTitle = "Orvanta";

// What the user is told when the program ends about the temporary files they saved work into from
// their editor (they stay, in a folder the system empties); empty for none.
std::string editedFilesText(const std::vector<std::string>& paths);

// "Open in Editor": the picture to a temporary BMP, handed to the editor: `editorCommand` (the
// "Image editor" preference) when set, else the desktop's default application for PNG pictures
// unless that is Orvanta. With neither the user is told to choose one in Preferences; when the
// editor cannot be started or the file cannot be written, the user is told too. True when the
// editor was started on the file.
bool openPictureInEditor(const QImage& picture, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand);

// The main window's "Open Montage in Editor": the no-montage message, else openPictureInEditor.
bool openMontageInEditor(bool montageVisible, const QImage& montage, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand);

} // namespace orv
