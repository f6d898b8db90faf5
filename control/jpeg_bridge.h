// The JPEG bridge: hands a DIB section's bottom-up rows to the JPEG encoder and writes the file.
#pragma once

#include "dib_section.h"
#include "vantler_global.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace vantler {

// What the bridge hands the encoder for one picture.
struct JpegCoreProperties {
    std::int32_t DIBWidth = 0;
    std::int32_t DIBHeight = 0;  // negative: the rows are stored bottom-up
    const std::uint8_t* DIBBytes = nullptr;
    std::int32_t DIBPadBytes = 0;
    QByteArray JPGFile;  // the file name in the local 8-bit encoding, ended by one zero byte
    std::int32_t JPGWidth = 0;
    std::int32_t JPGHeight = 0;
    std::int32_t jquality = 0;
};

// Fills the record from the bitmap and arguments; error 6 when the row padding overflows.
VANTLER_EXPORT JpegCoreProperties jpegPropertiesFor(const cDIBSection& dib, const QString& fileName,
                                                    std::int16_t quality);

// Writes the bitmap as a JPEG file; true only when the file was written. A file already at the
// name is replaced only by a complete new one; a character device or pipe there (a terminal, a
// FIFO) is written through and stays what it is, /dev/stdout and /dev/stderr through the
// program's own descriptors; a folder, block device or socket is refused, and so is a name with
// a zero character in it.
VANTLER_EXPORT bool SaveDibAsJpeg(const cDIBSection& dib, const QString& fileName, std::int16_t quality);

}  // namespace vantler
