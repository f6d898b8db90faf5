// TIFF and PNG files read at full depth (8 or 16 bits per sample, grey or red-green-blue; a TIFF's
// 32-bit and floating-point samples at 16 bits) with
// libtiff and libpng: TIFF uncompressed, LZW, Deflate or PackBits, in strips or tiles, samples
// together or in planes. An alpha channel is dropped, as the 8-bit readers drop it.
#pragma once

#include "base/deep_picture.h"
#include "input/picture_file.h"

#include <string>

namespace orv {

enum class DeepFileKind { None, Tiff, Png };

// What the file's first bytes say it is (None for a missing file or any other format).
DeepFileKind deepFileKind(const std::string& path);

// The bits per sample a TIFF or PNG file declares, read from its header alone: 8, 16, or 0 for
// a file that is neither or cannot be read (other depths count as 8: they are read as 8 bits).
int deepFileBits(const std::string& path);

// What a TIFF or PNG file's header says of its pixels: their sides, the channels a reading at
// full depth keeps (1 grey, 3 colour; an alpha channel is dropped) and the bits per sample. All 0
// for a file that is neither or whose header cannot be read.
struct DeepExtent {
    int width = 0;
    int height = 0;
    int channels = 0;
    int bits = 0;
};
DeepExtent deepFileExtent(const std::string& path);

// Whether a file is read for the stack by this reader rather than Qt's, for the same cells, sooner
// and without Qt's 64-bit picture beside them: a 16-bit PNG, or a 16-bit TIFF of grey or RGB
// samples alone (an alpha channel, premultiplied or not, or another colour model goes to Qt).
bool plainSixteenBitFile(const std::string& path);

// Whether the file is a TIFF of grey or RGB samples with an alpha channel that Qt's reader gets
// wrong: 8 bits with an unassociated alpha (Qt multiplies the colours by their alpha and divides
// them again, in 8 bits: a nearly transparent (200, 100, 50) comes back as (255, 128, 0), a
// transparent one black), or 16 bits in separate planes (Qt reads them as if interleaved). This
// reader keeps unassociated colours as they are, as a PNG's are kept, and divides associated ones
// by their alpha.
bool alphaTiffQtMisreads(const std::string& path);
// Whether `path` is a TIFF of signed samples, which Qt's reader reads as unsigned (a negative value
// bright): the deep reader reads them moved up by half the range.
bool signedTiff(const std::string& path);

// Whether the file is a TIFF whose first directory holds a thumbnail (a reduced-resolution picture)
// and its full picture another directory or a sub-directory: Qt's reader would read the thumbnail,
// so the series reader reads the full picture here, in any layout libtiff decodes. Every other
// function here looks at that directory of such a file too.
bool thumbnailFirstTiff(const std::string& path);

// Whether the file is a TIFF of samples wider than 16 bits or of floating point (a scientific
// camera's): the deep reader reads them at 16 bits, 32-bit integers scaled to the 16-bit range and
// floating point with 1 as white when every sample lies within 0 to 1, else with 65535 as white.
// Not for 16-bit (half-precision) floating point, which Qt's reader reads.
bool wideSampleTiff(const std::string& path);

// Whether the file is a TIFF whose pixels lie in tiles: Qt's reader gives a black picture for some
// of those without saying so, so the series reader reads them here.
bool tiledTiff(const std::string& path);

// Reads a TIFF or PNG file. Missing for a file that does not exist; Invalid for one that cannot be
// decoded (any other format included), with the reason in `why` when given. The picture's size
// passes the memory check before its samples are allocated (RuntimeError 7 when they do not fit).
// The samples come in the order the file stores them, then turned upright by `orientation` (the
// series' first picture's orientation tag, see decodeToSurface).
DecodeStatus readDeepPicture(const std::string& path, DeepPicture& out, std::string* why = nullptr,
                             int orientation = 1);

// Keeps libtiff from printing its warnings and errors on standard error, for every reader in the
// process (Qt's TIFF reader included): a camera's private tags alone make it warn on pictures it
// reads whole, and a refused picture is said in the program's words. Once is enough.
void silenceTiffLibrary();

// The 8-bit view as the engine's cells, laid out as toRoundedBgr lays out a QImage: roundUp4(w) x
// roundUp4(h) blue-green-red, the picture's bottom row first, the margins black, grey spread to the
// three colours.
std::vector<std::uint8_t> deepToRoundedBgr(const DeepPicture& picture);

} // namespace orv
