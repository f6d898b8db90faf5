// Reading the start-up preferences.
#include "base/text.h"
#include "settings/preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace orv {

namespace {


// A whole number read with the rounding of the program; out of range reads as 0.
long long wholeOr0(double v, long long lo, long long hi) {
    if (!std::isfinite(v)) return 0;
    const double r = std::nearbyint(v);
    return r < double(lo) || r > double(hi) ? 0 : (long long)r;
}

} // namespace

StartupPreferences readStartupPreferences(const ProfileFile& prefs) {
    auto number = [&](const char* key) { return readProfileNumber(prefs, kPreferencesSection, key); };
    auto int16 = [&](const char* key) { return std::int16_t(wholeOr0(number(key), INT16_MIN, INT16_MAX)); };
    StartupPreferences p;
    p.smoothing.autoSmooth = int16("autoSmooth");
    p.smoothing.edgeFactor = float(number("edgeFactor") / 100);
    p.smoothing.focusFactor = float(number("focusFactor") / 100);
    p.smoothing.diffFactor = int16("diffFactor");
    p.smoothing.edgeFactor2 = float(number("edgefactor2") / 10);
    p.shortcut = int16("shortcut");
    p.rightMouse = number("rightmouse") != 0 ? 1 : 0;
    const long long method = wholeOr0(number("Montage method"), 0, 4);
    p.montageMethod = int(method);
    p.increment = trimBlanks(readProfileText(prefs, kPreferencesSection, "Increment"));
    p.originatingImage = number("Originating image") != 0;
    p.loadImages = number("Load images") != 0;
    p.targetColor = std::uint32_t(wholeOr0(number("Target color"), 0, 0xFFFFFF));
    const std::string name = readProfileText(prefs, kPreferencesSection, "filename");
    if (name.size() > 2) p.filename = trimBlanks(name);
    return p;
}

std::string preferencesPath(const std::string& programFolder) {
    const QFileInfo folder(QString::fromStdString(programFolder));
    if (folder.isDir() && folder.isWritable()) return programFolder + "orvanta.ini";
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) config = QDir::homePath() + "/.config";
    const QString dir = config + "/orvanta";
    QDir().mkpath(dir);
    return (dir + "/orvanta.ini").toStdString();
}

} // namespace orv
