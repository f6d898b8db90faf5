// The alignment of a series: the maps are measured picture by picture outward from the reference,
// each picture against its neighbour and chained after the neighbour's map (so a long series of
// small breathing steps adds up to a large change without the estimate losing its way), both sides
// of the reference at once; then every picture is warped once, with cubic interpolation, into the
// reference frame.
#include "align/align_series.h"

#include "align/colour_match.h"
#include "align/common_area.h"
#include "align/ecc_estimate.h"
#include "align/picture_estimate.h"
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
using align::Estimate;
using align::kCoarsestSide;

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

// Cells of `cells` (a W x H stack picture) outside the frame set to black.
void clearOutsideFrame(std::vector<std::uint8_t>& cells, int W, int H, int fw, int fh) {
    for (int y = 0; y < H; ++y) {
        std::uint8_t* row = cells.data() + std::size_t(y) * W * 3;
        if (y >= fh) std::memset(row, 0, std::size_t(W) * 3);
        else if (fw < W) std::memset(row + std::size_t(fw) * 3, 0, std::size_t(W - fw) * 3);
    }
}

// A picture that matches its neighbour worse than this (one minus the mismatch at the working
// scale) is a weak link of the chain: neighbouring focus steps match to 0.99 and more, a picture
// far out of focus between sharp ones to 0.95 and less. Its place rests on little, so the next
// picture is measured both against it and against the last picture that matched well, and the
// better supported of the two maps is kept.
constexpr double kWeakSupport = 0.98;

// The maps of the pictures on one side of the reference, outward, each chained after its
// neighbour's. `onPicture` follows each picture.
void estimateSide(SeriesSource& source, int ref, int dir, const IgnoreTicks& ignored, int side,
                  const align::GreyPyramid& refPyramid, std::vector<Estimate>& maps,
                  const std::function<void(int)>& onPicture) {
    const align::EccSettings settings;
    // The neighbour, and the last picture that matched well (the anchor): they differ only after a
    // weak match, and then hold one more grey copy, small beside what a measurement needs.
    align::GreyPyramid neighbour, anchor;
    int neighbourPicture = ref, anchorPicture = ref;
    SourcePicture read;
    const auto against = [&](const align::GreyPyramid& templ, int templPicture, const align::GreyPyramid& pic, int k) {
        return estimate(refPyramid, templPicture == ref ? refPyramid : templ, templPicture, ref,
                        maps[std::size_t(templPicture - 1)].refToPicture, pic, settings, source.pictureWidth(k),
                        source.pictureHeight(k));
    };
    for (int k = ref + dir; k >= 1 && k <= source.count(); k += dir) {
        if (isIgnored(ignored, k)) continue;
        align::GreyPyramid pic = align::makePyramid(pictureMat(source, k, read), side, kCoarsestSide);
        Estimate e = against(neighbour, neighbourPicture, pic, k);
        if (anchorPicture != neighbourPicture) {
            const Estimate past = against(anchor, anchorPicture, pic, k);
            if (past.converged && (!e.converged || past.support > e.support)) {
                e = past;
                e.pastWeak = neighbourPicture;
            }
        }
        maps[std::size_t(k - 1)] = e;
        if (e.converged) { // a picture that could not be matched is no one's neighbour
            if (e.support >= kWeakSupport) {
                anchor = pic; // shares the copies with the neighbour
                anchorPicture = k;
            }
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
        entry.pastWeak = e.converged ? e.pastWeak : 0;
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
