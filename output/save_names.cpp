// Proposed save names from window captions.
#include "output/save_names.h"

namespace orv {

std::string captionFileName(const std::string& caption) {
    for (const std::string marker : {" -- ", " image from "}) {
        const std::size_t at = caption.find(marker);
        if (at != std::string::npos) return caption.substr(at + marker.size());
    }
    return caption;
}

std::string withoutExtension(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find('.', nameStart);
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::string proposedSaveName(const std::string& caption, const std::string& suffix) {
    return withoutExtension(captionFileName(caption)) + suffix;
}

} // namespace orv
