// The clipboard, the editor hand-off and the temporary files it leaves while they are needed.
#include "ui/clipboard_editor.h"

#include "base/atomic_file.h"
#include "base/runtime_error.h"
#include "output/bgr_image.h"
#include "output/deep_writer.h"
#include "output/temp_bmp.h"
#include "ui/image_editor.h"
#include "ui/picture_source.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

#include <cerrno>
#include <cstring>
#include <memory>
#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orv {

namespace {

// Whether some process this user may look into holds the file open (the editor, or the one a
// launcher handed it to).
bool openBySomeone(unsigned long long device, unsigned long long inode) {
    DIR* proc = ::opendir("/proc");
    if (!proc) return false;
    bool found = false;
    while (!found) {
        const dirent* process = ::readdir(proc);
        if (!process) break;
        if (process->d_name[0] < '0' || process->d_name[0] > '9') continue;
        const std::string fds = std::string("/proc/") + process->d_name + "/fd";
        DIR* dir = ::opendir(fds.c_str());
        if (!dir) continue; // another user's, or ended meanwhile
        while (const dirent* fd = ::readdir(dir)) {
            if (fd->d_name[0] == '.') continue;
            struct stat st{};
            if (::stat((fds + "/" + fd->d_name).c_str(), &st) == 0 && st.st_dev == device && st.st_ino == inode) {
                found = true;
                break;
            }
        }
        ::closedir(dir);
    }
    ::closedir(proc);
    return found;
}

// A picture at 16 bits per sample: one that has more to give than its 8-bit view.
bool isSixteenBit(const DeepPicture* deep) { return deep && !deep->empty() && deep->bitsPerSample == 16; }

} // namespace

void copyPictureToClipboard(const QImage& picture, const DeepPicture* deep) {
    // Made before the clipboard is cleared; a 16-bit PNG that cannot be made (no memory left for
    // it) leaves the 8-bit picture to go alone.
    std::vector<std::uint8_t> png;
    if (isSixteenBit(deep)) {
        try {
            png = encodeDeepPng(*deep, 16);
        } catch (...) {
            png.clear();
        }
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    if (png.empty()) {
        clipboard->setImage(picture);
        return;
    }
    // The PNG form given as it is; the clipboard makes the others from the 8-bit picture.
    auto data = std::make_unique<QMimeData>();
    data->setImageData(picture);
    data->setData(QStringLiteral("image/png"), QByteArray(reinterpret_cast<const char*>(png.data()), qsizetype(png.size())));
    clipboard->setMimeData(data.release());
}

bool copyMontageToClipboard(bool montageVisible, const QImage& montage, Prompter& prompter, const DeepPicture* deep) {
    if (!requireMontage(montageVisible, MontageCommand::Copy, prompter)) return false;
    copyPictureToClipboard(montage, deep);
    return true;
}

namespace {

template <typename Stamp>
bool stampOf(const std::string& path, Stamp& stamp) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return false;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.modified = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    stamp.accessed = (long long)st.st_atim.tv_sec * 1000000000LL + st.st_atim.tv_nsec;
    return true;
}

// The same file with the same contents: the same inode, size and time of change (an editor that
// saves through a new file and a rename makes another inode).
template <typename Stamp>
bool sameContents(const Stamp& a, const Stamp& b) {
    return a.device == b.device && a.inode == b.inode && a.size == b.size && a.modified == b.modified;
}

} // namespace

EditorFiles::EditorFiles() : receiver_(std::make_unique<QObject>()) { ends_->receiver = receiver_.get(); }

EditorFiles::~EditorFiles() {
    {
        // An editor that ends from now on has nobody to tell.
        const std::lock_guard<std::mutex> hold(ends_->lock);
        ends_->receiver = nullptr;
    }
    deleteAll();
    if (openings_ >= 0) ::close(openings_);
}

void EditorFiles::takeOpenings() {
    if (openings_ < 0) return;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(openings_, buffer, sizeof buffer);
        if (n <= 0) return;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            if (event->len > 0) {
                const std::string path = folder_ + "/" + event->name;
                for (Made& m : made_)
                    if (m.path == path) m.opened = true;
            }
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
}

std::string EditorFiles::add(const QImage& picture, const DeepPicture* deep) {
    // The file's contents made before anything is created: a picture that cannot be encoded
    // leaves nothing behind.
    std::vector<std::uint8_t> png;
    std::optional<BgrImage> rows;
    if (isSixteenBit(deep)) png = encodeDeepPng(*deep, 16);
    else rows.emplace(picture);
    takeOpenings();
    // The folder is made again when something emptied the temporary folder meanwhile.
    struct stat st{};
    if (folder_.empty() || ::lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        forgetFolderAtTermination(folderSlot_);
        folder_ = makePrivateTemporaryFolder();
        folderSlot_ = removeFolderWhenEmptyAtTermination(folder_);
        // Which files a program opens tells which were read; without it, their time of access.
        if (openings_ < 0) openings_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (openings_ >= 0 && ::inotify_add_watch(openings_, folder_.c_str(), IN_OPEN) < 0) {
            ::close(openings_);
            openings_ = -1;
        }
    }
    const std::string path = rows ? writeTempBmp(rows->view(), {}, folder_) : writeTempPng(png, folder_);
    // Our own opening of the new file is not a reader's: taken before the file is listed.
    takeOpenings();
    Made m;
    m.path = path;
    stampOf(path, m.written);
    made_.push_back(m);
    return path;
}

ProgramEnded EditorFiles::editorOf(const std::string& path, const std::string& program) {
    for (Made& m : made_)
        if (m.path == path) {
            m.editorEnded = std::make_shared<ProgramEnd>();
            m.program = program;
            // Its end is looked at on the window events' thread, at once; a call still waiting
            // when this object goes is dropped with its receiver.
            m.editorEnded->onEnd = [ends = ends_, this] {
                const std::lock_guard<std::mutex> hold(ends->lock);
                if (!ends->receiver) return;
                QMetaObject::invokeMethod(
                    ends->receiver,
                    [this] {
                        if (failuresTo_) tellFailedEditors(*this, *failuresTo_);
                    },
                    Qt::QueuedConnection);
            };
            return m.editorEnded;
        }
    return {};
}

void EditorFiles::keepUntilEnd(const std::string& path) {
    for (Made& m : made_)
        if (m.path == path) m.keepUntilEnd = true;
}

int EditorFiles::withEditorRunning() const {
    int n = 0;
    for (const Made& m : made_) n += !m.gone && m.editorEnded && !m.editorEnded->ended;
    return n;
}

std::vector<std::string> EditorFiles::changed() const {
    std::vector<std::string> out;
    for (const Made& m : made_) {
        Stamp now;
        // An emptied file holds no picture: there is nothing in it to move somewhere safe. One
        // deleted here and there again was saved anew by the editor.
        if (stampOf(m.path, now) && now.size > 0 && (m.gone || !sameContents(now, m.written)))
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

bool EditorFiles::mayGo(Made& m, Clock::time_point now, bool atEnd) {
    if (m.gone || (m.keepUntilEnd && !atEnd)) return false;
    // Until its editor has ended it may still be reading the file, or about to.
    if (!m.keepUntilEnd && (!m.editorEnded || !m.editorEnded->ended)) return false;
    if (!m.endedSeen) m.endedSeen = now;
    takeOpenings();
    Stamp stamp;
    if (!stampOf(m.path, stamp)) {
        m.gone = true; // the editor or the user deleted it
        return false;
    }
    // Work the user saved into it stays; an emptied file holds none.
    if (stamp.size > 0 && !sameContents(stamp, m.written)) return false;
    if (openBySomeone(stamp.device, stamp.inode)) return false;
    // Read since it was written (opened, or its time of access moved on), or never read in all
    // that time: a launcher that passed it to an editor already running has ended before the
    // editor reads it.
    return atEnd || stamp.size == 0 || m.opened || stamp.accessed != m.written.accessed ||
           now - *m.endedSeen >= kUnreadKept;
}

std::vector<EditorFiles::FailedEditor> EditorFiles::takeFailedEditors() {
    std::vector<FailedEditor> failed;
    takeOpenings();
    for (Made& m : made_) {
        if (m.gone || m.failureTaken || !m.editorEnded || !m.editorEnded->ended) continue;
        const int status = m.editorEnded->status;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0) continue;
        // An editor that got to the file (opened, read, changed or deleted it) and failed later
        // has shown the user what went wrong itself.
        Stamp stamp;
        if (m.opened || !stampOf(m.path, stamp) || stamp.accessed != m.written.accessed ||
            !sameContents(stamp, m.written))
            continue;
        m.failureTaken = true;
        m.keepUntilEnd = true;
        std::string reason;
        if (WIFSIGNALED(status)) {
            const char* name = ::strsignal(WTERMSIG(status));
            reason = "it was ended by signal " + std::to_string(WTERMSIG(status)) + (name ? std::string(" (") + name + ")" : "");
        } else {
            reason = "it ended with exit status " + std::to_string(WEXITSTATUS(status));
        }
        failed.push_back({m.program, reason, m.path});
    }
    return failed;
}

bool EditorFiles::sweep(Clock::time_point now) {
    bool waiting = false;
    for (Made& m : made_) {
        if (mayGo(m, now, false)) {
            if (::unlink(m.path.c_str()) == 0 || errno == ENOENT) m.gone = true;
            continue;
        }
        Stamp stamp;
        // Still to go later: its editor runs, or it has not been read yet.
        waiting = waiting || (!m.gone && !m.keepUntilEnd &&
                              (!m.editorEnded || !m.editorEnded->ended ||
                               (stampOf(m.path, stamp) && (stamp.size == 0 || sameContents(stamp, m.written)))));
    }
    return waiting;
}

void EditorFiles::deleteAll() {
    for (Made& m : made_)
        if (mayGo(m, Clock::now(), true)) ::unlink(m.path.c_str());
    made_.clear();
    if (!folder_.empty()) ::rmdir(folder_.c_str()); // only when nothing is left in it
    forgetFolderAtTermination(folderSlot_);
    folderSlot_ = -1;
}

namespace {

// What the user is told when their editor did not get the picture.
std::string editorFailedText(const std::string& what, const std::string& path) {
    return what + ".   The picture is in  '" + path + "'  until Orvanta ends.";
}

void tellFailedEditor(const EditorFiles::FailedEditor& failed, Prompter& prompter) {
    prompter.ask(PromptIcon::Exclamation,
                 editorFailedText("The image editor  '" + failed.program + "'  ended before it opened the picture:  " +
                                      failed.reason,
                                  failed.path),
                 kEditorTitle);
}

} // namespace

void tellFailedEditors(EditorFiles& files, Prompter& prompter) {
    for (const EditorFiles::FailedEditor& failed : files.takeFailedEditors()) {
        EditorHandOffWatch::failed(failed.path);
        tellFailedEditor(failed, prompter);
    }
}

namespace {

EditorHandOffWatch*& latestWatch() {
    static EditorHandOffWatch* latest = nullptr;
    return latest;
}

} // namespace

EditorHandOffWatch::EditorHandOffWatch(Heard handedOn, Heard failed)
    : handedOn_(std::move(handedOn)), failed_(std::move(failed)), before_(latestWatch()) {
    latestWatch() = this;
}

EditorHandOffWatch::~EditorHandOffWatch() {
    // Taken out of the chain wherever it is in it.
    for (EditorHandOffWatch** at = &latestWatch(); *at; at = &(*at)->before_)
        if (*at == this) {
            *at = before_;
            break;
        }
}

void EditorHandOffWatch::handedOn(const std::string& path) {
    if (EditorHandOffWatch* w = latestWatch(); w && w->handedOn_) w->handedOn_(path);
}

void EditorHandOffWatch::failed(const std::string& path) {
    if (EditorHandOffWatch* w = latestWatch(); w && w->failed_) w->failed_(path);
}

bool openPictureInEditor(const QImage& picture, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand, const DeepPicture* deep) {
    // The editor first: without one no file is written.
    const std::optional<DesktopEntry> png =
        editorCommandStart(editorCommand, "") ? std::nullopt : defaultPngApplication();
    if (!editorStart(editorCommand, "", png)) {
        prompter.ask(PromptIcon::Exclamation, kNoEditorText, kEditorTitle);
        return false;
    }
    std::string path;
    try {
        path = files.add(picture, deep);
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
    const ProgramEnded ended = files.editorOf(path, start.program);
    int failure = 0;
    // A program that cannot run (a missing library, a launcher that finds no application) ends
    // within moments: it is told then, while the windows go on.
    files.tellFailuresTo(prompter);
    if (startEditor(start, ended, &failure)) {
        EditorHandOffWatch::handedOn(path);
        return true;
    }
    ended->ended = true; // nothing runs on the file
    // It is the user's to open until the program ends, as they are told.
    files.keepUntilEnd(path);
    std::string what = "I could not start the image editor  '" + start.program + "'";
    if (failure != 0) what += ":  " + std::string(std::strerror(failure));
    prompter.ask(PromptIcon::Exclamation, editorFailedText(what, path), kEditorTitle);
    return false;
}

bool openMontageInEditor(bool montageVisible, const QImage& montage, EditorFiles& files, Prompter& prompter,
                         const std::string& editorCommand, const DeepPicture* deep) {
    if (!requireMontage(montageVisible, MontageCommand::Edit, prompter)) return false;
    return openPictureInEditor(montage, files, prompter, editorCommand, deep);
}

} // namespace orv
