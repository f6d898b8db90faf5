// The first picture's metadata in the outputs, by format: only an RGB colour profile copied and read
// back by Qt, an oversized EXIF block's entries left out and named, a PNG's EXIF as its eXIf chunk,
// and a TIFF's other pages and sub-images kept out of the camera's metadata.
#include "output/deep_output.h"
#include "output/jpeg_writer.h"
#include "output/picture_metadata.h"
#include "output/picture_writer.h"
#include "output/tiff_writer.h"
#include "metadata_samples.h"
#include "test_pictures.h"

#include <QColorSpace>
#include <QImage>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <png.h>
#include <tiffio.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <tuple>
#include <unistd.h>

using namespace orv;
using namespace orv::test;

namespace {

// testProfile() with another colour space in its header.
std::vector<std::uint8_t> profileOf(const char* space) {
    std::vector<std::uint8_t> p = testProfile();
    std::memcpy(&p[16], space, 4);
    return p;
}

struct ProfileCase {
    const char* name;
    const char* format;
    const char* space; // the profile's colour space
    const char* said;  // what the problem names, or nullptr when the profile is copied
};

class ProfileInFormat : public ::testing::TestWithParam<ProfileCase> {};

} // namespace

// Every output is RGB: a grey or CMYK picture's profile does not describe its pixels and is left
// out, said; an RGB profile goes in.
TEST_P(ProfileInFormat, OnlyAnRgbProfileIsCopied) {
    const ProfileCase c = GetParam();
    PictureMetadata m;
    m.icc = profileOf(c.space);
    const TestPicture picture = TestPicture::random(12, 7, 4);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/out." + c.format;
    std::vector<std::string> problems = writeWithMetadata(path, picture.view(), m);
    std::vector<std::string> again;
    const PictureMetadata got = readPictureMetadata(path, again);
    if (!c.said) {
        EXPECT_TRUE(problems.empty()) << problems.front();
        EXPECT_EQ(got.icc, m.icc);
        return;
    }
    EXPECT_TRUE(got.icc.empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(c.said), std::string::npos) << problems[0];
    EXPECT_FALSE(QImage(QString::fromStdString(path)).isNull());
}

INSTANTIATE_TEST_SUITE_P(
    Spaces, ProfileInFormat,
    ::testing::Values(ProfileCase{"RgbInJpeg", "jpg", "RGB ", nullptr}, ProfileCase{"RgbInPng", "png", "RGB ", nullptr},
                      ProfileCase{"RgbInTiff", "tif", "RGB ", nullptr}, ProfileCase{"GreyInJpeg", "jpg", "GRAY", "grey"},
                      ProfileCase{"GreyInPng", "png", "GRAY", "grey"}, ProfileCase{"GreyInTiff", "tif", "GRAY", "grey"},
                      ProfileCase{"CmykInJpeg", "jpg", "CMYK", "CMYK"}, ProfileCase{"CmykInPng", "png", "CMYK", "CMYK"},
                      ProfileCase{"CmykInTiff", "tif", "CMYK", "CMYK"}),
    [](const auto& info) { return std::string(info.param.name); });

// A grey series written at full depth (TIFF or PNG, 16 bits or 8) stays grey: its grey profile
// describes those pixels and goes with them, where it was dropped as "not the RGB of the
// montage"; an RGB profile does not fit them (libpng refuses it in a grey PNG) and is said.
TEST(PictureMetadata, AGreyPictureAtFullDepthKeepsItsGreyProfile) {
    DeepPicture grey(12, 7, 1, 16);
    for (std::size_t i = 0; i < grey.samples.size(); ++i) grey.samples[i] = std::uint16_t(i * 701);
    QTemporaryDir dir;
    for (const char* format : {"png", "tif"})
        for (const int bits : {16, 8})
            for (const char* space : {"GRAY", "RGB "}) {
                PictureMetadata m;
                m.icc = profileOf(space);
                std::vector<std::string> problems;
                PictureWriteOptions w;
                w.metadata = &m;
                w.metadataProblems = &problems;
                const std::string path = dir.path().toStdString() + "/grey." + format;
                writeDeepPicture(path, grey, bits, w);
                std::vector<std::string> again;
                const PictureMetadata got = readPictureMetadata(path, again);
                const std::string what = std::string(format) + " " + std::to_string(bits) + " " + space;
                if (std::string(space) == "GRAY") {
                    EXPECT_TRUE(problems.empty()) << what << ": " << problems.front();
                    EXPECT_EQ(got.icc, m.icc) << what;
                } else {
                    EXPECT_TRUE(got.icc.empty()) << what;
                    ASSERT_EQ(problems.size(), 1u) << what;
                    EXPECT_EQ(problems[0], "the ICC profile describes RGB colours, not the grey of the montage, "
                                           "and is not copied");
                }
                const QImage back(QString::fromStdString(path));
                EXPECT_TRUE(back.isGrayscale()) << what;
            }
}

class ProfileReadBack : public ::testing::TestWithParam<const char*> {};

// The profile written is one that readers built on libpng, libjpeg and libtiff take: Qt's reader
// gives the picture the colour space it describes (a PNG's profile chunk needs a name for that).
TEST_P(ProfileReadBack, QtReadsTheProfileFromTheOutput) {
    const QByteArray srgb = QColorSpace(QColorSpace::SRgb).iccProfile();
    ASSERT_FALSE(srgb.isEmpty());
    PictureMetadata m;
    m.icc.assign(srgb.begin(), srgb.end());
    const TestPicture picture = TestPicture::random(12, 7, 5);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/out." + GetParam();
    std::vector<std::string> problems = writeWithMetadata(path, picture.view(), m);
    EXPECT_TRUE(problems.empty()) << problems.front();
    const QImage back(QString::fromStdString(path));
    ASSERT_FALSE(back.isNull());
    EXPECT_TRUE(back.colorSpace().isValid());
    EXPECT_EQ(back.colorSpace(), QColorSpace(QColorSpace::SRgb));
}

INSTANTIATE_TEST_SUITE_P(Formats, ProfileReadBack, ::testing::Values("jpg", "tif", "png"),
                         [](const auto& info) { return std::string(info.param); });

// An EXIF block above the 64 KB a JPEG segment holds: Exiv2 leaves its largest entries out, and
// the entries it leaves are named rather than lost without a word; the rest is kept.
TEST(PictureMetadata, EntriesLeftOutOfAnOversizedExifBlockAreNamed) {
    const TestPicture picture = TestPicture::random(16, 16, 6);
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Orvanta-Test";
    exif["Exif.Photo.UserComment"] = "charset=Ascii " + std::string(90000, 'c');
    // A TIFF's EXIF is not bound to 64 KB: write the block into a TIFF's directory by hand.
    const std::vector<std::uint8_t> tiff = encodeTiff24(picture.view());
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(tiff.data(), long(tiff.size()));
    ASSERT_TRUE(image.get());
    image->readMetadata();
    Exiv2::ExifData own = image->exifData();
    for (const Exiv2::Exifdatum& d : exif) own[d.key()] = d.value();
    image->setExifData(own);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    ASSERT_EQ(io.open(), 0);
    const Exiv2::DataBuf written = io.read(long(io.size()));
    io.close();
    const std::vector<std::uint8_t> file(written.pData_, written.pData_ + written.size_);

    std::vector<std::string> problems;
    const PictureMetadata m = readPictureMetadata(file, "big.tif", problems);
    EXPECT_EQ(tag(exifOf(m), "Exif.Image.Make"), "Orvanta-Test");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("Exif.Photo.UserComment"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("big.tif"), std::string::npos) << problems[0];
    EXPECT_EQ(problems[0].find("ExifTag"), std::string::npos) << problems[0];
}

namespace {

struct PngChunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

// The chunks of a PNG file in order, walked by their lengths.
std::vector<PngChunk> pngChunks(const std::vector<std::uint8_t>& png) {
    std::vector<PngChunk> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 |
                                   std::size_t(png[at + 2]) << 8 | std::size_t(png[at + 3]);
        if (length > png.size() - at - 12) break;
        chunks.push_back({std::string(png.begin() + std::ptrdiff_t(at + 4), png.begin() + std::ptrdiff_t(at + 8)),
                          std::vector<std::uint8_t>(png.begin() + std::ptrdiff_t(at + 8),
                                                    png.begin() + std::ptrdiff_t(at + 8 + length))});
        at += 12 + length;
    }
    return chunks;
}

// The eXIf chunk of a PNG file as libpng reads it (empty: none), the rows read through.
std::vector<std::uint8_t> exifChunkByLibpng(const std::string& path) {
    std::vector<std::uint8_t> exif;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return exif;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
        png_uint_32 size = 0;
        png_bytep data = nullptr;
        if (png_get_eXIf_1(png, info, &size, &data) && data) exif.assign(data, data + size);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return exif;
}

} // namespace

// A PNG's EXIF is its standard eXIf chunk, before the pixels, where browsers and libpng find the
// orientation (1: the pixels written stand upright already); no text chunk holds it a second time;
// the XMP and the profile stay as they were.
TEST(PictureMetadata, APngsExifIsItsExifChunk) {
    PictureMetadata source;
    {
        Exiv2::ExifData exif;
        exif["Exif.Image.Make"] = "Orvanta-Test";
        exif["Exif.Image.Orientation"] = std::uint16_t(6);
        exif["Exif.Photo.DateTimeOriginal"] = "2026:03:04 05:06:07";
        source.exif = exifBlock(exif);
    }
    source.xmp = kXmp;
    source.icc = testProfile();
    const TestPicture picture = TestPicture::random(31, 17, 3);
    for (const int depth : {8, 16}) {
        SCOPED_TRACE(depth);
        QTemporaryDir dir;
        const std::string path = dir.path().toStdString() + "/out.png";
        std::vector<std::string> problems;
        PictureWriteOptions w;
        w.metadata = &source;
        w.metadataProblems = &problems;
        if (depth == 8) writePicture(path, picture.view(), w);
        else writeDeepPicture(path, deepFromBgr(picture.view()), 16, w);
        EXPECT_TRUE(problems.empty()) << problems.front();

        const std::vector<PngChunk> chunks = pngChunks(readBytes(QString::fromStdString(path)));
        int exifChunks = 0, xmpChunks = 0, profiles = 0;
        bool pixelsSeen = false;
        for (const PngChunk& c : chunks) {
            const std::string text(c.data.begin(), c.data.end());
            pixelsSeen = pixelsSeen || c.type == "IDAT";
            if (c.type == "eXIf") {
                ++exifChunks;
                EXPECT_FALSE(pixelsSeen) << "the eXIf chunk comes after the pixels";
                Exiv2::ExifData exif;
                Exiv2::ExifParser::decode(exif, c.data.data(), std::uint32_t(c.data.size()));
                EXPECT_EQ(tag(exif, "Exif.Image.Make"), "Orvanta-Test");
                EXPECT_EQ(tag(exif, "Exif.Image.Orientation"), "1");
                EXPECT_EQ(tag(exif, "Exif.Photo.DateTimeOriginal"), "2026:03:04 05:06:07");
                EXPECT_EQ(tag(exif, "Exif.Image.Software"), softwareName());
                EXPECT_EQ(tag(exif, "Exif.Photo.PixelXDimension"), "31");
            }
            if (c.type == "tEXt" || c.type == "zTXt" || c.type == "iTXt") {
                EXPECT_EQ(text.find("Raw profile type exif"), std::string::npos) << "EXIF in a text chunk too";
                EXPECT_EQ(text.find("Raw profile type APP1"), std::string::npos) << "EXIF in a text chunk too";
                if (text.rfind("XML:com.adobe.xmp", 0) == 0) ++xmpChunks;
            }
            if (c.type == "iCCP") ++profiles;
        }
        EXPECT_EQ(exifChunks, 1);
        EXPECT_EQ(xmpChunks, 1);
        EXPECT_EQ(profiles, 1);

        // libpng finds the chunk, with the block as written; Exiv2 reads the EXIF back.
        const std::vector<std::uint8_t> found = exifChunkByLibpng(path);
        ASSERT_FALSE(found.empty());
        EXPECT_TRUE(std::memcmp(found.data(), "II*", 3) == 0 || std::memcmp(found.data(), "MM", 2) == 0);
        Exiv2::ExifData fromLibpng;
        Exiv2::ExifParser::decode(fromLibpng, found.data(), std::uint32_t(found.size()));
        EXPECT_EQ(tag(fromLibpng, "Exif.Image.Orientation"), "1");
        const PictureMetadata back = readPictureMetadata(path, problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        EXPECT_EQ(tag(exifOf(back), "Exif.Image.Orientation"), "1");
        EXPECT_EQ(back.icc, source.icc);
    }
}

namespace {

// A TIFF of `pages` small pictures, the first naming its camera, with `subImages` sub-directories
// beside the first page, as multi-page microscope files and pyramidal TIFFs hold them.
std::string multiPageTiff(const QTemporaryDir& dir, const char* name, int pages, int subImages) {
    const std::string path = dir.path().toStdString() + "/" + name;
    TIFF* t = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(t, nullptr);
    const int written = pages + subImages;
    for (int p = 0; p < written; ++p) {
        const std::uint32_t w = p == 0 ? 8 : 4, h = p == 0 ? 6 : 3;
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
        if (p > 0) TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
        if (p == 0) TIFFSetField(t, TIFFTAG_MAKE, "Orvanta-Test");
        std::vector<std::uint64_t> offsets(std::size_t(subImages), 0);
        if (p == 0 && subImages > 0) TIFFSetField(t, TIFFTAG_SUBIFD, std::uint16_t(subImages), offsets.data());
        std::vector<std::uint8_t> row(w * 3, std::uint8_t(40 * p));
        for (std::uint32_t y = 0; y < h; ++y) TIFFWriteScanline(t, row.data(), y, 0);
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
    return path;
}

} // namespace

// A TIFF's further pages and sub-images are its own layout, not the camera's metadata: they are
// left out without a word (never named as entries of a block too large), and the camera's kept.
TEST(PictureMetadata, TheOtherPagesOfATiffAreNotTheCamerasMetadata) {
    QTemporaryDir dir;
    for (const auto& [name, pages, subImages] :
         {std::tuple{"pages.tif", 4, 0}, std::tuple{"sub.tif", 2, 2}, std::tuple{"two.tif", 2, 0}}) {
        SCOPED_TRACE(name);
        const std::string path = multiPageTiff(dir, name, pages, subImages);
        std::vector<std::string> problems;
        const PictureMetadata m = readPictureMetadata(path, problems);
        EXPECT_TRUE(problems.empty()) << problems.front();
        const Exiv2::ExifData exif = exifOf(m);
        EXPECT_EQ(tag(exif, "Exif.Image.Make"), "Orvanta-Test");
        for (const Exiv2::Exifdatum& d : exif) EXPECT_EQ(d.groupName().find("Image2"), std::string::npos) << d.key();
    }
}
