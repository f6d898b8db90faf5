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
#include "fusion/pyramid_run.h"

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

RuntimeError asRuntimeError(const cv::Exception& e) {
    return RuntimeError(e.code == cv::Error::StsNoMem ? 7 : 5);
}

} // namespace

namespace pyramid {

namespace {

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

// Below this luminance (levels of 255) a pixel is black: a frame or border around the picture, or
// a shadow clipped in this shot. It tells nothing about the picture's exposure.
constexpr int kBlackLuminance = 4;
// A cell whose share of black pixels differs between two pictures by more than this is left out of
// their brightness measurement: one of them is framed or cut off there. Shadows black in every
// picture (a share that focus changes by little) leave it in.
constexpr double kBlackShareSpread = 0.02;

// The level-0 luminance `lum` of a picture summed by cell of the top level (`shift` halvings: a
// cell is 2^shift pixels a side) over the pixels the picture covers: their sum and count (kept as
// `sums`, 8 bytes a cell for each picture of the series), and the share of them that is black.
void cellLight(const cv::Mat& lum, const CoverArea& cover, int shift, cv::Size top, cv::Mat& sums, cv::Mat& blackShare) {
    sums = cv::Mat(top, CV_32FC2, cv::Scalar(0, 0));
    blackShare = cv::Mat(top, CV_64FC1, cv::Scalar(0));
    const int black = kBlackLuminance << kScaleBits;
    const int rowFrom = std::max(0, cover.y0), rowTo = std::min(cover.y1(), lum.rows);
    // A row of cells at a time, each in one piece of work.
    cv::parallel_for_(cv::Range(0, top.height), [&](const cv::Range& cellRows) {
        for (int cy = cellRows.start; cy < cellRows.end; ++cy) {
            std::vector<cv::Vec3d> cells(std::size_t(top.width), cv::Vec3d(0, 0, 0));
            const int y0 = std::max(rowFrom, cy << shift);
            const int y1 = std::min(rowTo, cy == top.height - 1 ? rowTo : (cy + 1) << shift);
            for (int y = y0; y < y1; ++y) {
                const std::size_t i = std::size_t(y - cover.y0);
                const std::int16_t* row = lum.ptr<std::int16_t>(y);
                const int x0 = std::max(0, cover.x0[i]), x1 = std::min(cover.x1[i], lum.cols);
                for (int x = x0; x < x1;) {
                    const int c = std::min(top.width - 1, x >> shift);
                    const int end = c == top.width - 1 ? x1 : std::min(x1, (c + 1) << shift);
                    const int from = x;
                    std::int64_t sum = 0;
                    int blacks = 0;
                    for (; x < end; ++x) {
                        sum += row[x];
                        blacks += row[x] < black;
                    }
                    cells[std::size_t(c)] += cv::Vec3d(double(sum), double(end - from), double(blacks));
                }
            }
            for (int c = 0; c < top.width; ++c) {
                const cv::Vec3d& v = cells[std::size_t(c)];
                sums.at<cv::Vec2f>(cy, c) = cv::Vec2f(float(v[0]), float(v[1]));
                blackShare.at<double>(cy, c) = v[1] > 0 ? v[2] / v[1] : -1; // -1: not covered
            }
        }
    });
}

// The standard deviation (levels of 255) of the luminance of the picture whose Gaussian levels
// `work` holds, where it covers the montage, on the first level of at most 160 pixels a side: that
// level averages sensor noise away, so a dark frame's noise, which has detail at every pixel, is
// told from a subject.
constexpr int kBroadSide = 160;
double broadDeviation(const Workspace& work, const Placement& p, const std::vector<cv::Size>& sizes) {
    std::size_t l = 0;
    while (l + 1 < p.cover.size() && std::max(sizes[l].width, sizes[l].height) > kBroadSide) ++l;
    const cv::Mat& level = work.gauss[l];
    const CoverArea& c = p.cover[l];
    double sum = 0, squares = 0, pixels = 0;
    for (int y = c.y0; y < c.y1(); ++y) {
        const std::int16_t* row = level.ptr<std::int16_t>(y);
        for (int x = c.x0[std::size_t(y - c.y0)]; x < c.x1[std::size_t(y - c.y0)]; ++x) {
            const double v = row[x];
            sum += v;
            squares += v * v;
            pixels += 1;
        }
    }
    if (pixels < 1) return 0;
    const double mean = sum / pixels;
    return std::sqrt(std::max(0.0, squares / pixels - mean * mean)) / (1 << kScaleBits);
}

// A picture is blank (a frame taken with the cap on, burnt out white) beside the others when its
// broad deviation is below this, and below a quarter of the most detailed picture's; a subject
// varies far more, and pictures of one scene differ little in it, since focus changes fine detail.
constexpr double kBlankDeviation = 2.0;
constexpr double kBlankAgainstDetail = 4.0;

} // namespace

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
    if (leaveOutBlankPictures()) {
        // The choices are made again without them: the pass done stays done, and the pictures
        // left take a step each in the choices made again and in the merge.
        steps = done + 2 * usedCount;
        choose();
    }
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
    result.leftOut = leftOut;
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
    // The part of the top level every picture covers, where not every picture covers all of it: a
    // picture's brightness is measured there, so that a picture covering less of the scene (a
    // smaller one, one placed elsewhere) is not judged brighter or darker for the part of the
    // scene it shows, and evened by a gain its exposure never had.
    cv::Mat shared;
    if (!full) {
        shared = cv::Mat(top, CV_8UC1, cv::Scalar(1));
        for (const Placement& p : used) {
            const CoverArea& c = p.cover[std::size_t(T)];
            for (int y = 0; y < top.height; ++y)
                for (int x = 0; x < top.width; ++x)
                    if (!c.contains(x, y)) shared.at<std::uint8_t>(y, x) = 0;
        }
        if (cv::countNonZero(shared) == 0) shared.release();
    }
    flat.assign(std::size_t(N) + 1, 0);
    broadDetail.assign(std::size_t(N) + 1, 0);
    cv::Mat magnitudeBuffer(sizes[0], CV_16SC1), strengthBuffer(sizes[0], CV_16UC1), copy;
    // Each picture's light by top-level cell, and the least and most of a cell any picture has
    // black: a picture with a black border (or a black corner) would otherwise be judged darker by
    // the border's share and evened up by a gain its exposure never had.
    std::vector<cv::Mat> cellSums(std::size_t(N) + 1);
    cv::Mat leastBlack(top, CV_64FC1, cv::Scalar(1)), mostBlack(top, CV_64FC1, cv::Scalar(0)), blackShare;
    SourcePicture read;
    for (const Placement& p : used) {
        source.read(p.picture, false, read);
        luminance(placedPicture(read.cells, sourceWidth, p, sizes[0], copy), work.gauss[0]);
        if (const double k = gainOf(p.picture); k != 1) pyramid::evenLuminance(work.gauss[0], k);
        cellLight(work.gauss[0], p.cover[0], T, top, cellSums[std::size_t(p.picture)], blackShare);
        for (int y = 0; y < top.height; ++y)
            for (int x = 0; x < top.width; ++x) {
                const double share = blackShare.at<double>(y, x);
                if (share < 0) continue;
                leastBlack.at<double>(y, x) = std::min(leastBlack.at<double>(y, x), share);
                mostBlack.at<double>(y, x) = std::max(mostBlack.at<double>(y, x), share);
            }
        bool detail = false;
        for (int l = 0; l < T; ++l) {
            const cv::Mat strength = levelStrength(work, l, magnitudeBuffer, strengthBuffer);
            detail = keepStrongest(p, l, strength, best[std::size_t(l)], total[std::size_t(l)]) || detail;
        }
        flat[std::size_t(p.picture)] = !detail;
        broadDetail[std::size_t(p.picture)] = broadDeviation(work, p, sizes);
        // Its overall brightness: the mean of its top level where every picture covers it (where
        // it covers it when they share no part).
        double sum = 0;
        long long pixels = 0;
        const CoverArea& c = p.cover[std::size_t(T)];
        for (int y = c.y0; y < c.y1(); ++y)
            for (int x = c.x0[std::size_t(y - c.y0)]; x < c.x1[std::size_t(y - c.y0)]; ++x)
                if (shared.empty() || shared.at<std::uint8_t>(y, x)) {
                    sum += work.gauss[std::size_t(T)].at<std::int16_t>(y, x);
                    ++pixels;
                }
        brightness[std::size_t(p.picture)] = pixels > 0 ? sum / double(pixels) / (1 << kScaleBits) : 0;
        progress();
    }
    // Where the pictures differ in how much of a cell is black, every picture's light is measured
    // over the other cells (that every picture covers), on its own pixels; where that leaves a
    // picture nothing, or no cell differs so, as above.
    cv::Mat blackDiffers = mostBlack - leastBlack > kBlackShareSpread;
    if (cv::countNonZero(blackDiffers) > 0) {
        std::vector<double> light(std::size_t(N) + 1, 0);
        bool measured = true;
        for (const Placement& p : used) {
            const CoverArea& c = p.cover[std::size_t(T)];
            const cv::Mat& sums = cellSums[std::size_t(p.picture)];
            double sum = 0, pixels = 0;
            for (int y = c.y0; y < c.y1(); ++y)
                for (int x = c.x0[std::size_t(y - c.y0)]; x < c.x1[std::size_t(y - c.y0)]; ++x)
                    if ((shared.empty() || shared.at<std::uint8_t>(y, x)) && !blackDiffers.at<std::uint8_t>(y, x)) {
                        sum += sums.at<cv::Vec2f>(y, x)[0];
                        pixels += sums.at<cv::Vec2f>(y, x)[1];
                    }
            measured = measured && pixels > 0;
            light[std::size_t(p.picture)] = pixels > 0 ? sum / pixels / (1 << kScaleBits) : 0;
        }
        if (measured) brightness = std::move(light);
    }
    // The second pass's first picture can be read while the choices are cleaned.
    source.willRead(used.front().picture, eightBitPass);
    markBlends(best, total);
}

// Picture p's strengths on level l against the strongest so far (`best`, its picture in the choice
// map) and into the sum of all strengths (`total`, on the blend levels) and the count of pictures;
// whether it has any strength there.
bool PyramidFocus::keepStrongest(const Placement& p, int l, const cv::Mat& strength, cv::Mat& best, cv::Mat& total) {
    std::uint16_t any = 0;
    cv::Mat& c = choice[std::size_t(l)];
    cv::Mat& seen = count[std::size_t(l)];
    const auto n = ChoiceValue(p.picture);
    forRows(p.cover[std::size_t(l)], [&](int y, int x0, int x1) {
        const std::uint16_t* sr = strength.ptr<std::uint16_t>(y);
        std::uint16_t* br = best.ptr<std::uint16_t>(y);
        ChoiceValue* cr = c.ptr<ChoiceValue>(y);
        std::int32_t* tr = total.empty() ? nullptr : total.ptr<std::int32_t>(y);
        for (int x = x0; x < x1; ++x) {
            any |= sr[x];
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
    return any != 0;
}

// A picture without any detail but sensor noise (the cap left on, a frame burnt out white) has
// nothing to give a series in which some picture has detail: its noise would win on flat ground,
// where the pictures with detail are smooth, and be written into the montage. It is left out of the run, as
// an ignored picture is; whether any was.
bool PyramidFocus::leaveOutBlankPictures() {
    double most = 0;
    for (const Placement& p : used) most = std::max(most, broadDetail[std::size_t(p.picture)]);
    const auto broadlyBlank = [&](const Placement& p) {
        const double d = broadDetail[std::size_t(p.picture)];
        return d < kBlankDeviation && kBlankAgainstDetail * d < most;
    };
    // A broadly blank picture counts as blank only far darker or brighter than the pictures with
    // broad detail (beyond the reach the top level allows): one of the scene's brightness may be a
    // subject of fine texture alone.
    std::vector<double> values;
    for (const Placement& p : used)
        if (!broadlyBlank(p)) values.push_back(brightness[std::size_t(p.picture)]);
    const double median = medianOf(values);
    const double reach = std::max(median, 255 - median) / 2;
    // A frame without any strength at all (not even noise) wins nowhere: it stays in the run and
    // only takes no part in the top level.
    const auto blank = [&](const Placement& p) {
        return !flat[std::size_t(p.picture)] && broadlyBlank(p) &&
               std::fabs(brightness[std::size_t(p.picture)] - median) > reach;
    };
    if (std::none_of(used.begin(), used.end(), blank) || std::all_of(used.begin(), used.end(), blank)) return false;
    for (const Placement& p : used)
        if (blank(p)) {
            for (auto& level : coverByLevel) level[std::size_t(p.picture)] = CoverArea{};
            leftOut.push_back(p.picture);
        }
    std::sort(leftOut.begin(), leftOut.end());
    used.erase(std::remove_if(used.begin(), used.end(), blank), used.end());
    usedCount = int(used.size());
    return true;
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
// so: a picture left out still takes part at every finer level. A picture without any detail is
// left out while some picture has detail, and its brightness does not count in the median: in a
// series of two, one taken with the cap on would otherwise set the median halfway to black, keep
// its top level (darkening the montage by half) and have the other picture evened down to it.
void PyramidFocus::chooseTopPictures() {
    const bool anyDetail = std::any_of(used.begin(), used.end(), [&](const Placement& p) {
        return !flat[std::size_t(p.picture)];
    });
    const auto counts = [&](const Placement& p) { return !anyDetail || !flat[std::size_t(p.picture)]; };
    std::vector<double> values;
    for (const Placement& p : used)
        if (counts(p)) values.push_back(brightness[std::size_t(p.picture)]);
    const double median = medianOf(std::move(values));
    const double reach = std::max(median, 255 - median) / 2;
    takesTop.assign(std::size_t(N) + 1, 0);
    topTakers = 0;
    for (const Placement& p : used)
        if (counts(p) && std::fabs(brightness[std::size_t(p.picture)] - median) <= reach) {
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

} // namespace pyramid

PyramidFocusResult runPyramidFocus(PixelArrays& mp, const PyramidFocusOptions& options) {
    if (!options.geometry || options.increment <= 0) throw RuntimeError(5);
    try {
        return pyramid::PyramidFocus(mp, options).run();
    } catch (const RuntimeError&) {
        throw;
    } catch (const cv::Exception& e) {
        throw asRuntimeError(e);
    } catch (...) {
        throw currentError();
    }
}

} // namespace orv
