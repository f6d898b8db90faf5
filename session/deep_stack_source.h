// The stack's pictures with their full-depth pictures read from the files when they are asked for:
// Pyramid Focus over a 16-bit series held in the stack merges its deep picture one picture at a
// time, instead of holding the whole series at full depth beside the stack.
#pragma once

#include "align/align_series.h"
#include "engine/series_source.h"
#include "input/series_naming.h"
#include "session/montage_record.h"

#include <atomic>
#include <vector>

namespace orv {

class DeepStackSource : public StackSource {
public:
    // `alignment`: how the stack's pictures were aligned (null: as loaded); it must outlive the
    // source.
    // `orientation`: the tag the stack's pictures were turned upright by.
    // `asRead`: the files as they were when the stack's pictures were read from them (picture n's
    // at n - 1; none: not known). A file changed since holds another picture than the stack's
    // and is not read at full depth.
    DeepStackSource(const ImageStack& stack, SeriesName series, const AlignmentReport* alignment, int orientation = 1,
                    std::vector<PictureFileStamp> asRead = {})
        : StackSource(stack), stack_(stack), series_(std::move(series)), alignment_(alignment),
          orientation_(orientation), asRead_(std::move(asRead)) {}

    bool hasDeep() const override { return true; }
    // The cells as the stack holds them; the full-depth picture read from its file and placed as
    // the stack's cells were. A picture that cannot be read so, or not at the size its cells have,
    // is handed out black at that size and the series marked as not read at full depth: the 8-bit
    // montage is made all the same.
    void read(int n, bool deep, SourcePicture& into) override;

    // Whether every picture asked for came at full depth.
    bool readWhole() const { return !failed_; }

private:
    const ImageStack& stack_;
    SeriesName series_;
    const AlignmentReport* alignment_;
    int orientation_;
    std::vector<PictureFileStamp> asRead_;
    std::atomic<bool> failed_{false};
};

} // namespace orv
