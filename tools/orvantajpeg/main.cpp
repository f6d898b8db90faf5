// orvantajpeg TEMPBMP,TARGET: reads the BMP, writes it as a JPEG (quality 90) to TARGET through a
// temporary file beside it. The target is everything after the first comma. On any failure
// nothing is written, the reason goes to standard error and the exit status is non-zero.
// When a file TEMPBMP.meta lies beside the BMP (the metadata the program writes there), the
// JPEG carries that metadata; a block that cannot be written is left out and said on standard
// error, and the JPEG is written all the same.
#include "output/jpeg_writer.h"
#include "output/picture_metadata.h"
#include "tools/orvantajpeg/bmp_reader.h"

#include "base/runtime_error.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

int fail(const std::string& why) {
    std::fprintf(stderr, "orvantajpeg: %s\n", why.c_str());
    return 1;
}

// The metadata file beside the BMP, if there is one.
std::optional<orv::PictureMetadata> metadataBeside(const std::string& bmpPath) {
    std::ifstream in(bmpPath + ".meta", std::ios::binary);
    if (!in) return std::nullopt;
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::optional<orv::PictureMetadata> m = orv::metadataFromFileBytes(bytes);
    if (!m) std::fprintf(stderr, "orvantajpeg: the metadata file beside \"%s\" cannot be read; no metadata is written\n",
                         bmpPath.c_str());
    return m;
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
        std::vector<std::uint8_t> jpeg = orv::encodeJpeg(picture.view(), orv::kDefaultJpegQuality);
        if (const std::optional<orv::PictureMetadata> metadata = metadataBeside(bmpPath)) {
            std::vector<std::string> problems;
            jpeg = orv::withMetadata(jpeg, *metadata, picture.view().width, picture.view().height, problems);
            for (const std::string& p : problems) std::fprintf(stderr, "orvantajpeg: %s\n", p.c_str());
        }
        orv::writeFileAtomically(target, jpeg);
    } catch (const orv::RuntimeError& e) {
        return fail("cannot write JPEG \"" + target + "\": " + e.description());
    } catch (const std::exception& e) {
        return fail("cannot write JPEG \"" + target + "\": " + e.what());
    }
    return 0;
}
