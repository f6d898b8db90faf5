// The alignment of a series: the maps are measured picture by picture outward from the reference,
// each picture against its neighbour and chained after the neighbour's map (so a long series of
// small breathing steps adds up to a large change without the estimate losing its way), both sides
// of the reference at once; then every picture is warped once, with cubic interpolation, into the
// reference frame.
#include "align/align_series.h"

#include "align/colour_match.h"
#include "align/common_area.h"
#include "align/ecc_estimate.h"
#include "base/runtime_error.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace orv {

using align::Affine;

int AlignmentReport::notConverged() const {
    return int(std::count_if(pictures.begin(), pictures.end(),
                             [](const PictureAlignment& p) { return p.aligned && !p.converged; }));
}

namespace {

// The pictures in use, the middle one first, then by their distance from it in the series, the
// earlier of two at one distance first.
std::vector<int> referenceCandidates(int count, const IgnoreTicks& ignored) {
    std::vector<int> used;
    for (int n = 1; n <= count; ++n)
        if (!isIgnored(ignored, n)) used.push_back(n);
    std::vector<int> order;
    if (used.empty()) return order;
    const int middle = int(used.size() - 1) / 2;
    order.push_back(used[std::size_t(middle)]);
    for (int d = 1; int(order.size()) < int(used.size()); ++d)
        for (const int i : {middle - d, middle + d})
            if (i >= 0 && i < int(used.size())) order.push_back(used[std::size_t(i)]);
    return order;
}

} // namespace

int referencePicture(int count, const IgnoreTicks& ignored) {
    const std::vector<int> order = referenceCandidates(count, ignored);
    return order.empty() ? 0 : order.front();
}

namespace {

// The smallest pyramid level the estimation starts from.
constexpr int kCoarsestSide = 160;
// A map whose scale leaves this range is not a plausible picture of the same series.
constexpr double kMinScale = 0.5, kMaxScale = 2.0;

// Picture n's own pixels within cells of W x H.
cv::Mat ownPixels(const std::uint8_t* cells, int W, int H, int pw, int ph) {
    const int w = std::min(pw, W), h = std::min(ph, H);
    return cv::Mat(h, w, CV_8UC3, const_cast<std::uint8_t*>(cells), std::size_t(W) * 3);
}

cv::Mat pictureMat(SeriesSource& source, int n, SourcePicture& read) {
    source.read(n, false, read);
    return ownPixels(read.cells, source.width(), source.height(), source.pictureWidth(n), source.pictureHeight(n));
}

// Below this standard deviation of its grey copy of at most 160 pixels a side (levels of 255) a
// picture shows nothing to align to: black, white, a lens cap, a blank wall; the copy averages
// sensor noise away, and any real subject varies far more.
constexpr double kMinDetail = 2.0;

bool showsDetail(const cv::Mat& bgr) {
    if (bgr.empty()) return false;
    const double s = std::min(1.0, 160.0 / std::max(bgr.cols, bgr.rows));
    cv::Mat small, grey;
    const cv::Size size(std::max(1, int(std::lround(bgr.cols * s))), std::max(1, int(std::lround(bgr.rows * s))));
    cv::resize(bgr, small, size, 0, 0, cv::INTER_AREA);
    cv::cvtColor(small, grey, cv::COLOR_BGR2GRAY);
    cv::Scalar mean, deviation;
    cv::meanStdDev(grey, mean, deviation);
    return deviation[0] >= kMinDetail;
}

// The picture the series aligns onto, read into `read`: the middle one in use, or, when it shows no
// detail, the nearest that does (`passedOver` is then the middle one); the middle one when none does.
// The reference's size is the montage's, and the stack holds every picture at the first one's size:
// a picture of another size (turned, or cut) is taken only when no picture of that size is in use,
// or the montage would lose what the other pictures hold beyond it.
int chooseReference(SeriesSource& source, const IgnoreTicks& ignored, SourcePicture& read, int& passedOver) {
    passedOver = 0;
    std::vector<int> order = referenceCandidates(source.count(), ignored);
    if (order.empty()) return 0;
    const int middle = order.front();
    std::stable_partition(order.begin(), order.end(), [&](int n) {
        return source.pictureWidth(n) == source.pictureWidth(1) && source.pictureHeight(n) == source.pictureHeight(1);
    });
    for (const int n : order)
        if (showsDetail(pictureMat(source, n, read))) {
            // Passed over for its lack of detail, not for its size.
            if (n != middle && order.front() == middle) passedOver = middle;
            return n;
        }
    source.read(order.front(), false, read);
    return order.front();
}

// Two working copies smaller than this place pictures less well than one copy of twice their
// pixels: the sides are then measured one after the other.
constexpr int kMinSharedSide = 480;

// The estimation may always use this much, however small the pictures: below it the copies get
// too coarse to place a picture to a fraction of a pixel.
constexpr double kMinEstimationBytes = 16.0 * 1024 * 1024;

// The working side that keeps one estimation within `bytes`: enhanced correlation holds about
// 85 bytes per pixel of its working copy; the copies themselves and the threads add some more.
int workingSideFor(const AlignOptions& o, int width, int height, double bytes) {
    const double pixels = bytes / 104.0;
    const double longSide = std::max(width, height), shortSide = std::max(1, std::min(width, height));
    const int byMemory = int(std::floor(std::sqrt(pixels * longSide / shortSide)));
    return std::max(kCoarsestSide, std::min(o.workingSide, byMemory));
}

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

struct Estimate {
    bool converged = false;
    double correlation = 0;
    Affine refToPicture; // stack coordinates (rows from the bottom), full size
    PicturePlacement placement = PicturePlacement::Measured;
    int matchedWith = 0; // the picture it was compared with
};

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

// The map of picture `k` from the reference: the picture is matched with its neighbour towards
// the reference, which differs from it by one focus step and so looks most like it, and the
// neighbour's own map is chained after that match. A match with the reference itself would be
// pulled aside by the differences of focus, which grow with every step away from it. Should the
// neighbour not match, the picture is matched with the reference directly, starting from the
// neighbour's map.
// The measured map is read as a similarity (scale, turn, shift), an affine map kept only where it
// is clearly better; and it is used only where it clearly beats the picture as loaded and the
// neighbour's place, else the better of those two is kept.
// `ownWidth` x `ownHeight` is the picture's own size, of which `pic` may hold only the part the
// cells keep.
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
    if (!replaced && mismatch(*templ, refToTemplate, pic, w).clearlyBelow(bySimilar, kAffineMargin)) e.refToPicture = w;
    return e;
}

// Cells of `cells` (a W x H stack picture) outside the frame set to black.
void clearOutsideFrame(std::vector<std::uint8_t>& cells, int W, int H, int fw, int fh) {
    for (int y = 0; y < H; ++y) {
        std::uint8_t* row = cells.data() + std::size_t(y) * W * 3;
        if (y >= fh) std::memset(row, 0, std::size_t(W) * 3);
        else if (fw < W) std::memset(row + std::size_t(fw) * 3, 0, std::size_t(W - fw) * 3);
    }
}

// The maps of the pictures on one side of the reference, outward, each chained after its
// neighbour's. `onPicture` follows each picture.
void estimateSide(SeriesSource& source, int ref, int dir, const IgnoreTicks& ignored, int side,
                  const align::GreyPyramid& refPyramid, std::vector<Estimate>& maps,
                  const std::function<void(int)>& onPicture) {
    const align::EccSettings settings;
    align::GreyPyramid neighbour;
    int neighbourPicture = ref;
    SourcePicture read;
    for (int k = ref + dir; k >= 1 && k <= source.count(); k += dir) {
        if (isIgnored(ignored, k)) continue;
        align::GreyPyramid pic = align::makePyramid(pictureMat(source, k, read), side, kCoarsestSide);
        const Estimate e = estimate(refPyramid, neighbourPicture == ref ? refPyramid : neighbour, neighbourPicture,
                                    ref, maps[std::size_t(neighbourPicture - 1)].refToPicture, pic, settings,
                                    source.pictureWidth(k), source.pictureHeight(k));
        maps[std::size_t(k - 1)] = e;
        if (e.converged) { // a picture that could not be matched is no one's neighbour
            neighbour = std::move(pic);
            neighbourPicture = k;
        }
        onPicture(k);
    }
}

// The maps of every picture in use, measured from `source`; `tell` after each picture.
AlignmentPlan measure(SeriesSource& source, const AlignOptions& options, const std::function<void(int)>& tell) {
    AlignmentPlan plan;
    AlignmentReport& report = plan.report;
    const int N = source.count();
    if (N < 0) throw RuntimeError(9);
    const int W = source.width(), H = source.height();
    plan.cellsWidth = W;
    plan.cellsHeight = H;
    plan.colourMatch = options.colourMatch;
    report.pictures.resize(std::size_t(std::max(0, N)));
    plan.refToPicture.assign(std::size_t(std::max(0, N)), Affine{});
    plan.warped.assign(std::size_t(std::max(0, N)), 0);
    plan.sizes.resize(std::size_t(std::max(0, N)));
    for (int n = 1; n <= N; ++n) {
        auto& p = report.pictures[std::size_t(n - 1)];
        p.picture = n;
        p.aligned = !isIgnored(options.ignored, n);
        plan.sizes[std::size_t(n - 1)] = {source.pictureWidth(n), source.pictureHeight(n)};
    }
    SourcePicture refRead;
    report.reference = chooseReference(source, options.ignored, refRead, report.passedOver);
    if (report.reference == 0) return plan;
    const int ref = report.reference;
    report.frameWidth = std::min(source.pictureWidth(ref), W);
    report.frameHeight = std::min(source.pictureHeight(ref), H);
    const int fw = report.frameWidth, fh = report.frameHeight;
    auto& refEntry = report.pictures[std::size_t(ref - 1)];
    refEntry.reference = true;
    refEntry.correlation = 1;
    refEntry.width = source.pictureWidth(ref);
    refEntry.height = source.pictureHeight(ref);
    plan.sizes[std::size_t(ref - 1)] = {fw, fh};
    std::vector<int> order; // the pictures to align
    for (int n = 1; n <= N; ++n)
        if (n != ref && !isIgnored(options.ignored, n)) order.push_back(n);

    // The two sides of the reference are independent chains: they are measured at the same time
    // when the memory allows both working copies a useful size, else one after the other with one
    // larger copy. Progress is told on the caller's thread only, as pictures of either side finish.
    const bool hasBelow = std::any_of(order.begin(), order.end(), [&](int k) { return k < ref; });
    const bool hasAbove = std::any_of(order.begin(), order.end(), [&](int k) { return k > ref; });
    const double budget = std::max(options.memoryPictures * double(W) * H * 3, kMinEstimationBytes);
    const int sideShared = workingSideFor(options, fw, fh, budget / 2);
    const bool bothSides = hasBelow && hasAbove &&
                           (sideShared >= kMinSharedSide || sideShared >= std::max(fw, fh));
    const int side = bothSides ? sideShared : workingSideFor(options, fw, fh, budget);
    std::vector<Estimate> maps(static_cast<std::size_t>(N));
    maps[std::size_t(ref - 1)].converged = true;
    {
        align::GreyPyramid refPyramid;
        {
            const cv::Mat reference =
                ownPixels(refRead.cells, W, H, source.pictureWidth(ref), source.pictureHeight(ref));
            refPyramid = align::makePyramid(reference, side, kCoarsestSide);
            if (options.colourMatch && !order.empty())
                plan.colourReference = std::make_shared<const align::ColourReference>(align::makeColourReference(reference));
        }
        refRead = SourcePicture{}; // its working copies are all the estimation keeps of it
        std::mutex finishedLock;
        std::vector<int> finished; // pictures the other side has measured, not yet told
        auto drain = [&] {
            std::vector<int> batch;
            {
                const std::lock_guard<std::mutex> lock(finishedLock);
                batch.swap(finished);
            }
            for (const int k : batch) tell(k);
        };
        std::exception_ptr failure;
        std::atomic<bool> stop{false};
        std::thread below;
        if (bothSides)
            below = std::thread([&] {
                try {
                    estimateSide(source, ref, -1, options.ignored, side, refPyramid, maps, [&](int k) {
                        if (stop) throw RuntimeError(kUserInterrupt);
                        const std::lock_guard<std::mutex> lock(finishedLock);
                        finished.push_back(k);
                    });
                } catch (...) {
                    failure = std::current_exception();
                }
            });
        const auto onPicture = [&](int k) {
            drain();
            tell(k);
        };
        try {
            if (bothSides || hasAbove) estimateSide(source, ref, 1, options.ignored, side, refPyramid, maps, onPicture);
            if (!bothSides && hasBelow) estimateSide(source, ref, -1, options.ignored, side, refPyramid, maps, onPicture);
        } catch (...) {
            stop = true; // the other side ends at its next picture
            if (below.joinable()) below.join();
            throw;
        }
        if (below.joinable()) below.join();
        if (failure) std::rethrow_exception(failure);
        drain();
    }

    std::vector<align::Coverage> coverage; // what each aligned picture's own pixels cover
    for (const int k : order) {
        auto& entry = report.pictures[std::size_t(k - 1)];
        const Estimate& e = maps[std::size_t(k - 1)];
        const int pw = source.pictureWidth(k), ph = source.pictureHeight(k);
        // Rows from the top on both sides: the stack keeps a picture's bottom row at row 0.
        const Affine refToPicture = align::flipRows(e.converged ? e.refToPicture : Affine{}, fh, ph);
        entry.toReference = align::inverse(refToPicture);
        entry.fromReference = refToPicture;
        entry.similarity = align::describe(entry.toReference, pw, ph, fw, fh);
        coverage.push_back(align::Coverage{refToPicture, pw, ph});
        entry.converged = e.converged;
        entry.width = pw;
        entry.height = ph;
        entry.placement = e.converged ? e.placement : PicturePlacement::AsLoaded;
        entry.neighbour = e.matchedWith;
        if (e.converged) entry.correlation = e.correlation;
        plan.refToPicture[std::size_t(k - 1)] = e.converged ? e.refToPicture : Affine{};
        // A picture used as loaded that already fills the frame is not resampled.
        const bool warp = e.converged && !(e.refToPicture.isIdentity() && pw == fw && ph == fh);
        plan.warped[std::size_t(k - 1)] = warp;
        if (warp) plan.sizes[std::size_t(k - 1)] = {fw, fh};
    }
    report.common = align::commonArea(fw, fh, coverage);
    return plan;
}

template <class F> auto translatingErrors(F body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        throw RuntimeError(7);
    } catch (const cv::Exception& e) {
        if (e.code == cv::Error::StsNoMem) throw RuntimeError(7);
        throw RuntimeError(5);
    }
}

} // namespace

AlignmentPlan measureAlignment(SeriesSource& source, const AlignOptions& options) {
    return translatingErrors([&] {
        int total = 0;
        for (int n = 1; n <= source.count(); ++n)
            if (!isIgnored(options.ignored, n)) ++total;
        total = std::max(0, total - 1);
        int done = 0;
        return measure(source, options, [&](int k) {
            ++done;
            if (options.onProgress) options.onProgress(AlignProgress{AlignProgress::Stage::Measuring, k, done, total});
        });
    });
}

void alignPicture(AlignmentPlan& plan, int n, std::vector<std::uint8_t>& cells, std::vector<std::uint8_t>& spare) {
    AlignmentReport& report = plan.report;
    const int W = plan.cellsWidth, H = plan.cellsHeight;
    if (n < 1 || n > int(report.pictures.size()) || report.reference == 0) return;
    if (cells.size() < std::size_t(W) * std::size_t(H) * 3) throw RuntimeError(9);
    PictureAlignment& entry = report.pictures[std::size_t(n - 1)];
    if (!entry.aligned) return;
    const int fw = report.frameWidth, fh = report.frameHeight;
    translatingErrors([&] {
        if (entry.reference) {
            if (entry.width != fw || entry.height != fh) clearOutsideFrame(cells, W, H, fw, fh);
            return 0;
        }
        if (!entry.converged) return 0;
        const Affine& map = plan.refToPicture[std::size_t(n - 1)];
        const int pw = entry.width, ph = entry.height;
        const align::ColourReference* colourRef = plan.colourMatch ? plan.colourReference.get() : nullptr;
        align::ChannelFit fit;
        if (!plan.warped[std::size_t(n - 1)]) {
            if (colourRef) {
                cv::Mat own = ownPixels(cells.data(), W, H, pw, ph);
                fit = align::fitColour(*colourRef, own, align::Coverage{Affine{}, pw, ph});
                align::applyColour(own, fit);
            }
        } else {
            if (spare.size() != cells.size()) spare.assign(cells.size(), 0);
            const cv::Mat src = ownPixels(cells.data(), W, H, pw, ph);
            cv::Mat dst(fh, fw, CV_8UC3, spare.data(), std::size_t(W) * 3);
            const auto& m = map.m;
            cv::warpAffine(src, dst, cv::Matx23d(m[0], m[1], m[2], m[3], m[4], m[5]), dst.size(),
                           cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
            if (colourRef) {
                fit = align::fitColour(*colourRef, dst, align::Coverage{map, pw, ph});
                align::applyColour(dst, fit);
            }
            clearOutsideFrame(spare, W, H, fw, fh);
            std::swap(spare, cells);
        }
        if (colourRef) {
            const std::lock_guard<std::mutex> lock(*plan.fitsLock);
            entry.gain = fit.gain;
            entry.offset = fit.offset;
            entry.colourRefused = fit.refused;
        }
        return 0;
    });
}

AlignmentReport alignStack(ImageStack& stack, const AlignOptions& options) {
    const int N = stack.count;
    // A stack whose lists disagree with its count or size cannot be read safely.
    const std::size_t cells = std::size_t(std::max(0, stack.width())) * std::size_t(std::max(0, stack.height())) * 3;
    if (N < 0 || stack.pictures.size() < std::size_t(N) || stack.sizes.size() < std::size_t(N)) throw RuntimeError(9);
    for (int n = 0; n < N; ++n)
        if (stack.pictures[std::size_t(n)].size() < cells) throw RuntimeError(9);
    StackSource source(stack);
    int total = 0;
    for (int n = 1; n <= N; ++n)
        if (!isIgnored(options.ignored, n)) ++total;
    total = 2 * std::max(0, total - 1);
    int done = 0;
    auto tell = [&](AlignProgress::Stage stage, int picture) {
        ++done;
        if (options.onProgress) options.onProgress(AlignProgress{stage, picture, done, total});
    };
    // The maps first, while no full-size working picture is held; then the pictures, one at a
    // time through one working picture, which is swapped with the picture it replaces.
    AlignmentPlan plan = translatingErrors([&] {
        return measure(source, options, [&](int k) { tell(AlignProgress::Stage::Measuring, k); });
    });
    if (plan.report.reference == 0) return plan.report;
    std::vector<std::uint8_t> spare;
    // The working picture comes first, into the memory the estimation has just freed.
    if (std::any_of(plan.warped.begin(), plan.warped.end(), [](char w) { return w != 0; }))
        translatingErrors([&] {
            spare.assign(cells, 0);
            return 0;
        });
    const int ref = plan.report.reference;
    alignPicture(plan, ref, stack.pictures[std::size_t(ref - 1)], spare);
    stack.sizes[std::size_t(ref - 1)] = plan.sizes[std::size_t(ref - 1)];
    for (int k = 1; k <= N; ++k) {
        if (k == ref || isIgnored(options.ignored, k)) continue;
        alignPicture(plan, k, stack.pictures[std::size_t(k - 1)], spare);
        stack.sizes[std::size_t(k - 1)] = plan.sizes[std::size_t(k - 1)];
        tell(AlignProgress::Stage::Warping, k);
    }
    return plan.report;
}

} // namespace orv
