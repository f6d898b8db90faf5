// Fuzzes orvantajpeg's BMP reader, from memory and from a file: a BMP it accepts has exactly the
// pixels its sides promise, and both ways agree; anything else is a BmpError.
#include "fuzz_input.h"

#include "tools/orvantajpeg/bmp_reader.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    bool fromMemory = false;
    orv::BmpPicture a, b;
    try {
        a = orv::decodeBmp(bytes);
        fromMemory = true;
        if (a.bgr.size() != std::size_t(a.width) * std::size_t(a.height) * 3) std::abort();
    } catch (const orv::BmpError&) {
    }
    try {
        b = orv::readBmp(orv::fuzz::asFile(data, size));
        if (!fromMemory || b.width != a.width || b.height != a.height || b.bgr != a.bgr) std::abort();
    } catch (const orv::BmpError&) {
        if (fromMemory) std::abort();
    }
    return 0;
}
