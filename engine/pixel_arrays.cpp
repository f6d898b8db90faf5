// Filling the pixel arrays from picture surfaces and drawing them back.
#include "engine/pixel_arrays.h"

#include "base/numbers.h"

namespace orv {

void PixelBuffer::allocate(int W, int H) {
    lastColumn = toInt16(W - 1);
    lastRow = toInt16(H - 1);
    bytes.assign(std::size_t(W) * std::size_t(H) * 3, 0);
}

std::string sameSizeWarning(int n, int width, int height, int width1, int height1) {
    return "Image " + std::to_string(n) + " has a different dimension (" + std::to_string(width) +
           "," + std::to_string(height) + ") from Image 1 (" + std::to_string(width1) + "," +
           std::to_string(height1) + ").   All images must be the same size.";
}

void checkSameSize(const std::vector<std::array<int, 2>>& sizes, const SizeCheck& check) {
    if (check.comparisonRun || sizes.empty()) return;
    // Every picture is compared, those past the tenth too: they cannot be ignored, and one of
    // another size would otherwise go into the montage out of line without a word.
    for (int n = 2; n <= int(sizes.size()); ++n) {
        const std::array<int, 2>& size = sizes[std::size_t(n - 1)];
        if (size != sizes[0] && !isIgnored(check.ignored, n))
            record(check.messages, PromptIcon::Critical, sameSizeWarning(n, size[0], size[1], sizes[0][0], sizes[0][1]),
                   kSameSizeTitle);
    }
}

void checkSameSize(const ArraySurfaces& s, const SizeCheck& check) {
    std::vector<std::array<int, 2>> sizes;
    for (const auto& picture : s.pictures) sizes.push_back({picture->pictureWidth(), picture->pictureHeight()});
    checkSameSize(sizes, check);
}

namespace {

void readSlot(const PictureSurface* surface, std::vector<std::uint8_t>& slot, int W, int H) {
    slot.assign(std::size_t(W) * std::size_t(H) * 3, 0);
    if (surface) surface->readPixels(slot.data(), W, H);
}

} // namespace

void PixelArrays::loadImageArrays(ArrayFill fill, const ArraySurfaces& s, const SizeCheck& check) {
    if (fill == ArrayFill::Full) {
        const int w = s.montage ? s.montage->pictureWidth() : 0;
        const int h = s.montage ? s.montage->pictureHeight() : 0;
        const int W = roundUp4(w), H = roundUp4(h);
        montage.lastColumn = toInt16(W - 1);
        montage.lastRow = toInt16(H - 1);
        montage.lastSlot = 104;
        for (auto& slot : montage.slotPixels) slot.clear();
        readSlot(s.montage, montage.slot(100), W, H);
        // Slots 101 to 104 stay unallocated until a comparison refresh fills them; the colour
        // readers answer 0 for them meanwhile, as for cleared cells.

        checkSameSize(s, check);

        const int N = int(s.pictures.size());
        const int pw = N ? s.pictures[0]->pictureWidth() : 0;
        const int ph = N ? s.pictures[0]->pictureHeight() : 0;
        const int SW = roundUp4(pw), SH = roundUp4(ph);
        stack.lastColumn = toInt16(SW - 1);
        stack.lastRow = toInt16(SH - 1);
        stack.count = toInt16(N);
        stack.pictures.clear();
        stack.pictures.resize(std::size_t(N));
        stack.sizes.resize(std::size_t(N));
        for (int n = 1; n <= N; ++n) {
            PictureSurface* p = s.pictures[std::size_t(n - 1)];
            stack.sizes[std::size_t(n - 1)] = {p->pictureWidth(), p->pictureHeight()};
            auto& cells = stack.pictures[std::size_t(n - 1)];
            if (!p->takePixels(cells, SW, SH)) readSlot(p, cells, SW, SH);
        }
    } else if (fill == ArrayFill::Comparisons) {
        for (int k = 0; k < 5; ++k)
            readSlot(s.comparison[std::size_t(k)], montage.slot(100 + k), montage.width(),
                     montage.height());
    } else if (fill == ArrayFill::Montage) {
        readSlot(s.montage, montage.slot(100), montage.width(), montage.height());
    }
}

void PixelArrays::loadPreviewArray(const PictureSurface& p) {
    preview.allocate(roundUp4(p.pictureWidth()), roundUp4(p.pictureHeight()));
    p.readPixels(preview.bytes.data(), preview.width(), preview.height());
}

void PixelArrays::showPreviewArray(PictureSurface& p) const {
    if (!preview.bytes.empty()) p.writePixels(preview.bytes.data(), preview.width(), preview.height());
}

void PixelArrays::showMontageArray(PictureSurface& m, int slotNumber) const {
    const auto& slot = montage.slot(slotNumber);
    if (!slot.empty()) m.writePixels(slot.data(), montage.width(), montage.height());
}

} // namespace orv
