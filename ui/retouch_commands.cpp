// The retouching controller, its mouse and keys, and the brush outline drawn over the montage.
#include "ui/retouch_commands.h"

#include "base/runtime_error.h"
#include "settings/preferences.h"
#include "ui/beep.h"
#include "ui/form_picture.h"
#include "ui/montage_windows.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

namespace orv {

namespace {

retouch::Brush brushOf(const RetouchBrushPreferences& p) { return retouch::Brush{p.radius, p.hardness, p.opacity, p.match}; }

// A modal window, an open menu or popup, or a menu bar in its keyboard mode (Alt let go of, or
// F10, and a menu closed by Esc since) holds the keyboard: Space, the digits and the arrows are
// its own then, wherever the pointer rests.
bool keyboardHeldElsewhere() {
    return QApplication::activeModalWidget() || QApplication::activePopupWidget() ||
           qobject_cast<const QMenuBar*>(QApplication::focusWidget());
}

QString baseCaption(const QString& caption) {
    const int at = caption.indexOf(QString::fromLatin1(kRetouchCaptionMark));
    return at < 0 ? caption : caption.left(at);
}

} // namespace

std::string loseStrokesText(int strokes) {
    return "The montage has " + std::to_string(strokes) + " retouch strokes. Make a new montage and lose them?";
}

std::string foldedStrokesText(int strokes) {
    return "The montage's " + std::to_string(strokes) +
           " remaining retouch strokes were joined together to keep the memory Undo uses within bounds: "
           "they cannot be undone one at a time. Remove All Retouching takes them all off.";
}

int unkeptComparisonStrokes(const MontageSession& session, const WindowManager& windows) {
    int n = 0;
    for (int k = 0; k < kComparisonMontages; ++k) {
        const MontageRecord& r = session.record(MontageChoice{k});
        // A window the user closed is gone from every list and cannot be saved from any more.
        if (const FormMontagePicture* w = windows.comparisonWindow(k); w && w->isVisible() && !r.empty() && r.unsaved)
            n += r.retouch.count();
    }
    return n;
}

std::string loseComparisonStrokesText(int strokes, const std::string& going) {
    return "The comparison montages have " + std::to_string(strokes) + " retouch strokes that have not been saved. " +
           going + " and lose them?";
}

// The brush outline over the montage and, while X is held, the source picture inside it. It
// covers the picture box and lets the mouse through to it.
class RetouchOverlay : public QWidget {
public:
    RetouchOverlay(PictureBox* box, RetouchCommands& owner, MontageSession& session, MontageChoice which)
        : QWidget(box), box_(box), owner_(owner), session_(session), which_(which) {
        setObjectName(QStringLiteral("retouchOverlay"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        setGeometry(box->rect());
        show();
    }
    void moveBrushTo(std::optional<QPoint> at) {
        const QRect before = brushBox();
        at_ = at;
        setGeometry(box_->rect());
        update(before.united(brushBox()));
    }
    // The brush's square in box coordinates, with a pixel to spare for the outline's pen.
    QRect brushBox() const {
        if (!at_) return {};
        const int r = owner_.brush().radius;
        return box_->toBox(QRect(at_->x() - r, at_->y() - r, 2 * r + 1, 2 * r + 1)).adjusted(-2, -2, 2, 2);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        if (!at_) return;
        QPainter p(this);
        const int r = owner_.brush().radius;
        // Exactly where the brush's pixels show at the zoom: a square rounded out to whole box
        // pixels would stretch the source shown inside it off the montage pixels it stands for.
        const QRectF square = box_->toBox(QRectF(at_->x() - r, at_->y() - r, 2 * r + 1, 2 * r + 1));
        if (owner_.showingSource()) {
            try {
                const retouch::SourcePlacement src = session_.sourcePlacement(which_, owner_.source());
                QImage inside(2 * r + 1, 2 * r + 1, QImage::Format_ARGB32);
                inside.fill(Qt::transparent);
                for (int y = 0; y < inside.height(); ++y)
                    for (int x = 0; x < inside.width(); ++x) {
                        if ((x - r) * (x - r) + (y - r) * (y - r) > r * r) continue;
                        if (const std::uint8_t* c = src.at(at_->x() - r + x, at_->y() - r + y))
                            inside.setPixel(x, y, qRgb(c[2], c[1], c[0]));
                    }
                p.drawImage(square, inside);
            } catch (const RuntimeError&) {
                // No source to show: the outline alone.
            }
        }
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1));
        p.drawEllipse(square);
        p.setPen(QPen(Qt::black, 1, Qt::DotLine));
        p.drawEllipse(square);
    }

private:
    PictureBox* box_;
    RetouchCommands& owner_;
    MontageSession& session_;
    MontageChoice which_;
    std::optional<QPoint> at_;
};

RetouchCommands::RetouchCommands(const CommandContext& c, std::function<bool()> busy)
    : c_(c), busy_(std::move(busy)), brush_(brushOf(readRetouchBrush(c.state.preferences))) {}

RetouchCommands::~RetouchCommands() {
    if (window_) qApp->removeEventFilter(this);
}

bool RetouchCommands::active() const { return window_ && window_->isVisible(); }

MontageChoice RetouchCommands::which() const { return MontageChoice{window_ ? window_->comparison() : std::nullopt}; }

void RetouchCommands::setMode(FormMontagePicture* window, bool on) {
    if (window_ && (!on || window != window_)) {
        // Off, or on in another montage window: the one painted in so far lets go.
        endStrokeUnderway();
        showSource_ = false;
        lastPixel_.reset();
        keyboardBrush_ = false;
        if (QAction* a = window_->action(Command::Retouch)) a->setChecked(false);
        delete overlay_;
        window_->setWindowTitle(baseCaption(window_->windowTitle()));
        window_->PictureFile()->unsetCursor();
        disconnect(going_);
        window_ = nullptr;
        qApp->removeEventFilter(this);
        c_.view.refreshWindowMenus();
    }
    if (!on || !window) return;
    window_ = window;
    // A window that goes while retouched lets go first: the filter would otherwise see its
    // widgets' events while they are taken apart.
    going_ = connect(window, &FormMontagePicture::goingAway, this, [this] { setMode(nullptr, false); });
    if (QAction* a = window->action(Command::Retouch)) a->setChecked(true);
    PictureBox* box = window->PictureFile();
    box->setMouseTracking(true);
    box->setCursor(Qt::CrossCursor);
    overlay_ = new RetouchOverlay(box, *this, c_.session, which());
    qApp->installEventFilter(this);
    if (source_ > c_.session.pictureCount()) source_ = 1;
    showCaption();
}

void RetouchCommands::showCaption() {
    if (!window_) return;
    window_->setWindowTitle(baseCaption(window_->windowTitle()) + QString::fromLatin1(kRetouchCaptionMark) +
                            QString::number(source_));
    c_.view.refreshWindowMenus();
}

void RetouchCommands::setSource(int picture) {
    if (picture < 1 || picture > c_.session.pictureCount()) {
        beep();
        return;
    }
    source_ = picture;
    showCaption();
    if (overlay_ && showSource_) overlay_->update();
}

void RetouchCommands::saveBrush() {
    writeRetouchBrush(c_.state.preferences,
                      RetouchBrushPreferences{brush_.radius, brush_.hardness, brush_.opacity, brush_.match});
}

void RetouchCommands::setRadius(int radius) {
    brush_.radius = std::clamp(radius, 1, retouch::kMaxRadius);
    saveBrush();
    if (overlay_) overlay_->moveBrushTo(lastPixel_);
}

void RetouchCommands::chooseBrush() {
    CommonDialog& d = c_.dialog;
    d.Brush = BrushChoice{brush_.radius, brush_.hardness, brush_.opacity, brush_.match};
    if (!d.ShowBrush()) return;
    brush_ = retouch::Brush{d.Brush.radius, d.Brush.hardness, d.Brush.opacity, d.Brush.match};
    saveBrush();
    if (overlay_) overlay_->moveBrushTo(lastPixel_);
}

void RetouchCommands::repaint(const retouch::Rect& r) { repaint(which(), r); }

void RetouchCommands::repaintWhole(const MontageChoice& on) {
    const MemorySurface& picture = c_.session.record(on).picture;
    repaint(on, retouch::Rect{0, 0, picture.pictureWidth(), picture.pictureHeight()});
}

void RetouchCommands::repaint(const MontageChoice& on, const retouch::Rect& r) {
    FormMontagePicture* w = c_.windows.montageWindowOf(on.comparison);
    if (!w || r.empty()) return;
    const MemorySurface& picture = c_.session.record(on).picture;
    const int h = picture.pictureHeight();
    PictureBox* box = w->PictureFile();
    // The cells are rows from the bottom; the box repaints the picture rectangle where it shows it.
    box->drawCells(picture.rounded().data(), picture.roundedWidth(), roundUp4(h), r.x0, h - r.y1, r.x1 - 1,
                   h - 1 - r.y0);
    box->update(box->toBox(QRect(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0)));
}

void RetouchCommands::refreshEntries() {
    const auto refresh = [this](FormMontagePicture* w) {
        if (!w) return;
        const MontageChoice on{w->comparison()};
        const MontageRecord& record = c_.session.record(on);
        // A stroke being painted is ended and kept by Undo: it counts as one to undo.
        const bool painting = c_.session.strokeUnderway() && window_ == w;
        const bool painted = !record.empty() && (record.retouch.count() > 0 || painting);
        if (QAction* a = w->action(Command::UndoRetouch)) a->setEnabled(painted);
        if (QAction* a = w->action(Command::ClearRetouch)) a->setEnabled(painted);
        if (QAction* a = w->action(Command::RedoRetouch))
            a->setEnabled(!record.empty() && !painting && !record.retouch.undone.empty());
    };
    refresh(c_.windows.madeMontageWindow());
    for (int k = 0; k < kComparisonMontages; ++k) refresh(c_.windows.comparisonWindow(k));
}

void RetouchCommands::changeStrokes(FormMontagePicture* window, const char* entry,
                                    const std::function<void(const MontageChoice&)>& change) {
    const MontageChoice on{window ? window->comparison() : std::nullopt};
    try {
        painting_ = false;
        change(on);
    } catch (...) {
        c_.reportError(entry);
    }
    refreshEntries();
}

void RetouchCommands::undo(FormMontagePicture* window) {
    changeStrokes(window, "mnuUndoRetouch", [this](const MontageChoice& on) {
        if (const auto r = c_.session.undoStroke(on)) {
            repaint(on, *r);
        } else if (const RetouchHistory& h = c_.session.record(on).retouch; h.count() > 0) {
            // Strokes are on the montage and none comes off: a beep alone would leave the user
            // pressing Undo without knowing why.
            c_.prompter.ask(PromptIcon::Information, foldedStrokesText(h.count()), kUndoRetouchTitle);
        }
        // Nothing to undo: the key does nothing, quietly, as Undo does in any editor.
    });
}

void RetouchCommands::redo(FormMontagePicture* window) {
    changeStrokes(window, "mnuRedoRetouch", [this](const MontageChoice& on) {
        // Nothing to redo: nothing happens, quietly.
        if (const auto r = c_.session.redoStroke(on)) repaint(on, *r);
    });
}

void RetouchCommands::clear(FormMontagePicture* window) {
    changeStrokes(window, "mnuClearRetouch", [this](const MontageChoice& on) {
        if (c_.session.strokeCount(on) == 0) return;
        c_.session.clearStrokes(on);
        repaintWhole(on);
    });
}

bool RetouchCommands::confirmNewMontage() {
    const int n = c_.session.strokeCount(MontageChoice{});
    if (n > 0 && c_.prompter.ask(PromptIcon::Question, loseStrokesText(n), kLoseStrokesTitle, PromptButtons::YesNo) !=
                     PromptAnswer::Yes)
        return false;
    // A new montage unloads the comparison windows too.
    const int inComparisons = unkeptComparisonStrokes(c_.session, c_.windows);
    return inComparisons == 0 ||
           c_.prompter.ask(PromptIcon::Question, loseComparisonStrokesText(inComparisons, "Make a new montage"),
                           kLoseStrokesTitle, PromptButtons::YesNo) == PromptAnswer::Yes;
}

void RetouchCommands::endStrokeUnderway() {
    painting_ = false;
    keyStroke_ = false;
    if (!c_.session.strokeUnderway()) return;
    try {
        repaint(c_.session.endStroke());
    } catch (...) {
        repaintWhole(which());
        c_.reportError("mnuRetouch");
    }
    refreshEntries();
}

void RetouchCommands::montageReplaced() {
    endStrokeUnderway();
    if (source_ > c_.session.pictureCount()) source_ = 1;
    showCaption();
    refreshEntries();
}

bool RetouchCommands::pointerOverMontage() const {
    if (!window_ || !window_->isVisible()) return false;
    PictureBox* box = window_->PictureFile();
    return box->rect().contains(box->mapFromGlobal(QCursor::pos()));
}

std::optional<QPoint> RetouchCommands::pointerPixel() const {
    if (lastPixel_) return lastPixel_;
    if (!pointerOverMontage()) return std::nullopt;
    PictureBox* box = window_->PictureFile();
    const QPointF p = box->toPicture(QPointF(box->mapFromGlobal(QCursor::pos())));
    return QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
}

void RetouchCommands::followPointer() {
    // A brush the keys placed stays on its picture pixel.
    if (!keyboardBrush_) {
        lastPixel_.reset();
        lastPixel_ = pointerPixel();
    }
    if (overlay_) overlay_->moveBrushTo(lastPixel_);
}

bool RetouchCommands::eventFilter(QObject* watched, QEvent* e) {
    if (!window_) return false;
    switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::MouseButtonRelease:
        if (watched == window_->PictureFile()) return mouse(static_cast<QMouseEvent*>(e));
        if (e->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
            if (auto* box = qobject_cast<PictureBox*>(watched))
                if (auto* source = qobject_cast<FormPicture*>(box->window())) setSource(source->slot());
        return false; // a source window still takes its own click (its target)
    case QEvent::Move:
    case QEvent::Resize:
        // Scrolling and zooming move the picture under a pointer that stays still: the brush (its
        // outline, and the pixel S picks by) goes to the picture pixel now under the pointer.
        if (watched == window_->PictureFile()) followPointer();
        return false;
    case QEvent::Leave:
        if (watched == window_->PictureFile() && !keyboardBrush_) {
            lastPixel_.reset();
            if (overlay_) overlay_->moveBrushTo(std::nullopt);
        }
        return false;
    case QEvent::ApplicationDeactivate:
        // Space let go of in another program: its stroke ends here.
        if (keyStroke_) endStrokeUnderway();
        return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        auto* k = static_cast<QKeyEvent*>(e);
        // Letting go of Space ends its stroke, wherever the keyboard has gone meanwhile.
        if (keyStroke_ && k->key() == Qt::Key_Space && e->type() == QEvent::KeyRelease && !k->isAutoRepeat()) {
            endStrokeUnderway();
            return true;
        }
        // The key goes to the focus widget: it is seen here first on its way through the window
        // (not a widget), and again at each parent it passes on to.
        auto* w = qobject_cast<QWidget*>(watched);
        QObject* to = watched;
        QWidget* focus = QApplication::focusWidget();
        if (focus && (!w || w->isAncestorOf(focus))) to = focus;
        // Typing into a text box goes to the box, wherever the pointer rests.
        if (textBoxKeepsKey(to, *k)) return false;
        // Keys count while the pointer is over the montage or the montage window has them, or the
        // main window, which the montage windows hand the keyboard to; a dialog, an open menu or
        // the menu bar that Alt or F10 gave the keyboard to keeps its own.
        const auto* target = qobject_cast<const QWidget*>(to);
        const QWidget* keys = target ? target->window() : nullptr;
        const bool ours = !keyboardHeldElsewhere() &&
                          ((keys && (keys == window_ || keys == c_.mainWindow)) || pointerOverMontage());
        return ours && key(k, e->type() == QEvent::KeyPress);
    }
    default: return false;
    }
}

bool RetouchCommands::mouse(QMouseEvent* e) {
    // While Space paints, the mouse neither moves the brush nor starts a stroke.
    if (keyStroke_) return e->button() == Qt::LeftButton;
    PictureBox* box = window_->PictureFile();
    const QPointF at = box->toPicture(e->position());
    const QPoint pixel(int(std::floor(at.x())), int(std::floor(at.y())));
    lastPixel_ = pixel;
    keyboardBrush_ = false;
    if (overlay_) overlay_->moveBrushTo(pixel);
    try {
        if (e->type() == QEvent::MouseButtonPress && e->button() == Qt::LeftButton) {
            if (busy_ && busy_()) {
                beep();
                return true;
            }
            c_.session.beginStroke(which(), source_, brush_);
            painting_ = true;
            refreshEntries();
            repaint(c_.session.strokeTo(pixel.x(), pixel.y()));
            return true;
        }
        if (e->type() == QEvent::MouseMove && painting_ && (e->buttons() & Qt::LeftButton)) {
            repaint(c_.session.strokeTo(pixel.x(), pixel.y()));
            return true;
        }
        if (e->type() == QEvent::MouseButtonRelease && e->button() == Qt::LeftButton && painting_) {
            painting_ = false;
            repaint(c_.session.endStroke());
            refreshEntries();
            return true;
        }
    } catch (...) {
        strokeFailed();
        return true;
    }
    return false; // the right button's context menu, and plain moves, go on to the box
}

void RetouchCommands::strokeFailed() {
    painting_ = false;
    keyStroke_ = false;
    // A stroke that failed part way was taken off whole: the window shows the montage as it is.
    if (!c_.session.strokeUnderway()) repaintWhole(which());
    c_.reportError("mnuRetouch");
    endStrokeUnderway();
}

bool isUndoRedoKey(const QKeyEvent& k) {
    const Qt::KeyboardModifiers mods = k.modifiers() & ~Qt::KeypadModifier;
    return mods == Qt::ControlModifier && (k.key() == Qt::Key_Z || k.key() == Qt::Key_Y);
}

namespace {

bool takesTyping(const QObject* target) {
    if (const auto* b = qobject_cast<const QLineEdit*>(target)) return !b->isReadOnly();
    if (const auto* b = qobject_cast<const QAbstractSpinBox*>(target)) return !b->isReadOnly();
    if (const auto* b = qobject_cast<const QPlainTextEdit*>(target)) return !b->isReadOnly();
    if (const auto* b = qobject_cast<const QTextEdit*>(target)) return !b->isReadOnly();
    return false;
}

} // namespace

bool textBoxKeepsKey(const QObject* target, const QKeyEvent& k) {
    if (!takesTyping(target)) return false;
    if (!isUndoRedoKey(k)) return true;
    const auto* box = qobject_cast<const QLineEdit*>(target);
    if (!box) return false; // the strokes' undo and redo
    if (k.matches(QKeySequence::Undo)) return box->isUndoAvailable();
    if (k.matches(QKeySequence::Redo)) return box->isRedoAvailable();
    return false; // not a key the box undoes or redoes by
}

bool RetouchCommands::key(QKeyEvent* e, bool press) {
    if (brushKey(e, press)) return true;
    const int k = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    if (k == Qt::Key_X && mods == Qt::NoModifier) {
        if (e->isAutoRepeat()) return true;
        showSource_ = press;
        if (overlay_) overlay_->update();
        return true;
    }
    if (!press) return false;
    if (isUndoRedoKey(*e)) {
        if (busy_ && busy_()) beep();
        else if (k == Qt::Key_Z) undo(window_);
        else redo(window_);
        return true;
    }
    if (mods != Qt::NoModifier && mods != Qt::ShiftModifier) return false;
    if (k >= Qt::Key_1 && k <= Qt::Key_9) {
        setSource(k - Qt::Key_0);
        return true;
    }
    if (k == Qt::Key_S) {
        const std::optional<QPoint> at = pointerPixel();
        const int n = at ? c_.session.sharpestPictureAt(which(), at->x(), at->y()) : 0;
        if (n > 0) setSource(n);
        else beep();
        return true;
    }
    if (k == Qt::Key_BracketLeft || k == Qt::Key_BracketRight) {
        const int step = std::max(1, brush_.radius / 10);
        setRadius(brush_.radius + (k == Qt::Key_BracketRight ? step : -step));
        return true;
    }
    return false;
}

bool RetouchCommands::brushKey(QKeyEvent* e, bool press) {
    const int k = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const Qt::KeyboardModifiers shiftCtrl = Qt::ShiftModifier | Qt::ControlModifier;
    if (k == Qt::Key_Space && (mods == Qt::NoModifier || mods == Qt::ShiftModifier || mods == shiftCtrl)) {
        // Taken whole, so that it never presses a button; held down it repeats, which changes nothing.
        if (!press || e->isAutoRepeat() || painting_) return true;
        const std::optional<QPoint> at = pointerPixel();
        if (!at || (busy_ && busy_())) {
            beep(); // no brush over the montage to paint with, or a command runs
            return true;
        }
        try {
            c_.session.beginStroke(which(), source_, brush_);
            painting_ = keyStroke_ = true;
            refreshEntries();
            repaint(c_.session.strokeTo(at->x(), at->y()));
        } catch (...) {
            strokeFailed();
        }
        return true;
    }
    const bool arrow = k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Up || k == Qt::Key_Down;
    if (!arrow || (mods != Qt::ShiftModifier && mods != shiftCtrl)) return false;
    if (press) moveBrushByKey(k, mods == shiftCtrl);
    return true;
}

void RetouchCommands::moveBrushByKey(int key, bool largeStep) {
    PictureBox* box = window_->PictureFile();
    const QSize size = box->picture().size();
    if (size.isEmpty()) return;
    QScrollArea* scroll = window_->scrollArea();
    QPoint at;
    if (const std::optional<QPoint> brush = pointerPixel()) {
        // A quarter of the radius, as far apart as a stroke lays its dabs; with Ctrl the brush's width.
        const int step = largeStep ? 2 * brush_.radius + 1 : std::max(1, brush_.radius / 4);
        const QPoint by = key == Qt::Key_Left ? QPoint(-step, 0) : key == Qt::Key_Right ? QPoint(step, 0)
                          : key == Qt::Key_Up ? QPoint(0, -step) : QPoint(0, step);
        at = *brush + by;
    } else {
        // No brush on the montage yet: it shows at the middle of what the window shows of it.
        const QRect shown = QRect(box->mapFrom(scroll->viewport(), QPoint(0, 0)), scroll->viewport()->size()) & box->rect();
        const QPointF p = box->toPicture(QRectF(shown).center());
        at = QPoint(int(std::floor(p.x())), int(std::floor(p.y())));
    }
    at = QPoint(std::clamp(at.x(), 0, size.width() - 1), std::clamp(at.y(), 0, size.height() - 1));
    lastPixel_ = at;
    keyboardBrush_ = true;
    if (overlay_) overlay_->moveBrushTo(at);
    // The window scrolls to keep the brush in sight.
    const QPoint shown = box->toBox(QRect(at, QSize(1, 1))).center();
    const int margin = std::min(int(brush_.radius * box->zoom()) + 2, scroll->viewport()->width() / 3);
    scroll->ensureVisible(shown.x(), shown.y(), margin, std::min(margin, scroll->viewport()->height() / 3));
    if (!keyStroke_) return;
    try {
        repaint(c_.session.strokeTo(at.x(), at.y()));
    } catch (...) {
        strokeFailed();
    }
}

} // namespace orv
