// The Preferences dialog: filled from a file and from none, its captions and tooltips, the box and
// scroll-bar pairs, Reset, the target colour, and the keys OK writes, in order, with the desktop
// launcher and the file-manager entry it looks after.
#include "ui/form_preferences.h"

#include "engine/focus_method.h"
#include "montage_fixture.h"
#include "support/scoped_home.h"
#include "support/scaled_font.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

using namespace orv;
using namespace orv::testing;

namespace {

std::vector<std::string> methodCaptions() {
    std::vector<std::string> out;
    for (int i = 0; i < 5; ++i) out.push_back(methodCaption(i));
    return out;
}

struct PreferencesRig {
    ScopedHome home;
    ProfileFile prefs{home.home() + "/orvanta.ini"};
    SmoothingPreferences smoothing;
    std::int16_t shortcut = 0;
    std::int16_t rightMouse = 0;
    bool originatingImage = false;
    RecordingPrompter prompter;
    ScriptedDialogBackend* colors = nullptr;
    std::unique_ptr<CommonDialog> dialog;
    std::vector<std::uint32_t> applied;
    std::unique_ptr<FormPreferences> form;

    PreferencesRig() {
        auto backend = std::make_unique<ScriptedDialogBackend>();
        colors = backend.get();
        dialog = std::make_unique<CommonDialog>(std::move(backend));
    }

    ShellPlaces places() const {
        ShellPlaces p;
        p.programFolder = home.home() + "/Program Files/orvanta/";
        p.desktopFolder = home.desktop();
        p.dataHome = home.dataHome();
        return p;
    }

    PreferencesContext context() {
        return PreferencesContext{prefs,
                                  HeldPreferences{smoothing, shortcut, rightMouse, originatingImage},
                                  methodCaptions(),
                                  prompter,
                                  *dialog,
                                  [this](std::uint32_t c) { applied.push_back(c); },
                                  ShellIntegration(places())};
    }

    void writeFile(const std::string& lines) { std::ofstream(prefs.path()) << "[preferences]\r\n" << lines; }

    // What start-up would hold in memory for the file as it is now.
    void holdAsStartupReads() {
        const StartupPreferences p = readStartupPreferences(prefs);
        smoothing = p.smoothing;
        shortcut = p.shortcut;
        rightMouse = p.rightMouse;
        originatingImage = p.originatingImage;
    }

    FormPreferences& open() {
        form = std::make_unique<FormPreferences>(context());
        form->show();
        return *form;
    }

    std::string fileText() const {
        std::ifstream in(prefs.path(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string key(const std::string& k) const { return prefs.read(kPreferencesSection, k, "<none>"); }

    std::string launcher() const { return home.desktop() + "/Orvanta.desktop"; }
    std::string entry() const { return home.dataHome() + "/applications/orvanta-open.desktop"; }
};

bool exists(const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); }

std::string text(QLineEdit* box) { return box->text().toStdString(); }

// --- filling --------------------------------------------------------------------------------------

TEST(PreferencesDialog, IsFilledFromTheFileAndTheValuesHeldInMemory) {
    PreferencesRig rig;
    rig.writeFile("Montage method=3\r\nOriginating image=1\r\nIncrement= 25 \r\nTarget color=65280\r\n"
                  "Load images=1\r\nshortcut=1\r\nrightmouse=5\r\nautoSmooth=1\r\nedgeFactor=20\r\n"
                  "focusFactor=25\r\ndiffFactor=150\r\nedgefactor2=30\r\n");
    rig.holdAsStartupReads();
    FormPreferences& f = rig.open();
    EXPECT_EQ(f.windowTitle(), QStringLiteral("Preferences"));
    for (int i = 0; i < 5; ++i) EXPECT_EQ(f.OptionMontageMethod(i)->isChecked(), i == 3) << i;
    EXPECT_TRUE(f.CheckUsed()->isChecked());
    EXPECT_EQ(text(f.Text1()), "25");
    EXPECT_EQ(f.VScroll1()->value(), 25);
    EXPECT_EQ(f.swatchColor(), 65280u);
    EXPECT_EQ(f.PictureColor()->palette().color(QPalette::Window), QColor(0, 255, 0));
    EXPECT_TRUE(f.CheckLoadImages()->isChecked());
    EXPECT_TRUE(f.CheckShortcut()->isChecked());
    EXPECT_TRUE(f.CheckRight()->isChecked());
    EXPECT_TRUE(f.CheckAutoSmooth()->isChecked());
    EXPECT_EQ(text(f.TextSmooth(0)), "80");
    EXPECT_EQ(text(f.TextSmooth(1)), "25");
    EXPECT_EQ(text(f.TextSmooth(2)), "1.5");
    EXPECT_EQ(text(f.TextSmooth(3)), "70");
    EXPECT_EQ(f.VScrollSmooth(0)->value(), 80);
    EXPECT_EQ(f.VScrollSmooth(2)->value(), 2); // the bar follows 1.5 as nearly as it can
    EXPECT_EQ(text(f.TextSmooth(2)), "1.5");   // and does not write that back over the box
}

// A new profile shows the increment the main window starts with (at least 10), not the key's 0.
TEST(PreferencesDialog, WithoutAFileShowsMethod0TheIncrementInUseBlackAndTheResetSensitivities) {
    PreferencesRig rig;
    rig.holdAsStartupReads();
    FormPreferences& f = rig.open();
    EXPECT_TRUE(f.OptionMontageMethod(0)->isChecked());
    EXPECT_EQ(text(f.Text1()), "10");
    EXPECT_EQ(f.swatchColor(), 0u);
    EXPECT_FALSE(f.CheckAutoSmooth()->isChecked());
    const std::array<const char*, 4> shown = {"90", "10", "1", "60"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(text(f.TextSmooth(i)), shown[std::size_t(i)]) << i;
    EXPECT_FALSE(exists(rig.prefs.path())); // opening writes nothing
}

// Taller than the screen (an 800 x 600 screen, a large font), the settings scroll and OK and Cancel
// stay in sight; Tab still reaches the last box.
TEST(PreferencesDialog, KeepsOKAndCancelOnAScreenTooLowForIt) {
    const orv::testing::ScaledApplicationFont largeFont(2.2);
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    f.show();
    QApplication::processEvents();
    const QRect room = f.screen()->availableGeometry();
    const QWidget* page = f.findChild<QWidget*>(QStringLiteral("preferencesPage"));
    ASSERT_GT((page ? page : &f)->sizeHint().height(), room.height()) << "the screen is not too low for the dialog";
    for (const char* name : {"CommandOK", "CommandCancel"}) {
        auto* b = f.findChild<QPushButton*>(QString::fromLatin1(name));
        EXPECT_TRUE(f.rect().contains(b->geometry())) << name;
    }
    EXPECT_LE(f.height(), room.height());
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    auto* colour = f.findChild<QPushButton*>(QStringLiteral("CommandColor"));
    colour->setFocus(Qt::TabFocusReason);
    QTest::keyClick(colour, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), f.TextEditor());
    EXPECT_FALSE(f.TextEditor()->visibleRegion().isEmpty());
    f.close();
}

TEST(PreferencesDialog, LoadImagesIsReadAgainOnEveryActivation) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    EXPECT_FALSE(f.CheckLoadImages()->isChecked());
    rig.prefs.write(kPreferencesSection, "Load images", "1");
    f.Form_Activate();
    EXPECT_TRUE(f.CheckLoadImages()->isChecked());
    f.CheckLoadImages()->setChecked(false);
    f.hide();
    f.show(); // shown again: read again
    EXPECT_TRUE(f.CheckLoadImages()->isChecked());
}

// --- captions and tooltips -------------------------------------------------------------------------

struct ControlCase {
    const char* objectName;
    const char* caption; // nullptr: a box or bar without one
    const char* tooltip;
};

class PreferencesControls : public ::testing::TestWithParam<ControlCase> {};

// A caption as it is shown: without the "&" of its access key.
QString captionOf(QWidget* w) {
    QString caption;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) caption = l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) caption = g->title();
    return caption.remove(QLatin1Char('&'));
}

TEST_P(PreferencesControls, CarryTheirCaptionAndTooltip) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    auto* w = f.findChild<QWidget*>(QString::fromUtf8(GetParam().objectName));
    ASSERT_NE(w, nullptr) << GetParam().objectName;
    if (GetParam().caption) {
        EXPECT_EQ(captionOf(w).toStdString(), GetParam().caption);
    }
    EXPECT_EQ(w->toolTip().toStdString(), GetParam().tooltip);
}

constexpr const char* kSmoothingTip = "Set how much detailed areas count against background areas (1 to 100)";
constexpr const char* kCreatedFromTip =
    "When you create a Montages do you want want to see which pictures the final picture was created from?";

INSTANTIATE_TEST_SUITE_P(
    Table, PreferencesControls,
    ::testing::Values(
        ControlCase{"Frame1", "Default Montage Method", "Set the default method for making the Montage"},
        ControlCase{"OptionMontageMethod_0", "3D Color Space Focus", "Set the default method for making the Montage"},
        ControlCase{"Label1", "Default Increment size", ""},
        ControlCase{"Text1", nullptr, "Set the default increment size"},
        ControlCase{"CheckUsed", "Show the \"originating image\" window on creating a Montage", kCreatedFromTip},
        ControlCase{"CheckLoadImages", "Load images on start up",
                    "When Orvanta starts up, do you want it to automatically load the last images opened?"},
        ControlCase{"CheckShortcut", "Add a shortcut to 'Orvanta' on to the Desktop",
                    "Easy start Orvanta from a Desktop icon"},
        ControlCase{"CheckRight", "Add  'Orvanta' to the Windows Explorer Right Mouse Click menu",
                    "You can find an image file with Windows Explorer and right click it to start Orvanta.    "
                    "Older Windows versions have been known to have problems with MS Office toolbar with this option"},
        ControlCase{"Frame2", "Smoothing Method", ""},
        ControlCase{"CheckAutoSmooth", "Automatically smooth the Montage when created",
                    "Smooth every new Montage automatically as soon as it is made"},
        ControlCase{"LabelSmooth_0", "Sensitivity to swap based on improved smoothness", ""},
        ControlCase{"LabelSmooth_3", "Sensitivity to replace regardless of focus", ""},
        ControlCase{"TextSmooth_2", nullptr, kSmoothingTip},
        ControlCase{"CommandSmoothReset", "Reset Smoothing defaults",
                    "Press here to restore the original Smoothing sensitivity parameters"},
        ControlCase{"LabelColor", "Current Offset color", ""},
        ControlCase{"PictureColor", nullptr, "Set the default color for the Offset Targets"},
        ControlCase{"CommandColor", "Change Target Color", "Set the default color for the Offset Targets"},
        ControlCase{"CommandOK", "OK", "Press here to save changes and return to Orvanta"},
        ControlCase{"CommandCancel", "Cancel", "Press here to return to Orvanta without saving the changes"},
        ControlCase{"LabelEditor", "Image editor", ""}),
    [](const auto& info) { return std::string(info.param.objectName); });

// --- box and scroll bar ---------------------------------------------------------------------------

struct PairCase {
    const char* name;
    bool increment;    // the increment pair, else smoothing box 1
    const char* typed; // typed into the box
    int barAfter;      // where the bar stands afterwards (it starts at 40)
};

class BoxAndBar : public ::testing::TestWithParam<PairCase> {};

TEST_P(BoxAndBar, TypingMovesTheBarOnlyToAValueInItsRange) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    QLineEdit* box = GetParam().increment ? f.Text1() : f.TextSmooth(1);
    QScrollBar* bar = GetParam().increment ? f.VScroll1() : f.VScrollSmooth(1);
    box->setText(QStringLiteral("40"));
    ASSERT_EQ(bar->value(), 40);
    box->selectAll();
    QTest::keyClicks(box, QString::fromUtf8(GetParam().typed));
    EXPECT_EQ(bar->value(), GetParam().barAfter);
    EXPECT_EQ(text(box), GetParam().typed); // what was typed stays
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BoxAndBar,
    ::testing::Values(PairCase{"Smoothing150LeavesTheBar", false, "150", 15}, // "1", "15" moved it on the way
                      PairCase{"Smoothing0LeavesTheBar", false, "0", 40},
                      PairCase{"Smoothing50MovesIt", false, "50", 50},
                      PairCase{"SmoothingTextLeavesTheBar", false, "abc", 40},
                      PairCase{"SmoothingFractionRounds", false, "12.5", 12},
                      PairCase{"Increment150MovesIt", true, "150", 150},
                      PairCase{"Increment0MovesIt", true, "0", 0},
                      PairCase{"IncrementBeyond32767LeavesTheBar", true, "40000", 4000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BoxAndBar, MovingTheBarWritesItsValueIntoTheBox) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    f.VScrollSmooth(3)->setValue(33);
    EXPECT_EQ(text(f.TextSmooth(3)), "33");
    f.TextSmooth(3)->setText(QStringLiteral("150"));
    f.VScrollSmooth(3)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(text(f.TextSmooth(3)), "34");
    f.VScroll1()->setValue(1234);
    EXPECT_EQ(text(f.Text1()), "1234");
}

// --- Reset and OK -----------------------------------------------------------------------------------

TEST(PreferencesDialog, ResetThenOKWritesTheOriginalSmoothingKeys) {
    PreferencesRig rig;
    rig.writeFile("autoSmooth=0\r\nedgeFactor=55\r\nfocusFactor=70\r\ndiffFactor=3000\r\nedgefactor2=5\r\n");
    rig.holdAsStartupReads();
    FormPreferences& f = rig.open();
    f.CommandSmoothReset()->click();
    // At once in memory and on screen; nothing in the file yet.
    EXPECT_EQ(rig.smoothing.autoSmooth, 1);
    EXPECT_FLOAT_EQ(rig.smoothing.edgeFactor, 0.1f);
    EXPECT_EQ(rig.smoothing.diffFactor, 100);
    EXPECT_TRUE(f.CheckAutoSmooth()->isChecked());
    EXPECT_EQ(text(f.TextSmooth(0)), "90");
    EXPECT_EQ(text(f.TextSmooth(3)), "60");
    EXPECT_EQ(f.VScrollSmooth(1)->value(), 10);
    EXPECT_EQ(rig.key("edgeFactor"), "55");

    f.CommandOK()->click();
    EXPECT_EQ(rig.key("edgeFactor"), "10");
    EXPECT_EQ(rig.key("focusFactor"), "10");
    EXPECT_EQ(rig.key("diffFactor"), "100");
    EXPECT_EQ(rig.key("edgefactor2"), "40");
    EXPECT_EQ(rig.key("autoSmooth"), "1");
    EXPECT_FALSE(f.isVisible());
}

TEST(PreferencesDialog, OKWritesEveryKeyInItsOrder) {
    PreferencesRig rig;
    rig.holdAsStartupReads();
    FormPreferences& f = rig.open();
    f.OptionMontageMethod(2)->setChecked(true);
    f.CheckUsed()->setChecked(true);
    f.Text1()->setText(QStringLiteral(" 30 "));
    f.TextSmooth(1)->setText(QStringLiteral("25"));
    f.CommandOK()->click();
    EXPECT_EQ(rig.fileText(), "[preferences]\r\n"
                              "Montage method=2\r\n"
                              "Originating image=1\r\n"
                              "Load images=0\r\n"
                              "Increment=30\r\n"
                              "shortcut=0\r\n"
                              "rightmouse=0\r\n"
                              "autoSmooth=0\r\n"
                              "edgeFactor=10\r\n"
                              "focusFactor=25\r\n"
                              "diffFactor=100\r\n"
                              "edgefactor2=40\r\n");
    EXPECT_TRUE(rig.originatingImage);
    EXPECT_FLOAT_EQ(rig.smoothing.focusFactor, 0.25f);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_FALSE(exists(rig.launcher()));
    EXPECT_FALSE(exists(rig.entry()));
}

TEST(PreferencesDialog, OKStoresTheValuesItWasOpenedWithUnchanged) {
    PreferencesRig rig;
    for (int k : {29, 53, 57, 59, 87}) {
        rig.writeFile("edgeFactor=" + std::to_string(k) + "\r\nfocusFactor=" + std::to_string(k) +
                      "\r\ndiffFactor=" + std::to_string(k * 100) + "\r\nedgefactor2=" + std::to_string(k) + "\r\n");
        rig.holdAsStartupReads();
        rig.open().CommandOK()->click();
        for (const char* key : {"edgeFactor", "focusFactor", "edgefactor2"}) EXPECT_EQ(rig.key(key), std::to_string(k)) << key;
        EXPECT_EQ(rig.key("diffFactor"), std::to_string(k * 100));
    }
}

TEST(PreferencesDialog, AnEditorInAFolderThatIsNotUtf8IsStoredAgainByItsBytes) {
    PreferencesRig rig;
    const std::string editor = "\"/opt/caf\xe9/paint\" %f";
    rig.writeFile("Image editor=" + editor + "\r\n");
    rig.holdAsStartupReads();
    rig.open().CommandOK()->click();
    EXPECT_EQ(rig.key("Image editor"), editor);
}

TEST(PreferencesDialog, ADifferenceTooLargeToStoreSaysSoAndWritesNothing) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    f.TextSmooth(2)->setText(QStringLiteral("400"));
    f.CommandOK()->click();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Critical);
    EXPECT_EQ(rig.prompter.shown[0].text, "error 6 (Overflow) at line 1 of CommandOK_Click");
    EXPECT_EQ(rig.prompter.shown[0].title, "Nobody's Perfect");
    EXPECT_FALSE(exists(rig.prefs.path()));
    EXPECT_TRUE(f.isVisible());
}

// A preferences file that cannot be written (here a folder stands in its place; a read-only file or
// a full disk are alike) kept nothing of what OK or a chosen colour stored, and the dialog closed as
// if all were saved: the choices were gone at the next start without a word.
TEST(PreferencesDialog, AFileThatCannotBeWrittenIsSaidOnceOnOKAndOnAChosenColour) {
    PreferencesRig rig;
    ASSERT_TRUE(std::filesystem::create_directory(rig.prefs.path()));
    FormPreferences& f = rig.open();
    rig.colors->chooseColor(0x00FF00);
    f.CommandColor()->click();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.applied, (std::vector<std::uint32_t>{0x00FF00})); // in use all the same
    f.CheckUsed()->setChecked(true);
    f.CommandOK()->click();
    ASSERT_EQ(rig.prompter.shown.size(), 2u); // one message for the whole OK
    for (const Prompt& shown : rig.prompter.shown) {
        EXPECT_EQ(shown.icon, PromptIcon::Exclamation);
        EXPECT_EQ(shown.title, "Preferences not saved");
        EXPECT_EQ(shown.text, "I could not save your preferences in " + rig.prefs.path() +
                                  " (error 75, Path/File access error).   What you chose here is lost when "
                                  "Orvanta closes.");
    }
    EXPECT_TRUE(rig.originatingImage); // the values in memory apply until then
    EXPECT_FALSE(f.isVisible());
}

// --- desktop launcher and file-manager entry --------------------------------------------------------

TEST(PreferencesDialog, TickedShortcutWritesTheLauncherOnOK) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    f.CheckShortcut()->setChecked(true);
    f.CommandOK()->click();
    EXPECT_EQ(rig.shortcut, 1);
    EXPECT_EQ(rig.key("shortcut"), "1");
    QFile launcher(QString::fromStdString(rig.launcher()));
    ASSERT_TRUE(launcher.open(QIODevice::ReadOnly));
    EXPECT_TRUE(launcher.readAll().contains(("Exec=\"" + rig.places().programFolder + "orvanta\"\n").c_str()));
}

// A launcher that cannot be written is said, with where and why; the choice is still kept, so the
// next start tries again.
TEST(PreferencesDialog, ALauncherThatCannotBeWrittenIsSaid) {
    for (const bool folderInTheWay : {true, false}) {
        SCOPED_TRACE(folderInTheWay ? "a folder named as the launcher" : "a file named as the desktop folder");
        PreferencesRig rig;
        if (folderInTheWay) std::filesystem::create_directories(rig.launcher());
        else std::ofstream(rig.home.desktop()) << "not a folder";
        FormPreferences& f = rig.open();
        f.CheckShortcut()->setChecked(true);
        f.CommandOK()->click();
        ASSERT_EQ(rig.prompter.shown.size(), 1u);
        EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Exclamation);
        EXPECT_EQ(rig.prompter.shown[0].title, kLauncherNotWrittenTitle);
        EXPECT_NE(rig.prompter.shown[0].text.find("I could not put the 'Orvanta' shortcut on your desktop as " +
                                                  rig.launcher() + " ("),
                  std::string::npos)
            << rig.prompter.shown[0].text;
        EXPECT_EQ(rig.key("shortcut"), "1");
        EXPECT_FALSE(f.isVisible());
    }
}

TEST(PreferencesDialog, TickingTheFileManagerBoxWhenTheFlagIsAlready1WritesNothing) {
    PreferencesRig rig;
    rig.rightMouse = 1;
    FormPreferences& f = rig.open();
    ASSERT_TRUE(f.CheckRight()->isChecked());
    f.CommandOK()->click();
    EXPECT_FALSE(exists(rig.entry()));
    EXPECT_FALSE(exists(rig.home.dataHome()));
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.key("rightmouse"), "1");
}

TEST(PreferencesDialog, ClearingTheFileManagerBoxWhenTheFilesAreGoneSaysSoAndStillStores0) {
    PreferencesRig rig;
    rig.rightMouse = 1;
    FormPreferences& f = rig.open();
    f.CheckRight()->setChecked(false);
    f.CommandOK()->click();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Information, PromptButtons::Ok,
                      "I have struck problems with removing the 'Orvanta' item from the Windows Explorer Right "
                      "Mouse Click context menu",
                      "Maybe it has already been removed????"}));
    EXPECT_EQ(rig.rightMouse, 0);
    EXPECT_EQ(rig.key("rightmouse"), "0");
    EXPECT_FALSE(f.isVisible());
}

// --- target colour ------------------------------------------------------------------------------------

TEST(PreferencesDialog, CancellingTheColourDialogChangesNothing) {
    PreferencesRig rig;
    rig.writeFile("Target color=255\r\n");
    FormPreferences& f = rig.open();
    rig.colors->cancel();
    f.CommandColor()->click();
    ASSERT_EQ(rig.colors->requests.size(), 1u);
    EXPECT_EQ(rig.colors->requests[0].kind, DialogKind::Color);
    EXPECT_EQ(rig.colors->requests[0].color, 255u);
    EXPECT_TRUE(rig.colors->requests[0].flags & kFlagColorInitial);
    EXPECT_EQ(f.swatchColor(), 255u);
    EXPECT_EQ(rig.key("Target color"), "255");
    EXPECT_TRUE(rig.applied.empty());
}

TEST(PreferencesDialog, AChosenColourIsStoredPaintedAndAppliedAtOnce) {
    PreferencesRig rig;
    FormPreferences& f = rig.open();
    rig.colors->chooseColor(0x0080FF); // red 255, green 128, blue 0
    f.CommandColor()->click();
    EXPECT_EQ(rig.key("Target color"), std::to_string(0x0080FF));
    EXPECT_EQ(f.swatchColor(), 0x0080FFu);
    EXPECT_EQ(f.PictureColor()->palette().color(QPalette::Window), QColor(255, 128, 0));
    EXPECT_EQ(rig.applied, (std::vector<std::uint32_t>{0x0080FF}));
    // The next choice starts from it.
    rig.colors->cancel();
    f.CommandColor()->click();
    EXPECT_EQ(rig.colors->requests.back().color, 0x0080FFu);
}

// --- the File menu's entry point ----------------------------------------------------------------------

TEST(ShowPreferences, OneModelessDialogThatIsLoadedAgainAfterOK) {
    PreferencesRig rig;
    QWidget owner;
    owner.show();
    QPointer<FormPreferences> slot;
    FormPreferences* first = showPreferences(slot, rig.context(), &owner);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->parentWidget(), &owner);
    first->Text1()->setText(QStringLiteral("77"));
    EXPECT_EQ(showPreferences(slot, rig.context(), &owner), first); // the open one, as it is
    EXPECT_EQ(text(first->Text1()), "77");
    first->CommandOK()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return slot.isNull(); }, 2000));
    FormPreferences* second = showPreferences(slot, rig.context(), &owner);
    EXPECT_EQ(text(second->Text1()), "77"); // filled from the file OK wrote
    second->close();
}

// --- a fresh installation ----------------------------------------------------------------------------

TEST(FreshPreferences, SmoothMontageImageSmoothsInsteadOfAskingToRaiseASetting) {
    MontageRig rig;
    ASSERT_FALSE(exists(rig.state.preferences.path()));
    rig.state.smoothing = readStartupPreferences(rig.state.preferences).smoothing;
    ASSERT_TRUE(rig.makeTextured("fresh", 3, QSize(60, 40), "10").made);
    rig.form->windows().montageWindow()->menuAction("mnuSmooth")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const std::string title = rig.prompter.shown[0].title;
    EXPECT_TRUE(title == "Smooved" || title == "Sorry, I can't improve perfection") << title;
}

} // namespace
