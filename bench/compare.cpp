// orvanta-compare: PSNR and a simple SSIM (8 x 8 windows on luma) of a picture against a
// reference of the same size. Prints "psnr ssim".
#include <QCoreApplication>
#include <QImage>

#include <cmath>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: orvanta-compare PICTURE REFERENCE\n");
        return 2;
    }
    const QImage a = QImage(argv[1]).convertToFormat(QImage::Format_RGB888);
    const QImage b = QImage(argv[2]).convertToFormat(QImage::Format_RGB888);
    if (a.isNull() || b.isNull()) {
        std::fprintf(stderr, "orvanta-compare: cannot read both pictures\n");
        return 1;
    }
    const int w = std::min(a.width(), b.width()), h = std::min(a.height(), b.height());
    double se = 0;
    std::vector<double> la(std::size_t(w) * h), lb(std::size_t(w) * h);
    for (int y = 0; y < h; ++y) {
        const uchar* pa = a.constScanLine(y);
        const uchar* pb = b.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                const double d = double(pa[3 * x + c]) - pb[3 * x + c];
                se += d * d;
            }
            la[std::size_t(y) * w + x] = 0.299 * pa[3 * x] + 0.587 * pa[3 * x + 1] + 0.114 * pa[3 * x + 2];
            lb[std::size_t(y) * w + x] = 0.299 * pb[3 * x] + 0.587 * pb[3 * x + 1] + 0.114 * pb[3 * x + 2];
        }
    }
    const double mse = se / (double(w) * h * 3);
    const double psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
    const double c1 = 6.5025, c2 = 58.5225;
    double ssim = 0;
    int windows = 0;
    for (int y = 0; y + 8 <= h; y += 8)
        for (int x = 0; x + 8 <= w; x += 8) {
            double ma = 0, mb = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    ma += la[std::size_t(y + j) * w + x + i];
                    mb += lb[std::size_t(y + j) * w + x + i];
                }
            ma /= 64;
            mb /= 64;
            double va = 0, vb = 0, cov = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    const double da = la[std::size_t(y + j) * w + x + i] - ma;
                    const double db = lb[std::size_t(y + j) * w + x + i] - mb;
                    va += da * da;
                    vb += db * db;
                    cov += da * db;
                }
            va /= 63;
            vb /= 63;
            cov /= 63;
            ssim += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++windows;
        }
    std::printf("%.2f %.4f\n", psnr, windows ? ssim / windows : 0.0);
    return 0;
}
