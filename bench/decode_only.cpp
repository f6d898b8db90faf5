// orvanta-decode-only: the floor a montage cannot go below. Loads a numbered series through the
// same loader and into the same image stack as orvanta-cli, and does nothing else.
#include "engine/pixel_arrays.h"
#include "input/picture_file.h"
#include "input/series_loader.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <memory>

using namespace orv;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvanta-decode-only FIRST_FILE\n");
        return 2;
    }
    const std::string completed = completeSeriesName(argv[1], QDir::currentPath().toStdString() + "/");
    const auto series = parseSeriesName(completed);
    if (!series) return 1;
    std::vector<std::unique_ptr<MemorySurface>> pictures;
    loadSeriesSurfaces(*series, pictures);
    if (pictures.empty()) return 1;
    MemorySurface montage(pictures[0]->pictureWidth(), pictures[0]->pictureHeight());
    ArraySurfaces surfaces;
    surfaces.montage = &montage;
    for (auto& p : pictures) surfaces.pictures.push_back(p.get());
    PixelArrays mp;
    mp.loadImageArrays(ArrayFill::Full, surfaces, SizeCheck{});
    std::printf("%d pictures of %dx%d in the stack\n", int(mp.stack.count), mp.stack.pictureWidth(1),
                mp.stack.pictureHeight(1));
    return 0;
}
