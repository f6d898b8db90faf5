// The editor command: the preference, or the default PNG application that is not Orvanta.
#include "ui/image_editor.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

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
    const QString name = QString::fromStdString(entry.name).toLower();
    return name.contains(QStringLiteral("orvanta")) ||
           QFileInfo(QString::fromStdString(program)).fileName().toLower() == QStringLiteral("orvanta");
}

// The value of the Exec key in the [Desktop Entry] group.
QString execLine(const std::string& text) {
    bool inEntry = false;
    for (const QString& raw : QString::fromStdString(text).split(QLatin1Char('\n'))) {
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

} // namespace

std::optional<ProgramStart> editorCommandStart(const std::string& commandLine, const std::string& file) {
    const QStringList words = QProcess::splitCommand(QString::fromStdString(commandLine));
    if (words.isEmpty()) return std::nullopt;
    ProgramStart start{words[0].toStdString(), {}};
    bool placed = false;
    for (int i = 1; i < words.size(); ++i) {
        QString w = words[i];
        if (w.contains(QStringLiteral("%f"))) {
            w.replace(QStringLiteral("%f"), QString::fromStdString(file));
            placed = true;
        }
        start.arguments.push_back(w.toStdString());
    }
    if (!placed) start.arguments.push_back(file);
    return start;
}

std::optional<ProgramStart> desktopEntryStart(const DesktopEntry& entry, const std::string& file) {
    const QStringList words = QProcess::splitCommand(execLine(entry.text));
    if (words.isEmpty()) return std::nullopt;
    ProgramStart start{words[0].toStdString(), {}};
    if (isOrvanta(entry, start.program)) return std::nullopt;
    const QString path = QString::fromStdString(file);
    bool placed = false;
    for (int i = 1; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w == QStringLiteral("%f") || w == QStringLiteral("%F")) {
            start.arguments.push_back(file);
            placed = true;
        } else if (w == QStringLiteral("%u") || w == QStringLiteral("%U")) {
            start.arguments.push_back(QUrl::fromLocalFile(path).toString().toStdString());
            placed = true;
        } else if (w.size() == 2 && w[0] == QLatin1Char('%')) {
            continue; // %i, %c, %k and the deprecated codes stand for nothing here
        } else {
            QString plain = w;
            start.arguments.push_back(plain.replace(QStringLiteral("%%"), QStringLiteral("%")).toStdString());
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

bool startEditor(const ProgramStart& start) {
    if (starter()) return starter()(start);
    QStringList arguments;
    for (const std::string& a : start.arguments) arguments << QString::fromStdString(a);
    return QProcess::startDetached(QString::fromStdString(start.program), arguments);
}

void setEditorStarter(std::function<bool(const ProgramStart&)> s) { starter() = std::move(s); }

} // namespace orv
