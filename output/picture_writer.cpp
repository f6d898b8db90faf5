// Format choice by extension and the one call that writes a picture in that format.
#include "output/picture_writer.h"

#include "output/gif_encoder.h"
#include "output/jpeg_writer.h"

#include <cctype>

namespace orv {

namespace {

bool endsWithCaseBlind(const std::string& s, const std::string& suffix) {
    if (s.size() < suffix.size()) return false;
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[s.size() - suffix.size() + i]);
        if (std::tolower(c) != suffix[i]) return false;
    }
    return true;
}

} // namespace

PictureFormat pictureFormatFor(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (endsWithCaseBlind(name, ".gif")) return PictureFormat::Gif;
    if (endsWithCaseBlind(name, ".jpg") || endsWithCaseBlind(name, ".jpeg")) return PictureFormat::Jpeg;
    return PictureFormat::Bmp;
}

void writePicture(const std::string& path, const BgrView& view, const PictureWriteOptions& options) {
    switch (pictureFormatFor(path)) {
    case PictureFormat::Bmp:
        writeBmp24(path, view);
        return;
    case PictureFormat::Jpeg:
        writeJpeg(path, view, options.quality);
        return;
    case PictureFormat::Gif: {
        const GifPicture picture = GifPicture::fromBgr(view);
        const Rgb corner = options.transparent ? picture.reducedColourAt(0, 0) : Rgb{};
        GIF gif;
        gif.Progress = options.progress;
        gif.SaveGIF(picture, path, options.transparent, corner);
        return;
    }
    }
}

} // namespace orv
