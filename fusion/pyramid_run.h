// One run of Pyramid Focus, shared by the sources of its passes: the run's frame and the maps each
// pass leaves for the next, the buffers a picture is decomposed in, and where a picture lies on
// the levels. Only the fusion sources include it.
#pragma once

#include "fusion/deep_merge.h"
#include "fusion/pyramid_focus.h"
#include "fusion/pyramid_placement.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <optional>
#include <vector>

namespace orv::pyramid {

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
constexpr int kVoteBand = 1024; // rows of a choice map voted on between two waits

// The montage pixels of `rect` that the picture covers with pixels of its own (all of them without
// `own`); montage column x is the picture's frame column x + ox, row y its stack row y + oy.
CoverArea montageCover(const CoverRect& rect, const OwnArea* own, int ox, int oy);
// The pixels of a level (of `size`, the montage W x H) whose centre on the montage lies in `m`.
CoverArea levelCover(const CoverArea& m, int level, cv::Size size, int W, int H);
// Whether picture p lies where the montage does, covering all of it.
bool inPlace(const Placement& p, cv::Size size);
// Picture p in montage coordinates, its nearest edge repeated where it does not reach.
cv::Mat placedPicture(const std::uint8_t* source, int sourceWidth, const Placement& p, cv::Size size, cv::Mat& buffer);
// The luminance of an 8-bit blue, green, red picture, times 8.
void luminance(const cv::Mat& picture, cv::Mat& out);

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
    bool leaveOutBlankPictures();
    bool keepStrongest(const Placement& p, int l, const cv::Mat& strength, cv::Mat& best, cv::Mat& total);
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
    // The pictures without any detail where they cover the montage beyond sensor noise (a frame
    // taken with the cap on, or burnt out white), by picture number: no focus step, so they take no
    // part while some picture has detail.
    std::vector<char> flat;
    // Each picture's broad detail: the standard deviation of its luminance, sensor noise averaged
    // away (levels of 255), by picture number.
    std::vector<double> broadDetail;
    // The pictures left out of the run for having no detail (by number, in series order).
    std::vector<int> leftOut;
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

} // namespace orv::pyramid
