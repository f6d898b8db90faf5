// The GIF encoder at byte level: header and extension bytes, the 9-bit code stream of each row,
// the sub-block framing, transparency index, progress and the busy flag.
#include "output/gif_encoder.h"
#include "test_pictures.h"

#include "base/runtime_error.h"

#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <numeric>

using namespace orv;
using namespace orv::test;

namespace {

// A GIF file taken apart by the layout the encoder promises, with its LZW codes read back.
struct ParsedGif {
    std::string signature;
    std::vector<std::uint8_t> screen;     // width, height, flags, background, aspect
    std::vector<std::uint8_t> palette;    // 768 bytes
    std::vector<std::uint8_t> extension;  // empty, or the 8 bytes of the graphic control extension
    std::vector<std::uint8_t> descriptor; // separator to flags, 10 bytes
    int minCodeSize = -1;
    std::vector<std::vector<std::uint8_t>> blocks;
    bool endsWithTerminatorAndTrailer = false;

    // Every code up to and including the end code; a failure when the data holds other bits.
    std::vector<int> codes() const {
        std::vector<std::uint8_t> data;
        for (const auto& b : blocks) data.insert(data.end(), b.begin(), b.end());
        std::vector<int> out;
        std::size_t bit = 0;
        while (bit + 9 <= data.size() * 8) {
            int code = 0;
            for (int i = 0; i < 9; ++i, ++bit)
                if (data[bit / 8] >> (bit % 8) & 1) code |= 1 << i;
            out.push_back(code);
            if (code == 257) break;
        }
        EXPECT_EQ(data.size(), (bit + 7) / 8) << "bytes after the end code";
        return out;
    }
};

ParsedGif parse(const std::vector<std::uint8_t>& f) {
    ParsedGif g;
    std::size_t at = 0;
    auto take = [&](std::size_t n) {
        if (at + n > f.size()) throw std::runtime_error("file ends early");
        std::vector<std::uint8_t> v(f.begin() + std::ptrdiff_t(at), f.begin() + std::ptrdiff_t(at + n));
        at += n;
        return v;
    };
    const auto sig = take(6);
    g.signature.assign(sig.begin(), sig.end());
    g.screen = take(7);
    g.palette = take(768);
    if (at < f.size() && f[at] == 0x21) g.extension = take(8);
    g.descriptor = take(10);
    g.minCodeSize = take(1)[0];
    for (;;) {
        const int n = take(1)[0];
        if (n == 0) break;
        g.blocks.push_back(take(std::size_t(n)));
    }
    g.endsWithTerminatorAndTrailer = at + 1 == f.size() && f[at] == 0x3B;
    return g;
}

class GifBytes : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string path(const char* name = "out.gif") const { return str(dir.filePath(name)); }

    ParsedGif save(const GifPicture& picture, bool transparent = false, Rgb colour = {}) {
        GIF gif;
        EXPECT_TRUE(gif.SaveGIF(picture, path(), transparent, colour));
        return parse(readBytes(QString::fromStdString(path())));
    }
    ParsedGif saveIndexed(const std::vector<std::uint8_t>& row) {
        return save(GifPicture::fromIndexed(row.data(), int(row.size()), 1, row.size(), distinctPalette()));
    }
    static std::array<Rgb, 256> distinctPalette() {
        std::array<Rgb, 256> p{};
        for (int i = 0; i < 256; ++i) p[i] = Rgb{std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2)};
        return p;
    }
};

std::vector<int> range(int from, int to) {
    std::vector<int> v(std::size_t(to - from + 1));
    std::iota(v.begin(), v.end(), from);
    return v;
}

std::vector<int> concat(std::initializer_list<std::vector<int>> parts) {
    std::vector<int> v;
    for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

} // namespace

TEST_F(GifBytes, OnePixelWideRowsWriteClearAndTheIndexOnlyTopRowFirst) {
    TestPicture p(1, 3);
    p.set(0, 0, 255, 0, 0); // cube index 4
    p.set(0, 1, 0, 255, 0); // 20
    p.set(0, 2, 0, 0, 255); // 100
    const ParsedGif g = save(GifPicture::fromBgr(p.view()));
    EXPECT_EQ(g.codes(), (std::vector<int>{256, 4, 256, 20, 256, 100, 257}));
}

TEST_F(GifBytes, FourIdenticalPixelsEndWithTheStringAddedAtTheSecondMiss) {
    TestPicture p(4, 1);
    for (int x = 0; x < 4; ++x) p.set(x, 0, 64, 128, 192); // levels r1 g2 b3: index 86
    EXPECT_EQ(save(GifPicture::fromBgr(p.view())).codes(), (std::vector<int>{256, 86, 86, 259, 257}));
}

TEST_F(GifBytes, MoreThan253MissesResetTheTableInsideTheRow) {
    // 0 … 255 misses at every step; the 254th miss writes 253 from the old table, then the clear
    // code; the pair 254 255 is then the first new string (258) and is matched later in the row.
    std::vector<std::uint8_t> row(256);
    std::iota(row.begin(), row.end(), 0);
    row.insert(row.end(), {254, 255, 7});
    const ParsedGif g = saveIndexed(row);
    EXPECT_EQ(g.codes(), concat({{256}, range(0, 253), {256, 254, 255, 258, 7, 257}}));

    QImage back(QString::fromStdString(path()));
    ASSERT_EQ(back.width(), int(row.size()));
    const auto pal = distinctPalette();
    for (int x = 0; x < back.width(); ++x)
        ASSERT_EQ(back.pixel(x, 0), qRgb(pal[row[x]].r, pal[row[x]].g, pal[row[x]].b)) << x;
}

TEST_F(GifBytes, DataOfExactly255BytesStaysInOneBlockUntilAFurtherBitNeedsAByte) {
    // 224 distinct pixels: clear, 224 indexes and the end code = 226 codes = 2034 bits = 255 bytes.
    std::vector<std::uint8_t> row(224);
    std::iota(row.begin(), row.end(), 0);
    ParsedGif g = saveIndexed(row);
    ASSERT_EQ(g.blocks.size(), 1u);
    EXPECT_EQ(g.blocks[0].size(), 255u);
    EXPECT_TRUE(g.endsWithTerminatorAndTrailer);
    EXPECT_EQ(g.codes(), concat({{256}, range(0, 223), {257}}));

    // One more pixel: 227 codes = 2043 bits; the full block goes out and a second holds 1 byte.
    row.push_back(224);
    g = saveIndexed(row);
    ASSERT_EQ(g.blocks.size(), 2u);
    EXPECT_EQ(g.blocks[0].size(), 255u);
    EXPECT_EQ(g.blocks[1].size(), 1u);
    EXPECT_TRUE(g.endsWithTerminatorAndTrailer);
    EXPECT_EQ(g.codes(), concat({{256}, range(0, 224), {257}}));
}

TEST_F(GifBytes, HeaderWithoutTransparencyIsGif87aWithTheCubeTable) {
    TestPicture p(300, 2);
    const ParsedGif g = save(GifPicture::fromBgr(p.view()));
    EXPECT_EQ(g.signature, "GIF87a");
    EXPECT_EQ(g.screen, (std::vector<std::uint8_t>{0x2C, 0x01, 2, 0, 0xF7, 0, 0}));
    EXPECT_TRUE(g.extension.empty());
    EXPECT_EQ(g.descriptor, (std::vector<std::uint8_t>{0x2C, 0, 0, 0, 0, 0x2C, 0x01, 2, 0, 7}));
    EXPECT_EQ(g.minCodeSize, 8);
    EXPECT_TRUE(g.endsWithTerminatorAndTrailer);
    const int levels[5] = {0, 64, 128, 192, 255};
    for (int i = 0; i < 256; ++i) {
        const int r = i < 125 ? levels[i % 5] : 0, gr = i < 125 ? levels[i / 5 % 5] : 0, b = i < 125 ? levels[i / 25] : 0;
        ASSERT_EQ(g.palette[3 * i], r) << i;
        ASSERT_EQ(g.palette[3 * i + 1], gr) << i;
        ASSERT_EQ(g.palette[3 * i + 2], b) << i;
    }
}

TEST_F(GifBytes, TransparencyWritesGif89aAndTheExtensionAfterTheTable) {
    TestPicture p(2, 2);
    ParsedGif g = save(GifPicture::fromBgr(p.view()), true, Rgb{192, 0, 128}); // r3 g0 b2: 53
    EXPECT_EQ(g.signature, "GIF89a");
    EXPECT_EQ(g.extension, (std::vector<std::uint8_t>{0x21, 0xF9, 4, 9, 0, 0, 53, 0}));
    EXPECT_EQ(g.descriptor[0], 0x2C);

    // A colour not in the table makes entry 0 transparent; black is entry 0 too, not one of the
    // black entries 125 … 255.
    g = save(GifPicture::fromBgr(p.view()), true, Rgb{1, 2, 3});
    EXPECT_EQ(g.extension[6], 0);
    g = save(GifPicture::fromBgr(p.view()), true, Rgb{0, 0, 0});
    EXPECT_EQ(g.extension[6], 0);
    g = save(GifPicture::fromBgr(p.view()), true, Rgb{255, 255, 255});
    EXPECT_EQ(g.extension[6], 124);

    // An indexed picture's own palette is searched, first match wins.
    std::array<Rgb, 256> pal{};
    pal[7] = pal[9] = Rgb{10, 20, 30};
    const std::uint8_t px[4] = {7, 9, 0, 0};
    g = save(GifPicture::fromIndexed(px, 2, 2, 2, pal), true, Rgb{10, 20, 30});
    EXPECT_EQ(g.extension[6], 7);
    EXPECT_EQ(std::vector<std::uint8_t>(g.palette.begin() + 21, g.palette.begin() + 24),
              (std::vector<std::uint8_t>{10, 20, 30}));
}

TEST_F(GifBytes, ProgressEveryTenRowsRoundedHalfToEven) {
    auto progressFor = [&](int height) {
        TestPicture p(3, height);
        GIF gif;
        std::vector<int> seen;
        gif.Progress = [&](int percent) { seen.push_back(percent); };
        EXPECT_TRUE(gif.SaveGIF(GifPicture::fromBgr(p.view()), path(), false, {}));
        return seen;
    };
    EXPECT_EQ(progressFor(80), (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
    EXPECT_EQ(progressFor(25), (std::vector<int>{40, 80}));
    EXPECT_TRUE(progressFor(9).empty());
}

TEST_F(GifBytes, ASaveReachedWhileBusyReturnsFalseAndWritesNothing) {
    TestPicture p(4, 20);
    GIF gif;
    int inner = -1;
    gif.Progress = [&](int) {
        if (inner < 0) inner = gif.SaveGIF(GifPicture::fromBgr(p.view()), path("inner.gif"), false, {});
    };
    EXPECT_TRUE(gif.SaveGIF(GifPicture::fromBgr(p.view()), path(), false, {}));
    EXPECT_EQ(inner, 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("inner.gif")));
    EXPECT_TRUE(QFile::exists(dir.filePath("out.gif")));
}

TEST_F(GifBytes, AFailedSaveKeepsTheOldFileAndLeavesTheEncoderUsable) {
    writeBytes(dir.filePath("out.gif"), {'o', 'l', 'd'});
    TestPicture p(4, 30);
    GIF gif;
    gif.Progress = [](int) { throw RuntimeError(61); };
    EXPECT_THROW(gif.SaveGIF(GifPicture::fromBgr(p.view()), path(), false, {}), RuntimeError);
    EXPECT_EQ(readBytes(dir.filePath("out.gif")), (std::vector<std::uint8_t>{'o', 'l', 'd'}));

    gif.Progress = nullptr;
    EXPECT_TRUE(gif.SaveGIF(GifPicture::fromBgr(p.view()), path(), false, {}));
    EXPECT_EQ(QImage(dir.filePath("out.gif")).size(), QSize(4, 30));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"out.gif"});
}

TEST_F(GifBytes, UnwritableTargetsAndImpossibleSizesRaiseErrors) {
    TestPicture p(2, 2);
    GIF gif;
    auto numberOf = [&](const GifPicture& pic, const std::string& target) {
        try {
            gif.SaveGIF(pic, target, false, {});
        } catch (const RuntimeError& e) {
            return e.number();
        }
        return 0;
    };
    EXPECT_EQ(numberOf(GifPicture::fromBgr(p.view()), path("missing/x.gif")), 75);
    QDir(dir.path()).mkdir("adir.gif");
    EXPECT_EQ(numberOf(GifPicture::fromBgr(p.view()), path("adir.gif")), 75);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{});

    std::vector<std::uint8_t> wide(70000, 0);
    EXPECT_EQ(numberOf(GifPicture::fromIndexed(wide.data(), 70000, 1, 70000, {}), path()), 6);
    EXPECT_EQ(numberOf(GifPicture::fromIndexed(wide.data(), 0, 1, 1, {}), path()), 5);
    EXPECT_FALSE(QFile::exists(dir.filePath("out.gif")));
}
