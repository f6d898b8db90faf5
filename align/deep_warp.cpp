// Deep pictures warped onto the reference frame. The 8-bit warp works on the stack's cells, rows
// from the bottom; a deep picture holds its rows from the top. The stack holds at most
// stackWidth x stackHeight cells of a picture, its bottom rows: the deep warp reads the same part
// of the picture, so that the edges it repeats are the same.
#include "align/deep_warp.h"

#include "base/runtime_error.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <new>

namespace orv {

namespace {

cv::Mat matOf(DeepPicture& p, int firstRow, int rows, int cols) {
    return cv::Mat(rows, cols, CV_16UC(p.channels), p.row(firstRow),
                   std::size_t(p.width) * std::size_t(p.channels) * sizeof(std::uint16_t));
}

// The rows firstRow.. and columns 0.. of `p` that form a w x h picture.
DeepPicture cropped(DeepPicture& p, int firstRow, int w, int h) {
    DeepPicture out(w, h, p.channels, p.bitsPerSample);
    matOf(p, firstRow, h, w).copyTo(matOf(out, 0, h, w));
    return out;
}

} // namespace

void applyDeepColour(DeepPicture& p, const std::array<double, 3>& gain, const std::array<double, 3>& offset) {
    if (gain == std::array<double, 3>{1, 1, 1} && offset == std::array<double, 3>{0, 0, 0}) return;
    // The fit is blue, green, red; a deep picture's channels are red, green, blue (or grey).
    const int channels = p.channels;
    std::array<double, 3> g{}, o{};
    for (int c = 0; c < channels && c < 3; ++c) {
        const std::size_t fit = channels == 1 ? 1 : std::size_t(2 - c);
        g[std::size_t(c)] = gain[fit];
        o[std::size_t(c)] = offset[fit] * 257.0;
    }
    const std::size_t n = p.samples.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t c = i % std::size_t(channels);
        const double v = std::round(g[c] * p.samples[i] + o[c]);
        p.samples[i] = std::uint16_t(std::clamp(v, 0.0, 65535.0));
    }
}

bool alignDeepPicture(DeepPicture& picture, const AlignmentReport& report, int n, int stackWidth, int stackHeight) {
    if (n < 1 || n > int(report.pictures.size())) return false;
    const PictureAlignment& a = report.pictures[std::size_t(n - 1)];
    if (!a.aligned || report.reference == 0) return true; // ignored: as loaded
    if (picture.width != a.width || picture.height != a.height || picture.empty()) return false;
    if (!a.reference && !a.converged) return true; // used as loaded
    const int fw = report.frameWidth, fh = report.frameHeight;
    const int pw = picture.width, ph = picture.height;
    if (fw <= 0 || fh <= 0) return false;
    try {
        if (a.reference) {
            // The reference keeps the part of it the frame covers: its bottom rows, as the stack
            // holds them.
            if (pw != fw || ph != fh) {
                if (fw > pw || fh > ph) return false;
                picture = cropped(picture, ph - fh, fw, fh);
            }
            return true;
        }
        // A picture that stays where it was and already fills the frame is not resampled.
        if (!(a.fromReference.isIdentity() && pw == fw && ph == fh)) {
            const int sw = std::min(pw, stackWidth), sh = std::min(ph, stackHeight);
            if (sw <= 0 || sh <= 0) return false;
            // The warp runs on rows from the bottom, as the 8-bit one does: the interpolation then
            // samples the very same places (the image library rounds them to 1/32 pixel, which in
            // rows from the top falls differently and moves a sharp edge's values by several
            // levels). The picture is turned upside down in place for it, and back should the
            // warp fail; the stack's part of it is then its first sh rows.
            const align::Affine toPicture = align::flipRows(a.fromReference, fh, ph);
            const auto& m = toPicture.m;
            DeepPicture warped(fw, fh, picture.channels, picture.bitsPerSample);
            cv::Mat whole = matOf(picture, 0, ph, pw);
            cv::flip(whole, whole, 0);
            try {
                cv::Mat dst = matOf(warped, 0, fh, fw);
                cv::warpAffine(matOf(picture, 0, sh, sw), dst, cv::Matx23d(m[0], m[1], m[2], m[3], m[4], m[5]),
                               dst.size(), cv::INTER_CUBIC | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
                cv::flip(dst, dst, 0);
            } catch (...) {
                cv::flip(whole, whole, 0);
                throw;
            }
            picture = std::move(warped);
        }
        applyDeepColour(picture, a.gain, a.offset);
    } catch (const std::bad_alloc&) {
        throw RuntimeError(7);
    } catch (const cv::Exception& e) {
        if (e.code == cv::Error::StsNoMem) throw RuntimeError(7);
        throw RuntimeError(5);
    }
    return true;
}

} // namespace orv
