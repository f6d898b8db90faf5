// Saving in the desktop program: the progress strip shows "Saving" with how far it is, and Cancel
// or Esc stops the saving at the next band: the file that was there stays byte for byte, nothing
// is left beside it, nothing is said, and the montage still counts as unsaved.
#include "montage_fixture.h"

#include "ui/run_progress.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

QByteArray bytesOf(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeText(const std::string& path, const QByteArray& text) {
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

struct SaveCase {
    const char* label;
    Command command;
    const char* fileName;
    bool escape; // Esc instead of the button
};

struct SaveRig : MontageRig {
    std::string first;
    SaveRig() {
        writeTexturedSeries(files, "sav", 3, QSize(64, 48));
        first = files.path("sav01.bmp");
        form->runProgress()->setShowDelay(0);
        EXPECT_TRUE(make(first).made);
        prompter.shown.clear();
    }
    QStringList listing() const {
        return QDir(QString::fromStdString(files.folder())).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
};

class CancelSaving : public ::testing::TestWithParam<SaveCase> {};

TEST_P(CancelSaving, ShowsSavingWithItsCountAndKeepsTheOldFile) {
    const SaveCase& c = GetParam();
    SaveRig rig;
    const std::string target = rig.files.path(c.fileName);
    const std::string bitmap = c.command == Command::SaveProject ? projectBitmapName(target) : "";
    writeText(target, "the old file");
    if (!bitmap.empty()) writeText(bitmap, "the old bitmap");
    const QStringList before = rig.listing();
    if (c.escape) {
        rig.form->show();
        rig.form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    }

    // Cancel (or Esc) the moment the strip first shows the saving with its count.
    RunProgress* strip = rig.form->runProgress();
    QString phase;
    int maximum = -1;
    const QMetaObject::Connection watching =
        QObject::connect(strip->bar(), &QProgressBar::valueChanged, rig.form.get(), [&](int) {
            if (!phase.isEmpty() || !strip->phaseLabel()->text().startsWith(QStringLiteral("Saving"))) return;
            phase = strip->phaseLabel()->text();
            maximum = strip->bar()->maximum();
            if (c.escape) QTest::keyClick(QApplication::activeWindow() ? QApplication::activeWindow() : rig.form.get(), Qt::Key_Escape);
            else strip->cancelButton()->click();
        });
    rig.dialogs->chooseFile(QString::fromStdString(target));
    rig.form->action(c.command)->trigger();

    QObject::disconnect(watching);
    EXPECT_TRUE(phase.startsWith(QStringLiteral("Saving "))) << phase.toStdString();
    EXPECT_TRUE(phase.endsWith(QLatin1Char('%'))) << phase.toStdString();
    EXPECT_GT(maximum, 0);
    EXPECT_EQ(bytesOf(target), QByteArray("the old file"));
    if (!bitmap.empty()) {
        EXPECT_EQ(bytesOf(bitmap), QByteArray("the old bitmap"));
    }
    EXPECT_EQ(rig.listing(), before);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_TRUE(rig.state.montage.main().unsaved);
    EXPECT_TRUE(strip->isHidden());
    EXPECT_TRUE(rig.form->action(c.command)->isEnabled());

    // The next saving is whole.
    rig.dialogs->chooseFile(QString::fromStdString(target));
    rig.form->action(c.command)->trigger();
    EXPECT_NE(bytesOf(target), QByteArray("the old file"));
    EXPECT_FALSE(rig.state.montage.main().unsaved);
    const QImage saved = bitmap.empty() ? QImage(QString::fromStdString(target))
                                        : QImage(QString::fromStdString(bitmap), "BMP");
    EXPECT_EQ(saved.size(), QSize(64, 48));
}

INSTANTIATE_TEST_SUITE_P(Table, CancelSaving,
                         ::testing::Values(SaveCase{"bmp_button", Command::SaveMontageAs, "kept.bmp", false},
                                           SaveCase{"tiff_escape", Command::SaveMontageAs, "kept.tif", true},
                                           SaveCase{"project_button", Command::SaveProject, "kept.mon", false}),
                         [](const auto& info) { return std::string(info.param.label); });

} // namespace
