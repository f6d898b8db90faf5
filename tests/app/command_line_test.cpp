// The command line, the layout factors and geometry, the window lists and the start-up preferences:
// the window-free logic under the desktop program.
#include "app/command_line.h"
#include "settings/preferences.h"
#include "ui/screen_layout.h"
#include "ui/window_list.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace orv;

namespace {

struct CommandLineCase {
    const char* label;
    std::vector<std::string> args;
    std::string filePart;
    bool hasIncrement;
    std::string increment;
    int resolutionWidth = 0;
    int resolutionHeight = 0;
};

// Failures name the case, not its bytes.
void PrintTo(const CommandLineCase& c, std::ostream* os) { *os << c.label; }

class CommandLineCases : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineCases, SplitsFileAndOptions) {
    const CommandLineCase& c = GetParam();
    const CommandLine cl = parseCommandLine(c.args);
    EXPECT_EQ(cl.filePart, c.filePart);
    EXPECT_EQ(cl.hasIncrement, c.hasIncrement);
    EXPECT_EQ(cl.incrementText, c.increment);
    EXPECT_EQ(cl.resolutionWidth, c.resolutionWidth);
    EXPECT_EQ(cl.resolutionHeight, c.resolutionHeight);
    EXPECT_TRUE(cl.error.empty()) << cl.error;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineCases,
    ::testing::Values(
        CommandLineCase{"file_then_glued_increment", {"/pics/rock1.bmp", "/i25"}, "/pics/rock1.bmp", true, "25"},
        CommandLineCase{"one_string_as_a_shortcut_passes_it", {"/pics/rock1.bmp /i25"}, "/pics/rock1.bmp", true, "25"},
        CommandLineCase{"increment_as_next_word", {"/pics/rock1.bmp", "/i", "25"}, "/pics/rock1.bmp", true, "25"},
        CommandLineCase{"dash_and_long_forms", {"/pics/rock1.bmp", "-i", "30"}, "/pics/rock1.bmp", true, "30"},
        CommandLineCase{"long_form_with_equals", {"--increment=40"}, "", true, "40"},
        CommandLineCase{"option_first_leaves_no_file", {"/i30"}, "", true, "30"},
        CommandLineCase{"small_increment_is_kept_as_typed", {"/i5"}, "", true, "5"},
        CommandLineCase{"option_without_value", {"/pics/rock1.bmp", "/i"}, "/pics/rock1.bmp", true, ""},
        CommandLineCase{"quoted_path_with_blanks", {"\"/home/ann/my  pics/rock1.bmp\""}, "/home/ann/my  pics/rock1.bmp", false, ""},
        CommandLineCase{"quoted_whole_argument_with_option", {"\"/home/ann/my pics/rock1.bmp /i 22\""},
                        "/home/ann/my pics/rock1.bmp", true, "22"},
        CommandLineCase{"path_starting_with_slash_i_is_a_file", {"/images/rock1.bmp"}, "/images/rock1.bmp", false, ""},
        CommandLineCase{"file_name_with_dash_i_is_a_file", {"-image01.bmp"}, "-image01.bmp", false, ""},
        CommandLineCase{"resolution_option", {"/resolution", "800x600"}, "", false, "", 800, 600},
        CommandLineCase{"resolution_upper_case", {"/pics/a1.bmp", "/RESOLUTION", "1280X1024", "/i20"},
                        "/pics/a1.bmp", true, "20", 1280, 1024},
        CommandLineCase{"resolution_long_form", {"--resolution=1024x768"}, "", false, "", 1024, 768},
        CommandLineCase{"resolution_without_positive_size_is_ignored", {"/resolution", "0x600"}, "", false, "", 0, 0},
        CommandLineCase{"nothing", {}, "", false, ""},
        // A file named after the options is the file, not a word left over.
        CommandLineCase{"file_after_the_increment", {"-i", "25", "/pics/rock1.bmp"}, "/pics/rock1.bmp", true, "25"},
        CommandLineCase{"file_with_blanks_after_glued_option", {"/i25", "/home/ann/my  pics/rock1.bmp"},
                        "/home/ann/my  pics/rock1.bmp", true, "25"},
        CommandLineCase{"file_between_options", {"--resolution", "800x600", "rock1.bmp", "/i", "30"}, "rock1.bmp",
                        true, "30", 800, 600},
        CommandLineCase{"file_before_options_wins_over_a_later_word", {"/pics/a1.bmp", "/i", "25", "/pics/b1.bmp"},
                        "/pics/a1.bmp", true, "25"},
        // After "--" everything is the file, even what looks like an option.
        CommandLineCase{"double_dash_then_a_dash_name", {"--", "-i5.bmp"}, "-i5.bmp", false, ""},
        CommandLineCase{"options_then_double_dash", {"/i", "20", "--", "--odd 1.bmp"}, "--odd 1.bmp", true, "20"},
        CommandLineCase{"double_dash_after_the_file", {"/pics/rock1.bmp", "--"}, "/pics/rock1.bmp", false, ""}),
    [](const auto& info) { return std::string(info.param.label); });

// A file manager hands a path over as one argument; words in it that look like options are part of
// the name when that name is a file, wherever the argument stands.
TEST(CommandLine, AnArgumentNamingAFileIsThatFileWholeEvenWithOptionWordsInIt) {
    const std::set<std::string> disk = {"/p/Shots --best/rock1.bmp", "/p/Macro -- Beetles/rock1.bmp",
                                        "/p/Trip -i 5/rock1.bmp", "/p/a /i7 b/rock1.bmp", "/i5.bmp"};
    const auto onDisk = [&](const std::string& n) { return disk.count(n) > 0; };
    for (const std::string& f : disk) {
        SCOPED_TRACE(f);
        CommandLine cl = parseCommandLine({f}, onDisk);
        EXPECT_EQ(cl.filePart, f);
        EXPECT_FALSE(cl.hasIncrement);
        EXPECT_TRUE(cl.error.empty()) << cl.error;
        cl = parseCommandLine({"-i", "25", f}, onDisk);
        EXPECT_EQ(cl.filePart, f);
        EXPECT_EQ(cl.incrementText, "25");
        cl = parseCommandLine({f, "/i30"}, onDisk);
        EXPECT_EQ(cl.filePart, f);
        EXPECT_EQ(cl.incrementText, "30");
        cl = parseCommandLine({"\"" + f, "/i30\""}, onDisk);
        EXPECT_EQ(cl.filePart, f);
        EXPECT_EQ(cl.incrementText, "30");
    }
    // A name that is not on the disk is read word by word, as before.
    const CommandLine one = parseCommandLine({"/pics/rock1.bmp /i25"}, onDisk);
    EXPECT_EQ(one.filePart, "/pics/rock1.bmp");
    EXPECT_EQ(one.incrementText, "25");
    EXPECT_EQ(parseCommandLine({"/p/gone --best/rock1.bmp"}, onDisk).error, "unknown option --best/rock1.bmp");
}

// Desktops that start a program on a file's address (%u) hand over file:// URLs.
TEST(CommandLine, AFileAddressOfThisMachineIsItsLocalName) {
    const std::set<std::string> disk = {"/p/My Pics/rock1.bmp", "/p/\xE9t\xE9/a1.bmp", "/p/100%/a1.bmp",
                                        "/p/b1.bmp"};
    const auto onDisk = [&](const std::string& n) { return disk.count(n) > 0; };
    const std::pair<const char*, const char*> cases[] = {
        {"file:///p/My%20Pics/rock1.bmp", "/p/My Pics/rock1.bmp"},
        {"file://localhost/p/%E9t%e9/a1.bmp", "/p/\xE9t\xE9/a1.bmp"},
        {"FILE:///p/100%25/a1.bmp", "/p/100%/a1.bmp"},
        {"file:/p/b1.bmp", "/p/b1.bmp"},
        {"file:///p/b1.bmp?x=1#top", "/p/b1.bmp"},
        {"file://otherhost/p/b1.bmp", "file://otherhost/p/b1.bmp"}, // not a local file: said missing
        {"file:///p/a%2", "/p/a%2"},
    };
    for (const auto& [url, name] : cases) {
        SCOPED_TRACE(url);
        EXPECT_EQ(parseCommandLine({url}, onDisk).filePart, name);
        const CommandLine withOption = parseCommandLine({"-i", "25", url}, onDisk);
        EXPECT_EQ(withOption.filePart, name);
        EXPECT_EQ(withOption.incrementText, "25");
    }
    // Several files chosen together: the first names the series.
    const CommandLine several =
        parseCommandLine({"file:///p/b1.bmp", "file:///p/My%20Pics/rock1.bmp", "/i30"}, onDisk);
    EXPECT_EQ(several.filePart, "/p/b1.bmp");
    EXPECT_EQ(several.incrementText, "30");
}

TEST(CommandLine, HelpVersionAndUnknownOptions) {
    EXPECT_TRUE(parseCommandLine({"--help"}).help);
    EXPECT_TRUE(parseCommandLine({"--version"}).version);
    EXPECT_EQ(parseCommandLine({"--frobnicate"}).error, "unknown option --frobnicate");
}

TEST(CommandLine, PictureExtensionsAreCaseBlind) {
    for (const char* n : {"/a/b1.bmp", "/a/B1.JPG", "/a/c.Gif", "/a/b1.png", "/a/x.jpeg", "/a/t1.TIF", "/a/t1.tiff"})
        EXPECT_TRUE(isSeriesPictureName(n)) << n;
    for (const char* n : {"/a/notes.txt", "/a/b1.webp", "bmp", "/a/x.tiffy"}) EXPECT_FALSE(isSeriesPictureName(n)) << n;
}

// The help names every ending that opens a series rather than handing the file on.
TEST(CommandLine, TheHelpNamesEveryPictureEndingTheSeriesReaderTakes) {
    const std::string help = commandLineHelpText();
    for (const char* ext : {".bmp", ".jpg", ".jpeg", ".gif", ".png", ".tif", ".tiff"}) {
        EXPECT_TRUE(isSeriesPictureName(std::string("/a/b1") + ext)) << ext;
        EXPECT_NE(help.find(ext), std::string::npos) << ext;
    }
}

// --- layout factors ---------------------------------------------------------------------------

struct ScaleCase {
    const char* label;
    ScreenSize screen;
    std::optional<ScreenSize> resolution;
    int twips;
    double scaleX, scaleY;
};

class ScaleCases : public ::testing::TestWithParam<ScaleCase> {};

TEST_P(ScaleCases, Factors) {
    const ScaleCase& c = GetParam();
    LayoutRecord l;
    l.twipsPerPixel = l.twipsPerPixelY = std::int16_t(c.twips);
    computeScreenScale(l, c.screen, c.resolution);
    EXPECT_NEAR(l.scaleX, c.scaleX, 1e-4);
    EXPECT_NEAR(l.scaleY, c.scaleY, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ScaleCases,
    ::testing::Values(ScaleCase{"design_screen", {1024, 768}, std::nullopt, 15, 1, 1},
                      ScaleCase{"within_tolerance", {1044, 748}, std::nullopt, 15, 1, 1},
                      ScaleCase{"just_outside_tolerance", {1045, 768}, std::nullopt, 15, 1045.0 / 1024, 1},
                      ScaleCase{"sxga", {1280, 1024}, std::nullopt, 15, 1.25, 1.3333},
                      ScaleCase{"resolution_option_wins", {1920, 1080}, ScreenSize{800, 600}, 15, 0.78125, 0.78125},
                      ScaleCase{"large_fonts_at_design_size", {1024, 768}, std::nullopt, 12, 0.8, 0.8}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(Layout, TwipsPerPixelFromDpi) {
    EXPECT_EQ(twipsPerPixelFor(96), 15);
    EXPECT_EQ(twipsPerPixelFor(120), 12);
    EXPECT_EQ(twipsPerPixelFor(0), 15);
}

TEST(Layout, ControlsMoveAndResizeByTheirKind) {
    LayoutRecord l;
    l.scaleX = 1.25;
    l.scaleY = 1.5;
    const Geometry g{100, 20, 80, 30};
    EXPECT_EQ(scaleControlGeometry("textFileName", g, 1.25, l), (Geometry{125, 30, 100, 45}));
    // The increment box grows with its font's actual growth, not with the factor.
    EXPECT_EQ(scaleControlGeometry("TextIncrement", g, 1.1, l), (Geometry{125, 30, 88, 33}));
    EXPECT_EQ(scaleControlGeometry("Label1", g, 1.25, l), (Geometry{125, 30, 80, 30}));
    EXPECT_EQ(scaleControlGeometry("LABELSMOOTH", g, 1.25, l), (Geometry{125, 30, 80, 30}));
}

TEST(Layout, CascadeStepsTwentyPixelsFromTheLeftEdgeBelowTheFileBox) {
    LayoutRecord l;
    l.captionHeight = 22;
    l.menuBarHeight = 25;
    l.sizingFrameHeight = 4;
    l.dialogFrameHeight = 3;
    EXPECT_EQ(cascadePlacement(1, 40, 640, 480, l), (Placement{0, 40 + 22 + 25 + 20, 648, 480 + 22 + 6}));
    EXPECT_EQ(cascadePlacement(3, 40, 100, 50, l), (Placement{40, 40 + 22 + 25 + 60, 108, 78}));
}

// --- window lists -----------------------------------------------------------------------------

TEST(WindowList, MontageEntriesInOrderWithPreviewLast) {
    EXPECT_EQ(montageWindowCaptions(std::string("Montage in focus image from a1.bmp"),
                                    {std::nullopt, std::string("Linear"), std::nullopt}, true),
              (std::vector<std::string>{"Montage in focus image from a1.bmp", "Linear", "Preview"}));
    EXPECT_EQ(montageWindowCaptions(std::nullopt, {}, false), std::vector<std::string>{});
}

// --- start-up preferences ---------------------------------------------------------------------

TEST(StartupPreferences, MissingFileReadsAsDefaults) {
    QTemporaryDir dir;
    const StartupPreferences p = readStartupPreferences(ProfileFile(dir.filePath("none.ini").toStdString()));
    EXPECT_EQ(p.montageMethod, 0);
    EXPECT_EQ(p.increment, "0");
    EXPECT_EQ(p.smoothing.autoSmooth, 0);
    EXPECT_EQ(p.smoothing.edgeFactor, 0.1f); // absent smoothing factors start at the reset values
    EXPECT_EQ(p.targetColor, 0u);
    EXPECT_FALSE(p.loadImages);
    EXPECT_EQ(p.filename, ""); // "0" is no file name
}

TEST(StartupPreferences, ValuesAreScaledAndBadOnesReadAsZero) {
    QTemporaryDir dir;
    const std::string path = dir.filePath("orvanta.ini").toStdString();
    std::ofstream(path) << "[Preferences]\r\nautoSmooth=1\r\nedgeFactor=10\r\nfocusFactor=25\r\n"
                           "diffFactor=100\r\nedgefactor2=40\r\nrightmouse=7\r\nMontage method=9\r\n"
                           "Increment = 25 \r\nOriginating image=1\r\nLoad images=1\r\nTarget color=255\r\n"
                           "filename= /p/rock01.bmp \r\nshortcut=99999\r\n";
    const StartupPreferences p = readStartupPreferences(ProfileFile(path));
    EXPECT_EQ(p.smoothing.autoSmooth, 1);
    EXPECT_FLOAT_EQ(p.smoothing.edgeFactor, 0.1f);
    EXPECT_FLOAT_EQ(p.smoothing.focusFactor, 0.25f);
    EXPECT_EQ(p.smoothing.diffFactor, 100);
    EXPECT_FLOAT_EQ(p.smoothing.edgeFactor2, 4.0f);
    EXPECT_EQ(p.rightMouse, 1);
    EXPECT_EQ(p.montageMethod, 0); // no such method: the first one
    EXPECT_EQ(p.increment, "25");
    EXPECT_TRUE(p.originatingImage);
    EXPECT_TRUE(p.loadImages);
    EXPECT_EQ(p.targetColor, 255u);
    EXPECT_EQ(p.filename, "/p/rock01.bmp");
    EXPECT_EQ(p.shortcut, 0); // beyond 16 bits
}

TEST(StartupPreferences, FileBesideTheProgramWhenItsFolderIsWritable) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/";
    EXPECT_EQ(preferencesPath(folder), folder + "orvanta.ini");
}

} // namespace
