// Project files: the names derived from a series and from the Save dialog, the file's text, and
// reading the settings, properties and map back exactly as they were written.
#include "support/case_name.h"
#include "settings/project_file.h"

#include "base/runtime_error.h"
#include "settings/profile_file.h"

#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace orv;

namespace {

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct NameCase {
    const char* given;
    const char* proposed;  // from the file-name box
    const char* completed; // as chosen in the dialog
    const char* bitmap;    // of the completed name
    const char* recent;    // of the completed name
};

class ProjectNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(ProjectNames, FollowTheFirstDotAndTheLastCharacters) {
    const NameCase& c = GetParam();
    EXPECT_EQ(proposedProjectName(c.given), c.proposed);
    const std::string completed = completedProjectName(c.given);
    EXPECT_EQ(completed, c.completed);
    EXPECT_EQ(projectBitmapName(completed), c.bitmap);
    EXPECT_EQ(projectRecentEntry(completed), c.recent);
}

INSTANTIATE_TEST_SUITE_P(
    Names, ProjectNames,
    ::testing::Values(
        NameCase{"/pics/rock01.bmp", "/pics/rock01.mon", "/pics/rock01.bmp", "/pics/rock01.vrk", "project /pics/rock01"},
        NameCase{"/pics/rock01.mon", "/pics/rock01.mon", "/pics/rock01.mon", "/pics/rock01.vrk", "project /pics/rock01"},
        // A typed name without an extension gets ".mon"; another extension is kept.
        NameCase{"/pics/rock", "/pics/rock.mon", "/pics/rock.mon", "/pics/rock.vrk", "project /pics/rock"},
        NameCase{"/pics/rock.prj", "/pics/rock.mon", "/pics/rock.prj", "/pics/rock.vrk", "project /pics/rock"},
        // Only the file name's dots count, and its first one.
        NameCase{"/my.pics/a.b.bmp", "/my.pics/a.mon", "/my.pics/a.b.bmp", "/my.pics/a.b.vrk", "project /my.pics/a.b"},
        // An ending of fewer than three characters is not cut into: a.b and c.d of one folder
        // would both have had the bitmap "vrk", and "a." one beside its folder.
        NameCase{"/pics/a.b", "/pics/a.mon", "/pics/a.b", "/pics/a.b.vrk", "project /pics"},
        NameCase{"/pics/c.de", "/pics/c.mon", "/pics/c.de", "/pics/c.de.vrk", "project /pics/"},
        NameCase{"/pics/a.", "/pics/a.mon", "/pics/a.", "/pics/a..vrk", "project /pic"},
        // A longer ending, or one in capitals, has its last three characters replaced as before.
        NameCase{"/pics/rock.jpeg", "/pics/rock.mon", "/pics/rock.jpeg", "/pics/rock.jvrk", "project /pics/rock."},
        NameCase{"/pics/ROCK.MON", "/pics/ROCK.mon", "/pics/ROCK.MON", "/pics/ROCK.vrk", "project /pics/ROCK"},
        // A hidden series' name keeps the dot it starts with: its extension is at the next one.
        NameCase{"/hid/.rock01.bmp", "/hid/.rock01.mon", "/hid/.rock01.bmp", "/hid/.rock01.vrk", "project /hid/.rock01"},
        NameCase{"/hid/.rock", "/hid/.rock.mon", "/hid/.rock.mon", "/hid/.rock.vrk", "project /hid/.rock"}),
    [](const auto& info) { return orv::testing::caseName(info.param.given); });

TEST(ProjectNames, AnOlderProjectOfAShortEndingIsShownFromTheBitmapItWasSavedWith) {
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    // Saved by an older version: its bitmap is the folder's "vrk".
    writeBytes(folder + "/vrk", "older");
    EXPECT_EQ(projectBitmapToRead(folder + "/a.b"), folder + "/vrk");
    // Saved again now: its own bitmap.
    writeBytes(folder + "/a.b.vrk", "own");
    EXPECT_EQ(projectBitmapToRead(folder + "/a.b"), folder + "/a.b.vrk");
    // Neither there: the name it is saved under, for the message.
    EXPECT_EQ(projectBitmapToRead(folder + "/sub/c.d"), folder + "/sub/c.d.vrk");
    EXPECT_EQ(projectBitmapToRead(folder + "/e.mon"), folder + "/e.vrk");
}

TEST(ProjectNames, ARecentEntryNamesItsProject) {
    EXPECT_EQ(projectFromRecentEntry("project /pics/rock01"), "/pics/rock01.mon");
    EXPECT_EQ(projectFromRecentEntry("/pics/rock01.bmp"), std::nullopt);
    EXPECT_EQ(projectFromRecentEntry("Project /pics/rock01"), std::nullopt);
}

const std::string kProperties =
    "\r\n  First file name =/bilder/Grüße/stein01.bmp\r\n  Number of files found =12\r\n"
    "  Ignore image number =2, 10\r\n  Montage method used =2 (Preference Red Focus)\r\n"
    "  Increment size =24\r\n  Smoothing =no \r\n  Offset display method =Minimum\r\n"
    "  Image 1 offset X =152\r\n  Image 1 offset Y =98\r\n  Image 3 offset X =0\r\n  Image 3 offset Y =-4\r\n"
    "  Montage made from dominant image numbers:\r\n1234\r\n5678\r\n\r\n";

TEST(ProjectFile, IsTheSectionLineThePropertiesTextAndALineEnd) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/stein01.mon";
    writeProjectFile(path, kProperties);
    EXPECT_EQ(readBytes(path), "[project]\r\n" + kProperties + "\r\n");
}

TEST(ProjectFile, ReadsBackTheSettingsWithUtf8Names) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/stein01.mon";
    writeProjectFile(path, kProperties);
    const ProjectSettings s = readProjectSettings(path);
    EXPECT_EQ(s.firstFileName, "/bilder/Grüße/stein01.bmp");
    EXPECT_EQ(s.method, 2);
    EXPECT_EQ(s.incrementText, "24");
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(s.ignored[std::size_t(i - 1)], i == 2 || i == 10) << i;
    EXPECT_TRUE(s.usesOffsets);
    EXPECT_EQ(s.area, ProjectArea::Minimum);
    EXPECT_EQ(s.targets[1], (std::pair<int, int>(152, 98)));
    EXPECT_EQ(s.targets[2], std::nullopt); // ignored: no keys
    EXPECT_EQ(s.targets[3], (std::pair<int, int>(0, -4)));
    EXPECT_EQ(s.pictureCount, 12);
    EXPECT_FALSE(s.smoothed);

    // Saved again by an editor that starts the file with a UTF-8 byte-order mark.
    {
        std::ifstream in(path, std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(in)), {});
        std::ofstream(path, std::ios::binary | std::ios::trunc) << "\xEF\xBB\xBF" << text;
    }
    const ProjectSettings marked = readProjectSettings(path);
    EXPECT_EQ(marked.firstFileName, s.firstFileName);
    EXPECT_EQ(marked.method, 2);
    EXPECT_EQ(marked.incrementText, "24");
    EXPECT_EQ(marked.targets[3], (std::pair<int, int>(0, -4)));
    EXPECT_EQ(readProjectContents(path).propertiesText, kProperties);
}

TEST(ProjectFile, GivesBackThePropertiesAndMapExactly) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/p.mon";
    writeProjectFile(path, kProperties);
    ProjectContents c = readProjectContents(path);
    EXPECT_EQ(c.propertiesText, kProperties);
    EXPECT_EQ(c.map, "1234\r\n5678\r\n");
    // A smoothed montage's text ends with its map.
    const std::string smoothed = "\r\n  Smoothing =yes\r\n  Montage made from dominant image numbers:\r\n12\r\n34\r\n";
    writeProjectFile(path, smoothed);
    c = readProjectContents(path);
    EXPECT_EQ(c.propertiesText, smoothed);
    EXPECT_EQ(c.map, "12\r\n34\r\n");
    EXPECT_TRUE(readProjectSettings(path).smoothed);
}

TEST(ProjectFile, MissingKeysReadAsZeroAndOffsetsStayUnused) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/bare.mon";
    writeBytes(path, "[project]\r\n\r\n  First file name = /p/a01.bmp \r\n  Montage made from dominant image numbers:\r\n1\r\n");
    const ProjectSettings s = readProjectSettings(path);
    EXPECT_EQ(s.firstFileName, "/p/a01.bmp");
    EXPECT_EQ(s.method, 0);
    EXPECT_EQ(s.incrementText, "0");
    EXPECT_FALSE(s.usesOffsets);
    EXPECT_EQ(s.area, ProjectArea::Unchanged);
    for (bool b : s.ignored) EXPECT_FALSE(b);
}

TEST(ProjectFile, OffsetsCountWhenTheFirstPictureHasNone) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/o.mon";
    // Picture 1 ignored, and no display area ticked.
    writeBytes(path, "[project]\r\n  Ignore image number =1\r\n  Image 2 offset X =7\r\n  Image 2 offset Y =9\r\n");
    const ProjectSettings s = readProjectSettings(path);
    EXPECT_TRUE(s.usesOffsets);
    EXPECT_EQ(s.area, ProjectArea::Unchanged);
    EXPECT_EQ(s.targets[2], (std::pair<int, int>(7, 9)));
}

// Numbers the program cannot hold are listed, never converted: a method beyond the whole numbers,
// offsets beyond 16 bits (65618 would wrap to 82).
struct RangeCase {
    const char* name;
    const char* line;
    const char* key; // the key listed, or "" for none
};

class ProjectNumbers : public ::testing::TestWithParam<RangeCase> {};

TEST_P(ProjectNumbers, AreCheckedBeforeTheyAreConverted) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/n.mon";
    writeBytes(path, std::string("[project]\r\n  First file name =/p/a01.bmp\r\n  Image 1 offset X =10\r\n"
                                 "  Image 1 offset Y =20\r\n") + GetParam().line + "\r\n");
    const ProjectSettings s = readProjectSettings(path);
    if (*GetParam().key == '\0') {
        EXPECT_TRUE(s.outOfRange.empty());
        return;
    }
    ASSERT_EQ(s.outOfRange.size(), 1u);
    EXPECT_EQ(s.outOfRange[0].key, GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(
    Values, ProjectNumbers,
    ::testing::Values(RangeCase{"HugeMethod", "  Montage method used =4294967297", "Montage method used"},
                      RangeCase{"NegativeHugeMethod", "  Montage method used =-1e30", "Montage method used"},
                      RangeCase{"UsualMethod", "  Montage method used =5 (Pyramid Focus)", ""},
                      RangeCase{"HugeOffset", "  Image 2 offset X =1e30\r\n  Image 2 offset Y =1", "Image 2 offset X"},
                      RangeCase{"WrappingOffset", "  Image 2 offset X =1\r\n  Image 2 offset Y =65618", "Image 2 offset Y"},
                      RangeCase{"LowestOffset", "  Image 2 offset X =-32768\r\n  Image 2 offset Y =32767", ""},
                      RangeCase{"BelowLowestOffset", "  Image 2 offset X =-32769\r\n  Image 2 offset Y =0", "Image 2 offset X"},
                      // Decimals are rounded first: only what rounds past the range is listed.
                      RangeCase{"RoundedIntoRange", "  Image 2 offset X =-32768.5\r\n  Image 2 offset Y =32767.4", ""},
                      RangeCase{"RoundedPastTheTop", "  Image 2 offset X =0\r\n  Image 2 offset Y =32767.5", "Image 2 offset Y"}),
    [](const auto& info) { return std::string(info.param.name); });

// Offsets edited by hand with decimals are rounded to the nearest whole number, halves to the
// even one, not cut towards 0; whole numbers read as they are.
TEST(ProjectFile, DecimalOffsetsAreRoundedToTheNearest) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/d.mon";
    writeBytes(path, "[project]\r\n  First file name =/p/a01.bmp\r\n  Montage method used =1.6 (Linear)\r\n"
                     "  Image 1 offset X =-2.7\r\n  Image 1 offset Y =4.5\r\n"
                     "  Image 2 offset X =2.7\r\n  Image 2 offset Y =-3.5\r\n"
                     "  Image 3 offset X = -2\r\n  Image 3 offset Y =17 \r\n");
    const ProjectSettings s = readProjectSettings(path);
    EXPECT_TRUE(s.outOfRange.empty());
    EXPECT_EQ(s.method, 2);
    EXPECT_EQ(s.targets[1], (std::pair<int, int>(-3, 4)));
    EXPECT_EQ(s.targets[2], (std::pair<int, int>(3, -4)));
    EXPECT_EQ(s.targets[3], (std::pair<int, int>(-2, 17)));
}

// A first file name that holds a line end, or bytes that are not UTF-8, reads back as it was.
TEST(ProjectFile, AFirstFileNameWithALineEndOrOddBytesReadsBackAsItWas) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/odd.mon";
    for (const std::string& name : {std::string("/p/caf\xe9/a01.bmp"), std::string("/p/two\nlines/a01.bmp"),
                                   std::string("/p/cr\r\nlf %41/a01.bmp")}) {
        writeProjectFile(path, "\r\n  First file name =" + name + "\r\n  Number of files found =2\r\n"
                               "  Montage method used =1 (Linear)\r\n");
        const ProjectSettings s = readProjectSettings(path);
        EXPECT_EQ(s.firstFileName, name);
        EXPECT_EQ(s.method, 1);
    }
}

// Every key of a large project comes from one reading of the file.
TEST(ProjectFile, ALargeProjectIsReadOnce) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/large.mon";
    std::string text = "[project]\r\n  First file name =/p/a01.bmp\r\n  Montage method used =2\r\n"
                       "  Offset display method =Same\r\n  Montage made from dominant image numbers:\r\n";
    while (text.size() < (10u << 20)) text += std::string(200, '7') + "\r\n";
    writeBytes(path, text);
    const ProfileFile f(path);
    EXPECT_EQ(f.read("project", "Montage method used", ""), "2");
    for (int i = 1; i <= 30; ++i) f.read("project", "Image " + std::to_string(i) + " offset X", "");
    EXPECT_EQ(f.read("project", "first file name", ""), "/p/a01.bmp");
    EXPECT_EQ(f.timesRead(), 1u);
    // Changed on the disk, it is read again.
    writeBytes(path, "[project]\r\n  Montage method used =3\r\n");
    EXPECT_EQ(f.read("project", "Montage method used", ""), "3");
    EXPECT_EQ(f.timesRead(), 2u);
    const ProjectSettings s = readProjectSettings(path);
    EXPECT_EQ(s.method, 3);
}

// A FIFO or a folder named as the preferences file or a project is refused at once: reading one
// must not wait for a writer. (Should it wait, the watchdog opens the FIFO for writing after a few
// seconds so the test fails instead of hanging.)
TEST(ProjectFile, AFifoOrAFolderIsRefusedWithoutWaiting) {
    QTemporaryDir dir;
    const std::string fifo = dir.path().toStdString() + "/x.mon";
    const std::string folder = dir.path().toStdString() + "/y.mon";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 50 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    });
    const auto t0 = std::chrono::steady_clock::now();
    for (const std::string& path : {fifo, folder}) {
        try {
            readProjectContents(path);
            ADD_FAILURE() << path;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), 75) << path;
        }
        ProfileFile f(path);
        EXPECT_EQ(f.read("preferences", "Increment", "none"), "none");
        EXPECT_FALSE(f.tryWrite("preferences", "Increment", "20"));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    done = true;
    watchdog.join();
}

TEST(ProjectFile, AMissingFileCannotBeRead) {
    try {
        readProjectContents("/nonexistent/folder/x.mon");
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), 53);
    }
}

} // namespace
