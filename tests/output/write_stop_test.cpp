// Stopping a picture's writing: every writer tells how far it is band by band and stops when told
// to, leaving an existing target byte for byte as it was and no temporary file beside it; told
// to go on, it writes exactly the bytes a writing without the callback writes.
#include "base/deep_picture.h"
#include "base/runtime_error.h"
#include "output/deep_output.h"
#include "output/deep_writer.h"
#include "output/picture_writer.h"
#include "output/temp_bmp.h"
#include "output/write_progress.h"
#ifdef ORV_HAS_DEPTH_MAP
#include "output/depth_map.h"
#endif

#include "test_pictures.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace orv {
namespace {

using test::readBytes;
using test::TestPicture;
using test::writeBytes;

// Large enough that the BMP takes two bands of 1 MB and the 16-bit files three.
constexpr int kWidth = 700, kHeight = 520;

const TestPicture& picture() {
    static const TestPicture p = TestPicture::random(kWidth, kHeight, 7, 6);
    return p;
}

const DeepPicture& deepPicture() {
    static const DeepPicture p = [] {
        DeepPicture d(kWidth, kHeight, 3, 16);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth * 3; ++x) d.row(y)[x] = std::uint16_t((x * 977 + y * 131) % 65536);
        return d;
    }();
    return p;
}

using Writer = std::function<void(const std::string& path, const WriteProgress& progress)>;

struct WriterCase {
    const char* label;
    const char* fileName;
    Writer write;
};

Writer pictureWriter() {
    return [](const std::string& path, const WriteProgress& progress) {
        PictureWriteOptions o;
        o.writeProgress = progress;
        writePicture(path, picture().view(), o);
    };
}

Writer deepWriter() {
    return [](const std::string& path, const WriteProgress& progress) {
        PictureWriteOptions o;
        o.writeProgress = progress;
        writeDeepPicture(path, deepPicture(), 16, o);
    };
}

#ifdef ORV_HAS_DEPTH_MAP
Writer depthMapWriter() {
    return [](const std::string& path, const WriteProgress& progress) {
        PictureChoices c;
        c.width = kWidth;
        c.height = kHeight;
        c.cell = 10;
        c.columns = kWidth / 10;
        c.rows = kHeight / 10;
        for (int i = 0; i < c.columns * c.rows; ++i) c.pictures.push_back(std::uint8_t(1 + i % 4));
        writeDepthMap(path, c, 4, progress);
    };
}
#endif

std::vector<WriterCase> writerCases() {
    std::vector<WriterCase> cases{
        {"bmp", "m.bmp", pictureWriter()},
        {"tiff", "m.tif", pictureWriter()},
        {"png", "m.png", pictureWriter()},
        {"jpeg", "m.jpg", pictureWriter()},
        {"gif", "m.gif", pictureWriter()},
        {"deep_tiff", "d.tif", deepWriter()},
        {"deep_png", "d.png", deepWriter()},
    };
#ifdef ORV_HAS_DEPTH_MAP
    cases.push_back({"depth_map_bmp", "depth.bmp", depthMapWriter()});
    cases.push_back({"depth_map_png", "depth.png", depthMapWriter()});
    // Qt's TIFF writer goes back to fill in the header once the picture is written.
    cases.push_back({"depth_map_tiff", "depth.tif", depthMapWriter()});
#endif
    return cases;
}

struct Report {
    int done, total;
};

// Every report of one writing that was never stopped.
std::vector<Report> reportsOf(const WriterCase& c, const QString& folder) {
    std::vector<Report> reports;
    c.write(QDir(folder).filePath(c.fileName).toStdString(), [&](int done, int total) {
        reports.push_back({done, total});
        return true;
    });
    return reports;
}

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

class StoppedWriting : public ::testing::TestWithParam<WriterCase> {};

TEST_P(StoppedWriting, ReportsRiseToTheirTotalAndTheBytesAreThoseOfAWritingWithoutThem) {
    const WriterCase& c = GetParam();
    QTemporaryDir quiet, told;
    c.write(QDir(quiet.path()).filePath(c.fileName).toStdString(), {});
    const std::vector<Report> reports = reportsOf(c, told.path());
    ASSERT_GE(reports.size(), 2u);
    for (std::size_t i = 0; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].total, reports[0].total) << i;
        EXPECT_GE(reports[i].done, 0) << i;
        if (i > 0) {
            EXPECT_GE(reports[i].done, reports[i - 1].done) << i;
        }
    }
    EXPECT_GT(reports[0].total, 0);
    EXPECT_EQ(reports.back().done, reports.back().total);
    EXPECT_EQ(readBytes(QDir(told.path()).filePath(c.fileName)), readBytes(QDir(quiet.path()).filePath(c.fileName)));
}

TEST_P(StoppedWriting, AtTheFirstMiddleOrLastBandLeavesTheOldFileAndNoTemporary) {
    const WriterCase& c = GetParam();
    QTemporaryDir counting;
    const std::size_t count = reportsOf(c, counting.path()).size();
    for (const std::size_t stopAt : {std::size_t(1), (count + 1) / 2, count}) {
        QTemporaryDir dir;
        const QString target = QDir(dir.path()).filePath(c.fileName);
        const std::vector<std::uint8_t> old{'o', 'l', 'd', 0, 1, 2, 3};
        writeBytes(target, old);
        std::size_t seen = 0;
        try {
            c.write(target.toStdString(), [&](int, int) { return ++seen < stopAt; });
            ADD_FAILURE() << "not stopped at report " << stopAt << " of " << count;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), kUserInterrupt);
        }
        EXPECT_EQ(seen, stopAt);
        EXPECT_EQ(readBytes(target), old) << "stopped at report " << stopAt << " of " << count;
        EXPECT_EQ(filesIn(dir.path()), QStringList{QString::fromLatin1(c.fileName)}) << "stopped at report " << stopAt;
    }
}

INSTANTIATE_TEST_SUITE_P(Table, StoppedWriting, ::testing::ValuesIn(writerCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(StoppedWriting, ATiledDeepTiffStopsAtARowOfTilesAndGoesOnToTheSameBytes) {
    const DeepTiffLayout tiles{TiffCompression::Deflate, 64};
    std::vector<Report> reports;
    const std::vector<std::uint8_t> told = encodeDeepTiff(deepPicture(), 16, tiles, [&](int done, int total) {
        reports.push_back({done, total});
        return true;
    });
    EXPECT_EQ(told, encodeDeepTiff(deepPicture(), 16, tiles));
    ASSERT_EQ(reports.size(), std::size_t((kHeight + 63) / 64));
    EXPECT_EQ(reports.back().done, kHeight);
    int seen = 0;
    try {
        encodeDeepTiff(deepPicture(), 16, tiles, [&](int, int) { return ++seen < 2; });
        ADD_FAILURE() << "not stopped";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kUserInterrupt);
    }
    EXPECT_EQ(seen, 2);
}

TEST(StoppedWriting, TheTemporaryBmpOfAJpegSaveGoesWhenItsWritingIsStopped) {
    QTemporaryDir dir;
    const char* before = std::getenv("TMPDIR");
    const std::string kept = before ? before : "";
    ::setenv("TMPDIR", dir.path().toLocal8Bit().constData(), 1);
    int seen = 0;
    try {
        writeTempBmp(picture().view(), [&](int done, int total) {
            EXPECT_LE(done, total);
            return ++seen < 2;
        });
        ADD_FAILURE() << "not stopped";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kUserInterrupt);
    }
    EXPECT_EQ(seen, 2);
    EXPECT_TRUE(filesIn(dir.path()).isEmpty()) << filesIn(dir.path()).join(',').toStdString();
    // Not stopped, it is the BMP the writer makes.
    const std::string path = writeTempBmp(picture().view(), [](int, int) { return true; });
    EXPECT_EQ(readBytes(QString::fromStdString(path)), encodeBmp24(picture().view()));
    if (before) ::setenv("TMPDIR", kept.c_str(), 1);
    else ::unsetenv("TMPDIR");
}

} // namespace
} // namespace orv
