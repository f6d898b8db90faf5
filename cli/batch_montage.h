// A montage made without windows: the series decoded once into memory, then Make Montage's
// computation (display area, pixel arrays, block loop) as often as a comparison needs it.
#pragma once

#include "base/prompt.h"
#include "engine/focus_measure.h"
#include "engine/module_point.h"
#include "engine/montage.h"
#include "output/bmp_writer.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orv {

struct BatchSettings {
    int increment = 20;
    int method = 0;
    IgnoreTicks ignored{};
    bool useOffsets = false;
    DisplayArea area = DisplayArea::Same;
    OffsetTable offsets{};
    int evaluationMode = 0;
    bool evaluationRun = false;
};

enum class SeriesOutcome { Loaded, NoDigit, Missing, Invalid, Empty };

class BatchMontage {
public:
    explicit BatchMontage(Prompter& prompter) : prompter_(prompter) {}

    // Loads the series named by `typed` (relative names against `folder`, which ends in "/"),
    // reporting the failures in the program's words. `onPicture(k)` follows each loaded picture.
    SeriesOutcome loadSeries(const std::string& typed, const std::string& folder,
                             const std::function<void(int)>& onPicture = {});

    // Makes the montage with `s`. `shortcut` reuses the previous run's montage size, as a
    // comparison does. Returns false when the display area leaves nothing to show (the minimum
    // area's message has been shown). Raises RuntimeError with the failing line.
    bool make(const BatchSettings& s, bool shortcut = false,
              const std::function<void(const BlockRowEvent&)>& onRow = {});

    int pictureCount() const { return int(pictures_.size()); }
    ModulePoint& arrays() { return mp_; }
    const ModulePoint& arrays() const { return mp_; }
    MontageGeometry& geometry() { return geometry_; }
    const MontageGeometry& geometry() const { return geometry_; }
    FocusContext& focusContext() { return focus_; }
    FocusMeasure& focusMeasure() { return measure_; }
    std::string& map() { return map_; }
    const std::string& map() const { return map_; }
    const OffsetTable& offsets() const { return offsets_; }
    const std::string& completedName() const { return completed_; }

    // The montage as W x H pixels (the picture, not the rounded buffer), drawn from slot 100.
    MemorySurface montagePicture() const;

    // The montage's W x H pixels read in place from slot 100, for writing without a copy.
    BgrView montageView() const;

private:
    Prompter& prompter_;
    std::vector<std::unique_ptr<MemorySurface>> pictures_;
    std::string completed_;
    bool filled_ = false;
    ModulePoint mp_;
    MontageGeometry geometry_;
    FocusContext focus_;
    FocusMeasure measure_;
    OffsetTable offsets_{};
    std::string map_;
};

} // namespace orv
