// The output set: every writer's atomic file collected by one group.
#include "output/output_set.h"

namespace orv {

void OutputSet::addPicture(const std::string& path, const BgrView& view,
                           const PictureWriteOptions& options) {
    group_.collect([&] { writePicture(path, view, options); });
}

void OutputSet::addText(const std::string& path, const std::string& text) {
    group_.collect([&] {
        AtomicFile f(path);
        f.write(text.data(), text.size());
        f.commit();
    });
}

} // namespace orv
