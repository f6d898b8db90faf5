// The secondary windows of the desktop program: the 30 reusable source-window slots, the montage,
// dominant-image, preview and properties windows and the comparison copies. It creates them on
// first use, places them (the source cascade, the montage window at the right edge), hides or
// unloads an earlier series' windows and keeps the captions for the "Window" menus.
#pragma once

#include "session/montage_record.h"
#include "ui/action_table.h"
#include "ui/form_picture.h"
#include "ui/montage_windows.h"
#include "ui/screen_layout.h"
#include "ui/window_list.h"

#include <QObject>
#include <QList>
#include <QPointer>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QAction;

namespace orv {

inline constexpr const char* kMontageCaptionPrefix = "Montage in focus image from ";

class WindowManager : public QObject {
    Q_OBJECT
public:
    // `mainWindow` owns every window; `dragState` is the program's shared drag state; `layout`
    // gives the twips per pixel the offset targets are sized with.
    WindowManager(QWidget* mainWindow, std::optional<QPoint>& dragState, const LayoutRecord& layout);

    // Source window k (1 to 30), created on first use and reused by slot.
    FormPicture* sourceWindow(int k);
    FormPicture* existingSourceWindow(int k) const { return pictures_[std::size_t(k)]; }
    // The slot of a source window by its caption, 0 when none carries it.
    int sourceSlotOf(const QString& caption) const;

    // The montage windows, created on first use and reused; comparison windows only when made.
    FormMontagePicture* montageWindow();
    FormUsed* usedWindow();
    FormPreview* previewWindow();
    FormProperties* propertiesWindow();
    FormMontagePicture* comparisonWindow(int k) const;
    // The main montage window when it has been made, else none (montageWindow() would make it).
    FormMontagePicture* madeMontageWindow() const;
    FormUsed* comparisonUsedWindow(int k) const;
    bool previewShown() const { return preview_ && preview_->isVisible(); }
    bool hasPreview() const { return preview_; }

    // The map window of montage `comparison` (none: the main montage).
    FormUsed* mapWindowOf(std::optional<int> comparison);
    FormMontagePicture* montageWindowOf(std::optional<int> comparison);
    // Asked before the user closes a montage window; false keeps it open.
    void setMontageCloseGuard(std::function<bool(FormMontagePicture*)> guard) { montageCloseGuard_ = std::move(guard); }

    // The montage window sized for W x H at the screen's right edge with its top at `top`, and
    // the dominant-image window below it; the latter shown only when `showMap`.
    void placeMontageWindows(float W, float H, int increment, int top, int sizingFrame, bool showMap);
    // Source windows 1 to `count` cascaded below the file box, shown and raised; slots after
    // `count` emptied.
    void cascadeSourceWindows(int count, int fileBoxBottom, const LayoutRecord& layout);
    // Source window k sized to its picture and put at its place in the cascade.
    void placeSourceWindow(int k, int fileBoxBottom, const LayoutRecord& layout);
    void unloadSourceWindowsFrom(int first);

    // The offset targets: their colour in every source window that exists and in those made
    // later; shown or hidden in all 30 slots (showing creates the windows that do not exist).
    void setTargetColor(std::uint32_t colour);
    std::uint32_t targetColor() const { return targetColor_; }
    void setTargetsShown(bool shown);
    bool targetsShown() const { return targetsShown_; }
    // The centre of every slot's offset target as Make Montage reads it (picture pixels, y from the
    // top); a slot without a window has its target where a new window would put it.
    OffsetTable targetCentres() const;
    // The number and target centre of every visible source window, in slot order.
    std::vector<std::pair<int, ImageOffset>> visibleTargetCentres() const;

    // Comparison window `k` made (or reused) to show `picture` and `map` under `caption`, beside
    // the main montage window.
    void keepComparison(int k, const std::string& caption, QImage picture, const std::string& map);

    // Unloads the comparison windows (and the preview window when asked) of an earlier run; a
    // window that cannot go is left and the next one is tried.
    void dropEarlierSeriesWindows(bool unloadPreview);
    // The preview window unloaded: hidden, out of the window lists, made new when next wanted.
    void unloadPreview();
    // Hides source windows `first` to 30, in the same way.
    void hideSourceWindowsFrom(int first);
    // Hides the montage, map and properties windows (the Load command).
    void hideMontageWindows();
    // Hides every window as the program quits.
    void hideAll();

    // Hides the properties view and unticks "Properties" in every montage window.
    void closePropertiesView();
    // Shows `text` in the properties view beside `window`, ticking its entry.
    void showProperties(FormMontagePicture* window, const std::string& text);
    // Puts `text` in the properties view when `window`'s view is the one shown.
    void updateProperties(FormMontagePicture* window, const std::string& text);

    // The captions for the "Window" menus: the visible source windows, and the visible montage
    // windows followed by the preview entry.
    std::vector<std::string> sourceCaptions();
    std::vector<std::string> montageCaptions() const;
    // Brings the window with this caption to the front (source windows or montage windows).
    void bringSourceToFront(const QString& caption);
    void bringMontageToFront(const QString& caption);
    const WindowMenuList& sourceList() const { return sourceList_; }
    // The picture window the main window's zoom keys act on (the source and montage windows hand
    // the keyboard back to it): the one last brought to the front, by a click or the "Window"
    // menu, while it is on screen; else the montage window when it is shown; else none.
    PictureWindow* keyboardPictureWindow() const;
    // The montage window the main window's Undo and Redo Retouch keys act on: that picture window
    // when it is a montage window, else the montage window when it is shown; else none.
    FormMontagePicture* keyboardMontageWindow() const;
    // Keys of the main window that also answer while the preview window, which keeps the keyboard,
    // is in front (Undo and Redo Retouch).
    void setPreviewKeys(QList<QAction*> keys) { previewKeys_ = std::move(keys); }

signals:
    // A window's context-menu entry was chosen.
    void sourceCommand(orv::Command c, orv::FormPicture* window);
    void montageCommand(orv::Command c, orv::FormMontagePicture* window);
    // The set of visible windows changed: the "Window" menus need rebuilding.
    void windowsChanged();
    // A source window closed: only the source list changes.
    void sourceListChanged();
    // A secondary window was activated: the main window takes the focus back.
    void focusHandOff();
    // The user dragged the target of a source window.
    void targetMoved();

private:
    void connectMontageWindow(FormMontagePicture* w);
    FormMontagePicture* makeComparisonWindow(int k);
    static void unloadWindow(QPointer<QWidget>& w);
    // The height the window manager's frame adds to window `w`, title bar included.
    int frameHeight(const QWidget* w, int sizingFrame) const;

    QWidget* main_;
    std::optional<QPoint>& dragState_;
    const LayoutRecord& layout_;
    std::uint32_t targetColor_ = 0;
    bool targetsShown_ = false;
    std::array<FormPicture*, 31> pictures_{}; // slot 0 unused; owned as child windows
    WindowMenuList sourceList_{kSourceWindowEntries};
    QPointer<QWidget> montage_, used_, properties_, preview_;
    // The preview window last unloaded, kept out of sight to be made new again when a preview is
    // next wanted: building a window costs more than a montage of a small series.
    QPointer<FormPreview> sparePreview_;
    std::array<QPointer<QWidget>, kComparisonMontages> comparison_;
    std::array<QPointer<QWidget>, kComparisonMontages> comparisonUsed_;
    std::function<bool(FormMontagePicture*)> montageCloseGuard_;
    QList<QAction*> previewKeys_;
    QPointer<PictureWindow> front_; // the picture window last brought to the front
};

} // namespace orv
