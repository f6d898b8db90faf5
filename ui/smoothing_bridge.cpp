// Hands a smoothing call from the windows to the pass.
#include "ui/smoothing_bridge.h"

#include "smoothing/smoothing_pass.h"

namespace orv {

SmoothingOutcome runSmoothing(const SmoothingCall& c) {
    SmoothInput in;
    in.arrays = c.arrays;
    in.measure = c.measure;
    in.focus = c.focus;
    in.geometry = c.geometry;
    in.area = c.area;
    in.map = c.map;
    in.properties = c.properties;
    in.prompter = c.prompter;
    in.montageVisible = c.montageVisible;
    in.montageIndex = c.montageIndex;
    in.showMessages = c.showMessages;
    in.incrementText = c.incrementText;
    in.settings.edgeFactor = c.edgeFactor;
    in.settings.focusFactor = c.focusFactor;
    in.settings.diffFactor = c.diffFactor;
    in.hooks.busy = c.busy;
    if (c.redrawBlock)
        in.hooks.redrawBlock = [&](const BlockRedraw& r) { c.redrawBlock(r.slot, r.x, r.y, r.increment); };
    in.hooks.afterRow = c.afterRow;
    in.hooks.propertiesChanged = c.propertiesChanged;
    const SmoothResult r = smoothMontage(in);
    return SmoothingOutcome{r.outcome == SmoothOutcome::Done, r.replaced, r.report};
}

} // namespace orv
