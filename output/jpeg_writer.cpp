// JPEG encoding with the TurboJPEG API, which reads bottom-up BGR rows with padding directly.
#include "output/jpeg_writer.h"

#include "base/runtime_error.h"

#include <turbojpeg.h>

namespace orv {

namespace {

// Owns a TurboJPEG handle and the buffer it allocates.
struct Compressor {
    tjhandle handle = tjInitCompress();
    unsigned char* buffer = nullptr;
    ~Compressor() {
        if (buffer) tjFree(buffer);
        if (handle) tjDestroy(handle);
    }
};

} // namespace

std::vector<std::uint8_t> encodeJpeg(const BgrView& v, int quality) {
    if (v.width <= 0 || v.height <= 0 || !v.bits || v.stride < std::size_t(v.width) * 3)
        throw RuntimeError(5);
    if (v.width > 0xffff || v.height > 0xffff || v.stride > std::size_t(INT32_MAX)) throw RuntimeError(5);
    if (quality < 1 || quality > 100) throw RuntimeError(5);

    Compressor c;
    if (!c.handle) throw RuntimeError(7);
    unsigned long size = 0;
    if (tjCompress2(c.handle, v.bits, v.width, int(v.stride), v.height, TJPF_BGR, &c.buffer, &size,
                    TJSAMP_444, quality, TJFLAG_BOTTOMUP) != 0)
        throw RuntimeError(5, std::string("JPEG encoding failed: ") + tjGetErrorStr2(c.handle));
    return std::vector<std::uint8_t>(c.buffer, c.buffer + size);
}

void writeJpeg(const std::string& path, const BgrView& view, int quality) {
    writeFileAtomically(path, encodeJpeg(view, quality));
}

} // namespace orv
