// orvantajpeg TEMPBMP,TARGET: reads the BMP, writes it as a JPEG (quality 90) to TARGET through a
// temporary file beside it. The target is everything after the first comma. On any failure
// nothing is written, the reason goes to standard error and the exit status is non-zero.
#include "output/jpeg_writer.h"
#include "tools/orvantajpeg/bmp_reader.h"

#include "base/runtime_error.h"

#include <cstdio>
#include <exception>
#include <string>

namespace {

int fail(const std::string& why) {
    std::fprintf(stderr, "orvantajpeg: %s\n", why.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return fail("usage: orvantajpeg TEMPBMP,TARGET (exactly one argument)");
    const std::string arg = argv[1];
    const std::size_t comma = arg.find(',');
    if (comma == std::string::npos) return fail("no comma in the argument \"" + arg + "\"; expected TEMPBMP,TARGET");
    const std::string bmpPath = arg.substr(0, comma);
    const std::string target = arg.substr(comma + 1);
    if (bmpPath.empty()) return fail("the BMP path before the comma is empty");
    if (target.empty()) return fail("the target path after the comma is empty");

    orv::BmpPicture picture;
    try {
        picture = orv::readBmp(bmpPath);
    } catch (const orv::BmpError& e) {
        return fail("cannot read BMP \"" + bmpPath + "\": " + e.what());
    } catch (const std::bad_alloc&) {
        return fail("cannot read BMP \"" + bmpPath + "\": out of memory");
    } catch (const std::exception& e) {
        return fail("cannot read BMP \"" + bmpPath + "\": " + e.what());
    }
    try {
        orv::writeJpeg(target, picture.view(), orv::kDefaultJpegQuality);
    } catch (const orv::RuntimeError& e) {
        return fail("cannot write JPEG \"" + target + "\": " + e.description());
    } catch (const std::exception& e) {
        return fail("cannot write JPEG \"" + target + "\": " + e.what());
    }
    return 0;
}
