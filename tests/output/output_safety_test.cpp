// Writing under hostile conditions: the files of one run appear together or not at all, the
// temporary BMP's path never holds the comma the conversion program splits at, names reach the
// system as their bytes, and the conversion program never waits on what is not a file.
#include "output/output_set.h"
#include "output/temp_bmp.h"
#include "test_pictures.h"

#include "base/runtime_error.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace orv;
using namespace orv::test;

namespace {

class OutputFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const QString& name) const { return str(dir.filePath(name)); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name); }
};

} // namespace

// Every picture format goes through the same held-back commit.
class OutputSetFormats : public OutputFiles, public ::testing::WithParamInterface<const char*> {};

TEST_P(OutputSetFormats, NothingReplacesAnOldFileUntilEveryFileIsWritten) {
    const QString picture = QString("montage.") + GetParam();
    writeBytes(dir.filePath(picture), {'o', 'l', 'd'});
    writeBytes(dir.filePath("map.txt"), {'m', 'a', 'p'});
    const TestPicture p = TestPicture::random(24, 16, 3);
    {
        OutputSet set;
        set.addPicture(path(picture), p.view());
        set.addText(path("map.txt"), "new map");
        EXPECT_THROW(set.addText(path("no such folder/report.txt"), "report"), RuntimeError);
        EXPECT_EQ(set.size(), 2u);
        // Dropped without commit: the run failed.
    }
    EXPECT_EQ(readBytes(dir.filePath(picture)), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(readBytes(dir.filePath("map.txt")), (std::vector<std::uint8_t>{'m', 'a', 'p'}));
    EXPECT_EQ(files(), (QStringList{"map.txt", picture}));

    OutputSet set;
    set.addPicture(path(picture), p.view());
    set.addText(path("map.txt"), "new map");
    set.addText(path("report.txt"), "report");
    EXPECT_EQ(readBytes(dir.filePath(picture)), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    set.commit();
    EXPECT_EQ(QImage(dir.filePath(picture)).size(), QSize(24, 16));
    EXPECT_EQ(readBytes(dir.filePath("report.txt")), (std::vector<std::uint8_t>{'r', 'e', 'p', 'o', 'r', 't'}));
    EXPECT_EQ(files(), (QStringList{"map.txt", picture, "report.txt"}));
}

INSTANTIATE_TEST_SUITE_P(Formats, OutputSetFormats, ::testing::Values("bmp", "gif", "jpg"),
                         [](const auto& info) { return std::string(info.param); });

namespace {

// TMPDIR pointed at a folder for one test and restored afterwards.
class TempFolder : public OutputFiles {
protected:
    QByteArray oldTmp = qgetenv("TMPDIR");
    void useTmp(const std::string& folder) { ::setenv("TMPDIR", folder.c_str(), 1); }
    void TearDown() override {
        if (oldTmp.isNull()) qunsetenv("TMPDIR");
        else qputenv("TMPDIR", oldTmp);
        setDetachedStarter({});
    }
};

} // namespace

TEST_F(TempFolder, AFolderWithACommaGivesWayToTmp) {
    const std::string comma = path("shots, 2024");
    ASSERT_EQ(::mkdir(comma.c_str(), 0700), 0);
    useTmp(comma);
    EXPECT_EQ(temporaryBmpFolder(), "/tmp");
    const std::string bmp = createTempBmp();
    EXPECT_EQ(bmp.find(','), std::string::npos) << bmp;
    EXPECT_EQ(bmp.rfind("/tmp/vrktemp", 0), 0u) << bmp;
    ::unlink(bmp.c_str());

    useTmp(path("absent"));
    EXPECT_EQ(temporaryBmpFolder(), "/tmp");
    useTmp(str(dir.path()) + "///");
    EXPECT_EQ(temporaryBmpFolder(), str(dir.path()));
    // A folder name that is not valid UTF-8 is kept byte for byte.
    const std::string odd = path("caf\xe9");
    ASSERT_EQ(::mkdir(odd.c_str(), 0700), 0);
    useTmp(odd);
    EXPECT_EQ(temporaryBmpFolder(), odd);
    ::rmdir(odd.c_str());
}

TEST_F(TempFolder, TheConversionRunsWhenTheTemporaryFolderHoldsAComma) {
    const QString program = QCoreApplication::applicationDirPath();
    ASSERT_TRUE(QFileInfo(program + "/orvantajpeg").isExecutable());
    const std::string comma = path("a,b");
    ASSERT_EQ(::mkdir(comma.c_str(), 0700), 0);
    useTmp(comma);
    const std::string bmp = writeTempBmp(TestPicture::random(16, 8, 2).view());
    // The target's own commas belong to it: the argument is split at its first comma only.
    const std::string target = path("caf\xe9, final.jpg");
    ASSERT_TRUE(startDetached(conversionStart(str(program + "/"), bmp, target)));
    struct stat st{};
    ASSERT_TRUE(QTest::qWaitFor([&] { return ::stat(target.c_str(), &st) == 0; }, 30000));
    EXPECT_GT(st.st_size, 100);
    ::unlink(bmp.c_str());
    ::unlink(target.c_str()); // QTemporaryDir removes what it can name as text
}

TEST_F(OutputFiles, TheConversionProgramRefusesAFifoWithoutWaitingOnIt) {
    const std::string fifo = path("vrktempfif.bmp");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    QProcess proc;
    proc.start(QCoreApplication::applicationDirPath() + "/orvantajpeg",
               {QString::fromStdString(fifo) + "," + dir.filePath("t.jpg")});
    const bool finished = proc.waitForFinished(20000);
    if (!finished) proc.kill();
    ASSERT_TRUE(finished) << "orvantajpeg waited on the FIFO";
    EXPECT_NE(proc.exitCode(), 0);
    EXPECT_TRUE(proc.readAllStandardError().contains("not a regular file"));
    EXPECT_TRUE(files().isEmpty());
}
