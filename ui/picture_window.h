// The base of every window that shows one picture whole (source, montage and preview windows): a
// picture box in a scroll area that scrolls when the picture is larger than the screen, an
// optional context menu built from an action table, and the focus handed back to the main window.
#pragma once

#include "ui/action_table.h"
#include "ui/picture_box.h"

#include <QWidget>

#include <span>

class QAction;
class QMenu;
class QScrollArea;

namespace orv {

class PictureWindow : public QWidget {
    Q_OBJECT
public:
    // `menu` empty: the window has no context menu.
    PictureWindow(QWidget* mainWindow, const char* objectName, const char* pictureName,
                  std::span<const ActionSpec> menu = {});

    PictureBox* picture() const { return picture_; }
    QMenu* mnuMenu() const { return menu_; }
    // A context-menu entry by its command, or by its object name (for tests and assistive tools).
    QAction* action(Command c) const { return actions_[c]; }
    QAction* menuAction(const QString& name) const;

    // The client area for the picture at full size, capped at the screen.
    void fitToPicture();
    // The same, for a window whose top-left corner goes to (left, top): capped at the room there.
    void placeAt(int left, int top);

signals:
    void focusHandOff(); // the main window should take the focus
    void closed(const QString& caption);
    // A context-menu entry other than "Close Window" was chosen.
    void commandRequested(orv::Command c);

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // A menu entry the window handles itself; false hands it on as commandRequested.
    virtual bool handleOwnCommand(Command) { return false; }

private:
    QScrollArea* scroll_;
    PictureBox* picture_;
    QMenu* menu_ = nullptr;
    ActionSet actions_;
};

} // namespace orv
