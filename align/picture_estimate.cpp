// One picture's map onto the reference: measured by enhanced correlation against its neighbour,
// restarted from a coarse shift or a quarter turn where that loses its way, checked against the
// picture as loaded, the neighbour's place and a broad view of the scene, and used only where it is
// clearly better.
#include "align/picture_estimate.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace orv::align {

namespace {

// A map whose scale leaves this range is not a plausible picture of the same series.
constexpr double kMinScale = 0.5, kMaxScale = 2.0;

// Pictures of one series differ by a scale, a turn and a shift; a map that also shears or
// stretches one way by more than a few percent has matched the wrong thing.
constexpr double kMaxDistortion = 0.05;

bool plausibleShape(const Affine& refToPicture) {
    const auto& m = refToPicture.m;
    const double det = refToPicture.determinant();
    if (!(det > kMinScale * kMinScale && det < kMaxScale * kMaxScale)) return false;
    const double similar = std::hypot((m[0] + m[4]) / 2, (m[3] - m[1]) / 2);
    const double other = std::hypot((m[0] - m[4]) / 2, (m[3] + m[1]) / 2);
    return other <= kMaxDistortion * similar;
}

bool plausible(const Affine& refToPicture, int width, int height) {
    if (!plausibleShape(refToPicture)) return false;
    // The centre must land on the picture.
    const double cx = refToPicture.x((width - 1) / 2.0, (height - 1) / 2.0);
    const double cy = refToPicture.y((width - 1) / 2.0, (height - 1) / 2.0);
    return cx >= 0 && cy >= 0 && cx <= width - 1 && cy <= height - 1;
}

// A picture of another size than the reference (a part cut out of the frame) need not hold the
// frame's centre where it lies in place: its own centre must then land on the frame.
bool plausibleCut(const Affine& refToPicture, const align::GreyPyramid& ref, const align::GreyPyramid& pic) {
    if ((pic.fullWidth == ref.fullWidth && pic.fullHeight == ref.fullHeight) || !plausibleShape(refToPicture))
        return false;
    const Affine back = align::inverse(refToPicture);
    const double px = (pic.fullWidth - 1) / 2.0, py = (pic.fullHeight - 1) / 2.0;
    const double x = back.x(px, py), y = back.y(px, py);
    return x >= 0 && y >= 0 && x <= ref.fullWidth - 1 && y <= ref.fullHeight - 1;
}

// A measured map must lower the mismatch left by the better of "as loaded" and "as the
// neighbour" by this fraction at the working scale, and must not raise it at half that scale, to
// be used: a map found among differences of focus or noise lowers it by a percent at most (0.6 %
// on a series taken without moves whose grid lines pulled the correlation astray), while a
// breathing step of 0.1 % of scale on a real series lowers it by 7 to 40 %.
constexpr double kClearMargin = 0.05;
// An affine map (shear, one-way stretch) must lower the similarity's mismatch by this fraction.
constexpr double kAffineMargin = 0.25;
// Neighbouring focus steps differ in scale by at most this much: the focus breathing of a macro
// lens reaches 5 to 10 % a step, and a picture moved on its own adds its move to its neighbour's
// step; a larger step has matched noise or a pattern, not breathing.
constexpr double kMaxStepScale = 0.12;
// A picture turned in its pixels shows its neighbour's scene: turned back, it matches it about as
// well as any neighbour does (0.99 and more). A turn that only matches weakly has found a pattern
// in what little two far-moved pictures share (a picture moved by half its width matched at 175
// degrees with 0.29), and turning the picture upside down there would ruin the montage.
constexpr double kMinTurnedCorrelation = 0.8;
// The smoothing (level pixels) of the copies the candidates are compared on.
constexpr double kCheckSigma = 1.5;

// The smoothing (level pixels of the coarsest copies, 160 to 320 pixels long) of the broad check:
// what is left is the layout of the scene's large parts, which focus hardly changes.
constexpr double kBroadSigma = 6.0;
// The pre-filter (level pixels, odd) of the second, broad measurement of a map, on the coarsest
// copies.
constexpr int kBroadFilterSize = 9;
// The broad measurement replaces the first where it matches better at every scale, broadly by this
// fraction; where it matches broadly better by the second fraction but not at every scale, the two
// disagree and neither is trusted.
constexpr double kBroadGain = 0.05;
constexpr double kBroadContradiction = 0.25;
// A measured map that matches broadly worse than the picture as loaded by this fraction has
// followed the detail away from where the scene lies.
constexpr double kBroadWorse = 0.10;
// Broad mismatches closer than this are equal: pictures that hardly differ (a real series whose
// neighbours correlate to 0.999 and more broadly) differ there by their noise and light alone.
constexpr double kBroadFloor = 0.0005;

bool clearlyAbove(double mismatch, double other, double fraction) {
    return mismatch - other > std::max(fraction * other, kBroadFloor);
}

// The mismatch of picture `pic` placed by `refToPicture` against the template (the neighbour,
// or the reference), which itself lies at `refToTemplate`, at the working scale and half of it,
// and broadly: on the coarsest copies smoothed far beyond the detail.
struct Mismatch {
    double fine = 1, coarse = 1, broad = 1;
    bool clearlyBelow(const Mismatch& other, double margin) const {
        return fine < other.fine * (1 - margin) && coarse <= other.coarse;
    }
};

// The coarsest level both pyramids share, or -1 when it is shorter than kCoarsestSide: a picture that
// small was never shrunk, and the broad smoothing would cover most of it.
int broadLevel(const align::GreyPyramid& templ, const align::GreyPyramid& pic) {
    const int coarsest = int(std::min(templ.levels.size(), pic.levels.size())) - 1;
    if (coarsest < 0) return -1;
    const cv::Mat& t = templ.levels[std::size_t(coarsest)].grey;
    const cv::Mat& p = pic.levels[std::size_t(coarsest)].grey;
    return std::min(std::max(t.cols, t.rows), std::max(p.cols, p.rows)) >= kCoarsestSide ? coarsest : -1;
}

Mismatch mismatch(const align::GreyPyramid& templ, const Affine& refToTemplate, const align::GreyPyramid& pic,
                  const Affine& refToPicture) {
    const Affine step = align::compose(refToPicture, align::inverse(refToTemplate));
    const int broad = broadLevel(templ, pic);
    return Mismatch{align::matchResidual(templ, pic, 0, step, kCheckSigma),
                    align::matchResidual(templ, pic, 1, step, kCheckSigma),
                    broad < 0 ? 1.0 : align::matchResidual(templ, pic, broad, step, kBroadSigma)};
}

// Working copies of fewer pixels than 64 x 48 hold too little to measure a scale or a turn: the
// correlation follows the differences of focus and the edges there as readily as a move (a
// series of 48 x 36 taken without moves matched at scales 2 to 7 % off, or not at all).
constexpr int kMinMeasuredPixels = 64 * 48;

bool tooSmallToMeasure(const align::GreyPyramid& a, const align::GreyPyramid& b) {
    for (const align::GreyPyramid* p : {&a, &b}) {
        if (p->levels.empty()) return true;
        const cv::Mat& grey = p->levels.front().grey;
        if (grey.cols * grey.rows < kMinMeasuredPixels) return true;
    }
    return false;
}

// Below this many pixels (32 x 24) the focus alone changes a picture as much as a pixel's move.
constexpr int kMinStillPixels = 32 * 24;

// Whether picture `pic`, too small to measure, matches the template (placed at `refToTemplate`)
// clearly better shifted by a pixel in any direction than as loaded: then it may have moved, which
// the user is told; else nothing moved that the picture could show. A picture too small to tell
// may always have moved.
bool movedByAPixel(const align::GreyPyramid& templ, const Affine& refToTemplate, const align::GreyPyramid& pic) {
    for (const align::GreyPyramid* p : {&templ, &pic})
        if (p->levels.empty() || p->levels.front().grey.cols * p->levels.front().grey.rows < kMinStillPixels)
            return true;
    const Affine templateToRef = align::inverse(refToTemplate);
    const double asLoaded = align::matchResidual(templ, pic, 0, templateToRef, kCheckSigma);
    const auto& level = pic.levels.front();
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            if (dx == 0 && dy == 0) continue;
            Affine shift;
            shift.m[2] = dx / level.sx;
            shift.m[5] = dy / level.sy;
            const double moved = align::matchResidual(templ, pic, 0, align::compose(shift, templateToRef), kCheckSigma);
            if (moved < asLoaded * (1 - kClearMargin)) return true;
        }
    return false;
}

} // namespace

Estimate estimate(const align::GreyPyramid& ref, const align::GreyPyramid& neighbour, int neighbourPicture,
                  int referencePicture, const Affine& refToNeighbour, const align::GreyPyramid& pic,
                  const align::EccSettings& settings, int ownWidth, int ownHeight) {
    Estimate e;
    if (tooSmallToMeasure(neighbour, pic) || tooSmallToMeasure(ref, pic)) {
        // Kept as loaded, and the next picture's neighbour as any other; it is no failure.
        e.converged = true;
        e.matchedWith = neighbourPicture;
        e.placement = movedByAPixel(neighbour, refToNeighbour, pic) ? PicturePlacement::TooSmall
                                                                    : PicturePlacement::AsLoaded;
        e.correlation = 1 - align::matchResidual(neighbour, pic, 0, align::inverse(refToNeighbour), kCheckSigma);
        e.support = e.correlation;
        return e;
    }
    const int coarsest = int(std::min(neighbour.levels.size(), pic.levels.size())) - 1;
    Affine step;
    align::EccResult r = align::refineEcc(neighbour, pic, coarsest, 0, step, settings);
    // A match that takes the picture off itself or steps beyond any breathing has lost its way.
    const auto usable = [&](const align::EccResult& found, const Affine& s) {
        if (!found.converged) return false;
        const Affine map = align::compose(s, refToNeighbour);
        if (!plausible(map, pic.fullWidth, pic.fullHeight) && !plausibleCut(map, ref, pic)) return false;
        const Affine similar = align::nearestSimilarity(map, (pic.fullWidth - 1) / 2.0, (pic.fullHeight - 1) / 2.0);
        return std::fabs(align::similarScale(align::compose(similar, align::inverse(refToNeighbour))) - 1) <=
               kMaxStepScale;
    };
    if (!usable(r, step)) {
        // A move of a good part of the picture (a knocked tripod, a slipped specimen) lies beyond
        // where the correlation finds its way from no move: it starts again from the shift that
        // phase correlation finds on the coarsest copies, and keeps that match where it holds.
        if (const auto shift = align::coarseShift(neighbour, pic, coarsest)) {
            Affine restart = *shift;
            const align::EccResult again = align::refineEcc(neighbour, pic, coarsest, 0, restart, settings);
            if (usable(again, restart)) {
                r = again;
                step = restart;
            }
        }
    }
    if (!usable(r, step)) {
        // A picture saved on its side or upside down (a camera's turn not undone, a frame turned
        // by hand) is matched turned back by a quarter, a half or three quarters about its centre;
        // the best of the turns that holds is kept.
        const double nx = (neighbour.fullWidth - 1) / 2.0, ny = (neighbour.fullHeight - 1) / 2.0;
        const double px = (ownWidth - 1) / 2.0, py = (ownHeight - 1) / 2.0;
        for (const auto& [c, sn] : {std::pair{0.0, 1.0}, std::pair{-1.0, 0.0}, std::pair{0.0, -1.0}}) {
            Affine turned;
            turned.m = {c, -sn, px - c * nx + sn * ny, sn, c, py - sn * nx - c * ny};
            const align::EccResult again = align::refineEcc(neighbour, pic, coarsest, 0, turned, settings);
            if (usable(again, turned) && again.correlation >= kMinTurnedCorrelation &&
                (!usable(r, step) || again.correlation > r.correlation)) {
                r = again;
                step = turned;
            }
        }
    }
    Affine w = align::compose(step, refToNeighbour);
    const align::GreyPyramid* templ = &neighbour;
    Affine refToTemplate = refToNeighbour;
    e.matchedWith = neighbourPicture;
    if (!r.converged && &neighbour != &ref) {
        w = refToNeighbour;
        r = align::refineEcc(ref, pic, coarsest, 0, w, settings);
        templ = &ref;
        refToTemplate = Affine{};
        e.matchedWith = referencePicture;
    }
    if (!r.converged) return e;
    // A cut-out picture placed only by its own centre is left as loaded with the warning it had
    // unless its measured place is used.
    const bool cutOnly = !plausible(w, pic.fullWidth, pic.fullHeight);
    if (cutOnly && !plausibleCut(w, ref, pic)) return e;
    e.converged = true;
    e.correlation = r.correlation;

    // The places to beat: as loaded, and where the neighbour lies.
    const Mismatch asLoaded = mismatch(*templ, refToTemplate, pic, Affine{});
    Mismatch base = asLoaded;
    e.refToPicture = Affine{};
    e.placement = PicturePlacement::AsLoaded;
    if (!refToNeighbour.isIdentity()) {
        const Mismatch atNeighbour = mismatch(*templ, refToTemplate, pic, refToNeighbour);
        if (atNeighbour.fine + atNeighbour.coarse < asLoaded.fine + asLoaded.coarse) {
            base = atNeighbour;
            e.refToPicture = refToNeighbour;
            e.placement = PicturePlacement::Neighbour;
            e.matchedWith = neighbourPicture;
        }
    }
    const double cx = (pic.fullWidth - 1) / 2.0, cy = (pic.fullHeight - 1) / 2.0;
    Affine similar = align::nearestSimilarity(w, cx, cy);
    const double stepScale = align::similarScale(align::compose(similar, align::inverse(refToNeighbour)));
    // A step beyond any breathing is no place for the picture, nor a neighbour for the next one:
    // the picture could not be aligned, which is what the user must be told.
    if (std::fabs(stepScale - 1) > kMaxStepScale) {
        e.converged = false;
        return e;
    }
    Mismatch bySimilar = mismatch(*templ, refToTemplate, pic, similar);
    if (!bySimilar.clearlyBelow(base, kClearMargin)) {
        e.converged = !cutOnly;
        if (e.converged) e.support = 1 - base.fine;
        return e;
    }
    // The detail the match followed differs between focus steps (a ring sharp in one picture is
    // spread, or even inverted, in the next) and can pull the map aside. The map is measured again
    // on the coarsest copies under a wider pre-filter, where focus hardly changes the picture; it
    // replaces the first where it matches better at every scale, and a first map that the broad
    // view clearly contradicts, against the picture as loaded or against that second map, is no
    // place the picture can be trusted at.
    Affine broadStep = align::compose(similar, align::inverse(refToTemplate));
    align::EccSettings broadSettings = settings;
    broadSettings.filterSize = kBroadFilterSize;
    const int broadShared = broadLevel(*templ, pic);
    bool replaced = false;
    if (broadShared >= 0 &&
        align::refineEcc(*templ, pic, broadShared, broadShared, broadStep, broadSettings).converged) {
        const Affine broad = align::nearestSimilarity(align::compose(broadStep, refToTemplate), cx, cy);
        const double broadStepScale = align::similarScale(align::compose(broad, align::inverse(refToNeighbour)));
        if ((plausible(broad, pic.fullWidth, pic.fullHeight) || plausibleCut(broad, ref, pic)) && std::fabs(broadStepScale - 1) <= kMaxStepScale) {
            const Mismatch byBroad = mismatch(*templ, refToTemplate, pic, broad);
            if (byBroad.fine < bySimilar.fine && byBroad.coarse < bySimilar.coarse &&
                clearlyAbove(bySimilar.broad, byBroad.broad, kBroadGain)) {
                similar = broad;
                bySimilar = byBroad;
                replaced = true;
            } else if (clearlyAbove(bySimilar.broad, byBroad.broad, kBroadContradiction)) {
                e.converged = false;
                return e;
            }
        }
    }
    if (clearlyAbove(bySimilar.broad, base.broad, kBroadWorse)) {
        e.converged = false;
        return e;
    }
    e.refToPicture = similar;
    e.placement = PicturePlacement::Measured;
    e.correlation = 1 - bySimilar.fine;
    e.support = e.correlation;
    if (!replaced) {
        const Mismatch byAffine = mismatch(*templ, refToTemplate, pic, w);
        if (byAffine.clearlyBelow(bySimilar, kAffineMargin)) {
            e.refToPicture = w;
            e.support = 1 - byAffine.fine;
        }
    }
    return e;
}

} // namespace orv::align
