// The shared Make Montage run.
#include "engine/montage_run.h"

#include "base/error_sites.h"
#include "base/leading_number.h"
#include "base/numbers.h"

namespace orv {

IncrementBox readIncrementBox(const std::string& text) {
    IncrementBox box;
    const LeadingNumber n = parseLeadingNumber(text);
    box.replaced = n.outOfRange || n.value < 10;
    box.text = box.replaced ? "10" : text;
    try {
        box.increment = roundToInt16(box.replaced ? 10.0 : n.value);
    } catch (RuntimeError& e) {
        throw e.atLine(kLineIncrementValue);
    }
    return box;
}

FocusContext montageFocusContext(const MontageRunSettings& s, const OffsetTable& offsets,
                                 const MontageGeometry& g, MessageList* messages) {
    FocusContext c;
    c.method = s.method;
    c.ignored = s.ignored;
    c.useOffsets = s.useOffsets;
    c.offsets = offsets;
    c.smallestX = g.smallestX;
    c.smallestY = g.smallestY;
    c.messages = messages;
    return c;
}

std::string runMontage(const MontageRun& run) {
    PixelArrays& mp = *run.arrays;
    const MontageGeometry& g = *run.geometry;
    try {
        if (run.surfaces) {
            mp.loadImageArrays(ArrayFill::Full, *run.surfaces, run.sizeCheck);
        } else {
            const int W = roundUp4(roundToInt16(g.W)), H = roundUp4(roundToInt16(g.H));
            mp.montage.lastColumn = toInt16(W - 1);
            mp.montage.lastRow = toInt16(H - 1);
            for (auto& slot : mp.montage.slotPixels) slot.clear();
            mp.montage.slot(100).assign(std::size_t(W) * std::size_t(H) * 3, 0);
        }
        if (run.afterFill) run.afterFill();
    } catch (...) {
        RuntimeError e = currentError();
        throw e.atLine(kLineArrayFill);
    }

    try {
        run.measure->allocate(run.settings.increment);
        *run.focus = montageFocusContext(run.settings, *run.offsets, g, run.messages);
    } catch (...) {
        RuntimeError e = currentError();
        throw e.atLine(kLineSampleStore);
    }

    BlockLoopInput in;
    in.geometry = &g;
    in.increment = run.settings.increment;
    in.pictureCount = run.pictureCount;
    in.focus = run.focus;
    in.drawPreview = run.drawPreview;
    in.threads = run.threads;
    if (run.onRow) {
        in.onRow = [&](const BlockRowEvent& row) {
            MontageRowEvent e;
            e.row = row;
            e.previewFrom = row.previewFrom;
            e.previewTo = row.previewTo;
            try {
                run.onRow(e);
            } catch (...) {
                RuntimeError err = currentError();
                throw err.atLine(kLinePreviewRows);
            }
        };
    }
    try {
        return run.montageMethod ? run.montageMethod(in) : runBlockLoop(mp, *run.measure, in);
    } catch (...) {
        RuntimeError e = currentError();
        throw e.atLine(kLineBlockLoop);
    }
}

MontageRun montageRunOver(PixelArrays& arrays, FocusMeasure& measure, FocusContext& focus, const MontageGeometry& g,
                          const OffsetTable& offsets, const MontageRunSettings& settings, int pictureCount,
                          int threads) {
    MontageRun run;
    run.arrays = &arrays;
    run.measure = &measure;
    run.focus = &focus;
    run.geometry = &g;
    run.offsets = &offsets;
    run.settings = settings;
    run.pictureCount = pictureCount;
    run.threads = threads;
    return run;
}

std::string montageOfFilledStack(PixelArrays& mp, const MontageGeometry& g, int increment, FocusMethod method,
                                 int threads) {
    const OffsetTable offsets{};
    FocusMeasure measure;
    FocusContext focus;
    return runMontage(montageRunOver(mp, measure, focus, g, offsets, MontageRunSettings{increment, method, {}, false},
                                     mp.stack.count, threads));
}

} // namespace orv
