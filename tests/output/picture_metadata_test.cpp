// The first picture's EXIF, XMP and ICC profile carried into JPEG, TIFF and PNG outputs: read from
// the shared beetle JPEG, written and read back per format, the pixels left alone, and damaged
// blocks left out without stopping the write (colour profiles, a PNG's eXIf chunk and a TIFF's
// other pages are in picture_metadata_formats_test.cpp).
#include "output/deep_output.h"
#include "output/jpeg_writer.h"
#include "output/picture_metadata.h"
#include "output/picture_writer.h"
#include "output/tiff_writer.h"
#include "metadata_samples.h"
#include "test_pictures.h"

#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <png.h>
#include <tiffio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#include <tuple>

using namespace orv;
using namespace orv::test;

namespace {

const std::string kBeetle = std::string(ORVANTA_SHARED_DATA) + "/stacks/beetle/beetle01.jpg";

// The beetle's EXIF with an XMP packet and the test profile beside it.
PictureMetadata beetleWithXmpAndProfile() {
    std::vector<std::string> problems;
    PictureMetadata m = readPictureMetadata(kBeetle, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    m.xmp = kXmp;
    m.icc = testProfile();
    return m;
}

// A JPEG whose EXIF block claims more entries than it holds, pointing past its end.
std::vector<std::uint8_t> jpegWithDamagedExif(const TestPicture& picture) {
    const std::vector<std::uint8_t> jpeg = encodeJpeg(picture.view(), 90);
    std::vector<std::uint8_t> app1 = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                      0x40, 0x00};
    for (int i = 0; i < 24; ++i) app1.push_back(std::uint8_t(0xF0 + i % 7));
    const std::size_t length = app1.size() - 2;
    app1[2] = std::uint8_t(length >> 8);
    app1[3] = std::uint8_t(length);
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), app1.begin(), app1.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

} // namespace

TEST(PictureMetadata, BeetleCarriesItsCameraExposureAndDate) {
    if (!std::filesystem::exists(kBeetle)) GTEST_SKIP() << "the shared beetle series is not here";
    std::vector<std::string> problems;
    const PictureMetadata m = readPictureMetadata(kBeetle, problems);
    EXPECT_TRUE(problems.empty());
    const Exiv2::ExifData exif = exifOf(m);
    EXPECT_NE(tag(exif, "Exif.Image.Model"), "(none)");
    EXPECT_NE(tag(exif, "Exif.Photo.ExposureTime"), "(none)");
    EXPECT_NE(tag(exif, "Exif.Photo.DateTimeOriginal"), "(none)");
}

TEST(PictureMetadata, APictureWithoutMetadataGivesNoneAndTheFileUnchanged) {
    const TestPicture picture = TestPicture::random(21, 13, 4);
    const std::vector<std::uint8_t> jpeg = encodeJpeg(picture.view(), 90);
    std::vector<std::string> problems;
    EXPECT_TRUE(readPictureMetadata(jpeg, "plain.jpg", problems).empty());
    EXPECT_EQ(withMetadata(jpeg, PictureMetadata{}, 21, 13, problems), jpeg);
    EXPECT_TRUE(problems.empty());
    // A BMP carries none either.
    EXPECT_TRUE(readPictureMetadata(std::vector<std::uint8_t>{'B', 'M', 0, 0}, "x.bmp", problems).empty());
}

class MetadataInFormat : public ::testing::TestWithParam<const char*> {};

TEST_P(MetadataInFormat, ExifXmpAndProfileArriveWithTheOutputsSizeAndSoftware) {
    if (!std::filesystem::exists(kBeetle)) GTEST_SKIP() << "the shared beetle series is not here";
    const PictureMetadata source = beetleWithXmpAndProfile();
    const TestPicture picture = TestPicture::random(37, 23, 9);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/out." + GetParam();
    std::vector<std::string> problems = writeWithMetadata(path, picture.view(), source);
    EXPECT_TRUE(problems.empty()) << problems.front();

    const PictureMetadata got = readPictureMetadata(path, problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    const Exiv2::ExifData in = exifOf(source), out = exifOf(got);
    for (const char* key : {"Exif.Image.Make", "Exif.Image.Model", "Exif.Photo.ExposureTime",
                            "Exif.Photo.FNumber", "Exif.Photo.DateTimeOriginal", "Exif.Image.Orientation"})
        EXPECT_EQ(tag(out, key), tag(in, key)) << key;
    EXPECT_EQ(tag(out, "Exif.Image.Software"), softwareName());
    EXPECT_EQ(tag(out, "Exif.Photo.PixelXDimension"), "37");
    EXPECT_EQ(tag(out, "Exif.Photo.PixelYDimension"), "23");
    EXPECT_EQ(got.icc, source.icc);

    Exiv2::XmpData xmp;
    ASSERT_EQ(Exiv2::XmpParser::decode(xmp, got.xmp), 0);
    EXPECT_EQ(xmp["Xmp.xmp.Rating"].toString(), "4");
    EXPECT_EQ(xmp["Xmp.xmp.CreatorTool"].toString(), softwareName());
    EXPECT_EQ(xmp["Xmp.exif.PixelXDimension"].toString(), "37");

    // The pixels are those written without metadata.
    QTemporaryDir plainDir;
    const std::string plain = plainDir.path().toStdString() + "/plain." + GetParam();
    writePicture(plain, picture.view());
    const QImage a = QImage(QString::fromStdString(path)).convertToFormat(QImage::Format_RGB888);
    const QImage b = QImage(QString::fromStdString(plain)).convertToFormat(QImage::Format_RGB888);
    ASSERT_EQ(a.size(), b.size());
    for (int y = 0; y < a.height(); ++y)
        ASSERT_EQ(std::memcmp(a.constScanLine(y), b.constScanLine(y), std::size_t(a.width()) * 3), 0) << "row " << y;
}

// The pixels written stand upright (the series was turned by its camera's tag as it was read): the
// copied EXIF and XMP say so, or a viewer would turn the picture a second time; the sides are the
// picture's own.
TEST_P(MetadataInFormat, TheWrittenOrientationIsUpright) {
    PictureMetadata source;
    {
        Exiv2::ExifData exif;
        exif["Exif.Image.Make"] = "Orvanta-Test";
        exif["Exif.Image.Orientation"] = std::uint16_t(8);
        exif["Exif.Photo.PixelXDimension"] = std::uint32_t(23);
        exif["Exif.Photo.PixelYDimension"] = std::uint32_t(37);
        source.exif = exifBlock(exif);
        Exiv2::XmpData xmp;
        xmp["Xmp.tiff.Orientation"] = "8";
        xmp["Xmp.exif.PixelXDimension"] = "23";
        Exiv2::XmpParser::encode(source.xmp, xmp);
    }
    const TestPicture picture = TestPicture::random(37, 23, 5);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/up." + GetParam();
    std::vector<std::string> problems = writeWithMetadata(path, picture.view(), source);
    EXPECT_TRUE(problems.empty()) << problems.front();
    EXPECT_EQ(readPictureOrientation(path), 1);
    const PictureMetadata got = readPictureMetadata(path, problems);
    const Exiv2::ExifData out = exifOf(got);
    EXPECT_EQ(tag(out, "Exif.Image.Make"), "Orvanta-Test");
    EXPECT_EQ(tag(out, "Exif.Image.Orientation"), "1");
    EXPECT_EQ(tag(out, "Exif.Photo.PixelXDimension"), "37");
    EXPECT_EQ(tag(out, "Exif.Photo.PixelYDimension"), "23");
    Exiv2::XmpData xmp;
    ASSERT_EQ(Exiv2::XmpParser::decode(xmp, got.xmp), 0);
    EXPECT_EQ(xmp["Xmp.tiff.Orientation"].toString(), "1");
    EXPECT_EQ(xmp["Xmp.exif.PixelXDimension"].toString(), "37");
    // Qt, following the tag as a viewer does, shows the picture as written.
    QImageReader viewer(QString::fromStdString(path));
    viewer.setAutoTransform(true);
    EXPECT_EQ(viewer.read().size(), QSize(37, 23));
}

INSTANTIATE_TEST_SUITE_P(Formats, MetadataInFormat, ::testing::Values("jpg", "tif", "png"),
                         [](const auto& info) { return std::string(info.param); });

TEST(PictureMetadata, ADamagedExifBlockIsLeftOutAndSaid) {
    const TestPicture picture = TestPicture::random(16, 16, 2);
    const std::vector<std::uint8_t> jpeg = jpegWithDamagedExif(picture);
    std::vector<std::string> problems;
    const PictureMetadata m = readPictureMetadata(jpeg, "first.jpg", problems);
    EXPECT_TRUE(m.exif.empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("EXIF block of first.jpg is damaged"), std::string::npos) << problems[0];

    // Read from the file itself, the same.
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/first.jpg";
    {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(jpeg.data()), std::streamsize(jpeg.size()));
    }
    problems.clear();
    EXPECT_TRUE(readPictureMetadata(path, problems).exif.empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("EXIF block of " + path + " is damaged"), std::string::npos) << problems[0];

    // A file that is missing, empty or no picture carries nothing and is not reported here (the
    // series' reading says what is wrong with it).
    problems.clear();
    EXPECT_TRUE(readPictureMetadata(dir.path().toStdString() + "/missing.jpg", problems).empty());
    std::ofstream(dir.path().toStdString() + "/empty.jpg").close();
    EXPECT_TRUE(readPictureMetadata(dir.path().toStdString() + "/empty.jpg", problems).empty());
    std::ofstream(dir.path().toStdString() + "/text.tif") << "not a picture";
    EXPECT_TRUE(readPictureMetadata(dir.path().toStdString() + "/text.tif", problems).empty());
    EXPECT_TRUE(problems.empty());
}

namespace {

// A JPEG with a whole EXIF block (the camera's make) and the XMP packet `xmp` as it is, in a
// segment of its own after the start of the file.
std::vector<std::uint8_t> jpegWithExifAndXmp(const TestPicture& picture, const std::string& xmp) {
    const std::vector<std::uint8_t> jpeg = encodeJpeg(picture.view(), 90);
    Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(jpeg.data(), long(jpeg.size()));
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Orvanta-Test";
    image->setExifData(exif);
    image->writeMetadata();
    Exiv2::BasicIo& io = image->io();
    io.open();
    const Exiv2::DataBuf written = io.read(long(io.size()));
    io.close();
    const std::string id = std::string("http://ns.adobe.com/xap/1.0/") + '\0';
    const std::size_t length = 2 + id.size() + xmp.size();
    std::vector<std::uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)};
    out.insert(out.end(), id.begin(), id.end());
    out.insert(out.end(), xmp.begin(), xmp.end());
    out.insert(out.end(), written.pData_ + 2, written.pData_ + written.size_);
    return out;
}

} // namespace

TEST(PictureMetadata, ADamagedXmpPacketIsLeftOutAndTheExifKept) {
    const TestPicture picture = TestPicture::random(16, 16, 4);
    // The description is never closed.
    const std::vector<std::uint8_t> jpeg =
        jpegWithExifAndXmp(picture, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                                    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
                                    "<rdf:Description rdf:about=\"\"></rdf:RDF></x:xmpmeta>");
    std::vector<std::string> problems;
    const PictureMetadata m = readPictureMetadata(jpeg, "first.jpg", problems);
    EXPECT_EQ(tag(exifOf(m), "Exif.Image.Make"), "Orvanta-Test");
    EXPECT_TRUE(m.xmp.empty());
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("XMP block of first.jpg is damaged"), std::string::npos) << problems[0];
}

TEST(PictureMetadata, FilesThatAreNoPicturesOfASeriesCarryNone) {
    // Exiv2 reads a RIFF video's headers into XMP of its own making, the file's name and size in
    // it: that would be written into the montage as the camera's.
    std::vector<std::uint8_t> riff = {'R', 'I', 'F', 'F', 120, 0, 0, 0, 'A', 'V', 'I', ' '};
    riff.resize(128, 0);
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/clip01.avi";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(riff.data()), std::streamsize(riff.size()));
    std::vector<std::string> problems;
    EXPECT_TRUE(readPictureMetadata(riff, "clip01.avi", problems).empty());
    EXPECT_TRUE(readPictureMetadata(path, problems).empty());
    EXPECT_TRUE(problems.empty());
}

TEST(PictureMetadata, ANamedPipeOrAFolderInThePicturesPlaceIsNotWaitedOn) {
    QTemporaryDir dir;
    const std::string fifo = dir.path().toStdString() + "/shot01.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::vector<std::string> problems;
    auto read = std::async(std::launch::async, [&] { return readPictureMetadata(fifo, problems); });
    if (read.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Let the waiting open go on, so that the test fails instead of hanging.
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
        FAIL() << "the metadata reading waited on a named pipe";
    }
    EXPECT_TRUE(read.get().empty());
    EXPECT_TRUE(readPictureMetadata(dir.path().toStdString(), problems).empty());
    EXPECT_TRUE(problems.empty());
}

TEST(PictureMetadata, FirstDirectoryEntriesThatWouldDamageATiffAreLeftOut) {
    // A camera's first directory with an entry of the wrong type (Exiv2 reads it without a word;
    // libtiff refuses a file whose MinSampleValue is text) beside a whole exposure time.
    Exiv2::ExifData camera;
    camera["Exif.Image.Make"] = "Orvanta-Test";
    Exiv2::AsciiValue text;
    text.read("junk");
    camera.add(Exiv2::ExifKey(0x0118, "Image"), &text); // MinSampleValue
    camera["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 125);
    PictureMetadata m;
    m.exif = exifBlock(camera);

    const TestPicture picture = TestPicture::random(9, 5, 6);
    const std::vector<std::uint8_t> tiff = encodeTiff24(picture.view());
    std::vector<std::string> problems;
    const std::vector<std::uint8_t> out = withMetadata(tiff, m, 9, 5, problems);
    // The file reads as the same picture, the exposure time in it; the entries left out are said.
    const QImage back = QImage::fromData(out.data(), int(out.size()), "TIFF");
    ASSERT_FALSE(back.isNull());
    const QImage plain = QImage::fromData(tiff.data(), int(tiff.size()), "TIFF");
    EXPECT_EQ(back.convertToFormat(QImage::Format_RGB888), plain.convertToFormat(QImage::Format_RGB888));
    std::vector<std::string> again;
    const Exiv2::ExifData written = exifOf(readPictureMetadata(out, "out.tif", again));
    EXPECT_EQ(tag(written, "Exif.Photo.ExposureTime"), "1/125");
    EXPECT_EQ(tag(written, "Exif.Image.0x0118"), "(none)");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("main directory"), std::string::npos) << problems[0];

    // A JPEG keeps them: its pixels do not depend on its EXIF block.
    problems.clear();
    const std::vector<std::uint8_t> jpeg = withMetadata(encodeJpeg(picture.view(), 90), m, 9, 5, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_EQ(tag(exifOf(readPictureMetadata(jpeg, "out.jpg", again)), "Exif.Image.Make"), "Orvanta-Test");
}

TEST(PictureMetadata, BlocksThatCannotBeWrittenAreLeftOutAndTheFileStillWritten) {
    const TestPicture picture = TestPicture::random(16, 16, 3);
    const std::vector<std::uint8_t> tiff = encodeTiff24(picture.view());
    PictureMetadata m;
    m.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 0x40, 0x00, 1, 2, 3};
    m.xmp = "<not xmp";
    m.icc = {1, 2, 3, 4};
    std::vector<std::string> problems;
    const std::vector<std::uint8_t> out = withMetadata(tiff, m, 16, 16, problems);
    EXPECT_GE(problems.size(), 2u);
    const QImage back = QImage::fromData(out.data(), int(out.size()));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.size(), QSize(16, 16));
}

TEST(PictureMetadata, TheFileForTheConversionProgramRoundTripsAndRefusesOtherBytes) {
    PictureMetadata m;
    m.exif = {1, 2, 3};
    m.xmp = kXmp;
    m.icc = testProfile();
    const std::vector<std::uint8_t> bytes = metadataFileBytes(m);
    EXPECT_EQ(metadataFromFileBytes(bytes), m);
    EXPECT_EQ(metadataFromFileBytes(metadataFileBytes(PictureMetadata{})), PictureMetadata{});
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(metadataFromFileBytes(cut));
    std::vector<std::uint8_t> longer = bytes;
    longer.push_back(0);
    EXPECT_FALSE(metadataFromFileBytes(longer));
    EXPECT_FALSE(metadataFromFileBytes(std::vector<std::uint8_t>{'B', 'M'}));
}

// An XMP packet larger than the 64 KB a JPEG segment holds is left out of a JPEG and said; the
// EXIF block and the profile still go in, where the whole metadata was left out. A PNG and a
// TIFF, which have room for it, take it whole.
TEST(PictureMetadata, AnXmpPacketTooLargeForAJpegLeavesTheOtherBlocksIn) {
    PictureMetadata m;
    Exiv2::ExifData exif;
    exif["Exif.Image.Make"] = "Orvanta-Test";
    m.exif = exifBlock(exif);
    m.icc = testProfile();
    Exiv2::XmpData xmp;
    xmp["Xmp.dc.description"] = std::string(70000, 'x');
    ASSERT_EQ(Exiv2::XmpParser::encode(m.xmp, xmp), 0);
    const TestPicture picture = TestPicture::random(9, 5, 2);
    QTemporaryDir dir;
    for (const char* format : {"jpg", "png", "tif"}) {
        const std::string path = dir.path().toStdString() + "/out." + format;
        const std::vector<std::string> problems = writeWithMetadata(path, picture.view(), m);
        std::vector<std::string> again;
        const PictureMetadata got = readPictureMetadata(path, again);
        EXPECT_EQ(tag(exifOf(got), "Exif.Image.Make"), "Orvanta-Test") << format;
        EXPECT_EQ(got.icc, m.icc) << format;
        if (std::string(format) == "jpg") {
            EXPECT_TRUE(got.xmp.empty());
            ASSERT_EQ(problems.size(), 1u);
            EXPECT_EQ(problems[0].rfind("the XMP block could not be written: ", 0), 0u) << problems[0];
        } else {
            EXPECT_TRUE(problems.empty()) << format << ": " << problems.front();
            EXPECT_NE(got.xmp.find(std::string(70000, 'x')), std::string::npos) << format;
        }
    }
}
