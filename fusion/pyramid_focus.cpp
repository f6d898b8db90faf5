// Pyramid Focus. Levels are kept in 16-bit integers at eight times the pixel scale: a Laplacian
// level is stored exactly as the difference of a Gaussian level and the expansion of the next one,
// so collapsing a picture's own pyramid gives the picture back bit for bit, and the three extra
// bits keep the coarser levels from rounding to whole grey levels.
//
// Two passes over the series, one picture at a time. The first builds each picture's luminance
// pyramid and keeps, per level and pixel, the strongest coefficients seen and their picture, and
// the sum of all pictures' strengths; the choice maps are then cleaned by a 3 x 3 majority vote.
// (Judged on the single coefficient, a blurred picture wins wherever the sharp one's coefficient
// crosses zero: on the synthetic series that costs 25 dB against the truth; summed over 5 x 5
// pixels it does not happen.) Where, on the finest levels, the strongest is not clearly above the
// others, nothing is in focus there and the strongest is merely the noisiest: such pixels take the
// average of the pictures' coefficients. The second pass builds each picture's colour pyramid,
// copies its coefficients where the cleaned maps chose it, adds its share where the average is
// taken and its top level to the average, and gathers the range of values the pictures show
// around every pixel. Memory is a few montage-sized levels, whatever the number of pictures.
//
// A picture takes part only where it has pixels of its own: the part of each level it covers is
// kept per row (an aligned picture covers a turned and scaled rectangle), and outside it the
// picture neither wins, nor votes, nor counts in the average or the range.
#include "fusion/pyramid_focus.h"

#include "engine/preview_rows.h"
#include "fusion/expand_band.h"

#include "base/numbers.h"
#include "base/runtime_error.h"
#include "fusion/brightness_evening.h"
#include "fusion/choice_map.h"
#include "fusion/deep_merge.h"
#include "fusion/pyramid_placement.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace orv {

int pyramidLevels(int w, int h) {
    if (w < 1 || h < 1) return 0;
    int levels = 0;
    while (levels == 0 || std::min(w, h) > 8) {
        w = (w + 1) / 2;
        h = (h + 1) / 2;
        ++levels;
    }
    return levels;
}

namespace {

using pyramid::ChoiceValue;
using pyramid::CountValue;
using pyramid::Placement;
using pyramid::forRows;
using pyramid::forRowsIn;

constexpr int kScaleBits = 3; // levels hold eight times the pixel values

constexpr int kChoiceType = CV_16UC1; // the cv::Mat types of ChoiceValue and CountValue
constexpr int kCountType = CV_16UC1;
constexpr int kWindow = 5;    // the side of the window a coefficient's strength is judged over

// On the finest levels, where sensor noise lives, the strongest picture is taken only where its
// strength is at least this many times the mean of the other pictures covering the pixel: on noise
// alone the strongest of ten is about 1.3 times that mean, of two about 1.2; on detail sharp in
// one picture it is several times. Coarser levels hold little of the noise, and there a picture
// sharper by less still decides.
constexpr int kClearFocusTenths = 16;
using pyramid::kBlendLevels;

// The centre on the montage (one side of `montageSide` pixels) of level pixel i: level pixel i
// covers montage pixels i * 2^l to (i + 1) * 2^l - 1, cut at the montage's last pixel.
long long levelCentre(int i, int level, int montageSide) {
    return std::min<long long>((static_cast<long long>(i) << level) + ((1LL << level) >> 1), montageSide - 1);
}

// The first level pixel whose centre is at least v (levelSide when none).
int firstCentreFrom(long long v, int level, int levelSide, int montageSide) {
    if (v > montageSide - 1) return levelSide;
    const long long half = (1LL << level) >> 1;
    long long i = v <= half ? 0 : (v - half + (1LL << level) - 1) >> level;
    i = std::clamp<long long>(i, 0, levelSide);
    while (i > 0 && levelCentre(int(i - 1), level, montageSide) >= v) --i;
    while (i < levelSide && levelCentre(int(i), level, montageSide) < v) ++i;
    return int(i);
}

// Narrows the columns [lo, hi] to those x with low <= c x + d <= high.
void narrow(double c, double d, double low, double high, double& lo, double& hi) {
    constexpr double kEdge = 1e-6;
    if (std::fabs(c) < 1e-12) {
        if (d < low - kEdge || d > high + kEdge) {
            lo = 1;
            hi = 0;
        }
        return;
    }
    double a = (low - d) / c, b = (high - d) / c;
    if (a > b) std::swap(a, b);
    lo = std::max(lo, a - kEdge);
    hi = std::min(hi, b + kEdge);
}

// The montage pixels of `rect` that the picture covers with pixels of its own: all of them, or,
// for an aligned picture, those whose frame pixel its own area holds. Montage row y is stack row
// y + oy, frame row frameHeight - 1 - (y + oy) from the top; column x is frame column x + ox.
CoverArea montageCover(const CoverRect& rect, const OwnArea* own, int ox, int oy) {
    CoverArea a = CoverArea::of(rect);
    if (!own) return a;
    const int frameHeight = own->frameHeight;
    const auto& m = own->frameToPicture;
    for (int y = rect.y0; y < rect.y1; ++y) {
        const double fy = double(frameHeight - 1 - (y + oy));
        double lo = rect.x0, hi = rect.x1 - 1;
        narrow(m[0], m[0] * ox + m[1] * fy + m[2], 0, own->width - 1, lo, hi);
        narrow(m[3], m[3] * ox + m[4] * fy + m[5], 0, own->height - 1, lo, hi);
        const std::size_t i = std::size_t(y - rect.y0);
        a.x0[i] = int(std::ceil(lo));
        a.x1[i] = std::max(a.x0[i], int(std::floor(hi)) + 1);
    }
    return a;
}

// The pixels of a level whose centre on the montage lies in the montage cover `m`.
CoverArea levelCover(const CoverArea& m, int level, cv::Size size, int W, int H) {
    if (level == 0) return m;
    CoverArea a;
    const int first = firstCentreFrom(m.y0, level, size.height, H);
    const int last = firstCentreFrom(m.y1(), level, size.height, H);
    a.y0 = first;
    for (int j = first; j < last; ++j) {
        const int y = int(levelCentre(j, level, H));
        const std::size_t i = std::size_t(y - m.y0);
        const int x0 = firstCentreFrom(m.x0[i], level, size.width, W);
        const int x1 = m.x1[i] > m.x0[i] ? firstCentreFrom(m.x1[i], level, size.width, W) : x0;
        a.x0.push_back(x0);
        a.x1.push_back(std::max(x0, x1));
    }
    return a;
}

// Picture p in montage coordinates, 8-bit blue, green, red: the stack's own cells when the picture
// sits unshifted over the whole montage, else a copy into `buffer` in which the pixels it does not
// reach repeat its nearest edge, so its coefficients stay quiet there.
// Whether picture p lies where the montage does, covering all of it: its cells are then used in
// place, not copied.
bool inPlace(const Placement& p, cv::Size size) {
    const CoverRect& r = p.rect;
    return p.ox == 0 && p.oy == 0 && r.x0 == 0 && r.y0 == 0 && r.x1 == size.width && r.y1 == size.height;
}

cv::Mat placedPicture(const std::uint8_t* source, int sourceWidth, const Placement& p, cv::Size size, cv::Mat& buffer) {
    const CoverRect& r = p.rect;
    auto* cells = const_cast<std::uint8_t*>(source);
    const std::size_t srcRow = std::size_t(sourceWidth) * 3;
    if (inPlace(p, size)) return cv::Mat(size, CV_8UC3, cells, srcRow);
    buffer.create(size, CV_8UC3);
    const int W = size.width, H = size.height;
    cv::parallel_for_(cv::Range(r.y0, r.y1), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            std::uint8_t* d = buffer.ptr<std::uint8_t>(y);
            std::memcpy(d + 3 * r.x0, cells + std::size_t(y + p.oy) * srcRow + std::size_t(r.x0 + p.ox) * 3,
                        std::size_t(r.x1 - r.x0) * 3);
            for (int x = 0; x < r.x0; ++x) std::memcpy(d + 3 * x, d + 3 * r.x0, 3);
            for (int x = r.x1; x < W; ++x) std::memcpy(d + 3 * x, d + 3 * (r.x1 - 1), 3);
        }
    });
    const std::size_t rowBytes = std::size_t(W) * 3;
    for (int y = 0; y < r.y0; ++y) std::memcpy(buffer.ptr(y), buffer.ptr(r.y0), rowBytes);
    for (int y = r.y1; y < H; ++y) std::memcpy(buffer.ptr(y), buffer.ptr(r.y1 - 1), rowBytes);
    return buffer;
}

// 0.114 blue + 0.587 green + 0.299 red, times 8, in fixed point.
void luminance(const cv::Mat& picture, cv::Mat& out) {
    cv::parallel_for_(cv::Range(0, picture.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const std::uint8_t* s = picture.ptr<std::uint8_t>(y);
            std::int16_t* d = out.ptr<std::int16_t>(y);
            for (int x = 0; x < picture.cols; ++x, s += 3)
                d[x] = std::int16_t((934 * s[0] + 4809 * s[1] + 2449 * s[2] + 512) >> 10);
        }
    });
}

constexpr int kVoteBand = 1024; // rows of a choice map voted on between two waits

} // namespace

namespace {

// A Gaussian pyramid allocated once and refilled for every picture, and one montage-sized buffer
// whose first rows and columns hold the expansion of the next level (left out where the
// expansions go by bands): fresh buffers per picture would cost more in page faults than the
// filters themselves.
struct Workspace {
    std::vector<cv::Mat> gauss;
    cv::Mat expandedBuffer;
    cv::Mat bandBuffer; // the expansions by bands of rows
    Workspace(const std::vector<cv::Size>& sizes, int type, std::size_t fromLevel, bool expandedWhole = true)
        : gauss(sizes.size()) {
        for (std::size_t l = fromLevel; l < sizes.size(); ++l) gauss[l].create(sizes[l], type);
        if (expandedWhole) expandedBuffer.create(sizes[0], type);
    }
    // The expansion of level l + 1 to the size of level l.
    cv::Mat expandOnly(int l, cv::Size size) {
        cv::Mat expanded = expandedBuffer(cv::Rect(cv::Point(0, 0), size));
        cv::pyrUp(gauss[std::size_t(l) + 1], expanded, size);
        return expanded;
    }
    // Gaussian level l + 1 from level l, and its expansion to the size of level l.
    cv::Mat expand(int l) {
        const std::size_t i = std::size_t(l);
        cv::pyrDown(gauss[i], gauss[i + 1], gauss[i + 1].size());
        return expandOnly(l, gauss[i].size());
    }
};

RuntimeError asRuntimeError(const cv::Exception& e) {
    return RuntimeError(e.code == cv::Error::StsNoMem ? 7 : 5);
}
// The strength of level l's Laplacian coefficients (Gaussian level l less the expansion of level
// l + 1, which this makes in `work`): each coefficient's magnitude summed over the 5 x 5 pixels
// around it, in the first rows and columns of `strengthBuffer`.
cv::Mat levelStrength(Workspace& work, int l, cv::Mat& magnitudeBuffer, cv::Mat& strengthBuffer) {
    const cv::Mat& level = work.gauss[std::size_t(l)];
    const cv::Mat expanded = work.expand(l);
    const cv::Rect area(cv::Point(0, 0), level.size());
    cv::Mat magnitude = magnitudeBuffer(area), strength = strengthBuffer(area);
    // |coefficient| is at most 8 * 255, so 25 of them fit 16 unsigned bits.
    cv::absdiff(level, expanded, magnitude);
    const cv::Mat unsignedMagnitude(magnitude.size(), CV_16UC1, magnitude.data, magnitude.step);
    // Isolated: beyond this level's part of the buffer lie a larger level's leftovers.
    cv::boxFilter(unsignedMagnitude, strength, CV_16U, cv::Size(kWindow, kWindow),
                  cv::Point(-1, -1), false, cv::BORDER_DEFAULT | cv::BORDER_ISOLATED);
    return strength;
}

// One run of Pyramid Focus: the montage's levels and the pictures' places, fixed when it is made,
// and the maps each pass leaves for the next. run() makes the passes in order:
//   place        where each picture in use lands and what it covers at every level;
//   choose       the first pass: per level and pixel, the picture whose luminance coefficients are
//                strongest, and where none is clearly stronger than the others (the blend);
//   vote         the choice maps cleaned, and which pictures each level takes anything from;
//   merge        the second pass: each picture's colour coefficients where it was chosen, its share
//                where the average is taken, its top level summed and its range of values gathered
//                (and the deep picture merged beside it);
//   collapse     the top level averaged and the pyramid collapsed down to level 1;
//   write        the result by rows of blocks, level 0 added and each value kept within the range,
//                with the map and the preview in step;
//   keepChoices  the finest level's choice per pixel, for a depth map.
// A buffer only one pass needs is that pass's own; what a later pass reads is a member, given back
// as soon as the last pass that reads it is done, so that the run holds a few montage-sized levels.
struct PyramidFocus {
    PyramidFocus(PixelArrays& mp, const PyramidFocusOptions& o);
    PyramidFocusResult run();

    void place();
    std::uint64_t workingBytes() const;
    PyramidFocusResult nothingToMerge() const;
    void progress();
    void wait() const;
    const DeepPicture& deepOf(const SourcePicture& s, int n) const;

    void choose();
    void keepStrongest(const Placement& p, int l, const cv::Mat& strength, cv::Mat& best, cv::Mat& total);
    void markBlends(const std::vector<cv::Mat>& best, const std::vector<cv::Mat>& total);
    void chooseTopPictures();
    bool decideGains();
    double gainOf(int n) const { return gain[std::size_t(n)]; }
    void vote();

    void prepareMerge();
    void merge();
    void gatherRange(const Placement& p, const cv::Mat& picture);
    void mergeColour(const Placement& p, const cv::Mat& picture, Workspace& work, cv::Mat& reduced);
    void mergeLevel(const Placement& p, int l, const cv::Mat& picture, Workspace& work);
    void addTop(const Placement& p, const cv::Mat& level);
    void finishMerge(PyramidFocusResult& result);

    void collapse();
    void write(PyramidFocusResult& result);
    void writeEightBitView(const DeepPicture& d, int y, int yEnd);
    void writeLimited(const cv::Mat& expanded, int expandedFirst, int y, int yEnd);
    void keepChoices(PyramidFocusResult& result) const;

    // The run's frame.
    PixelArrays& mp;
    const PyramidFocusOptions& o;
    const MontageGeometry& g;
    const int inc;
    const int MW, MH;   // the montage slot's size
    std::vector<std::uint8_t>& slot;
    int W = 0, H = 0;   // the montage's size
    StackSource stackSource;
    SeriesSource& source;
    int N = 0;          // the pictures taken from the source
    int T = 0;          // the levels below the top
    std::size_t levels = 0;
    bool deep = false;  // the source has full-depth pictures
    int sourceWidth = 0;
    // With the 8-bit montage taken from the deep one, the 8-bit colour pass is not made.
    bool eightBitPass = true;
    std::vector<cv::Size> sizes; // levels 0 to T
    cv::Size top;
    int blockRows = 0, blockColumns = 0;

    // Where each picture in use lands, and what it covers at every level (per level below the
    // top, by picture number); `full` when every picture covers every pixel of every level.
    std::vector<Placement> used;
    std::vector<std::vector<CoverArea>> coverByLevel;
    bool full = true;
    int usedCount = 0;
    int steps = 0, done = 0;
    // The pictures whose top level is averaged into the montage's, by picture number, and how
    // many: not one whose overall brightness lies far from the others' (a flash that did not fire,
    // a frame taken with the cap on), which would darken or brighten the whole montage.
    std::vector<char> takesTop;
    int topTakers = 0;
    std::vector<double> brightness; // each picture's mean luminance at the top level, 0 to 255
    // What each picture's values are multiplied by before it is decomposed (by picture number), and
    // the pictures evened so; the buffers their evened copies are made in.
    std::vector<double> gain;
    std::vector<EvenedPicture> evened;
    cv::Mat evenBuffer;
    DeepPicture evenDeepBuffer;

    // Per level below the top: the chosen picture, where the average is taken instead, how many
    // pictures cover each pixel (only where not every picture covers every pixel; only the blend
    // levels' after the first pass); which pictures each level takes anything from, and whether
    // it takes any average.
    std::vector<cv::Mat> choice, blend, count;
    std::vector<std::vector<char>> takes;
    std::vector<char> blends;

    // The second pass's sums: the merged coefficients per level, the top level summed over the
    // pictures that reach it and over all, and how many reach it; the lowest and highest value,
    // per channel, that the covering pictures show at each pixel (widened to their 3 x 3
    // neighbourhood once all are in); the merged top level collapsed down to level 1.
    std::vector<cv::Mat> fused;
    cv::Mat topSum, topCount, allSum;
    cv::Mat lowest, highest;
    std::optional<DeepMerge> deepMerge;
    cv::Mat collapsed;
};

PyramidFocus::PyramidFocus(PixelArrays& mp, const PyramidFocusOptions& o)
    : mp(mp), o(o), g(*o.geometry), inc(o.increment), MW(mp.montage.width()), MH(mp.montage.height()),
      slot(mp.montage.slot(100)), stackSource(mp.stack, o.source ? std::vector<const DeepPicture*>{} : o.deepPictures),
      source(o.source ? *o.source : stackSource) {
    if (MW < 0 || MH < 0 || slot.size() != std::size_t(MW) * std::size_t(MH) * 3)
        throw RuntimeError(9);
    W = std::min(std::max(0, roundToInt32(double(g.W))), MW);
    H = std::min(std::max(0, roundToInt32(double(g.H))), MH);
    N = o.pictureCount > 0 ? std::min<int>(o.pictureCount, source.count()) : source.count();
    T = pyramidLevels(W, H);
    levels = static_cast<std::size_t>(T);
    if (!o.ownAreas.empty() && int(o.ownAreas.size()) < N) throw RuntimeError(5);
    if (N > std::numeric_limits<ChoiceValue>::max()) throw RuntimeError(5);
    if (!o.source && !o.deepPictures.empty()) {
        // Every picture at full depth, the size it has in the stack.
        if (int(o.deepPictures.size()) < N) throw RuntimeError(5);
        for (int n = 1; n <= N; ++n) {
            const DeepPicture* d = o.deepPictures[std::size_t(n - 1)];
            if (!d || d->width != mp.stack.pictureWidth(n) || d->height != mp.stack.pictureHeight(n)) throw RuntimeError(5);
        }
    }
    deep = source.hasDeep();
    sourceWidth = source.width();
    eightBitPass = !(deep && o.eightBitFromDeep);

    sizes.push_back(cv::Size(W, H));
    for (int l = 1; l <= T; ++l)
        sizes.push_back(cv::Size((sizes.back().width + 1) / 2, (sizes.back().height + 1) / 2));
    top = sizes[std::size_t(T)];
    blockRows = blockCount(g.H, inc);
    blockColumns = blockCount(g.W, inc);
}

PyramidFocusResult PyramidFocus::run() {
    place();
    if (used.empty()) return nothingToMerge();
    if (o.checkMemory) o.checkMemory(workingBytes());
    usedCount = int(used.size());
    steps = 2 * usedCount;
    gain.assign(std::size_t(N) + 1, 1.0);
    choose();
    chooseTopPictures();
    if (decideGains()) {
        // The choices are made again from the evened pictures, which need a copy each beside them.
        if (o.checkMemory) {
            const std::uint64_t cells = std::uint64_t(W) * std::uint64_t(H) * 3;
            const std::uint64_t deepBytes = std::uint64_t(source.width()) * std::uint64_t(source.height()) * 3 * 2;
            o.checkMemory(workingBytes() + (eightBitPass ? cells : 0) + (deep ? deepBytes : 0));
        }
        // The bar must not go back: the pass done so far counts double, so that the choices made
        // again and the merge share the half that was left (both take a step per picture).
        done *= 2;
        steps *= 2;
        choose();
    }
    vote();
    wait();
    PyramidFocusResult result;
    prepareMerge();
    merge();
    finishMerge(result);
    collapse();
    write(result);
    if (o.keepChoices) keepChoices(result);
    result.evened = evened;
    return result;
}

void PyramidFocus::progress() {
    ++done;
    if (o.onProgress) o.onProgress(done, steps);
}

void PyramidFocus::wait() const {
    if (o.onWait) o.onWait();
}

// A full-depth picture must have the size its cells were made from.
const DeepPicture& PyramidFocus::deepOf(const SourcePicture& s, int n) const {
    if (!s.deep || s.deep->width != source.pictureWidth(n) || s.deep->height != source.pictureHeight(n))
        throw RuntimeError(5);
    return *s.deep;
}

// Where each picture in use lands, and what it covers at every level.
void PyramidFocus::place() {
    coverByLevel.assign(std::size_t(std::max(T, 1)), std::vector<CoverArea>(std::size_t(N) + 1));
    for (int n = 1; n <= N && W > 0 && H > 0; ++n) {
        if (isIgnored(o.ignored, n)) continue;
        Placement p;
        p.picture = n;
        // The display area's shifts always place the pictures (alignment's minimum area sets them
        // with no offsets); the targets' offsets only while they are used.
        const ImageOffset t = o.useOffsets && o.offsets && std::size_t(n) < o.offsets->size() ? (*o.offsets)[std::size_t(n)]
                                                                                              : ImageOffset{};
        p.ox = t.x - g.shiftX;
        p.oy = g.dY - t.y + g.shiftY;
        const int pw = std::min(source.pictureWidth(n), source.width());
        const int ph = std::min(source.pictureHeight(n), source.height());
        p.rect = CoverRect{std::max(0, -p.ox), std::min(W, pw - p.ox), std::max(0, -p.oy), std::min(H, ph - p.oy)};
        if (p.rect.empty()) continue;
        const OwnArea* own = o.ownAreas.empty() ? nullptr : &o.ownAreas[std::size_t(n - 1)];
        const CoverArea montage = montageCover(p.rect, own, p.ox, p.oy);
        if (montage.empty()) continue;
        for (int l = 0; l <= T; ++l) {
            p.cover.push_back(levelCover(montage, l, sizes[std::size_t(l)], W, H));
            const CoverArea& c = p.cover.back();
            for (std::size_t i = 0; i < c.x0.size(); ++i)
                full = full && c.y0 == 0 && int(c.x0.size()) == sizes[std::size_t(l)].height && c.x0[i] == 0 &&
                       c.x1[i] == sizes[std::size_t(l)].width;
            full = full && !c.x0.empty();
            if (l < T) coverByLevel[std::size_t(l)][std::size_t(n)] = c;
        }
        used.push_back(std::move(p));
    }
}

// The bytes this run holds at its fullest.
std::uint64_t PyramidFocus::workingBytes() const {
    const bool placed = std::any_of(used.begin(), used.end(), [&](const Placement& p) {
        return !inPlace(p, sizes[0]);
    });
    return pyramidFocusWorkingBytes(
        PyramidFocusShape{W, H, deep, eightBitPass, full, placed, o.rangeInMontage, o.keepChoices});
}

// Nothing to merge: the montage stays black and every block names picture 1, as the block loop
// names a block that every picture refused.
PyramidFocusResult PyramidFocus::nothingToMerge() const {
    PyramidFocusResult result;
    for (int r = 0; r < blockRows; ++r) {
        result.map.insert(0, std::string(std::size_t(blockColumns), mapCharacter(1)) + "\r\n");
        if (o.onRow) o.onRow(BlockRowEvent{r * inc, r, blockRows, &result.map, false});
    }
    if (o.keepChoices) {
        result.choices.width = result.choices.columns = W;
        result.choices.height = result.choices.rows = H;
        result.choices.pictures.assign(std::size_t(W) * std::size_t(H), 0);
    }
    return result;
}

// First pass: per level and pixel, the picture whose luminance coefficients are strongest around
// it (their magnitudes summed over a 5 x 5 window), the sum of all covering pictures' strengths
// and, where not every picture covers every pixel, how many cover it.
void PyramidFocus::choose() {
    choice.resize(levels);
    blend.resize(levels);
    count.resize(levels);
    std::vector<cv::Mat> best(levels), total(levels);
    for (int l = 0; l < T; ++l) {
        best[std::size_t(l)] = cv::Mat(sizes[std::size_t(l)], CV_16UC1, cv::Scalar(0));
        if (l < kBlendLevels) total[std::size_t(l)] = cv::Mat(sizes[std::size_t(l)], CV_32SC1, cv::Scalar(0));
        choice[std::size_t(l)] = cv::Mat(sizes[std::size_t(l)], kChoiceType, cv::Scalar(0));
        if (!full) count[std::size_t(l)] = cv::Mat(sizes[std::size_t(l)], kCountType, cv::Scalar(0));
    }
    Workspace work(sizes, CV_16SC1, 0);
    brightness.assign(std::size_t(N) + 1, 0);
    cv::Mat magnitudeBuffer(sizes[0], CV_16SC1), strengthBuffer(sizes[0], CV_16UC1), copy;
    SourcePicture read;
    for (const Placement& p : used) {
        source.read(p.picture, false, read);
        luminance(placedPicture(read.cells, sourceWidth, p, sizes[0], copy), work.gauss[0]);
        if (const double k = gainOf(p.picture); k != 1) pyramid::evenLuminance(work.gauss[0], k);
        for (int l = 0; l < T; ++l) {
            const cv::Mat strength = levelStrength(work, l, magnitudeBuffer, strengthBuffer);
            keepStrongest(p, l, strength, best[std::size_t(l)], total[std::size_t(l)]);
        }
        // Its overall brightness: the mean of its top level where it covers it.
        double sum = 0;
        long long pixels = 0;
        const CoverArea& c = p.cover[std::size_t(T)];
        for (int y = c.y0; y < c.y1(); ++y)
            for (int x = c.x0[std::size_t(y - c.y0)]; x < c.x1[std::size_t(y - c.y0)]; ++x, ++pixels)
                sum += work.gauss[std::size_t(T)].at<std::int16_t>(y, x);
        brightness[std::size_t(p.picture)] = pixels > 0 ? sum / double(pixels) / (1 << kScaleBits) : 0;
        progress();
    }
    // The second pass's first picture can be read while the choices are cleaned.
    source.willRead(used.front().picture, eightBitPass);
    markBlends(best, total);
}

// Picture p's strengths on level l against the strongest so far (`best`, its picture in the choice
// map) and into the sum of all strengths (`total`, on the blend levels) and the count of pictures.
void PyramidFocus::keepStrongest(const Placement& p, int l, const cv::Mat& strength, cv::Mat& best, cv::Mat& total) {
    cv::Mat& c = choice[std::size_t(l)];
    cv::Mat& seen = count[std::size_t(l)];
    const auto n = ChoiceValue(p.picture);
    forRows(p.cover[std::size_t(l)], [&](int y, int x0, int x1) {
        const std::uint16_t* sr = strength.ptr<std::uint16_t>(y);
        std::uint16_t* br = best.ptr<std::uint16_t>(y);
        ChoiceValue* cr = c.ptr<ChoiceValue>(y);
        std::int32_t* tr = total.empty() ? nullptr : total.ptr<std::int32_t>(y);
        for (int x = x0; x < x1; ++x) {
            if (tr) tr[x] += sr[x];
            if (sr[x] > br[x] || cr[x] == 0) { // equal strengths keep the lower picture
                br[x] = sr[x];
                cr[x] = n;
            }
        }
        if (!full) {
            CountValue* nr = seen.ptr<CountValue>(y);
            for (int x = x0; x < x1; ++x) ++nr[x];
        }
    });
}

// Where the strongest picture is not clearly above the mean of the others covering the pixel, the
// average of their coefficients is taken.
void PyramidFocus::markBlends(const std::vector<cv::Mat>& best, const std::vector<cv::Mat>& total) {
    for (int l = 0; l < T; ++l) {
        cv::Mat& m = blend[std::size_t(l)];
        m = cv::Mat(sizes[std::size_t(l)], CV_8UC1, cv::Scalar(0));
        if (l >= kBlendLevels) continue;
        const cv::Mat& b = best[std::size_t(l)];
        const cv::Mat& sum = total[std::size_t(l)];
        const cv::Mat& seen = count[std::size_t(l)];
        cv::parallel_for_(cv::Range(0, m.rows), [&](const cv::Range& band) {
            for (int y = band.start; y < band.end; ++y) {
                const std::uint16_t* br = b.ptr<std::uint16_t>(y);
                const std::int32_t* tr = sum.ptr<std::int32_t>(y);
                const CountValue* nr = full ? nullptr : seen.ptr<CountValue>(y);
                std::uint8_t* mr = m.ptr<std::uint8_t>(y);
                for (int x = 0; x < m.cols; ++x) {
                    const long long k = nr ? nr[x] : usedCount;
                    mr[x] = k >= 2 &&
                                    10LL * br[x] * (k - 1) < kClearFocusTenths * ((long long)tr[x] - br[x])
                                ? 1
                                : 0;
                }
            }
        });
    }
}

// The pictures whose top level makes the montage's: those whose brightness lies within half the
// room the series' median leaves towards black or white (a median of 128: within 64 levels; of 200:
// within 100), every picture when that would leave none. Only the overall brightness is decided
// so: a picture left out still takes part at every finer level.
void PyramidFocus::chooseTopPictures() {
    std::vector<double> values;
    for (const Placement& p : used) values.push_back(brightness[std::size_t(p.picture)]);
    const double median = medianOf(std::move(values));
    const double reach = std::max(median, 255 - median) / 2;
    takesTop.assign(std::size_t(N) + 1, 0);
    topTakers = 0;
    for (const Placement& p : used)
        if (std::fabs(brightness[std::size_t(p.picture)] - median) <= reach) {
            takesTop[std::size_t(p.picture)] = 1;
            ++topTakers;
        }
    if (topTakers == 0) {
        for (const Placement& p : used) takesTop[std::size_t(p.picture)] = 1;
        topTakers = usedCount;
    }
}

// The pictures taking part in the top level whose brightness lies more than a percent or two from
// the series' light, and their gains; whether there are any.
bool PyramidFocus::decideGains() {
    std::vector<int> pictures;
    for (const Placement& p : used)
        if (takesTop[std::size_t(p.picture)]) pictures.push_back(p.picture);
    evened = brightnessGains(pictures, brightness);
    for (const EvenedPicture& e : evened) gain[std::size_t(e.picture)] = e.gain;
    return !evened.empty();
}

// The choice maps cleaned; which pictures each level takes anything from.
void PyramidFocus::vote() {
    takes.assign(levels, std::vector<char>(static_cast<std::size_t>(N) + 1, 0));
    for (int l = 0; l < T; ++l) {
        cv::Mat voted(sizes[std::size_t(l)], kChoiceType);
        const cv::Mat& c = choice[std::size_t(l)];
        const std::vector<CoverArea>* cover = full ? nullptr : &coverByLevel[std::size_t(l)];
        // By bands of rows, answering between them: the finest level of 24 MP takes half a second.
        for (int y0 = 0; y0 < c.rows; y0 += kVoteBand) {
            cv::parallel_for_(cv::Range(y0, std::min(c.rows, y0 + kVoteBand)), [&](const cv::Range& rows) {
                majorityVote3x3(c.ptr<ChoiceValue>(), voted.ptr<ChoiceValue>(), c.cols, c.rows, cover,
                                rows.start, rows.end);
            });
            wait();
        }
        choice[std::size_t(l)] = voted;
        const cv::Mat& m = blend[std::size_t(l)];
        for (int y = 0; y < voted.rows; ++y) {
            const ChoiceValue* v = voted.ptr<ChoiceValue>(y);
            const std::uint8_t* mr = m.ptr<std::uint8_t>(y);
            for (int x = 0; x < voted.cols; ++x)
                if (!mr[x]) takes[std::size_t(l)][v[x]] = 1;
        }
    }
}

// The second pass's sums, empty; the counts only the blend levels read given back.
void PyramidFocus::prepareMerge() {
    blends.assign(levels, 0);
    for (int l = 0; l < T; ++l) {
        blends[std::size_t(l)] = cv::countNonZero(blend[std::size_t(l)]) > 0;
        if (l >= kBlendLevels) count[std::size_t(l)].release();
    }
    fused.resize(levels);
    if (eightBitPass) {
        for (int l = 0; l < T; ++l) fused[std::size_t(l)] = cv::Mat(sizes[std::size_t(l)], CV_16SC3, cv::Scalar::all(0));
        topSum = cv::Mat(top, CV_32SC3, cv::Scalar::all(0));
        if (!full) {
            topCount = cv::Mat(top, CV_32SC1, cv::Scalar(0));
            allSum = cv::Mat(top, CV_32SC3, cv::Scalar::all(0));
        }
        // The montage slot, written only at the end, may hold the lowest values meanwhile: each
        // pixel's is read just before the pixel is written.
        if (o.rangeInMontage && W > 0 && H > 0) {
            lowest = cv::Mat(sizes[0], CV_8UC3, slot.data(), std::size_t(MW) * 3);
            lowest.setTo(cv::Scalar::all(255));
        } else {
            lowest = cv::Mat(sizes[0], CV_8UC3, cv::Scalar::all(255));
        }
        highest = cv::Mat(sizes[0], CV_8UC3, cv::Scalar::all(0));
        wait();
    }
    if (deep) {
        deepMerge.emplace(sizes, T, choice, blend, count, full, usedCount,
                          [this](std::size_t l, int n) { return takes[l][std::size_t(n)] || blends[l]; }, o.onWait,
                          [this](int n) { return takesTop[std::size_t(n)] != 0; }, topTakers);
        wait();
    }
}

// Second pass: every picture's colour coefficients where it was chosen, its share of the average
// where none was clearly stronger; the top level summed.
void PyramidFocus::merge() {
    // Level 1 is reduced straight from the 8-bit picture (the level-0 coefficients are then eight
    // times the picture minus the expansion), which spares a montage-sized copy.
    std::optional<Workspace> workspace;
    cv::Mat copy, reduced;
    if (eightBitPass) {
        workspace.emplace(sizes, CV_16SC3, 1, false);
        reduced.create(sizes[1], CV_8UC3);
    }
    SourcePicture read;
    read.withCells = eightBitPass;
    for (const Placement& p : used) {
        source.read(p.picture, deep, read);
        if (eightBitPass && !read.cells) throw RuntimeError(5);
        const double k = gainOf(p.picture);
        if (deepMerge) {
            const DeepPicture& d = deepOf(read, p.picture);
            deepMerge->add(k != 1 ? pyramid::evenedDeep(d, k, evenDeepBuffer) : d, p);
        }
        if (eightBitPass) {
            cv::Mat picture = placedPicture(read.cells, sourceWidth, p, sizes[0], copy);
            if (k != 1) picture = pyramid::evenedPicture(picture, k, evenBuffer);
            // A picture far darker or brighter than the others would widen every pixel's range
            // towards black or white: where every picture covers every pixel, the others' serve.
            if (!full || takesTop[std::size_t(p.picture)]) gatherRange(p, picture);
            mergeColour(p, picture, *workspace, reduced);
            addTop(p, workspace->gauss[std::size_t(T)]);
        }
        progress();
    }
}

// The lowest and highest values picture p shows where it covers the montage.
void PyramidFocus::gatherRange(const Placement& p, const cv::Mat& picture) {
    forRows(p.cover[0], [&](int y, int x0, int x1) {
        const std::uint8_t* px = picture.ptr<std::uint8_t>(y);
        std::uint8_t* lo = lowest.ptr<std::uint8_t>(y);
        std::uint8_t* hi = highest.ptr<std::uint8_t>(y);
        for (int i = 3 * x0; i < 3 * x1; ++i) {
            lo[i] = std::min(lo[i], px[i]);
            hi[i] = std::max(hi[i], px[i]);
        }
    });
}

// Picture p's colour pyramid, built in `work` from its level 1 up, merged into every level that
// takes anything from it.
void PyramidFocus::mergeColour(const Placement& p, const cv::Mat& picture, Workspace& work, cv::Mat& reduced) {
    cv::pyrDown(picture, reduced, sizes[1]);
    reduced.convertTo(work.gauss[1], CV_16S, 1 << kScaleBits);
    const auto n = ChoiceValue(p.picture);
    for (int l = 0; l < T; ++l) {
        const std::size_t i = std::size_t(l);
        if (l > 0) cv::pyrDown(work.gauss[i], work.gauss[i + 1], sizes[i + 1]);
        if (!takes[i][n] && !blends[i]) continue;
        mergeLevel(p, l, picture, work);
    }
}

// Picture p's coefficients on level l copied where it was chosen, its rounded share added where
// the average is taken.
void PyramidFocus::mergeLevel(const Placement& p, int l, const cv::Mat& picture, Workspace& work) {
    const std::size_t i = std::size_t(l);
    const auto n = ChoiceValue(p.picture);
    const cv::Mat& v = choice[i];
    const cv::Mat& m = blend[i];
    const cv::Mat& seen = count[i];
    cv::Mat& f = fused[i];
    // Where every picture covers every pixel, a picture left out of the top level (far darker or
    // brighter than the others) takes no share of the average either: it has no detail there.
    const bool shares = !full || takesTop[std::size_t(p.picture)];
    const int everyone = full ? topTakers : usedCount;
    // The expansion of the level above comes by bands of rows (row `first` of the whole at row 0
    // of `expanded`).
    cv::Mat expanded;
    int first = 0;
    const auto body = [&](int y, int x0, int x1) {
        const ChoiceValue* vr = v.ptr<ChoiceValue>(y);
        const std::uint8_t* mr = m.ptr<std::uint8_t>(y);
        const CountValue* nr = seen.empty() ? nullptr : seen.ptr<CountValue>(y);
        const std::int16_t* up = expanded.ptr<std::int16_t>(y - first);
        const std::uint8_t* px = l == 0 ? picture.ptr<std::uint8_t>(y) : nullptr;
        const std::int16_t* gl = l == 0 ? nullptr : work.gauss[i].ptr<std::int16_t>(y);
        std::int16_t* fr = f.ptr<std::int16_t>(y);
        for (int x = x0; x < x1; ++x) {
            if (vr[x] != n && !mr[x]) continue;
            if (mr[x] && !shares) continue;
            for (int c = 3 * x; c < 3 * x + 3; ++c) {
                const int coefficient = px ? (px[c] << kScaleBits) - up[c] : gl[c] - up[c];
                if (!mr[x]) {
                    fr[c] = std::int16_t(coefficient);
                } else {
                    // This picture's share of the average, rounded: the sum of the shares never
                    // leaves the coefficients' range.
                    const int k = nr ? int(nr[x]) : everyone;
                    fr[c] = std::int16_t(fr[c] + (coefficient >= 0 ? coefficient + k / 2 : coefficient - k / 2) / k);
                }
            }
        }
    };
    for (int y0 = 0; y0 < sizes[i].height; y0 += kExpansionBand) {
        const int y1 = std::min(sizes[i].height, y0 + kExpansionBand);
        if (y1 <= p.cover[i].y0 || y0 >= p.cover[i].y1()) continue;
        first = expandBand(work.gauss[i + 1], sizes[i], y0, y1, work.bandBuffer, expanded);
        forRowsIn(p.cover[i], y0, y1, body);
    }
}

// Picture p's top level into the sums, when it takes part in the top level: over the pictures that
// reach each pixel, and (where not every picture reaches every pixel) over all.
void PyramidFocus::addTop(const Placement& p, const cv::Mat& level) {
    if (!takesTop[std::size_t(p.picture)]) return;
    const CoverArea& r = p.cover[std::size_t(T)];
    for (int y = 0; y < top.height; ++y) {
        const std::int16_t* gl = level.ptr<std::int16_t>(y);
        std::int32_t* s = topSum.ptr<std::int32_t>(y);
        for (int x = 0; x < top.width; ++x) {
            if (!full) {
                std::int32_t* a = allSum.ptr<std::int32_t>(y);
                for (int c = 3 * x; c < 3 * x + 3; ++c) a[c] += gl[c];
                if (!r.contains(x, y)) continue;
                ++topCount.ptr<std::int32_t>(y)[x];
            }
            for (int c = 3 * x; c < 3 * x + 3; ++c) s[c] += gl[c];
        }
    }
}

// The ranges widened to each pixel's 3 x 3 neighbourhood, the deep montage made, and the maps only
// the merge reads given back.
void PyramidFocus::finishMerge(PyramidFocusResult& result) {
    if (eightBitPass) {
        const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
        cv::erode(lowest, lowest, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        cv::dilate(highest, highest, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
        wait();
    }
    if (deepMerge) {
        result.deep = deepMerge->finish(o.onWait);
        deepMerge.reset();
        wait();
    }
    blend.clear();
    count.clear();
}

// The top level: the average over the pictures that take part in it and reach it (over all of
// those where none does, so the uncovered parts do not darken their surroundings). Then the collapse down to level
// 1; its expansion and level 0 are added while the result is written, the expansion by bands of
// rows (no montage-sized buffer holds it).
void PyramidFocus::collapse() {
    collapsed = cv::Mat(top, CV_16SC3, cv::Scalar::all(0));
    for (int y = 0; y < top.height && usedCount > 0 && eightBitPass; ++y) {
        std::int16_t* out = collapsed.ptr<std::int16_t>(y);
        for (int x = 0; x < top.width; ++x) {
            int k = topTakers;
            const std::int32_t* s = topSum.ptr<std::int32_t>(y);
            if (!full) {
                k = topCount.ptr<std::int32_t>(y)[x];
                if (k == 0) {
                    s = allSum.ptr<std::int32_t>(y);
                    k = topTakers;
                }
            }
            for (int c = 3 * x; c < 3 * x + 3; ++c)
                out[c] = std::int16_t(std::clamp((s[c] + k / 2) / k, -32768, 32767));
        }
    }
    topSum.release();
    allSum.release();
    topCount.release();

    if (eightBitPass) {
        cv::Mat expanded;
        for (int l = T - 1; l >= 1; --l) {
            cv::pyrUp(collapsed, expanded, sizes[std::size_t(l)]);
            cv::add(fused[std::size_t(l)], expanded, collapsed, cv::noArray(), CV_16S);
            fused[std::size_t(l)].release();
            wait();
        }
    } else {
        collapsed.release();
    }
}

// The result by rows of blocks, bottom row first, with the map and the preview in step.
void PyramidFocus::write(PyramidFocusResult& result) {
    cv::Mat expandedBuffer, expanded;
    int expandedFirst = 0, expandedEnd = 0; // the montage rows the band holds
    const cv::Mat& finest = choice[0];
    PreviewRows preview(mp, o.drawPreview);
    for (int r = 0; r < blockRows; ++r) {
        const int y = r * inc;
        const int yEnd = std::min(H, y + inc);
        if (y < yEnd && !eightBitPass) {
            writeEightBitView(*result.deep, y, yEnd);
        } else if (y < yEnd) {
            if (yEnd > expandedEnd) {
                expandedEnd = std::min(H, y + std::max(inc, kExpansionBand));
                expandedFirst = expandBand(collapsed, sizes[0], y, expandedEnd, expandedBuffer, expanded);
            }
            writeLimited(expanded, expandedFirst, y, yEnd);
        }
        const std::string line = blockMapLine(finest.ptr<ChoiceValue>(), W, H, y, inc, blockColumns);
        result.map.insert(0, line + "\r\n");
        const auto [drawnFrom, drawnTo] = preview.draw(y, inc, true);
        if (o.onRow) o.onRow(BlockRowEvent{y, r, blockRows, &result.map, drawnFrom <= drawnTo, drawnFrom, drawnTo});
    }
}

// Montage rows y to yEnd - 1 as the deep montage's 8-bit view (its rows from the top, red first).
void PyramidFocus::writeEightBitView(const DeepPicture& d, int y, int yEnd) {
    cv::parallel_for_(cv::Range(y, yEnd), [&](const cv::Range& band) {
        for (int yy = band.start; yy < band.end; ++yy) {
            const std::uint16_t* from = d.row(H - 1 - yy);
            std::uint8_t* m = slot.data() + std::size_t(yy) * MW * 3;
            for (int x = 0; x < W; ++x)
                for (int c = 0; c < 3; ++c) m[3 * x + c] = eightBitsOf(from[3 * x + 2 - c]);
        }
    });
}

// Montage rows y to yEnd - 1: level 0 plus the expansion of the collapsed level 1 (montage row
// `expandedFirst` at row 0 of `expanded`), each value kept within the range the covering pictures
// show around its pixel.
void PyramidFocus::writeLimited(const cv::Mat& expanded, int expandedFirst, int y, int yEnd) {
    const cv::Mat& finest = choice[0];
    cv::parallel_for_(cv::Range(y, yEnd), [&](const cv::Range& band) {
        for (int yy = band.start; yy < band.end; ++yy) {
            const std::int16_t* f = fused[0].ptr<std::int16_t>(yy);
            const std::int16_t* up = expanded.ptr<std::int16_t>(yy - expandedFirst);
            const ChoiceValue* v = finest.ptr<ChoiceValue>(yy);
            const std::uint8_t* lo = lowest.ptr<std::uint8_t>(yy);
            const std::uint8_t* hi = highest.ptr<std::uint8_t>(yy);
            std::uint8_t* m = slot.data() + std::size_t(yy) * MW * 3;
            for (int x = 0; x < W; ++x) {
                if (v[x] == 0) { // no picture reaches it: black
                    m[3 * x] = m[3 * x + 1] = m[3 * x + 2] = 0;
                    continue;
                }
                for (int c = 3 * x; c < 3 * x + 3; ++c) {
                    const int low = lo[c]; // `lo` may be `m` itself
                    m[c] = std::uint8_t(std::min(std::max((f[c] + up[c] + 4) >> kScaleBits, low), int(hi[c])));
                }
            }
        }
    });
}

// The finest level's choice per pixel, for a depth map.
void PyramidFocus::keepChoices(PyramidFocusResult& result) const {
    const cv::Mat& finest = choice[0];
    PictureChoices& c = result.choices;
    c.width = c.columns = W;
    c.height = c.rows = H;
    c.cell = 1;
    c.pictures.assign(std::size_t(W) * std::size_t(H), 0);
    for (int y = 0; y < H; ++y)
        std::memcpy(c.pictures.data() + std::size_t(y) * W, finest.ptr<ChoiceValue>(y), std::size_t(W) * sizeof(ChoiceValue));
}

} // namespace

PyramidFocusResult runPyramidFocus(PixelArrays& mp, const PyramidFocusOptions& options) {
    if (!options.geometry || options.increment <= 0) throw RuntimeError(5);
    try {
        return PyramidFocus(mp, options).run();
    } catch (const RuntimeError&) {
        throw;
    } catch (const cv::Exception& e) {
        throw asRuntimeError(e);
    } catch (...) {
        throw currentError();
    }
}

} // namespace orv
