// The main window's keys beyond its menus' shortcuts: F10 and the menu keys, and the zoom, scroll
// and retouching keys it takes for the picture windows, which hand the keyboard to it.
#include "ui/form_montage.h"

#include "ui/beep.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenuBar>
#include <QShortcut>

namespace orv {

void FormMontage::addKeyboardEntries() {
    // F10 opens the menu bar at File; Shift+F10 and the Menu key open the menu of the picture
    // window in front (the montage window's Properties, Save Depth Map, ...; a source window's Save
    // As), so every command has a key.
    auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(f10, &QShortcut::activated, this, [this] {
        for (QAction* a : menuBar()->actions())
            if (a->isVisible() && a->isEnabled()) {
                menuBar()->setActiveAction(a);
                return;
            }
    });
    for (const QKeySequence& key : {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto* s = new QShortcut(key, this);
        connect(s, &QShortcut::activated, this, [this] {
            // The menu of the picture window in front, as the zoom keys pick it: a source window's
            // own entries (its Save As, Close Window) have no other key.
            PictureWindow* w = windows_->keyboardPictureWindow();
            if (w && w->mnuMenu()) w->popupMenu();
            else beep();
        });
    }
}

void FormMontage::addScrollKeys() {
    // The picture window in front scrolls by the arrows, Page Up, Page Down, Home and End, which the
    // main window takes as it takes the zoom keys. A text box keeps the keys it moves its cursor
    // with (Left, Right, Home, End); with Alt held every one of them scrolls from anywhere.
    for (const Qt::Key key : PictureWindow::scrollKeys()) {
        auto* a = new QAction(this);
        a->setObjectName(QStringLiteral("scrollKey"));
        a->setShortcuts({QKeySequence(key), QKeySequence(Qt::ALT | key)});
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, key] {
            if (PictureWindow* w = windows_->keyboardPictureWindow()) {
                w->scrollWithKey(key);
                return;
            }
            // No picture to scroll: the arrows move between the buttons as they did.
            if (qobject_cast<QAbstractButton*>(focusWidget()) &&
                (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_Left || key == Qt::Key_Right))
                focusNextPrevChild(key == Qt::Key_Down || key == Qt::Key_Right);
        });
    }
}

void FormMontage::addRetouchKeys() {
    // Ctrl+Z and Ctrl+Y undo and redo retouching strokes from anywhere in this window: the montage
    // windows hand the keyboard to it. They act on the montage being retouched, else on the montage
    // window in front. The text boxes keep them for their own typing; while retouching, only as long
    // as they have typing to undo or redo (see eventFilter).
    const std::pair<int, Command> keys[] = {{int(Qt::CTRL) | Qt::Key_Z, Command::UndoRetouch},
                                            {int(Qt::CTRL) | Qt::Key_Y, Command::RedoRetouch}};
    QList<QAction*> actions;
    for (const auto& [key, command] : keys) {
        auto* a = new QAction(this);
        actions << a;
        a->setObjectName(QStringLiteral("retouchKey"));
        a->setShortcut(QKeySequence(key));
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, c = command] {
            FormMontagePicture* w = retouch_->active() ? retouch_->window() : nullptr;
            if (!w) w = windows_->keyboardMontageWindow();
            // No montage: nothing to undo or redo, and nothing happens.
            if (w) runMontageCommand(c, w);
        });
    }
    // The preview window keeps the keyboard when it is in front: the keys work there too.
    windows_->setPreviewKeys(actions);
}

void FormMontage::addZoomKeys() {
    // The source and montage windows hand the keyboard back to this window, so their zoom keys are
    // taken here and zoom the picture window in front.
    for (const PictureWindow::ZoomKey& k : PictureWindow::zoomKeys()) {
        auto* a = new QAction(this);
        a->setObjectName(QStringLiteral("zoomKey"));
        a->setShortcuts(k.keys);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, [this, zoom = k.zoom] {
            if (PictureWindow* w = windows_->keyboardPictureWindow()) (w->*zoom)();
            else beep();
        });
    }
}

} // namespace orv
