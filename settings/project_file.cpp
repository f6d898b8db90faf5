// Reading and writing project files.
#include "settings/project_file.h"

#include "base/atomic_file.h"
#include "base/file_identity.h"
#include "base/leading_number.h"
#include "base/numbers.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "settings/profile_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdint>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orv {

namespace {

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// A display-method value: "minimum", "maximum" or "same" in any case; anything else leaves the
// area as it is.
ProjectArea projectArea(const std::string& value) {
    const std::string a = lowered(trimBlanks(value));
    if (a == "minimum") return ProjectArea::Minimum;
    if (a == "maximum") return ProjectArea::Maximum;
    if (a == "same") return ProjectArea::Same;
    return ProjectArea::Unchanged;
}

// The value of a key as the reading rule gives it, or none when the key is not in the file.
std::optional<std::string> readKey(const ProfileFile& f, const std::string& key) {
    // A value can never contain a line break, so it serves as the "absent" marker.
    static const std::string absent = "\n";
    std::string v = f.read(kProjectSection, key, absent);
    if (v == absent) return std::nullopt;
    if (const auto nul = v.find('\0'); nul != std::string::npos) v.resize(nul);
    return v;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

std::string proposedProjectName(const std::string& firstFileName) {
    const std::size_t dot = firstDotOfFileName(firstFileName);
    if (dot == std::string::npos) return firstFileName + ".mon";
    return firstFileName.substr(0, dot + 1) + "mon";
}

std::string completedProjectName(const std::string& chosen) {
    if (chosen.empty() || firstDotOfFileName(chosen) != std::string::npos) return chosen;
    return chosen + ".mon";
}

namespace {

// The bitmap name of older versions: the last three characters replaced whatever they were.
std::string lastThreeReplaced(const std::string& project) {
    return project.substr(0, project.size() >= 3 ? project.size() - 3 : 0) + "vrk";
}

} // namespace

std::string projectBitmapName(const std::string& project) {
    // The last three characters are replaced when they all belong to the file name's ending (after
    // its last dot). A shorter ending (a.b, a.) or none would have the name itself cut, or the
    // folder's: every such project of a folder would share one bitmap (a.b and c.d both "vrk"),
    // each save replacing another's montage. Those keep their whole name and get ".vrk" after it.
    const std::size_t slash = project.rfind('/');
    const std::size_t from = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = project.rfind('.');
    const bool endingOfThree = dot != std::string::npos && dot >= from && project.size() - dot > 3;
    return endingOfThree ? lastThreeReplaced(project) : project + ".vrk";
}

std::string projectBitmapToRead(const std::string& project) {
    const std::string bitmap = projectBitmapName(project);
    const std::string older = lastThreeReplaced(project);
    std::error_code ec;
    if (older == bitmap || std::filesystem::exists(bitmap, ec) || !std::filesystem::exists(older, ec)) return bitmap;
    return older;
}

bool projectIsItsOwnBitmap(const std::string& project) {
    const std::string bitmap = projectBitmapName(project);
    return bitmap == project || sameRegularFile(identifyFile(bitmap), identifyFile(project));
}

std::string projectIsItsOwnBitmapText(const std::string& project) {
    return project + " would hold both the project and its montage picture, which would be lost.   "
                     "Please end the project's name with .mon.";
}

std::string projectRecentEntry(const std::string& project) {
    return kProjectRecentPrefix + project.substr(0, project.size() >= 4 ? project.size() - 4 : 0);
}

std::optional<std::string> projectFromRecentEntry(const std::string& text) {
    const std::string prefix = kProjectRecentPrefix;
    if (text.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return text.substr(prefix.size()) + ".mon";
}

std::string projectFileText(const std::string& propertiesText) {
    return "[" + std::string(kProjectSection) + "]\r\n" + propertiesText + "\r\n";
}

namespace {

constexpr const char* kFirstFileKey = "First file name =";
constexpr const char* kNextKey = "\r\n  Number of files found =";
// The properties text with its first file name encoded when it holds a line end, so that the
// project's lines stay the keys they are.
std::optional<std::pair<std::size_t, std::size_t>> firstNameSpan(const std::string& propertiesText);

std::string withEncodedFirstName(const std::string& propertiesText) {
    const auto span = firstNameSpan(propertiesText);
    if (!span) return propertiesText;
    const std::string name = propertiesText.substr(span->first, span->second - span->first);
    return propertiesText.substr(0, span->first) + profileNameValue(name) + propertiesText.substr(span->second);
}

// The part of the properties text that holds the first file name: [from, to), or none.
std::optional<std::pair<std::size_t, std::size_t>> firstNameSpan(const std::string& propertiesText) {
    const std::size_t key = propertiesText.find(kFirstFileKey);
    if (key == std::string::npos) return std::nullopt;
    const std::size_t from = key + std::strlen(kFirstFileKey);
    const std::size_t to = propertiesText.find(kNextKey, from);
    if (to == std::string::npos) return std::nullopt;
    return std::pair<std::size_t, std::size_t>(from, to);
}

} // namespace

std::string withFirstFileName(const std::string& propertiesText, const std::string& firstFileName) {
    const auto span = firstNameSpan(propertiesText);
    if (!span) return propertiesText;
    return propertiesText.substr(0, span->first) + firstFileName + propertiesText.substr(span->second);
}

std::optional<std::string> firstFileBesideProject(const std::string& project, const std::string& completedFirst) {
    std::error_code ec;
    // A stored name that is there, or that cannot be looked at (a folder without search
    // permission), is used as before: only a name that is plainly gone is looked for elsewhere.
    const bool stored = std::filesystem::exists(completedFirst, ec);
    if (stored || ec) return std::nullopt;
    const std::size_t nameAt = completedFirst.rfind('/');
    const std::string name = nameAt == std::string::npos ? completedFirst : completedFirst.substr(nameAt + 1);
    if (name.empty()) return std::nullopt;
    // The project's own folder, absolute, so that the series keeps its place when the working
    // folder changes.
    std::string folder;
    const std::size_t slash = project.rfind('/');
    if (slash != std::string::npos) folder = project.substr(0, slash + 1);
    if (folder.empty() || folder[0] != '/') {
        const std::string here = std::filesystem::current_path(ec).string();
        if (ec || here.empty()) return std::nullopt;
        folder = here + (here.back() == '/' ? "" : "/") + folder;
    }
    const std::string beside = folder + name;
    if (beside == completedFirst || !std::filesystem::is_regular_file(beside, ec)) return std::nullopt;
    return beside;
}

std::string movedSeriesText(const std::string& storedFirst, const std::string& folderUsed) {
    return "The pictures of this project are no longer where it was saved (" + storedFirst +
           " is not there).   The series is read from the project's own folder, " + folderUsed + " instead.";
}

void writeProjectFile(const std::string& path, const std::string& propertiesText) {
    const std::string text = projectFileText(withEncodedFirstName(propertiesText));
    writeFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

ProjectSettings readProjectSettings(const std::string& path) {
    const ProfileFile f(path);
    auto text = [&](const std::string& key) { return readKey(f, key).value_or("0"); };
    ProjectSettings s;
    s.firstFileName = nameOfProfileValue(trimBlanks(text("first file name")));
    // Every number is rounded to the nearest whole number (halves to the even one), as the program
    // rounds everywhere, and checked against what will hold it before it is converted: an offset
    // of -2.7 written by hand is -3, not -2.
    auto whole = [&](const std::string& key, const std::string& value, double low, double high) {
        const double v = roundHalfEven(leadingValue(value));
        if (v >= low && v <= high) return int(v);
        s.outOfRange.push_back({key, trimBlanks(value)});
        return 0;
    };
    s.method = whole("Montage method used", text("Montage method used"), INT_MIN, INT_MAX);
    s.incrementText = trimBlanks(text("Increment size"));
    // How many pictures the montage was made from: shown, and compared with the series found now.
    if (const double n = leadingValue(text("Number of files found")); n >= 1 && n <= 9999 && n == double(int(n)))
        s.pictureCount = int(n);

    // Offsets were used when the file holds a display-method line or any picture's offset: the
    // first picture may have been ignored, or its target may sit at x = 0.
    if (const std::optional<std::string> aligned = readKey(f, "Automatic alignment"))
        s.automaticAlignment = trimBlanks(*aligned) == "yes";
    if (const std::optional<std::string> matched = readKey(f, "Colour matching"))
        s.colourMatch = trimBlanks(*matched) == "yes";
    if (const std::optional<std::string> aligned = readKey(f, "Aligned display area"))
        s.alignedArea = projectArea(*aligned);
    s.targetsUpright = readKey(f, kCameraOrientationKey).has_value();
    // A montage smoothed after it was made (or automatically) says "yes"; "no " keeps its blank.
    s.smoothed = lowered(trimBlanks(text("Smoothing"))) == "yes";
    const std::optional<std::string> area = readKey(f, "Offset display method");
    s.usesOffsets = area.has_value();
    for (int i = 1; i <= 30; ++i) {
        const std::optional<std::string> x = readKey(f, "Image " + std::to_string(i) + " offset X");
        const std::optional<std::string> y = readKey(f, "Image " + std::to_string(i) + " offset Y");
        if (x || y) s.usesOffsets = true;
        if (x && y) {
            const std::string name = "Image " + std::to_string(i) + " offset ";
            const int ox = whole(name + "X", *x, INT16_MIN, INT16_MAX);
            const int oy = whole(name + "Y", *y, INT16_MIN, INT16_MAX);
            s.targets[std::size_t(i)] = std::pair<int, int>(ox, oy);
        }
    }
    if (area) s.area = projectArea(*area);

    const std::string ignore = lowered(trimBlanks(text("Ignore image number")));
    std::istringstream parts(ignore);
    std::string part;
    while (std::getline(parts, part, ',')) {
        const std::string t = trimBlanks(part);
        if (t.empty()) continue;
        const double n = leadingValue(t);
        if (n >= 1 && n <= 10 && n == double(int(n))) s.ignored[std::size_t(int(n) - 1)] = true;
    }
    return s;
}

ProjectContents readProjectContents(const std::string& path) {
    std::string all;
    switch (readRegularFile(path, all)) {
    case FileRead::Ok: break;
    case FileRead::NotRegular: throw RuntimeError(75); // a FIFO or a device: never waited on
    default: throw RuntimeError(53);
    }
    const std::vector<std::string> lines = splitLines(all);

    ProjectContents c;
    bool inMap = false, mapEnded = false;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        c.propertiesText += lines[i] + "\r\n";
        if (inMap && !mapEnded) {
            // The map ends at its first empty line: what follows is the file's own line ends.
            if (lines[i].empty()) mapEnded = true;
            else c.map += lines[i] + "\r\n";
        }
        if (!inMap && lines[i].find("dominant image numbers") != std::string::npos) inMap = true;
    }
    // The line end the file adds after the properties text is not part of it.
    if (c.propertiesText.size() >= 2) c.propertiesText.resize(c.propertiesText.size() - 2);
    return c;
}

std::string projectLockName(const std::string& project) { return followLinks(project) + ".lock"; }

ProjectSaveLock::~ProjectSaveLock() {
    // Removed while it is still locked: a program waiting on this file finds it gone once it has
    // the lock, and locks the file under the name then.
    ::unlink(name_.c_str());
    ::close(fd_);
}

std::unique_ptr<ProjectSaveLock> lockProjectForSaving(const std::string& project, std::chrono::milliseconds wait) {
    const std::string name = projectLockName(project);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int flags = O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;
        int fd = ::open(name.c_str(), O_RDWR | O_CREAT | flags, 0666);
        // Another user's lock file may be locked through reading alone.
        if (fd < 0 && errno == EACCES) fd = ::open(name.c_str(), O_RDONLY | flags);
        if (fd < 0) return nullptr;
        struct stat held{};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                const bool busy = errno == EWOULDBLOCK;
                ::close(fd);
                if (busy) throw RuntimeError(70, kProjectBusyDescription);
                return nullptr;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        // The file locked is the one under the name, not one its last holder removed meanwhile.
        struct stat named{};
        if (::lstat(name.c_str(), &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino)
            return std::make_unique<ProjectSaveLock>(fd, name);
        ::close(fd);
    }
}

bool isProjectFileName(const std::string& path) {
    const std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (name.size() <= 4) return false;
    std::string end = name.substr(name.size() - 4);
    for (char& c : end) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return end == ".mon";
}

} // namespace orv
