// A montage kept as a project when the program was told to end is never lost at the next start:
// it stays on the disk until the user has saved it or let it go, and
// pictures re-shot before it is opened are asked about as a re-shot series is within a session.
#include "montage_fixture.h"

#include "session/montage_record.h"
#include "settings/project_file.h"
#include "settings/recovery.h"
#include "support/scoped_home.h"

#include <csignal>

#include <QFile>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using namespace orv;
using namespace orv::testing;

namespace {

const Prompt kUnsaved{PromptIcon::Question, PromptButtons::YesNoCancel, kUnsavedMontageText, kUnsavedMontageTitle};

struct KeptRig : MontageRig {
    std::string first, second;
    KeptRig() {
        writeTexturedSeries(files, "kpt", 3, QSize(64, 48));
        writeTexturedSeries(files, "oth", 2, QSize(40, 30));
        first = files.path("kpt01.bmp");
        second = files.path("oth01.bmp");
    }
    // Ends on SIGTERM; the project it kept.
    std::string endOnSignal() {
        const std::set<std::string> before = namedProjects();
        form->endOnSignal(SIGTERM);
        EXPECT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, 5000));
        for (const std::string& project : namedProjects())
            if (!before.count(project)) return project;
        return {};
    }
    // The projects the preferences name for the next start.
    std::set<std::string> namedProjects() {
        std::set<std::string> named;
        for (int n = 1; n <= 10; ++n) {
            const std::string v = state.preferences.read(kPreferencesSection, recoveredProjectKey(n), "");
            if (!v.empty()) named.insert(v);
        }
        return named;
    }
    // A start that offers what the earlier ones kept, answering the questions in turn.
    void start(std::initializer_list<PromptAnswer> answers) {
        state.firstActivation = true;
        for (const PromptAnswer a : answers) prompter.answerNext(a);
        form->Form_Activate();
    }
};

bool keptOnDisk(const std::string& project) {
    return QFile::exists(QString::fromStdString(project)) &&
           QFile::exists(QString::fromStdString(projectBitmapName(project)));
}

} // namespace

// Two kept projects opened one after the other: Cancel to the question about the first keeps it on
// screen and the second waits for the next start. Exit with No lets the first go (its files with
// it); the second is still offered.
TEST(RecoveredProjects, StayNamedUntilSavedOrLetGo) {
    ScopedHome home;
    KeptRig a, b; // their series must still be there when the next start opens them
    b.state.preferences = a.state.preferences;
    ASSERT_TRUE(a.make(a.first).made);
    ASSERT_TRUE(b.make(b.second).made);
    const QImage madeByA = a.montagePicture();
    const std::string keptByA = a.endOnSignal();
    const std::string keptByB = b.endOnSignal();
    ASSERT_FALSE(keptByA.empty());
    ASSERT_FALSE(keptByB.empty());

    KeptRig next;
    next.state.preferences = a.state.preferences;
    next.start({PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Cancel});
    ASSERT_EQ(next.prompter.shown.size(), 3u);
    EXPECT_EQ(next.prompter.shown[2], kUnsaved);
    EXPECT_EQ(next.montagePicture(), madeByA);
    EXPECT_EQ(next.namedProjects(), (std::set<std::string>{keptByB}));
    EXPECT_TRUE(keptOnDisk(keptByA));
    EXPECT_TRUE(keptOnDisk(keptByB));

    next.prompter.shown.clear();
    next.runAnswering(Command::Exit, PromptAnswer::No);
    ASSERT_EQ(next.prompter.shown.size(), 1u);
    EXPECT_EQ(next.prompter.shown[0], kUnsaved);
    EXPECT_EQ(next.namedProjects(), (std::set<std::string>{keptByB}));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(keptByA)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(projectBitmapName(keptByA))));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(pictureStampsNameFor(keptByA))));
    EXPECT_TRUE(keptOnDisk(keptByB));
}

// One opened and replaced after the question: Save keeps it where the user chose and the kept
// project goes. Ended again by a signal, the montage on screen is
// kept anew and the project it came from goes; declined, a project stays where it was said to be.
TEST(RecoveredProjects, ReplacedSavedOrEndedAgainLeaveOneCopyNamed) {
    ScopedHome home;
    KeptRig a, b, c;
    b.state.preferences = a.state.preferences;
    c.state.preferences = a.state.preferences;
    ASSERT_TRUE(a.make(a.first).made);
    ASSERT_TRUE(b.make(b.second).made);
    ASSERT_TRUE(c.make(c.first).made);
    const QImage madeByB = b.montagePicture();
    const std::string keptByA = a.endOnSignal();
    const std::string keptByB = b.endOnSignal();
    const std::string keptByC = c.endOnSignal();

    KeptRig next;
    next.state.preferences = a.state.preferences;
    const std::string saved = next.files.path("saved.bmp");
    next.dialogs->chooseFile(QString::fromStdString(saved));
    // a's opened, then saved as the question before b's asks (and said saved); c's declined.
    next.start({PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Yes, PromptAnswer::Ok, PromptAnswer::No});
    ASSERT_EQ(next.prompter.shown.size(), 5u);
    EXPECT_EQ(next.prompter.shown[2], kUnsaved);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(saved)));
    EXPECT_EQ(next.montagePicture(), madeByB);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(keptByA)));
    EXPECT_TRUE(keptOnDisk(keptByB));
    EXPECT_TRUE(keptOnDisk(keptByC)); // declined: where the question said it is
    EXPECT_TRUE(next.namedProjects().empty());

    const std::string keptAgain = next.endOnSignal();
    ASSERT_FALSE(keptAgain.empty());
    EXPECT_TRUE(keptOnDisk(keptAgain));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(keptByB)));
    EXPECT_EQ(next.namedProjects(), (std::set<std::string>{keptAgain}));

    KeptRig later;
    later.state.preferences = a.state.preferences;
    later.start({PromptAnswer::Yes});
    EXPECT_EQ(later.montagePicture(), madeByB);
}

// Pictures re-shot between the end and the next start are not the ones the kept montage was made
// from: Make Montage of the same series asks about it, as it does within a session.
TEST(RecoveredProjects, PicturesReShotBeforeTheNextStartAreAskedAbout) {
    ScopedHome home;
    KeptRig a;
    ASSERT_TRUE(a.make(a.first).made);
    const QImage made = a.montagePicture();
    const std::string kept = a.endOnSignal();
    ASSERT_FALSE(kept.empty());

    for (const bool reShot : {false, true}) {
        SCOPED_TRACE(reShot ? "re-shot" : "unchanged");
        KeptRig next;
        next.state.preferences = a.state.preferences;
        next.state.preferences.write(kPreferencesSection, kRecoveredProjectKey, kept);
        if (reShot) {
            const QString second = QString::fromStdString(a.files.path("kpt02.bmp"));
            QImage picture(second);
            picture.invertPixels();
            std::filesystem::remove(second.toStdString());
            ASSERT_TRUE(picture.save(second, "BMP"));
        }
        next.start({PromptAnswer::Yes});
        ASSERT_EQ(next.montagePicture(), made);
        next.prompter.shown.clear();
        next.prompter.answerNext(PromptAnswer::Cancel);
        next.form->textFileName()->setText(QString::fromStdString(a.first));
        next.form->action(Command::MakeMontage)->trigger();
        if (reShot) {
            ASSERT_EQ(next.prompter.shown.size(), 1u);
            EXPECT_EQ(next.prompter.shown[0], kUnsaved);
            EXPECT_EQ(next.montagePicture(), made);
        } else {
            EXPECT_TRUE(next.prompter.shown.empty()) << next.prompter.shown[0].text;
        }
    }
}

// A kept project opened at the next start is the program's own file, not one the user named: it
// gets no recent entry, which would say the project is missing once it is removed. Its window
// closed without saving lets it go, as closing lets any montage go: Exit asks nothing and removes
// it, and the next start offers nothing.
TEST(RecoveredProjects, ClosedUnsavedIsLetGoAndNeverARecentEntry) {
    ScopedHome home;
    KeptRig a;
    ASSERT_TRUE(a.make(a.first).made);
    const std::string kept = a.endOnSignal();
    ASSERT_FALSE(kept.empty());

    KeptRig next;
    next.state.preferences = a.state.preferences;
    next.state.recent.load(next.state.preferences);
    const auto recentBefore = next.state.recent.captions();
    next.start({PromptAnswer::Yes});
    ASSERT_TRUE(next.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(next.state.recent.captions(), recentBefore);

    next.form->windows().montageWindow()->menuAction("mnuClose")->trigger();
    ASSERT_FALSE(next.form->windows().montageWindow()->isVisible());
    next.prompter.shown.clear();
    next.form->action(Command::Exit)->trigger();
    EXPECT_TRUE(next.prompter.shown.empty()) << next.prompter.shown[0].text;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(kept)));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(projectBitmapName(kept))));
    EXPECT_TRUE(next.namedProjects().empty());
}
