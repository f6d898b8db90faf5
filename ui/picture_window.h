// The base of every window that shows one picture whole (source, montage and preview windows): a
// picture box in a scroll area that scrolls when the picture is larger than the window, a status
// strip with the zoom (Fit to Window, 100 %, Ctrl+wheel, Ctrl+plus and Ctrl+minus), an optional
// context menu built from an action table (also opened by Shift+F10 and the Menu key), and the
// focus handed back to the main window.
#pragma once

#include "ui/action_table.h"
#include "ui/picture_box.h"

#include <QKeySequence>
#include <QList>
#include <QWidget>

#include <functional>
#include <optional>
#include <span>

class QAction;
class QLabel;
class QMenu;
class QScrollArea;
class QToolButton;

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

    // The zoom: the picture box's, shown in the status strip ("Zoom 50 %").
    double zoom() const { return picture_->zoom(); }
    // The point of the picture at the middle of the window stays there.
    void setZoom(double zoom);
    // The point of the picture under `viewportPoint` (in the scroll area's viewport) stays under it.
    void setZoomAt(double zoom, QPointF viewportPoint);
    // By one step, about the mouse when it is over the picture's area, else about the middle.
    void zoomIn();
    void zoomOut();
    void zoomToActualSize() { setZoom(1); }
    // The largest zoom at which the whole picture shows in the window as it is now.
    void zoomToFit();
    QLabel* zoomStatus() const { return zoomLabel_; }
    // The zoom keys (in, out, 100 %, fit) with what each does. A window that hands the keyboard to
    // the main window gets them from there (see WindowManager::keyboardPictureWindow).
    struct ZoomKey {
        QList<QKeySequence> keys;
        void (PictureWindow::*zoom)();
    };
    static QList<ZoomKey> zoomKeys();
    QScrollArea* scrollArea() const { return scroll_; }
    // The scroll keys: the arrows by a step, Page Up and Page Down by a page, Home and End to the
    // top-left and bottom-right corners. The main window takes them for the picture window in front.
    static QList<Qt::Key> scrollKeys();
    void scrollWithKey(Qt::Key key);
    // Opens the context menu over the picture, as the right mouse button or the keyboard does.
    void popupMenu();
    // Asked before the user closes the shown window (its frame, "Close Window"); false keeps it
    // open. Unset, or for a window the program unloads itself, the window just closes.
    void setCloseGuard(std::function<bool()> guard) { closeGuard_ = std::move(guard); }

    // The client area for the picture at full size, capped at the screen; with `top`, at the room
    // between that outer top edge and the screen's bottom.
    void fitToPicture(std::optional<int> top = std::nullopt);
    // The same, for a window whose top-left corner goes to (left, top): capped at the room there.
    void placeAt(int left, int top);

signals:
    void focusHandOff(); // the main window should take the focus
    void closed(const QString& caption);
    // A context-menu entry other than "Close Window" was chosen.
    void commandRequested(orv::Command c);

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    // A menu entry the window handles itself; false hands it on as commandRequested.
    virtual bool handleOwnCommand(Command) { return false; }

private:
    void buildStatus(QLayout* layout);
    int statusHeight() const;
    QPointF zoomAnchor() const; // the mouse over the viewport, else the viewport's middle

    QScrollArea* scroll_;
    PictureBox* picture_;
    QWidget* status_ = nullptr;
    QLabel* zoomLabel_ = nullptr;
    QMenu* menu_ = nullptr;
    ActionSet actions_;
    std::function<bool()> closeGuard_;
};

} // namespace orv
