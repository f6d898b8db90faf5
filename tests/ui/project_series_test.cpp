// Projects whose pictures moved with them or no longer fit the stored montage, projects written by
// orvanta-cli, and projects of 16-bit series.
#include "project_rig.h"

#include "cli_like.h"
#include "support/oriented_pictures.h"
#include "input/deep_reader.h"
#include "output/deep_writer.h"
#include "output/picture_metadata.h"
#include "settings/project_file.h"
#include "ui/montage_windows.h"

#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

using namespace orv;
using namespace orv::testing;

namespace {

// An XMP packet with a rating, as a photo manager writes it.
const char* const kRatedXmp =
    "<?xpacket begin=\"\xef\xbb\xbf\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Rating=\"4\"/>"
    "</rdf:RDF></x:xmpmeta><?xpacket end=\"w\"?>";

// A folder holding the project and its pictures, moved: the project names the pictures where they
// were. Open Project reads them from the project's own folder and says so; the file-name box shows
// them there, Save a Project stores that place, and the recent entry opens it without a word.
TEST(OpenProject, AProjectMovedWithItsPicturesLoadsThemFromItsFolderAndIsSavedThere) {
    ProjectRig rig;
    rig.makeAndSave();
    const QImage saved = rig.montagePicture();
    QTemporaryDir elsewhere;
    const std::string moved = elsewhere.path().toStdString() + "/shots/";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(moved)));
    for (const char* name : {"rock01.bmp", "rock02.bmp", "rock03.bmp", "rock01.mon", "rock01.vrk"})
        ASSERT_TRUE(QFile::rename(QString::fromStdString(rig.files.path(name)), QString::fromStdString(moved + name)));
    rig.form->textFileName()->setText("");

    rig.open(moved + "rock01.mon");
    ASSERT_EQ(rig.prompter.shown.size(), 1u) << rig.prompter.shown.back().text;
    EXPECT_EQ(rig.prompter.shown[0].title, kMovedSeriesTitle);
    EXPECT_EQ(rig.prompter.shown[0].text, movedSeriesText(rig.first, moved));
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), moved + "rock01.bmp");
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.montagePicture(), saved);

    rig.prompter.shown.clear();
    rig.dialogs->chooseFile(QString::fromStdString(moved + "rock01.mon"));
    entry(rig, "mnuSave")->trigger();
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(readProjectSettings(moved + "rock01.mon").firstFileName, moved + "rock01.bmp");

    rig.form->textFileName()->setText("");
    rig.form->fillRecentFiles();
    ASSERT_EQ(rig.form->mnuRecentFile(0)->text().toStdString(), "project " + moved + "rock01");
    rig.form->mnuRecentFile(0)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), moved + "rock01.bmp");
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.montagePicture(), saved);
}

// A project whose pictures no longer fit its stored montage (a camera's orientation tag now turns
// them upright, a half turn keeping their sides; or they changed size) is said when it opens, and
// Smooth and retouching refuse the stored montage until it is made again: they would copy blocks
// of the turned or resized pictures into it.
TEST(OpenProject, PicturesThatNoLongerFitTheStoredMontageAreNotSmoothedOrRetouchedIntoIt) {
    struct Case {
        const char* label;
        int tag;      // the orientation tag the pictures carry when the project is opened
        QSize resize; // or their new size
    };
    for (const Case c : {Case{"half turn", 3, {}}, Case{"quarter turn", 6, {}}, Case{"resized", 1, {80, 52}}}) {
        SCOPED_TRACE(c.label);
        ProjectRig rig;
        for (int k = 1; k <= 3; ++k)
            orv::test::writeTaggedPng(rig.files.path("turn0" + std::to_string(k) + ".png"),
                                      texturedPicture(k, 3, QSize(60, 40)), 1, 8);
        const std::string first = rig.files.path("turn01.png");
        const std::string project = rig.files.path("turn01.mon");
        ASSERT_TRUE(rig.make(first).made);
        rig.dialogs->chooseFile(QString::fromStdString(project));
        entry(rig, "mnuSave")->trigger();
        // Written as an older version wrote it, before pictures were read upright.
        ASSERT_EQ(readAll(project).find("Camera orientation"), std::string::npos);
        const QImage saved = rig.montagePicture();
        for (int k = 1; k <= 3; ++k)
            orv::test::writeTaggedPng(rig.files.path("turn0" + std::to_string(k) + ".png"),
                                      texturedPicture(4 - k, 3, c.resize.isValid() ? c.resize : QSize(60, 40)), c.tag, 8);

        rig.prompter.shown.clear();
        rig.open(project);
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].title, kProjectResizedTitle);
        ASSERT_EQ(rig.montagePicture(), saved);

        rig.prompter.shown.clear();
        entry(rig, "mnuSmooth")->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].text, kSmoothSourcesGoneText);
        EXPECT_EQ(rig.montagePicture(), saved);

        // A stroke from picture 1 is refused as well.
        FormMontagePicture* w = rig.form->windows().montageWindow();
        w->menuAction("mnuRetouch")->trigger();
        rig.prompter.shown.clear();
        QTest::mousePress(w->PictureFile(), Qt::LeftButton, {}, QPoint(5, 5));
        QTest::mouseMove(w->PictureFile(), QPoint(30, 20));
        QTest::mouseRelease(w->PictureFile(), Qt::LeftButton, {}, QPoint(50, 30));
        EXPECT_EQ(rig.form->session().strokeCount({}), 0);
        EXPECT_EQ(rig.montagePicture(), saved);
        EXPECT_FALSE(rig.prompter.shown.empty());
        w->menuAction("mnuRetouch")->trigger();

        // Made again, the montage is the pictures' own and can be smoothed.
        ASSERT_TRUE(rig.form->makeMontage().made);
        rig.prompter.shown.clear();
        entry(rig, "mnuSmooth")->trigger();
        for (const Prompt& p : rig.prompter.shown) EXPECT_NE(p.text, kSmoothSourcesGoneText);
    }
}

// --- orvanta-cli ----------------------------------------------------------------------------------

TEST(CliProject, ABatchProjectOpensWithTheSameMontageMapAndProperties) {
    ProjectRig rig;
    const std::string project = rig.files.path("batch.mon");
    const CliRun cli = runCli({"-q", "-i", "12", "-m", "1", "--ignore", "2", "--offsets", "30,20;33,21;29,19", "--area", "min",
                               "-o", QString::fromStdString(rig.files.path("batch.bmp")), "--map",
                               QString::fromStdString(rig.files.path("batch-map.txt")), "--report",
                               QString::fromStdString(rig.files.path("batch-report.txt")), "--save-project",
                               QString::fromStdString(project), QString::fromStdString(rig.first)});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(readAll(project), "[project]\r\n" + readAll(rig.files.path("batch-report.txt")) + "\r\n");

    rig.open(project);
    ASSERT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.montagePicture(), rgb(QImage(QString::fromStdString(rig.files.path("batch.bmp")))));
    EXPECT_EQ(rig.map(), readAll(rig.files.path("batch-map.txt")));
    EXPECT_EQ(rig.state.montage.main().properties, readAll(rig.files.path("batch-report.txt")));
    EXPECT_EQ(rig.form->montageMethod(), 1);
    EXPECT_TRUE(rig.form->mnuignoreImage(1)->isChecked());
    EXPECT_TRUE(entry(rig, "mnuActivateOffsetsMin")->isChecked());
    EXPECT_EQ(rig.form->windows().existingSourceWindow(3)->target().centre(), (ImageOffset{29, 19}));

    // Made again in the program, the montage is the batch run's.
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_EQ(rig.montagePicture(), rgb(QImage(QString::fromStdString(rig.files.path("batch.bmp")))));
}

TEST(CliProject, OpenProjectMakesTheSameMontageAgain) {
    ProjectRig rig;
    rig.form->windows().sourceWindow(1)->centreTargetOn(20, 15);
    ASSERT_EQ(rig.load(rig.first), LoadOutcome::Loaded);
    rig.form->windows().existingSourceWindow(2)->centreTargetOn(22, 16);
    entry(rig, "mnuAddOffsets")->trigger();
    entry(rig, "mnuActivateOffsetsMax")->trigger();
    rig.form->setMontageMethod(3);
    ASSERT_TRUE(rig.make(rig.first, "14").made);
    rig.dialogs->chooseFile(QString::fromStdString(rig.project));
    entry(rig, "mnuSave")->trigger();

    const CliRun cli = runCli({"-q", "-o", QString::fromStdString(rig.files.path("again.bmp")), "--report",
                               QString::fromStdString(rig.files.path("again.txt")), "--open-project",
                               QString::fromStdString(rig.project)});
    ASSERT_EQ(cli.exitCode, 0) << cli.err;
    EXPECT_EQ(rgb(QImage(QString::fromStdString(rig.files.path("again.bmp")))), rig.montagePicture());
    EXPECT_EQ(readAll(rig.files.path("again.txt")), rig.state.montage.main().properties);

    const CliRun missing = runCli({"-q", "--open-project", QString::fromStdString(rig.files.path("none.mon"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot find the project"), std::string::npos);
}

} // namespace

// --- a 16-bit series ------------------------------------------------------------------------------

// Pyramid Focus's montage comes back from a project at 8 bits: saved as TIFF or PNG it stays at 8
// bits, and the window says so and why after the file is written, for the File menu's Save As and
// the montage window's own.
TEST(DeepProject, APyramidMontageOpenedFromAProjectSaysItIsSavedAtEightBits) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    rig.form->mnusimpleCol(int(FocusMethod::Pyramid))->trigger();
    ASSERT_TRUE(rig.make(rig.files.path("d01.tif")).made);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("d.mon")));
    entry(rig, "mnuSave")->trigger();

    MontageRig other;
    other.prompter.answerNext(PromptAnswer::No);
    other.dialogs->chooseFile(QString::fromStdString(rig.files.path("d.mon")));
    entry(other, "mnuOpenProject")->trigger();
    other.prompter.shown.clear();
    for (const char* name : {"m.tif", "w.png"}) {
        const std::string saved = rig.files.path(name);
        other.dialogs->chooseFile(QString::fromStdString(saved));
        if (name[0] == 'm')
            other.form->action(Command::SaveMontageAs)->trigger();
        else
            other.form->windows().montageWindow()->action(Command::PictureSaveAs)->trigger();
        ASSERT_EQ(other.prompter.shown.size(), 2u) << name;
        EXPECT_EQ(other.prompter.shown[0].text, "File  " + saved + "  created.");
        EXPECT_EQ(other.prompter.shown[1].icon, PromptIcon::Exclamation);
        EXPECT_EQ(other.prompter.shown[1].text, "The file was written, but:\nthe montage is saved at 8 bits per sample: "
                                                "a project keeps it at 8 bits (make the montage again)");
        EXPECT_LE(QImage(QString::fromStdString(saved)).depth(), 32) << name;
        other.prompter.shown.clear();
    }

    // The montage made again is saved at 16 bits, with nothing more to say.
    ASSERT_TRUE(other.make(rig.files.path("d01.tif")).made);
    other.prompter.shown.clear();
    other.dialogs->chooseFile(QString::fromStdString(rig.files.path("again.tif")));
    other.form->action(Command::SaveMontageAs)->trigger();
    EXPECT_EQ(other.prompter.shown.size(), 1u);
    EXPECT_GE(QImage(QString::fromStdString(rig.files.path("again.tif"))).depth(), 48);
}

// An aligned montage cut to the minimum area is smaller than its pictures: opened again from
// unchanged pictures it is no change of size; from pictures smaller than it, it is.
TEST(OpenProject, AnAlignedMinimumMontageSmallerThanItsPicturesIsNoChangeOfSize) {
    MontageRig rig;
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + "/make-sample-series",
            {QString::fromStdString(rig.files.path("")), "--count", "3", "--size", "96x72", "--scene", "natural",
             "--shift-step", "3,2", "--prefix", "a"});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0);
    rig.form->action(Command::AlignImages)->trigger();
    entry(rig, "mnuActivateOffsetsMin")->trigger();
    ASSERT_TRUE(rig.make(rig.files.path("a01.bmp")).made);
    const QSize made = rig.montagePicture().size();
    ASSERT_LT(made.width(), 96);
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("a.mon")));
    entry(rig, "mnuSave")->trigger();
    rig.prompter.shown.clear();

    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("a.mon")));
    entry(rig, "mnuOpenProject")->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.montagePicture().size(), made);

    writeTexturedSeries(rig.files, "a", 3, QSize(made.width() - 8, made.height()));
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("a.mon")));
    entry(rig, "mnuOpenProject")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].title, kProjectResizedTitle);
    EXPECT_EQ(rig.montagePicture().size(), made);
}

namespace {

// The picture of a 16-bit file `file`, read at full depth as it stands.
DeepPicture deepFile(const std::string& file) {
    DeepPicture p;
    EXPECT_EQ(readDeepPicture(file, p), DecodeStatus::Ok) << file;
    return p;
}

} // namespace

// A source window's picture of a 16-bit file is saved as TIFF and PNG at 16 bits, the file's own
// samples, and as JPEG or BMP at 8; each copy but the BMP keeps the file's metadata, with nothing
// more to say. A file written anew since its window read it no longer holds the window's picture:
// the window's 8-bit picture is saved then, and the user told so and why.
TEST(DeepProject, ASourceWindowOfASixteenBitSeriesIsSavedAtSixteenBits) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    const std::string second = rig.files.path("d02.tif");
    {
        QFile f(QString::fromStdString(second));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const DeepPicture p = deepFile(second);
        std::vector<std::string> problems;
        const PictureMetadata camera{{}, kRatedXmp, {}};
        const std::vector<std::uint8_t> tagged =
            withMetadata({bytes.begin(), bytes.end()}, camera, p.width, p.height, problems);
        ASSERT_TRUE(problems.empty()) << problems[0];
        f.close();
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(tagged.data()), qint64(tagged.size()));
    }
    const DeepPicture original = deepFile(second);
    ASSERT_EQ(original.bitsPerSample, 16);
    rig.state.programFolder = QCoreApplication::applicationDirPath().toStdString() + "/"; // orvantajpeg's
    ASSERT_EQ(rig.load(rig.files.path("d01.tif")), LoadOutcome::Loaded);
    FormPicture* window = rig.form->windows().existingSourceWindow(2);
    ASSERT_NE(window, nullptr);
    const QImage shown = window->PictureFile()->picture().convertToFormat(QImage::Format_RGB888);
    // Saves the window's picture as `name`: JPEG without a word when all went well, the others
    // saying the file was created.
    auto save = [&](const std::string& name) {
        rig.prompter.shown.clear();
        const std::string saved = rig.files.path(name);
        rig.dialogs->chooseFile(QString::fromStdString(saved));
        window->action(Command::PictureSaveAs)->trigger();
        if (QString::fromStdString(name).endsWith(".jpg")) return saved;
        EXPECT_FALSE(rig.prompter.shown.empty()) << name;
        if (!rig.prompter.shown.empty()) { EXPECT_EQ(rig.prompter.shown[0].text, "File  " + saved + "  created.") << name; }
        return saved;
    };
    auto rated = [](const std::string& file) {
        std::vector<std::string> problems;
        return readPictureMetadata(file, problems).xmp.find("Rating") != std::string::npos;
    };
    for (const char* name : {"copy.tif", "copy.png", "copy.jpg", "copy.bmp"}) {
        const std::string saved = save(name);
        EXPECT_EQ(rig.prompter.shown.size(), name[5] == 'j' ? 0u : 1u)
            << name << ": " << (rig.prompter.shown.empty() ? "" : rig.prompter.shown.back().text);
        const bool deep = name[5] == 't' || name[5] == 'p';
        if (deep) {
            const DeepPicture copy = deepFile(saved);
            EXPECT_EQ(copy.bitsPerSample, 16) << name;
            EXPECT_EQ(copy.channels, original.channels) << name;
            EXPECT_TRUE(copy.samples == original.samples) << name;
        } else {
            const QImage copy(QString::fromStdString(saved));
            EXPECT_LE(copy.depth(), 32) << name;
            if (name[5] == 'b') { EXPECT_EQ(copy.convertToFormat(QImage::Format_RGB888), shown); }
        }
        EXPECT_EQ(rated(saved), name[5] != 'b') << name;
    }

    // Written anew (picture 3's pixels) after its window read it: the window's picture at 8 bits.
    QFile::remove(QString::fromStdString(second));
    ASSERT_TRUE(QFile::copy(QString::fromStdString(rig.files.path("d03.tif")), QString::fromStdString(second)));
    const std::string changed = save("changed.png");
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[1].icon, PromptIcon::Exclamation);
    EXPECT_EQ(rig.prompter.shown[1].text, "The file was written, but:\nthe picture is saved at 8 bits per sample: " +
                                              second + " was changed after its window read it");
    const QImage eight(QString::fromStdString(changed));
    EXPECT_LE(eight.depth(), 32);
    EXPECT_EQ(eight.convertToFormat(QImage::Format_RGB888), shown);

    // The window of an 8-bit picture has nothing to add.
    writeTexturedSeries(rig.files, "e", 2, QSize(40, 30));
    ASSERT_EQ(rig.load(rig.files.path("e01.bmp")), LoadOutcome::Loaded);
    window = rig.form->windows().existingSourceWindow(2);
    save("e.tif");
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
}

namespace {

// Writes `bytes` to `path` as another file under that name: written beside it, then renamed over
// it (as camera software and most editors replace a file).
void replaceFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string beside = path + ".new";
    std::ofstream(beside, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    ASSERT_EQ(std::rename(beside.c_str(), path.c_str()), 0);
}

} // namespace

// A source window's file re-shot after the window read it holds another photograph, even where
// its 8-bit view is the window's picture: the copy takes neither its 16-bit samples nor its
// metadata, and the user is told both; its Copy is the window's 8-bit picture. Written again at 8 bits (without metadata), the file no
// longer looks 16-bit, and the window's copy still says why it is not. Read anew, the series is the file as it is now.
TEST(DeepProject, ASourceWindowsFileChangedSinceItWasReadLendsItsCopyNeitherDepthNorMetadata) {
    MontageRig rig;
    writeSixteenBitSeries(rig);
    rig.state.programFolder = QCoreApplication::applicationDirPath().toStdString() + "/"; // orvantajpeg's
    ASSERT_EQ(rig.load(rig.files.path("d01.tif")), LoadOutcome::Loaded);
    FormPicture* window = rig.form->windows().existingSourceWindow(2);
    ASSERT_NE(window, nullptr);
    const QImage shown = window->PictureFile()->picture().convertToFormat(QImage::Format_RGB888);
    const std::string second = rig.files.path("d02.tif");

    // The same 8-bit picture with other low bits, rated by another camera.
    DeepPicture reshot = deepFile(second);
    ASSERT_EQ(reshot.bitsPerSample, 16);
    for (std::uint16_t& v : reshot.samples) v = std::uint16_t(eightBitsOf(v) * 257);
    ASSERT_FALSE(reshot.samples == deepFile(second).samples);
    std::vector<std::string> problems;
    replaceFile(second, withMetadata(encodeDeepTiff(reshot, 16), PictureMetadata{{}, kRatedXmp, {}}, reshot.width,
                                     reshot.height, problems));
    ASSERT_TRUE(problems.empty()) << problems[0];
    ASSERT_EQ(deepFileBits(second), 16);

    const std::string noDepth = "the picture is saved at 8 bits per sample: " + second + " was changed after its window read it";
    const std::string noMetadata =
        "the picture is saved without the camera metadata: " + second + " was changed after it was read";
    // Saves the window's picture as `name`; returns what was said after the file's creation.
    auto save = [&](const std::string& name) {
        rig.prompter.shown.clear();
        const std::string saved = rig.files.path(name);
        rig.dialogs->chooseFile(QString::fromStdString(saved));
        window->action(Command::PictureSaveAs)->trigger();
        std::vector<Prompt> said = rig.prompter.shown;
        if (!said.empty() && said[0].text == "File  " + saved + "  created.") said.erase(said.begin());
        return said;
    };
    auto rated = [](const std::string& file) {
        std::vector<std::string> problems;
        return readPictureMetadata(file, problems).xmp.find("Rating") != std::string::npos;
    };
    for (const char* name : {"r.tif", "r.png", "r.jpg"}) {
        const std::vector<Prompt> said = save(name);
        const bool deepFormat = name[2] != 'j';
        ASSERT_EQ(said.size(), 1u) << name;
        EXPECT_EQ(said[0].icon, PromptIcon::Exclamation) << name;
        EXPECT_EQ(said[0].text, "The file was written, but:\n" + noMetadata + (deepFormat ? "\n" + noDepth : ""))
            << name;
        const QImage copy(QString::fromStdString(rig.files.path(name)));
        EXPECT_LE(copy.depth(), 32) << name;
        if (deepFormat) { EXPECT_EQ(copy.convertToFormat(QImage::Format_RGB888), shown) << name; }
        EXPECT_FALSE(rated(rig.files.path(name))) << name;
    }

    // The clipboard takes the window's own 8-bit picture too, not the new file's samples.
    QGuiApplication::clipboard()->clear();
    window->action(Command::PictureCopy)->trigger();
    const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(copied, nullptr);
    const QImage png = QImage::fromData(copied->data(QStringLiteral("image/png")), "PNG");
    EXPECT_NE(png.depth(), 64); // no 16-bit form
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888), shown);

    // Written again at 8 bits: the copy is still the window's picture at 8 bits, and says why.
    DeepPicture eight = reshot;
    eight.bitsPerSample = 8;
    replaceFile(second, encodeDeepTiff(eight, 8));
    ASSERT_EQ(deepFileBits(second), 8);
    const std::vector<Prompt> said = save("e.png");
    ASSERT_EQ(said.size(), 1u);
    EXPECT_EQ(said[0].text, "The file was written, but:\n" + noDepth);
    EXPECT_EQ(QImage(QString::fromStdString(rig.files.path("e.png"))).convertToFormat(QImage::Format_RGB888), shown);

    // Loaded again, picture 2 is the 8-bit file it is now: its copy has nothing more to say.
    ASSERT_EQ(rig.load(rig.files.path("d01.tif")), LoadOutcome::Loaded);
    window = rig.form->windows().existingSourceWindow(2);
    EXPECT_TRUE(save("again.png").empty());
    window = rig.form->windows().existingSourceWindow(1);
    EXPECT_TRUE(save("first.png").empty());
    EXPECT_GE(QImage(QString::fromStdString(rig.files.path("first.png"))).depth(), 48);
}

// A project whose picture cannot be read leaves the montage window waiting for a montage that was
// never made: saving, copying, printing or editing it says there is no montage, as without the
// window, rather than asking for a name and failing with error 5.
TEST(OpenProject, AfterAMissingBitmapTheMontageCommandsSayThereIsNoMontage) {
    ProjectRig rig;
    rig.files.writeText("x.mon", "[project]\r\n\r\n  First file name =" + rig.first +
                                     "\r\n  Increment size =20\r\n  Montage made from dominant image numbers:\r\n123\r\n\r\n");
    rig.open(rig.files.path("x.mon"));
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    ASSERT_TRUE(rig.form->windows().montageWindow()->isVisible());
    const std::size_t dialogs = rig.dialogs->requests.size();
    for (const auto& [command, verb] : {std::pair{Command::SaveMontageAs, "save"}, std::pair{Command::CopyMontage, "copy"},
                                        std::pair{Command::PrintMontage, "print"}, std::pair{Command::EditMontage, "edit"}}) {
        rig.prompter.shown.clear();
        rig.form->action(command)->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << verb;
        EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                                 std::string("You have not got a Montage image to ") + verb + ".",
                                                 "Make one, then try again"}));
    }
    // The montage window's own entries say the same, and its blank picture goes nowhere.
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    for (const auto& [command, verb] : {std::pair{Command::PictureSaveAs, "save"}, std::pair{Command::PictureCopy, "copy"},
                                        std::pair{Command::PicturePrint, "print"}, std::pair{Command::PictureEditor, "edit"}}) {
        rig.prompter.shown.clear();
        rig.form->windows().montageWindow()->action(command)->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 1u) << verb;
        EXPECT_EQ(rig.prompter.shown[0].text, std::string("You have not got a Montage image to ") + verb + ".");
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_EQ(rig.dialogs->requests.size(), dialogs);
}

// Its Save Depth Map asked for a name, then failed with "error 5 (Invalid procedure call or
// argument)": there is no montage, so no map to draw.
TEST(OpenProject, AfterAMissingBitmapSaveDepthMapSaysThereIsNoMontage) {
    ProjectRig rig;
    rig.files.writeText("x.mon", "[project]\r\n\r\n  First file name =" + rig.first +
                                     "\r\n  Increment size =20\r\n  Montage made from dominant image numbers:\r\n123\r\n\r\n");
    rig.open(rig.files.path("x.mon"));
    ASSERT_TRUE(rig.form->windows().montageWindow()->isVisible());
    rig.prompter.shown.clear();
    const std::size_t dialogs = rig.dialogs->requests.size();
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("x depth.png")));
    rig.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0], (Prompt{PromptIcon::Critical, PromptButtons::Ok,
                                             "You have not got a Montage image to save.", "Make one, then try again"}));
    EXPECT_EQ(rig.dialogs->requests.size(), dialogs);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(rig.files.path("x depth.png"))));
}

// A project whose pictures are gone says that the first is missing, and no more: there are no
// pictures whose size could have changed.
TEST(OpenProject, MissingPicturesAreNoChangeOfSize) {
    ProjectRig rig;
    rig.makeAndSave();
    for (const char* name : {"rock01.bmp", "rock02.bmp", "rock03.bmp"})
        ASSERT_TRUE(QFile::remove(QString::fromStdString(rig.files.path(name))));
    MontageRig other;
    other.dialogs->chooseFile(QString::fromStdString(rig.project));
    entry(other, "mnuOpenProject")->trigger();
    ASSERT_EQ(other.prompter.shown.size(), 1u) << other.prompter.shown[1].text;
    EXPECT_EQ(other.prompter.shown[0].text, "So very sorry, but I can't find that file.");
}
