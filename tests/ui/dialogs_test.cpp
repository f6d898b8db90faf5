// The message boxes, the common dialog and working the main window through the accessibility
// interfaces, as a screen reader does.
#include "series_fixture.h"

#include "input/series_loader.h"
#include "ui/message_box_prompter.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

struct BoxCase {
    const char* label;
    PromptIcon icon;
    PromptButtons buttons;
    QMessageBox::Icon qtIcon;
    QMessageBox::StandardButtons qtButtons;
};

class MessageBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(MessageBoxes, CarryIconButtonsTitleAndText) {
    const BoxCase& c = GetParam();
    auto box = buildMessageBox(Prompt{c.icon, c.buttons, "So very sorry, but I can't find that file.", "roll the dice again"},
                               nullptr);
    EXPECT_EQ(box->icon(), c.qtIcon);
    EXPECT_EQ(box->standardButtons(), c.qtButtons);
    EXPECT_EQ(box->windowTitle(), "roll the dice again");
    EXPECT_EQ(box->text(), "So very sorry, but I can't find that file.");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, MessageBoxes,
    ::testing::Values(BoxCase{"critical_ok", PromptIcon::Critical, PromptButtons::Ok, QMessageBox::Critical, QMessageBox::Ok},
                      BoxCase{"exclamation", PromptIcon::Exclamation, PromptButtons::Ok, QMessageBox::Warning, QMessageBox::Ok},
                      BoxCase{"information", PromptIcon::Information, PromptButtons::Ok, QMessageBox::Information,
                              QMessageBox::Ok},
                      BoxCase{"question_yes_no", PromptIcon::Question, PromptButtons::YesNo, QMessageBox::Question,
                              QMessageBox::Yes | QMessageBox::No},
                      BoxCase{"plain_yes_no_cancel", PromptIcon::None, PromptButtons::YesNoCancel, QMessageBox::NoIcon,
                              QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel},
                      BoxCase{"ok_cancel", PromptIcon::Critical, PromptButtons::OkCancel, QMessageBox::Critical,
                              QMessageBox::Ok | QMessageBox::Cancel}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(MessageBoxes, TheirTextIsReadByAssistiveTechnology) {
    auto box = buildMessageBox(Prompt{PromptIcon::Critical, PromptButtons::Ok, kLimitText, kLimitTitle}, nullptr);
    box->show();
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(box.get());
    ASSERT_NE(i, nullptr);
    QStringList texts;
    for (int c = 0; c < i->childCount(); ++c) texts << i->child(c)->text(QAccessible::Name);
    EXPECT_TRUE(texts.contains(QString::fromLatin1(kLimitText))) << texts.join('|').toStdString();
    box->hide();
}

TEST(CommonDialogFilters, BecomeQtNameFiltersWithEveryPatternOnce) {
    EXPECT_EQ(qtNameFilters(QString::fromLatin1(kPictureFilter)),
              (QStringList{"Picture files (*.bmp *.BMP *.jpg *.JPG *.gif *.GIF)", "All files (*)"}));
    EXPECT_EQ(qtNameFilters(QString::fromLatin1(kSaveAsFilter)),
              (QStringList{"*.bmp (*.bmp *.BMP)", "*.jpg (*.jpg *.JPG)", "*.gif (*.gif *.GIF)"}));
    EXPECT_EQ(qtNameFilters(QString::fromLatin1(kProjectFilter)).first(), "Project files (*.mon *.MON)");
}

TEST(CommonDialogFolders, AFileNameOpensItsFolder) {
    SeriesFolder f;
    f.writePicture("a1.bmp");
    const QString folder = QString::fromStdString(f.folder()).chopped(1);
    EXPECT_EQ(dialogFolder(QString::fromStdString(f.path("a1.bmp"))), folder);
    EXPECT_EQ(dialogFolder(QString::fromStdString(f.path("missing1.bmp"))), folder);
    EXPECT_EQ(dialogFolder(folder), folder);
}

// The series' folder renamed or removed since it was typed: Browse opens in the nearest folder above
// it that is still there, not in the home folder.
TEST(CommonDialogFolders, AFolderThatVanishedOpensTheNearestOneAboveIt) {
    SeriesFolder f;
    const QString folder = QString::fromStdString(f.folder()).chopped(1);
    EXPECT_EQ(dialogFolder(QString::fromStdString(f.path("gone/rock1.bmp"))), folder);
    EXPECT_EQ(dialogFolder(QString::fromStdString(f.path("gone/deeper/rock1.bmp"))), folder);
    EXPECT_EQ(dialogFolder(QString::fromStdString(f.path("gone/deeper/"))), folder);
    EXPECT_EQ(dialogFolder(QStringLiteral("/no such folder here/x/a1.bmp")), QDir::homePath());
    EXPECT_EQ(dialogFolder(QStringLiteral("/")), QStringLiteral("/"));
}

TEST(CommonDialogChoices, CancelLeavesFileNameAndColourAsTheyWere) {
    auto backend = std::make_unique<ScriptedDialogBackend>();
    ScriptedDialogBackend& script = *backend;
    CommonDialog d(std::move(backend));
    d.FileName = "/p/a1.bmp";
    d.Color = 0x123456;
    script.cancel();
    EXPECT_FALSE(d.ShowSave());
    EXPECT_EQ(d.FileName, "/p/a1.bmp");
    script.cancel();
    EXPECT_FALSE(d.ShowColor());
    EXPECT_EQ(d.Color, 0x123456u);
    script.chooseColor(0xFF);
    d.Flags = kFlagColorInitial;
    EXPECT_TRUE(d.ShowColor());
    EXPECT_EQ(d.Color, 0xFFu);
    EXPECT_EQ(script.requests.back().color, 0x123456u); // shown with the colour it had
    EXPECT_EQ(script.requests.back().flags, 1);
    script.chooseFile("/p/b1.bmp");
    EXPECT_TRUE(d.ShowOpen());
    EXPECT_EQ(d.FileName, "/p/b1.bmp");
}

// A screen reader types a series name, presses Browse and reads the menus by their captions.
TEST(Accessibility, ControlsCanBeWorkedThroughTheirInterfaces) {
    MainWindowRig rig;
    rig.files.writeSeries("acc", 1, 2, 1);
    rig.form->show();
    QAccessibleInterface* box = QAccessible::queryAccessibleInterface(rig.form->textFileName());
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->editableTextInterface(), nullptr);
    box->editableTextInterface()->replaceText(0, box->textInterface()->characterCount(),
                                              QString::fromStdString(rig.files.path("acc1.bmp")));
    EXPECT_EQ(rig.form->textFileName()->text().toStdString(), rig.files.path("acc1.bmp"));

    rig.dialogs->chooseFile(QString::fromStdString(rig.files.path("acc1.bmp")));
    QAccessibleInterface* browse = QAccessible::queryAccessibleInterface(rig.form->CommandBrowse());
    ASSERT_NE(browse->actionInterface(), nullptr);
    browse->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(rig.state.series.imageCount, 2);

    QAccessibleInterface* go = QAccessible::queryAccessibleInterface(rig.form->CommandGo());
    EXPECT_EQ(go->text(QAccessible::Name), "Make Montage");
    EXPECT_TRUE(go->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));

    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(rig.form->menuBar());
    QStringList menus;
    for (int c = 0; c < bar->childCount(); ++c) menus << bar->child(c)->text(QAccessible::Name);
    EXPECT_TRUE(menus.contains(" File ")) << menus.join('|').toStdString();
}

} // namespace
