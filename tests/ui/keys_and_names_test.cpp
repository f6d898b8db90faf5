// The windows from the keyboard: Esc in the help, Undo and Redo when there is nothing to take off
// or a text box has typing of its own, and the labels' access keys that move to the control they
// name. The menus' keys and the accessibility names are in keyboard_test.cpp.
#include "montage_fixture.h"
#include "retouch_rig.h"

#include "ui/beep.h"
#include "ui/form_preferences.h"
#include "ui/help_window.h"
#include "ui/pselect.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

namespace orv::testing {
namespace {

// The letter after "&" in a caption, lower case; none without one.
QChar accessKey(const QString& caption) {
    const int at = caption.indexOf(QLatin1Char('&'));
    return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toLower() : QChar();
}

QString shown(QString caption) { return caption.remove(QLatin1Char('&')); }

void activate(QWidget* w) {
    w->show();
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    // The application takes the window for the active one once the activation is delivered.
    ASSERT_TRUE(QTest::qWaitFor([w] { return QApplication::activeWindow() == w; }, 2000));
}

// Every access key of a window: its labels', group boxes' and buttons'.
QStringList accessKeys(const QWidget* window) {
    QStringList keys;
    for (const QLabel* l : window->findChildren<QLabel*>())
        if (!accessKey(l->text()).isNull()) keys << QString(accessKey(l->text()));
    for (const QGroupBox* g : window->findChildren<QGroupBox*>())
        if (!accessKey(g->title()).isNull()) keys << QString(accessKey(g->title()));
    for (const QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (!accessKey(b->text()).isNull()) keys << QString(accessKey(b->text()));
    return keys;
}

// File > Preferences, the dialog active; null when it did not open.
FormPreferences* openPreferences(MontageRig& rig) {
    rig.form->action(Command::Preferences)->trigger();
    auto* prefs = rig.form->findChild<FormPreferences*>();
    if (prefs) activate(prefs);
    return prefs;
}

// Alt and the label's key moves the keyboard to the control the label names.
void expectReaches(QWidget* window, const QLabel* label) {
    ASSERT_NE(label->buddy(), nullptr) << label->objectName().toStdString();
    const QChar key = accessKey(label->text());
    ASSERT_FALSE(key.isNull()) << label->objectName().toStdString();
    window->setFocus();
    QTest::keyClick(window, key.toLatin1(), Qt::AltModifier);
    EXPECT_TRUE(label->buddy()->hasFocus()) << label->objectName().toStdString();
}

// ---------------------------------------------------------------------------------------------

TEST(KeysAndNames, EscClosesTheHelpWindow) {
    QTemporaryDir dir;
    setHelpProgramFolder(dir.path() + QLatin1Char('/'));
    showHelp(nullptr);
    HelpWindow* help = openHelpWindow();
    ASSERT_NE(help, nullptr);
    activate(help);
    QTest::keyClick(help, Qt::Key_Escape);
    EXPECT_FALSE(help->isVisible());
    // It opens again as before.
    showHelp(nullptr);
    EXPECT_TRUE(openHelpWindow()->isVisible());
    closeHelp();
    setHelpProgramFolder({});
}

// Ctrl+Z and Ctrl+Y with nothing to undo or redo do nothing, quietly: without a montage, with a
// montage that has no strokes, and while retouching one.
TEST(KeysAndNames, UndoAndRedoWithNothingToTakeOffAreQuiet) {
    MontageRig rig;
    writeTexturedSeries(rig.files, "q", 3, QSize(64, 48));
    activate(rig.form.get());
    QPushButton* go = rig.form->CommandGo();
    const int before = beepCount();
    auto pressBoth = [&](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(w, Qt::Key_Y, Qt::ControlModifier);
    };
    go->setFocus();
    pressBoth(go);
    EXPECT_EQ(beepCount(), before) << "no montage";

    ASSERT_TRUE(rig.make(rig.files.path("q01.bmp")).made);
    const QImage made = rig.montagePicture();
    activate(rig.form.get());
    go->setFocus();
    pressBoth(go);
    EXPECT_EQ(beepCount(), before) << "a montage without strokes";

    FormMontagePicture* w = rig.form->windows().montageWindow();
    w->menuAction(QStringLiteral("mnuRetouch"))->trigger();
    ASSERT_TRUE(rig.form->retouchCommands().active());
    activate(rig.form.get());
    pressBoth(go);
    pressBoth(rig.form->textFileName());
    EXPECT_EQ(beepCount(), before) << "retouching, no strokes";
    EXPECT_EQ(rig.montagePicture(), made);
    EXPECT_TRUE(rig.prompter.shown.empty());
}

// While retouching, a text box undoes its own typing first, with the pointer over the montage or
// away from it; once it has nothing left to undo the keys go on to the strokes.
TEST(KeysAndNames, ATextBoxUndoesItsOwnTypingBeforeTheStrokes) {
    RetouchRig rig;
    rig.dialogs->chooseBrush(BrushChoice{8, 100, 100, false});
    rig.trigger("mnuRetouchBrush");
    rig.trigger("mnuRetouch");
    QTest::keyClick(rig.window(), Qt::Key_2);
    rig.drag({QPoint(5, 5), QPoint(40, 50)});
    const QImage painted = rig.montagePicture();
    ASSERT_NE(painted, rig.plain);
    activate(rig.form.get());
    QLineEdit* box = rig.form->TextIncrement();
    for (const bool overMontage : {true, false}) {
        SCOPED_TRACE(overMontage ? "pointer over the montage" : "pointer away");
        QCursor::setPos(overMontage ? rig.box()->mapToGlobal(QPoint(30, 30))
                                    : rig.window()->frameGeometry().bottomRight() + QPoint(40, 40));
        box->setText(QStringLiteral("20"));
        box->setFocus();
        QApplication::processEvents(); // the box selects its text when it gets the focus
        box->setCursorPosition(2);
        box->deselect();
        QTest::keyClick(box, Qt::Key_Backspace);
        ASSERT_EQ(box->text(), "2");
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        EXPECT_EQ(box->text(), "20");
        EXPECT_EQ(rig.strokes(), 1);
        EXPECT_EQ(rig.montagePicture(), painted);
    }
    box->setText(box->text()); // no typing of its own left
    QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.montagePicture(), rig.plain);
    EXPECT_EQ(box->text(), "20");
}

// Each label that names a control moves the keyboard to it by Alt and its underlined letter; the
// letters of a window never clash, in the main window with the menu bar's neither, and the texts
// stay as they were (the "&" is not shown).
TEST(KeysAndNames, EveryLabelsAccessKeyReachesTheControlItNames) {
    MontageRig rig;
    activate(rig.form.get());
    auto* increment = rig.form->findChild<QLabel*>(QStringLiteral("Label1"));
    EXPECT_EQ(shown(increment->text()), "Increment");
    expectReaches(rig.form.get(), increment);
    QStringList mainKeys = accessKeys(rig.form.get());
    for (const QAction* a : rig.form->menuBar()->actions())
        if (!accessKey(a->text()).isNull()) mainKeys << QString(accessKey(a->text()));
    QStringList distinct = mainKeys;
    distinct.removeDuplicates();
    EXPECT_EQ(mainKeys, distinct);

    FormPreferences* prefs = openPreferences(rig);
    ASSERT_NE(prefs, nullptr);
    const std::map<QString, QString> texts = {
        {"Label1", "Default Increment size"},
        {"LabelSmooth_0", "Sensitivity to swap based on improved smoothness"},
        {"LabelSmooth_1", "Emphasis put on smoothness vs focus"},
        {"LabelSmooth_2", "Look at detailed areas vs background areas"},
        {"LabelSmooth_3", "Sensitivity to replace regardless of focus"},
        {"LabelEditor", "Image editor"}};
    for (const auto& [name, text] : texts) {
        auto* label = prefs->findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name.toStdString();
        EXPECT_EQ(shown(label->text()), text);
        expectReaches(prefs, label);
    }
    // The method frame's key moves to its options.
    auto* frame = prefs->findChild<QGroupBox*>(QStringLiteral("Frame1"));
    EXPECT_EQ(shown(frame->title()), "Default Montage Method");
    prefs->Text1()->setFocus();
    QTest::keyClick(prefs, accessKey(frame->title()).toLatin1(), Qt::AltModifier);
    EXPECT_NE(qobject_cast<QRadioButton*>(QApplication::focusWidget()), nullptr);
    EXPECT_TRUE(frame->isAncestorOf(QApplication::focusWidget()));
    const QStringList prefKeys = accessKeys(prefs);
    distinct = prefKeys;
    distinct.removeDuplicates();
    EXPECT_EQ(prefKeys, distinct);
    prefs->close();

    const PrinterList printers{{{"Ink", "Epson ET-2750", "Office"}, {"Laser", "HP LaserJet 4", "Hall"}}, "Laser"};
    Pselect select(printers, rig.prompter);
    activate(&select);
    EXPECT_EQ(shown(select.Label1()->text()), "Current Devices");
    select.Cmd_Test()->setFocus();
    expectReaches(&select, select.Label1());
    const QStringList selectKeys = accessKeys(&select);
    distinct = selectKeys;
    distinct.removeDuplicates();
    EXPECT_EQ(selectKeys, distinct);
}

// The check boxes and buttons of the preferences have their own underlined letters too: Alt and the
// letter ticks a box or presses a button from wherever the keyboard is in the dialog, and the
// captions read as before.
TEST(KeysAndNames, EveryCheckBoxAndButtonOfThePreferencesHasItsKey) {
    MontageRig rig;
    FormPreferences* prefs = openPreferences(rig);
    ASSERT_NE(prefs, nullptr);
    const std::map<QString, QString> boxes = {
        {"CheckUsed", "Show the \"originating image\" window on creating a Montage"},
        {"CheckLoadImages", "Load images on start up"},
        {"CheckShortcut", "Add a shortcut to 'Orvanta' on to the Desktop"},
        {"CheckRight", "Add  'Orvanta' to the Windows Explorer Right Mouse Click menu"},
        {"CheckAutoSmooth", "Automatically smooth the Montage when created"}};
    for (const auto& [name, text] : boxes) {
        auto* box = prefs->findChild<QAbstractButton*>(name);
        ASSERT_NE(box, nullptr) << name.toStdString();
        EXPECT_EQ(shown(box->text()), text);
        const QChar key = accessKey(box->text());
        ASSERT_FALSE(key.isNull()) << name.toStdString() << " has no key";
        const bool before = box->isChecked();
        prefs->Text1()->setFocus();
        QTest::keyClick(prefs, key.toLatin1(), Qt::AltModifier);
        // A button's key clicks it as the button is drawn pressed for a moment.
        EXPECT_TRUE(QTest::qWaitFor([&] { return box->isChecked() != before; }, 1000)) << name.toStdString();
    }
    // Reset Smoothing defaults by its key puts a changed box back.
    auto* reset = prefs->findChild<QAbstractButton*>(QStringLiteral("CommandSmoothReset"));
    EXPECT_EQ(shown(reset->text()), "Reset Smoothing defaults");
    reset->click();
    const QString standard = prefs->TextSmooth(1)->text();
    prefs->TextSmooth(1)->setText(QStringLiteral("77"));
    prefs->Text1()->setFocus();
    ASSERT_FALSE(accessKey(reset->text()).isNull());
    QTest::keyClick(prefs, accessKey(reset->text()).toLatin1(), Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return prefs->TextSmooth(1)->text() == standard; }, 1000));
    auto* colour = prefs->findChild<QAbstractButton*>(QStringLiteral("CommandColor"));
    EXPECT_EQ(shown(colour->text()), "Change Target Color");
    EXPECT_FALSE(accessKey(colour->text()).isNull());
    // No two controls share a letter.
    const QStringList keys = accessKeys(prefs);
    QStringList distinct = keys;
    distinct.removeDuplicates();
    EXPECT_EQ(keys, distinct);
    prefs->close();
}

} // namespace
} // namespace orv::testing
