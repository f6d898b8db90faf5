// The desktop launcher and the file-manager entry: their text, where they go, and writing and
// removing them.
#include "settings/shell_integration.h"

#include "base/atomic_file.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <cstdlib>
#include <filesystem>
#include <sstream>

namespace orv {

namespace {

// The image types the program reads, then every file (all types derive from octet-stream), as the
// context-menu entry is offered for any file.
constexpr const char* kEntryMimeTypes =
    "image/bmp;image/jpeg;image/gif;image/png;image/tiff;application/octet-stream;";

std::string environment(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeFolder() {
    std::string home = environment("HOME");
    if (home.empty()) home = QDir::homePath().toStdString();
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string programPath(const ShellPlaces& p) { return p.programFolder + p.programName; }

std::string iconValue(const ShellPlaces& p) { return desktopStringValue(p.icon); }

// The lines the launcher and the file manager's entry share: the program, started in its own
// folder without a terminal, its command line followed by `arguments`.
void writeApplicationEntry(std::ostream& t, const ShellPlaces& p, const char* comment, const char* arguments) {
    t << "[Desktop Entry]\n"
      << "Type=Application\n"
      << "Version=1.0\n"
      << "Name=Orvanta\n"
      << "Comment=" << comment << "\n"
      << "Exec=" << desktopExecArgument(programPath(p)) << arguments << "\n"
      << "Icon=" << iconValue(p) << "\n"
      << "Path=" << desktopStringValue(p.programFolder) << "\n"
      << "Terminal=false\n";
}

void writeText(const std::string& path, const std::string& text, std::filesystem::perms mode) {
    AtomicFile f(path);
    f.write(text.data(), text.size());
    f.commit();
    std::error_code ec;
    std::filesystem::permissions(path, mode, std::filesystem::perm_options::replace, ec);
}

// Folders and files by their bytes: a name that is not UTF-8 is not lost to a text conversion.
bool makeFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder), ec);
    return std::filesystem::is_directory(std::filesystem::path(folder), ec);
}

bool nameExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(std::filesystem::path(path), ec));
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// True when `path` holds a file this program wrote (it carries the marker line).
bool isOurs(const std::string& path) {
    std::string text;
    if (readRegularFile(path, text) != FileRead::Ok) return false;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == kCreatedByLine) return true;
    }
    return false;
}

// Writes a file-manager file unless a file of that name that is not ours is in the way.
bool writeOurs(const std::string& path, const std::string& text, std::filesystem::perms mode) {
    if (nameExists(path) && !isOurs(path)) return false;
    if (!makeFolder(folderOf(path))) return false;
    try {
        writeText(path, text, mode);
        return true;
    } catch (...) {
        return false;
    }
}

bool removeOurs(const std::string& path) {
    if (!isRegularFile(path) || !isOurs(path)) return false;
    return ::unlink(path.c_str()) == 0;
}

constexpr auto kExecutable = std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                             std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                             std::filesystem::perms::others_exec;
constexpr auto kReadable = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                           std::filesystem::perms::group_read | std::filesystem::perms::others_read;

} // namespace

std::string userDesktopFolder() {
    const std::string home = homeFolder();
    const std::string configured = environment("XDG_DESKTOP_DIR");
    if (!configured.empty() && configured.front() == '/') return withoutTrailingSlash(configured);
    QProcess query;
    query.start(QStringLiteral("xdg-user-dir"), {QStringLiteral("DESKTOP")});
    if (query.waitForFinished(3000) && query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0) {
        const std::string answer =
            withoutTrailingSlash(query.readAllStandardOutput().trimmed().toStdString()); // the bytes as they are
        // The home folder itself is how xdg-user-dirs says "no desktop folder".
        if (!answer.empty() && answer.front() == '/' && answer != home) return answer;
    } else if (query.state() != QProcess::NotRunning) {
        query.kill();
        query.waitForFinished(1000);
    }
    return home + "/Desktop";
}

std::string userDataHome() {
    const std::string configured = environment("XDG_DATA_HOME");
    if (!configured.empty() && configured.front() == '/') return withoutTrailingSlash(configured);
    return homeFolder() + "/.local/share";
}

ShellPlaces shellPlacesFor(const std::string& programFolder) {
    ShellPlaces p;
    p.programFolder = programFolder;
    if (!p.programFolder.empty() && p.programFolder.back() != '/') p.programFolder += '/';
    p.desktopFolder = userDesktopFolder();
    p.dataHome = userDataHome();
    const std::string besideProgram = p.programFolder + "orvanta.png";
    if (isRegularFile(besideProgram)) p.icon = besideProgram;
    return p;
}

std::string desktopStringValue(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        case ' ': out += i == 0 ? "\\s" : " "; break;
        default: out += c;
        }
    }
    return out;
}

std::string desktopExecArgument(const std::string& argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') quoted += '%';
        quoted += c;
    }
    quoted += '"';
    // Then the string escapes. The value starts with its quote, so a blank is never its first
    // character: every blank is part of the argument and stays as it is.
    return desktopStringValue(quoted);
}

std::string launcherText(const ShellPlaces& p) {
    std::ostringstream t;
    writeApplicationEntry(t, p, kLauncherComment, "");
    t << "StartupNotify=true\n";
    return t.str();
}

std::string fileManagerEntryText(const ShellPlaces& p) {
    std::ostringstream t;
    writeApplicationEntry(t, p, "Make an in-focus montage from the series this picture starts", " %f");
    t << "NoDisplay=true\n"
      << "MimeType=" << kEntryMimeTypes << "\n"
      << kCreatedByLine << "\n";
    return t.str();
}

std::string serviceMenuText(const ShellPlaces& p) {
    // A KDE service menu (Dolphin, Konqueror): a service of the context-menu plugin type, offered
    // for the types listed, whose one action starts the program on the file.
    std::ostringstream t;
    t << "[Desktop Entry]\n"
      << "Type=Service\n"
      << "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
      << "Name=Orvanta\n"
      << "MimeType=" << kEntryMimeTypes << "\n"
      << "Actions=openWithOrvanta;\n"
      << "X-KDE-Priority=TopLevel\n"
      << kCreatedByLine << "\n"
      << "\n"
      << "[Desktop Action openWithOrvanta]\n"
      << "Name=Orvanta\n"
      << "Icon=" << iconValue(p) << "\n"
      << "Exec=" << desktopExecArgument(programPath(p)) << " %f\n";
    return t.str();
}

std::string ShellIntegration::launcherPath() const {
    return withoutTrailingSlash(places_.desktopFolder) + "/" + kLauncherFileName;
}

std::string ShellIntegration::applicationEntryPath() const {
    return withoutTrailingSlash(places_.dataHome) + "/applications/" + kFileManagerEntryName;
}

std::string ShellIntegration::serviceMenuPath() const {
    return withoutTrailingSlash(places_.dataHome) + "/kio/servicemenus/" + kFileManagerEntryName;
}

bool ShellIntegration::createDesktopShortcut(std::string* why) const {
    const auto fail = [why](const std::string& reason) {
        if (why) *why = reason;
        return false;
    };
    if (places_.desktopFolder.empty()) return fail("no desktop folder is known");
    if (!makeFolder(places_.desktopFolder)) return fail("the desktop folder cannot be made");
    try {
        writeText(launcherPath(), launcherText(places_), kExecutable);
        return true;
    } catch (const RuntimeError& e) {
        return fail(e.description());
    } catch (...) {
        return fail("it cannot be written");
    }
}

std::string launcherNotWrittenText(const std::string& launcherPath, const std::string& why) {
    return "I could not put the 'Orvanta' shortcut on your desktop as " + launcherPath + " (" + why +
           ").   Orvanta starts as before from its menu entry or the command line.";
}

bool ShellIntegration::installFileManagerEntry() const {
    if (places_.dataHome.empty()) return false;
    const bool entry = writeOurs(applicationEntryPath(), fileManagerEntryText(places_), kReadable);
    // KDE runs service menus from a user's folder only when they are executable.
    const bool menu = writeOurs(serviceMenuPath(), serviceMenuText(places_), kExecutable);
    return entry && menu;
}

bool ShellIntegration::refreshFileManagerEntry() const {
    if (places_.dataHome.empty()) return true;
    bool ok = true;
    const auto refresh = [&](const std::string& path, const std::string& text, std::filesystem::perms mode) {
        std::string now;
        if (!isRegularFile(path) || !isOurs(path) || readRegularFile(path, now) != FileRead::Ok || now == text) return;
        ok = writeOurs(path, text, mode) && ok;
    };
    refresh(applicationEntryPath(), fileManagerEntryText(places_), kReadable);
    refresh(serviceMenuPath(), serviceMenuText(places_), kExecutable);
    return ok;
}

bool ShellIntegration::removeFileManagerEntry() const {
    if (places_.dataHome.empty()) return false;
    const bool entry = removeOurs(applicationEntryPath());
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    // The second file goes too when the first was already gone, so no half entry stays behind.
    const bool menu = removeOurs(serviceMenuPath());
    return entry && menu;
}

std::int16_t applyFileManagerChoice(const ShellIntegration& shell, bool ticked, std::int16_t flag,
                                    Prompter& prompter) {
    if (ticked && flag == 0) {
        shell.installFileManagerEntry();
    } else if (!ticked && flag == 1) {
        if (shell.removeFileManagerEntry())
            prompter.ask(PromptIcon::Information, kEntryRemovedText, kEntryRemovedTitle);
        else
            prompter.ask(PromptIcon::Information, kEntryRemovalFailedText, kEntryRemovalFailedTitle);
    }
    return ticked ? 1 : 0;
}

} // namespace orv
