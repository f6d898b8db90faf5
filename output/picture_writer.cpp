// Format choice by extension and the one call that writes a picture in that format.
#include "output/picture_writer.h"

#include "base/runtime_error.h"
#include "output/gif_encoder.h"
#include "output/jpeg_writer.h"
#include "output/tiff_writer.h"

#include <QBuffer>
#include <QImage>
#include <QImageWriter>

#include <algorithm>
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

std::string fileNamePart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The encoded file with the options' metadata in it.
std::vector<std::uint8_t> withOptionsMetadata(std::vector<std::uint8_t> file, const BgrView& view,
                                              const PictureWriteOptions& options) {
    if (!options.metadata || options.metadata->empty()) return file;
    std::vector<std::string> unused;
    return withMetadata(file, *options.metadata, view.width, view.height,
                        options.metadataProblems ? *options.metadataProblems : unused);
}

// Takes what Qt's writer pours out a few kilobytes at a time and asks between the pieces whether
// to go on. Once told to stop it takes the rest without keeping it: a refused piece would make
// Qt's PNG writer jump out of libpng and leak its row buffer, so the encoder is let run to its end
// and the stop raised after it. A writer that goes back to fill in what it wrote earlier (the
// TIFF writer, its first directory's place in the header) writes where it went, as into a buffer.
class AskingDevice : public QIODevice {
public:
    AskingDevice(QByteArray& out, const std::function<bool()>& keepGoing) : out_(out), keepGoing_(keepGoing) {}
    bool stopped() const { return stopped_; }
    qint64 size() const override { return out_.size(); }

protected:
    qint64 readData(char* data, qint64 size) override {
        const qint64 at = pos();
        if (stopped_ || at >= out_.size()) return 0;
        const qint64 n = std::min(size, qint64(out_.size()) - at);
        std::copy_n(out_.constData() + at, n, data);
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override {
        if (!stopped_ && !keepGoing_()) {
            stopped_ = true;
            out_.clear();
        }
        if (stopped_) return size;
        const qint64 at = pos();
        if (at > out_.size()) out_.append(QByteArray(at - out_.size(), '\0'));
        const qint64 over = std::min(size, qint64(out_.size()) - at);
        if (over > 0) std::copy_n(data, over, out_.data() + at);
        if (over < size) out_.append(data + over, size - over);
        return size;
    }

private:
    QByteArray& out_;
    const std::function<bool()>& keepGoing_;
    bool stopped_ = false;
};

} // namespace

bool encodeWithQt(const QImage& image, const char* format, QByteArray& out, const std::function<bool()>& keepGoing) {
    if (!keepGoing) {
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        return QImageWriter(&buffer, format).write(image);
    }
    AskingDevice device(out, keepGoing);
    device.open(QIODevice::WriteOnly);
    const bool written = QImageWriter(&device, format).write(image);
    if (device.stopped()) throw RuntimeError(kUserInterrupt);
    return written;
}

PictureFormat pictureFormatFor(const std::string& path) {
    const std::string name = fileNamePart(path);
    if (endsWithCaseBlind(name, ".gif")) return PictureFormat::Gif;
    if (endsWithCaseBlind(name, ".jpg") || endsWithCaseBlind(name, ".jpeg")) return PictureFormat::Jpeg;
    if (endsWithCaseBlind(name, ".png")) return PictureFormat::Png;
    if (endsWithCaseBlind(name, ".tif") || endsWithCaseBlind(name, ".tiff")) return PictureFormat::Tiff;
    return PictureFormat::Bmp;
}

std::optional<PictureFormat> writableFormatFor(const std::string& path) {
    const std::string name = fileNamePart(path);
    const std::size_t dot = name.rfind('.');
    // A leading dot names a hidden file, not an extension.
    if (dot == std::string::npos || dot == 0) return PictureFormat::Bmp;
    const PictureFormat format = pictureFormatFor(path);
    if (format == PictureFormat::Bmp && !endsWithCaseBlind(name, ".bmp")) return std::nullopt;
    return format;
}

std::optional<PictureFormat> pictureFormatNamed(const std::string& name) {
    std::string n;
    for (char c : name) n += char(std::tolower(static_cast<unsigned char>(c)));
    if (n == "bmp") return PictureFormat::Bmp;
    if (n == "png") return PictureFormat::Png;
    if (n == "tif" || n == "tiff") return PictureFormat::Tiff;
    if (n == "jpg" || n == "jpeg") return PictureFormat::Jpeg;
    if (n == "gif") return PictureFormat::Gif;
    return std::nullopt;
}

std::string pictureFormatName(PictureFormat format) {
    switch (format) {
    case PictureFormat::Bmp: return "BMP";
    case PictureFormat::Jpeg: return "JPEG";
    case PictureFormat::Gif: return "GIF";
    case PictureFormat::Png: return "PNG";
    case PictureFormat::Tiff: return "TIFF";
    }
    return "picture";
}

std::vector<std::uint8_t> encodePng(const BgrView& view) { return encodePng(view, {}); }

std::vector<std::uint8_t> encodePng(const BgrView& view, const std::function<bool()>& keepGoing) {
    if (view.width <= 0 || view.height <= 0 || !view.bits || view.stride < std::size_t(view.width) * 3)
        throw RuntimeError(5);
    // The rows are bottom-up; the PNG's are top-down.
    const QImage rows(view.bits, view.width, view.height, qsizetype(view.stride), QImage::Format_BGR888);
    QByteArray bytes;
    if (!encodeWithQt(rows.mirrored(false, true), "PNG", bytes, keepGoing)) throw RuntimeError(7);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void writePicture(const std::string& path, const BgrView& view, const PictureWriteOptions& options) {
    // A format encoded whole in memory is told as two stages: the encoding, then the file's bytes.
    const WriteProgress& progress = options.writeProgress;
    const int rows = view.height;
    auto inBands = [&](const std::vector<std::uint8_t>& bytes) {
        writeFileInBands(path, bytes, stageOfTwo(progress, true), rows);
    };
    switch (options.format ? *options.format : pictureFormatFor(path)) {
    case PictureFormat::Bmp:
        writeBmp24(path, view, progress);
        return;
    case PictureFormat::Jpeg: {
        // The codec takes the picture in one call: nothing to tell until it is done.
        reportWritten(progress, 0, 2 * rows);
        const std::vector<std::uint8_t> bytes = withOptionsMetadata(encodeJpeg(view, options.quality), view, options);
        reportWritten(progress, rows, 2 * rows);
        inBands(bytes);
        return;
    }
    case PictureFormat::Gif: {
        const GifPicture picture = GifPicture::fromBgr(view);
        const Rgb corner = options.transparent ? picture.reducedColourAt(0, 0) : Rgb{};
        GIF gif;
        gif.Progress = options.progress;
        if (progress)
            gif.Progress = [&options, &progress](int percent) {
                if (options.progress) options.progress(percent);
                reportWritten(progress, percent, 100);
            };
        gif.SaveGIF(picture, path, options.transparent, corner);
        return;
    }
    case PictureFormat::Png: {
        // Qt's encoder says nothing of its rows: the count stays at the start while it works, and
        // a stop is honoured at each piece of its output.
        reportWritten(progress, 0, 2 * rows);
        std::function<bool()> keepGoing;
        if (progress) keepGoing = [&] { return progress(0, 2 * rows); };
        const std::vector<std::uint8_t> bytes = withOptionsMetadata(encodePng(view, keepGoing), view, options);
        reportWritten(progress, rows, 2 * rows);
        inBands(bytes);
        return;
    }
    case PictureFormat::Tiff:
        inBands(withOptionsMetadata(encodeTiff24(view, stageOfTwo(progress, false)), view, options));
        return;
    }
}

} // namespace orv
