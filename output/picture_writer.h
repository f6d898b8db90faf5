// Writing a 24-bit picture to a file whose extension picks the format: ".gif" GIF, ".jpg" and
// ".jpeg" JPEG, ".png" PNG, ".tif" and ".tiff" TIFF, anything else BMP (case-blind). Every format is written through a temporary file
// that is renamed into place, so a failed write leaves an existing file as it was.
#pragma once

#include "output/bmp_writer.h"
#include "output/picture_metadata.h"
#include "output/write_progress.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QByteArray;
class QImage;

namespace orv {

enum class PictureFormat { Bmp, Jpeg, Gif, Png, Tiff };

// The format for a path, from the extension of its file-name part (after the last "/"):
// ".gif" -> Gif, ".jpg" / ".jpeg" -> Jpeg, ".png" -> Png, ".tif" / ".tiff" -> Tiff, anything else
// (no extension included) -> Bmp.
PictureFormat pictureFormatFor(const std::string& path);

// The format for a path whose extension names one that can be written (".bmp" included), Bmp for
// a file name without extension, nullopt for any other extension ("best.webp"): what a batch
// run refuses instead of writing BMP bytes under a misleading name.
std::optional<PictureFormat> writableFormatFor(const std::string& path);

// The whole PNG file's bytes (24-bit colour). Raises RuntimeError 5 for an empty view, 7 when the
// encoder fails.
std::vector<std::uint8_t> encodePng(const BgrView& view);
// The same, `keepGoing` asked as encodeWithQt asks it.
std::vector<std::uint8_t> encodePng(const BgrView& view, const std::function<bool()>& keepGoing);

// The file Qt's writer for `format` ("png", "tiff" ...) makes of `image`, into `out`; false when
// the writer fails. Without `keepGoing` the bytes go through a plain buffer; with it, it is asked
// at each piece of output the writer hands over (a few kilobytes) until it answers false; the
// encoder then runs to its end with nothing kept and RuntimeError kUserInterrupt is raised. The
// bytes are the same either way.
bool encodeWithQt(const QImage& image, const char* format, QByteArray& out, const std::function<bool()>& keepGoing = {});

struct PictureWriteOptions {
    // GIF only: the colour of the top-left pixel, after its reduction to the 125-colour cube,
    // becomes transparent (the file is then GIF89a).
    bool transparent = false;
    // JPEG only: 1 … 100.
    int quality = 90;
    // GIF only: called every 10 rows with the share written (0 … 100); may be empty.
    std::function<void(int percent)> progress;
    // The format to write whatever the name's ending (a name such as /dev/stdout has none).
    std::optional<PictureFormat> format;
    // JPEG, TIFF and PNG: the first picture's metadata written into the file (none when null or
    // empty); a block that cannot be written is left out and said in `metadataProblems`.
    const PictureMetadata* metadata = nullptr;
    std::vector<std::string>* metadataProblems = nullptr;
    // Every format: told how far the writing is after each band of rows, and asked whether to go
    // on (see WriteProgress); may be empty. The file's bytes do not depend on it.
    WriteProgress writeProgress;
};

// The format a name such as "png" or "JPG" stands for (bmp, png, tiff, tif, jpg, jpeg, gif).
std::optional<PictureFormat> pictureFormatNamed(const std::string& name);

// The format's name as a message says it: "BMP", "JPEG", "GIF", "PNG", "TIFF".
std::string pictureFormatName(PictureFormat format);

// Writes `view` (bottom-up BGR rows, see BgrView) to `path` in the format options.format names,
// or else the one pictureFormatFor picks. Raises RuntimeError on failure: 5 for an empty picture or a bad quality, 6 for a GIF
// side above 65535 or a TIFF above 4 GB, 61 / 70 / 75 when the file cannot be written,
// kUserInterrupt when options.writeProgress stops it (the target then stays as it was).
void writePicture(const std::string& path, const BgrView& view, const PictureWriteOptions& options = {});

} // namespace orv
