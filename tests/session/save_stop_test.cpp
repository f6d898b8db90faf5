// Stopping a saving: Save Montage As (every format, 16-bit ones and the conversion program's JPEG
// included), Save Project and the depth map tell their observer how far they are and stop at the
// next band when it asks; the target stays byte for byte as it was and no temporary is left.
#include "base/deep_picture.h"
#include "base/runtime_error.h"
#include "output/deep_writer.h"
#include "session/conversion_run.h"

#include "band_picture.h"
#include "support/scoped_tmpdir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace orv {
namespace {

using testing::bandPicture;

// Stops when `stopWhen` says so at a saving report (n counts the reports with a known total).
class SavingObserver : public PromptingObserver {
public:
    using PromptingObserver::PromptingObserver;
    std::function<bool(int n, int done, int total)> stopWhen;
    int counted = 0;
    int eventsRun = 0;
    bool stop = false;
    std::vector<RunPhase> phases;
    void progress(RunPhase p, int done, int total) override {
        phases.push_back(p);
        EXPECT_GE(done, 0);
        if (total > 0) {
            EXPECT_LE(done, total);
        }
        if (p != RunPhase::Saving || total <= 0) return;
        ++counted;
        if (stopWhen && stopWhen(counted, done, total)) stop = true;
    }
    void processEvents() override { ++eventsRun; }
    bool stopRequested() override { return stop; }
};

std::string textOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// A series of three colour band pictures, 16-bit PNGs when `deep`.
struct SaveRig {
    QTemporaryDir dir;
    RecordingPrompter prompter;
    SessionState state;
    SavingObserver observer{prompter};
    MontageSession session{state, observer};
    // The temporary BMP of a JPEG save goes into the rig's folder, so that one listing shows every
    // file a saving could leave.
    orv::testing::ScopedTmpDir tmp{dir.path()};
    explicit SaveRig(bool deep) {
        state.programFolder = dir.path().toStdString() + "/";
        for (int k = 1; k <= 3; ++k) {
            const QImage band = bandPicture(k, 11u * k, true);
            if (!deep) {
                band.save(dir.filePath(QStringLiteral("s%1.bmp").arg(k)), "BMP");
                continue;
            }
            const QImage rgb = band.convertToFormat(QImage::Format_RGB888);
            DeepPicture p(rgb.width(), rgb.height(), 3, 16);
            for (int y = 0; y < rgb.height(); ++y)
                for (int x = 0; x < rgb.width() * 3; ++x) p.row(y)[x] = std::uint16_t(rgb.constScanLine(y)[x] * 257 + x % 200);
            const std::vector<std::uint8_t> bytes = encodeDeepPng(p, 16);
            std::ofstream(path(QStringLiteral("s%1.png").arg(k)), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
        }
        MontageRequest r;
        r.firstFileName = path(deep ? "s1.png" : "s1.bmp");
        r.incrementText = "10";
        EXPECT_TRUE(session.makeMontage(r).made);
        observer.phases.clear();
    }
    std::string path(const QString& name) const { return dir.filePath(name).toStdString(); }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name); }
};

std::string programs() { return QCoreApplication::applicationDirPath().toStdString() + "/"; }

// The saving a case runs, and whether it raises the stop.
enum class Saving { Montage, Project, DepthMap };

struct SaveStopCase {
    const char* label;
    Saving what;
    const char* fileName;
    bool deep;
    std::function<bool(int n, int done, int total)> stopWhen;
};

class StoppedSaving : public ::testing::TestWithParam<SaveStopCase> {};

TEST_P(StoppedSaving, LeavesTheOldFilesAsTheyWereNoTemporaryAndSaysNothing) {
    const SaveStopCase& c = GetParam();
    SaveRig rig(c.deep);
    const std::string target = rig.path(QString::fromLatin1(c.fileName));
    writeFile(target, "the old file");
    const std::string bitmap = c.what == Saving::Project ? projectBitmapName(target) : "";
    if (!bitmap.empty()) writeFile(bitmap, "the old bitmap");
    const QStringList before = rig.files();
    rig.observer.stopWhen = c.stopWhen;

    try {
        switch (c.what) {
        case Saving::Montage: {
            const std::string failed = rig.session.saveMontage({}, target, SaveMontageOptions{{}, programs(), {}});
            ADD_FAILURE() << "not stopped: " << failed;
            break;
        }
        case Saving::Project: rig.session.saveProject({}, target); ADD_FAILURE() << "not stopped"; break;
        case Saving::DepthMap: rig.session.writeDepthMap({}, target); ADD_FAILURE() << "not stopped"; break;
        }
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), kUserInterrupt) << e.description();
    }
    EXPECT_TRUE(rig.observer.stop);
    EXPECT_EQ(textOf(target), "the old file");
    if (!bitmap.empty()) {
        EXPECT_EQ(textOf(bitmap), "the old bitmap");
    }
    EXPECT_EQ(rig.files(), before);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_TRUE(std::all_of(rig.observer.phases.begin(), rig.observer.phases.end(),
                            [](RunPhase p) { return p == RunPhase::Saving; }));
    EXPECT_GT(rig.observer.eventsRun, 0); // the windows answer while it saves

    // Asked no more, the same saving goes through.
    rig.observer.stop = false;
    rig.observer.stopWhen = nullptr;
    switch (c.what) {
    case Saving::Montage: EXPECT_EQ(rig.session.saveMontage({}, target, SaveMontageOptions{{}, programs(), {}}), ""); break;
    case Saving::Project: rig.session.saveProject({}, target); break;
    case Saving::DepthMap: rig.session.writeDepthMap({}, target); break;
    }
    EXPECT_NE(textOf(target), "the old file");
    EXPECT_FALSE(QImage(QString::fromStdString(bitmap.empty() ? target : bitmap)).isNull());
}

bool atFirst(int n, int, int) { return n == 1; }
bool atMiddle(int, int done, int total) { return done >= total / 4; } // halfway through the encoding

INSTANTIATE_TEST_SUITE_P(
    Table, StoppedSaving,
    ::testing::Values(
        SaveStopCase{"bmp", Saving::Montage, "m.bmp", false, atFirst},
        SaveStopCase{"tiff_mid_encoding", Saving::Montage, "m.tif", false, atMiddle},
        SaveStopCase{"png", Saving::Montage, "m.png", false, atFirst},
        SaveStopCase{"deep_tiff_mid_encoding", Saving::Montage, "d.tif", true, atMiddle},
        SaveStopCase{"deep_tiff_last_row", Saving::Montage, "d.tif", true,
                     [](int, int done, int total) { return done == total / 2; }},
        SaveStopCase{"deep_png", Saving::Montage, "d.png", true, atFirst},
        // The conversion program: stopped while it runs, or refused the JPEG it has made ready.
        SaveStopCase{"jpeg_temporary_bmp", Saving::Montage, "m.jpg", false, atFirst},
        SaveStopCase{"jpeg_conversion_running", Saving::Montage, "m.jpg", false,
                     [](int n, int, int) { return n == 2; }},
        SaveStopCase{"jpeg_conversion_ready", Saving::Montage, "m.jpg", false,
                     [](int, int done, int total) { return done == total; }},
        SaveStopCase{"project_bitmap", Saving::Project, "p.mon", false, atFirst},
        SaveStopCase{"depth_map_png", Saving::DepthMap, "depth.png", false, atFirst}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StoppedSaving, ADeepMontageStopsBetweenThePicturesItReadsAgain) {
    SaveRig rig(true);
    const std::string target = rig.path("d.tif");
    const QStringList before = rig.files();
    rig.observer.stop = true; // asked before the first band
    EXPECT_THROW(rig.session.saveMontage({}, target, {}), RuntimeError);
    EXPECT_EQ(rig.files(), before);
    EXPECT_EQ(rig.observer.counted, 0); // stopped while the pictures were read
}

// The conversion program's run, with stand-in programs.
struct StandIn {
    QTemporaryDir dir;
    explicit StandIn(const char* script) {
        const QString program = dir.filePath("orvantajpeg");
        writeFile(program.toStdString(), script);
        QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    std::string folder() const { return dir.path().toStdString() + "/"; }
};

TEST(ConversionStop, AProgramStillWorkingIsEndedAndCountsAsStopped) {
    StandIn slow("#!/bin/sh\necho read\nexec sleep 30\n");
    int asked = 0;
    const ConversionRun run = runConversion(slow.folder(), "/nonexistent.bmp", "/nonexistent.jpg", [&](int) {
        return ++asked < 3;
    });
    EXPECT_TRUE(run.started);
    EXPECT_TRUE(run.stopped);
    EXPECT_FALSE(run.succeeded());
    EXPECT_EQ(asked, 3);
}

TEST(ConversionStop, AProgramThatFinishedAnywayHasWrittenAndIsNotStopped) {
    // A program that does not wait to be told: by the time it is asked to stop it has written.
    StandIn quick("#!/bin/sh\nexit 0\n");
    const ConversionRun run = runConversion(quick.folder(), "/nonexistent.bmp", "/nonexistent.jpg",
                                            [](int) { return false; });
    EXPECT_FALSE(run.stopped);
    EXPECT_TRUE(run.succeeded());
}

TEST(ConversionStop, TheProgramIsToldToWriteOnlyWhenReady) {
    // A stand-in that reports it is ready and says what it was told.
    StandIn echo("#!/bin/sh\necho ready\nread answer\necho \"told $answer\" >&2\nexit 4\n");
    int steps = -1;
    const ConversionRun run = runConversion(echo.folder(), "/nonexistent.bmp", "/nonexistent.jpg", [&](int s) {
        steps = s;
        return true;
    });
    EXPECT_EQ(steps, kConversionSteps);
    EXPECT_EQ(run.message, "told write");
    EXPECT_EQ(run.exitCode, 4);
}

} // namespace
} // namespace orv
