// Test rigs for Make Montage and the commands on a montage: textured focus series in which each
// picture is sharp in its own band, and a main window set up to make montages of them.
#pragma once

#include "event_watch.h"
#include "series_fixture.h"

#include "ui/run_progress.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv::testing {

inline std::uint32_t noiseAt(int x, int y, int seed) {
    std::uint32_t h = std::uint32_t(x) * 374761393u + std::uint32_t(y) * 668265263u + std::uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Picture k of `count`: full-contrast noise in vertical band k, a flat soft version elsewhere.
inline QImage texturedPicture(int k, int count, QSize size) {
    QImage img(size, QImage::Format_RGB888);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const int band = x * count / size.width() + 1;
            const std::uint32_t n = noiseAt(x, y, 7);
            const double amp = band == k ? 1.0 : 0.12 + 0.03 * k;
            auto ch = [&](int shift, int base) { return std::clamp(int(base + (int((n >> shift) & 255) - 128) * amp), 0, 255); };
            img.setPixel(x, y, qRgb(ch(0, 120 + 10 * k), ch(8, 128), ch(16, 140 - 8 * k)));
        }
    return img;
}

inline void writeTexturedSeries(const SeriesFolder& f, const std::string& prefix, int count,
                                QSize size, int bands = 0) {
    for (int k = 1; k <= count; ++k) {
        const std::string name = prefix + (k < 10 ? "0" : "") + std::to_string(k) + ".bmp";
        texturedPicture(k, bands ? bands : count, size).save(QString::fromStdString(f.path(name)), "BMP");
    }
}

struct MontageRig : MainWindowRig {
    MontageRig() {
        // Smoothing settings as the preferences' defaults give them; no automatic pass.
        state.smoothing.autoSmooth = 0;
        state.smoothing.edgeFactor = 0.1f;
        state.smoothing.focusFactor = 0.1f;
        state.smoothing.diffFactor = 100;
    }

    MakeOutcome make(const std::string& first, const std::string& increment = "20") {
        form->textFileName()->setText(QString::fromStdString(first));
        form->TextIncrement()->setText(QString::fromStdString(increment));
        return form->makeMontage();
    }

    // Writes the textured series prefix01.bmp, prefix02.bmp, ... and makes its montage.
    MakeOutcome makeTextured(const std::string& prefix, int count, QSize size, const std::string& increment = "20") {
        writeTexturedSeries(files, prefix, count, size);
        return make(files.path(prefix + "01.bmp"), increment);
    }

    // Runs `command` as its button or menu entry does, answering its question with `answer`.
    void runAnswering(Command command, PromptAnswer answer) {
        prompter.answerNext(answer);
        form->action(command)->trigger();
    }

    // Opens the project `name` by File > Open Project.
    void open(const std::string& name) {
        dialogs->chooseFile(QString::fromStdString(name));
        form->menuAction(QStringLiteral("mnuOpenProject"))->trigger();
    }

    // The montage as the montage window shows it.
    QImage montagePicture() { return form->windows().montageWindow()->PictureFile()->picture().convertToFormat(QImage::Format_RGB888); }
    std::string map() { return form->windows().usedWindow()->mapText(); }

    int promptsTitled(const std::string& title) const {
        int n = 0;
        for (const Prompt& p : prompter.shown) n += p.title == title;
        return n;
    }
};

// Stops the command under way at the first turn of the window events in which `now` holds.
inline void stopWhen(FormMontage& form, std::function<bool()> now) {
    whenTrue(
        &form, [&form, now = std::move(now)] { return form.commandRunning() && now(); },
        [&form] { form.runProgress()->requestStop(); });
}

// A 16-bit TIFF series d01.tif ... d03.tif in the rig's folder.
inline void writeSixteenBitSeries(MontageRig& rig) {
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/make-sample-series",
            {QString::fromStdString(rig.files.path("")), "--count", "3", "--size", "96x72", "--depth", "16", "--prefix", "d"});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0);
}

} // namespace orv::testing
