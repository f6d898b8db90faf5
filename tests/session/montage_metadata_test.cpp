// Save As carries the first picture's metadata into every JPEG (through the conversion program),
// TIFF and PNG the session writes, for the main and the comparison records alike; a damaged block
// is said where the caller asks and the picture is still saved.
#include "session/montage_session.h"
#include "session/prompting_observer.h"
#include "output/temp_bmp.h"
#include "output/deep_writer.h"

#include "band_picture.h"
#include "deep_series_rig.h"
#include "support/scoped_tmpdir.h"
#include "output/metadata_samples.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <fstream>

namespace orv {
namespace {

using testing::bandPicture;

PictureMetadata cameraMetadata() {
    Exiv2::ExifData exif;
    exif["Exif.Image.Model"] = "Bench Camera 7";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 125);
    exif["Exif.Photo.DateTimeOriginal"] = "2026:03:04 05:06:07";
    exif["Exif.Image.Orientation"] = std::uint16_t(6);
    PictureMetadata m;
    m.exif = test::exifBlock(exif);
    m.icc.assign(160, 0);
    m.icc[3] = 160;
    std::memcpy(&m.icc[36], "acsp", 4);
    return m;
}

std::string tagOf(const PictureMetadata& m, const char* key) { return test::tag(test::exifOf(m), key); }

// Three band pictures as JPEGs, the first with `first` in it.
struct JpegRig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    PromptingObserver observer{prompter};
    MontageSession session{state, observer};
    explicit JpegRig(const PictureMetadata& first) {
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 3; ++k) {
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            bandPicture(k, 11u * k, true).save(&buffer, "JPG", 95);
            std::vector<std::uint8_t> file(bytes.begin(), bytes.end());
            std::vector<std::string> problems;
            if (k == 1) file = withMetadata(file, first, 60, 40, problems);
            std::ofstream(path(("j" + std::to_string(k) + ".jpg").c_str()), std::ios::binary)
                .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
        }
        // The program's writers set a written orientation to 1: the camera's own tag is put back.
        if (tagOf(first, "Exif.Image.Orientation") != "(none)") {
            Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(path("j1.jpg"));
            image->readMetadata();
            image->exifData()["Exif.Image.Orientation"] = std::uint16_t(std::stoi(tagOf(first, "Exif.Image.Orientation")));
            image->writeMetadata();
        }
    }
    std::string path(const char* name) const { return dir.filePath(QString::fromLatin1(name)).toStdString(); }
    MontageRequest request() const {
        MontageRequest r;
        r.firstFileName = path("j1.jpg");
        r.incrementText = "10";
        return r;
    }
};

PictureMetadata readBack(const std::string& path) {
    std::vector<std::string> problems;
    PictureMetadata m = readPictureMetadata(path, problems);
    EXPECT_TRUE(problems.empty());
    return m;
}

} // namespace

TEST(MontageMetadata, SaveAsCarriesTheFirstPicturesMetadataInEveryFormat) {
    const PictureMetadata camera = cameraMetadata();
    JpegRig rig(camera);
    // The conversion program's temporary files go into a folder of this test's own, so that the
    // listing below sees no other test's saving.
    QTemporaryDir tmpFolder;
    orv::testing::ScopedTmpDir tmp{tmpFolder.path()};
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    const std::string programs = QCoreApplication::applicationDirPath().toStdString() + "/";
    for (const char* name : {"m.jpg", "m.tif", "m.png"}) {
        std::vector<std::string> said;
        SaveMontageOptions options{{}, programs, [&](const std::string& line) { said.push_back(line); }};
        ASSERT_EQ(rig.session.saveMontage({}, rig.path(name), options), "") << name;
        EXPECT_TRUE(said.empty()) << name << ": " << said.front();
        const PictureMetadata got = readBack(rig.path(name));
        EXPECT_EQ(tagOf(got, "Exif.Image.Model"), "Bench Camera 7") << name;
        EXPECT_EQ(tagOf(got, "Exif.Photo.ExposureTime"), "1/125") << name;
        EXPECT_EQ(tagOf(got, "Exif.Photo.DateTimeOriginal"), "2026:03:04 05:06:07") << name;
        // The camera was turned (tag 6): the pictures were turned upright as they were read, so
        // the montage stands upright as written and says so, with its own sides.
        EXPECT_EQ(tagOf(got, "Exif.Image.Orientation"), "1") << name;
        EXPECT_EQ(QImage(QString::fromStdString(rig.path(name))).size(), QSize(40, 60)) << name;
        EXPECT_EQ(tagOf(got, "Exif.Photo.PixelXDimension"), "40") << name;
        EXPECT_EQ(tagOf(got, "Exif.Photo.PixelYDimension"), "60") << name;
        EXPECT_EQ(got.icc, camera.icc) << name;
    }
    // The temporary files of the conversion program are gone.
    EXPECT_TRUE(QDir(QString::fromStdString(temporaryBmpFolder())).entryList({"vrktemp*.bmp.meta"}).isEmpty());
    // A BMP has no place for it and is written as before.
    ASSERT_EQ(rig.session.saveMontage({}, rig.path("m.bmp"), {}), "");
}

TEST(MontageMetadata, ComparisonRecordsKeepTheSeriesMetadata) {
    JpegRig rig(cameraMetadata());
    RecordingPrompter answers;
    ASSERT_TRUE(rig.session.compareAllMethods(rig.request(), 0, &answers).ran);
    ASSERT_EQ(rig.session.saveMontage(MontageChoice{2}, rig.path("c.png"), {}), "");
    EXPECT_EQ(tagOf(readBack(rig.path("c.png")), "Exif.Image.Model"), "Bench Camera 7");
}

TEST(MontageMetadata, AProfileThatCannotBeWrittenIsSaidAndThePictureSaved) {
    PictureMetadata bad = cameraMetadata();
    JpegRig rig(PictureMetadata{});
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    // A series without metadata: the outputs carry none.
    ASSERT_EQ(rig.session.saveMontage({}, rig.path("plain.tif"), {}), "");
    EXPECT_TRUE(readBack(rig.path("plain.tif")).empty());

    bad.icc = {1, 2, 3};
    std::vector<std::string> said;
    const MontageRecord& record = rig.session.record({});
    SaveMontageOptions options{{}, QCoreApplication::applicationDirPath().toStdString() + "/",
                               [&](const std::string& line) { said.push_back(line); }};
    options.picture.metadata = &bad;
    const BgrView view{record.picture.rounded().data(), 60, 40, std::size_t(record.picture.roundedWidth()) * 3};
    for (const char* name : {"b.jpg", "b.png"}) {
        said.clear();
        ASSERT_EQ(savePicture(view, rig.path(name), options), "") << name;
        ASSERT_EQ(said.size(), 1u) << name;
        EXPECT_NE(said[0].find("ICC profile could not be written"), std::string::npos) << said[0];
        const PictureMetadata got = readBack(rig.path(name));
        EXPECT_TRUE(got.icc.empty()) << name;
        EXPECT_EQ(tagOf(got, "Exif.Image.Model"), "Bench Camera 7") << name;
    }
}


TEST(MontageDepth, SaveAsWritesTheMontageOfASixteenBitSeriesAtSixteenBits) {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    PromptingObserver observer{prompter};
    MontageSession session{state, observer};
    state.programFolder = dir.path().toStdString() + "/";
    for (int k = 1; k <= 3; ++k) {
        const QImage band = bandPicture(k, 11u * k, true).convertToFormat(QImage::Format_RGB888);
        DeepPicture p(band.width(), band.height(), 3, 16);
        for (int y = 0; y < band.height(); ++y)
            for (int x = 0; x < band.width() * 3; ++x)
                p.row(y)[x] = std::uint16_t(std::clamp(band.constScanLine(y)[x] * 257 + (x * 37 + y * 11) % 201 - 100, 0, 65535));
        const std::vector<std::uint8_t> bytes = encodeDeepPng(p, 16);
        std::ofstream(dir.filePath(QString("d%1.png").arg(k)).toStdString(), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    MontageRequest r;
    r.firstFileName = dir.filePath("d1.png").toStdString();
    r.incrementText = "10";
    ASSERT_TRUE(session.makeMontage(r).made);
    std::vector<std::string> said;
    const SaveMontageOptions options{{}, std::nullopt, [&](const std::string& line) { said.push_back(line); }};
    ASSERT_EQ(session.saveMontage({}, dir.filePath("m.png").toStdString(), options), "");
    ASSERT_EQ(session.saveMontage({}, dir.filePath("m.bmp").toStdString(), options), "");
    EXPECT_TRUE(said.empty());
    const QImage deep(dir.filePath("m.png")), eight(dir.filePath("m.bmp"));
    ASSERT_GE(deep.depth(), 48);
    ASSERT_EQ(deep.size(), eight.size());
    for (int y = 0; y < deep.height(); ++y)
        for (int x = 0; x < deep.width(); ++x)
            ASSERT_EQ(eightBitsOf(deep.pixelColor(x, y).rgba64().green()), qGreen(eight.pixel(x, y))) << x << "," << y;

    // Pyramid Focus too; once the 8-bit picture is changed, the deep one is left behind and that
    // is said.
    r.method = FocusMethod::Pyramid;
    ASSERT_TRUE(session.makeMontage(r).made);
    ASSERT_EQ(session.saveMontage({}, dir.filePath("p.png").toStdString(), options), "");
    EXPECT_TRUE(said.empty());
    EXPECT_GE(QImage(dir.filePath("p.png")).depth(), 48);
    const_cast<MemorySurface&>(session.record({}).picture).setPixel(0, 0, 1, 2, 3);
    ASSERT_EQ(session.saveMontage({}, dir.filePath("q.png").toStdString(), options), "");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("saved at 8 bits per sample: the montage was changed"), std::string::npos) << said[0];
    EXPECT_LE(QImage(dir.filePath("q.png")).depth(), 32);
}


namespace {

// Writes `bytes` to `path` as another file under that name: written beside it, then renamed
// over it (as camera software and most editors replace a file).
void replaceFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string beside = path + ".new";
    std::ofstream(beside, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_EQ(std::rename(beside.c_str(), path.c_str()), 0);
}

// Band picture k at 16 bits per sample: every value off its 8-bit one by up to 100.
DeepPicture deepBandPicture(int k) {
    const QImage band = bandPicture(k, 11u * k, true).convertToFormat(QImage::Format_RGB888);
    DeepPicture p(band.width(), band.height(), 3, 16);
    for (int y = 0; y < band.height(); ++y)
        for (int x = 0; x < band.width() * 3; ++x)
            p.row(y)[x] = std::uint16_t(std::clamp(band.constScanLine(y)[x] * 257 + (x * 37 + y * 11) % 201 - 100, 0, 65535));
    return p;
}

// The same picture at 8 bits per sample: its 8-bit view, the very pixels the montage was made of.
DeepPicture eightBitCopy(DeepPicture p) {
    for (std::uint16_t& v : p.samples) v = std::uint16_t(eightBitsOf(v) * 257);
    p.bitsPerSample = 8;
    return p;
}

// The three band pictures at 16 bits, d1.png ... d3.png.
struct DeepBandRig : testing::DeepRig {
    DeepBandRig() : DeepRig({deepBandPicture(1), deepBandPicture(2), deepBandPicture(3)}) {}
    std::string picture(int k) const { return path("d" + std::to_string(k) + ".png"); }
    // Saves the main montage; returns what the save said.
    std::vector<std::string> save(const std::string& name) {
        said.clear();
        EXPECT_EQ(session.saveMontage({}, path(name), options()), "");
        return said;
    }
};

bool saidOnce(const std::vector<std::string>& said, const std::string& text) {
    return said.size() == 1 && said[0].find(text) != std::string::npos;
}

} // namespace

// A picture file written again at 8 bits once the montage was made holds the same 8-bit pixels
// but not the 16-bit ones the montage stands for: the montage is saved at 8 bits and that is said,
// whether some or all of the series' files were replaced so.
TEST(MontageDepth, SourceFilesReplacedAtEightBitsAfterLoadingSaveAtEightBitsAndSaySo) {
    DeepBandRig rig;
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    ASSERT_TRUE(rig.save("before.png").empty());
    ASSERT_GE(QImage(QString::fromStdString(rig.path("before.png"))).depth(), 48);

    // Picture 2 (chosen for the middle band) as an 8-bit file of the same pixels and sides.
    replaceFile(rig.picture(2), encodeDeepPng(eightBitCopy(deepBandPicture(2)), 8));
    std::vector<std::string> said = rig.save("one.png");
    EXPECT_TRUE(saidOnce(said, "saved at 8 bits per sample: picture 2 was changed after the montage was made"))
        << (said.empty() ? "(nothing said)" : said[0]);
    EXPECT_LE(QImage(QString::fromStdString(rig.path("one.png"))).depth(), 32);

    // Every picture so: no file is 16-bit any more, and the series still was.
    for (int k : {1, 3}) replaceFile(rig.picture(k), encodeDeepPng(eightBitCopy(deepBandPicture(k)), 8));
    said = rig.save("all.tif");
    EXPECT_TRUE(saidOnce(said, "saved at 8 bits per sample: picture 1 was changed after the montage was made"))
        << (said.empty() ? "(nothing said)" : said[0]);
    EXPECT_LE(QImage(QString::fromStdString(rig.path("all.tif"))).depth(), 32);

    // Made again from the files as they are now: an 8-bit series, saved so without a word.
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    EXPECT_TRUE(rig.save("again.png").empty());
}

// A picture of an 8-bit series re-shot at 16 bits gives no 16-bit montage of the old pictures.
TEST(MontageDepth, AnEightBitSeriesReshotAtSixteenBitsStaysAnEightBitMontage) {
    DeepBandRig rig;
    for (int k = 1; k <= 3; ++k) replaceFile(rig.picture(k), encodeDeepPng(eightBitCopy(deepBandPicture(k)), 8));
    ASSERT_TRUE(rig.session.makeMontage(rig.request()).made);
    replaceFile(rig.picture(2), encodeDeepPng(deepBandPicture(2), 16));
    EXPECT_TRUE(rig.save("m.png").empty());
    EXPECT_LE(QImage(QString::fromStdString(rig.path("m.png"))).depth(), 32);
}

// Pyramid Focus merges a series kept from an earlier montage at full depth from its files: a file
// re-shot since the series was read (the same 8-bit picture, other 16-bit samples) is not merged
// into the montage of the pictures read before, which is saved at 8 bits and says why.
TEST(MontageDepth, PyramidFocusMergesNoFileChangedSinceTheSeriesWasRead) {
    DeepBandRig rig;
    SessionOptions reuse;
    reuse.reuseDecodedSeries = true; // the series kept between montages
    MontageSession session(rig.state, rig.observer, reuse);
    MontageRequest r = rig.request();
    r.method = FocusMethod::Pyramid;
    auto save = [&](const std::string& name) {
        rig.said.clear();
        EXPECT_EQ(session.saveMontage({}, rig.path(name), rig.options()), "");
        return rig.said;
    };
    ASSERT_TRUE(session.makeMontage(r).made);
    ASSERT_TRUE(save("before.png").empty());
    ASSERT_GE(QImage(QString::fromStdString(rig.path("before.png"))).depth(), 48);

    DeepPicture reshot = eightBitCopy(deepBandPicture(2));
    reshot.bitsPerSample = 16;
    replaceFile(rig.picture(2), encodeDeepPng(reshot, 16));
    ASSERT_TRUE(session.makeMontage(r).made);
    const std::vector<std::string> said = save("after.png");
    EXPECT_TRUE(saidOnce(said, "saved at 8 bits per sample: its pictures cannot all be read at full depth"))
        << (said.empty() ? "(nothing said)" : said[0]);
    EXPECT_LE(QImage(QString::fromStdString(rig.path("after.png"))).depth(), 32);
}

// Picture 1 re-shot after the series was read lends the montage made from the pictures read
// before none of its metadata: the montage is saved without any, and that is said.
TEST(MontageMetadata, APictureReshotAfterReadingLendsTheMontageNoMetadata) {
    JpegRig rig(cameraMetadata());
    SessionOptions reuse;
    reuse.reuseDecodedSeries = true; // as a batch run keeps the series between its montages
    MontageSession session(rig.state, rig.observer, reuse);
    ASSERT_TRUE(session.makeMontage(rig.request()).made);

    // The camera writes picture 1 again, with another camera's metadata.
    PictureMetadata other = cameraMetadata();
    {
        Exiv2::ExifData exif;
        exif["Exif.Image.Model"] = "Other Camera 9";
        other.exif = test::exifBlock(exif);
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    bandPicture(1, 11u, true).save(&buffer, "JPG", 95);
    std::vector<std::string> problems;
    replaceFile(rig.path("j1.jpg"), withMetadata(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), other, 60, 40, problems));

    // The next montage is made from the pictures read before.
    MontageRequest r = rig.request();
    r.method = FocusMethod(1);
    ASSERT_TRUE(session.makeMontage(r).made);
    for (const char* name : {"m.tif", "m.png"}) {
        std::vector<std::string> said;
        const SaveMontageOptions options{{}, std::nullopt, [&](const std::string& line) { said.push_back(line); }};
        ASSERT_EQ(session.saveMontage({}, rig.path(name), options), "") << name;
        EXPECT_TRUE(saidOnce(said, "saved without the camera metadata: " + rig.path("j1.jpg") + " was changed after it was read"))
            << name << ": " << (said.empty() ? "(nothing said)" : said[0]);
        EXPECT_EQ(tagOf(readBack(rig.path(name)), "Exif.Image.Model"), "(none)") << name;
    }
    // Read anew, the series is the re-shot one, and so is the metadata.
    MontageSession fresh(rig.state, rig.observer);
    ASSERT_TRUE(fresh.makeMontage(rig.request()).made);
    ASSERT_EQ(fresh.saveMontage({}, rig.path("n.png"), {}), "");
    EXPECT_EQ(tagOf(readBack(rig.path("n.png")), "Exif.Image.Model"), "Other Camera 9");
}

} // namespace orv
