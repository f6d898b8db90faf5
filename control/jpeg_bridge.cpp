// SaveDibAsJpeg over TurboJPEG: blue-green-red rows, bottom-up, with row padding, 4:2:0 chroma.
#include "jpeg_bridge.h"

#include "control_error.h"

#include <QFile>
#include <QSaveFile>

#include <turbojpeg.h>

#include <sys/stat.h>

namespace vantler {
namespace {

// Owns one compressor and the buffer it returns.
struct Compressor {
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~Compressor() {
        if (buffer) tjFree(buffer);
        if (handle) tjDestroy(handle);
    }
};

// What lies at the file name, following symbolic links.
enum class Target { Replaceable, Stream, Refused };

Target targetKind(const QByteArray& localName) {
    struct stat info {};
    if (::stat(localName.constData(), &info) != 0) return Target::Replaceable;  // a new file
    if (S_ISREG(info.st_mode)) return Target::Replaceable;
    // A character device or a pipe takes the bytes as they come; a temporary file renamed over
    // it would put a regular file in its place.
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) return Target::Stream;
    return Target::Refused;  // a folder, a block device, a socket
}

// The descriptor a name for the program's own output stands for, or -1. Opening the name again
// would truncate a file the output is redirected to, and renaming over it would take the file
// from under the descriptor, so the bytes go through the descriptor itself.
int descriptorNamed(const QByteArray& localName) {
    if (localName == "/dev/stdout" || localName == "/dev/fd/1" || localName == "/proc/self/fd/1") return 1;
    if (localName == "/dev/stderr" || localName == "/dev/fd/2" || localName == "/proc/self/fd/2") return 2;
    return -1;
}

bool writeThrough(QFile& file, const unsigned char* bytes, unsigned long size) {
    return file.write(reinterpret_cast<const char*>(bytes), qint64(size)) == qint64(size);
}

bool writeThrough(const QString& name, const unsigned char* bytes, unsigned long size) {
    QFile file(name);
    // Unbuffered, so that a device that refuses the bytes (a full disk) fails the write itself.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
    return writeThrough(file, bytes, size);
}

bool writeThrough(int descriptor, const unsigned char* bytes, unsigned long size) {
    QFile file;
    if (!file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
        return false;
    return writeThrough(file, bytes, size);
}

}  // namespace

JpegCoreProperties jpegPropertiesFor(const cDIBSection& dib, const QString& fileName, std::int16_t quality) {
    JpegCoreProperties p;
    p.DIBWidth = dib.Width();
    p.DIBHeight = checkedSub(0, dib.Height());
    p.DIBBytes = dib.DIBSectionBitsPtr();
    p.DIBPadBytes = checkedSub(dib.BytesPerScanLine(), checkedMul(3, dib.Width()));
    p.JPGFile = QFile::encodeName(fileName);
    p.JPGFile.append('\0');
    p.JPGWidth = dib.Width();
    p.JPGHeight = dib.Height();
    p.jquality = quality;
    return p;
}

bool SaveDibAsJpeg(const cDIBSection& dib, const QString& fileName, std::int16_t quality) {
    Compressor jpeg;
    if (!jpeg.handle) return false;
    const JpegCoreProperties p = jpegPropertiesFor(dib, fileName, quality);
    if (!p.DIBBytes || p.JPGWidth <= 0 || p.JPGHeight <= 0 || p.JPGFile.size() <= 1) return false;
    const std::int32_t pitch = checkedAdd(checkedMul(3, p.DIBWidth), p.DIBPadBytes);
    const bool bottomUp = p.DIBHeight < 0;
    if (tjCompress2(jpeg.handle, p.DIBBytes, p.JPGWidth, pitch, p.JPGHeight, TJPF_BGR, &jpeg.buffer, &jpeg.size,
                    TJSAMP_420, p.jquality, bottomUp ? TJFLAG_BOTTOMUP : 0) != 0)
        return false;
    const QByteArray localName = p.JPGFile.chopped(1);
    // The system sees a name only up to its first zero byte: "a.jpg\0.txt" would write a.jpg.
    if (localName.contains('\0')) return false;
    const QString name = QFile::decodeName(localName);
    if (const int descriptor = descriptorNamed(localName); descriptor >= 0)
        return writeThrough(descriptor, jpeg.buffer, jpeg.size);
    switch (targetKind(localName)) {
    case Target::Refused: return false;
    case Target::Stream: return writeThrough(name, jpeg.buffer, jpeg.size);
    case Target::Replaceable: break;
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(reinterpret_cast<const char*>(jpeg.buffer), qint64(jpeg.size)) != qint64(jpeg.size)) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace vantler
