// Metadata the tests of the first picture's EXIF, XMP and ICC profile write and read back.
#pragma once

#include "output/picture_metadata.h"
#include "output/picture_writer.h"

#include <exiv2/exiv2.hpp>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace orv::test {

// The EXIF entries of `m` (none when it has no EXIF block).
inline Exiv2::ExifData exifOf(const PictureMetadata& m) {
    Exiv2::ExifData exif;
    if (!m.exif.empty()) Exiv2::ExifParser::decode(exif, m.exif.data(), std::uint32_t(m.exif.size()));
    return exif;
}

// `exif` as the block a picture file carries.
inline std::vector<std::uint8_t> exifBlock(const Exiv2::ExifData& exif) {
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, exif);
    return std::vector<std::uint8_t>(blob.begin(), blob.end());
}

// Writes `picture` to `path` with `metadata`; the problems the writer met with the metadata.
inline std::vector<std::string> writeWithMetadata(const std::string& path, const BgrView& picture,
                                                  const PictureMetadata& metadata) {
    std::vector<std::string> problems;
    PictureWriteOptions w;
    w.metadata = &metadata;
    w.metadataProblems = &problems;
    writePicture(path, picture, w);
    return problems;
}

// The value of one EXIF entry as text, "(none)" when it is absent.
inline std::string tag(const Exiv2::ExifData& exif, const char* key) {
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string("(none)") : it->toString();
}

// A small colour profile: a header with its size, class "mntr", RGB / XYZ and the "acsp"
// signature, a tag table with one description tag.
inline std::vector<std::uint8_t> testProfile() {
    std::vector<std::uint8_t> p(128 + 4 + 12 + 16, 0);
    auto be32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) p[at + std::size_t(i)] = std::uint8_t(v >> (24 - 8 * i));
    };
    auto text = [&](std::size_t at, const char* s) { std::memcpy(&p[at], s, 4); };
    be32(0, std::uint32_t(p.size()));
    be32(8, 0x02100000);
    text(12, "mntr");
    text(16, "RGB ");
    text(20, "XYZ ");
    text(36, "acsp");
    be32(128, 1);
    text(132, "desc");
    be32(136, 144);
    be32(140, 16);
    text(144, "desc");
    for (std::size_t i = 148; i < p.size(); ++i) p[i] = std::uint8_t(i);
    return p;
}

// An XMP packet with a rating and a pixel width.
inline const char* const kXmp =
    "<?xpacket begin=\"\xef\xbb\xbf\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
    "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" xmp:Rating=\"4\" exif:PixelXDimension=\"4000\"/>"
    "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";

} // namespace orv::test
