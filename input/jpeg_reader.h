// JPEG files read with libjpeg straight from an open file: the header first, so that the sides
// and the memory the picture needs are checked before any pixel buffer exists, then the rows into
// the caller's buffer. A file cut short, or any damage the library reports, makes the file
// invalid instead of leaving grey where the missing part would be.
#pragma once

#include <cstdint>
#include <memory>

namespace orv {

struct JpegInfo {
    int width = 0;
    int height = 0;
    // What the decoder holds beside the rows while it runs (the whole picture's coefficients for
    // a progressive or multi-scan file).
    std::uint64_t decoderBytes = 0;
    // The file has fewer bytes than its Huffman-coded data needs for pictures of that size (at
    // least one bit per 8 x 8 block): it was cut short.
    bool tooShort = false;
};

class JpegReader {
public:
    // Reads from `fd` (from its start; the descriptor stays open and is not closed here).
    JpegReader(int fd, std::uint64_t fileSize);
    ~JpegReader();
    JpegReader(const JpegReader&) = delete;
    JpegReader& operator=(const JpegReader&) = delete;

    // False when the file is not a JPEG the library can read.
    bool readHeader(JpegInfo& info);

    // Decodes every row after readHeader: row r from the top goes to rowAt(context, r) as blue,
    // green, red (bytesPerPixel 3) or blue, green, red, 255 (bytesPerPixel 4). CMYK files are
    // converted as Qt's JPEG reader converts them. False when the file ends early or is damaged.
    using RowAt = std::uint8_t* (*)(void* context, int row);
    bool decode(RowAt rowAt, void* context, int bytesPerPixel);

private:
    struct State;
    std::unique_ptr<State> s_;
};

} // namespace orv
