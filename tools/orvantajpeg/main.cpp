// orvantajpeg TEMPBMP,TARGET: reads the BMP, writes it as a JPEG (quality 90) to TARGET through a
// temporary file beside it. The target is everything after the first comma. On any failure
// nothing is written, the reason goes to standard error and the exit status is non-zero. A target
// naming the BMP itself is refused.
// When a file TEMPBMP.meta lies beside the BMP (the metadata the program writes there), the
// JPEG carries that metadata; a block that cannot be written is left out and said on standard
// error, and the JPEG is written all the same.
// With ORVANTAJPEG_ASK=1 in its environment (the desktop program's run) it says its steps on
// standard output ("read", "encoded", "ready") and, once the JPEG is ready beside the target,
// puts it into place only when a line "write" comes on standard input; anything else leaves the
// target untouched (exit status 3). A termination signal removes its temporary file. A JPEG that
// would pass the file size limit (ulimit -f) is a failure like a full disk, said as such.
#include "output/jpeg_writer.h"
#include "output/picture_metadata.h"
#include "tools/orvantajpeg/bmp_reader.h"

#include "base/atomic_file.h"
#include "base/file_identity.h"
#include "base/file_size_limit.h"
#include "base/regular_file.h"
#include "base/runtime_error.h"
#include "base/standard_descriptors.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>

namespace {

int fail(const std::string& why) {
    std::fprintf(stderr, "orvantajpeg: %s\n", why.c_str());
    return 1;
}

// The metadata file beside the BMP, if there is one. Only a regular file is read: a FIFO of that
// name would keep the conversion waiting for a writer, a device would be read without end, and
// neither, nor a folder, is a reason to write no JPEG.
std::optional<orv::PictureMetadata> metadataBeside(const std::string& bmpPath) {
    std::string text;
    const orv::FileRead read = orv::readRegularFile(bmpPath + ".meta", text);
    if (read == orv::FileRead::Missing) return std::nullopt;
    const std::vector<std::uint8_t> bytes(text.begin(), text.end());
    const std::optional<orv::PictureMetadata> m =
        read == orv::FileRead::Ok ? orv::metadataFromFileBytes(bytes) : std::nullopt;
    if (!m) std::fprintf(stderr, "orvantajpeg: the metadata file beside \"%s\" cannot be read; no metadata is written\n",
                         bmpPath.c_str());
    return m;
}

// The steps said to the program that asked for them.
bool asked() {
    const char* ask = std::getenv("ORVANTAJPEG_ASK");
    return ask && std::strcmp(ask, "1") == 0;
}

void say(const char* step) {
    if (!asked()) return;
    std::fputs(step, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// Whether the program that asked says "write".
bool toldToWrite() {
    char line[16] = {};
    if (!std::fgets(line, sizeof line, stdin)) return false;
    return std::strcmp(line, "write\n") == 0 || std::strcmp(line, "write") == 0;
}

} // namespace

int main(int argc, char** argv) {
    // Before anything opens a file: the JPEG's temporary file must not take the number of a closed
    // standard output and receive the steps said there.
    orv::holdClosedStandardDescriptors();
    orv::removeTemporaryFilesOnTermination();
    // A JPEG passing the file size limit is a write that fails and is said, not a SIGXFSZ that
    // ends the conversion without a word.
    orv::catchFileSizeLimit();
    // A reader that has gone (a target `/dev/stdout` piped into `head -c 10`) is a write that fails
    // and is said, not a SIGPIPE that ends the conversion without a word.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc != 2) return fail("usage: orvantajpeg TEMPBMP,TARGET (exactly one argument)");
    const std::string arg = argv[1];
    const std::size_t comma = arg.find(',');
    if (comma == std::string::npos) return fail("no comma in the argument \"" + arg + "\"; expected TEMPBMP,TARGET");
    const std::string bmpPath = arg.substr(0, comma);
    const std::string target = arg.substr(comma + 1);
    if (bmpPath.empty()) return fail("the BMP path before the comma is empty");
    if (target.empty()) return fail("the target path after the comma is empty");
    // The BMP is what is converted, never what is written: a target naming it (however spelled,
    // through a link too) would put the JPEG in its place, and the picture it held would be lost.
    if (orv::sameRegularFile(orv::identifyFile(bmpPath), orv::identifyFile(target)))
        return fail("the target \"" + target + "\" is the BMP being converted; name another file");

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
    say("read");
    try {
        std::vector<std::uint8_t> jpeg = orv::encodeJpeg(picture.view(), orv::kDefaultJpegQuality);
        if (const std::optional<orv::PictureMetadata> metadata = metadataBeside(bmpPath)) {
            std::vector<std::string> problems;
            jpeg = orv::withMetadata(jpeg, *metadata, picture.view().width, picture.view().height, problems);
            for (const std::string& p : problems) std::fprintf(stderr, "orvantajpeg: %s\n", p.c_str());
        }
        say("encoded");
        orv::AtomicFile file(target);
        file.write(jpeg.data(), jpeg.size());
        if (asked()) {
            say("ready");
            if (!toldToWrite()) return 3; // the temporary file goes with `file`
        }
        file.commit();
    } catch (const orv::RuntimeError& e) {
        const std::string limit = orv::fileSizeLimitReason();
        return fail("cannot write JPEG \"" + target + "\": " + (limit.empty() ? e.description() : limit));
    } catch (const std::exception& e) {
        return fail("cannot write JPEG \"" + target + "\": " + e.what());
    }
    return 0;
}
