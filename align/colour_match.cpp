// Gain and offset per channel by least squares on copies smoothed over the shared area.
#include "align/colour_match.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace orv::align {

namespace {

constexpr int kClipLow = 4, kClipHigh = 251;
constexpr double kMinPixels = 200;
constexpr double kMinGain = 0.5, kMaxGain = 2.0, kMaxOffset = 64;
// The copies' long side, and the smoothing's width against it.
constexpr int kSide = 160;
constexpr double kSmoothing = 1.0 / 16;

// `bgr` smoothed with a Gaussian over the pixels of `mask` only (a normalised convolution), as
// floats; pixels outside the mask are meaningless.
cv::Mat smoothWithin(const cv::Mat& bgr, const cv::Mat& maskFloat, const cv::Mat& maskSmooth, double sigma) {
    cv::Mat f, weighted;
    bgr.convertTo(f, CV_32FC3);
    cv::Mat mask3;
    cv::merge(std::vector<cv::Mat>{maskFloat, maskFloat, maskFloat}, mask3);
    cv::multiply(f, mask3, weighted);
    cv::GaussianBlur(weighted, weighted, cv::Size(), sigma, sigma, cv::BORDER_CONSTANT);
    cv::Mat norm3;
    cv::merge(std::vector<cv::Mat>{maskSmooth, maskSmooth, maskSmooth}, norm3);
    cv::divide(weighted, norm3, weighted);
    return weighted;
}

} // namespace

ColourReference makeColourReference(const cv::Mat& ref) {
    ColourReference c;
    const int longSide = std::max(ref.cols, ref.rows);
    if (longSide <= 0) return c;
    const double s = std::min(1.0, double(kSide) / longSide);
    const cv::Size size(std::max(1, int(std::lround(ref.cols * s))), std::max(1, int(std::lround(ref.rows * s))));
    c.sx = double(size.width) / ref.cols;
    c.sy = double(size.height) / ref.rows;
    if (size == ref.size()) ref.copyTo(c.small);
    else cv::resize(ref, c.small, size, 0, 0, cv::INTER_AREA);
    return c;
}

ChannelFit fitColour(const ColourReference& reference, const cv::Mat& warped, const Coverage& own) {
    ChannelFit fit;
    if (reference.small.empty() || warped.empty()) return fit;
    cv::Mat pic;
    if (warped.size() == reference.small.size()) pic = warped;
    else cv::resize(warped, pic, reference.small.size(), 0, 0, cv::INTER_AREA);
    // The picture's own pixels, one pixel in from the edge (a shrunk pixel there mixes in the
    // repeated edge), where neither picture is clipped to black or white in any channel.
    auto clipped = [](const cv::Vec3b& v) {
        return std::any_of(&v[0], &v[0] + 3, [](std::uint8_t c) { return c < kClipLow || c > kClipHigh; });
    };
    cv::Mat mask(pic.size(), CV_32F);
    for (int y = 0; y < mask.rows; ++y)
        for (int x = 0; x < mask.cols; ++x) {
            bool inside = !clipped(pic.at<cv::Vec3b>(y, x)) && !clipped(reference.small.at<cv::Vec3b>(y, x));
            for (const double d : {-1.0, 1.0})
                inside = inside && own.covers((x + 0.5 + d) / reference.sx - 0.5, (y + 0.5) / reference.sy - 0.5) &&
                         own.covers((x + 0.5) / reference.sx - 0.5, (y + 0.5 + d) / reference.sy - 0.5);
            mask.at<float>(y, x) = inside ? 1.0f : 0.0f;
        }
    const double sigma = std::max(2.0, kSmoothing * std::max(pic.cols, pic.rows));
    cv::Mat maskSmooth;
    cv::GaussianBlur(mask, maskSmooth, cv::Size(), sigma, sigma, cv::BORDER_CONSTANT);
    cv::max(maskSmooth, 1e-6, maskSmooth);
    const cv::Mat p = smoothWithin(pic, mask, maskSmooth, sigma);
    const cv::Mat r = smoothWithin(reference.small, mask, maskSmooth, sigma);
    for (int ch = 0; ch < 3; ++ch) {
        double n = 0, sp = 0, sr = 0, spp = 0, spr = 0;
        for (int y = 0; y < p.rows; ++y) {
            const float* m = mask.ptr<float>(y);
            const cv::Vec3f* pp = p.ptr<cv::Vec3f>(y);
            const cv::Vec3f* rr = r.ptr<cv::Vec3f>(y);
            for (int x = 0; x < p.cols; ++x) {
                if (m[x] == 0) continue;
                const double a = pp[x][ch], b = rr[x][ch];
                n += 1;
                sp += a;
                sr += b;
                spp += a * a;
                spr += a * b;
            }
        }
        if (n < kMinPixels) continue;
        const double mp = sp / n, mr = sr / n;
        const double var = spp / n - mp * mp, cov = spr / n - mp * mr;
        double gain, offset;
        if (var >= 16.0) { // a spread of at least 4 grey levels fixes a slope
            gain = cov / var;
            offset = mr - gain * mp;
        } else {           // a flat picture: only the brightness ratio is known
            gain = mp > 1 ? mr / mp : 1.0;
            offset = 0;
        }
        if (!std::isfinite(gain) || gain < kMinGain || gain > kMaxGain || std::fabs(offset) > kMaxOffset) {
            fit.refused = true;
            continue;
        }
        fit.gain[std::size_t(ch)] = gain;
        fit.offset[std::size_t(ch)] = offset;
    }
    // A picture whose colours cannot be matched in one channel is left as it is in all three:
    // matching the others alone would give it a colour cast neither picture has (a grey picture
    // among colour ones, a picture lit by another lamp).
    if (fit.refused) {
        fit.gain = {1, 1, 1};
        fit.offset = {0, 0, 0};
    }
    return fit;
}

void applyColour(cv::Mat& bgr, const ChannelFit& fit) {
    if (fit.identity()) return;
    cv::Mat lut(1, 256, CV_8UC3);
    for (int v = 0; v < 256; ++v)
        for (int ch = 0; ch < 3; ++ch)
            lut.at<cv::Vec3b>(0, v)[ch] = cv::saturate_cast<std::uint8_t>(
                std::lround(fit.gain[std::size_t(ch)] * v + fit.offset[std::size_t(ch)]));
    cv::LUT(bgr, lut, bgr);
}

} // namespace orv::align
