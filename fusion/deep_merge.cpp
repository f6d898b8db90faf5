// The deep merge of Pyramid Focus: the same passes as the 8-bit colour pass, on 32-bit floats in
// 16-bit units, so that nothing is rounded before the result is.
#include "fusion/deep_merge.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orv {

using pyramid::ChoiceValue;
using pyramid::CountValue;
using pyramid::Placement;
using pyramid::forRows;

namespace {

// Picture p at full depth in montage coordinates (rows from the bottom, as the stack's), red,
// green, blue as 32-bit floats in 16-bit units; outside what it covers its nearest edge repeats,
// as placedPicture does for the 8-bit picture.
void placedDeep(const DeepPicture& d, const Placement& p, cv::Size size, cv::Mat& out) {
    const CoverRect& r = p.rect;
    out.create(size, CV_32FC3);
    const int W = size.width, H = size.height;
    cv::parallel_for_(cv::Range(r.y0, r.y1), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const std::uint16_t* from = d.row(d.height - 1 - (y + p.oy));
            float* to = out.ptr<float>(y);
            for (int x = r.x0; x < r.x1; ++x) {
                const std::uint16_t* s = from + std::size_t(x + p.ox) * std::size_t(d.channels);
                for (int c = 0; c < 3; ++c) to[3 * x + c] = float(s[d.channels == 1 ? 0 : c]);
            }
            for (int x = 0; x < r.x0; ++x) std::memcpy(to + 3 * x, to + 3 * r.x0, 3 * sizeof(float));
            for (int x = r.x1; x < W; ++x) std::memcpy(to + 3 * x, to + 3 * (r.x1 - 1), 3 * sizeof(float));
        }
    });
    for (int y = 0; y < r.y0; ++y) out.row(r.y0).copyTo(out.row(y));
    for (int y = r.y1; y < H; ++y) out.row(r.y1 - 1).copyTo(out.row(y));
}

} // namespace

DeepMerge::DeepMerge(const std::vector<cv::Size>& sizes, int T, const std::vector<cv::Mat>& choice,
                     const std::vector<cv::Mat>& blend, const std::vector<cv::Mat>& count, bool full, int usedCount,
                     Uses uses, const std::function<void()>& wait, std::function<bool(int n)> takesTop,
                     int topTakers)
    : sizes_(sizes), levels_(std::size_t(T)), choice_(choice), blend_(blend), count_(count), full_(full),
      usedCount_(usedCount), uses_(std::move(uses)), takesTop_(std::move(takesTop)),
      topTakers_(takesTop_ ? topTakers : usedCount), fused_(levels_), gauss_(levels_ + 1) {
    auto made = [&] {
        if (wait) wait();
    };
    for (std::size_t l = 0; l < levels_; ++l) fused_[l] = cv::Mat(sizes[l], CV_32FC3, cv::Scalar::all(0));
    made();
    const cv::Size top = sizes[levels_];
    topSum_ = cv::Mat(top, CV_32FC3, cv::Scalar::all(0));
    allSum_ = cv::Mat(top, CV_32FC3, cv::Scalar::all(0));
    topCount_ = cv::Mat(top, CV_32SC1, cv::Scalar(0));
    lowest_ = cv::Mat(sizes[0], CV_32FC3, cv::Scalar::all(65535));
    made();
    highest_ = cv::Mat(sizes[0], CV_32FC3, cv::Scalar::all(0));
    made();
    // Allocated once and refilled for every picture; touched here, so that the first picture's
    // merge does not wait for the system to map them.
    for (std::size_t l = 0; l <= levels_; ++l) gauss_[l] = cv::Mat(sizes[l], CV_32FC3, cv::Scalar::all(0));
    made();
    expandedBuffer_ = cv::Mat(sizes[0], CV_32FC3, cv::Scalar::all(0));
    made();
}

void DeepMerge::add(const DeepPicture& d, const Placement& p) {
    auto& gauss = gauss_;
    placedDeep(d, p, sizes_[0], gauss[0]);
    // A picture left out of the top level takes no part in the range nor in the average either,
    // where every picture covers every pixel (as the 8-bit merge).
    const bool outlier = takesTop_ && !takesTop_(p.picture);
    const bool shares = !full_ || !outlier;
    const int everyone = full_ ? topTakers_ : usedCount_;
    if (shares) forRows(p.cover[0], [&](int y, int x0, int x1) {
        const float* g = gauss[0].ptr<float>(y);
        float* lo = lowest_.ptr<float>(y);
        float* hi = highest_.ptr<float>(y);
        for (int i = 3 * x0; i < 3 * x1; ++i) {
            lo[i] = std::min(lo[i], g[i]);
            hi[i] = std::max(hi[i], g[i]);
        }
    });
    const auto n = ChoiceValue(p.picture);
    for (std::size_t l = 0; l < levels_; ++l) {
        cv::pyrDown(gauss[l], gauss[l + 1], sizes_[l + 1]);
        // A level that takes nothing from this picture needs no expansion.
        if (uses_ && !uses_(l, p.picture)) continue;
        cv::Mat expanded = expandedBuffer_(cv::Rect(cv::Point(0, 0), sizes_[l]));
        cv::pyrUp(gauss[l + 1], expanded, sizes_[l]);
        const cv::Mat& v = choice_[l];
        const cv::Mat& m = blend_[l];
        const cv::Mat& seen = count_[l];
        cv::Mat& f = fused_[l];
        const cv::Mat& up = expanded;
        forRows(p.cover[l], [&](int y, int x0, int x1) {
            const ChoiceValue* vr = v.ptr<ChoiceValue>(y);
            const std::uint8_t* mr = m.ptr<std::uint8_t>(y);
            const CountValue* nr = seen.empty() ? nullptr : seen.ptr<CountValue>(y);
            const float* g = gauss[l].ptr<float>(y);
            const float* upr = up.ptr<float>(y);
            float* fr = f.ptr<float>(y);
            for (int x = x0; x < x1; ++x) {
                if (vr[x] != n && !mr[x]) continue;
                if (mr[x] && !shares) continue;
                const float k = float(mr[x] ? (nr ? int(nr[x]) : everyone) : 1);
                for (int c = 3 * x; c < 3 * x + 3; ++c) {
                    const float coefficient = g[c] - upr[c];
                    fr[c] = mr[x] ? fr[c] + coefficient / k : coefficient;
                }
            }
        });
    }
    // The top level only from the pictures that take part in it.
    if (outlier) return;
    const cv::Size top = sizes_[levels_];
    const CoverArea& r = p.cover[levels_];
    for (int y = 0; y < top.height; ++y) {
        const float* g = gauss[levels_].ptr<float>(y);
        float* s = topSum_.ptr<float>(y);
        float* a = allSum_.ptr<float>(y);
        for (int x = 0; x < top.width; ++x) {
            for (int c = 3 * x; c < 3 * x + 3; ++c) a[c] += g[c];
            if (!full_ && !r.contains(x, y)) continue;
            ++topCount_.ptr<std::int32_t>(y)[x];
            for (int c = 3 * x; c < 3 * x + 3; ++c) s[c] += g[c];
        }
    }
}

std::shared_ptr<DeepPicture> DeepMerge::finish(const std::function<void()>& wait) {
    auto stage = [&] {
        if (wait) wait();
    };
    gauss_.clear();
    expandedBuffer_.release();
    const cv::Size top = sizes_[levels_];
    const int W = sizes_[0].width, H = sizes_[0].height;
    // The top level: the average over the pictures that reach it (over all where none does).
    cv::Mat collapsed(top, CV_32FC3);
    for (int y = 0; y < top.height; ++y)
        for (int x = 0; x < top.width; ++x) {
            const int reached = topCount_.ptr<std::int32_t>(y)[x];
            const float* s = reached ? topSum_.ptr<float>(y) : allSum_.ptr<float>(y);
            const float k = float(reached ? reached : topTakers_);
            for (int c = 3 * x; c < 3 * x + 3; ++c) collapsed.ptr<float>(y)[c] = s[c] / k;
        }
    for (std::size_t i = levels_; i-- > 0;) {
        cv::pyrUp(collapsed, expanded_, sizes_[i]);
        cv::add(fused_[i], expanded_, collapsed);
        fused_[i].release();
        stage();
    }
    expanded_.release();
    const cv::Mat square = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::erode(lowest_, lowest_, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    stage();
    cv::dilate(highest_, highest_, square, cv::Point(-1, -1), 1, cv::BORDER_REPLICATE);
    stage();
    auto out = std::make_shared<DeepPicture>(W, H, 3, 16);
    const cv::Mat& finest = choice_[0];
    cv::parallel_for_(cv::Range(0, H), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const float* v = collapsed.ptr<float>(y);
            const float* lo = lowest_.ptr<float>(y);
            const float* hi = highest_.ptr<float>(y);
            const ChoiceValue* chosen = finest.ptr<ChoiceValue>(y);
            std::uint16_t* to = out->row(H - 1 - y);
            for (int x = 0; x < W; ++x) {
                if (chosen[x] == 0) continue; // no picture reaches it: black
                for (int c = 3 * x; c < 3 * x + 3; ++c)
                    to[c] = std::uint16_t(std::lround(std::clamp(std::min(std::max(v[c], lo[c]), hi[c]), 0.0f, 65535.0f)));
            }
        }
    });
    return out;
}

} // namespace orv
