// TIFF files of several pictures: a thumbnail written before the full picture (in the next
// directory or in a sub-directory, as scanners, microscopes and cameras write them) gives way to
// the picture, in every reader of a series; a file whose first picture is the full one is read as before.
#include "input/deep_reader.h"
#include "input/picture_file.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstring>
#include <memory>
#include <random>

using namespace orv;

namespace {

enum class PageKind { Thumbnail, Picture, PalettePicture };

struct Page {
    PageKind kind;
    DeepPicture picture; // grey or RGB; a palette page holds the colours its indices stand for
};

// Grey or RGB samples at `bits`, or, for a palette picture, 8-bit indices into a 256-colour map
// whose entry i is (i, 255 - i, i / 2): the picture holds the colours of the indices it drew.
Page makePage(PageKind kind, int w, int h, int channels, int bits, unsigned seed) {
    DeepPicture p(w, h, kind == PageKind::PalettePicture ? 3 : channels, kind == PageKind::PalettePicture ? 8 : bits);
    std::mt19937 rng(seed);
    if (kind == PageKind::PalettePicture) {
        for (std::size_t i = 0; i < p.samples.size(); i += 3) {
            const unsigned index = rng() & 0xff;
            p.samples[i] = std::uint16_t(index * 257);
            p.samples[i + 1] = std::uint16_t((255 - index) * 257);
            p.samples[i + 2] = std::uint16_t(index / 2 * 257);
        }
        return {kind, p};
    }
    for (std::uint16_t& s : p.samples) s = bits == 16 ? std::uint16_t(rng()) : std::uint16_t((rng() & 0xff) * 257);
    return {kind, p};
}

void writePage(TIFF* t, const Page& page, int subDirectories, std::uint16_t orientation = 0) {
    const DeepPicture& p = page.picture;
    const bool palette = page.kind == PageKind::PalettePicture;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(p.width));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(p.height));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, std::uint16_t(p.bitsPerSample));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, std::uint16_t(palette ? 1 : p.channels));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC,
                 palette ? PHOTOMETRIC_PALETTE : p.channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, std::uint32_t(7));
    if (page.kind == PageKind::Thumbnail) TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
    if (orientation) TIFFSetField(t, TIFFTAG_ORIENTATION, orientation);
    std::vector<std::uint16_t> red(256), green(256), blue(256);
    for (int i = 0; i < 256; ++i) {
        red[std::size_t(i)] = std::uint16_t(i * 257);
        green[std::size_t(i)] = std::uint16_t((255 - i) * 257);
        blue[std::size_t(i)] = std::uint16_t(i / 2 * 257);
    }
    if (palette) TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    std::vector<std::uint64_t> offsets(std::size_t(subDirectories), 0);
    if (subDirectories > 0) TIFFSetField(t, TIFFTAG_SUBIFD, std::uint16_t(subDirectories), offsets.data());
    const std::size_t perRow = palette ? std::size_t(p.width) : std::size_t(p.width) * std::size_t(p.channels);
    std::vector<std::uint8_t> row(perRow * std::size_t(p.bitsPerSample / 8));
    for (int y = 0; y < p.height; ++y) {
        const std::uint16_t* s = p.row(y);
        for (std::size_t i = 0; i < perRow; ++i) {
            const std::uint16_t v = palette ? s[3 * i] : s[i];
            if (p.bitsPerSample == 16) std::memcpy(&row[2 * i], &v, 2);
            else row[i] = std::uint8_t(v / 257);
        }
        ASSERT_GE(TIFFWriteScanline(t, row.data(), std::uint32_t(y), 0), 0);
    }
    ASSERT_TRUE(TIFFWriteDirectory(t));
}

// `pages` in the main chain; with `inSubDirectory`, the second page is the first page's sub-directory.
std::string writeTiff(const QTemporaryDir& dir, const std::vector<Page>& pages, bool inSubDirectory,
                      std::uint16_t orientation = 0) {
    const std::string path = dir.path().toStdString() + "/pages.tif";
    TIFF* t = TIFFOpen(path.c_str(), "w");
    EXPECT_NE(t, nullptr);
    for (std::size_t i = 0; i < pages.size(); ++i)
        writePage(t, pages[i], inSubDirectory && i == 0 ? 1 : 0, orientation);
    TIFFClose(t);
    return path;
}

struct PagesCase {
    const char* name;
    std::vector<PageKind> kinds;
    bool inSubDirectory;
    int channels;
    int bits;
    int picture; // the page that must be read
};

class TiffPages : public ::testing::TestWithParam<PagesCase> {};

} // namespace

TEST_P(TiffPages, TheFullPictureIsRead) {
    const PagesCase c = GetParam();
    std::vector<Page> pages;
    for (std::size_t i = 0; i < c.kinds.size(); ++i) {
        const bool small = c.kinds[i] == PageKind::Thumbnail;
        pages.push_back(makePage(c.kinds[i], small ? 9 : 37, small ? 6 : 29, c.channels, c.bits, unsigned(11 + i)));
    }
    QTemporaryDir dir;
    const std::string path = writeTiff(dir, pages, c.inSubDirectory);
    const DeepPicture& expected = pages[std::size_t(c.picture)].picture;
    EXPECT_EQ(thumbnailFirstTiff(path), c.picture != 0);

    int w = 0, h = 0;
    ASSERT_EQ(readPictureSize(path, w, h), DecodeStatus::Ok);
    EXPECT_EQ(w, expected.width);
    EXPECT_EQ(h, expected.height);
    const DeepExtent e = deepFileExtent(path);
    EXPECT_EQ(e.width, expected.width);
    EXPECT_EQ(e.height, expected.height);
    EXPECT_EQ(deepFileBits(path), expected.bitsPerSample);

    std::unique_ptr<MemorySurface> surface;
    ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
    EXPECT_EQ(surface->pictureWidth(), expected.width);
    EXPECT_EQ(surface->pictureHeight(), expected.height);
    EXPECT_EQ(surface->rounded(), deepToRoundedBgr(expected));

    DeepPicture deep;
    std::string why;
    ASSERT_EQ(readDeepPicture(path, deep, &why), DecodeStatus::Ok) << why;
    EXPECT_EQ(deep, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffPages,
    ::testing::Values(
        PagesCase{"ThumbnailThenPicture", {PageKind::Thumbnail, PageKind::Picture}, false, 3, 8, 1},
        PagesCase{"ThumbnailThenSixteenBitPicture", {PageKind::Thumbnail, PageKind::Picture}, false, 3, 16, 1},
        PagesCase{"ThumbnailThenGreyPicture", {PageKind::Thumbnail, PageKind::Picture}, false, 1, 8, 1},
        PagesCase{"TwoThumbnailsThenPicture", {PageKind::Thumbnail, PageKind::Thumbnail, PageKind::Picture}, false, 3, 8, 2},
        PagesCase{"PictureInTheThumbnailsSubDirectory", {PageKind::Thumbnail, PageKind::Picture}, true, 3, 8, 1},
        PagesCase{"SixteenBitPictureInASubDirectory", {PageKind::Thumbnail, PageKind::Picture}, true, 3, 16, 1},
        PagesCase{"ThumbnailThenPalettePicture", {PageKind::Thumbnail, PageKind::PalettePicture}, false, 3, 8, 1},
        PagesCase{"PictureThenThumbnail", {PageKind::Picture, PageKind::Thumbnail}, false, 3, 8, 0},
        PagesCase{"AThumbnailAlone", {PageKind::Thumbnail}, false, 3, 8, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The picture behind a thumbnail in a layout libtiff's RGBA reader decodes (a palette) comes in the
// order the file stores it, as a picture read sample by sample does, whatever the file's
// orientation tag: only the series' tag turns pictures, and it turns them all alike.
TEST(TiffPages, APalettePictureBehindAThumbnailComesAsStoredWhateverItsTag) {
    for (const std::uint16_t orientation : {ORIENTATION_BOTRIGHT, ORIENTATION_RIGHTTOP, ORIENTATION_LEFTBOT}) {
        SCOPED_TRACE(orientation);
        const std::vector<Page> pages = {makePage(PageKind::Thumbnail, 9, 6, 3, 8, 3),
                                         makePage(PageKind::PalettePicture, 37, 29, 3, 8, 4)};
        QTemporaryDir dir;
        const std::string path = writeTiff(dir, pages, false, orientation);
        DeepPicture deep;
        std::string why;
        ASSERT_EQ(readDeepPicture(path, deep, &why), DecodeStatus::Ok) << why;
        EXPECT_EQ(deep, pages[1].picture);
        std::unique_ptr<MemorySurface> surface;
        ASSERT_EQ(decodeToSurface(path, surface), DecodeStatus::Ok);
        EXPECT_EQ(surface->rounded(), deepToRoundedBgr(pages[1].picture));
    }
}
