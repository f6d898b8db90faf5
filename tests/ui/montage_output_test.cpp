// The output commands on a real montage window after Make Montage: what each writes, copies or
// hands on is the montage window's picture, whole.
#include "montage_fixture.h"
#include "picture_output_fixture.h"

#include "output/bgr_image.h"
#include "output/gif_encoder.h"
#include "output/save_names.h"
#include "ui/clipboard_editor.h"
#include "ui/help_window.h"
#include "ui/print_picture.h"
#include "ui/save_picture.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QImageReader>
#include <QPrinter>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

class MontageOutput : public ::testing::Test {
protected:
    void SetUp() override {
        writeTexturedSeries(rig.files, "rock", 3, QSize(72, 44));
        ASSERT_TRUE(rig.make(rig.files.path("rock01.bmp"), "12").made);
        window = rig.form->montageWindow();
        ASSERT_TRUE(window && window->isVisible());
        montage = rig.montagePicture();
    }
    PictureSource source() { return pictureSourceOf(window, *window->PictureFile()); }
    SaveServices services() {
        return SaveServices{rig.prompter, *rig.dialog, QCoreApplication::applicationDirPath().toStdString() + "/"};
    }
    QString target(const char* name) { return out.path(QString::fromLatin1(name)); }

    OutputFolder out;
    MontageRig rig;
    FormMontagePicture* window = nullptr;
    QImage montage;
};

TEST_F(MontageOutput, SaveMontageAsProposesTheSeriesNameAndWritesPngJpegAndGif) {
    rig.dialogs->chooseFile(target("m.png"));
    rig.dialogs->chooseFile(target("m.jpg"));
    rig.dialogs->chooseFile(target("m.gif"));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(saveMontageAs(window->isVisible(), source(), services()).outcome, SaveOutcome::Saved) << i;
    EXPECT_EQ(rig.dialogs->requests.at(0).fileName.toStdString(), rig.files.path("rock01 montage"));

    EXPECT_TRUE(samePixels(QImage(target("m.png")), montage));
    QImageReader jpeg(target("m.jpg"));
    EXPECT_EQ(jpeg.format(), "jpeg");
    EXPECT_EQ(jpeg.read().size(), montage.size());
    GIF encoder;
    ASSERT_TRUE(encoder.SaveGIF(GifImage(montage).picture(), out.str("reference.gif"), false, Rgb{}));
    QFile gif(target("m.gif")), reference(out.path("reference.gif"));
    ASSERT_TRUE(gif.open(QIODevice::ReadOnly) && reference.open(QIODevice::ReadOnly));
    EXPECT_EQ(gif.readAll(), reference.readAll());
}

TEST_F(MontageOutput, ASourceWindowSavesACopy) {
    FormPicture* first = rig.form->sourceWindow(1);
    rig.dialogs->chooseFile(target("c.bmp"));
    EXPECT_EQ(SaveAsSub(pictureSourceOf(first, *first->PictureFile()), kCopySuffix, services()).outcome,
              SaveOutcome::Saved);
    EXPECT_EQ(rig.dialogs->requests.at(0).fileName.toStdString(), rig.files.path("rock01 copy"));
    EXPECT_TRUE(samePixels(QImage(target("c.bmp")), QImage(QString::fromStdString(rig.files.path("rock01.bmp")))));
}

TEST_F(MontageOutput, CopyAndEditorGetTheMontagesPixels) {
    ASSERT_TRUE(copyMontageToClipboard(window->isVisible(), source().picture, rig.prompter));
    EXPECT_TRUE(samePixels(QGuiApplication::clipboard()->image(), montage));

    QString handed;
    setShellOpener([&](const QUrl& url) {
        handed = url.toLocalFile();
        return true;
    });
    EditorFiles files;
    EXPECT_TRUE(openMontageInEditor(window->isVisible(), source().picture, files, rig.prompter));
    setShellOpener({});
    EXPECT_TRUE(samePixels(QImage(handed), montage));
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST_F(MontageOutput, PrintingToAPdfMakesOnePage) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(target("m.pdf"));
    rig.dialogs->choosePrinter();
    const PrintRequest request{source().picture, PrintSize::HalfPage, rig.state.layout.twipsPerPixel,
                               rig.state.layout.twipsPerPixelY, {}};
    EXPECT_EQ(printPicture(request, *rig.dialog, rig.prompter, printer), PrintOutcome::Printed);
    QFile pdf(target("m.pdf"));
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_EQ(pdfPageCount(bytes), 1);
}

} // namespace
