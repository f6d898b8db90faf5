// Reading the start-up preferences.
#include "settings/preferences.h"

#include "base/atomic_file.h"
#include "base/numbers.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "base/text.h"

#include <QDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <system_error>

namespace orv {

namespace {

// A whole number read with the rounding of the program; out of range reads as 0.
long long wholeOr0(double v, long long lo, long long hi) {
    if (!std::isfinite(v)) return 0;
    const double r = std::nearbyint(v);
    return r < double(lo) || r > double(hi) ? 0 : (long long)r;
}

// What a profile read gives for a key that is not there: no value read from a line holds a line end.
constexpr const char* kAbsent = "\n";

bool isFolder(const std::string& name) {
    struct stat st{};
    return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string folderOfFile(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The system's reason when this user may not write `name`, checked with the effective user as the
// write itself is.
std::optional<std::string> notWritable(const std::string& name) {
    if (::faccessat(AT_FDCWD, name.c_str(), W_OK, AT_EACCESS) == 0) return std::nullopt;
    return std::string(std::strerror(errno));
}

} // namespace

bool isInstalledCopy(const std::string& programFolder) {
    // By bytes, as every folder here: the program's folder name need not be UTF-8.
    return isFolder(programFolder + "../share/orvanta");
}

StartupPreferences readStartupPreferences(const ProfileFile& prefs) {
    auto number = [&](const char* key) { return readProfileNumber(prefs, kPreferencesSection, key); };
    auto int16 = [&](const char* key) { return std::int16_t(wholeOr0(number(key), INT16_MIN, INT16_MAX)); };
    StartupPreferences p;
    auto present = [&](const char* key) { return prefs.read(kPreferencesSection, key, kAbsent) != kAbsent; };
    p.smoothing.autoSmooth = int16("autoSmooth");
    p.smoothing.edgeFactor = present("edgeFactor") ? float(number("edgeFactor") / 100) : kResetSmoothing.edgeFactor;
    p.smoothing.focusFactor = present("focusFactor") ? float(number("focusFactor") / 100) : kResetSmoothing.focusFactor;
    p.smoothing.diffFactor = present("diffFactor") ? int16("diffFactor") : kResetSmoothing.diffFactor;
    p.smoothing.edgeFactor2 =
        present("edgefactor2") ? float(number("edgefactor2") / 10) : kResetSmoothing.edgeFactor2;
    p.shortcut = int16("shortcut");
    p.rightMouse = number("rightmouse") != 0 ? 1 : 0;
    const long long method = wholeOr0(number("Montage method"), 0, 5);
    p.montageMethod = int(method);
    p.increment = trimBlanks(readProfileText(prefs, kPreferencesSection, "Increment"));
    p.originatingImage = number("Originating image") != 0;
    p.loadImages = number("Load images") != 0;
    p.targetColor = std::uint32_t(wholeOr0(number("Target color"), 0, 0xFFFFFF));
    const std::string name = readProfileText(prefs, kPreferencesSection, "filename");
    if (name.size() > 2) p.filename = nameOfProfileValue(trimBlanks(name));
    return p;
}

std::array<double, 4> smoothingSensitivities(const SmoothingPreferences& s) {
    // The factors are single precision and so is the arithmetic on them; the difference factor is a
    // whole number divided in double.
    return {double(100.0f - s.edgeFactor * 100.0f), double(s.focusFactor * 100.0f), double(s.diffFactor) / 100,
            double(100.0f - s.edgeFactor2 * 10.0f)};
}

SmoothingPreferences smoothingFromSensitivities(const std::array<double, 4>& v, SmoothingPreferences s) {
    s.edgeFactor = float(1 - v[0] / 100);
    s.focusFactor = float(v[1] / 100);
    s.diffFactor = roundToInt16(v[2] * 100);
    s.edgeFactor2 = float(10 - v[3] / 10);
    return s;
}

std::array<long long, 4> smoothingKeyValues(const SmoothingPreferences& s) {
    // The whole part of the value to single precision's six significant digits: 0.53 has no
    // exact single-precision form, and 0.53 x 100 must store 53, not 52, or every OK would lower
    // the stored value by one.
    auto whole = [](float v) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%.6g", double(v));
        const double f = std::floor(std::strtod(digits, nullptr));
        if (!std::isfinite(f) || f < double(INT32_MIN) || f > double(INT32_MAX)) throw RuntimeError(6);
        return (long long)f;
    };
    return {whole(s.edgeFactor * 100.0f), whole(s.focusFactor * 100.0f), s.diffFactor, whole(s.edgeFactor2 * 10.0f)};
}

std::string preferencesPath(const std::string& programFolder) {
    if (!programFolder.empty() && isFolder(programFolder) && ::access(programFolder.c_str(), W_OK) == 0 &&
        !isInstalledCopy(programFolder))
        return programFolder + "orvanta.ini";
    // $XDG_CONFIG_HOME when it is an absolute name, else ~/.config, by the variables' bytes.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string config = xdg && xdg[0] == '/' ? xdg : "";
    if (config.empty()) {
        const char* home = std::getenv("HOME");
        config = (home && *home ? std::string(home) : QDir::homePath().toStdString()) + "/.config";
    }
    const std::string dir = config + "/orvanta";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    return dir + "/orvanta.ini";
}

std::optional<std::string> preferencesUnreadable(const std::string& path) {
    std::string text;
    switch (readRegularFile(path, text)) {
    case FileRead::Ok:
    case FileRead::Missing: return std::nullopt;
    case FileRead::NotRegular: return std::string(isFolder(path) ? "it is a folder" : "it is not a regular file");
    case FileRead::Unreadable: break;
    }
    const int why = errno;
    return std::string(why != 0 ? std::strerror(why) : "it cannot be read");
}

std::optional<std::string> preferencesFolderMissing(const std::string& path) {
    struct stat st{};
    if (::stat(folderOfFile(path).c_str(), &st) != 0) return std::string(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return std::string(std::strerror(ENOTDIR));
    return std::nullopt;
}

std::string preferencesWriteFailure(const std::string& path, const RuntimeError& error) {
    if (const std::optional<std::string> why = preferencesFolderMissing(path)) return *why;
    // A file named through a link is replaced where the link leads.
    std::string target = path;
    try {
        target = followLinks(path);
    } catch (const RuntimeError&) {
    }
    if (const std::optional<std::string> why = notWritable(folderOfFile(target))) return *why;
    struct stat st{};
    if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        if (const std::optional<std::string> why = notWritable(target)) return *why;
    return error.description();
}

std::string preferencesNotKeptText(const std::string& path, const std::string& why) {
    return "I could not keep your preferences in " + path + " (" + why +
           ").   Orvanta goes on with the settings it has now, but what you change from now on and the files "
           "you open are not kept when it closes.";
}

std::string preferencesUnreadableText(const std::string& path, const std::string& why) {
    return "I could not read your preferences in " + path + " (" + why +
           ").   Orvanta starts with its default settings and leaves that file as it is, so what you change "
           "now is not kept.";
}

RetouchBrushPreferences readRetouchBrush(const ProfileFile& prefs) {
    RetouchBrushPreferences b;
    const auto whole = [&](const char* key, int low, int high, int fallback) {
        const std::string text = trimBlanks(prefs.read(kPreferencesSection, key, ""));
        char* end = nullptr;
        const long v = text.empty() ? 0 : std::strtol(text.c_str(), &end, 10);
        return !text.empty() && end && *end == '\0' && v >= low && v <= high ? int(v) : fallback;
    };
    b.radius = whole(kRetouchBrushKeys[0], 1, 1000, b.radius);
    b.hardness = whole(kRetouchBrushKeys[1], 0, 100, b.hardness);
    b.opacity = whole(kRetouchBrushKeys[2], 1, 100, b.opacity);
    b.match = whole(kRetouchBrushKeys[3], 0, 1, b.match ? 1 : 0) == 1;
    return b;
}

bool writeRetouchBrush(ProfileFile& prefs, const RetouchBrushPreferences& b) {
    const int values[4] = {b.radius, b.hardness, b.opacity, b.match ? 1 : 0};
    bool ok = true;
    for (std::size_t i = 0; i < 4; ++i)
        ok = prefs.tryWrite(kPreferencesSection, kRetouchBrushKeys[i], std::to_string(values[i])) && ok;
    return ok;
}

} // namespace orv
