// "Copy to Clipboard" and "Open in Editor" for a picture window's picture. The editor (see
// image_editor.h) gets a temporary BMP (a 16-bit PNG for a montage of a 16-bit series), kept while
// the editor may still read it or holds work the user saved into it.
#pragma once

#include "base/deep_picture.h"
#include "base/prompt.h"
#include "output/temp_bmp.h"

#include <QImage>
#include <QObject>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace orv {

// Clears the clipboard and puts the picture on it, whole. With `deep` (the picture at 16 bits per
// sample) its PNG form is that at 16 bits, and every other form (the bitmap, BMP, JPEG) is the
// 8-bit picture, for programs that take nothing deeper.
void copyPictureToClipboard(const QImage& picture, const DeepPicture* deep = nullptr);

// The main window's "Copy Montage to Clipboard": the no-montage message when the montage window
// is not visible, else copyPictureToClipboard. True when copied.
bool copyMontageToClipboard(bool montageVisible, const QImage& montage, Prompter& prompter,
                            const DeepPicture* deep = nullptr);

// The temporary BMPs (a 16-bit picture's PNGs) handed to editors, in a folder of their own that only this user may enter.
// A file goes as soon as it is no longer needed: its editor has ended, nobody has it open, it
// holds what was written into it (or nothing) and it has been read since, or its editor ended a
// while ago (a launcher that hands the file to an editor already running ends before that
// editor reads it). A file the user saved work into stays; so does one whose editor could not
// start (the user was told where it is) until the program ends. When this object goes (the
// program quits) every file whose editor has ended and that holds no work goes, and the folder
// with them when it is left empty.
class EditorFiles {
public:
    using Clock = std::chrono::steady_clock;
    // How long after its editor ended a file that was never seen read is kept.
    static constexpr std::chrono::seconds kUnreadKept{60};

    EditorFiles();
    ~EditorFiles();
    EditorFiles(const EditorFiles&) = delete;
    EditorFiles& operator=(const EditorFiles&) = delete;

    // Writes the picture to a new temporary BMP and keeps it; its path. With `deep` (the picture
    // at 16 bits per sample) the file is a 16-bit PNG of that. Raises RuntimeError.
    std::string add(const QImage& picture, const DeepPicture* deep = nullptr);
    // What the editor `program` started on the file at `path` sets once it has ended.
    ProgramEnded editorOf(const std::string& path, const std::string& program = {});
    // From now on an editor that fails (see takeFailedEditors) is told to `prompter` as soon as it
    // has ended, from the window events; the prompter must outlive this object.
    void tellFailuresTo(Prompter& prompter) { failuresTo_ = &prompter; }
    // No editor could be started on the file at `path`: it stays until the program ends.
    void keepUntilEnd(const std::string& path);
    std::vector<std::string> paths() const;
    // The folder the files are in; empty before the first.
    const std::string& folder() const { return folder_; }
    // The files whose editor has not ended yet.
    int withEditorRunning() const;
    // The files changed since they were written here: the user saved work into them (one that
    // went is counted again when the editor saved it anew). A file left empty or deleted holds no
    // work and is not among them.
    std::vector<std::string> changed() const;
    // An editor that ended with an error status or by a signal before any program opened its
    // file: it never got the picture.
    struct FailedEditor {
        std::string program;
        std::string reason; // how it ended
        std::string path;
    };
    // The editors that failed so since the last call. Their files stay until the program ends,
    // as the user is told.
    std::vector<FailedEditor> takeFailedEditors();
    // Deletes the files no longer needed at `now`; true while some may still go later.
    bool sweep(Clock::time_point now = Clock::now());
    // Deletes the files made here whose editor has ended and that nobody has changed or holds
    // open, or that were left empty; then the folder when nothing else is in it.
    void deleteAll();

private:
    struct Stamp {
        unsigned long long device = 0, inode = 0;
        long long size = 0;
        long long modified = 0; // nanoseconds
        long long accessed = 0; // nanoseconds
    };
    struct Made {
        std::string path;
        std::string program; // its editor
        Stamp written;
        ProgramEnded editorEnded; // none: no editor was started on it (yet)
        bool keepUntilEnd = false;
        bool failureTaken = false; // its editor failed, and takeFailedEditors gave it
        bool gone = false; // deleted here (or by the editor)
        bool opened = false; // some program opened it after it was written
        std::optional<Clock::time_point> endedSeen;
    };
    // Whether a file may go now; `atEnd`: the program is ending and cannot wait for a read.
    bool mayGo(Made& m, Clock::time_point now, bool atEnd);
    // Marks the files some program opened since the last look.
    void takeOpenings();

    // The editors' ends, seen on the threads that wait for them, handed to the window events
    // through `receiver` while this object is there.
    struct Ends {
        std::mutex lock;
        QObject* receiver = nullptr;
    };
    std::shared_ptr<Ends> ends_ = std::make_shared<Ends>();
    std::unique_ptr<QObject> receiver_;
    Prompter* failuresTo_ = nullptr;

    std::string folder_;
    int openings_ = -1; // inotify: the files of the folder opened
    int folderSlot_ = -1; // the folder removed, when empty, on a termination signal
    std::vector<Made> made_;
};

inline constexpr const char* kEditorTitle = "Orvanta";

// What the user is told when the program ends about the temporary files they saved work into from
// their editor (they stay, in a folder the system empties); empty for none.
std::string editedFilesText(const std::vector<std::string>& paths);

// Tells the user of each editor that failed before it opened its file (EditorFiles::
// takeFailedEditors): which program, how it ended and where the picture is. The watch hears of it
// first.
void tellFailedEditors(EditorFiles& files, Prompter& prompter);

// While it is there, hears of every picture file an editor was started on (`handedOn`, at once)
// and of every editor that ended before it opened its file (`failed`, before the user is told),
// by the file's path: the main window follows the montages it hands on with it. The latest watch
// made hears; when it goes, the one before it hears again.
class EditorHandOffWatch {
public:
    using Heard = std::function<void(const std::string& path)>;
    EditorHandOffWatch(Heard handedOn, Heard failed);
    ~EditorHandOffWatch();
    EditorHandOffWatch(const EditorHandOffWatch&) = delete;
    EditorHandOffWatch& operator=(const EditorHandOffWatch&) = delete;

    static void handedOn(const std::string& path);
    static void failed(const std::string& path);

private:
    Heard handedOn_, failed_;
    EditorHandOffWatch* before_;
};

// "Open in Editor": the picture to a temporary BMP, handed to the editor: `editorCommand` (the
// "Image editor" preference) when set, else the desktop's default application for PNG pictures
// unless that is Orvanta. With neither the user is told to choose one in Preferences; when the
// editor cannot be started or the file cannot be written, the user is told too. True when the
// editor was started on the file; it is not waited for: one that ends with an error before it
// opened the file is told as soon as it has ended (EditorFiles::tellFailuresTo).
// With `deep` (the picture at 16 bits per sample) the editor gets a 16-bit PNG of that instead.
bool openPictureInEditor(const QImage& picture, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand, const DeepPicture* deep = nullptr);

// The main window's "Open Montage in Editor": the no-montage message, else openPictureInEditor.
bool openMontageInEditor(bool montageVisible, const QImage& montage, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand, const DeepPicture* deep = nullptr);

} // namespace orv
