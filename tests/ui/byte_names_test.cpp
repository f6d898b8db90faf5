// A series in a folder whose name is not UTF-8, or holds a line end, worked through the main
// window: Load, Make Montage, Save Montage As, Save Project, Open Project and the recent entries
// each reach the files by their bytes, and what the preferences keep names the same folder.
#include "montage_fixture.h"

#include "settings/preferences.h"
#include "support/case_name.h"
#include "ui/image_editor.h"
#include "ui/montage_windows.h"
#include "ui/path_text.h"

#include <QAction>

#include <filesystem>
#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

struct FolderCase {
    const char* label;
    const char* folder;
};

// Failures name the case, not its bytes.
void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.label; }

std::string caseLabel(const ::testing::TestParamInfo<FolderCase>& info) { return caseName(info.param.label); }

bool existsByBytes(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// A main window and the series rock01.bmp to rock03.bmp in the case's folder.
struct ByteNameRig : MontageRig {
    std::string folder, first;
    explicit ByteNameRig(const FolderCase& c) {
        folder = files.path(c.folder) + "/";
        std::filesystem::create_directory(folder);
        for (int k = 1; k <= 3; ++k)
            EXPECT_TRUE(writePictureByBytes(folder + "rock0" + std::to_string(k) + ".bmp", texturedPicture(k, 3, QSize(60, 40))));
        first = folder + "rock01.bmp";
    }
    QAction* entry(const char* name) { return form->menuAction(QString::fromLatin1(name)); }
    std::string box() const { return pathBytes(form->textFileName()->text()); }
    std::string lastDialogName() const { return pathBytes(dialogs->requests.back().fileName); }
};

class ByteNames : public ::testing::TestWithParam<FolderCase> {};

TEST_P(ByteNames, LoadMakeSaveAndProjectsReachTheFolder) {
    ByteNameRig rig(GetParam());

    rig.form->textFileName()->setText(pathText(rig.first));
    ASSERT_EQ(rig.form->loadCommand(), LoadOutcome::Loaded);
    EXPECT_EQ(rig.state.series.imageCount, 3);

    ASSERT_TRUE(rig.form->makeMontage().made);
    EXPECT_TRUE(rig.prompter.shown.empty()) << rig.prompter.shown[0].text;
    EXPECT_EQ(rig.box(), rig.first);
    EXPECT_EQ(rig.state.recent.caption(0), rig.first);
    EXPECT_EQ(readStartupPreferences(rig.state.preferences).filename, rig.first);
    const QImage montage = rig.montagePicture();

    // Save Montage As proposes a name in the series' folder (from the window's caption).
    rig.dialogs->chooseFile(pathText(rig.folder + "kept.bmp"));
    rig.form->action(Command::SaveMontageAs)->trigger();
    EXPECT_EQ(rig.lastDialogName().substr(0, rig.folder.size()), rig.folder);
    EXPECT_EQ(readPictureByBytes(rig.folder + "kept.bmp").convertToFormat(QImage::Format_RGB888), montage);

    // Save Project proposes rock01.mon beside the series and writes it and its bitmap there.
    rig.dialogs->chooseFile(pathText(rig.folder + "rock01.mon"));
    rig.entry("mnuSave")->trigger();
    EXPECT_EQ(rig.lastDialogName(), rig.folder + "rock01.mon");
    EXPECT_TRUE(existsByBytes(rig.folder + "rock01.mon"));
    EXPECT_TRUE(existsByBytes(rig.folder + "rock01.vrk"));
    EXPECT_EQ(rig.state.recent.caption(0), "project " + rig.folder + "rock01");

    // Open Project from the dialog: its first file name comes back into the box.
    rig.form->textFileName()->setText(pathText(rig.files.path("other01.bmp")));
    rig.dialogs->chooseFile(pathText(rig.folder + "rock01.mon"));
    rig.entry("mnuOpenProject")->trigger();
    EXPECT_TRUE(rig.form->windows().montageWindow()->isVisible());
    EXPECT_EQ(rig.box(), rig.first);
    EXPECT_EQ(rig.montagePicture(), montage);

    // And from its recent entry, with nothing asked.
    rig.form->textFileName()->setText(pathText(rig.files.path("other01.bmp")));
    const std::size_t asked = rig.dialogs->requests.size();
    rig.form->mnuRecentFile(0)->trigger();
    EXPECT_EQ(rig.dialogs->requests.size(), asked);
    EXPECT_EQ(rig.box(), rig.first);
    EXPECT_TRUE(rig.prompter.shown.size() <= 2u); // the two "File created" notes of Save Montage As
}

TEST_P(ByteNames, TheRecentListKeepsTheNameAcrossAStartAndItsEntryLoadsTheSeries) {
    ByteNameRig rig(GetParam());
    rig.form->AddRecentFile(rig.first);
    rig.form->AddRecentFile(rig.files.path("other01.bmp"));

    // What the preferences file holds is read back as the same bytes, and no line of it is cut.
    RecentFiles again;
    again.load(rig.state.preferences);
    EXPECT_EQ(again.caption(1), rig.first);
    std::ifstream in(rig.state.preferences.path(), std::ios::binary);
    for (std::string line; std::getline(in, line);)
        EXPECT_TRUE(line.empty() || line[0] == '[' || line.find('=') != std::string::npos) << line;

    rig.form->mnuRecentFile(1)->trigger();
    EXPECT_EQ(rig.state.series.imageCount, 3);
    EXPECT_EQ(rig.box(), rig.first);
    EXPECT_EQ(rig.state.recent.caption(0), rig.first);
}

TEST_P(ByteNames, BrowseOpensInTheBoxsFolderAndLoadsTheChoice) {
    ByteNameRig rig(GetParam());
    rig.form->textFileName()->setText(pathText(rig.folder + "rock02.bmp"));
    rig.dialogs->chooseFile(pathText(rig.first));
    rig.form->action(Command::Browse)->trigger();
    ASSERT_EQ(rig.dialogs->requests.size(), 1u);
    EXPECT_EQ(pathBytes(dialogFolder(rig.dialogs->requests[0].initDir)) + "/", rig.folder);
    EXPECT_EQ(rig.box(), rig.first);
    EXPECT_EQ(rig.state.series.imageCount, 3);
}

TEST_P(ByteNames, TheDepthMapIsProposedBesideTheSeries) {
    ByteNameRig rig(GetParam());
    rig.form->textFileName()->setText(pathText(rig.first));
    ASSERT_TRUE(rig.form->makeMontage().made);
    rig.dialogs->chooseFile(pathText(rig.folder + "depth.png"));
    rig.form->windows().montageWindow()->action(Command::PictureSaveDepthMap)->trigger();
    EXPECT_EQ(rig.lastDialogName(), rig.folder + "rock01 depth.png");
    EXPECT_TRUE(existsByBytes(rig.folder + "depth.png"));
}

INSTANTIATE_TEST_SUITE_P(Folders, ByteNames,
                         ::testing::Values(FolderCase{"latin1 e acute", "caf\xe9"}, FolderCase{"line end", "two\nlines"}),
                         caseLabel);

} // namespace

namespace {

// The editor hand-off starts a program by the bytes of its name and arguments.
TEST(ByteNamesEditor, AProgramInAFolderThatIsNotUtf8GetsItsArgumentAsBytes) {
    SeriesFolder files;
    const std::string folder = files.path("caf\xe9");
    std::filesystem::create_directory(folder);
    const std::string program = folder + "/editor";
    std::ofstream(program) << "#!/bin/sh\nprintf '%s' \"$1\" > \"$(dirname \"$0\")/got\"\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const std::string argument = folder + "/two\nlines.bmp";
    ASSERT_TRUE(startEditor(ProgramStart{program, {argument}}));
    const std::string got = folder + "/got";
    ASSERT_TRUE(QTest::qWaitFor([&] { return existsByBytes(got) && std::filesystem::file_size(got) == argument.size(); }, 5000));
    std::ifstream in(got, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), argument);
}

} // namespace
