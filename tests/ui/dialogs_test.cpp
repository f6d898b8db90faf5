// The message boxes, the common dialog and working the main window through the accessibility
// interfaces, as a screen reader does.
#include "event_watch.h"
#include "series_fixture.h"

#include "input/series_loader.h"
#include "ui/message_box_prompter.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
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

// A name of 300 characters with no blank or slash to break a line at (a camera's or a script's
// name for a series) wraps within the screen in a message box, in the prompts' boxes and in the
// question before a file is replaced. What is copied from the box and what a screen reader reads is
// the text as it is, and every shorter word stays whole.
constexpr QChar kZeroWidthSpace(0x200B);

std::string longName() {
    std::string name;
    while (name.size() < 294) name += "beetle_" + std::to_string(name.size()) + "_";
    return name.substr(0, 294) + "01.jpg";
}

// The box on screen holds its text whole: no line is wider than the box gives it.
void expectTextFitsTheScreen(QMessageBox& box, const QString& text) {
    const QRect screen = box.screen()->availableGeometry();
    EXPECT_LE(box.frameGeometry().width(), screen.width());
    const auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_NE(label, nullptr);
    const QRect laidOut = label->fontMetrics().boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text());
    EXPECT_LE(laidOut.width(), label->contentsRect().width());
    EXPECT_LE(label->contentsRect().width(), screen.width());
    EXPECT_EQ(QString(label->text()).remove(kZeroWidthSpace), text);
    EXPECT_EQ(label->accessibleName(), text);
}

TEST(MessageBoxes, AVeryLongFileNameWrapsWithinTheScreenAndIsCopiedAsItIs) {
    const std::string name = "/home/ann/" + longName();
    ASSERT_EQ(name.size(), 310u);
    const std::string text = "So very sorry, but I can't read " + name + ".\nIt is kept as it was.";
    auto box = buildMessageBox(Prompt{PromptIcon::Critical, PromptButtons::Ok, text, "Nobody's Perfect"}, nullptr);
    box->show();
    QCoreApplication::processEvents();
    expectTextFitsTheScreen(*box, QString::fromStdString(text));
    EXPECT_EQ(box->accessibleDescription().toStdString(), text);
    // Every word shorter than the name keeps its letters together.
    EXPECT_TRUE(box->text().startsWith(QStringLiteral("So very sorry, but I can't read /home/ann/b")));
    EXPECT_TRUE(box->text().endsWith(QStringLiteral(".\nIt is kept as it was.")));

    // Copied (where the style lets the text be selected), the name is the file's.
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QGuiApplication::clipboard()->clear();
    label->setSelection(0, int(label->text().size()));
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), text);
    const int start = int(label->text().indexOf(QStringLiteral("/ann/"))) + 5;
    ASSERT_GT(start, 5);
    label->setSelection(start, 80);
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    const QString part = QGuiApplication::clipboard()->text();
    EXPECT_FALSE(part.contains(kZeroWidthSpace));
    EXPECT_TRUE(QString::fromStdString(text).contains(part)) << part.toStdString();
    box->hide();
}

TEST(MessageBoxes, TheQuestionBeforeAVeryLongFileNameIsReplacedWrapsWithinTheScreen) {
    const QString name = QString::fromStdString(longName()).left(250) + QStringLiteral(".bmp");
    QtDialogBackend backend(nullptr);
    bool asked = false;
    const auto watch = onNextModal<QMessageBox>([&](QMessageBox* box) {
        asked = true;
        expectTextFitsTheScreen(*box, name + QStringLiteral(" already exists.\nDo you want to replace it?"));
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(backend.confirmReplace(QStringLiteral("/tmp/") + name));
    EXPECT_TRUE(asked);
}

// The text a box shows breaks only inside a run too long for a line, and between the characters a
// reader sees, never inside one; a text that holds a zero-width space of its own is left whole.
TEST(MessageBoxes, OnlyARunTooLongForALineMayBreakAndNeverInsideACharacter) {
    const QString words = QStringLiteral("I can't find /home/ann/pictures/beetle01.jpg, so very sorry.");
    EXPECT_EQ(breakableText(words), words);
    const QString accented = QStringLiteral("e\u0301");
    const QString bold = QString::fromUcs4(U"\U0001D400"); // a letter beyond 16 bits
    QString run;
    for (int k = 0; k < 20; ++k) run += accented + bold + QStringLiteral("x");
    const QString shown = breakableText(words + QStringLiteral(" ") + run);
    EXPECT_TRUE(shown.startsWith(words + QStringLiteral(" ")));
    EXPECT_EQ(QString(shown).remove(kZeroWidthSpace), words + QStringLiteral(" ") + run);
    EXPECT_EQ(shown.count(kZeroWidthSpace), 3 * 20 - 1);
    EXPECT_FALSE(shown.contains(QStringLiteral("e") + kZeroWidthSpace + QChar(0x0301)));
    EXPECT_EQ(shown.count(bold), 20);
    const QString own = run + kZeroWidthSpace;
    EXPECT_EQ(breakableText(own), own);
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
