// The main window: its controls and menu tree, the ticks, the Load command with its messages, the
// cascade, the window lists, the recent list, Browse and quitting.
#include "series_fixture.h"

#include "input/series_loader.h"
#include "ui/form_picture.h"

#include <QAccessible>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using namespace orv;
using namespace orv::testing;

namespace {

// --- the menu tree ----------------------------------------------------------------------------

struct EntryCase {
    const char* name;
    const char* caption;
    const char* shortcut = "";
    bool visible = true;
    bool checked = false;
};

class MenuEntries : public ::testing::TestWithParam<EntryCase> {};

TEST_P(MenuEntries, HaveTheirCaptionShortcutAndInitialState) {
    MainWindowRig rig;
    const EntryCase& c = GetParam();
    QAction* a = rig.form->menuAction(QString::fromLatin1(c.name));
    ASSERT_NE(a, nullptr) << c.name;
    if (std::string_view(c.caption) == "-") EXPECT_TRUE(a->isSeparator());
    else EXPECT_EQ(a->text().remove(QLatin1Char('&')).toStdString(), c.caption); // the access key aside
    EXPECT_EQ(a->shortcut().toString().toStdString(), c.shortcut);
    EXPECT_EQ(a->isVisible(), c.visible);
    EXPECT_EQ(a->isChecked(), c.checked);
}

INSTANTIATE_TEST_SUITE_P(
    Tree, MenuEntries,
    ::testing::Values(
        EntryCase{"mnuOpen", "Browse for Image File", "Ctrl+O"}, EntryCase{"mnuLoad", "Load Image Files"},
        EntryCase{"mnuOpenProject", "Load a Project"}, EntryCase{"mnuSave", "Save a Project"},
        EntryCase{"mnuMakeMontage", "Make the Montage"}, EntryCase{"mnuseparator", "-"},
        EntryCase{"mnuJPG", "Save Montage As"}, EntryCase{"mnuCopy", "Copy Montage to Clipboard"},
        EntryCase{"mnuEditor", "Open Montage in Editor"}, EntryCase{"mnuPrint100", "Print Montage"},
        EntryCase{"mnuPrint", "Print Montage Fit to Page", "Ctrl+P"},
        EntryCase{"mnuPrintHalf", "Print Montage Fit to Half Page"},
        EntryCase{"mnuSelect", "Select Printer", "", false}, EntryCase{"mnuseparator1", "-"},
        EntryCase{"mnuPreferences", "Preferences"}, EntryCase{"mnuseparator5", "-"},
        EntryCase{"mnuRecentFile_0", "", "", false}, EntryCase{"mnuRecentFile_11", "", "", false},
        EntryCase{"mnuseparator4", "-"}, EntryCase{"mnuExit", "Exit"},
        EntryCase{"mnusimpleCol_0", "3D Color Space Focus", "", true, true},
        EntryCase{"mnusimpleCol_1", "Linear Color Focus"}, EntryCase{"mnusimpleCol_2", "Preference Red Focus"},
        EntryCase{"mnusimpleCol_3", "Preference Green Focus"}, EntryCase{"mnusimpleCol_4", "Preference Blue Focus"},
        EntryCase{"mnuseparator7", "-"}, EntryCase{"mnuAllMethods", "Compare All Montage Methods"},
        EntryCase{"mnuEvaluate", "Evaluate Increments"},
        EntryCase{"mnuEvaluateAll", "Evaluate Increments and all Montage Methods"},
        EntryCase{"mnuseparate6", "-"}, EntryCase{"mnuSmooth", "Smooth Montage Image"},
        EntryCase{"mnuignoreImage_0", "Ignore Image 1", "", false},
        EntryCase{"mnuignoreImage_9", "Ignore Image 10", "", false},
        EntryCase{"mnuAddOffsets", "Use Image Offsets"},
        EntryCase{"mnuActivateOffsetsMin", "Activate Image Offsets - display minimum area"},
        EntryCase{"mnuActivateOffsetsMax", "Activate Image Offsets - display maximum area"},
        EntryCase{"mnuActivateOffsetsSame", "Activate Image Offsets - display same area", "", true, true},
        EntryCase{"mnuWindow_1", "Window", "", false}, EntryCase{"mnuWindow_12", "Window", "", false},
        EntryCase{"mnuseparator3", "-"}, EntryCase{"mnuWindow2_0", "Window", "", false},
        EntryCase{"mnuWindow2_9", "Window", "", false}, EntryCase{"mnuHelp", "Help", "F1"},
        EntryCase{"mnuseparator2", "-"}, EntryCase{"mnuContact", "Contact Brindlemoor Software"},
        EntryCase{"mnuAbout", "About"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MainWindow, CaptionMenuBarAndControls) {
    MainWindowRig rig;
    FormMontage& f = *rig.form;
    EXPECT_EQ(f.windowTitle().toStdString(), "Orvanta  -  from Brindlemoor Software");
    QStringList titles;
    for (QAction* a : f.menuBar()->actions()) titles << a->text();
    // Each title with its access key (Alt+F opens File); the blank spacer is not shown.
    EXPECT_EQ(titles, (QStringList{"    ", " &File ", " &Montage Method ", " &Ignore Image ", " &Set Image Offsets ",
                                   " &Window ", " &Help "}));
    EXPECT_FALSE(f.menuBar()->actions()[0]->isVisible());
    EXPECT_EQ(f.CommandGo()->text(), "Make Montage");
    // Its access key's "&" is not shown.
    EXPECT_EQ(f.findChild<QLabel*>("Label1")->text().remove(QLatin1Char('&')), "Increment");
    EXPECT_EQ(f.textFileName()->toolTip().toStdString(),
              "Type in the path and name of the first file here, or use the Browse icon to the right");
    EXPECT_EQ(f.CommandBrowse()->toolTip().toStdString(),
              "Browse to find the name of the first file here, or type in the path and name to the left");
    EXPECT_EQ(f.TextIncrement()->toolTip().toStdString(),
              "Enter how large a chunk you want the software to examine to determine which picture has the "
              "best focus, usually an increment of about 20 works best");
    EXPECT_EQ(f.CommandGo()->toolTip().toStdString(),
              "Press here to make a Montage with the Montage method you have chosen");
    for (const char* name : {"textFileName", "TextIncrement", "CommandBrowse", "CommandGo", "Image1"})
        EXPECT_NE(f.findChild<QWidget*>(name), nullptr) << name;
}

TEST(MainWindow, AssistiveTechnologyFindsControlsByName) {
    MainWindowRig rig;
    rig.form->show();
    auto name = [](QObject* o) {
        QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
        return i ? i->text(QAccessible::Name) : QString();
    };
    EXPECT_EQ(name(rig.form->textFileName()), "First file name");
    EXPECT_EQ(name(rig.form->TextIncrement()), "Increment");
    EXPECT_EQ(name(rig.form->CommandGo()), "Make Montage");
    EXPECT_EQ(name(rig.form->CommandBrowse()), "Browse");
}

// --- ticks ------------------------------------------------------------------------------------

std::vector<int> tickedMethods(FormMontage& f) {
    std::vector<int> t;
    for (int i = 0; i < 5; ++i)
        if (f.mnusimpleCol(i)->isChecked()) t.push_back(i);
    return t;
}

TEST(MethodMenu, ExactlyOneEntryIsTickedWhateverIsChosen) {
    MainWindowRig rig;
    for (int i : {3, 1, 1, 4, 0}) {
        rig.form->mnusimpleCol(i)->trigger();
        EXPECT_EQ(tickedMethods(*rig.form), std::vector<int>{i});
        EXPECT_EQ(rig.form->readRequest().method, FocusMethod(i));
    }
}

struct AreaStep {
    const char* click;
    bool same, min, max;
};

TEST(DisplayAreaMenu, TickingOneUnticksTheOthersAndASecondClickLeavesNone) {
    MainWindowRig rig;
    const AreaStep steps[] = {{"mnuActivateOffsetsMin", false, true, false},
                              {"mnuActivateOffsetsMin", false, false, false},
                              {"mnuActivateOffsetsMax", false, false, true},
                              {"mnuActivateOffsetsSame", true, false, false}};
    for (const AreaStep& s : steps) {
        rig.form->menuAction(s.click)->trigger();
        EXPECT_EQ(rig.form->menuAction("mnuActivateOffsetsSame")->isChecked(), s.same) << s.click;
        EXPECT_EQ(rig.form->menuAction("mnuActivateOffsetsMin")->isChecked(), s.min) << s.click;
        EXPECT_EQ(rig.form->menuAction("mnuActivateOffsetsMax")->isChecked(), s.max) << s.click;
    }
    rig.form->menuAction("mnuActivateOffsetsSame")->trigger();
    EXPECT_FALSE(rig.form->readRequest().area.has_value());
}

TEST(IgnoreMenu, EntriesOfLoadedPicturesShowTogglesAndAnEditClearsThem) {
    MainWindowRig rig;
    rig.files.writeSeries("rock", 1, 3);
    ASSERT_EQ(rig.load(rig.files.path("rock01.bmp")), LoadOutcome::Loaded);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(rig.form->mnuignoreImage(i)->isVisible(), i < 3) << i;
    rig.form->mnuignoreImage(1)->trigger();
    rig.form->mnuignoreImage(2)->trigger();
    rig.form->mnuignoreImage(2)->trigger();
    EXPECT_EQ(rig.form->readRequest().ignored, (IgnoreTicks{false, true, false}));
    QTest::keyClick(rig.form->textFileName(), Qt::Key_Backspace);
    EXPECT_EQ(rig.form->readRequest().ignored, IgnoreTicks{});
}

TEST(IncrementBox, SelectsAllItsTextWhenItGetsTheFocus) {
    MainWindowRig rig;
    rig.form->show();
    QApplication::setActiveWindow(rig.form.get());
    rig.form->TextIncrement()->setText("25");
    rig.form->textFileName()->setFocus();
    rig.form->TextIncrement()->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.form->TextIncrement()->selectedText() == "25"; }, 2000));
}

// --- the Load command -------------------------------------------------------------------------

TEST(LoadCommand, LoadsTheSeriesIntoCaptionedWindows) {
    MainWindowRig rig;
    rig.files.writeSeries("rock", 9, 4); // rock09 to rock12
    ASSERT_EQ(rig.load(rig.files.path("rock09.bmp")), LoadOutcome::Loaded);
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.state.series.imageCount, 4);
    EXPECT_EQ(rig.state.series.numberOffset, 8);
    EXPECT_EQ(rig.state.series.currentFileName, rig.files.path("rock13.bmp"));
    EXPECT_EQ(rig.state.series.pictureWidth, 8.0f);
    EXPECT_EQ(rig.visibleSourceWindows(), 4);
    EXPECT_EQ(rig.form->windows().existingSourceWindow(4)->windowTitle().toStdString(),
              "Image 4 -- " + rig.files.path("rock12.bmp"));
    EXPECT_EQ(rig.form->windows().existingSourceWindow(1)->PictureFile()->picture().size(), QSize(8, 6));
    EXPECT_FALSE(rig.state.startupFlag);
}

TEST(LoadCommand, ANewSeriesReplacesTheOldWindows) {
    MainWindowRig rig;
    rig.files.writeSeries("a", 1, 5, 1);
    rig.files.writeSeries("b", 1, 2, 1);
    ASSERT_EQ(rig.load(rig.files.path("a1.bmp")), LoadOutcome::Loaded);
    ASSERT_EQ(rig.load(rig.files.path("b1.bmp")), LoadOutcome::Loaded);
    EXPECT_EQ(rig.visibleSourceWindows(), 2);
    EXPECT_FALSE(rig.form->windows().existingSourceWindow(3)->PictureFile()->hasPicture());
    EXPECT_FALSE(rig.form->mnuignoreImage(2)->isVisible());
    EXPECT_FALSE(rig.form->mnuWindow(3)->isVisible());
}

struct LoadCase {
    const char* label;
    std::function<void(const SeriesFolder&)> make;
    std::string typed; // relative to the folder, or absolute when it starts with "/"
    bool startup;
    int loaded;
    std::vector<Prompt> prompts;
    std::string boxAfter{}; // "" when unchanged
};

class LoadFlows : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadFlows, ShowTheirMessagesAndLoadWhatTheyShould) {
    const LoadCase& c = GetParam();
    MainWindowRig rig;
    c.make(rig.files);
    rig.state.startupFlag = c.startup;
    const std::string typed = c.typed.empty() || c.typed[0] != '/' ? rig.files.path(c.typed) : c.typed;
    rig.load(typed);
    // The texts as they were; a picture that did not load is named in the details.
    std::vector<Prompt> shown = rig.prompter.shown;
    for (Prompt& p : shown) {
        if (p.text == kInvalidPictureText) {
            EXPECT_TRUE(QFile::exists(QString::fromStdString(p.details))) << p.details;
            EXPECT_TRUE(QImage(QString::fromStdString(p.details)).isNull()) << p.details;
        } else {
            EXPECT_EQ(p.details, "");
        }
        p.details.clear();
    }
    EXPECT_EQ(shown, c.prompts);
    EXPECT_EQ(rig.state.series.imageCount, c.loaded);
    EXPECT_EQ(rig.visibleSourceWindows(), c.loaded);
    EXPECT_FALSE(rig.state.startupFlag);
    if (!c.boxAfter.empty()) {
        EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.files.path(c.boxAfter));
    }
}

const Prompt kRename{PromptIcon::Critical, PromptButtons::Ok, kRenameTextLoad, kRenameTitle};
const Prompt kMissing{PromptIcon::Exclamation, PromptButtons::Ok, kMissingFileText, kMissingFileTitle};
const Prompt kLimit{PromptIcon::Critical, PromptButtons::Ok, kLimitText, kLimitTitle};
const Prompt kInvalid{PromptIcon::Critical, PromptButtons::Ok, kInvalidPictureText, kInvalidPictureTitle};

INSTANTIATE_TEST_SUITE_P(
    Table, LoadFlows,
    ::testing::Values(
        LoadCase{"no_digit_before_the_dot", [](const SeriesFolder& f) { f.writePicture("photo.bmp"); },
                 "photo.bmp", false, 0, {kRename}},
        LoadCase{"no_dot_gets_bmp_then_refused", [](const SeriesFolder&) {}, "photo", false, 0, {kRename}, "photo.bmp"},
        LoadCase{"bare_name_gets_the_program_folder_and_bmp",
                 [](const SeriesFolder& f) { f.writeSeries("rock", 1, 2, 1); }, "rock1", false, 2, {}, "rock1.bmp"},
        LoadCase{"missing_first_file", [](const SeriesFolder&) {}, "rock1.bmp", false, 0, {kMissing}},
        LoadCase{"missing_first_file_at_startup_is_quiet", [](const SeriesFolder&) {}, "rock1.bmp", true, 0, {}},
        LoadCase{"thirty_files_show_the_limit", [](const SeriesFolder& f) { f.writeSeries("s", 1, 30); },
                 "s01.bmp", false, 30, {kLimit}},
        LoadCase{"thirty_one_files_keep_thirty", [](const SeriesFolder& f) { f.writeSeries("s", 1, 31); },
                 "s01.bmp", false, 30, {kLimit}},
        LoadCase{"a_gap_ends_the_series",
                 [](const SeriesFolder& f) {
                     f.writeSeries("g", 1, 2, 1);
                     f.writeSeries("g", 4, 2, 1);
                 },
                 "g1.bmp", false, 2, {}},
        LoadCase{"nine_then_ten", [](const SeriesFolder& f) { f.writeSeries("shot", 9, 2, 1); }, "shot9.bmp",
                 false, 2, {}},
        LoadCase{"unreadable_picture_is_reported_and_ends_the_series",
                 [](const SeriesFolder& f) {
                     f.writeSeries("bad", 1, 2, 1);
                     f.writeText("bad3.bmp", "this is not a picture");
                     f.writeSeries("bad", 4, 1, 1);
                 },
                 "bad1.bmp", false, 2, {kInvalid}},
        LoadCase{"unreadable_first_picture", [](const SeriesFolder& f) { f.writeText("bad1.bmp", "text"); },
                 "bad1.bmp", false, 0, {kInvalid}},
        LoadCase{"upper_case_names_stay_as_typed", [](const SeriesFolder& f) { f.writeSeries("ROCK", 1, 3, 1, ".JPG"); },
                 "ROCK1.JPG", false, 3, {}},
        LoadCase{"number_beyond_16_bits_is_a_generic_error", [](const SeriesFolder&) {}, "rock99999.bmp", false, 0,
                 {Prompt{PromptIcon::Critical, PromptButtons::Ok, "error 6 (Overflow) at line 400 of mnuLoad",
                         "Nobody's Perfect"}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LoadCommand, ADotInAFolderNameIsNotTheExtension) {
    MainWindowRig rig;
    ASSERT_TRUE(QDir(QString::fromStdString(rig.files.folder())).mkdir("ann.lee"));
    rig.files.writeSeries("ann.lee/a", 1, 2, 1);
    EXPECT_EQ(rig.load(rig.files.path("ann.lee/a1.bmp")), LoadOutcome::Loaded);
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

TEST(LoadCommand, MissingSeriesIsBlankedInTheRecentList) {
    MainWindowRig rig;
    const std::string gone = rig.files.path("gone1.bmp");
    rig.form->AddRecentFile(rig.files.path("other1.bmp"));
    rig.form->AddRecentFile(gone);
    rig.load(gone);
    EXPECT_EQ(rig.prompter.shown, std::vector<Prompt>{kMissing});
    EXPECT_EQ(rig.state.recent.caption(0), "");
    EXPECT_FALSE(rig.form->mnuRecentFile(0)->isVisible());
    EXPECT_EQ(rig.preference("recent file 0"), "");
    EXPECT_EQ(rig.state.recent.caption(1), rig.files.path("other1.bmp"));
}

TEST(LoadCommand, SourceWindowsCascadeTwentyPixelsApartBelowTheFileBox) {
    MainWindowRig rig;
    rig.files.writeSeries("c", 1, 3, 1, ".bmp", QSize(40, 30));
    rig.form->show();
    ASSERT_EQ(rig.load(rig.files.path("c1.bmp")), LoadOutcome::Loaded);
    const int boxBottom = rig.form->frameGeometry().top() + rig.form->textFileName()->geometry().bottom() + 1;
    for (int k = 1; k <= 3; ++k) {
        FormPicture* w = rig.form->windows().existingSourceWindow(k);
        const Placement p = cascadePlacement(k, boxBottom, 40, 30, rig.state.layout);
        EXPECT_EQ(w->frameGeometry().topLeft(), QPoint(p.left, p.top)) << k;
        EXPECT_EQ(w->PictureFile()->size(), QSize(40, 30));
    }
    EXPECT_EQ(rig.form->windows().existingSourceWindow(2)->x() - rig.form->windows().existingSourceWindow(1)->x(), 20);
    EXPECT_EQ(rig.form->windows().existingSourceWindow(3)->y() - rig.form->windows().existingSourceWindow(2)->y(), 20);
}

// A source window appears at its place in the cascade and at its picture's size: one first shown
// elsewhere and moved afterwards can be left where the window manager put it.
TEST(LoadCommand, SourceWindowsAppearAtTheirPlaceInTheCascade) {
    struct ShowWatch : QObject {
        std::map<int, QRect> firstShown; // by slot: the frame as the window first appeared
        MainWindowRig* rig = nullptr;
        bool eventFilter(QObject* o, QEvent* e) override {
            if (e->type() == QEvent::Show)
                for (int k = 1; k <= 3; ++k)
                    if (o == rig->form->windows().existingSourceWindow(k) && !firstShown.count(k))
                        firstShown[k] = QRect(static_cast<QWidget*>(o)->frameGeometry().topLeft(),
                                              static_cast<QWidget*>(o)->size());
            return false;
        }
    };
    MainWindowRig rig;
    rig.files.writeSeries("a", 1, 3, 1, ".bmp", QSize(40, 30));
    rig.form->show();
    ShowWatch watch;
    watch.rig = &rig;
    qApp->installEventFilter(&watch);
    ASSERT_EQ(rig.load(rig.files.path("a1.bmp")), LoadOutcome::Loaded);
    qApp->removeEventFilter(&watch);
    const int boxBottom = rig.form->frameGeometry().top() + rig.form->textFileName()->geometry().bottom() + 1;
    ASSERT_EQ(watch.firstShown.size(), 3u);
    for (int k = 1; k <= 3; ++k) {
        const Placement p = cascadePlacement(k, boxBottom, 40, 30, rig.state.layout);
        EXPECT_EQ(watch.firstShown[k].topLeft(), QPoint(p.left, p.top)) << k;
        EXPECT_EQ(watch.firstShown[k].size(), rig.form->windows().existingSourceWindow(k)->size()) << k;
    }
}

TEST(LoadCommand, APictureThatFitsTheScreenShowsWholeWithoutScrollBars) {
    MainWindowRig rig;
    rig.files.writeSeries("w", 1, 2, 1, ".bmp", QSize(200, 150));
    rig.form->show();
    ASSERT_EQ(rig.load(rig.files.path("w1.bmp")), LoadOutcome::Loaded);
    for (int k = 1; k <= 2; ++k) {
        FormPicture* w = rig.form->windows().existingSourceWindow(k);
        QScrollArea* area = w->scrollArea();
        EXPECT_FALSE(area->horizontalScrollBar()->isVisible()) << k;
        EXPECT_FALSE(area->verticalScrollBar()->isVisible()) << k;
        const QSize shown = area->viewport()->size();
        EXPECT_TRUE(shown.width() >= 200 && shown.height() >= 150)
            << "window " << k << " shows " << shown.width() << " x " << shown.height() << " of a 200 x 150 picture";
    }
}

TEST(LoadCommand, APictureLargerThanTheScreenScrollsAtFullSize) {
    MainWindowRig rig;
    const QSize screen = QGuiApplication::primaryScreen()->availableGeometry().size();
    rig.files.writeSeries("big", 1, 1, 1, ".bmp", screen + QSize(200, 200));
    ASSERT_EQ(rig.load(rig.files.path("big1.bmp")), LoadOutcome::Loaded);
    FormPicture* w = rig.form->windows().existingSourceWindow(1);
    EXPECT_EQ(w->PictureFile()->size(), screen + QSize(200, 200));
    EXPECT_LE(w->width(), screen.width());
}

// --- window lists -----------------------------------------------------------------------------

QStringList listedSources(FormMontage& f) {
    QStringList l;
    for (int i = 1; i <= 12; ++i)
        if (f.mnuWindow(i)->isVisible()) l << f.mnuWindow(i)->text().section(" -- ", 0, 0);
    return l;
}

TEST(WindowMenu, FifteenWindowsListTheFirstTwelve) {
    MainWindowRig rig;
    rig.files.writeSeries("w", 1, 15);
    ASSERT_EQ(rig.load(rig.files.path("w01.bmp")), LoadOutcome::Loaded);
    QStringList expected;
    for (int k = 1; k <= 12; ++k) expected << QStringLiteral("Image %1").arg(k);
    EXPECT_EQ(listedSources(*rig.form), expected);
}

TEST(WindowMenu, ClosingWindowTwoOfFourKeepsOneThreeFourAndEntriesBringWindowsForward) {
    MainWindowRig rig;
    rig.files.writeSeries("w", 1, 4);
    ASSERT_EQ(rig.load(rig.files.path("w01.bmp")), LoadOutcome::Loaded);
    FormPicture* second = rig.form->windows().existingSourceWindow(2);
    second->menuAction("mnuClose")->trigger();
    EXPECT_FALSE(second->isVisible());
    EXPECT_EQ(second->windowTitle(), "Original Image");
    EXPECT_FALSE(second->PictureFile()->hasPicture());
    EXPECT_EQ(listedSources(*rig.form), (QStringList{"Image 1", "Image 3", "Image 4"}));

    rig.form->windows().existingSourceWindow(3)->hide();
    rig.form->mnuWindow(2)->trigger();
    EXPECT_TRUE(rig.form->windows().existingSourceWindow(3)->isVisible());
}

TEST(WindowMenu, MontageListShowsRegisteredWindowsAndDropsAClosedPreview) {
    MainWindowRig rig;
    FormMontagePicture& montage = *rig.form->windows().montageWindow();
    FormPreview& preview = *rig.form->windows().previewWindow();
    montage.setWindowTitle("Montage in focus image from a1.bmp");
    montage.show();
    preview.show();
    rig.form->RefreshWindowMenus();
    EXPECT_EQ(rig.form->mnuWindow2(0)->text(), montage.windowTitle());
    EXPECT_TRUE(rig.form->mnuWindow2(1)->isVisible());
    EXPECT_EQ(rig.form->mnuWindow2(1)->text(), "Preview");
    preview.close();
    rig.form->RefreshWindowMenus();
    EXPECT_FALSE(rig.form->mnuWindow2(1)->isVisible());
    montage.hide();
    rig.form->mnuWindow2(0)->trigger();
    EXPECT_TRUE(montage.isVisible());
}

TEST(SourceWindow, ContextMenuEntriesInOrderAndFocusGoesToTheMainWindow) {
    MainWindowRig rig;
    FormPicture* w = rig.form->windows().sourceWindow(1);
    QStringList names, captions;
    for (QAction* a : w->mnuMenu()->actions()) {
        names << a->objectName();
        captions << (a->isSeparator() ? QStringLiteral("-") : a->text().remove(QLatin1Char('&')));
    }
    EXPECT_EQ(names, (QStringList{"mnuSaveAs", "mnuCopy", "mnuEditor", "mnuPrint100", "mnuPrint", "mnuPrintHalf", "",
                                  "mnuOffsetColor", "mnuPlaceTarget", "mnushowPreview", "mnuClose"}));
    EXPECT_EQ(captions, (QStringList{"Save As", "Copy to Clipboard", "Open in Editor", "Print", "Print File to Page",
                                     "Print Fit to Half Page", "-", "Set Offset Target Color",
                                     "Place Offset Target...", "Show Preview of this Picture", "Close Window"}));
    EXPECT_EQ(w->windowTitle(), "Original Image");
    EXPECT_EQ(w->PictureFile()->toolTip().toStdString(),
              "This is an image I have read from disk.   My file name is in my title bar.");

    rig.form->show();
    w->show();
    w->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == rig.form.get(); }, 2000));
}

// --- recent files -----------------------------------------------------------------------------

TEST(RecentFiles, ANameMovesToTheTopAndTheTwelfthDropsOut) {
    MainWindowRig rig;
    for (int i = 0; i < 12; ++i) rig.form->AddRecentFile("/p/s" + std::to_string(i) + "_1.bmp");
    EXPECT_EQ(rig.form->mnuRecentFile(0)->text(), "/p/s11_1.bmp");
    rig.form->AddRecentFile("/p/s6_1.bmp"); // entry 5
    EXPECT_EQ(rig.form->mnuRecentFile(0)->text(), "/p/s6_1.bmp");
    EXPECT_EQ(rig.form->mnuRecentFile(1)->text(), "/p/s11_1.bmp");
    EXPECT_EQ(rig.form->mnuRecentFile(6)->text(), "/p/s5_1.bmp");
    rig.form->AddRecentFile("/p/new1.bmp");
    EXPECT_EQ(rig.form->mnuRecentFile(11)->text(), "/p/s1_1.bmp"); // s0 dropped
    EXPECT_EQ(rig.preference("recent file 11"), "/p/s1_1.bmp");
    EXPECT_EQ(rig.preference("recent file 0"), "/p/new1.bmp");
}

// The Window entry of picture 2 brings its window forward, and the first recent entry opens the
// two-picture series `first` without a word.
void expectEntriesStillWork(MainWindowRig& rig, const std::string& first) {
    FormPicture* second = rig.form->windows().existingSourceWindow(2);
    second->hide();
    rig.form->mnuWindow(2)->trigger();
    EXPECT_TRUE(second->isVisible());

    rig.form->textFileName()->setText("elsewhere");
    rig.form->mnuRecentFile(0)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), first);
    EXPECT_EQ(rig.state.series.imageCount, 2);
}

// A name with an ampersand ("Bugs & Beetles", "R&D") shows whole in the recent list and the Window
// menu: the menus would otherwise take it for an access key and drop it. The entries still open
// their series and bring their windows forward.
TEST(RecentFiles, AnAmpersandInANameShowsAsItIsAndItsEntriesStillWork) {
    MainWindowRig rig;
    std::filesystem::create_directory(rig.files.path("R&D"));
    rig.files.writeSeries("R&D/a&b", 1, 2);
    const std::string first = rig.files.path("R&D/a&b01.bmp");
    ASSERT_EQ(rig.load(first), LoadOutcome::Loaded);
    rig.form->AddRecentFile(first);
    // What a menu shows of an entry is its iconText(): the text with its access-key marks taken out.
    EXPECT_EQ(rig.form->mnuRecentFile(0)->iconText().toStdString(), first);
    EXPECT_EQ(rig.form->mnuWindow(2)->iconText().toStdString(), "Image 2 -- " + rig.files.path("R&D/a&b02.bmp"));

    expectEntriesStillWork(rig, first);
}

// A series deep in folders keeps the menus within a screen: its entries show the start and the
// end of the name, and still open the series and bring its windows forward.
TEST(RecentFiles, ALongNameShowsItsStartAndItsEndAndItsEntriesStillWork) {
    MainWindowRig rig;
    std::string folder;
    for (int i = 0; i < 8; ++i) folder += "a rather long folder name for the series number " + std::to_string(i) + "/";
    std::filesystem::create_directories(rig.files.path(folder));
    rig.files.writeSeries(folder + "deep", 1, 2);
    const std::string first = rig.files.path(folder + "deep01.bmp");
    ASSERT_EQ(rig.load(first), LoadOutcome::Loaded);
    rig.form->AddRecentFile(first);
    const QFontMetrics metrics(QApplication::font("QMenu"));
    for (QAction* entry : {rig.form->mnuRecentFile(0), rig.form->mnuWindow(2)}) {
        const QString shown = entry->iconText();
        EXPECT_LE(metrics.horizontalAdvance(shown), metrics.averageCharWidth() * (kMenuNameChars + 2))
            << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith(entry == rig.form->mnuWindow(2) ? "deep02.bmp" : "deep01.bmp")) << shown.toStdString();
    }
    EXPECT_TRUE(rig.form->mnuRecentFile(0)->iconText().startsWith(QString::fromStdString(rig.files.folder())));

    expectEntriesStillWork(rig, first);
}

TEST(RecentFiles, OpeningAnEntryLoadsItAndMovesItUpAMissingOneIsBlankedNotReAdded) {
    MainWindowRig rig;
    rig.files.writeSeries("r", 1, 2, 1);
    rig.form->AddRecentFile(rig.files.path("r1.bmp"));
    rig.form->AddRecentFile(rig.files.path("gone1.bmp"));
    rig.form->AddRecentFile(rig.files.path("x1.bmp"));
    rig.form->mnuRecentFile(2)->trigger();
    EXPECT_EQ(rig.state.series.imageCount, 2);
    EXPECT_EQ(rig.state.recent.caption(0), rig.files.path("r1.bmp"));

    rig.form->mnuRecentFile(2)->trigger(); // gone1
    EXPECT_EQ(rig.prompter.shown, std::vector<Prompt>{kMissing});
    for (int i = 0; i < 12; ++i) EXPECT_NE(rig.state.recent.caption(i), rig.files.path("gone1.bmp"));
}

TEST(RecentFiles, AProjectEntryRunsTheOpenProjectCommand) {
    MainWindowRig rig;
    rig.form->AddRecentFile("project /p/trip");
    rig.form->mnuRecentFile(0)->trigger();
    // The command looked for /p/trip.mon without a dialog and found nothing.
    EXPECT_TRUE(rig.dialogs->requests.empty());
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].title, "Do you always have bad luck like this?");
    EXPECT_EQ(rig.form->textFileName()->text(), "");
    EXPECT_EQ(rig.visibleSourceWindows(), 0);
}

// --- Browse -----------------------------------------------------------------------------------

TEST(Browse, ShowsTheOpenDialogWithTheBoxsNameThenLoadsTheChoice) {
    MainWindowRig rig;
    rig.files.writeSeries("b", 1, 3, 1);
    rig.form->textFileName()->setText("/somewhere/else1.bmp");
    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("b1.bmp")));
    rig.form->CommandBrowse()->click();
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    const DialogRequest& r = rig.dialogs->requests[0];
    EXPECT_EQ(r.kind, DialogKind::Open);
    EXPECT_EQ(r.filter.toStdString(), "Picture files  (*.bmp;*.jpg;*.gif)|*.bmp;*.jpg;*.gif|All files  (*.*)|*.*|");
    EXPECT_EQ(r.fileName, "/somewhere/else1.bmp");
    EXPECT_EQ(r.initDir, "/somewhere/else1.bmp");
    EXPECT_EQ(r.flags, 4);
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.files.path("b1.bmp"));
    EXPECT_EQ(rig.state.series.imageCount, 3);
}

TEST(Browse, CancelLoadsNothing) {
    MainWindowRig rig;
    rig.files.writeSeries("b", 1, 3, 1);
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("b1.bmp")));
    rig.dialogs->cancel();
    rig.form->menuAction("mnuOpen")->trigger();
    EXPECT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(rig.state.series.imageCount, 0);
    EXPECT_EQ(rig.visibleSourceWindows(), 0);
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.files.path("b1.bmp"));
}

// --- background and quitting ------------------------------------------------------------------

TEST(MainWindow, BackgroundTilesImage1OverAScreenSizedArea) {
    MainWindowRig rig;
    rig.form->makeBackground();
    const QImage bg = rig.form->background().toImage();
    const QImage tile = rig.form->Image1()->pixmap().toImage();
    ASSERT_FALSE(tile.isNull());
    EXPECT_EQ(bg.size(), QGuiApplication::primaryScreen()->geometry().size());
    for (QPoint p : {QPoint(1, 2), QPoint(tile.width() + 1, 2), QPoint(3, 2 * tile.height() + 5)})
        EXPECT_EQ(bg.pixel(p), tile.pixel(p.x() % tile.width(), p.y() % tile.height()));
}

TEST(MainWindow, ExitClosesEverythingAndEndsTheProgram) {
    MainWindowRig rig;
    rig.files.writeSeries("q", 1, 2, 1);
    rig.form->show();
    rig.load(rig.files.path("q1.bmp"));
    rig.form->menuAction("mnuExit")->trigger();
    EXPECT_FALSE(rig.form->isVisible());
    EXPECT_EQ(rig.visibleSourceWindows(), 0);
    EXPECT_EQ(rig.quits, 1);
}

} // namespace
