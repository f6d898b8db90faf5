// orvanta-cli's outputs carry the first picture's metadata: the beetle's camera, exposure and date
// in JPEG, TIFF and PNG; the ICC profile of a first input; a damaged EXIF block said and left out
// while the montage is still written; nothing where the inputs carry nothing.
#include "cli_support.h"
#include "output/picture_metadata.h"

#include <QBuffer>
#include <QImage>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>

using namespace orv;
using namespace orv::test;

namespace {

std::string exifTag(const PictureMetadata& m, const char* key) {
    Exiv2::ExifData exif;
    if (!m.exif.empty()) Exiv2::ExifParser::decode(exif, m.exif.data(), std::uint32_t(m.exif.size()));
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    return it == exif.end() ? std::string("(none)") : it->toString();
}

PictureMetadata metadataOf(const QString& path) {
    std::vector<std::string> problems;
    PictureMetadata m = readPictureMetadata(path.toStdString(), problems);
    EXPECT_TRUE(problems.empty()) << problems.front();
    return m;
}

// A 4-picture sample series as JPEGs; the first one's bytes go through `first` before written.
QString jpegSeries(const QTemporaryDir& dir, const std::function<QByteArray(QByteArray)>& first) {
    const auto g = runProgram("make-sample-series", {dir.path() + "/s", "--count", "4", "--size", "120x90"});
    EXPECT_EQ(g.exitCode, 0) << g.err;
    for (int k = 1; k <= 4; ++k) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(QImage(dir.path() + QString("/s/sample%1.bmp").arg(k, 2, 10, QChar('0'))).save(&buffer, "JPG", 95));
        if (k == 1) bytes = first(bytes);
        std::ofstream(dir.path().toStdString() + "/j" + (k < 10 ? "0" : "") + std::to_string(k) + ".jpg",
                      std::ios::binary)
            .write(bytes.constData(), bytes.size());
    }
    return dir.path() + "/j01.jpg";
}

QByteArray withProfile(const QByteArray& jpeg, const std::vector<std::uint8_t>& icc) {
    PictureMetadata m;
    m.icc = icc;
    std::vector<std::string> problems;
    const std::vector<std::uint8_t> in(jpeg.begin(), jpeg.end());
    const std::vector<std::uint8_t> out = withMetadata(in, m, 120, 90, problems);
    EXPECT_TRUE(problems.empty());
    return QByteArray(reinterpret_cast<const char*>(out.data()), qsizetype(out.size()));
}

// An EXIF block whose first directory claims 64 entries in 24 bytes.
QByteArray withDamagedExif(const QByteArray& jpeg) {
    QByteArray app1("\xFF\xE1\x00\x00" "Exif\0\0" "II*\0\x08\0\0\0" "\x40\x00", 20);
    for (int i = 0; i < 24; ++i) app1.append(char(0xF0 + i % 7));
    app1[2] = char((app1.size() - 2) >> 8);
    app1[3] = char(app1.size() - 2);
    return jpeg.left(2) + app1 + jpeg.mid(2);
}

// The beginning of a colour profile, enough for a reader to take it as one.
std::vector<std::uint8_t> smallProfile() {
    std::vector<std::uint8_t> p(160, 0);
    p[3] = 160;
    p[8] = 2;
    std::memcpy(&p[12], "mntrRGB XYZ ", 12);
    std::memcpy(&p[36], "acsp", 4);
    for (std::size_t i = 132; i < p.size(); ++i) p[i] = std::uint8_t(i * 7);
    return p;
}

} // namespace

class CliMetadata : public ::testing::TestWithParam<const char*> {};

TEST_P(CliMetadata, TheBeetleMontageCarriesCameraExposureAndDate) {
    const std::string first = sharedData("stacks/beetle/beetle01.jpg");
    if (!std::filesystem::exists(first)) GTEST_SKIP() << "the shared beetle series is not here";
    QTemporaryDir dir;
    const QString out = dir.path() + "/b." + GetParam();
    const auto r = runProgram("orvanta-cli", {"-q", "-o", out, QString::fromStdString(first)});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const PictureMetadata in = metadataOf(QString::fromStdString(first));
    const PictureMetadata got = metadataOf(out);
    for (const char* key : {"Exif.Image.Model", "Exif.Photo.ExposureTime", "Exif.Photo.DateTimeOriginal"}) {
        EXPECT_NE(exifTag(in, key), "(none)") << key;
        EXPECT_EQ(exifTag(got, key), exifTag(in, key)) << key;
    }
    EXPECT_EQ(exifTag(got, "Exif.Image.Software"), softwareName());
    EXPECT_EQ(exifTag(got, "Exif.Photo.PixelXDimension"), "750");
    EXPECT_EQ(exifTag(got, "Exif.Photo.PixelYDimension"), "500");
}

TEST_P(CliMetadata, TheFirstInputsProfileReachesTheOutput) {
    QTemporaryDir dir;
    const QString first = jpegSeries(dir, [](QByteArray b) { return withProfile(b, smallProfile()); });
    const QString out = dir.path() + "/p." + GetParam();
    const auto r = runProgram("orvanta-cli", {"-q", "-o", out, first});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(metadataOf(out).icc, smallProfile());
}

TEST_P(CliMetadata, ADamagedExifBlockIsSaidAndTheMontageWrittenWithoutIt) {
    QTemporaryDir dir;
    const QString first = jpegSeries(dir, withDamagedExif);
    const QString out = dir.path() + "/d." + GetParam();
    const auto r = runProgram("orvanta-cli", {"-q", "-o", out, first});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("orvanta-cli: the EXIF block of "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("is damaged and is not copied"), std::string::npos) << r.err;
    EXPECT_EQ(QImage(out).size(), QSize(120, 90));
    EXPECT_TRUE(metadataOf(out).empty());
}

INSTANTIATE_TEST_SUITE_P(Formats, CliMetadata, ::testing::Values("jpg", "tif", "png"),
                         [](const auto& info) { return std::string(info.param); });

TEST(CliMetadataNone, InputsWithoutMetadataGiveOutputsWithoutIt) {
    QTemporaryDir dir;
    const QString first = jpegSeries(dir, [](QByteArray b) { return b; });
    for (const char* ext : {"jpg", "tif", "png"}) {
        const QString out = dir.path() + "/n." + ext;
        const auto r = runProgram("orvanta-cli", {"-q", "-o", out, first});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_TRUE(metadataOf(out).empty()) << ext;
    }
}
