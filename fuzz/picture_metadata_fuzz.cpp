// Fuzzes the camera metadata path: the bytes read as the first picture of a series (from memory
// and from a file: both give the same blocks and the same number of problems), the blocks through
// the metadata file the conversion program reads, then written into a small JPEG, 8-bit TIFF,
// 16-bit TIFF and 16-bit PNG as the savers write them. Nothing escapes but the program's own
// error; a file with metadata written into it has the same pixels as without, and its metadata
// reads back without a problem, the colour profile as it was.
#include "fuzz_input.h"

#include "base/deep_picture.h"
#include "base/pixel_types.h"
#include "base/runtime_error.h"
#include "input/deep_reader.h"
#include "input/jpeg_reader.h"
#include "output/deep_writer.h"
#include "output/jpeg_writer.h"
#include "output/picture_metadata.h"
#include "output/tiff_writer.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWidth = 12, kHeight = 7;

enum class Kind { Jpeg, Tiff8, Tiff16, Png16 };

struct Output {
    Kind kind;
    std::vector<std::uint8_t> bytes;
};

// A second memory-backed file for the outputs (the first holds the input).
std::string outputFile(const std::vector<std::uint8_t>& bytes) {
    static const int fd = ::memfd_create("fuzz-output", MFD_CLOEXEC);
    if (::ftruncate(fd, 0) != 0) std::abort();
    if (!bytes.empty() && ::pwrite(fd, bytes.data(), bytes.size(), 0) != ssize_t(bytes.size())) std::abort();
    return "/proc/self/fd/" + std::to_string(fd);
}

std::uint8_t* jpegRow(void* rows, int row) {
    return static_cast<std::uint8_t*>(rows) + std::size_t(row) * kWidth * 3;
}

// The pixels of one of the small outputs, as its reader gives them; empty when it cannot be read.
std::vector<std::uint16_t> pixelsOf(Kind kind, const std::vector<std::uint8_t>& bytes) {
    const std::string path = outputFile(bytes);
    if (kind == Kind::Jpeg) {
        std::vector<std::uint8_t> rows(std::size_t(kWidth) * kHeight * 3);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        bool ok = false;
        {
            orv::JpegReader reader(fd, bytes.size());
            orv::JpegInfo info;
            ok = reader.readHeader(info) && info.width == kWidth && info.height == kHeight &&
                 reader.decode(jpegRow, rows.data(), 3);
        }
        ::close(fd);
        return ok ? std::vector<std::uint16_t>(rows.begin(), rows.end()) : std::vector<std::uint16_t>{};
    }
    orv::DeepPicture picture;
    if (orv::readDeepPicture(path, picture) != orv::DecodeStatus::Ok) return {};
    return picture.samples;
}

const std::vector<Output>& outputs() {
    static const std::vector<Output> made = [] {
        std::vector<std::uint8_t> bgr(std::size_t(kWidth) * kHeight * 3);
        for (std::size_t i = 0; i < bgr.size(); ++i) bgr[i] = std::uint8_t(i * 37 + 11);
        const orv::BgrView view{bgr.data(), kWidth, kHeight, std::size_t(kWidth) * 3};
        orv::DeepPicture deep(kWidth, kHeight, 3, 16);
        for (std::size_t i = 0; i < deep.samples.size(); ++i) deep.samples[i] = std::uint16_t(i * 4099 + 7);
        return std::vector<Output>{{Kind::Jpeg, orv::encodeJpeg(view)},
                                   {Kind::Tiff8, orv::encodeTiff24(view)},
                                   {Kind::Tiff16, orv::encodeDeepTiff(deep, 16)},
                                   {Kind::Png16, orv::encodeDeepPng(deep, 16)}};
    }();
    return made;
}

void writeInto(const Output& out, const orv::PictureMetadata& metadata) {
    std::vector<std::string> problems;
    const std::vector<std::uint8_t> written = orv::withMetadata(out.bytes, metadata, kWidth, kHeight, problems);
    if (metadata.empty() && written != out.bytes) std::abort();
    // The pixels are the pixels of the file without metadata.
    static std::vector<std::vector<std::uint16_t>> plain;
    if (plain.empty())
        for (const Output& o : outputs()) plain.push_back(pixelsOf(o.kind, o.bytes));
    const std::vector<std::uint16_t>& expected = plain[std::size_t(&out - outputs().data())];
    const std::vector<std::uint16_t> got = pixelsOf(out.kind, written);
    // ORV_FUZZ_DEBUG=1 says which output a finding run by hand broke, and how.
    if (std::getenv("ORV_FUZZ_DEBUG")) {
        std::fprintf(stderr, "output %d: %zu bytes -> %zu, %zu samples (%zu expected), same %d\n", int(out.kind),
                     out.bytes.size(), written.size(), got.size(), expected.size(), int(got == expected));
        for (const std::string& p : problems) std::fprintf(stderr, "  problem: %s\n", p.c_str());
        if (const char* dump = std::getenv("ORV_FUZZ_DUMP")) {
            const std::string name = std::string(dump) + std::to_string(int(out.kind));
            if (std::FILE* f = std::fopen(name.c_str(), "wb")) {
                std::fwrite(written.data(), 1, written.size(), f);
                std::fclose(f);
            }
        }
    }
    if (expected.empty() || got != expected) std::abort();
    // What was written reads back whole.
    std::vector<std::string> again;
    const orv::PictureMetadata back = orv::readPictureMetadata(written, "written", again);
    if (!again.empty()) std::abort();
    if (problems.empty() && back.icc != metadata.icc) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    outputs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const std::string path = orv::fuzz::asFile(data, size);
    try {
        std::vector<std::string> fromMemoryProblems, fromFileProblems;
        const orv::PictureMetadata fromMemory = orv::readPictureMetadata(bytes, "input", fromMemoryProblems);
        const orv::PictureMetadata fromFile = orv::readPictureMetadata(path, fromFileProblems);
        if (!(fromMemory == fromFile) || fromMemoryProblems.size() != fromFileProblems.size()) std::abort();

        // Handed to the conversion program through its file, and back.
        const std::optional<orv::PictureMetadata> passed =
            orv::metadataFromFileBytes(orv::metadataFileBytes(fromMemory));
        if (!passed || !(*passed == fromMemory)) std::abort();
        // The metadata file's reader on the raw bytes: a file or nothing, never worse.
        (void)orv::metadataFromFileBytes(bytes);

        for (const Output& out : outputs()) writeInto(out, fromMemory);
    } catch (const orv::RuntimeError&) {
    }
    return 0;
}
