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

#include <cerrno>
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
// name in the folders of PATH (by bytes). Without one, `failure` says why, as a shell would: no
// such file, or only files of that name that may not be run.
std::optional<std::string> programOnPath(const std::string& name, int& failure) {
    failure = ENOENT;
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
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
            if (::access(candidate.c_str(), X_OK) == 0) return candidate;
            failure = EACCES;
        }
        from = to + 1;
    }
    return std::nullopt;
}

// The words of an editor command as a shell would split it, without running one: blanks
// separate, single quotes keep everything up to the next single quote, double quotes keep blanks
// (a backslash inside them escapes only a double quote or a backslash), and a backslash outside
// quotes keeps the next character. Users write the command as they would type it in a terminal.
QStringList shellWords(const QString& line) {
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\'')) {
            inWord = true;
            for (++i; i < line.size() && line[i] != QLatin1Char('\''); ++i) word += line[i];
        } else if (c == QLatin1Char('"')) {
            inWord = true;
            for (++i; i < line.size() && line[i] != QLatin1Char('"'); ++i) {
                if (line[i] == QLatin1Char('\\') && i + 1 < line.size() &&
                    (line[i + 1] == QLatin1Char('"') || line[i + 1] == QLatin1Char('\\')))
                    ++i;
                word += line[i];
            }
        } else if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            inWord = true;
            word += line[++i];
        } else if (c.isSpace()) {
            if (inWord) words << word;
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            word += c;
        }
    }
    if (inWord) words << word;
    return words;
}

bool isProgramFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// An editor typed as a path with blanks and no quotes ("/opt/Photo Tool/bin/phototool %f"): the
// shortest start of the line that names a program file, and the words after it. None when the
// line has quotes or its first word is a program already.
std::optional<QStringList> unquotedProgramWithBlanks(const QString& line, const QStringList& words) {
    if (line.contains(QLatin1Char('"')) || line.contains(QLatin1Char('\'')) || line.contains(QLatin1Char('\\')))
        return std::nullopt;
    if (!words[0].contains(QLatin1Char('/')) || isProgramFile(pathBytes(words[0]))) return std::nullopt;
    const QString trimmed = line.trimmed();
    for (qsizetype at = trimmed.indexOf(QLatin1Char(' ')); at > 0; at = trimmed.indexOf(QLatin1Char(' '), at + 1)) {
        const QString program = trimmed.left(at);
        if (!isProgramFile(pathBytes(program))) continue;
        return QStringList{program} + shellWords(trimmed.mid(at + 1));
    }
    if (isProgramFile(pathBytes(trimmed))) return QStringList{trimmed};
    return std::nullopt;
}

} // namespace

std::optional<ProgramStart> editorCommandStart(const std::string& commandLine, const std::string& file) {
    // Split as text and taken back by bytes: the command and the file may name folders whose
    // names are not UTF-8.
    const QString line = pathText(commandLine);
    QStringList words = shellWords(line);
    if (words.isEmpty()) return std::nullopt;
    if (const std::optional<QStringList> withBlanks = unquotedProgramWithBlanks(line, words)) words = *withBlanks;
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

bool startEditor(const ProgramStart& start, const ProgramEnded& ended, int* failure) {
    if (failure) *failure = 0;
    if (starter()) {
        const bool started = starter()(start);
        if (ended) ended->ended = true;
        return started;
    }
    // Started by the bytes of its name and arguments (QProcess would pass them through UTF-8).
    int notFound = 0;
    const std::optional<std::string> program = programOnPath(start.program, notFound);
    if (!program) {
        if (failure) *failure = notFound;
        return false;
    }
    return startDetached(ProgramStart{*program, start.arguments}, ended, failure);
}

void setEditorStarter(std::function<bool(const ProgramStart&)> s) { starter() = std::move(s); }

} // namespace orv
