// The temporary files the editor gets: private, and gone as soon as nobody needs them, never while
// an editor may still read one or while one holds work the user saved into it.
#include "picture_output_fixture.h"

#include "base/atomic_file.h"
#include "ui/clipboard_editor.h"
#include "ui/image_editor.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

class EditorFile : public ::testing::Test {
protected:
    void SetUp() override {
        setEditorStarter([](const ProgramStart&) { return true; }); // ended at once, as a launcher does
        setDefaultPngLookup([] { return std::optional<DesktopEntry>{}; });
    }
    void TearDown() override {
        setEditorStarter({});
        setDefaultPngLookup({});
    }
    // Opens the file and reads it whole, as an editor does; the file stays open while `held` lives.
    static void read(const std::string& path) {
        QFile f(QString::fromStdString(path));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        f.readAll();
    }
    static bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

    OutputFolder out;
    RecordingPrompter prompter;
    QImage picture = noisyPicture(30, 20);
    const std::string editor = "paintbox %f";
    const EditorFiles::Clock::time_point now = EditorFiles::Clock::now();
};

TEST_F(EditorFile, IsPrivateInAFolderOfItsOwnThatGoesWithTheFiles) {
    std::string folder;
    {
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        folder = files.folder();
        EXPECT_EQ(QFileInfo(QString::fromStdString(folder)).path(), out.path("tmp"));
        struct stat st{};
        ASSERT_EQ(::lstat(folder.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        for (const std::string& path : files.paths()) {
            EXPECT_EQ(QFileInfo(QString::fromStdString(path)).path().toStdString(), folder);
            ASSERT_EQ(::stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0600u);
        }
    }
    EXPECT_TRUE(out.temporaryFiles().isEmpty()) << out.temporaryFiles().join(',').toStdString();
}

// The editor has ended: the file goes once it was read, or, never seen read (an editor already
// running that a launcher handed it to may not have got to it yet), a while later.
TEST_F(EditorFile, GoesOnceItsEditorEndedAndItWasReadOrAWhileLater) {
    EditorFiles files;
    ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
    ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
    const std::string readOne = files.paths().at(0), unread = files.paths().at(1);
    EXPECT_TRUE(files.sweep(now));
    EXPECT_TRUE(exists(readOne) && exists(unread));
    read(readOne);
    EXPECT_TRUE(files.sweep(now));
    EXPECT_FALSE(exists(readOne));
    EXPECT_TRUE(exists(unread));
    EXPECT_TRUE(files.sweep(now + EditorFiles::kUnreadKept - std::chrono::seconds(1)));
    EXPECT_TRUE(exists(unread));
    EXPECT_FALSE(files.sweep(now + EditorFiles::kUnreadKept));
    EXPECT_FALSE(exists(unread));
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(EditorFile, StaysWhileAProgramHoldsItOpen) {
    EditorFiles files;
    ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
    const std::string path = files.paths().at(0);
    {
        QFile held(QString::fromStdString(path));
        ASSERT_TRUE(held.open(QIODevice::ReadOnly));
        EXPECT_TRUE(files.sweep(now + EditorFiles::kUnreadKept));
        EXPECT_TRUE(exists(path));
        files.deleteAll(); // nor when the program ends
        EXPECT_TRUE(exists(path));
    }
    ::unlink(path.c_str());
}

// A real editor: its file stays while it runs, read or not, and goes once it has ended.
TEST_F(EditorFile, StaysWhileItsEditorRuns) {
    setEditorStarter({});
    const QString pidFile = out.path("editor.pid");
    EditorFiles files;
    ASSERT_TRUE(openPictureInEditor(picture, files, prompter,
                                    "sh -c \"echo $$ > " + pidFile.toStdString() + "; exec sleep 30\""));
    const std::string path = files.paths().at(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile(pidFile).size() > 0; }, 5000));
    read(path);
    EXPECT_TRUE(files.sweep(now + EditorFiles::kUnreadKept));
    EXPECT_TRUE(exists(path));
    QFile pid(pidFile);
    ASSERT_TRUE(pid.open(QIODevice::ReadOnly));
    ::kill(pid_t(pid.readAll().trimmed().toInt()), SIGTERM);
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.withEditorRunning() == 0; }, 5000));
    EXPECT_FALSE(files.sweep(now));
    EXPECT_FALSE(exists(path));
}

// Work the user saved into the file stays, and so does a file the editor saved anew after it went;
// both are named when the program ends.
TEST_F(EditorFile, HoldingWorkItStays) {
    std::string edited, savedAnew;
    {
        EditorFiles files;
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
        edited = files.paths().at(0);
        savedAnew = files.paths().at(1);
        QFile e(QString::fromStdString(edited));
        ASSERT_TRUE(e.open(QIODevice::Append));
        e.write("edited");
        e.close();
        read(savedAnew);
        EXPECT_FALSE(files.sweep(now)); // nothing left that could go later
        EXPECT_TRUE(exists(edited));
        EXPECT_FALSE(exists(savedAnew));
        QFile again(QString::fromStdString(savedAnew));
        ASSERT_TRUE(again.open(QIODevice::WriteOnly));
        again.write("saved anew");
        again.close();
        EXPECT_FALSE(files.sweep(now + EditorFiles::kUnreadKept));
        EXPECT_EQ(files.changed(), (std::vector<std::string>{edited, savedAnew}));
    }
    EXPECT_TRUE(exists(edited));
    EXPECT_TRUE(exists(savedAnew));
    ::unlink(edited.c_str());
    ::unlink(savedAnew.c_str());
}

// The user was told the file is there until the program ends: it is, read or not.
TEST_F(EditorFile, OfAnEditorThatCouldNotStartStaysUntilTheProgramEnds) {
    setEditorStarter([](const ProgramStart&) { return false; });
    std::string path;
    {
        EditorFiles files;
        EXPECT_FALSE(openPictureInEditor(picture, files, prompter, editor));
        path = files.paths().at(0);
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_NE(prompter.shown[0].text.find(path + "'  until Orvanta ends."), std::string::npos);
        read(path);
        EXPECT_FALSE(files.sweep(now + EditorFiles::kUnreadKept));
        EXPECT_TRUE(exists(path));
    }
    EXPECT_FALSE(exists(path));
    EXPECT_TRUE(out.temporaryFiles().isEmpty());
}

// Ended by a signal that leaves no time to close windows, the program leaves no empty folder.
TEST_F(EditorFile, TheirFolderGoesAtATerminationSignalWhenEmpty) {
    EditorFiles files;
    ASSERT_TRUE(openPictureInEditor(picture, files, prompter, editor));
    read(files.paths().at(0));
    files.sweep(now);
    removeTemporaryFilesNow();
    EXPECT_TRUE(out.temporaryFiles().isEmpty()) << out.temporaryFiles().join(',').toStdString();
}

} // namespace
