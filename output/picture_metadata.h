// What a camera or a raw developer writes beside the pixels (EXIF, XMP, the ICC colour profile),
// read from the first picture of a series and written into every JPEG, TIFF and PNG output, with
// the size fields set to the output's and the program named as the software that wrote it.
// Exiv2 does the reading and writing; a damaged block is dropped and said so, never fatal.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace orv {

struct PictureMetadata {
    std::vector<std::uint8_t> exif; // the EXIF entries, TIFF-structured (empty: none)
    std::string xmp;                // the XMP packet (empty: none)
    std::vector<std::uint8_t> icc;  // the ICC colour profile (empty: none)

    bool empty() const { return exif.empty() && xmp.empty() && icc.empty(); }
    bool operator==(const PictureMetadata&) const = default;
};

// The metadata of the picture file `path` (JPEG, TIFF, PNG or WebP). Any other format (BMP and GIF
// carry none; raw camera files and videos are no pictures of a series), or a file Exiv2 does not
// recognise, gives an empty result. A damaged block is left out and `problems` gets one
// line saying which block of which file; the other blocks are kept.
PictureMetadata readPictureMetadata(const std::string& path, std::vector<std::string>& problems);

// The camera's orientation tag of the picture file `path` (EXIF Orientation of a JPEG, TIFF, PNG or
// WebP): 1 to 8, and 1 for a picture that has none, a value outside 1 to 8 or a file that carries no
// metadata. Every picture of a series is turned upright by its first picture's tag.
int readPictureOrientation(const std::string& path);

// The same for a whole file's bytes in memory (`name` only names it in a problem).
PictureMetadata readPictureMetadata(const std::vector<std::uint8_t>& file, const std::string& name,
                                    std::vector<std::string>& problems);

// The encoded picture `file` (a JPEG, TIFF or PNG of width x height) with `metadata` written into
// it: the EXIF without the first picture's thumbnail and file-structure entries, its pixel size
// fields set to width x height, its orientation set to 1 (the pixels written stand upright
// already: a viewer must not turn them again), "Software" naming this program, the XMP likewise,
// the ICC profile as it is. An empty `metadata` gives `file` unchanged. When a block cannot be written, the file
// is written without it and `problems` says so.
std::vector<std::uint8_t> withMetadata(const std::vector<std::uint8_t>& file, const PictureMetadata& metadata,
                                       int width, int height, std::vector<std::string>& problems);

// The name written as the software: "Orvanta" and the version.
std::string softwareName();

// The metadata as a small file of its own (for the conversion program, which runs in another
// process), and back; nullopt for bytes that are not such a file.
std::vector<std::uint8_t> metadataFileBytes(const PictureMetadata& metadata);
std::optional<PictureMetadata> metadataFromFileBytes(const std::vector<std::uint8_t>& bytes);

} // namespace orv
