// The montage records written out: pictures in every format, depth maps, and projects (saved
// through the output set, opened back into the main record).
#include "session/montage_session.h"

#include "base/error_sites.h"
#include "base/numbers.h"
#include "base/runtime_error.h"
#include "input/picture_file.h"
#include "output/bmp_writer.h"
#include "output/depth_map.h"
#include "output/output_set.h"
#include "output/temp_bmp.h"
#include "session/conversion_run.h"

#include <algorithm>

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

BgrView MontageSession::montageView() const {
    const PixelArrays& mp = state_.montage.arrays;
    const auto& slot = mp.montage.slot(int(MontageSlot::Main));
    const int w = std::min<int>(roundToInt16(state_.montage.geometry.W), mp.montage.width());
    const int h = std::min<int>(roundToInt16(state_.montage.geometry.H), mp.montage.height());
    return BgrView{slot.data(), w, h, std::size_t(mp.montage.width()) * 3};
}

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

void addProjectFiles(OutputSet& files, const std::string& project, const BgrView& picture,
                     const std::string& properties, std::string* writing) {
    std::string unused;
    std::string& name = writing ? *writing : unused;
    // The picture first: a project file is never left without its montage.
    files.addWritten([&] {
        writeBmp24(name = projectBitmapName(project), picture);
        writeProjectFile(name = project, properties);
    });
}

void MontageSession::saveProject(const MontageChoice& which, const std::string& project) const {
    const MontageRecord& record = this->record(which);
    if (record.empty()) throw RuntimeError(5);
    OutputSet files;
    addProjectFiles(files, project, viewOf(record.picture), record.properties);
    files.commit();
}

ProjectOutcome MontageSession::openProject(const std::string& project, const MontageRequest& current) {
    try {
        // The project's settings, shown in the controls.
        const MontageRequest request = projectRequest(readProjectSettings(project), current);
        observer_.showRequest(request);

        // The series, loaded by Make Montage without computing a montage.
        make(request, MakeMode::Project);

        // The stored properties, map and montage picture become the main record.
        BusySpan busy(observer_);
        const ProjectContents contents = readProjectContents(project);
        std::unique_ptr<MemorySurface> stored;
        const DecodeStatus st = decodeToSurface(projectBitmapName(project), stored);
        if (st != DecodeStatus::Ok) throw RuntimeError(st == DecodeStatus::Missing ? 53 : 481);
        MontageState& ms = state_.montage;
        MontageRecord& main = ms.main();
        main.picture = std::move(*stored);
        main.map = contents.map;
        main.properties = contents.propertiesText;
        main.firstFileName = request.firstFileName;
        main.request = request;
        main.increment = last_.increment;
        main.choices = PictureChoices{};
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
