// Fuzzes the picture loader in both of its layouts (the batch front end's cells and the desktop
// program's QImage): any file must end as a picture, an invalid picture or error 7, never worse.
#include "fuzz_input.h"

#include "base/runtime_error.h"
#include "input/memory_budget.h"
#include "input/picture_file.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The GIF reader is a Qt plug-in, found through the application object.
    static QCoreApplication app(*argc, *argv);
    // Pictures that would need more than this are error 7, as on a machine with little memory;
    // it keeps every input within the fuzzer's own memory limit.
    orv::setMemoryCeiling(std::uint64_t(200) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = orv::fuzz::asFile(data, size);
    try {
        std::unique_ptr<orv::MemorySurface> surface;
        if (orv::decodeToSurface(path, surface) == orv::DecodeStatus::Ok) {
            const int w = surface->pictureWidth(), h = surface->pictureHeight();
            if (w <= 0 || h <= 0 || w > 32764 || h > 32764) std::abort();
            if (surface->rounded().size() != std::size_t(surface->roundedWidth()) * std::size_t((h + 3) / 4 * 4) * 3)
                std::abort();
        }
    } catch (const orv::RuntimeError& e) {
        if (e.number() != 7) std::abort();
    }
    try {
        QImage image;
        if (orv::decodePicture(path, image) == orv::DecodeStatus::Ok && image.isNull()) std::abort();
    } catch (const orv::RuntimeError& e) {
        if (e.number() != 7) std::abort();
    }
    return 0;
}
