// Pyramid Focus makes the same montage whatever the increment: a comparison keeps its last run and
// counts only the map again for a montage that differs from it in nothing but the increment.
#include "session/kept_pyramid_run.h"

#include "engine/preview_rows.h"
#include "fusion/choice_map.h"

namespace orv {

void MontageSession::forgetPyramidRun() { pyramidRun_.reset(); }

std::unique_ptr<MontageSession::PyramidRun> MontageSession::pyramidRunOf(const MontageRequest& r,
                                                                        const std::vector<OwnArea>& ownAreas,
                                                                        int pictures) const {
    const MontageState& ms = state_.montage;
    auto settings = std::make_unique<PyramidRun>();
    settings->series = completed_;
    settings->orientation = state_.series.orientation;
    settings->pictures = pictures;
    settings->ignored = r.ignored;
    settings->useOffsets = r.useOffsets;
    settings->offsets = ms.offsets;
    settings->geometry = ms.geometry;
    settings->ownAreas = ownAreas;
    settings->align = r.align;
    settings->colourMatch = r.colourMatch;
    settings->area = r.area;
    settings->smoothing = r.smoothing;
    settings->stackLastColumn = ms.arrays.stack.lastColumn;
    settings->stackLastRow = ms.arrays.stack.lastRow;
    settings->montageWidth = ms.arrays.montage.width();
    settings->montageHeight = ms.arrays.montage.height();
    return settings;
}

bool MontageSession::keptPyramidRunServes(const PyramidRun& settings) const {
    const std::vector<std::uint8_t>& slot = state_.montage.arrays.montage.slot(int(MontageSlot::Main));
    return pyramidRun_ && pyramidRun_->sameSettings(settings) && pyramidRun_->slot.size() == slot.size();
}

void MontageSession::keepPyramidRun(std::unique_ptr<PyramidRun> settings, const PictureChoices& choices,
                                    const std::shared_ptr<const DeepPicture>& deep) {
    const MontageState& ms = state_.montage;
    settings->slot = ms.arrays.montage.slot(int(MontageSlot::Main));
    settings->choices = choices;
    settings->deep = deep;
    settings->evened = ms.evened;
    settings->leftOut = ms.leftOut;
    pyramidRun_ = std::move(settings);
}

std::string MontageSession::reusePyramidRun(const BlockLoopInput& in, int increment, PictureChoices& choices,
                                            std::shared_ptr<const DeepPicture>& deep) {
    MontageState& ms = state_.montage;
    const PyramidRun& kept = *pyramidRun_;
    ms.arrays.montage.slot(int(MontageSlot::Main)) = kept.slot;
    choices = kept.choices;
    deep = kept.deep;
    ms.evened = kept.evened;
    ms.leftOut = kept.leftOut;
    // The map by rows of blocks, bottom row first, with the preview growing in step, as the run
    // itself writes them.
    const int rows = blockCount(ms.geometry.H, increment);
    const int columns = blockCount(ms.geometry.W, increment);
    PreviewRows preview(ms.arrays, in.drawPreview);
    std::string map;
    for (int r = 0; r < rows; ++r) {
        const int y = r * increment;
        map.insert(0, blockMapLine(choices.pictures.data(), choices.width, choices.height, y, increment, columns) +
                          "\r\n");
        const auto [drawnFrom, drawnTo] = preview.draw(y, increment, true);
        if (in.onRow) in.onRow(BlockRowEvent{y, r, rows, &map, drawnFrom <= drawnTo, drawnFrom, drawnTo});
    }
    return map;
}

} // namespace orv
