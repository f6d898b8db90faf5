// The rig of the retouching tests: a textured series of three made into a montage at block side
// 20, the montage window, and a drag with the left button as a user paints.
#pragma once

#include "montage_fixture.h"

#include "ui/retouch_commands.h"

#include <QAction>
#include <QTest>

#include <gtest/gtest.h>

namespace orv::testing {

struct RetouchRig : MontageRig {
    RetouchRig() {
        writeTexturedSeries(files, "r", 3, QSize(120, 80));
        const MakeOutcome made = make(files.path("r01.bmp"), "20");
        EXPECT_TRUE(made.made);
        plain = montagePicture();
    }
    // A test may hold a rig made for a comparison through this type.
    virtual ~RetouchRig() = default;
    FormMontagePicture* window() { return form->windows().montageWindow(); }
    PictureBox* box() { return window()->PictureFile(); }
    RetouchCommands& retouch() { return form->retouchCommands(); }
    void trigger(const char* entry) {
        QAction* a = window()->menuAction(QString::fromLatin1(entry));
        ASSERT_NE(a, nullptr) << entry;
        a->trigger();
    }
    // Turns retouching on and takes picture `source` by its key (0 leaves the source as it is).
    void startRetouching(int source) {
        trigger("mnuRetouch");
        if (source > 0) QTest::keyClick(window(), Qt::Key(Qt::Key_0 + source));
    }
    // The same with `brush` chosen in the brush dialog first.
    void startRetouching(BrushChoice brush, int source = 0) {
        dialogs->chooseBrush(brush);
        trigger("mnuRetouchBrush");
        startRetouching(source);
    }
    // Picture `n` of the series as its file holds it.
    QImage sourcePicture(int n) const {
        return QImage(QString::fromStdString(files.path(("r0" + std::to_string(n) + ".bmp").c_str()))).convertToFormat(QImage::Format_RGB888);
    }
    // Saves the project as `name` from the montage window.
    void saveProject(const std::string& name) {
        dialogs->chooseFile(QString::fromStdString(name));
        trigger("mnuSaveProject");
    }
    // A drag with the left button through `points` (box coordinates).
    void drag(std::initializer_list<QPoint> points) {
        auto p = points.begin();
        QTest::mousePress(box(), Qt::LeftButton, {}, *p);
        for (++p; p != points.end(); ++p) QTest::mouseMove(box(), *p);
        QTest::mouseRelease(box(), Qt::LeftButton, {}, *(points.end() - 1));
    }
    int strokes() { return form->session().strokeCount({}); }
    QImage plain;
};

} // namespace orv::testing
