// Full-depth pictures read one at a time beside the stack.
#include "session/deep_stack_source.h"

#include "align/deep_warp.h"
#include "input/deep_reader.h"
#include "input/picture_file.h"

namespace orv {

void DeepStackSource::read(int n, bool deep, SourcePicture& into) {
    StackSource::read(n, false, into);
    if (!deep) return;
    DeepPicture& d = into.ownDeep;
    const int w = stack_.pictureWidth(n), h = stack_.pictureHeight(n);
    const std::string file = series_.fileName(n);
    // Still the file the stack's picture was read from: looked at before and after the reading.
    const auto unchanged = [&] {
        if (n < 1 || std::size_t(n) > asRead_.size() || asRead_[std::size_t(n - 1)].name != file) return true;
        return stillStampedFile(file, asRead_[std::size_t(n - 1)]);
    };
    bool ok = unchanged() && readDeepPicture(file, d, nullptr, orientation_) == DecodeStatus::Ok && unchanged();
    // Placed as the stack's cells: aligned onto the frame, the stack sized by the first picture.
    if (ok && alignment_) ok = alignDeepPicture(d, *alignment_, n, stack_.width(), stack_.height());
    if (!ok || d.width != w || d.height != h) {
        failed_ = true;
        d = DeepPicture(w, h, 3);
    }
    into.deep = &d;
}

} // namespace orv
