// Proposed save names from window captions.
#include "output/save_names.h"

#include "base/text.h"

namespace orv {

std::string captionFileName(const std::string& caption) {
    for (const std::string marker : {" -- ", " image from "}) {
        const std::size_t at = caption.find(marker);
        if (at != std::string::npos) return caption.substr(at + marker.size());
    }
    return caption;
}

std::string withoutExtension(const std::string& path) {
    const std::size_t dot = firstDotOfFileName(path);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string proposedSaveName(const std::string& caption, const std::string& suffix) {
    return withoutExtension(captionFileName(caption)) + suffix;
}

} // namespace orv
