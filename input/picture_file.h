// Picture files: existence, decoding through Qt's readers, and conversion of a decoded picture to
// the engine's 24-bit bottom-up layout.
#pragma once

#include "engine/picture_surface.h"
#include "input/memory_budget.h"

#include <QImage>

#include <memory>
#include <string>

namespace orv {

// A name exists when its date and time can be read; any failure counts as missing.
bool fileExists(const std::string& path);

enum class DecodeStatus { Ok, Missing, Invalid };

// Decodes a picture file (BMP, JPEG, GIF and whatever else Qt reads). A missing file is Missing;
// a file that exists but cannot be decoded is Invalid (error 481 for the caller).
DecodeStatus decodePicture(const std::string& path, QImage& out);

// The picture as roundUp4(w) x roundUp4(h) bottom-up blue-green-red cells, margins black.
std::vector<std::uint8_t> toRoundedBgr(const QImage& image);

// Draws cells of a bottom-up buffer of W x H onto `image` (its own size), the inverse of the above.
void fromRoundedBgr(const std::uint8_t* buffer, int W, int H, QImage& image);

// A picture surface over a QImage: the picture boxes of the desktop program.
class ImageSurface : public PictureSurface {
public:
    explicit ImageSurface(QImage image = {}) : image_(std::move(image)) {}
    int pictureWidth() const override { return image_.width(); }
    int pictureHeight() const override { return image_.height(); }
    void readPixels(std::uint8_t* buffer, int W, int H) const override;
    void writePixels(const std::uint8_t* buffer, int W, int H) override;

    const QImage& image() const { return image_; }
    void setImage(QImage image) { image_ = std::move(image); }

private:
    QImage image_;
};

// Decodes a file straight into an in-memory surface (the source pictures of a montage). With
// `shown`, it also gives the picture as a source window shows it: the decoder's own picture when
// that is a 32-bit picture or a GIF (which keeps its palette), otherwise the cells as a 32-bit
// picture. The work is done here, on the decoding thread, not by the window. Before any pixel is
// allocated, the memory left must hold the picture, the decoder's buffers and, unless `room` says
// the montage is made already (a series read picture by picture while it is merged), the montage.
// `orientation` is the camera's orientation tag of the series' first picture (1: as stored): the
// picture is turned upright by it, whatever this file's own tag says, so that the pictures of a
// series whose camera pointed down stay registered when its tag changes from shot to shot.
DecodeStatus decodeToSurface(const std::string& path, std::unique_ptr<MemorySurface>& out, QImage* shown = nullptr,
                             MontageRoom room = MontageRoom::StillToCome, int orientation = 1);

// A picture file's size from its header alone (a TIFF or PNG that Qt cannot read is decoded):
// Missing, Invalid for a file that is no picture it can read, a side above the limit or a JPEG cut
// short before its first rows. A file whose pixels are damaged may still pass. The sides are those
// of the picture turned upright by `orientation`, as decodeToSurface gives it.
DecodeStatus readPictureSize(const std::string& path, int& width, int& height, int orientation = 1);

// The largest side a picture may have: the engine's coordinates are 16-bit and a side is rounded
// up to a multiple of 4.
constexpr int kMaxPictureSide = 32764;

// Whether a picture file that exists declares, in its header, a side longer than the engine's
// 16-bit coordinates allow (32764 pixels, a side rounded up to a multiple of 4); its sides then.
// Such a file is refused by the readers as Invalid: this tells the user why.
bool pictureTooLarge(const std::string& path, int& width, int& height);

// Cells of a surface as a top-down 32-bit picture, the format a window draws without converting.
QImage shownPicture(const MemorySurface& cells);

} // namespace orv
