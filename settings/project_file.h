// Project files: a ".mon" text file in the layout of a preferences file (section "[project]",
// then the montage properties text) and a companion bitmap with the same name ending in "vrk".
// The names, writing the text and reading the settings, properties and map back. The text is
// UTF-8 with CR LF line ends.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orv {

inline constexpr const char* kProjectSection = "project";
inline constexpr const char* kProjectRecentPrefix = "project ";
// The key of the line a project of pictures turned upright by their camera's orientation tag holds:
// its target centres are the upright pictures'. Older projects hold the centres as the pictures
// were stored.
inline constexpr const char* kCameraOrientationKey = "Camera orientation";

// The name the Save dialog proposes for a first file name: the file name up to and including its
// first dot, then "mon" (/pics/rock01.bmp gives /pics/rock01.mon); the name + ".mon" when the
// file name has no dot.
std::string proposedProjectName(const std::string& firstFileName);

// The name chosen in the Save dialog as the project is written: ".mon" is added when the file
// name has no extension of its own; any other extension is kept.
std::string completedProjectName(const std::string& chosen);

// The companion bitmap: the project name with its last three characters replaced by "vrk" when
// they are the file name's ending (rock01.mon gives rock01.vrk, rock.jpeg rock.jvrk); a project
// whose file name ends in fewer than three characters after its last dot, or has no dot, keeps its
// whole name and gets ".vrk" (a.b gives a.b.vrk), so that it has a bitmap of its own.
std::string projectBitmapName(const std::string& project);

// The bitmap an opened project is shown from: projectBitmapName, or, when that file is not there,
// the one older versions wrote for a name with a short ending (a.b's "vrk") when it is.
std::string projectBitmapToRead(const std::string& project);

// Whether the project and its bitmap would be one file (a name ending in "vrk", or a bitmap name
// that is a link to the project): the bitmap written first would then be replaced by the text.
bool projectIsItsOwnBitmap(const std::string& project);
inline constexpr const char* kProjectNameTitle = "Choose another name";
std::string projectIsItsOwnBitmapText(const std::string& project);

// While a project's files are put into place, "<project>.lock" beside it (the project's links
// followed) is locked, so that two programs saving the same project at the same moment put their
// files into place one after the other: the ".mon" file and the bitmap beside it are always one
// save's. The lock file is removed when the lock is let go. A program that ends without letting it
// go loses the lock with its end, and the file it leaves is taken by the next save and removed.
class ProjectSaveLock {
public:
    ProjectSaveLock(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
    ~ProjectSaveLock();
    ProjectSaveLock(const ProjectSaveLock&) = delete;
    ProjectSaveLock& operator=(const ProjectSaveLock&) = delete;

private:
    int fd_;
    std::string name_;
};

std::string projectLockName(const std::string& project);
inline constexpr std::chrono::milliseconds kProjectLockWait{5000};
inline constexpr const char* kProjectBusyDescription =
    "another program is saving this project at the same moment, so nothing was saved: save it again once that "
    "save is done";
// Takes the lock, waiting up to `wait` while another program holds it; then RuntimeError 70 with
// kProjectBusyDescription. Where no lock file can be had (a folder that takes no new file, a file
// system without locks, something other than a file under its name) the save goes on without
// one, as the writing says what stops it: none is returned.
std::unique_ptr<ProjectSaveLock> lockProjectForSaving(const std::string& project,
                                                      std::chrono::milliseconds wait = kProjectLockWait);

// Whether a file name names a project: it ends in ".mon", in any case. A project dropped on the
// main window or named on the desktop program's command line opens as a project.
bool isProjectFileName(const std::string& path);

// The recent-file entry: "project " + the project name without its last four characters.
std::string projectRecentEntry(const std::string& project);

// The project a recent entry names ("project /pics/rock01" gives "/pics/rock01.mon"), or none
// when the text is not a recent project entry.
std::optional<std::string> projectFromRecentEntry(const std::string& text);

// The file's text: "[project]", a line end, the properties text and a final line end.
std::string projectFileText(const std::string& propertiesText);

// Writes the ".mon" file atomically (RuntimeError 70, 61 or 75 when it cannot be written). A first
// file name that holds a line end is written as a file:// address with its bytes percent-encoded
// (readProjectSettings decodes it), so that it stays one line.
void writeProjectFile(const std::string& path, const std::string& propertiesText);

// A project folder moved or copied with its pictures (to another disk, another computer, a renamed
// folder) still names the first file where it was. `completedFirst` is the stored first file name
// completed as it is read (a relative name against its folder). When that file is not there and a
// file of the same name is in the project's own folder, that file is returned; none otherwise
// (the stored name is used as before).
std::optional<std::string> firstFileBesideProject(const std::string& project, const std::string& completedFirst);

// The properties text with its first file name line holding `firstFileName`, so that a project
// saved again stores where its series is now.
std::string withFirstFileName(const std::string& propertiesText, const std::string& firstFileName);

// What the user is told when a project's series is read from the project's own folder.
inline constexpr const char* kMovedSeriesTitle = "The pictures have moved";
std::string movedSeriesText(const std::string& storedFirst, const std::string& folderUsed);

enum class ProjectArea { Unchanged, Same, Minimum, Maximum };

// What opening a project sets in the controls.
struct ProjectSettings {
    std::string firstFileName;      // trimmed
    int method = 0;                 // the numeric prefix of "Montage method used"
    std::string incrementText = "0";
    bool usesOffsets = false;       // the project was saved with "Use Image Offsets" ticked
    ProjectArea area = ProjectArea::Unchanged;
    // Target centres of pictures 1 to 30 (index 0 unused) for which the file holds both keys.
    std::array<std::optional<std::pair<int, int>>, 31> targets{};
    std::array<bool, 10> ignored{}; // pictures 1 to 10
    bool automaticAlignment = false; // the pictures were aligned automatically
    bool colourMatch = false;        // and matched in colour to the reference
    // The display area of an aligned montage ("Aligned display area"); Unchanged in a project
    // saved before the area was written.
    ProjectArea alignedArea = ProjectArea::Unchanged;
    bool targetsUpright = false;     // the target centres are those of pictures turned upright
    bool smoothed = false;           // "Smoothing =yes": the montage had a smoothing pass
    int pictureCount = 0;            // "Number of files found"; 0 when absent or no count
    // Numbers the program cannot hold: a method beyond the whole numbers, an offset beyond -32768
    // to 32767. Their fields read 0; the file should not be used as it stands.
    struct OutOfRange {
        std::string key;
        std::string text;
    };
    std::vector<OutOfRange> outOfRange;
};

// Reads the keys of section "project"; missing keys read as "0". A missing file reads as all
// defaults (the caller tests for it first).
ProjectSettings readProjectSettings(const std::string& path);

// The properties text and the dominant-image map as they were saved.
struct ProjectContents {
    std::string propertiesText;
    std::string map; // one line per block row, each ended by CR LF
};

// Raises RuntimeError 53 when the file cannot be read.
ProjectContents readProjectContents(const std::string& path);

} // namespace orv
