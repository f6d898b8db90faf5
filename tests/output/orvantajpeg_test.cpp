// The conversion program: its BMP reader against hand-made, truncated and corrupt files, and the
// built program run end to end, where every failure must leave no file behind.
#include "output/jpeg_writer.h"
#include "tools/orvantajpeg/bmp_reader.h"
#include "test_pictures.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::test;

namespace {

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}
void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v) {
    b[at] = std::uint8_t(v);
    b[at + 1] = std::uint8_t(v >> 8);
}

// A 32-bit top-down BMP (negative height), the other layout the reader accepts.
std::vector<std::uint8_t> topDown32(const TestPicture& p) {
    std::vector<std::uint8_t> b(54 + std::size_t(p.width) * p.height * 4, 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, std::uint32_t(b.size()));
    put32(b, 10, 54);
    put32(b, 14, 40);
    put32(b, 18, std::uint32_t(p.width));
    put32(b, 22, std::uint32_t(-p.height));
    put16(b, 26, 1);
    put16(b, 28, 32);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const QRgb c = p.at(x, y);
            std::uint8_t* px = &b[54 + 4 * (std::size_t(y) * p.width + x)];
            px[0] = std::uint8_t(qBlue(c));
            px[1] = std::uint8_t(qGreen(c));
            px[2] = std::uint8_t(qRed(c));
            px[3] = 0x77;
        }
    return b;
}

::testing::AssertionResult samePixels(const BmpPicture& got, const TestPicture& want) {
    if (got.width != want.width || got.height != want.height)
        return ::testing::AssertionFailure() << "size " << got.width << "x" << got.height;
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x) {
            const std::uint8_t* px = &got.bgr[3 * (std::size_t(want.height - 1 - y) * want.width + x)];
            if (qRgb(px[2], px[1], px[0]) != want.at(x, y))
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ")";
        }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(BmpReader, ReadsBottomUp24AndTopDown32) {
    for (QSize s : {QSize(1, 1), QSize(3, 2), QSize(6, 5), QSize(13, 3)}) {
        const TestPicture p = TestPicture::random(s.width(), s.height(), unsigned(s.width() * 31 + s.height()));
        EXPECT_TRUE(samePixels(decodeBmp(encodeBmp24(p.view())), p)) << s.width() << "x" << s.height();
        EXPECT_TRUE(samePixels(decodeBmp(topDown32(p)), p)) << s.width() << "x" << s.height();
    }
}

TEST(BmpReader, RefusesEveryTruncationOfAValidFile) {
    const std::vector<std::uint8_t> full = encodeBmp24(TestPicture::random(5, 3, 2).view());
    for (std::size_t n = 0; n < full.size(); ++n)
        EXPECT_THROW(decodeBmp(std::vector<std::uint8_t>(full.begin(), full.begin() + std::ptrdiff_t(n))), BmpError)
            << n << " bytes";
}

TEST(BmpReader, RefusesCorruptAndUnsupportedHeaders) {
    const std::vector<std::uint8_t> good = encodeBmp24(TestPicture::random(4, 4, 3).view());
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
        int bytes;
    } damages[] = {
        {"signature", 0, 'X', 1},          {"core header", 14, 12, 4},        {"huge header", 14, 1u << 30, 4},
        {"zero width", 18, 0, 4},          {"negative width", 18, 0xFFFFFFFB, 4}, {"zero height", 22, 0, 4},
        {"planes", 26, 0, 2},              {"8 bits", 28, 8, 2},              {"16 bits", 28, 16, 2},
        {"run-length", 30, 1, 4},          {"bit fields", 30, 3, 4},          {"offset past end", 10, 100000, 4},
        {"offset in header", 10, 20, 4},   {"offset overflows", 10, 0xFFFFFFF0, 4},
        {"side above JPEG limit", 18, 70000, 4}, {"sides overflowing 32 bits", 18, 65535, 4},
    };
    for (const Damage& d : damages) {
        std::vector<std::uint8_t> b = good;
        if (d.bytes == 1) b[d.at] = std::uint8_t(d.value);
        else if (d.bytes == 2) put16(b, d.at, std::uint16_t(d.value));
        else put32(b, d.at, d.value);
        if (std::string(d.what) == "sides overflowing 32 bits") put32(b, 22, 65535);
        EXPECT_THROW(decodeBmp(b), BmpError) << d.what;
    }
}

namespace {

struct Outcome {
    int exitCode = -1;
    QString err;
};

class Orvantajpeg : public ::testing::Test {
protected:
    QTemporaryDir dir;

    Outcome run(const QStringList& args, int waitMs = 60000, std::function<void()> inChild = {}) {
        QProcess proc;
        if (inChild) proc.setChildProcessModifier(inChild);
        proc.start(QCoreApplication::applicationDirPath() + "/orvantajpeg", args);
        EXPECT_TRUE(proc.waitForFinished(waitMs)) << str(args.join(' '));
        if (proc.state() != QProcess::NotRunning) {
            proc.kill();
            proc.waitForFinished();
        }
        EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
        return Outcome{proc.exitCode(), QString::fromUtf8(proc.readAllStandardError())};
    }
    QStringList files() const {
        return QDir(dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString bmp() {
        TestPicture p(32, 32);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                if (y < 16) x < 16 ? p.set(x, y, 230, 20, 20) : p.set(x, y, 20, 230, 20);
                else x < 16 ? p.set(x, y, 20, 20, 230) : p.set(x, y, 240, 240, 240);
            }
        const QString path = dir.filePath("vrktempabc.bmp");
        writeBmp24(str(path), p.view());
        return path;
    }
};

bool near(QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) <= 12 && std::abs(qGreen(a) - qGreen(b)) <= 12 &&
           std::abs(qBlue(a) - qBlue(b)) <= 12;
}

} // namespace

TEST_F(Orvantajpeg, ConvertsToAnUprightJpegAtTheTargetAfterTheFirstComma) {
    const QString source = bmp();
    const QString target = dir.filePath("rock1 montage, v2.jpg");
    const Outcome r = run({source + "," + target});
    EXPECT_EQ(r.exitCode, 0) << str(r.err);
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_EQ(files(), (QStringList{"rock1 montage, v2.jpg", "vrktempabc.bmp"}));
    const QImage back(target, "JPEG");
    ASSERT_EQ(back.size(), QSize(32, 32));
    EXPECT_TRUE(near(back.pixel(5, 5), qRgb(230, 20, 20)));
    EXPECT_TRUE(near(back.pixel(26, 5), qRgb(20, 230, 20)));
    EXPECT_TRUE(near(back.pixel(5, 26), qRgb(20, 20, 230)));
    EXPECT_TRUE(near(back.pixel(26, 26), qRgb(240, 240, 240)));
}

TEST_F(Orvantajpeg, BadArgumentsWriteNothing) {
    const QString source = bmp();
    const QString target = dir.filePath("t.jpg");
    for (const QStringList& args : {QStringList{}, QStringList{source + "," + target, "extra"}, QStringList{source},
                                    QStringList{"," + target}, QStringList{source + ","}}) {
        const Outcome r = run(args);
        EXPECT_NE(r.exitCode, 0) << str(args.join(' '));
        EXPECT_FALSE(r.err.isEmpty());
        EXPECT_EQ(files(), QStringList{"vrktempabc.bmp"});
    }
}

TEST_F(Orvantajpeg, AMissingOrBrokenBmpWritesNothingAndKeepsAnOldTarget) {
    const QString target = dir.filePath("t.jpg");
    Outcome r = run({dir.filePath("absent.bmp") + "," + target});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("absent.bmp")) << str(r.err);
    EXPECT_TRUE(files().isEmpty());

    std::vector<std::uint8_t> truncated = readBytes(bmp());
    truncated.resize(truncated.size() - 1);
    writeBytes(dir.filePath("vrktempabc.bmp"), truncated);
    writeBytes(target, {'o', 'l', 'd'});
    r = run({dir.filePath("vrktempabc.bmp") + "," + target});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_TRUE(r.err.contains("truncated")) << str(r.err);
    EXPECT_EQ(readBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(files(), (QStringList{"t.jpg", "vrktempabc.bmp"}));
}

TEST_F(Orvantajpeg, AnUnwritableTargetLeavesNoFileAndFails) {
    const QString source = bmp();
    Outcome r = run({source + "," + dir.filePath("no such folder/t.jpg")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(r.err.isEmpty());

    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.jpg")); // a folder where the file should go
    r = run({source + "," + dir.filePath("taken.jpg")});
    EXPECT_NE(r.exitCode, 0);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_EQ(files(), (QStringList{"taken.jpg", "vrktempabc.bmp"}));
    EXPECT_TRUE(QDir(dir.filePath("taken.jpg")).isEmpty());
}

// Started with standard output closed, the JPEG's temporary file would take its number: the steps
// said there ("ready") would then be written into the JPEG.
TEST_F(Orvantajpeg, AClosedStandardOutputPutsNothingIntoTheJpeg) {
    const QString source = bmp();
    const QString program = QCoreApplication::applicationDirPath() + "/orvantajpeg";
    auto convert = [&](const QString& target, const char* redirection) {
        const QString line = "echo write | ORVANTAJPEG_ASK=1 '" + program + "' '" + source + "," + target + "' " +
                             redirection;
        return std::system(line.toLocal8Bit().constData());
    };
    const QString open = dir.filePath("open.jpg"), closed = dir.filePath("closed.jpg");
    ASSERT_EQ(WEXITSTATUS(convert(open, ">/dev/null")), 0);
    ASSERT_EQ(WEXITSTATUS(convert(closed, ">&-")), 0);
    EXPECT_EQ(readBytes(closed), readBytes(open));
}

// The metadata file beside the BMP is read only when it is a regular file: a FIFO of that name
// kept the conversion waiting for a writer for ever, and a folder failed the whole conversion.
// Either is said, and the JPEG is written without metadata.
TEST_F(Orvantajpeg, AMetadataNameThatIsNoRegularFileIsSaidAndTheJpegWrittenWithoutIt) {
    const QString source = bmp();
    const QString meta = source + ".meta", target = dir.filePath("t.jpg");
    for (const char* kind : {"fifo", "folder"}) {
        if (std::string(kind) == "fifo") ASSERT_EQ(::mkfifo(str(meta).c_str(), 0600), 0);
        else ASSERT_TRUE(QDir(dir.path()).mkdir("vrktempabc.bmp.meta"));
        const Outcome r = run({source + "," + target}, 20000);
        EXPECT_EQ(r.exitCode, 0) << kind << ": " << str(r.err);
        EXPECT_TRUE(r.err.contains("the metadata file beside") && r.err.contains("cannot be read")) << str(r.err);
        EXPECT_EQ(QImage(target, "JPEG").size(), QSize(32, 32)) << kind;
        QFile::remove(target);
        if (std::string(kind) == "fifo") QFile::remove(meta);
        else QDir(dir.path()).rmdir("vrktempabc.bmp.meta");
    }
}

// A JPEG that would pass the file size limit (ulimit -f) fails as a full disk does: said, naming
// the limit, with the old target kept and no temporary file left. SIGXFSZ ended the conversion
// without a word.
TEST_F(Orvantajpeg, TheFileSizeLimitIsAFailureThatIsSaid) {
    const QString source = bmp();
    const QString target = dir.filePath("t.jpg");
    writeBytes(target, {'o', 'l', 'd'});
    const Outcome r = run({source + "," + target}, 60000, [] {
        std::signal(SIGXFSZ, SIG_DFL);
        const rlimit limit{300, 300};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cannot write JPEG \"" + target + "\": File too large: the file size limit (ulimit -f) "
                               "lets a file of this run have at most 300 bytes"))
        << str(r.err);
    EXPECT_EQ(readBytes(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(files(), (QStringList{"t.jpg", "vrktempabc.bmp"}));
}

// A target that names the BMP itself, however it is spelled, is refused: the JPEG took the BMP's
// place and the picture it held was lost.
TEST_F(Orvantajpeg, ATargetNamingTheBmpItselfIsRefusedAndTheBmpKept) {
    const QString source = bmp();
    const std::vector<std::uint8_t> before = readBytes(source);
    ASSERT_TRUE(QFile::link(source, dir.filePath("link.jpg")));
    for (const QString& target : {source, dir.path() + "/./vrktempabc.bmp", dir.filePath("link.jpg")}) {
        const Outcome r = run({source + "," + target});
        EXPECT_EQ(r.exitCode, 1) << str(target);
        EXPECT_TRUE(r.err.contains("is the BMP being converted")) << str(r.err);
        EXPECT_EQ(readBytes(source), before) << str(target);
    }
    EXPECT_EQ(files(), (QStringList{"link.jpg", "vrktempabc.bmp"}));
}

// A target whose reader has gone (a pipe closed at its far end) is a write that fails and is said,
// not a SIGPIPE that ends the conversion without a word.
TEST_F(Orvantajpeg, APipeClosedByItsReaderIsAFailureThatIsSaid) {
    const QString source = bmp();
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const int writeEnd = ends[1];
    const Outcome r = run({source + ",/dev/stdout"}, 60000, [writeEnd] {
        std::signal(SIGPIPE, SIG_DFL);
        ::dup2(writeEnd, 1);
        ::close(writeEnd);
    });
    ::close(writeEnd);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("cannot write JPEG \"/dev/stdout\"")) << str(r.err);
    EXPECT_EQ(files(), (QStringList{"vrktempabc.bmp"}));
}
