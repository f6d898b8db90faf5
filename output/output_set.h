// All the files one run writes (the picture, the map, the report, a project), written to
// temporary files and renamed into place only when every one of them was written: a failure on
// the way leaves every earlier file as it was. Devices, FIFOs and standard output are written
// through after the regular files are in place.
#pragma once

#include "base/atomic_file.h"
#include "output/picture_writer.h"

#include <functional>
#include <string>

namespace orv {

class OutputSet {
public:
    // Writes the picture now, into a temporary file held until commit(); raises what
    // writePicture raises (the set then holds what was added before).
    void addPicture(const std::string& path, const BgrView& view, const PictureWriteOptions& options = {});

    // The same for a text file, written byte for byte.
    void addText(const std::string& path, const std::string& text);

    // Files that `write` writes through the atomic writers (a depth map, a project), held the
    // same way.
    void addWritten(const std::function<void()>& write) { group_.collect(write); }

    // Puts every file into place (see AtomicFileGroup::commitAll): when one fails, the files
    // renamed before it are put back and failedTarget() names it.
    void commit() { group_.commitAll(); }
    const std::string& failedTarget() const { return group_.failedTarget(); }

    std::size_t size() const { return group_.size(); }

private:
    AtomicFileGroup group_;
};

} // namespace orv
