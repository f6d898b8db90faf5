// The montage window's retouching: "Retouch from Source Pictures" turns the mode on for a montage
// window; then the left button paints from the current source picture, chosen by a click in a
// source window, by the keys 1-9 or by S (the picture the montage took under the pointer); [ and ]
// change the radius; X held shows the source under the brush; Ctrl+Z and Ctrl+Y undo and redo.
// From the keyboard alone, Shift+arrows move the brush (with Ctrl by a larger step) and Space held
// paints along the moves, one stroke from press to release. The
// brush is kept in the preferences and set in "Retouch Brush...". The strokes go to the session,
// which keeps them in the montage's record; the window repaints only what a stroke changed.
#pragma once

#include "retouch/retouch.h"
#include "ui/command_context.h"

#include <QObject>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <optional>

class QMouseEvent;
class QKeyEvent;

namespace orv {

class FormMontagePicture;
class RetouchOverlay;

// "  -  retouching from picture 3" after the montage window's caption.
inline constexpr const char* kRetouchCaptionMark = "  -  retouching from picture ";
// The question before Make Montage throws strokes away.
std::string loseStrokesText(int strokes);
inline constexpr const char* kLoseStrokesTitle = "Retouched montage";
// Said when Undo Retouch meets strokes folded together to keep the undo memory within bounds.
std::string foldedStrokesText(int strokes);
inline constexpr const char* kUndoRetouchTitle = "Undo Retouch";
// The question before strokes painted into comparison montages, not saved since, are thrown away
// (`going`: "Make a new montage", "Go on").
std::string loseComparisonStrokesText(int strokes, const std::string& going);
// The strokes painted into the comparison montages whose windows are still open, not kept since
// (saved, copied, printed or handed to the editor): work that a new series, a new montage or
// quitting throws away with those windows.
int unkeptComparisonStrokes(const MontageSession& session, const WindowManager& windows);

// Ctrl+Z or Ctrl+Y, the keys that undo and redo strokes.
bool isUndoRedoKey(const QKeyEvent& k);
// A text box (one that takes typing) keeps the keys typed into it: the retouching keys act only
// where the keyboard is not in one. Ctrl+Z and Ctrl+Y it keeps while it has typing of its own to
// undo or redo: only then do they go on to the strokes.
bool textBoxKeepsKey(const QObject* target, const QKeyEvent& k);

class RetouchCommands : public QObject {
    Q_OBJECT
public:
    // `busy` tells whether a command runs (no stroke starts then).
    RetouchCommands(const CommandContext& c, std::function<bool()> busy);
    ~RetouchCommands() override;

    // "Retouch from Source Pictures" ticked or unticked in `window`.
    void setMode(FormMontagePicture* window, bool on);
    // Retouching a montage on screen: a montage window a Load or its frame hid takes no strokes,
    // and Undo and Redo from the main window leave its montage alone.
    bool active() const;
    FormMontagePicture* window() const { return window_; }
    // "Retouch Brush...": the dialog, and the preferences when a brush was chosen.
    void chooseBrush();
    // "Undo Retouch", "Redo Retouch", "Remove All Retouching" on `window`'s montage.
    void undo(FormMontagePicture* window);
    void redo(FormMontagePicture* window);
    void clear(FormMontagePicture* window);

    // Undo Retouch, Redo Retouch and Remove All Retouching enabled in each montage window only
    // when its montage has a stroke to undo, to redo or to remove.
    void refreshEntries();

    // Before Make Montage: true to go on (no strokes, or the user agreed to lose them).
    bool confirmNewMontage();
    // After a command that may have replaced the montage: the caption again.
    void montageReplaced();
    // Before a command runs: a stroke being painted is ended and kept, and the drag paints no more.
    void endStrokeUnderway();

    int source() const { return source_; }
    void setSource(int picture);
    const retouch::Brush& brush() const { return brush_; }
    bool showingSource() const { return showSource_; }

protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    MontageChoice which() const;
    // Undo, Redo and Remove All on `window`'s montage: a stroke being painted ends first, a
    // failure is said as `entry`'s error, and the entries follow what is left to do.
    void changeStrokes(FormMontagePicture* window, const char* entry,
                       const std::function<void(const MontageChoice&)>& change);
    bool mouse(QMouseEvent* e);
    bool key(QKeyEvent* e, bool press);
    // Shift+arrows and Space: the brush moved and a stroke painted from the keyboard.
    bool brushKey(QKeyEvent* e, bool press);
    void moveBrushByKey(int key, bool largeStep);
    // A stroke that failed part way: said, and the window shows the montage as it is.
    void strokeFailed();
    bool pointerOverMontage() const;
    std::optional<QPoint> pointerPixel() const;
    // The brush to the picture pixel under the pointer, after the picture moved beneath it.
    void followPointer();
    // Shows the record's pixels of `r` (montage pixels, top-down) and repaints only them.
    void repaint(const retouch::Rect& r);
    void repaint(const MontageChoice& on, const retouch::Rect& r);
    void repaintWhole(const MontageChoice& on);
    void showCaption();
    void setRadius(int radius);
    void saveBrush();

    CommandContext c_;
    std::function<bool()> busy_;
    QPointer<FormMontagePicture> window_;
    QMetaObject::Connection going_; // window_ going away
    QPointer<RetouchOverlay> overlay_;
    retouch::Brush brush_;
    int source_ = 1;
    bool painting_ = false;
    bool showSource_ = false;
    std::optional<QPoint> lastPixel_; // the brush over the montage, in montage pixels
    bool keyboardBrush_ = false;      // the brush was last moved by keys: the pointer leaves it be
    bool keyStroke_ = false;          // the stroke underway is Space's
};

} // namespace orv
