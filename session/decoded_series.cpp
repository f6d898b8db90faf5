// The decoded series and the stack it fills.
#include "session/decoded_series.h"

#include "input/memory_budget.h"

#include <algorithm>
#include <cstdint>

namespace orv {

std::vector<std::unique_ptr<MemorySurface>>& DecodedSeries::startReading() {
    pictures_.clear();
    name_.clear();
    stackHolds_ = false;
    aligned_ = false;
    return pictures_;
}

void DecodedSeries::finishReading(const std::string& name) {
    name_ = name;
    if (name.empty()) {
        pictures_.clear();
        stackHolds_ = false;
        aligned_ = false;
    }
}

ArraySurfaces DecodedSeries::surfaces(PictureSurface& montage) const {
    ArraySurfaces s;
    s.montage = &montage;
    for (const auto& p : pictures_) s.pictures.push_back(p.get());
    return s;
}

void DecodedSeries::requireFillMemory(int W, int H) const {
    auto cells = [](int w, int h) { return std::uint64_t(roundUp4(w)) * std::uint64_t(roundUp4(h)) * 3; };
    std::uint64_t bytes = cells(std::max(W, 0), std::max(H, 0));
    if (!pictures_.empty()) {
        const int w1 = pictures_[0]->pictureWidth(), h1 = pictures_[0]->pictureHeight();
        for (const auto& p : pictures_)
            if (roundUp4(p->pictureWidth()) != roundUp4(w1) || roundUp4(p->pictureHeight()) != roundUp4(h1))
                bytes += cells(w1, h1);
    }
    requireMemory(bytes);
}

bool DecodedSeries::fill(PixelArrays& arrays, int W, int H, const SizeCheck& check) {
    if (!needsFill()) return false;
    requireFillMemory(W, H);
    BlankSurface blank(W, H);
    arrays.loadImageArrays(ArrayFill::Full, surfaces(blank), check);
    filled();
    return true;
}

int DecodedSeries::firstWidth(const PixelArrays& arrays) const {
    return pictures_.empty() ? arrays.stack.pictureWidth(1) : pictures_[0]->pictureWidth();
}

int DecodedSeries::firstHeight(const PixelArrays& arrays) const {
    return pictures_.empty() ? arrays.stack.pictureHeight(1) : pictures_[0]->pictureHeight();
}

} // namespace orv
