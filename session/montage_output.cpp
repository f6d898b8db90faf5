// The montage records written out: pictures in every format, depth maps, and projects (saved
// through the output set, opened back into the main record).
#include "session/montage_session.h"

#include "base/error_sites.h"
#include "base/runtime_error.h"
#include "input/picture_file.h"
#include "output/bmp_writer.h"
#include "output/depth_map.h"
#include "output/output_set.h"
#include "output/temp_bmp.h"
#include "retouch/strokes_file.h"
#include "session/conversion_run.h"


#include <unistd.h>

namespace orv {

namespace {

BgrView viewOf(const MemorySurface& picture) {
    return BgrView{picture.rounded().data(), picture.pictureWidth(), picture.pictureHeight(),
                   std::size_t(picture.roundedWidth()) * 3};
}

// The temporary BMP the conversion program reads, removed on every way out (it was created
// exclusively for this save, so it is ours to delete).
struct TempBmp {
    std::string path;
    ~TempBmp() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

} // namespace

PictureChoices MontageSession::depthChoices(const MontageChoice& which) const {
    const MontageState& ms = state_.montage;
    const MontageRecord& record = ms.record(which);
    if (record.request.method == FocusMethod::Pyramid) return record.choices;
    // A block montage: each block takes the picture its map names.
    return blockChoices(record.map,
                        BlockChoiceContext{&ms.geometry, record.increment, state_.series.imageCount, &ms.arrays, &ms.focus});
}

void MontageSession::writeDepthMap(const MontageChoice& which, const std::string& path) const {
    orv::writeDepthMap(path, depthChoices(which), state_.series.imageCount);
}

std::string savePicture(const BgrView& picture, const std::string& path, const SaveMontageOptions& options) {
    if (options.conversionFolder && pictureFormatFor(path) == PictureFormat::Jpeg) {
        // The conversion program reads a temporary BMP and writes the JPEG beside the target; it
        // is waited for, so the temporary file goes only after it has been read.
        TempBmp temp;
        temp.path = writeTempBmp(picture);
        const ConversionRun run = runConversion(*options.conversionFolder, temp.path, path);
        return run.succeeded() ? std::string() : conversionFailureText(run, *options.conversionFolder, path);
    }
    writePicture(path, picture, options.picture);
    return {};
}

std::string MontageSession::saveMontage(const MontageChoice& which, const std::string& path,
                                        const SaveMontageOptions& options) const {
    const MontageRecord& record = this->record(which);
    if (record.empty()) throw RuntimeError(5);
    return savePicture(viewOf(record.picture), path, options);
}

void addProjectFiles(OutputSet& files, const std::string& project, const std::string& pictureFile,
                     const BgrView& picture, const std::string& properties, std::string* writing,
                     const std::vector<retouch::Stroke>* strokes) {
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
        writeBmp24(name = pictureFile, picture);
        if (strokes && !strokes->empty()) retouch::writeStrokesFile(name = retouch::strokesNameFor(project), *strokes);
        writeProjectFile(name = project, properties);
    });
}

void MontageSession::saveProject(const MontageChoice& which, const std::string& project) const {
    const MontageRecord& record = this->record(which);
    if (record.empty()) throw RuntimeError(5);
    OutputSet files;
    const std::vector<retouch::Stroke> strokes = record.retouch.strokes();
    addProjectFiles(files, project, projectBitmapName(project), viewOf(record.picture), record.properties, nullptr, &strokes);
    files.commit();
}

ProjectOutcome MontageSession::openProject(const std::string& project, const MontageRequest& current) {
    try {
        // The project's settings, shown in the controls.
        const MontageRequest request = projectRequest(readProjectSettings(project), current);
        observer_.showRequest(request);

        // A retouched montage's strokes: read first, so that a broken file stops the opening.
        const ProjectContents contents = readProjectContents(project);
        std::vector<retouch::Stroke> strokes;
        if (retouchedStrokeCount(contents.propertiesText) > 0)
            strokes = retouch::readStrokesFile(retouch::strokesNameFor(project));

        if (strokes.empty()) {
            // The series, loaded by Make Montage without computing a montage.
            make(request, MakeMode::Project);
        } else {
            // The montage made again as it was before the strokes, and the strokes painted on it,
            // so that each can be undone: the pictures aligned as they were, no smoothing pass.
            MontageRequest again = request;
            again.smoothing.autoSmooth = 0;
            if (!make(again, MakeMode::Montage).made) throw RuntimeError(5);
            applyStrokes(MontageChoice{}, strokes);
        }

        // The stored properties, map and montage picture become the main record.
        BusySpan busy(observer_);
        std::unique_ptr<MemorySurface> stored;
        const DecodeStatus st = decodeToSurface(projectBitmapName(project), stored);
        if (st != DecodeStatus::Ok) throw RuntimeError(st == DecodeStatus::Missing ? 53 : 481);
        MontageState& ms = state_.montage;
        MontageRecord& main = ms.main();
        if (strokes.empty() || stored->pictureWidth() != main.picture.pictureWidth() ||
            stored->pictureHeight() != main.picture.pictureHeight())
            main.retouch = RetouchHistory{};
        main.picture = std::move(*stored);
        main.map = contents.map;
        main.properties = contents.propertiesText;
        main.firstFileName = request.firstFileName;
        main.request = request;
        main.increment = last_.increment;
        if (strokes.empty()) {
            main.choices = PictureChoices{};
            main.retouch = RetouchHistory{};
        }
        main.unsaved = false; // it is the project's own picture
        slotHoldsMain_ = false;
        observer_.recordChanged(MontageChoice{}, main);
        return ProjectOutcome::Opened;
    } catch (...) {
        ask(PromptIcon::Critical, genericErrorText(currentError(), 0, kOpenProjectRoutine), kGenericErrorTitle);
        return ProjectOutcome::Failed;
    }
}

} // namespace orv
