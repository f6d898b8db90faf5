// Enhanced correlation: the coefficient, and its maximisation over affine maps.
#include "align/enhanced_correlation.h"

#include <opencv2/imgproc.hpp>

#include <array>
#include <cmath>
#include <vector>

namespace orv::align {

namespace {

// The sums are taken over bands of rows on the cores and added in band order, so a result does
// not depend on how many threads ran.
constexpr int kBandRows = 32;

template <class Sums, class Band>
Sums sumOverBands(int rows, Band band) {
    const int bands = (rows + kBandRows - 1) / kBandRows;
    std::vector<Sums> parts(std::size_t(std::max(bands, 0)));
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& r) {
        for (int b = r.start; b < r.end; ++b)
            band(parts[std::size_t(b)], b * kBandRows, std::min(rows, (b + 1) * kBandRows));
    });
    Sums total;
    for (const Sums& p : parts) total += p;
    return total;
}

// Sums of two pictures over a mask (every pixel when it is empty).
struct Means {
    double a = 0, b = 0;
    long long count = 0;
    Means& operator+=(const Means& o) {
        a += o.a;
        b += o.b;
        count += o.count;
        return *this;
    }
};

// `add(sums, a, b)` for each pixel of `a` and `b` (32-bit floats) where `mask` is not 0 (every pixel
// when it is empty), summed over bands.
template <class Sums, class Add>
Sums sumOverMask(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask, Add add) {
    return sumOverBands<Sums>(a.rows, [&](Sums& s, int y0, int y1) {
        for (int y = y0; y < y1; ++y) {
            const float* ar = a.ptr<float>(y);
            const float* br = b.ptr<float>(y);
            const std::uint8_t* mr = mask.empty() ? nullptr : mask.ptr<std::uint8_t>(y);
            for (int x = 0; x < a.cols; ++x)
                if (!mr || mr[x]) add(s, ar[x], br[x]);
        }
    });
}

Means meansOver(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    Means m = sumOverMask<Means>(a, b, mask, [](Means& s, float av, float bv) {
        s.a += av;
        s.b += bv;
        ++s.count;
    });
    if (m.count > 0) {
        m.a /= double(m.count);
        m.b /= double(m.count);
    }
    return m;
}

// What one Gauss-Newton step needs: the Hessian of the six parameters (J^T J), the projections of
// the input's and the template's zero-mean values onto the Jacobian, their correlation and the
// input's and template's energies over the shared pixels.
struct StepSums {
    std::array<double, 36> hessian{};
    std::array<double, 6> input{}, templ{};
    double correlation = 0, inputEnergy = 0, templEnergy = 0;
    StepSums& operator+=(const StepSums& o) {
        for (std::size_t i = 0; i < hessian.size(); ++i) hessian[i] += o.hessian[i];
        for (std::size_t i = 0; i < 6; ++i) {
            input[i] += o.input[i];
            templ[i] += o.templ[i];
        }
        correlation += o.correlation;
        inputEnergy += o.inputEnergy;
        templEnergy += o.templEnergy;
        return *this;
    }
};

} // namespace

double correlationCoefficient(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    CV_Assert(a.type() == CV_32FC1 && b.type() == CV_32FC1 && a.size() == b.size());
    CV_Assert(mask.empty() || (mask.type() == CV_8UC1 && mask.size() == a.size()));
    const Means mean = meansOver(a, b, mask);
    if (mean.count == 0) return std::nan("");
    struct Products {
        double ab = 0, aa = 0, bb = 0;
        Products& operator+=(const Products& o) {
            ab += o.ab;
            aa += o.aa;
            bb += o.bb;
            return *this;
        }
    };
    const Products p = sumOverMask<Products>(a, b, mask, [&](Products& s, float av, float bv) {
        const double u = av - mean.a, v = bv - mean.b;
        s.ab += u * v;
        s.aa += u * u;
        s.bb += v * v;
    });
    return p.ab / std::sqrt(p.aa * p.bb);
}

std::optional<double> maximiseCorrelation(const cv::Mat& templ, const cv::Mat& input, cv::Mat& warp,
                                          const CorrelationSearch& search) {
    CV_Assert(templ.type() == CV_8UC1 && input.type() == CV_8UC1);
    CV_Assert(warp.type() == CV_32FC1 && warp.rows == 2 && warp.cols == 3);
    if (templ.empty() || input.empty()) return std::nullopt;
    const cv::Size filter(search.filterSize, search.filterSize);
    cv::Mat t, in;
    templ.convertTo(t, CV_32F);
    input.convertTo(in, CV_32F);
    cv::GaussianBlur(t, t, filter, 0, 0);
    cv::GaussianBlur(in, in, filter, 0, 0);
    // The input's slopes, taken before it is resampled: central differences.
    cv::Mat gx, gy;
    cv::filter2D(in, gx, -1, cv::Matx13f(-0.5f, 0.0f, 0.5f));
    cv::filter2D(in, gy, -1, cv::Matx31f(-0.5f, 0.0f, 0.5f));
    const cv::Mat covered(in.size(), CV_8UC1, cv::Scalar(1));

    cv::Mat image, slopeX, slopeY, mask;
    double rho = -1, lastRho = -search.epsilon;
    for (int i = 1; i <= search.iterations && std::fabs(rho - lastRho) >= search.epsilon; ++i) {
        const int linear = cv::INTER_LINEAR | cv::WARP_INVERSE_MAP;
        cv::warpAffine(in, image, warp, t.size(), linear);
        cv::warpAffine(gx, slopeX, warp, t.size(), linear);
        cv::warpAffine(gy, slopeY, warp, t.size(), linear);
        cv::warpAffine(covered, mask, warp, t.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP);

        const Means mean = meansOver(image, t, mask);
        if (mean.count == 0) return std::nullopt;
        // Zero-mean over the shared pixels; outside them the template counts as 0 and the input as
        // resampled (its edge blends into the black beyond it).
        const StepSums s = sumOverBands<StepSums>(t.rows, [&](StepSums& sum, int y0, int y1) {
            for (int y = y0; y < y1; ++y) {
                const float* ir = image.ptr<float>(y);
                const float* tr = t.ptr<float>(y);
                const float* xr = slopeX.ptr<float>(y);
                const float* yr = slopeY.ptr<float>(y);
                const std::uint8_t* mr = mask.ptr<std::uint8_t>(y);
                for (int x = 0; x < t.cols; ++x) {
                    double iv = ir[x], tv = 0;
                    if (mr[x]) {
                        iv -= mean.a;
                        tv = tr[x] - mean.b;
                        sum.inputEnergy += iv * iv;
                        sum.templEnergy += tv * tv;
                    }
                    sum.correlation += tv * iv;
                    const double sx = xr[x], sy = yr[x];
                    // The Jacobian of the resampled value against (a11, a21, a12, a22, b1, b2).
                    const double j[6] = {sx * x, sy * x, sx * y, sy * y, sx, sy};
                    for (int a = 0; a < 6; ++a) {
                        sum.input[std::size_t(a)] += j[a] * iv;
                        sum.templ[std::size_t(a)] += j[a] * tv;
                        for (int b = 0; b <= a; ++b) sum.hessian[std::size_t(a * 6 + b)] += j[a] * j[b];
                    }
                }
            }
        });
        lastRho = rho;
        rho = s.correlation / std::sqrt(s.inputEnergy * s.templEnergy);
        if (!std::isfinite(rho)) return std::nullopt;

        cv::Matx66d hessian;
        for (int a = 0; a < 6; ++a)
            for (int b = 0; b <= a; ++b) hessian(a, b) = hessian(b, a) = s.hessian[std::size_t(a * 6 + b)];
        bool invertible = false;
        const cv::Matx66d inverse = hessian.inv(cv::DECOMP_LU, &invertible);
        if (!invertible) return std::nullopt;
        const cv::Vec6d input6(s.input.data()), templ6(s.templ.data());
        const cv::Vec6d q = inverse * input6;
        // The contrast between the pictures that the step allows for; a step with a non-positive
        // denominator would lower the correlation.
        const double numerator = s.inputEnergy - input6.dot(q);
        const double denominator = s.correlation - templ6.dot(q);
        if (!(denominator > 0)) return std::nullopt;
        const cv::Vec6d step = inverse * (templ6 * (numerator / denominator) - input6);
        float* w = warp.ptr<float>(0);
        float* w1 = warp.ptr<float>(1);
        w[0] += float(step[0]);
        w1[0] += float(step[1]);
        w[1] += float(step[2]);
        w1[1] += float(step[3]);
        w[2] += float(step[4]);
        w1[2] += float(step[5]);
    }
    return rho;
}

} // namespace orv::align
