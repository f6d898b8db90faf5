// The depth-aware writer over the deep encoders and writePicture.
#include "output/deep_output.h"

#include "base/atomic_file.h"
#include "base/runtime_error.h"
#include "output/deep_writer.h"

namespace orv {

DeepPicture deepFromBgr(const BgrView& v) {
    if (v.width <= 0 || v.height <= 0 || !v.bits) throw RuntimeError(5);
    DeepPicture p(v.width, v.height, 3, 8);
    for (int y = 0; y < v.height; ++y) {
        // The view's rows are bottom-up.
        const std::uint8_t* s = v.bits + std::size_t(v.height - 1 - y) * v.stride;
        std::uint16_t* d = p.row(y);
        for (int x = 0; x < v.width; ++x) {
            d[3 * x] = std::uint16_t(s[3 * x + 2] * 257);
            d[3 * x + 1] = std::uint16_t(s[3 * x + 1] * 257);
            d[3 * x + 2] = std::uint16_t(s[3 * x] * 257);
        }
    }
    return p;
}

bool holdsSixteenBits(const std::string& path) {
    const PictureFormat f = pictureFormatFor(path);
    return f == PictureFormat::Tiff || f == PictureFormat::Png;
}

void writeDeepPicture(const std::string& path, const DeepPicture& picture, int bits, const PictureWriteOptions& options) {
    if (picture.empty() || (bits != 8 && bits != 16)) throw RuntimeError(5);
    // options.format, when set, is the format whatever the name's ending.
    const PictureFormat format = options.format ? *options.format : pictureFormatFor(path);
    if (format != PictureFormat::Tiff && format != PictureFormat::Png) {
        // The 8-bit view as bottom-up blue-green-red rows.
        const std::size_t stride = std::size_t(picture.width) * 3;
        std::vector<std::uint8_t> rows(stride * std::size_t(picture.height));
        for (int y = 0; y < picture.height; ++y) {
            const std::uint16_t* s = picture.row(y);
            std::uint8_t* d = &rows[std::size_t(picture.height - 1 - y) * stride];
            for (int x = 0; x < picture.width; ++x) {
                const std::uint16_t* px = s + std::size_t(x) * std::size_t(picture.channels);
                d[3 * x + 2] = eightBitsOf(px[0]);
                d[3 * x + 1] = eightBitsOf(picture.channels == 1 ? px[0] : px[1]);
                d[3 * x] = eightBitsOf(picture.channels == 1 ? px[0] : px[2]);
            }
        }
        writePicture(path, BgrView{rows.data(), picture.width, picture.height, stride}, options);
        return;
    }
    // Told as two stages, as writePicture tells a format encoded in memory.
    const WriteProgress encoding = stageOfTwo(options.writeProgress, false);
    std::vector<std::uint8_t> file = format == PictureFormat::Tiff
                                         ? encodeDeepTiff(picture, bits, DeepTiffLayout{}, encoding)
                                         : encodeDeepPng(picture, bits, encoding);
    if (options.metadata && !options.metadata->empty()) {
        std::vector<std::string> unused;
        file = withMetadata(file, *options.metadata, picture.width, picture.height,
                            options.metadataProblems ? *options.metadataProblems : unused);
    }
    writeFileInBands(path, file, stageOfTwo(options.writeProgress, true), picture.height);
}

} // namespace orv
