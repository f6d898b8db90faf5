// The commands on a finished montage: smoothing from the main window, from a montage window and
// after Make Montage; the three comparisons with their windows, final settings and messages; the
// properties window.
#include "montage_fixture.h"

#include "engine/properties_text.h"
#include "session/montage_rules.h"
#include "ui/montage_windows.h"
#include "ui/run_progress.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>

using namespace orv;
using namespace orv::testing;

namespace {

// The montage window's picture against its pixel slot: the window and the array must agree.
void expectWindowShowsSlot(MontageRig& rig, FormMontagePicture* w, int slot) {
    const QImage shown = w->PictureFile()->picture().convertToFormat(QImage::Format_RGB888);
    const PixelArrays& mp = rig.state.montage.arrays;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const int row = shown.height() - 1 - y;
            const QRgb c = shown.pixel(x, y);
            ASSERT_EQ(qBlue(c), mp.pointBlue(x, row, slot)) << x << "," << y;
            ASSERT_EQ(qGreen(c), mp.pointGreen(x, row, slot)) << x << "," << y;
            ASSERT_EQ(qRed(c), mp.pointRed(x, row, slot)) << x << "," << y;
        }
}

// Settings under which a textured montage certainly has blocks to smooth.
void eagerSmoothing(MontageRig& rig) {
    rig.state.smoothing.edgeFactor = 0.0f;
    rig.state.smoothing.diffFactor = 30000;
}

// --- smoothing ----------------------------------------------------------------------------------

struct SmoothCase {
    const char* name;
    bool makeFirst;
    bool flat;   // pictures of one colour each: nothing to improve
    bool eager;
    float focusFactor;
    Prompt expected;
};

class SmoothingMessages : public ::testing::TestWithParam<SmoothCase> {};

TEST_P(SmoothingMessages, FromTheMainWindow) {
    const SmoothCase& c = GetParam();
    MontageRig rig;
    if (c.eager) eagerSmoothing(rig);
    rig.state.smoothing.focusFactor = c.focusFactor;
    if (c.flat) rig.files.writeSeries("sm", 1, 3, 2, ".bmp", QSize(60, 40));
    else writeTexturedSeries(rig.files, "sm", 3, QSize(60, 40));
    if (c.makeFirst) {
        ASSERT_TRUE(rig.make(rig.files.path("sm01.bmp"), "10").made);
    }
    const std::string before = rig.map();

    rig.form->menuAction("mnuSmooth")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const Prompt& p = rig.prompter.shown[0];
    EXPECT_EQ(p.icon, c.expected.icon);
    EXPECT_EQ(p.title, c.expected.title);
    if (c.expected.title == "Smooved") {
        EXPECT_EQ(p.text.rfind("Smoothing occurred at co-ordinates\r\n(", 0), 0u) << p.text;
        EXPECT_NE(rig.map(), before);
    } else {
        EXPECT_EQ(p.text, c.expected.text);
        EXPECT_EQ(rig.map(), before);
    }
    if (c.makeFirst && c.focusFactor > 0) {
        EXPECT_NE(rig.state.montage.main().properties.find("  Smoothing =yes\r\n"), std::string::npos);
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Main, SmoothingMessages,
    ::testing::Values(
        SmoothCase{"NoMontage", false, false, false, 0.1f,
                   {PromptIcon::Information, PromptButtons::Ok,
                    "I am sorry, but you have to have an 'In Focus' Montage picture displayed before I can smooth it!",
                    "Create it first, then try again"}},
        SmoothCase{"NothingToImprove", true, true, false, 0.1f,
                   {PromptIcon::Exclamation, PromptButtons::Ok, "This image is already as smooth as I can get it.",
                    "Sorry, I can't improve perfection"}},
        SmoothCase{"Replaced", true, false, true, 0.1f, {PromptIcon::Information, PromptButtons::Ok, "", "Smooved"}},
        SmoothCase{"FocusFactorZero", true, false, true, 0.0f,
                   {PromptIcon::Exclamation, PromptButtons::Ok,
                    "I am sorry, but I can't smooth while the 'Emphasis put on smoothness vs focus' is 0.   "
                    "Please raise it in the preferences and try again.",
                    "Check the smoothing settings"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Smoothing, ReplacedBlocksAreRedrawnAndTheMapAndPropertiesFollow) {
    MontageRig rig;
    eagerSmoothing(rig);
    ASSERT_TRUE(rig.makeTextured("red", 3, QSize(60, 40), "10").made);
    rig.form->windows().montageWindow()->menuAction("mnuSmooth")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    ASSERT_EQ(rig.prompter.shown[0].title, "Smooved");
    expectWindowShowsSlot(rig, rig.form->windows().montageWindow(), 100);

    // Every position the report lists has its map character changed to the new picture's digit.
    const std::string& report = rig.prompter.shown[0].text;
    const std::regex position(R"(\((\d+),(\d+)\))");
    int listed = 0;
    for (std::sregex_iterator i(report.begin(), report.end(), position), end; i != end; ++i, ++listed) {
        // Six columns and four rows of blocks; each map line ends in CR LF.
        const long long at = (3 - std::stoi((*i)[2]) / 10) * 8 + std::stoi((*i)[1]) / 10;
        ASSERT_LT(at, (long long)rig.map().size());
        EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(rig.map()[std::size_t(at)])));
    }
    EXPECT_GT(listed, 0);
    const std::string& props = rig.state.montage.main().properties;
    const std::string marker = "image numbers:\r\n";
    ASSERT_NE(props.find(marker), std::string::npos);
    EXPECT_EQ(props.substr(props.find(marker) + marker.size()), rig.map());
}

// A Make Montage of another series stopped while it made the montage leaves that series' pictures
// in the stack and the earlier montage on screen: smoothing it then would copy blocks of the other
// series into it (and retouching would paint from them), so both are refused until a montage is
// made again.
TEST(Smoothing, AfterAStoppedRunOfAnotherSeriesTheMontageShownIsNotSmoothedOrRetouchedFromItsPictures) {
    MontageRig rig;
    eagerSmoothing(rig);
    rig.form->runProgress()->setShowDelay(0);
    writeTexturedSeries(rig.files, "tex", 3, QSize(120, 90));
    for (int k = 1; k <= 3; ++k) {
        QImage flat(120, 90, QImage::Format_RGB888);
        flat.fill(QColor(250, 20 * k, 0));
        flat.save(QString::fromStdString(rig.files.path("red0" + std::to_string(k) + ".bmp")), "BMP");
    }
    ASSERT_TRUE(rig.make(rig.files.path("tex01.bmp"), "10").made);
    rig.state.montage.main().unsaved = false;
    const QImage before = rig.montagePicture();

    // Stopped once its first row of blocks is in the map: its pictures are in the stack by then.
    const std::string map = rig.map();
    stopWhen(*rig.form, [&rig, map] { return rig.map() != map; });
    ASSERT_TRUE(rig.make(rig.files.path("red01.bmp"), "10").stopped);
    ASSERT_TRUE(rig.form->windows().montageWindow()->isVisible());
    ASSERT_EQ(rig.montagePicture(), before);

    rig.form->action(Command::Smooth)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kSmoothSourcesGoneText);
    EXPECT_EQ(rig.prompter.shown[0].title, kSmoothSourcesGoneTitle);
    EXPECT_EQ(rig.montagePicture(), before);
    // Nor is it painted from them.
    EXPECT_FALSE(rig.form->session().canRetouch({}, 1));

    // Made again, the montage smooths from its own pictures.
    rig.prompter.shown.clear();
    ASSERT_TRUE(rig.make(rig.files.path("tex01.bmp"), "10").made);
    rig.form->action(Command::Smooth)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_NE(rig.prompter.shown[0].text, kSmoothSourcesGoneText);
    EXPECT_TRUE(rig.form->session().canRetouch({}, 1));
}

TEST(Smoothing, AComparisonWindowSmoothsItsOwnSlotMapAndProperties) {
    MontageRig rig;
    eagerSmoothing(rig);
    ASSERT_TRUE(rig.makeTextured("cmp", 3, QSize(60, 40), "10").made);
    rig.form->action(Command::CompareAllMethods)->trigger();
    rig.prompter.shown.clear();
    const std::string mainMap = rig.map();
    const std::string mainProps = rig.state.montage.main().properties;

    FormMontagePicture* second = rig.form->windows().comparisonWindow(2);
    ASSERT_NE(second, nullptr);
    second->menuAction("mnuSmooth")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].title, "Smooved");
    expectWindowShowsSlot(rig, second, 102);
    EXPECT_NE(rig.state.montage.records[std::size_t(1 + 2)].properties.find("  Smoothing =yes\r\n"), std::string::npos);
    const std::string& props = rig.state.montage.records[std::size_t(1 + 2)].properties;
    EXPECT_EQ(props.substr(props.find("numbers:\r\n") + 10), rig.form->windows().comparisonUsedWindow(2)->mapText());
    EXPECT_EQ(rig.map(), mainMap);
    EXPECT_EQ(rig.state.montage.main().properties, mainProps);

    // The main montage is smoothed as its window shows it, although the refresh for the comparison
    // overwrote its slot.
    rig.prompter.shown.clear();
    rig.form->windows().montageWindow()->menuAction("mnuSmooth")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    expectWindowShowsSlot(rig, rig.form->windows().montageWindow(), 100);
}

// --- comparisons --------------------------------------------------------------------------------

std::string methodFrom(const std::string& text, const std::string& before) {
    const auto b = text.find(before);
    if (b == std::string::npos) return {};
    const auto start = b + before.size();
    return text.substr(start, text.find('\'', start) - start);
}

int methodIndex(const std::string& caption) {
    for (int m = 0; m < 5; ++m)
        if (methodCaption(m) == caption) return m;
    return -1;
}

TEST(Comparisons, CompareAllMethodsFillsFiveWindowsAndRestoresTheChoice) {
    MontageRig rig;
    rig.state.originatingImage = true;
    ASSERT_TRUE(rig.makeTextured("all", 3, QSize(64, 48), "16").made);
    rig.form->setMontageMethod(2);
    rig.form->menuAction("mnuAllMethods")->trigger();

    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const Prompt& p = rig.prompter.shown[0];
    EXPECT_EQ(p.icon, PromptIcon::Exclamation);
    EXPECT_EQ(p.title, "You can also compare the images visually");
    const int best = methodIndex(methodFrom(p.text, "I think the best Montage Method is '"));
    ASSERT_GE(best, 0) << p.text;
    EXPECT_EQ(p.text, "I think the best Montage Method is '" + methodCaption(best) + "'.");

    for (int k = 0; k < 5; ++k) {
        FormMontagePicture* w = rig.form->windows().comparisonWindow(k);
        ASSERT_NE(w, nullptr) << k;
        EXPECT_TRUE(w->isVisible());
        EXPECT_EQ(w->windowTitle().toStdString(), methodCaption(4 - k) + " used.");
        EXPECT_NE(rig.state.montage.records[std::size_t(1 + k)].properties.find(
                      "  Montage method used =" + std::to_string(4 - k) + " ("),
                  std::string::npos);
        EXPECT_TRUE(rig.form->windows().comparisonUsedWindow(k)->isVisible());
        EXPECT_EQ(rig.form->windows().comparisonUsedWindow(k)->mapFontSize(), rig.form->windows().usedWindow()->mapFontSize());
        EXPECT_EQ(rig.form->mnuWindow2(1 + k)->text(), w->windowTitle());
    }
    EXPECT_EQ(rig.form->windows().comparisonWindow(5), nullptr);
    // The main window shows the best picture, and its properties describe it.
    EXPECT_EQ(rig.form->windows().montageWindow()->PictureFile()->picture(),
              rig.form->windows().comparisonWindow(4 - best)->PictureFile()->picture());
    EXPECT_NE(rig.state.montage.main().properties.find("  Montage method used =" + std::to_string(best) + " ("),
              std::string::npos);
    EXPECT_EQ(rig.form->montageMethod(), 2);
    EXPECT_EQ(rig.form->TextIncrement()->text(), "16");
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.files.path("all01.bmp"));
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
    EXPECT_FALSE(rig.state.evaluation.evaluationRun);

    // A new Make Montage unloads the comparison windows.
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_EQ(rig.form->windows().comparisonWindow(0), nullptr);
}

// The best montage shown in the main window after Compare All Montage Methods had the map and
// properties of the last one made (method 0): Properties, the map window and a project saved from
// the main window named method 0 under another method's picture.
TEST(Comparisons, TheBestMontageShownInTheMainWindowComesWithItsOwnMapAndProperties) {
    MontageRig rig;
    rig.state.originatingImage = true;
    ASSERT_TRUE(rig.makeTextured("bst", 3, QSize(64, 48), "16").made);
    rig.form->menuAction("mnuAllMethods")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const int best = methodIndex(methodFrom(rig.prompter.shown[0].text, "I think the best Montage Method is '"));
    ASSERT_GT(best, 0) << "a series whose best method is the last one made tells nothing";
    const MontageRecord& kept = rig.state.montage.records[std::size_t(1 + 4 - best)];
    const MontageRecord& main = rig.state.montage.main();
    const std::string usedLine = "  Montage method used =" + std::to_string(best) + " (" + methodCaption(best) + ")";

    EXPECT_EQ(main.properties, kept.properties);
    EXPECT_EQ(main.map, kept.map);
    EXPECT_EQ(main.request.method, FocusMethod(best));
    EXPECT_EQ(rig.map(), kept.map);
    FormMontagePicture* window = rig.form->windows().montageWindow();
    window->mnuProperties()->trigger();
    EXPECT_NE(rig.form->windows().propertiesWindow()->text().find(usedLine), std::string::npos);

    const std::string project = rig.files.path("bst01.mon");
    rig.dialogs->chooseFile(QString::fromStdString(project));
    rig.form->menuAction("mnuSave")->trigger();
    std::ifstream in(project, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(usedLine + "\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(kept.map), std::string::npos) << text;
}

TEST(Comparisons, CompareAllMethodsWithoutASeriesComparesNothing) {
    MontageRig rig;
    rig.form->textFileName()->setText(QString::fromStdString(rig.files.path("none01.bmp")));
    rig.form->action(Command::CompareAllMethods)->trigger();
    // The first stage reports the missing file; the later stages have nothing to reuse.
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].title, "roll the dice again");
    EXPECT_EQ(rig.form->windows().comparisonWindow(0), nullptr);
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
}

TEST(Comparisons, EvaluateIncrementsOnANarrowMontageTriesTenSilently) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("nar", 2, QSize(64, 40), "30").made);
    rig.form->setMontageMethod(1);
    rig.form->menuAction("mnuEvaluate")->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.form->TextIncrement()->text(), "10");
    EXPECT_EQ(rig.form->montageMethod(), 1);
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
}

TEST(Comparisons, EvaluateIncrementsEntersTheBestIncrementAndSaysSo) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("wid", 2, QSize(128, 40), "30").made);
    rig.form->setMontageMethod(3);
    rig.form->action(Command::EvaluateIncrements)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    const Prompt& p = rig.prompter.shown[0];
    EXPECT_EQ(p.title, "well done!");
    EXPECT_EQ(p.icon, PromptIcon::Exclamation);
    const std::string box = rig.form->TextIncrement()->text().toStdString();
    EXPECT_TRUE(box == "10" || box == "20") << box;
    EXPECT_EQ(p.text, "I think the best increment for this 'Preference Green Focus' Montage Method is " + box + ".");
    EXPECT_EQ(rig.form->montageMethod(), 3);
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
    // The montage was made again with the best increment.
    EXPECT_NE(rig.state.montage.main().properties.find("  Increment size =" + box + "\r\n"), std::string::npos);
}

// A montage window zoomed out or in keeps showing whole montages: each montage of a comparison
// starts from a blank picture of the montage's size, not of the zoomed box's, so the picture does
// not shrink (or grow) with every increment tried, and the last one shows in full.
TEST(Comparisons, AZoomedMontageWindowShowsTheWholeMontageAfterEvaluateIncrements) {
    for (const double zoom : {0.64, 2.0}) {
        SCOPED_TRACE(zoom);
        MontageRig rig;
        ASSERT_TRUE(rig.makeTextured("zm", 2, QSize(128, 40), "30").made);
        FormMontagePicture* w = rig.form->windows().montageWindow();
        w->setZoom(zoom);
        rig.form->setMontageMethod(int(FocusMethod::Pyramid));
        rig.form->action(Command::EvaluateIncrements)->trigger();
        ASSERT_EQ(rig.prompter.shown.size(), 2u);
        EXPECT_EQ(rig.prompter.shown[1].title, "well done!");
        EXPECT_EQ(w->PictureFile()->picture().size(), QSize(128, 40));
        EXPECT_EQ(w->zoom(), zoom);
        expectWindowShowsSlot(rig, w, 100);

        // A block method, whose montages are drawn into that picture as well.
        rig.prompter.shown.clear();
        rig.form->setMontageMethod(1);
        rig.form->action(Command::EvaluateIncrements)->trigger();
        EXPECT_EQ(w->PictureFile()->picture().size(), QSize(128, 40));
        expectWindowShowsSlot(rig, w, 100);
    }
}

// Pyramid Focus makes the same montage at every increment and has no block seams for the score:
// the comparisons say so before they recommend anything.
TEST(Comparisons, WithPyramidFocusTickedTheComparisonsSayWhatTheScoreCannotMeasure) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "pyr", 2, QSize(128, 40));
    rig.form->setMontageMethod(int(FocusMethod::Pyramid));
    ASSERT_TRUE(rig.make(rig.files.path("pyr01.bmp"), "30").made);
    rig.form->action(Command::EvaluateIncrements)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[0],
              (Prompt{PromptIcon::Information, PromptButtons::Ok, kPyramidIncrementsText, kPyramidCompareTitle}));
    EXPECT_EQ(rig.prompter.shown[1].title, "well done!");

    rig.prompter.shown.clear();
    rig.prompter.answerNext(PromptAnswer::Ok);
    rig.runAnswering(Command::EvaluateAll, PromptAnswer::Cancel);
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    EXPECT_EQ(rig.prompter.shown[0].text, kPyramidMethodsText);
    EXPECT_EQ(rig.prompter.shown[1].title, kEvaluateAllQuestionTitle);
}

TEST(Comparisons, EvaluateAllCancelledChangesNothing) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("can", 2, QSize(128, 40), "30").made);
    rig.form->setMontageMethod(4);
    const QImage before = rig.montagePicture();
    rig.runAnswering(Command::EvaluateAll, PromptAnswer::Cancel);
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].icon, PromptIcon::Question);
    EXPECT_EQ(rig.prompter.shown[0].buttons, PromptButtons::OkCancel);
    EXPECT_EQ(rig.prompter.shown[0].title, "It's all automatic, but the time depends on your computer speed.");
    EXPECT_EQ(rig.form->TextIncrement()->text(), "30");
    EXPECT_EQ(rig.form->montageMethod(), 4);
    EXPECT_EQ(rig.montagePicture(), before);
}

TEST(Comparisons, EvaluateAllSelectsTheBestMethodAndIncrement) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("eva", 2, QSize(128, 40), "30").made);
    rig.form->setMontageMethod(4);
    rig.form->menuAction("mnuEvaluateAll")->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 2u);
    const Prompt& p = rig.prompter.shown[1];
    EXPECT_EQ(p.title, "well done!");
    const int best = methodIndex(methodFrom(p.text, "I think the best Montage Method is  '"));
    ASSERT_GE(best, 0) << p.text;
    const std::string box = rig.form->TextIncrement()->text().toStdString();
    EXPECT_EQ(p.text, "I think the best Montage Method is  '" + methodCaption(best) + "'  used with an increment of " +
                          box + ".");
    EXPECT_EQ(rig.form->montageMethod(), best);
    EXPECT_NE(rig.state.montage.main().properties.find("  Montage method used =" + std::to_string(best) + " ("),
              std::string::npos);
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
}

// A comparison stopped part way recommends nothing: the method and increment it was trying go
// back to the user's (the next Make Montage would otherwise use them unasked), and the windows it
// kept are in the "Window" menu.
TEST(Comparisons, AStoppedComparisonGivesBackTheUsersMethodAndIncrement) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("stp", 3, QSize(160, 120), "25").made);
    rig.state.montage.main().unsaved = false;
    rig.form->setMontageMethod(2);

    // Compare All Methods, stopped while it makes its second montage (method 3).
    stopWhen(*rig.form, [&] { return rig.form->montageMethod() == 3; });
    rig.form->action(Command::CompareAllMethods)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.form->montageMethod(), 2);
    EXPECT_EQ(rig.form->TextIncrement()->text().toStdString(), "25");
    FormMontagePicture* kept = rig.form->windows().comparisonWindow(0);
    ASSERT_NE(kept, nullptr);
    ASSERT_TRUE(kept->isVisible());
    EXPECT_EQ(rig.form->mnuWindow2(1)->text().toStdString(), kept->windowTitle().toStdString());
    EXPECT_TRUE(rig.form->mnuWindow2(1)->isVisible());

    // Evaluate Increments, stopped at its second increment.
    rig.state.montage.main().unsaved = false;
    stopWhen(*rig.form, [&] { return rig.form->TextIncrement()->text() == "20"; });
    rig.form->action(Command::EvaluateIncrements)->trigger();
    EXPECT_TRUE(rig.prompter.shown.empty());
    EXPECT_EQ(rig.form->TextIncrement()->text().toStdString(), "25");
    EXPECT_EQ(rig.form->montageMethod(), 2);
    EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);

    // The next Make Montage is the one the controls ask for.
    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_NE(rig.state.montage.main().properties.find("  Montage method used =2 ("), std::string::npos);
    EXPECT_NE(rig.state.montage.main().properties.find("  Increment size =25\r\n"), std::string::npos);
}

// A stopped comparison gives back the montage the user had too: the montage on screen, its map and
// its properties were those of the last candidate made (another increment or method) while the
// controls read the user's, so a save or the next look at Properties spoke of a montage never asked for.
TEST(Comparisons, AStoppedComparisonPutsBackTheUsersMontage) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("bak", 3, QSize(160, 120), "25").made);
    rig.state.montage.main().unsaved = false;
    rig.form->setMontageMethod(2);
    ASSERT_TRUE(rig.form->makeMontage().made);
    rig.state.montage.main().unsaved = false;
    const MontageRecord before = rig.state.montage.main();
    const QImage shown = rig.montagePicture();

    // Evaluate Increments, stopped at its second increment, after its first montage (10) was made.
    stopWhen(*rig.form, [&] { return rig.form->TextIncrement()->text() == "20"; });
    rig.form->action(Command::EvaluateIncrements)->trigger();
    EXPECT_EQ(rig.form->TextIncrement()->text().toStdString(), "25");
    const MontageRecord& after = rig.state.montage.main();
    EXPECT_EQ(after.properties, before.properties);
    EXPECT_EQ(after.map, before.map);
    EXPECT_EQ(after.picture.rounded(), before.picture.rounded());
    EXPECT_FALSE(after.unsaved);
    EXPECT_EQ(rig.montagePicture(), shown);
    EXPECT_EQ(rig.map(), before.map);

    // Compare All Methods, stopped in its second montage: the main window shows method 2 at 25 again.
    stopWhen(*rig.form, [&] { return rig.form->montageMethod() == 3; });
    rig.form->action(Command::CompareAllMethods)->trigger();
    EXPECT_EQ(rig.form->montageMethod(), 2);
    EXPECT_EQ(rig.state.montage.main().properties, before.properties);
    EXPECT_EQ(rig.montagePicture(), shown);
    EXPECT_FALSE(rig.form->session().mainMontageUnsaved());
}

// A comparison that could make none of its montages (a picture of the series no longer readable)
// recommended nothing, yet left the increment it tried last, and for Evaluate all the method, in
// the controls: the next Make Montage used them unasked.
TEST(Comparisons, AComparisonThatMadeNoMontageGivesBackTheUsersMethodAndIncrement) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("bad", 3, QSize(160, 60), "25").made);
    rig.form->setMontageMethod(2);
    rig.files.writeText("bad02.bmp", "no longer a picture");
    for (const Command c : {Command::EvaluateIncrements, Command::EvaluateAll}) {
        rig.state.montage.main().unsaved = false;
        rig.prompter.shown.clear();
        rig.form->action(c)->trigger();
        EXPECT_EQ(rig.promptsTitled("Try a different format"), 1);
        EXPECT_EQ(rig.promptsTitled("well done!"), 0);
        EXPECT_EQ(rig.form->TextIncrement()->text().toStdString(), "25");
        EXPECT_EQ(rig.form->montageMethod(), 2);
        EXPECT_EQ(rig.state.evaluation.evaluationMode, 0);
    }
}

TEST(Comparisons, EvaluateAllBeforeAnyMontageRefuses) {
    MontageRig rig;
    rig.form->action(Command::EvaluateAll)->trigger();
    ASSERT_EQ(rig.prompter.shown.size(), 1u);
    EXPECT_EQ(rig.prompter.shown[0].text, kNothingToCompareText);
}

// --- the properties window ----------------------------------------------------------------------

TEST(PropertiesWindow, TogglesWithTheEntryAndShowsTheMontagesOwnText) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("prp", 3, QSize(64, 48), "16").made);
    FormMontagePicture* main = rig.form->windows().montageWindow();
    QAction* entry = main->mnuProperties();

    entry->trigger();
    FormProperties* props = rig.form->windows().propertiesWindow();
    EXPECT_TRUE(props->isVisible());
    EXPECT_TRUE(entry->isChecked());
    EXPECT_EQ(props->LabelProperties()->text().toStdString(), displayText(rig.state.montage.main().properties));
    EXPECT_TRUE(props->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(props->LabelProperties()->font().family(), "Trebuchet MS");
    EXPECT_TRUE(props->ShapeProperties()->geometry().contains(props->LabelProperties()->geometry()));
    EXPECT_EQ(props->size(), props->ShapeProperties()->size());

    entry->trigger();
    EXPECT_FALSE(props->isVisible());
    EXPECT_FALSE(entry->isChecked());

    // Comparison window 1 shows entry 1 of the comparison list; the main window's tick goes.
    entry->trigger();
    rig.form->action(Command::CompareAllMethods)->trigger();
    EXPECT_FALSE(props->isVisible()); // every Make Montage closes the view
    FormMontagePicture* first = rig.form->windows().comparisonWindow(1);
    first->mnuProperties()->trigger();
    props = rig.form->windows().propertiesWindow();
    EXPECT_TRUE(props->isVisible());
    EXPECT_TRUE(first->mnuProperties()->isChecked());
    EXPECT_FALSE(main->mnuProperties()->isChecked());
    EXPECT_EQ(props->LabelProperties()->text().toStdString(),
              displayText(rig.state.montage.records[std::size_t(1 + 1)].properties));
    EXPECT_NE(props->text().find("  Montage method used =3 (Preference Green Focus)"), std::string::npos);
}

TEST(PropertiesWindow, IsDraggedByItsText) {
    MontageRig rig;
    ASSERT_TRUE(rig.makeTextured("drg", 2, QSize(40, 40)).made);
    rig.form->windows().montageWindow()->mnuProperties()->trigger();
    FormProperties* props = rig.form->windows().propertiesWindow();
    props->move(100, 100);
    const QPoint start = props->pos();
    QLabel* label = props->LabelProperties();
    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(rig.state.dragState.has_value());
    QMouseEvent move(QEvent::MouseMove, QPointF(35, 25), label->mapToGlobal(QPointF(35, 25)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &move);
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(35, 25));
    EXPECT_EQ(props->pos(), start + QPoint(30, 20));
    EXPECT_FALSE(rig.state.dragState.has_value());
}

} // namespace
