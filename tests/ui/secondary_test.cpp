// Tests of the splash window, the About dialog and the artwork (the help window and Contact are in
// help_window_test.cpp).
#include "support/case_name.h"
#include "support/scaled_font.h"
#include "ui/form_about.h"
#include "ui/splash.h"

#include "base/prompt.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace {

// ---------------------------------------------------------------------------------------------
// Splash

struct SplashRig {
    orv::RecordingPrompter prompter;
    std::vector<std::string> events; // prompts and main-window loads, in the order they happened
    qint64 clock = 1000;
    int depth = 24;
    std::unique_ptr<Splash> splash;

    SplashRig() {
        splash = std::make_unique<Splash>(prompter, [this] { events.push_back("load main window"); });
        splash->setClock([this] { return clock; });
        splash->setScreenDepthQuery([this] { return depth; });
    }

    // Shows the splash and waits for its activation work (the main window load).
    void showAndActivate() {
        splash->show();
        ASSERT_TRUE(QTest::qWaitFor([this] { return !events.empty(); }, 5000));
    }

    QLabel* picture() const { return splash->findChild<QLabel*>(QStringLiteral("Picture1")); }
};

TEST(RoundedWindowRegion, CutsCornersAsEllipsesAndKeepsTheEdges) {
    const QRegion r = roundedWindowRegion(QSize(480, 300), 100, 100);
    // Corner ellipse centred at (50, 50) with radius 50.
    EXPECT_FALSE(r.contains(QPoint(0, 0)));
    EXPECT_FALSE(r.contains(QPoint(10, 10)));     // 57 px from the ellipse centre
    EXPECT_TRUE(r.contains(QPoint(20, 20)));      // 42 px
    EXPECT_FALSE(r.contains(QPoint(479, 299)));
    EXPECT_FALSE(r.contains(QPoint(470, 8)));
    EXPECT_FALSE(r.contains(QPoint(6, 292)));
    EXPECT_TRUE(r.contains(QPoint(50, 0)));       // straight top edge starts where the ellipse ends
    EXPECT_TRUE(r.contains(QPoint(429, 0)));
    EXPECT_TRUE(r.contains(QPoint(0, 150)));
    EXPECT_TRUE(r.contains(QPoint(479, 150)));
    EXPECT_TRUE(r.contains(QPoint(240, 299)));
    EXPECT_EQ(r.boundingRect(), QRect(0, 0, 480, 300));
}

TEST(RoundedWindowRegion, EmptyForAnEmptyWindowAndClampsLargeEllipses) {
    EXPECT_TRUE(roundedWindowRegion(QSize(0, 300), 100, 100).isEmpty());
    const QRegion small = roundedWindowRegion(QSize(60, 40), 100, 100);
    EXPECT_EQ(small.boundingRect(), QRect(0, 0, 60, 40));
    EXPECT_TRUE(small.contains(QPoint(30, 20)));
    EXPECT_FALSE(small.contains(QPoint(0, 0)));
}

TEST(SplashWindow, IsFramelessRoundedModalWithItsNamedPartsAndAnimates) {
    SplashRig rig;
    Splash& s = *rig.splash;
    EXPECT_EQ(s.objectName(), QStringLiteral("Splash"));
    EXPECT_TRUE(s.isModal());
    EXPECT_TRUE(s.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(s.mask(), roundedWindowRegion(s.size(), 100, 100));
    ASSERT_NE(rig.picture(), nullptr);
    auto* timer = s.findChild<QTimer*>(QStringLiteral("Timer1"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_FALSE(timer->isActive()) << "the timer starts when the splash is shown";

    rig.showAndActivate();
    EXPECT_TRUE(timer->isActive());
    const QImage before = s.canvas().toImage();
    s.Timer1_Timer();
    const QImage after = s.canvas().toImage();
    EXPECT_NE(before, after) << "each step draws more arcs";
    EXPECT_EQ(rig.picture()->pixmap().toImage(), after) << "the picture shows the drawing";
}

TEST(SplashWindow, ClosesOnlyAfterMoreThanFourSeconds) {
    SplashRig rig;
    rig.showAndActivate();
    QSignalSpy accepted(rig.splash.get(), &QDialog::accepted);
    rig.clock = 1000 + 3999;
    rig.splash->Timer1_Timer();
    rig.clock = 1000 + 4000;
    rig.splash->Timer1_Timer();
    EXPECT_TRUE(rig.splash->isVisible());
    rig.clock = 1000 + 4001;
    rig.splash->Timer1_Timer();
    EXPECT_FALSE(rig.splash->isVisible());
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_EQ(rig.events, std::vector<std::string>{"load main window"});
    EXPECT_FALSE(rig.splash->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
}

TEST(SplashWindow, ClosedByTheWindowManagerStopsAnimating) {
    SplashRig rig;
    rig.showAndActivate();
    rig.splash->close();
    EXPECT_FALSE(rig.splash->findChild<QTimer*>(QStringLiteral("Timer1"))->isActive());
    EXPECT_EQ(rig.splash->result(), QDialog::Rejected);
}

enum class Press { Click, RightClick, Key, Escape };

class SplashPress : public ::testing::TestWithParam<Press> {};

TEST_P(SplashPress, ClosesAtTheNextTimerStep) {
    SplashRig rig;
    rig.showAndActivate();
    QLabel* picture = rig.picture();
    switch (GetParam()) {
    case Press::Click: QTest::mouseClick(picture, Qt::LeftButton); break;
    case Press::RightClick: QTest::mouseClick(picture, Qt::RightButton); break;
    case Press::Key: QTest::keyClick(picture, Qt::Key_Space); break;
    case Press::Escape: QTest::keyClick(picture, Qt::Key_Escape); break;
    }
    // The press itself only marks the time; the next step closes it, with the clock not moved.
    EXPECT_TRUE(rig.splash->isVisible());
    rig.splash->Timer1_Timer();
    EXPECT_FALSE(rig.splash->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Presses, SplashPress,
                         ::testing::Values(Press::Click, Press::RightClick, Press::Key, Press::Escape),
                         [](const auto& info) {
                             const Press p = info.param;
                             return std::string(p == Press::Click        ? "Click"
                                                : p == Press::RightClick ? "RightClick"
                                                : p == Press::Key        ? "Key"
                                                                         : "Escape");
                         });

TEST(SplashWindow, AClickClosesItThroughItsOwnTimer) {
    orv::RecordingPrompter prompter;
    int loads = 0;
    Splash splash(prompter, [&] { ++loads; });
    splash.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loads == 1; }, 5000));
    QTest::mouseClick(splash.findChild<QLabel*>(QStringLiteral("Picture1")), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !splash.isVisible(); }, 2000));
    EXPECT_EQ(loads, 1);
}

TEST(SplashWindow, LowColourScreenShowsTheMessageOnceThenLoadsTheMainWindowAndGoesOn) {
    SplashRig rig;
    rig.depth = 4;
    rig.splash->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !rig.events.empty(); }, 5000));
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const orv::Prompt expected{orv::PromptIcon::Information, orv::PromptButtons::Ok,
                               "This software works best with 256 colours or more in your screen colour palette.",
                               "but you can still use it with 16 colours"};
    EXPECT_EQ(rig.prompter.shown[0], expected);
    EXPECT_EQ(rig.events, std::vector<std::string>{"load main window"});

    // Activating the splash again (after the message box closed) repeats nothing.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(rig.splash.get(), &activate);
    rig.splash->Form_Activate();
    EXPECT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.events.size(), 1u);

    rig.clock += 4001;
    rig.splash->Timer1_Timer();
    EXPECT_FALSE(rig.splash->isVisible());
}

TEST(SplashWindow, EightBitScreenShowsNoMessage) {
    SplashRig rig;
    rig.depth = 8;
    rig.showAndActivate();
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST(SplashWindow, StaysUpUntilTheMainWindowHasLoaded) {
    orv::RecordingPrompter prompter;
    qint64 clock = 0;
    Splash* splash = nullptr;
    bool visibleAfterLateStep = false;
    // A step that falls due while the main window loads must not close the splash under it.
    Splash s(prompter, [&] {
        clock = 10000;
        splash->Timer1_Timer();
        visibleAfterLateStep = splash->isVisible();
    });
    splash = &s;
    s.setClock([&] { return clock; });
    s.show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return clock == 10000; }, 5000));
    EXPECT_TRUE(visibleAfterLateStep);
    s.Timer1_Timer();
    EXPECT_FALSE(s.isVisible());
}

// ---------------------------------------------------------------------------------------------
// About

TEST(AboutVersion, TakesMajorMinorRevisionOfTheBuildVersion) {
    EXPECT_EQ(aboutVersionText(QStringLiteral("0.1.0")), QStringLiteral("Version 0.1.0"));
    EXPECT_EQ(aboutVersionText(QStringLiteral("2.5")), QStringLiteral("Version 2.5.0"));
    EXPECT_EQ(aboutVersionText(QStringLiteral("1.2.3.4")), QStringLiteral("Version 1.2.3"));
    EXPECT_EQ(aboutVersionText(QStringLiteral("12.0.7")), QStringLiteral("Version 12.0.7"));
    EXPECT_EQ(aboutVersionText(QString()), QStringLiteral("Version 0.0.0"));
}

TEST(AboutDialog, ShowsTitleVersionDescriptionAndButtons) {
    orv::RecordingPrompter prompter;
    FrmAbout about(prompter);
    EXPECT_EQ(about.objectName(), QStringLiteral("frmAbout"));
    EXPECT_EQ(about.windowTitle(), QStringLiteral("About Orvanta"));
    EXPECT_TRUE(about.isModal());
    auto text = [&](const char* name) {
        auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("<missing>");
    };
    EXPECT_EQ(text("lblTitle"), QStringLiteral("Orvanta"));
    EXPECT_EQ(text("lblVersion"), QStringLiteral("Version ") + QStringLiteral(ORVANTA_VERSION));
    EXPECT_EQ(text("lblDescription"),
              QStringLiteral("Brindlemoor program to combine a number of pictures and present a single in focus picture."));
    EXPECT_TRUE(text("lblDisclaimer").startsWith(QStringLiteral("Warning")));
    EXPECT_NE(about.findChild<QLabel*>(QStringLiteral("picIcon")), nullptr);
    auto* sysInfo = about.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"));
    ASSERT_NE(sysInfo, nullptr);
    EXPECT_EQ(sysInfo->text(), QStringLiteral("&System Info..."));

    auto* ok = about.findChild<QPushButton*>(QStringLiteral("cmdOK"));
    ASSERT_NE(ok, nullptr);
    about.show();
    QSignalSpy accepted(&about, &QDialog::accepted);
    QTest::mouseClick(ok, Qt::LeftButton);
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(about.isVisible());
}

// True when `label` can be read whole in the About dialog: tall enough for its wrapped text, and
// either inside the dialog or inside the page of a scroll area that is, with the scroll bars
// reaching all of the page.
::testing::AssertionResult readableWhole(const QDialog& about, const char* name) {
    auto* label = about.findChild<QLabel*>(QString::fromLatin1(name));
    if (!label) return ::testing::AssertionFailure() << name << " is missing";
    const int needed = label->wordWrap() ? label->heightForWidth(label->width()) : label->sizeHint().height();
    if (label->height() < needed)
        return ::testing::AssertionFailure() << name << " is " << label->height() << " high for " << needed;
    const QWidget* shown = label;
    if (auto* scroll = about.findChild<QScrollArea*>()) {
        const QWidget* page = scroll->widget();
        if (page && page->isAncestorOf(label)) {
            if (!page->rect().contains(QRect(label->mapTo(page, QPoint()), label->size())))
                return ::testing::AssertionFailure() << name << " reaches past its scrolled page";
            const QSize view = scroll->viewport()->size();
            if (page->width() > view.width() + scroll->horizontalScrollBar()->maximum() ||
                page->height() > view.height() + scroll->verticalScrollBar()->maximum())
                return ::testing::AssertionFailure() << "the scroll bars do not reach all of " << name;
            shown = scroll;
        }
    }
    if (!about.rect().contains(QRect(shown->mapTo(&about, QPoint()), shown->size())))
        return ::testing::AssertionFailure() << name << " reaches past the dialog";
    return ::testing::AssertionSuccess();
}

// With a larger desktop font the dialog grows: the description and the notice show whole.
TEST(AboutDialog, HoldsItsTextsWholeInALargerFont) {
    const orv::testing::ScaledApplicationFont largeFont(1.6);
    orv::RecordingPrompter prompter;
    FrmAbout about(prompter);
    about.show();
    QApplication::processEvents();
    for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "lblDisclaimer"})
        EXPECT_TRUE(readableWhole(about, name));
    about.close();
}

// A very large font on the test platform's small screen (800 x 800, or 400 x 400 at a screen scale
// of 2): the dialog widens rather than reach past the screen's bottom edge, and where even the
// screen's width leaves it too tall, its texts scroll; they can all be read whole and the buttons
// stay on the screen.
TEST(AboutDialog, StaysWithinASmallScreenInAVeryLargeFont) {
    const orv::testing::ScaledApplicationFont largeFont(2.2);
    orv::RecordingPrompter prompter;
    FrmAbout about(prompter);
    about.show();
    QApplication::processEvents();
    const QRect room = about.screen()->availableGeometry();
    EXPECT_LE(about.height(), room.height());
    EXPECT_LE(about.width(), room.width());
    for (const char* name : {"lblTitle", "lblVersion", "lblDescription", "lblDisclaimer"})
        EXPECT_TRUE(readableWhole(about, name));
    for (const char* name : {"cmdOK", "cmdSysInfo"}) {
        auto* button = about.findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(about.rect().contains(QRect(button->mapTo(&about, QPoint()), button->size()))) << name;
    }
    about.close();
}

struct SysInfoCase {
    const char* name;
    std::map<QString, QString> onPath;   // tool -> path
    QSet<QString> failing;               // paths that will not start
    QStringList expectedStarts;          // start attempts, in order
    bool expectMessage;
};

class AboutSysInfo : public ::testing::TestWithParam<SysInfoCase> {};

TEST_P(AboutSysInfo, StartsTheFirstToolFoundOrSaysItIsUnavailable) {
    const SysInfoCase& c = GetParam();
    orv::RecordingPrompter prompter;
    FrmAbout about(prompter);
    QStringList starts;
    about.setProgramFinder([&](const QString& name) {
        const auto it = c.onPath.find(name);
        return it == c.onPath.end() ? QString() : it->second;
    });
    about.setProgramStarter([&](const QString& path) {
        starts << path;
        return !c.failing.contains(path);
    });
    QTest::mouseClick(about.findChild<QPushButton*>(QStringLiteral("cmdSysInfo")), Qt::LeftButton);
    EXPECT_EQ(starts, c.expectedStarts);
    if (c.expectMessage) {
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, "System Information Is Unavailable At This Time");
        EXPECT_EQ(prompter.shown[0].buttons, orv::PromptButtons::Ok);
    } else {
        EXPECT_TRUE(prompter.shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, AboutSysInfo,
    ::testing::Values(
        SysInfoCase{"none", {}, {}, {}, true},
        SysInfoCase{"only_kinfocenter", {{"kinfocenter", "/usr/bin/kinfocenter"}}, {}, {"/usr/bin/kinfocenter"}, false},
        SysInfoCase{"hardinfo_preferred",
                    {{"gnome-system-monitor", "/usr/bin/gnome-system-monitor"}, {"hardinfo", "/usr/bin/hardinfo"}},
                    {},
                    {"/usr/bin/hardinfo"},
                    false},
        SysInfoCase{"first_fails_next_starts",
                    {{"hardinfo", "/usr/bin/hardinfo"}, {"kinfocenter", "/opt/kde/kinfocenter"}},
                    {"/usr/bin/hardinfo"},
                    {"/usr/bin/hardinfo", "/opt/kde/kinfocenter"},
                    false},
        SysInfoCase{"all_fail", {{"hardinfo", "/usr/bin/hardinfo"}}, {"/usr/bin/hardinfo"}, {"/usr/bin/hardinfo"}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Artwork

TEST(Artwork, TheResourceListCarriesTheIconTileAndSplashArt) {
    const QImage icon(QStringLiteral(":/orvanta.png"));
    const QImage small(QStringLiteral(":/orvanta-32.png"));
    const QImage tile(QStringLiteral(":/background.png"));
    const QImage art(QStringLiteral(":/splash.png"));
    EXPECT_EQ(icon.size(), QSize(128, 128));
    EXPECT_EQ(small.size(), QSize(32, 32));
    EXPECT_FALSE(tile.isNull());
    EXPECT_EQ(art.size(), QSize(480, 300)) << "the splash art fills the splash window";

    orv::RecordingPrompter prompter;
    FrmAbout about(prompter);
    auto* picIcon = about.findChild<QLabel*>(QStringLiteral("picIcon"));
    ASSERT_NE(picIcon, nullptr);
    EXPECT_FALSE(picIcon->pixmap().isNull());
}

} // namespace
