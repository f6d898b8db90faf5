// orvanta-block-edges: how visible a block grid is in a picture. The mean absolute step between
// neighbouring pixels across the grid's lines, divided by the mean step everywhere else; 1.00 means
// no visible grid. The grid is the block loop's: lines every PERIOD pixels from the left edge and
// from the bottom row. Pick a period that is not a multiple of 8, so a JPEG's own 8-pixel blocks
// do not count. Prints the figure.
#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: orvanta-block-edges PICTURE [PERIOD]   (period 25 by default)\n");
        return 2;
    }
    const int period = argc == 3 ? std::atoi(argv[2]) : 25;
    const QImage image = QImage(argv[1]).convertToFormat(QImage::Format_RGB888);
    if (image.isNull() || period < 2) {
        std::fprintf(stderr, "orvanta-block-edges: cannot read %s\n", argv[1]);
        return 1;
    }
    const int w = image.width(), h = image.height();
    double edge = 0, other = 0;
    long long edges = 0, others = 0;
    auto step = [](const uchar* a, const uchar* b) {
        return (std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2])) / 3.0;
    };
    for (int r = 0; r < h; ++r) {
        const uchar* row = image.constScanLine(r);
        const int fromBottom = h - 1 - r;
        for (int x = 0; x < w; ++x) {
            // Across a vertical line: between columns x - 1 and x.
            if (x > 0) {
                const double s = step(row + 3 * (x - 1), row + 3 * x);
                if (x % period == 0) edge += s, ++edges;
                else other += s, ++others;
            }
            // Across a horizontal line: between this row and the one below it.
            if (fromBottom > 0) {
                const double s = step(image.constScanLine(r + 1) + 3 * x, row + 3 * x);
                if (fromBottom % period == 0) edge += s, ++edges;
                else other += s, ++others;
            }
        }
    }
    if (!edges || !others || other == 0) {
        std::fprintf(stderr, "orvanta-block-edges: the picture is too small or flat for a %d-pixel grid\n", period);
        return 1;
    }
    std::printf("%.3f\n", (edge / double(edges)) / (other / double(others)));
    return 0;
}
