// A block montage of a 16-bit series made and saved at 16 bits: the figure Make Montage checks
// before it reads the series must cover what the run then holds, up to the end of the save (the
// montage assembled at full depth, the file encoded in memory, and the first picture's metadata
// written into it). What the run holds is the growth of the process's resident memory at its
// highest, as the kernel counts it against a memory limit: the metadata library's copies of the
// file come and go within one call, where no sampling from outside sees them for certain.
#include "session/montage_session.h"
#include "session/prompting_observer.h"

#include "base/runtime_error.h"

#include "input/deep_reader.h"
#include "input/memory_budget.h"
#include "output/deep_writer.h"
#include "output/metadata_samples.h"
#include "output/picture_metadata.h"

#include <QFile>
#include <QTemporaryDir>

#include <exiv2/exiv2.hpp>
#include "support/allocator_figures.h"
#include "support/own_process.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace orv {
namespace {

using test::allocatedBytes;
using test::allocatorCounts;

// A "Vm..." line of /proc/self/status in bytes; 0 when there is none.
std::uint64_t statusBytes(const std::string& key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.compare(0, key.size() + 1, key + ":") == 0) {
            std::istringstream value(line.substr(key.size() + 1));
            std::uint64_t kb = 0;
            value >> kb;
            return kb * 1024;
        }
    return 0;
}

// Sets the resident set's highest mark back to what it is now; false where the system cannot.
bool resetPeakResident() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return bool(out) && statusBytes("VmHWM") > 0 && statusBytes("VmHWM") <= statusBytes("VmRSS") + (std::uint64_t(1) << 20);
}

PictureMetadata cameraMetadata() {
    Exiv2::ExifData exif;
    exif["Exif.Image.Model"] = "Bench Camera 7";
    exif["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 125);
    exif["Exif.Photo.DateTimeOriginal"] = "2026:03:04 05:06:07";
    PictureMetadata m;
    m.exif = test::exifBlock(exif);
    return m;
}

struct SaveCase {
    const char* name;
    const char* ending; // the montage's format
    bool metadata;      // the first picture carries EXIF, written into the montage
};

class DeepSaveMemory : public ::testing::TestWithParam<SaveCase> {};

TEST_P(DeepSaveMemory, TheFigureCheckedBeforeTheSeriesIsReadCoversTheSave) {
    if (!test::runsAlone()) return test::runInAProcessOfItsOwn();
    if (!allocatorCounts()) GTEST_SKIP() << "the allocator does not report this process's allocations";
    if (!resetPeakResident()) GTEST_SKIP() << "the resident set's highest mark cannot be set back here";
    const SaveCase c = GetParam();
    // Blocks from 256 KB up taken from the system and given back when freed, as the programs'
    // pictures are: memory freed in the allocator's pool and taken again would not show.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const int W = 1024, H = 768, count = 3;
    QTemporaryDir dir;
    auto path = [&](const std::string& name) { return dir.filePath(QString::fromStdString(name)).toStdString(); };
    // PNG pictures: read through a stream, where libtiff would map a TIFF into the resident set
    // (pages the kernel can drop, not counted against the run).
    for (int k = 1; k <= count; ++k) {
        // Noise of another strength in each picture: the blocks come from every picture, and the
        // PNG files are as large as their samples.
        DeepPicture d(W, H, 3, 16);
        std::uint32_t state = 12345u * std::uint32_t(k);
        for (std::uint16_t& v : d.samples) {
            state = state * 1664525u + 1013904223u;
            v = std::uint16_t(20000 + (state >> 16) % std::uint32_t(4000 * k));
        }
        std::vector<std::uint8_t> file = encodeDeepPng(d, 16);
        std::vector<std::string> problems;
        if (k == 1 && c.metadata) file = withMetadata(file, cameraMetadata(), W, H, problems);
        std::ofstream(path("s" + std::to_string(k) + ".png"), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    const std::string first = path("s1.png");
    std::vector<std::string> problems;
    ASSERT_EQ(readPictureMetadata(first, problems).empty(), !c.metadata);
    const std::uint64_t figure =
        deepSeriesMemoryNeed(std::vector<DeepPictureSize>(count, DeepPictureSize{W, H, 3}),
                             c.metadata ? SavedMetadata::WrittenIn : SavedMetadata::None);

    // Made and saved twice, measured the second time: the libraries' code is then in memory, as it
    // is when a program checks the memory left after it started.
    std::uint64_t held = 0;
    for (int run = 0; run < 2; ++run) {
        RecordingPrompter prompter;
        SessionState state;
        PromptingObserver observer{prompter};
        MontageSession session{state, observer};
        MontageRequest r;
        r.firstFileName = first;
        r.incrementText = "20";
        std::string said;
        SaveMontageOptions options{{}, std::nullopt, [&](const std::string& line) { said += line + "\n"; }};
        const std::string out = path(std::string("montage") + c.ending);
        // Free memory the allocator keeps is given back first: taken again, it would not show.
        malloc_trim(0);
        ASSERT_TRUE(resetPeakResident());
        const std::uint64_t before = statusBytes("VmRSS");
        ASSERT_TRUE(session.makeMontage(r).made);
        ASSERT_EQ(session.saveMontage({}, out, options), "");
        held = statusBytes("VmHWM") - before;
        EXPECT_TRUE(prompter.shown.empty());
        EXPECT_EQ(said, "");
        DeepPicture saved;
        ASSERT_EQ(readDeepPicture(out, saved), DecodeStatus::Ok);
        EXPECT_EQ(saved.bitsPerSample, 16);
        EXPECT_EQ(readPictureMetadata(out, problems).empty(), !c.metadata);
    }
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    EXPECT_GE(figure, held) << "held " << held << " bytes, said " << figure;
    // Not so far above it that a series which fits is refused.
    EXPECT_LE(double(figure), 1.25 * double(held)) << "held " << held << " bytes, said " << figure;
}

INSTANTIATE_TEST_SUITE_P(BlockMethod, DeepSaveMemory,
                         ::testing::Values(SaveCase{"Tiff", ".tif", false}, SaveCase{"TiffWithMetadata", ".tif", true},
                                           SaveCase{"PngWithMetadata", ".png", true}),
                         [](const auto& info) { return std::string(info.param.name); });


class DeepSaveRoom : public ::testing::Test {
protected:
    void TearDown() override { setMemoryCeiling(0); }
};

TEST_F(DeepSaveRoom, ASaveThatDoesNotFitTheMemoryLeftIsRefusedWithTheMontageKept) {
    // Saved later than it was made (the desktop program keeps a montage until it is saved), a
    // montage whose 16-bit save no longer fits is error 7 before anything is read: the montage
    // stays, unsaved, and no file is written.
    const int W = 200, H = 152;
    QTemporaryDir dir;
    auto path = [&](const std::string& name) { return dir.filePath(QString::fromStdString(name)).toStdString(); };
    for (int k = 1; k <= 3; ++k) {
        DeepPicture d(W, H, 3, 16);
        std::uint32_t state = 777u * std::uint32_t(k);
        for (std::uint16_t& v : d.samples) {
            state = state * 1664525u + 1013904223u;
            v = std::uint16_t(20000 + (state >> 16) % std::uint32_t(4000 * k));
        }
        const std::vector<std::uint8_t> file = encodeDeepPng(d, 16);
        std::ofstream(path("r" + std::to_string(k) + ".png"), std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
    }
    RecordingPrompter prompter;
    SessionState state;
    PromptingObserver observer{prompter};
    MontageSession session{state, observer};
    MontageRequest r;
    r.firstFileName = path("r1.png");
    r.incrementText = "20";
    ASSERT_TRUE(session.makeMontage(r).made);
    const std::uint64_t made = pictureFingerprint(session.record({}).picture);
    // The montage at 16 bits, and beside it the larger of a picture read and the encoded file.
    const std::uint64_t need = std::uint64_t(W) * H * 6 + encodedPictureBytes(W, H, 3, 16);
    const std::string out = path("saved.tif");
    setMemoryCeiling(need - 1);
    try {
        session.saveMontage({}, out, SaveMontageOptions{});
        FAIL() << "the save went on";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 7);
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    EXPECT_TRUE(session.mainMontageUnsaved());
    EXPECT_EQ(pictureFingerprint(session.record({}).picture), made);
    setMemoryCeiling(need);
    EXPECT_EQ(session.saveMontage({}, out, SaveMontageOptions{}), "");
    DeepPicture saved;
    ASSERT_EQ(readDeepPicture(out, saved), DecodeStatus::Ok);
    EXPECT_EQ(saved.bitsPerSample, 16);
}

} // namespace
} // namespace orv
