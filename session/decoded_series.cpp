// The decoded series and the stack it fills.
#include "session/decoded_series.h"

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

bool DecodedSeries::fill(PixelArrays& arrays, int W, int H, const SizeCheck& check) {
    if (!needsFill()) return false;
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
