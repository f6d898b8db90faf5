// Retouching a montage record: strokes painted from a source picture as it lies under the
// montage, kept with the pixels they replaced so that Undo puts them back and Redo paints them
// again; the properties line that counts them.
#include "session/montage_session.h"

#include "base/numbers.h"
#include "base/runtime_error.h"
#include "engine/properties_text.h"
#include "fusion/pyramid_focus.h"

#include <algorithm>

namespace orv {

retouch::Raster montageRaster(MemorySurface& picture) {
    // Bottom-up rows: the picture's top row is the last of its rows.
    const std::ptrdiff_t stride = std::ptrdiff_t(picture.roundedWidth()) * 3;
    const int h = picture.pictureHeight();
    return retouch::Raster{picture.roundedData() + std::ptrdiff_t(h > 0 ? h - 1 : 0) * stride, picture.pictureWidth(), h,
                           -stride};
}

std::string withRetouchedLine(const std::string& properties, int strokes) {
    std::string t = properties;
    const std::string key = "  Retouched =";
    if (const std::size_t at = propertiesLine(t, key); at != std::string::npos) {
        const std::size_t end = t.find("\r\n", at);
        t.erase(at, end == std::string::npos ? std::string::npos : end + 2 - at);
    }
    if (strokes <= 0) return t;
    const std::string line = key + std::to_string(strokes) + " strokes\r\n";
    const std::size_t map = propertiesMapHeading(t);
    return map == std::string::npos ? t + line : t.insert(map, line);
}

int retouchedStrokeCount(const std::string& properties) {
    const std::string key = "  Retouched =";
    const std::size_t at = propertiesLine(properties, key);
    if (at == std::string::npos) return 0;
    std::size_t i = at + key.size();
    long long n = 0;
    while (i < properties.size() && properties[i] >= '0' && properties[i] <= '9' && n < 1000000000)
        n = n * 10 + (properties[i++] - '0');
    return int(n);
}

namespace {

// Writes again, within `area` (rows from the top), the blocks of the smoothing passes that ran
// once `strokes` or more strokes were painted, in the order the passes ran.
void rewriteSmoothedBlocks(MemorySurface& picture, const std::vector<SmoothedPixels>& passes, int strokes,
                           const retouch::Rect& area) {
    const int W = picture.pictureWidth(), H = picture.pictureHeight();
    // The area's rows counted from the bottom.
    const int x0 = std::max(area.x0, 0), x1 = std::min(area.x1, W);
    const int y0 = std::max(H - area.y1, 0), y1 = std::min(H - area.y0, H);
    if (x0 >= x1 || y0 >= y1) return;
    const std::size_t stride = std::size_t(picture.roundedWidth()) * 3;
    std::uint8_t* cells = picture.roundedData();
    for (const SmoothedPixels& pass : passes) {
        if (pass.strokes < strokes) continue;
        for (const SmoothedPixels::Block& b : pass.blocks) {
            const int c0 = std::max(b.x, x0), c1 = std::min(b.x + b.columns, x1);
            const int r0 = std::max(b.y, y0), r1 = std::min(b.y + b.rows, y1);
            for (int r = r0; r < r1; ++r)
                if (c0 < c1)
                    std::copy_n(&b.bgr[3 * (std::size_t(r - b.y) * std::size_t(b.columns) + std::size_t(c0 - b.x))],
                                3 * std::size_t(c1 - c0), cells + std::size_t(r) * stride + 3 * std::size_t(c0));
        }
    }
}

} // namespace

ImageOffset MontageSession::placedOffset(const MontageRecord& record, int picture) const {
    if (picture < 1 || picture > kMaxPictures) return {};
    // A picture the montage ignored took no part in it and kept no offset of its own: painted
    // from, it lies where its target puts it against the pictures that were used.
    const MontageRequest& r = record.request;
    if (r.useOffsets && !r.align && r.targets && isIgnored(r.ignored, picture))
        return (*r.targets)[std::size_t(picture)];
    return state_.montage.offsets[std::size_t(picture)];
}

retouch::SourcePlacement MontageSession::sourcePlacement(const MontageChoice& which, int picture) const {
    const MontageState& ms = state_.montage;
    const MontageRecord& record = ms.record(which);
    const ImageStack& stack = ms.arrays.stack;
    if (record.empty()) throw RuntimeError(5, "there is no montage to retouch");
    // After a Make Montage or Load that was stopped, the stack may hold another series' pictures, or
    // part of them: the montage on screen was not made from them.
    if (!which.comparison && !ms.seriesReady)
        throw RuntimeError(5, "the pictures this montage was made from are no longer loaded: make the montage again to retouch it");
    if (picture < 1 || picture > state_.series.imageCount || picture > stack.count ||
        stack.pictures[std::size_t(picture - 1)].empty())
        throw RuntimeError(5, "picture " + std::to_string(picture) + " is not in the series");
    // An aligned montage was made from the aligned stack; a preview or an opened project leaves
    // the pictures as loaded in its place.
    if (record.request.align && !series_.aligned(record.request.colourMatch))
        throw RuntimeError(5, "the aligned pictures are no longer at hand: make the montage again to retouch it");
    // Alignment leaves an ignored picture as loaded: painted from, it would put its pixels where
    // they lie unaligned, off the subject the montage shows there.
    if (record.request.align && isIgnored(record.request.ignored, picture))
        throw RuntimeError(5, "picture " + std::to_string(picture) +
                                  " was ignored, so it was not aligned with the others: make the montage again without "
                                  "ignoring it to paint from it");
    // Montage pixel (x, y), rows from the bottom, was taken from picture k at (x + ox, y + oy):
    // every method places the pictures by the display area's shifts (alignment sets them and
    // leaves the offsets at 0); the block methods add the offsets, Pyramid Focus only with "Use
    // Image Offsets".
    const MontageGeometry& g = ms.geometry;
    const bool offsets = record.request.method != FocusMethod::Pyramid || record.request.useOffsets;
    const ImageOffset t = offsets ? placedOffset(record, picture) : ImageOffset{};
    const int ox = t.x - g.shiftX;
    const int oy = g.dY - t.y + g.shiftY;
    const int pw = std::min(stack.pictureWidth(picture), stack.width());
    const int ph = std::min(stack.pictureHeight(picture), stack.height());
    const std::ptrdiff_t stride = std::ptrdiff_t(stack.width()) * 3;
    const std::uint8_t* cells = stack.pictures[std::size_t(picture - 1)].data();
    // Top-down: picture row r is stack row ph - 1 - r; montage row y (from the top) is bottom-up
    // row H - 1 - y.
    const int H = record.picture.pictureHeight();
    return retouch::SourcePlacement{cells + std::ptrdiff_t(ph > 0 ? ph - 1 : 0) * stride, pw, ph, -stride, ox,
                                    ph - H - oy};
}

bool MontageSession::canRetouch(const MontageChoice& which, int picture) const {
    try {
        sourcePlacement(which, picture);
        return true;
    } catch (const RuntimeError&) {
        return false;
    }
}

void MontageSession::strokesChanged(const MontageChoice& which) {
    MontageRecord& record = state_.montage.record(which);
    record.properties = withRetouchedLine(record.properties, record.retouch.count());
    record.unsaved = true;
    // Slot 100 no longer holds the main montage as it is now.
    if (!which.comparison) slotHoldsMain_ = false;
    observer_.propertiesChanged(which, record.properties);
}

void MontageSession::beginStroke(const MontageChoice& which, int picture, const retouch::Brush& brush) {
    if (stroke_) endStroke();
    auto live = std::make_unique<LiveStroke>();
    live->which = which;
    live->source = sourcePlacement(which, picture);
    live->stroke.picture = picture;
    live->stroke.brush = brush;
    live->stroke.brush.radius = std::clamp(brush.radius, 1, retouch::kMaxRadius);
    live->stroke.brush.hardness = std::clamp(brush.hardness, 0, 100);
    live->stroke.brush.opacity = std::clamp(brush.opacity, 1, 100);
    live->record = std::make_unique<retouch::StrokeRecord>(montageRaster(state_.montage.record(which).picture),
                                                           live->source, live->stroke.brush);
    stroke_ = std::move(live);
}

void MontageSession::takeBackStroke(std::unique_ptr<LiveStroke> live) {
    bool outOfMemory = false;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        outOfMemory = true;
    } catch (const RuntimeError& e) {
        outOfMemory = e.number() == 7;
    } catch (...) {
    }
    // Every tile the stroke touched was kept before it was painted: they all go back, and the
    // stroke's memory is given back before the error is made.
    live->record->undo(montageRaster(state_.montage.record(live->which).picture));
    live.reset();
    if (outOfMemory) throw RuntimeError(7, kStrokeOutOfMemoryText);
    throw;
}

retouch::Rect MontageSession::strokeTo(int x, int y) {
    if (!stroke_) return {};
    try {
        stroke_->stroke.path.push_back(retouch::PathPoint{x, y});
        return stroke_->record->lineTo(x, y);
    } catch (...) {
        takeBackStroke(std::move(stroke_));
    }
}

retouch::Rect MontageSession::endStroke() {
    if (!stroke_) return {};
    std::unique_ptr<LiveStroke> live = std::move(stroke_);
    if (live->stroke.path.empty()) return {};
    MontageRecord& record = state_.montage.record(live->which);
    retouch::Rect changed;
    std::optional<RetouchStep> step;
    try {
        // The room for the undo step is made before the stroke is finished: once painted, it is
        // kept without anything more to allocate.
        record.retouch.done.reserve(record.retouch.done.size() + 1);
        changed = live->record->finish();
        step = RetouchStep{std::move(live->stroke), std::shared_ptr<retouch::StrokeRecord>(std::move(live->record))};
    } catch (...) {
        // The record stays with the stroke until the step owns it.
        if (live->record) takeBackStroke(std::move(live));
        throw;
    }
    record.retouch.done.push_back(std::move(*step));
    record.retouch.undone.clear();
    record.retouch.keepWithin(options_.retouchUndoBytes);
    strokesChanged(live->which);
    return changed;
}

retouch::Rect MontageSession::applyStroke(const MontageChoice& which, const retouch::Stroke& stroke) {
    beginStroke(which, stroke.picture, stroke.brush);
    retouch::Rect changed;
    for (const retouch::PathPoint& p : stroke.path) {
        const retouch::Rect r = strokeTo(p.x, p.y);
        if (!r.empty())
            changed = changed.empty() ? r
                                      : retouch::Rect{std::min(changed.x0, r.x0), std::min(changed.y0, r.y0),
                                                      std::max(changed.x1, r.x1), std::max(changed.y1, r.y1)};
    }
    const retouch::Rect end = endStroke();
    if (end.empty()) return changed;
    if (changed.empty()) return end;
    return retouch::Rect{std::min(changed.x0, end.x0), std::min(changed.y0, end.y0), std::max(changed.x1, end.x1),
                         std::max(changed.y1, end.y1)};
}

void MontageSession::applyStrokes(const MontageChoice& which, const std::vector<retouch::Stroke>& strokes) {
    // Every picture the strokes paint from is checked first: a stroke the montage cannot take
    // stops the whole file before any is painted, rather than leaving the montage half retouched.
    for (const retouch::Stroke& s : strokes) sourcePlacement(which, s.picture);
    for (const retouch::Stroke& s : strokes) applyStroke(which, s);
}

std::optional<retouch::Rect> MontageSession::undoStroke(const MontageChoice& which) {
    if (stroke_) endStroke();
    MontageRecord& record = state_.montage.record(which);
    if (!record.retouch.canUndo()) return std::nullopt;
    const int painted = record.retouch.count();
    RetouchStep step = std::move(record.retouch.done.back());
    record.retouch.done.pop_back();
    // The whole tiles kept go back: the window repaints all of them. Smoothing passes run since
    // the stroke replaced blocks in those tiles: they are written again over them.
    const retouch::Rect written = step.kept->undo(montageRaster(record.picture));
    rewriteSmoothedBlocks(record.picture, record.retouch.smoothedPixels, painted, written);
    record.retouch.passesAfterAtMost(record.retouch.count());
    record.retouch.undone.push_back(std::move(step.stroke));
    strokesChanged(which);
    return written;
}

std::optional<retouch::Rect> MontageSession::redoStroke(const MontageChoice& which) {
    if (stroke_) endStroke();
    MontageRecord& record = state_.montage.record(which);
    if (record.retouch.undone.empty()) return std::nullopt;
    // The list stays as it is until the stroke is painted: a stroke that cannot be painted (its
    // pictures have left the stack) leaves every undone stroke to be redone, and the error says why.
    std::vector<retouch::Stroke> undone = record.retouch.undone;
    const retouch::Stroke stroke = undone.back();
    undone.pop_back();
    const retouch::Rect changed = applyStroke(which, stroke); // clears the undone list
    record.retouch.undone = std::move(undone);
    return changed;
}

void MontageSession::clearStrokes(const MontageChoice& which) {
    if (stroke_) endStroke();
    MontageRecord& record = state_.montage.record(which);
    while (!record.retouch.done.empty()) {
        const int painted = record.retouch.count();
        const retouch::Rect written = record.retouch.done.back().kept->undo(montageRaster(record.picture));
        rewriteSmoothedBlocks(record.picture, record.retouch.smoothedPixels, painted, written);
        record.retouch.done.pop_back();
    }
    record.retouch.folded = 0;
    record.retouch.undone.clear();
    record.retouch.smoothed.clear();
    record.retouch.smoothedPixels.clear();
    strokesChanged(which);
}

int MontageSession::sharpestPictureAt(const MontageChoice& which, int x, int y) const {
    const MontageRecord& record = this->record(which);
    if (record.empty() || x < 0 || y < 0 || x >= record.picture.pictureWidth() || y >= record.picture.pictureHeight())
        return 0;
    const int fromBottom = record.picture.pictureHeight() - 1 - y;
    try {
        const PictureChoices& c =
            record.request.method == FocusMethod::Pyramid && !record.choices.pictures.empty() ? record.choices
                                                                                             : depthChoices(which);
        if (c.pictures.empty() || x >= c.width || fromBottom >= c.height) return 0;
        return c.at(x, fromBottom);
    } catch (const RuntimeError&) {
        return 0;
    }
}

} // namespace orv
