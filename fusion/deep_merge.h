// The full-depth side of Pyramid Focus: the second pass made on the 16-bit pictures, in floating
// point, with the choices, blends and counts the 8-bit first pass made.
#pragma once

#include "base/deep_picture.h"
#include "fusion/pyramid_placement.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace orv {

// The deep pictures merged one at a time beside the 8-bit ones, then collapsed and each value kept
// within the range the covering pictures show around its pixel, as the 8-bit result is. The
// sizes, choices, blends and counts are held by reference and must outlive it.
class DeepMerge {
public:
    // Whether level l takes anything from picture n.
    using Uses = std::function<bool(std::size_t l, int n)>;

    // `sizes` are the T levels below the top and the top; `choice` the cleaned choice maps,
    // `blend` where the average is taken, `count` how many pictures cover each pixel (empty where
    // every picture covers every pixel, `full`); `usedCount` the pictures in use. Without `uses`
    // every level takes from every picture. `wait`, when given, is called after each of its
    // montage-sized buffers is made (a few hundred milliseconds each at 12 MP).
    // `takesTop` says which pictures' top levels are averaged into the montage's, `topTakers` how
    // many (without it, every picture's).
    DeepMerge(const std::vector<cv::Size>& sizes, int T, const std::vector<cv::Mat>& choice,
              const std::vector<cv::Mat>& blend, const std::vector<cv::Mat>& count, bool full, int usedCount,
              Uses uses = {}, const std::function<void()>& wait = {}, std::function<bool(int n)> takesTop = {},
              int topTakers = 0);

    // Picture p.picture at full depth, the size it has in the stack: its coefficients where it
    // was chosen, its share where the average is taken, its top level and range.
    void add(const DeepPicture& d, const pyramid::Placement& p);

    // The montage at 16 bits, rows from the top; black where no picture reaches. The buffers of
    // the merge are given back as it goes. `wait`, when given, is called after each stage.
    std::shared_ptr<DeepPicture> finish(const std::function<void()>& wait = {});

private:
    const std::vector<cv::Size>& sizes_;
    std::size_t levels_;
    const std::vector<cv::Mat>& choice_;
    const std::vector<cv::Mat>& blend_;
    const std::vector<cv::Mat>& count_;
    bool full_;
    int usedCount_;
    Uses uses_;
    std::function<bool(int n)> takesTop_;
    int topTakers_;
    std::vector<cv::Mat> fused_, gauss_;
    cv::Mat topSum_, allSum_, topCount_, lowest_, highest_, expanded_, expandedBuffer_;
};

} // namespace orv
