// The clipboard, the editor hand-off and the temporary files it leaves until the program ends.
#include "ui/clipboard_editor.h"

#include "base/runtime_error.h"
#include "output/bgr_image.h"
#include "output/temp_bmp.h"
#include "ui/image_editor.h"
#include "ui/picture_source.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

bool fileStamp(const std::string& path, long long& size, long long& modified) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    size = st.st_size;
    modified = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

} // namespace

void copyPictureToClipboard(const QImage& picture) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setImage(picture);
}

bool copyMontageToClipboard(bool montageVisible, const QImage& montage, Prompter& prompter) {
    if (!requireMontage(montageVisible, MontageCommand::Copy, prompter)) return false;
    copyPictureToClipboard(montage);
    return true;
}

std::string EditorFiles::add(const QImage& picture) {
    const BgrImage rows(picture);
    const std::string path = writeTempBmp(rows.view());
    Made m{path};
    fileStamp(path, m.size, m.modified);
    made_.push_back(m);
    return path;
}

ProgramEnded EditorFiles::editorOf(const std::string& path) {
    for (Made& m : made_)
        if (m.path == path) {
            m.editorEnded = std::make_shared<std::atomic<bool>>(false);
            return m.editorEnded;
        }
    return {};
}

int EditorFiles::withEditorRunning() const {
    int n = 0;
    for (const Made& m : made_) n += m.editorEnded && !*m.editorEnded;
    return n;
}

std::vector<std::string> EditorFiles::changed() const {
    std::vector<std::string> out;
    for (const Made& m : made_) {
        long long size = 0, modified = 0;
        // An emptied file holds no picture: there is nothing in it to move somewhere safe.
        if (fileStamp(m.path, size, modified) && size > 0 && (size != m.size || modified != m.modified))
            out.push_back(m.path);
    }
    return out;
}

std::string editedFilesText(const std::vector<std::string>& paths) {
    if (paths.empty()) return {};
    std::string text = paths.size() == 1 ? "The picture you saved from your editor stays in" : "The pictures you saved from your editor stay in";
    for (const std::string& p : paths) text += "\n  '" + p + "'";
    text += "\nThat is a folder for temporary files, which the system may empty: please move " +
            std::string(paths.size() == 1 ? "it" : "them") + " somewhere safe.";
    return text;
}

std::vector<std::string> EditorFiles::paths() const {
    std::vector<std::string> out;
    for (const Made& m : made_) out.push_back(m.path);
    return out;
}

void EditorFiles::deleteAll() {
    for (const Made& m : made_) {
        if (m.editorEnded && !*m.editorEnded) continue;
        long long size = 0, modified = 0;
        // An emptied file goes too: no work can be lost with it.
        if (fileStamp(m.path, size, modified) && (size == 0 || (size == m.size && modified == m.modified)))
            ::unlink(m.path.c_str());
    }
    made_.clear();
}

bool openPictureInEditor(const QImage& picture, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand) {
    // The editor first: without one no file is written.
    const std::optional<DesktopEntry> png =
        editorCommandStart(editorCommand, "") ? std::nullopt : defaultPngApplication();
    if (!editorStart(editorCommand, "", png)) {
        prompter.ask(PromptIcon::Exclamation, kNoEditorText, kEditorTitle);
        return false;
    }
    std::string path;
    try {
        path = files.add(picture);
    } catch (...) {
        // The file goes to the temporary folder: a full or closed one is named, since the user
        // would look for room elsewhere.
        const RuntimeError e = currentError();
        const std::string where = e.number() == 7 ? "" : " in the temporary folder  '" + temporaryBmpFolder() + "'";
        prompter.ask(PromptIcon::Exclamation,
                     "So very sorry, but I could not write the picture for your editor" + where + ":  " +
                         e.description() + ".",
                     kEditorTitle);
        return false;
    }
    QCoreApplication::processEvents();
    const ProgramStart start = *editorStart(editorCommand, path, png);
    const ProgramEnded ended = files.editorOf(path);
    if (startEditor(start, ended)) return true;
    *ended = true; // nothing runs on the file

    prompter.ask(PromptIcon::Exclamation,
                 "I could not start the image editor  '" + start.program + "'.   The picture is in  '" + path +
                     "'  until Orvanta ends.",
                 kEditorTitle);
    return false;
}

bool openMontageInEditor(bool montageVisible, const QImage& montage, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand) {
    if (!requireMontage(montageVisible, MontageCommand::Edit, prompter)) return false;
    return openPictureInEditor(montage, files, prompter, editorCommand);
}

} // namespace orv
