// The editor command: the preference, or the default PNG application that is not Orvanta.
#include "ui/image_editor.h"

#include "ui/path_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace orv {

namespace {

std::function<std::optional<DesktopEntry>()>& pngLookup() {
    static std::function<std::optional<DesktopEntry>()> f;
    return f;
}

std::function<bool(const ProgramStart&)>& starter() {
    static std::function<bool(const ProgramStart&)> f;
    return f;
}

bool isOrvanta(const DesktopEntry& entry, const std::string& program) {
    const QString name = pathText(entry.name).toLower();
    return name.contains(QStringLiteral("orvanta")) || QFileInfo(pathText(program)).fileName().toLower() == QStringLiteral("orvanta");
}

// The value of the Exec key in the [Desktop Entry] group.
QString execLine(const std::string& text) {
    bool inEntry = false;
    for (const QString& raw : pathText(text).split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (inEntry && line.startsWith(QStringLiteral("Exec="))) return line.mid(5).trimmed();
    }
    return {};
}

std::optional<DesktopEntry> lookUpDefaultPng() {
    QProcess query;
    query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("image/png")});
    if (!query.waitForFinished(5000) || query.exitCode() != 0) return std::nullopt;
    const QString name = QString::fromLocal8Bit(query.readAllStandardOutput()).trimmed();
    if (name.isEmpty()) return std::nullopt;
    const QString path = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, name);
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) return std::nullopt;
    return DesktopEntry{name.toStdString(), file.readAll().toStdString()};
}

// A file:// address of a name: every byte but the unreserved ones percent-encoded, so that a name
// that is not UTF-8 reaches the program as its bytes.
std::string fileUrl(const std::string& file) {
    const QByteArray encoded = QUrl::toPercentEncoding(QByteArray::fromStdString(file), QByteArrayLiteral("/"));
    return "file://" + encoded.toStdString();
}

// The program a name starts: a name with a "/" as it is, else the first executable file of that
// name in the folders of PATH (by bytes).
std::optional<std::string> programOnPath(const std::string& name) {
    if (name.empty()) return std::nullopt;
    if (name.find('/') != std::string::npos) return name;
    const char* env = std::getenv("PATH");
    const std::string path = env ? env : "/usr/local/bin:/usr/bin:/bin";
    for (std::size_t from = 0; from <= path.size();) {
        std::size_t to = path.find(':', from);
        if (to == std::string::npos) to = path.size();
        const std::string folder = to > from ? path.substr(from, to - from) : ".";
        const std::string candidate = folder + "/" + name;
        struct stat st{};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = to + 1;
    }
    return std::nullopt;
}

} // namespace

std::optional<ProgramStart> editorCommandStart(const std::string& commandLine, const std::string& file) {
    // Split as text and taken back by bytes: the command and the file may name folders whose
    // names are not UTF-8.
    const QStringList words = QProcess::splitCommand(pathText(commandLine));
    if (words.isEmpty()) return std::nullopt;
    ProgramStart start{pathBytes(words[0]), {}};
    bool placed = false;
    for (int i = 1; i < words.size(); ++i) {
        QString w = words[i];
        if (w.contains(QStringLiteral("%f"))) {
            w.replace(QStringLiteral("%f"), pathText(file));
            placed = true;
        }
        start.arguments.push_back(pathBytes(w));
    }
    if (!placed) start.arguments.push_back(file);
    return start;
}

std::optional<ProgramStart> desktopEntryStart(const DesktopEntry& entry, const std::string& file) {
    const QStringList words = QProcess::splitCommand(execLine(entry.text));
    if (words.isEmpty()) return std::nullopt;
    ProgramStart start{pathBytes(words[0]), {}};
    if (isOrvanta(entry, start.program)) return std::nullopt;
    bool placed = false;
    for (int i = 1; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w == QStringLiteral("%f") || w == QStringLiteral("%F")) {
            start.arguments.push_back(file);
            placed = true;
        } else if (w == QStringLiteral("%u") || w == QStringLiteral("%U")) {
            start.arguments.push_back(fileUrl(file));
            placed = true;
        } else if (w.size() == 2 && w[0] == QLatin1Char('%')) {
            continue; // %i, %c, %k and the deprecated codes stand for nothing here
        } else {
            QString plain = w;
            start.arguments.push_back(pathBytes(plain.replace(QStringLiteral("%%"), QStringLiteral("%"))));
        }
    }
    if (!placed) start.arguments.push_back(file);
    return start;
}

std::optional<ProgramStart> editorStart(const std::string& preference, const std::string& file,
                                        const std::optional<DesktopEntry>& defaultPng) {
    if (auto fromPreference = editorCommandStart(preference, file)) return fromPreference;
    if (defaultPng) return desktopEntryStart(*defaultPng, file);
    return std::nullopt;
}

std::optional<DesktopEntry> defaultPngApplication() { return pngLookup() ? pngLookup()() : lookUpDefaultPng(); }

void setDefaultPngLookup(std::function<std::optional<DesktopEntry>()> lookup) { pngLookup() = std::move(lookup); }

bool startEditor(const ProgramStart& start, const ProgramEnded& ended) {
    if (starter()) {
        const bool started = starter()(start);
        if (ended) *ended = true;
        return started;
    }
    // Started by the bytes of its name and arguments (QProcess would pass them through UTF-8).
    const std::optional<std::string> program = programOnPath(start.program);
    if (!program) return false;
    return startDetached(ProgramStart{*program, start.arguments}, ended);
}

void setEditorStarter(std::function<bool(const ProgramStart&)> s) { starter() = std::move(s); }

} // namespace orv
