// The program from the keyboard and through a screen reader: access keys, F10, Shift+F10 and the
// Menu key, and the names and texts the accessibility interfaces give. Run offscreen and again
// on an X server (xcb), where keys arrive as a user's do.
#include "montage_fixture.h"
#include "event_watch.h"

#include "ui/common_dialog.h"
#include "ui/form_about.h"
#include "ui/focus_style.h"
#include "ui/form_preferences.h"
#include "ui/montage_windows.h"
#include "ui/pselect.h"

#include <QAccessible>
#include <QAccessibleInterface>
#include <QAction>
#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QAbstractSpinBox>
#include <QTimer>
#include <QTest>

#include <gtest/gtest.h>

using namespace orv;
using namespace orv::testing;

namespace {

QString accessibleText(QObject* o, QAccessible::Text t) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i ? i->text(t) : QString();
}

// The letter after "&" in a caption.
QChar accessKey(const QString& caption) {
    const int at = caption.indexOf(QLatin1Char('&'));
    return at >= 0 && at + 1 < caption.size() ? caption[at + 1].toLower() : QChar();
}

struct KeyRig : MontageRig {
    KeyRig() {
        writeTexturedSeries(files, "key", 3, QSize(64, 48));
        form->show();
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    void makeMontage() {
        ASSERT_TRUE(make(files.path("key01.bmp")).made);
        form->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    QMenu* openMenu() const {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) return m;
        return nullptr;
    }
    void closeMenus() {
        while (QMenu* m = openMenu()) m->close();
    }
};

TEST(Keyboard, AltFOpensTheFileMenuAndF10TheMenuBar) {
    KeyRig rig;
    QTest::keyClick(rig.form.get(), Qt::Key_F, Qt::AltModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.openMenu() != nullptr; }, 2000));
    EXPECT_EQ(rig.openMenu()->objectName(), "mnuFile");
    rig.closeMenus();

    QTest::keyClick(rig.form.get(), Qt::Key_F10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.openMenu() != nullptr; }, 2000));
    EXPECT_EQ(rig.openMenu()->objectName(), "mnuFile");
    rig.closeMenus();
}

// The main job typed: the first file's name, Tab to the increment (its text selected, so typing
// replaces it), and Enter in either box presses the default button, Make Montage.
TEST(Keyboard, EnterInEitherBoxMakesTheMontage) {
    KeyRig rig;
    QLineEdit* name = rig.form->textFileName();
    name->setFocus(Qt::TabFocusReason);
    name->selectAll();
    QTest::keyClicks(name, QString::fromStdString(rig.files.path("key01.bmp")));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_FALSE(rig.state.montage.main().empty());
    EXPECT_EQ(rig.state.montage.main().increment, 20);

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), rig.form->TextIncrement());
    QCoreApplication::processEvents();
    QTest::keyClicks(rig.form->TextIncrement(), QStringLiteral("12"));
    QTest::keyClick(rig.form->TextIncrement(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(rig.state.montage.main().increment, 12);
    EXPECT_EQ(rig.form->TextIncrement()->text(), "12");
}

TEST(Keyboard, EveryMenuHasDistinctAccessKeys) {
    KeyRig rig;
    QString titles;
    for (QAction* a : rig.form->menuBar()->actions()) {
        if (!a->isVisible()) continue;
        const QChar k = accessKey(a->text());
        ASSERT_FALSE(k.isNull()) << a->text().toStdString();
        EXPECT_FALSE(titles.contains(k)) << a->text().toStdString();
        titles += k;
        QString entries;
        for (QAction* e : a->menu()->actions()) {
            const QChar ek = accessKey(e->text());
            if (ek.isNull()) continue;
            EXPECT_FALSE(entries.contains(ek)) << e->text().toStdString();
            entries += ek;
        }
    }
    // A word's first letter when one is free, else any free letter.
    EXPECT_EQ(withAccessKey(QStringLiteral("Save Montage As"), titles), "Save Montage &As");
    QString taken = QStringLiteral("smav");
    EXPECT_EQ(withAccessKey(QStringLiteral("Save Montage As"), taken), "Sav&e Montage As");
    QString all = QStringLiteral("ab");
    EXPECT_EQ(withAccessKey(QStringLiteral("ab"), all), "ab");
}

TEST(Keyboard, ShiftF10AndTheMenuKeyReachPropertiesAndSaveDepthMap) {
    KeyRig rig;
    rig.makeMontage();
    FormMontagePicture* montage = rig.form->windows().montageWindow();

    QTest::keyClick(rig.form.get(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.openMenu() == montage->mnuMenu(); }, 2000));
    QTest::keyClick(montage->mnuMenu(), accessKey(montage->mnuProperties()->text()).toLatin1());
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.form->windows().propertiesWindow()->isVisible(); }, 2000));

    rig.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    const std::string depth = rig.files.path("depth.png");
    rig.dialogs->chooseFile(QString::fromStdString(depth));
    QTest::keyClick(rig.form.get(), Qt::Key_Menu);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.openMenu() == montage->mnuMenu(); }, 2000));
    QAction* save = montage->menuAction(QStringLiteral("mnuSaveDepthMap"));
    QTest::keyClick(montage->mnuMenu(), accessKey(save->text()).toLatin1());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(QString::fromStdString(depth)); }, 2000));
}

// The source and montage windows hand the keyboard back to the main window, so their zoom keys
// are pressed there: they zoom the picture window last brought to the front (a click, the Window
// menu), else the montage window.
TEST(Keyboard, ZoomKeysInTheMainWindowZoomThePictureWindowInFront) {
    KeyRig rig;
    rig.makeMontage();
    WindowManager& w = rig.form->windows();
    FormMontagePicture* montage = w.montageWindow();
    FormPicture* second = w.sourceWindow(2);
    auto press = [&](int key) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
        QTest::keyClick(rig.form->textFileName(), key, Qt::ControlModifier);
    };

    rig.form->mnuWindow2(0)->trigger();
    press(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(montage->zoom(), 1.25);
    EXPECT_EQ(montage->zoomStatus()->text(), "Zoom 125 %");
    EXPECT_DOUBLE_EQ(second->zoom(), 1.0);

    rig.form->mnuWindow(2)->trigger();
    press(Qt::Key_Minus);
    EXPECT_DOUBLE_EQ(second->zoom(), 0.8);
    EXPECT_DOUBLE_EQ(montage->zoom(), 1.25);
    press(Qt::Key_0);
    EXPECT_DOUBLE_EQ(second->zoom(), 1.0);

    // A click on the montage window (its activation, handed straight back) makes it the one.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(montage, &activate);
    press(Qt::Key_0);
    EXPECT_DOUBLE_EQ(montage->zoom(), 1.0);
    const QSize room = montage->scrollArea()->viewport()->size(), picture = montage->PictureFile()->picture().size();
    const double fit = std::min(double(room.width()) / picture.width(), double(room.height()) / picture.height());
    ASSERT_NE(fit, 1.0);
    press(Qt::Key_9);
    EXPECT_DOUBLE_EQ(montage->zoom(), fit);

    // The window in front closed: the montage window's zoom again; none shown: nothing zooms.
    rig.form->mnuWindow(2)->trigger();
    second->close();
    press(Qt::Key_0);
    EXPECT_DOUBLE_EQ(montage->zoom(), 1.0);
    montage->close();
    press(Qt::Key_Plus);
    EXPECT_DOUBLE_EQ(montage->zoom(), 1.0);
    // The typing in the main window is untouched.
    EXPECT_EQ(rig.form->textFileName()->text(), QString::fromStdString(rig.files.path("key01.bmp")));
}

// A picture larger than its window scrolls from the keyboard, which stays with the main window: the
// keys scroll the picture window in front unless the focused text box moves its cursor by them;
// with Alt held they scroll from the text box too.
TEST(Keyboard, ScrollKeysInTheMainWindowScrollThePictureWindowInFront) {
    KeyRig rig;
    rig.makeMontage();
    FormMontagePicture* montage = rig.form->windows().montageWindow();
    montage->setZoom(8);
    QScrollBar* h = montage->scrollArea()->horizontalScrollBar();
    QScrollBar* v = montage->scrollArea()->verticalScrollBar();
    ASSERT_GT(h->maximum(), 2 * h->singleStep());
    ASSERT_GT(v->maximum(), v->pageStep() + v->singleStep());
    rig.form->mnuWindow2(0)->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));

    QWidget* go = rig.form->CommandGo();
    go->setFocus();
    QTest::keyClick(go, Qt::Key_Home);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(v->value(), 0);
    QTest::keyClick(go, Qt::Key_Down);
    EXPECT_EQ(v->value(), v->singleStep());
    QTest::keyClick(go, Qt::Key_PageDown);
    EXPECT_EQ(v->value(), v->singleStep() + v->pageStep());
    QTest::keyClick(go, Qt::Key_Right);
    EXPECT_EQ(h->value(), h->singleStep());
    QTest::keyClick(go, Qt::Key_End);
    EXPECT_EQ(h->value(), h->maximum());
    EXPECT_EQ(v->value(), v->maximum());
    QTest::keyClick(go, Qt::Key_PageUp);
    EXPECT_EQ(v->value(), v->maximum() - v->pageStep());
    EXPECT_TRUE(go->hasFocus());

    QLineEdit* box = rig.form->textFileName();
    const QString text = box->text();
    box->setFocus();
    box->setCursorPosition(3);
    QTest::keyClick(box, Qt::Key_Left);
    EXPECT_EQ(box->cursorPosition(), 2);
    EXPECT_EQ(h->value(), h->maximum());
    QTest::keyClick(box, Qt::Key_Left, Qt::AltModifier);
    EXPECT_EQ(h->value(), h->maximum() - h->singleStep());
    const int before = v->value();
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(v->value(), before - v->singleStep());
    QTest::keyClick(box, Qt::Key_Home, Qt::AltModifier);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(v->value(), 0);
    EXPECT_EQ(box->cursorPosition(), 2);
    QTest::keyClick(box, Qt::Key_End);
    EXPECT_EQ(box->cursorPosition(), text.size());
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(box->text(), text);

    // A source window brought to the front is the one scrolled.
    FormPicture* second = rig.form->windows().sourceWindow(2);
    second->setZoom(8);
    rig.form->mnuWindow(2)->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    QTest::keyClick(go, Qt::Key_End);
    EXPECT_EQ(second->scrollArea()->verticalScrollBar()->value(), second->scrollArea()->verticalScrollBar()->maximum());
    EXPECT_GT(second->scrollArea()->verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(v->value(), 0);
}

// Shift+F10 opens the menu of that picture window too, so a source window's own entries are
// reached from the keyboard (here its Close Window); with it gone, the montage window's menu.
TEST(Keyboard, ShiftF10OpensTheMenuOfThePictureWindowInFront) {
    KeyRig rig;
    rig.makeMontage();
    FormPicture* second = rig.form->windows().sourceWindow(2);
    rig.form->mnuWindow(2)->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    QTest::keyClick(rig.form.get(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.openMenu() == second->mnuMenu(); }, 2000));
    QTest::keyClick(second->mnuMenu(), accessKey(second->menuAction(QStringLiteral("mnuClose"))->text()).toLatin1());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !second->isVisible(); }, 2000));

    rig.form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.form.get()));
    QTest::keyClick(rig.form.get(), Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.openMenu() == rig.form->windows().montageWindow()->mnuMenu(); }, 2000));
    rig.closeMenus();
}

TEST(Accessibility, WindowsAndControlsCarryNamesAndTheMapIsText) {
    KeyRig rig;
    rig.makeMontage();
    WindowManager& w = rig.form->windows();
    w.montageWindow()->mnuProperties()->trigger();
    for (QWidget* window : std::initializer_list<QWidget*>{rig.form.get(), w.montageWindow(), w.usedWindow(),
                                                           w.previewWindow(), w.propertiesWindow(), w.sourceWindow(1)})
        EXPECT_FALSE(accessibleText(window, QAccessible::Name).trimmed().isEmpty()) << window->objectName().toStdString();

    // The picture windows' scroll bars.
    QScrollArea* area = w.montageWindow()->scrollArea();
    EXPECT_FALSE(accessibleText(area->horizontalScrollBar(), QAccessible::Name).isEmpty());
    EXPECT_FALSE(accessibleText(area->verticalScrollBar(), QAccessible::Name).isEmpty());

    // The map's digits, as a screen reader reads them.
    QPlainTextEdit* map = w.usedWindow()->textMap();
    QCoreApplication::processEvents();
    QAccessibleInterface* mi = QAccessible::queryAccessibleInterface(map);
    ASSERT_NE(mi, nullptr);
    ASSERT_NE(mi->textInterface(), nullptr);
    const QString read = mi->textInterface()->text(0, mi->textInterface()->characterCount());
    EXPECT_TRUE(read.startsWith(QString::fromStdString(rig.state.montage.main().map.substr(0, 4)))) << read.toStdString();
    EXPECT_EQ(mi->role(), QAccessible::EditableText);
    EXPECT_TRUE(mi->state().readOnly);

    // The context menus are menus on the bus.
    QAccessibleInterface* menu = QAccessible::queryAccessibleInterface(w.montageWindow()->mnuMenu());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->role(), QAccessible::PopupMenu);
}

TEST(Accessibility, ThePreferencesBoxesAndBarsSayWhatTheySet) {
    KeyRig rig;
    rig.form->action(Command::Preferences)->trigger();
    auto* prefs = rig.form->findChild<FormPreferences*>();
    ASSERT_NE(prefs, nullptr);
    QStringList descriptions;
    for (int i = 0; i < 4; ++i) {
        const QString caption = prefs->LabelSmooth(i)->text().remove(QLatin1Char('&'));
        EXPECT_EQ(accessibleText(prefs->TextSmooth(i), QAccessible::Name), caption);
        EXPECT_EQ(accessibleText(prefs->VScrollSmooth(i), QAccessible::Name), caption);
        descriptions << accessibleText(prefs->VScrollSmooth(i), QAccessible::Description);
    }
    descriptions.removeDuplicates();
    EXPECT_EQ(descriptions.size(), 4);
    EXPECT_FALSE(descriptions.contains(QStringLiteral("Set the default increment size")));
    EXPECT_NE(prefs->CheckAutoSmooth()->toolTip(), prefs->CheckUsed()->toolTip());
    prefs->close();
}

// What a screen reader says at each stop Tab makes in a window, in order, until it comes round;
// an unnamed stop (or one hidden or disabled) is listed by its object name.
QStringList unnamedTabStops(QWidget* window) {
    window->show();
    window->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return QApplication::focusWidget() && QApplication::focusWidget()->window() == window;
    }, 2000)) << window->objectName().toStdString();
    QStringList unnamed;
    QWidget* first = QApplication::focusWidget();
    QWidget* at = first;
    for (int i = 0; at && i < 40; ++i) {
        // A spin box's text field speaks for the box.
        QWidget* speaker = qobject_cast<QAbstractSpinBox*>(at->parentWidget()) ? at->parentWidget() : at;
        if (accessibleText(speaker, QAccessible::Name).trimmed().isEmpty() || !at->isVisible() || !at->isEnabled())
            unnamed << (speaker->objectName().isEmpty() ? QString::fromLatin1(speaker->metaObject()->className())
                                                        : speaker->objectName());
        QTest::keyClick(at, Qt::Key_Tab);
        at = QApplication::focusWidget();
        if (at == first) break;
    }
    return unnamed;
}

// A label that shows a picture rather than text (a colour swatch, an icon) is named for it.
QStringList unnamedPictures(QWidget* window) {
    QStringList unnamed;
    for (QLabel* label : window->findChildren<QLabel*>())
        if (label->isVisible() && label->text().isEmpty() && accessibleText(label, QAccessible::Name).isEmpty())
            unnamed << label->objectName();
    return unnamed;
}

TEST(Accessibility, EveryTabStopOfTheDialogsIsNamed) {
    KeyRig rig;
    rig.form->action(Command::Preferences)->trigger();
    auto* prefs = rig.form->findChild<FormPreferences*>();
    ASSERT_NE(prefs, nullptr);
    EXPECT_EQ(unnamedTabStops(prefs), QStringList());
    EXPECT_EQ(unnamedPictures(prefs), QStringList());
    auto* swatch = prefs->findChild<QLabel*>(QStringLiteral("PictureColor"));
    EXPECT_TRUE(accessibleText(swatch, QAccessible::Description).startsWith(QStringLiteral("red "))) << accessibleText(swatch, QAccessible::Description).toStdString();
    prefs->close();

    PrinterList printers;
    printers.printers = {{"PDF", "pdf driver", "file"}, {"Laser", "laser driver", "usb"}};
    printers.defaultPrinter = "PDF";
    Pselect select(printers, rig.prompter, rig.form.get());
    EXPECT_EQ(unnamedTabStops(&select), QStringList());
    EXPECT_EQ(accessibleText(select.Lst_Devices(), QAccessible::Name), "Current Devices");
    select.close();

    FrmAbout about(rig.prompter, rig.form.get());
    EXPECT_EQ(unnamedTabStops(&about), QStringList());
    EXPECT_EQ(unnamedPictures(&about), QStringList());
    about.close();
}

// The focus shows on a default button reached with the keyboard: a ring in the highlight colour.
TEST(Keyboard, TheFocusIsVisibleOnTheDefaultButton) {
    FocusVisibleStyle style;
    QWidget window;
    window.setStyle(&style);
    auto* other = new QPushButton(QStringLiteral("Other"), &window);
    auto* go = new QPushButton(QStringLiteral("Make Montage"), &window);
    go->setStyle(&style);
    other->setStyle(&style);
    go->setDefault(true);
    go->setGeometry(10, 10, 150, 34);
    other->setGeometry(10, 60, 150, 34);
    window.resize(200, 120);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    other->setFocus(Qt::TabFocusReason);
    const QImage without = go->grab().toImage();
    window.setAttribute(Qt::WA_KeyboardFocusChange);
    go->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(go->hasFocus());
    const QImage with = go->grab().toImage();
    const QRgb ring = go->palette().color(QPalette::Highlight).rgb();
    EXPECT_EQ(with.pixel(2, with.height() / 2) & 0xFFFFFF, ring & 0xFFFFFF);
    EXPECT_NE(without.pixel(2, without.height() / 2) & 0xFFFFFF, ring & 0xFFFFFF);
}

// The Retouch Brush dialog from the keyboard: each label's Alt+letter moves to its box (the check
// box is also ticked or cleared), and no letter is taken twice, by a button either.
TEST(Keyboard, TheBrushDialogsAccessKeysReachEachControl) {
    QtDialogBackend backend(nullptr);
    DialogRequest r;
    r.kind = DialogKind::Brush;
    r.brush = BrushChoice{40, 50, 100, true};
    QStringList reached, keys;
    const auto watch = onNextActiveDialog([&](QDialog* d) {
        for (QLabel* label : d->findChildren<QLabel*>())
            if (!accessKey(label->text()).isNull()) keys << QString(accessKey(label->text()));
        for (QAbstractButton* button : d->findChildren<QAbstractButton*>())
            if (!accessKey(button->text()).isNull()) keys << QString(accessKey(button->text()));
        for (const char* name : {"spinRadius", "spinHardness", "spinOpacity", "checkMatch"}) {
            QWidget* control = d->findChild<QWidget*>(QString::fromLatin1(name));
            QChar key;
            for (QLabel* label : d->findChildren<QLabel*>())
                if (label->buddy() == control) key = accessKey(label->text());
            if (auto* box = qobject_cast<QAbstractButton*>(control)) key = accessKey(box->text());
            if (key.isNull()) continue;
            QTest::keyClick(d, key.toLatin1(), Qt::AltModifier);
            if (control->hasFocus()) reached << QString::fromLatin1(name);
        }
        // The check box's own key clicks it, as a user sees it pressed.
        auto* match = d->findChild<QCheckBox*>(QStringLiteral("checkMatch"));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !match->isChecked(); }, 1000));
        d->accept();
    });
    ASSERT_TRUE(backend.show(r, nullptr));
    EXPECT_EQ(reached, (QStringList{"spinRadius", "spinHardness", "spinOpacity", "checkMatch"}));
    EXPECT_FALSE(r.brush.match);
    QStringList distinct = keys;
    distinct.removeDuplicates();
    EXPECT_EQ(keys, distinct);
}

// The offset target's dialog from the keyboard: both boxes named for what they hold, the centre
// typed in, Enter for OK.
TEST(Keyboard, TheOffsetTargetDialogTakesATypedCentre) {
    QtDialogBackend backend(nullptr);
    DialogRequest r;
    r.kind = DialogKind::Target;
    r.target = TargetChoice{13, 13, 120, 90};
    QStringList names;
    const auto watch = onNextActiveDialog([&](QDialog* d) {
        names = unnamedTabStops(d);
        for (const char* name : {"spinTargetX", "spinTargetY"})
            names << accessibleText(d->findChild<QSpinBox*>(QString::fromLatin1(name)), QAccessible::Name);
        auto* x = d->findChild<QSpinBox*>(QStringLiteral("spinTargetX"));
        x->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("43"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("33"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        if (d->isVisible()) d->reject();
    });
    EXPECT_TRUE(backend.show(r, nullptr));
    EXPECT_EQ(r.target, (TargetChoice{43, 33, 120, 90}));
    ASSERT_EQ(names.size(), 2) << names.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(names[0].startsWith(QStringLiteral("Centre across"))) << names[0].toStdString();
    EXPECT_TRUE(names[1].startsWith(QStringLiteral("Centre down"))) << names[1].toStdString();
}

} // namespace
