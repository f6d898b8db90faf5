// Projects: the montage saved with its properties, map and strokes, and opened back into the main
// record (the stored picture shown, the strokes painted again where they can be undone).
#include "session/montage_session.h"
#include "session/montage_saving.h"

#include "base/atomic_file.h"
#include "base/error_sites.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "engine/montage.h"
#include "engine/properties_text.h"
#include "input/picture_file.h"
#include "output/bmp_writer.h"
#include "output/output_set.h"
#include "retouch/strokes_file.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

namespace orv {

namespace {

// The project's files, the picture's rows told to `progress`.
void addProjectFilesTelling(OutputSet& files, const std::string& project, const std::string& pictureFile,
                            const BgrView& picture, const std::string& properties, std::string* writing,
                            const std::vector<retouch::Stroke>* strokes, const WriteProgress& progress) {
    std::string unused;
    std::string& name = writing ? *writing : unused;
    // The picture first: a project file is never left without its montage. A montage without
    // strokes removes none that an earlier save left: they would not be read without the
    // retouched line, and the set cannot delete. A project written to a device gets its text alone.
    files.addWritten([&] {
        if (pictureFile.empty()) {
            writeProjectFile(name = project, properties);
            return;
        }
        // Another program saving the same project puts its files into place before or after
        // these, never among them: the text and the bitmap side by side are one save's.
        holdWhileGroupCommits(project, [project] {
            return std::shared_ptr<void>(std::shared_ptr<ProjectSaveLock>(lockProjectForSaving(project)));
        });
        writeBmp24(name = pictureFile, picture, progress);
        if (strokes && !strokes->empty()) retouch::writeStrokesFile(name = retouch::strokesNameFor(project), *strokes);
        writeProjectFile(name = project, properties);
    });
}

} // namespace

void addProjectFiles(OutputSet& files, const std::string& project, const std::string& pictureFile,
                     const BgrView& picture, const std::string& properties, std::string* writing,
                     const std::vector<retouch::Stroke>* strokes) {
    addProjectFilesTelling(files, project, pictureFile, picture, properties, writing, strokes, {});
}

void MontageSession::saveProject(const MontageChoice& which, const std::string& project) const {
    const MontageRecord& record = this->record(which);
    if (record.empty()) throw RuntimeError(5);
    // The text written over the bitmap would leave a project without its montage.
    if (projectIsItsOwnBitmap(project)) throw RuntimeError(75);
    // The bitmap, strokes and project are put into place together once all are written; a stop
    // while the bitmap is written leaves every one of them as it was.
    observer_.progress(RunPhase::Saving, 0, 0);
    OutputSet files;
    const std::vector<retouch::Stroke> strokes = record.retouch.strokes();
    addProjectFilesTelling(files, project, projectBitmapName(project), viewOf(record.picture), record.properties,
                           nullptr, &strokes, savingProgress(observer_));
    files.commit();
}

std::string pictureStampsNameFor(const std::string& project) {
    std::string base = project;
    if (base.size() >= 4 && isProjectFileName(base)) base.resize(base.size() - 4);
    return base + ".stamps";
}

void writePictureStamps(const std::string& path, const std::vector<PictureFileStamp>& stamps) {
    std::string text;
    for (const PictureFileStamp& s : stamps) {
        char fields[160];
        std::snprintf(fields, sizeof fields, "%d %" PRIu64 " %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64 " %zu:",
                      s.exists ? 1 : 0, s.device, s.inode, s.size, s.modifiedSeconds, s.modifiedNanoseconds,
                      s.name.size());
        text += fields + s.name + "\n";
    }
    writeFileAtomically(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<PictureFileStamp> readPictureStamps(const std::string& path) {
    std::string text;
    if (readRegularFile(path, text) != FileRead::Ok) return {};
    std::vector<PictureFileStamp> stamps;
    std::size_t at = 0;
    while (at < text.size()) {
        PictureFileStamp s;
        int exists = 0, used = 0;
        std::size_t length = 0;
        if (std::sscanf(text.c_str() + at, "%d %" SCNu64 " %" SCNu64 " %" SCNu64 " %" SCNd64 " %" SCNd64 " %zu:%n",
                        &exists, &s.device, &s.inode, &s.size, &s.modifiedSeconds, &s.modifiedNanoseconds, &length,
                        &used) != 7 ||
            used == 0)
            return {};
        at += std::size_t(used);
        if (length > text.size() - at || at + length >= text.size() || text[at + length] != '\n') return {};
        s.exists = exists != 0;
        s.name = text.substr(at, length);
        at += length + 1;
        stamps.push_back(std::move(s));
    }
    return stamps;
}

bool projectPicturesResized(const MontageRequest& request, bool loadedOnly, int storedWidth, int storedHeight,
                            int width, int height) {
    // An aligned project opened without its strokes loads its pictures unaligned: its montage, cut
    // to the rectangle every aligned picture covers, may be smaller than they are, never larger.
    if (request.align && loadedOnly && request.area == DisplayArea::Minimum)
        return storedWidth > width || storedHeight > height;
    return storedWidth != width || storedHeight != height;
}

std::string projectResizedText(int storedWidth, int storedHeight, int width, int height) {
    return "The pictures of this project have changed size since it was saved: its montage is " +
           std::to_string(storedWidth) + " x " + std::to_string(storedHeight) + ", the pictures now make one of " +
           std::to_string(width) + " x " + std::to_string(height) +
           ".   The stored montage is shown as it was saved, but its offsets and map no longer match the "
           "pictures.   Make the montage again before smoothing or retouching it.";
}

namespace {

// The map's block columns and rows; none when it is empty or its lines are of different lengths.
std::optional<std::pair<int, int>> mapBlocks(const std::string& map) {
    std::size_t columns = 0;
    int rows = 0;
    for (std::size_t at = 0; at < map.size();) {
        std::size_t end = map.find('\n', at);
        if (end == std::string::npos) end = map.size();
        std::size_t length = end - at;
        if (length > 0 && map[end - 1] == '\r') --length;
        if (length == 0 || (rows > 0 && length != columns)) return std::nullopt;
        columns = length;
        ++rows;
        at = end + 1;
    }
    if (rows == 0) return std::nullopt;
    return std::pair<int, int>(int(columns), rows);
}

} // namespace

ProjectMisfit projectMisfit(const std::string& map, int increment, bool cropped, int storedWidth, int storedHeight,
                            int width, int height) {
    const std::optional<std::pair<int, int>> blocks = mapBlocks(map);
    if (!blocks || increment <= 0) return ProjectMisfit::Pictures;
    const auto [columns, rows] = *blocks;
    const bool bitmapFits =
        blockCount(float(storedWidth), increment) == columns && blockCount(float(storedHeight), increment) == rows;
    const int pictureColumns = blockCount(float(width), increment);
    const int pictureRows = blockCount(float(height), increment);
    const bool picturesFit = cropped ? pictureColumns >= columns && pictureRows >= rows
                                     : pictureColumns == columns && pictureRows == rows;
    return !bitmapFits && picturesFit ? ProjectMisfit::Bitmap : ProjectMisfit::Pictures;
}

std::string projectBitmapResizedText(const std::string& bitmap, int storedWidth, int storedHeight, int width,
                                     int height) {
    return "The montage picture of this project, " + bitmap + ", is " + std::to_string(storedWidth) + " x " +
           std::to_string(storedHeight) + ", but the project's pictures, which are as it records them, make one of " +
           std::to_string(width) + " x " + std::to_string(height) +
           ": the picture has been replaced or damaged since the project was saved.   It is shown as it is, but the "
           "project's offsets and map do not match it.   Make the montage again before smoothing or retouching it.";
}

std::string projectRecountedText(int saved, int now) {
    return "The series of this project has changed since it was saved: its montage was made from " +
           std::to_string(saved) + (saved == 1 ? " picture, " : " pictures, ") + std::to_string(now) +
           (now == 1 ? " is" : " are") +
           " loaded now.   The stored montage is shown as it was saved, but its offsets and map no longer match "
           "the pictures.   Make the montage again before smoothing or retouching it.";
}

namespace {

// The two pictures have the same size and pixels.
bool samePicture(const MemorySurface& a, const MemorySurface& b) {
    if (a.pictureWidth() != b.pictureWidth() || a.pictureHeight() != b.pictureHeight()) return false;
    for (int y = 0; y < a.pictureHeight(); ++y)
        if (a.pictureWidth() > 0 && !std::equal(a.pixelAt(0, y), a.pixelAt(0, y) + std::size_t(a.pictureWidth()) * 3, b.pixelAt(0, y)))
            return false;
    return true;
}

} // namespace

std::string missingStrokesText(const std::string& strokesFile) {
    return "The strokes file " + strokesFile +
           " is not there: the retouched montage is shown as it was saved, but its strokes cannot be undone.";
}

ProjectOutcome MontageSession::openProject(const std::string& project, const MontageRequest& current) {
    try {
        // The project's settings, shown in the controls.
        ProjectSettings settings = readProjectSettings(project);
        // A project folder moved or copied with its pictures: the series is read from the
        // project's own folder when the stored first file is not there and one of its name is.
        const std::string storedFirst = completeSeriesName(settings.firstFileName, state_.programFolder);
        const std::optional<std::string> moved = firstFileBesideProject(project, storedFirst);
        if (moved) settings.firstFileName = *moved;
        // A number the program cannot hold (an offset beyond 16 bits, a huge method) is an overflow:
        // the project is not used rather than read with the number wrapped.
        if (!settings.outOfRange.empty()) throw RuntimeError(6);
        // A method this program does not have (a project of a later version, or edited by hand)
        // would be taken for method 0 and the montage made again with it: the project is refused.
        if (settings.method < 0 || settings.method >= kMethodCount)
            throw RuntimeError(5, "the project was made with montage method " + std::to_string(settings.method) +
                                      ", which this version does not have");
        // A retouched montage's strokes: read first, so that a broken file (a later version's,
        // say) stops the opening before the controls take the project's settings.
        ProjectContents contents = readProjectContents(project);
        if (moved) contents.propertiesText = withFirstFileName(contents.propertiesText, *moved);
        // A strokes file that is not there (the project copied without it) leaves the project as
        // one without strokes: its stored montage is still shown, its strokes cannot be undone.
        std::vector<retouch::Stroke> strokes;
        std::string strokesMissing;
        if (retouchedStrokeCount(contents.propertiesText) > 0) {
            const std::string name = retouch::strokesNameFor(project);
            try {
                strokes = retouch::readStrokesFile(name);
            } catch (const RuntimeError& e) {
                if (e.number() != 53) throw;
                strokesMissing = name;
            }
        }
        const MontageRequest request = projectRequest(settings, current, state_.programFolder);
        observer_.showRequest(request);

        // Whether the series was loaded and the montage sized to it: a missing or unreadable first
        // picture has been said already, and leaves no pictures to compare the stored montage with.
        bool loaded = true;
        bool strokesPainted = false;
        if (strokes.empty()) {
            // The series, loaded by Make Montage without computing a montage.
            loaded = !make(request, MakeMode::Project).stopped && state_.montage.seriesReady;
        } else {
            // The montage made again as it was before the strokes, and the strokes painted on it,
            // so that each can be undone: the pictures aligned as they were, no smoothing pass.
            // A montage that had a smoothing pass when it was saved is made again with the
            // automatic pass, as the strokes were painted on it (a pass run after them, or with
            // other factors, leaves a montage unlike the stored one: its strokes are not kept).
            MontageRequest again = request;
            again.smoothing.autoSmooth = propertiesLine(contents.propertiesText, "  Smoothing =yes") != std::string::npos ? 1 : 0;
            // Pictures that cannot be loaded (moved or gone) have been said; the stored montage
            // is still shown, as for a project without strokes, but its strokes cannot be undone.
            if (make(again, MakeMode::Montage).made) {
                // A series that lost a picture a stroke painted from (its last shots deleted) makes
                // a montage the strokes cannot be painted on: none is painted, and the project
                // opens with its stored montage, its strokes not undoable, as without its pictures.
                // A stroke from a picture the project's own series never had is a broken strokes
                // file, which stops the opening.
                try {
                    applyStrokes(MontageChoice{}, strokes);
                    strokesPainted = true;
                } catch (const RuntimeError&) {
                    const int saved = settings.pictureCount;
                    const bool seriesShrank =
                        saved > 0 && state_.series.imageCount < saved &&
                        std::all_of(strokes.begin(), strokes.end(),
                                    [saved](const retouch::Stroke& s) { return s.picture <= saved; });
                    // Strokes from a picture the aligned montage ignored were painted off
                    // their place: they are not painted again, and the stored montage stays.
                    const bool fromIgnored =
                        again.align && std::any_of(strokes.begin(), strokes.end(), [&](const retouch::Stroke& s) {
                            return isIgnored(again.ignored, s.picture);
                        });
                    if (!seriesShrank && !fromIgnored) throw;
                }
            } else {
                loaded = false;
            }
        }
        // The strokes painted again on the montage made again.
        const bool painted = strokesPainted;

        // The stored properties, map and montage picture become the main record.
        BusySpan busy(observer_);
        std::unique_ptr<MemorySurface> stored;
        const std::string bitmapFile = projectBitmapToRead(project);
        const DecodeStatus st = decodeToSurface(bitmapFile, stored);
        if (st != DecodeStatus::Ok) throw RuntimeError(st == DecodeStatus::Missing ? 53 : 481);
        MontageState& ms = state_.montage;
        const bool cropped = request.align && strokes.empty() && request.area == DisplayArea::Minimum;
        const bool resized = loaded && projectPicturesResized(request, strokes.empty(), stored->pictureWidth(),
                                                              stored->pictureHeight(), int(ms.geometry.W),
                                                              int(ms.geometry.H));
        // A project without the orientation line, of pictures that are now turned upright, holds a
        // montage made from them as stored: whether or not its sides changed (a half turn keeps them).
        const bool turned = loaded && !settings.targetsUpright && state_.series.orientation != 1;
        const int count = state_.series.imageCount;
        const bool recounted = loaded && !resized && settings.pictureCount > 0 && count > 0 && settings.pictureCount != count;
        MontageRecord& main = ms.main();
        // The strokes are offered for undo only when, painted on the montage made again, they give
        // the stored picture: else undoing one would bring back pixels the montage never had.
        const bool strokesUnlike = painted && !samePicture(*stored, main.picture);
        if (!painted || strokesUnlike) main.retouch = RetouchHistory{};
        main.picture = std::move(*stored);
        main.map = contents.map;
        main.properties = contents.propertiesText;
        main.firstFileName = request.firstFileName;
        main.request = request;
        main.increment = last_.increment;
        if (!painted) {
            main.choices = PictureChoices{};
            main.retouch = RetouchHistory{};
        }
        main.unsaved = false; // it is the project's own picture
        main.keptBy.clear(); // and no keeping of the montage it replaces holds for it
        main.deep = nullptr;
        main.deepOf = 0;
        main.fromProject = true;
        main.project = project;
        // The pictures its montage was made from, when the project was kept with their stamps
        // (the same files as were read now); else the pictures as they were read now, the nearest
        // to those that is known.
        main.madeFrom = loaded ? seriesStamps_ : std::vector<PictureFileStamp>{};
        if (loaded) {
            const std::vector<PictureFileStamp> kept = readPictureStamps(pictureStampsNameFor(project));
            if (kept.size() == seriesStamps_.size() &&
                std::equal(kept.begin(), kept.end(), seriesStamps_.begin(),
                           [](const PictureFileStamp& a, const PictureFileStamp& b) { return a.name == b.name; }))
                main.madeFrom = kept;
        }
        // Without strokes the pictures were loaded, not aligned, for it.
        if (!painted) main.alignment = nullptr;
        takeFirstPictureMetadata(completed_, main);
        slotHoldsMain_ = false;
        // Pictures that no longer fit the stored montage (turned upright since it was made, or of
        // another size) are not the pictures it was made from: smoothing or retouching it would
        // copy their blocks into it, so both wait until the montage is made again.
        if (turned || resized) ms.seriesReady = false;
        observer_.recordChanged(MontageChoice{}, main);
        if (moved) {
            busy.release();
            ask(PromptIcon::Information, movedSeriesText(storedFirst, moved->substr(0, moved->rfind('/') + 1)),
                kMovedSeriesTitle);
        }
        // The stored montage is kept as it was; the user learns that the pictures no longer fit
        // it, nor its offsets and map, before smoothing, retouching or making it again.
        if (turned) {
            busy.release();
            ask(PromptIcon::Exclamation, kProjectTurnedText, kProjectResizedTitle);
        } else if (resized) {
            busy.release();
            const int storedWidth = main.picture.pictureWidth(), storedHeight = main.picture.pictureHeight();
            const int width = int(ms.geometry.W), height = int(ms.geometry.H);
            // The pictures may be as they were and the bitmap the one that changed.
            if (projectMisfit(contents.map, last_.increment, cropped, storedWidth, storedHeight, width, height) ==
                ProjectMisfit::Bitmap)
                ask(PromptIcon::Exclamation,
                    projectBitmapResizedText(bitmapFile, storedWidth, storedHeight, width, height),
                    kProjectBitmapChangedTitle);
            else
                ask(PromptIcon::Exclamation, projectResizedText(storedWidth, storedHeight, width, height),
                    kProjectResizedTitle);
        } else if (recounted) {
            busy.release();
            ask(PromptIcon::Exclamation, projectRecountedText(settings.pictureCount, count), kProjectResizedTitle);
        }
        if (strokesUnlike && !resized && !turned) {
            busy.release();
            ask(PromptIcon::Exclamation, kStrokesUnlikeText, kMissingStrokesTitle);
        }
        if (!strokesMissing.empty()) {
            busy.release();
            ask(PromptIcon::Exclamation, missingStrokesText(strokesMissing), kMissingStrokesTitle);
        }
        if (!strokes.empty() && !painted) {
            busy.release();
            ask(PromptIcon::Exclamation, kStrokesNotRemadeText, kMissingStrokesTitle);
        }
        return ProjectOutcome::Opened;
    } catch (...) {
        ask(PromptIcon::Critical, genericErrorText(currentError(), 0, kOpenProjectRoutine), kGenericErrorTitle);
        return ProjectOutcome::Failed;
    }
}

} // namespace orv
