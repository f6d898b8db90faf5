// The picture window base.
#include "ui/picture_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace orv {

PictureWindow::PictureWindow(QWidget* mainWindow, const char* objectName, const char* pictureName,
                             std::span<const ActionSpec> menu)
    : QWidget(mainWindow, Qt::Window) {
    setObjectName(QString::fromLatin1(objectName));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The zoom strip sits right under the picture: the window is sized to the picture and the strip
    // alone, so a gap between them would cut the picture's last rows and bring in scroll bars.
    layout->setSpacing(0);
    scroll_ = new QScrollArea(this);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    picture_ = new PictureBox;
    picture_->setObjectName(QString::fromLatin1(pictureName));
    scroll_->setWidget(picture_);
    scroll_->setAccessibleName(QStringLiteral("Picture"));
    scroll_->horizontalScrollBar()->setAccessibleName(QStringLiteral("Horizontal scroll bar"));
    scroll_->horizontalScrollBar()->setAccessibleDescription(QStringLiteral("Scrolls the picture left and right"));
    scroll_->verticalScrollBar()->setAccessibleName(QStringLiteral("Vertical scroll bar"));
    scroll_->verticalScrollBar()->setAccessibleDescription(QStringLiteral("Scrolls the picture up and down"));
    scroll_->viewport()->installEventFilter(this);
    layout->addWidget(scroll_, 1);
    buildStatus(layout);
    connect(picture_, &PictureBox::zoomChanged, this,
            [this](double z) { zoomLabel_->setText(QStringLiteral("Zoom %1 %").arg(std::lround(z * 100))); });

    // The zoom keys work wherever the focus is in the window.
    auto addKeys = [this](const QList<QKeySequence>& keys, auto slot) {
        auto* a = new QAction(this);
        a->setShortcuts(keys);
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        connect(a, &QAction::triggered, this, slot);
    };
    for (const ZoomKey& k : zoomKeys()) addKeys(k.keys, [this, zoom = k.zoom] { (this->*zoom)(); });
    if (!menu.empty()) addKeys({QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}, [this] { popupMenu(); });

    if (menu.empty()) return;
    menu_ = new QMenu(QStringLiteral("Menu"), this);
    menu_->setObjectName(QStringLiteral("mnuMenu"));
    actions_ = buildMenu(menu_, menu);
    for (const ActionSpec& e : menu) {
        if (e.command == Command::None) continue;
        const Command c = e.command;
        connect(actions_[c], &QAction::triggered, this, [this, c] {
            if (c == Command::PictureClose) close();
            else if (!handleOwnCommand(c)) emit commandRequested(c);
        });
    }
    connect(picture_, &PictureBox::rightButtonReleased, this, [this](const QPoint& at) { menu_->popup(at); });
}

void PictureWindow::buildStatus(QLayout* layout) {
    status_ = new QWidget(this);
    status_->setObjectName(QStringLiteral("zoomStrip"));
    auto* row = new QHBoxLayout(status_);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(4);
    auto button = [this, row](const char* name, const QString& text, const QString& tip, auto slot) {
        auto* b = new QToolButton(status_);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAccessibleName(text);
        b->setAccessibleDescription(tip);
        b->setAutoRaise(true);
        row->addWidget(b);
        connect(b, &QToolButton::clicked, this, slot);
    };
    button("CommandZoomFit", QStringLiteral("Fit to Window"), QStringLiteral("Show the whole picture in the window (Ctrl+9)"),
           [this] { zoomToFit(); });
    button("CommandZoom100", QStringLiteral("100 %"), QStringLiteral("One picture pixel to one screen pixel (Ctrl+0)"),
           [this] { zoomToActualSize(); });
    zoomLabel_ = new QLabel(QStringLiteral("Zoom 100 %"), status_);
    zoomLabel_->setObjectName(QStringLiteral("labelZoom"));
    zoomLabel_->setAccessibleName(QStringLiteral("Zoom"));
    row->addWidget(zoomLabel_);
    row->addStretch(1);
    layout->addWidget(status_);
}

QList<PictureWindow::ZoomKey> PictureWindow::zoomKeys() {
    return {{{QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &PictureWindow::zoomIn},
            {{QKeySequence::ZoomOut}, &PictureWindow::zoomOut},
            {{QKeySequence(Qt::CTRL | Qt::Key_0)}, &PictureWindow::zoomToActualSize},
            {{QKeySequence(Qt::CTRL | Qt::Key_9)}, &PictureWindow::zoomToFit}};
}

QList<Qt::Key> PictureWindow::scrollKeys() {
    return {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
}

void PictureWindow::scrollWithKey(Qt::Key key) {
    QScrollBar* h = scroll_->horizontalScrollBar();
    QScrollBar* v = scroll_->verticalScrollBar();
    switch (key) {
    case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
    case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
    case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
    case Qt::Key_PageDown: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
    case Qt::Key_Home:
        h->triggerAction(QAbstractSlider::SliderToMinimum);
        v->triggerAction(QAbstractSlider::SliderToMinimum);
        break;
    case Qt::Key_End:
        h->triggerAction(QAbstractSlider::SliderToMaximum);
        v->triggerAction(QAbstractSlider::SliderToMaximum);
        break;
    default: break;
    }
}

int PictureWindow::statusHeight() const { return status_ ? status_->sizeHint().height() : 0; }

namespace {

// The zoom steps: each a quarter larger than the one before, through 100 %.
double nextZoom(double z, int direction) {
    const double step = 1.25;
    const double k = std::log(z) / std::log(step);
    const double n = direction > 0 ? std::floor(k + 1e-6) + 1 : std::ceil(k - 1e-6) - 1;
    return std::pow(step, n);
}

} // namespace

void PictureWindow::zoomIn() { setZoomAt(nextZoom(zoom(), 1), zoomAnchor()); }

void PictureWindow::zoomOut() { setZoomAt(nextZoom(zoom(), -1), zoomAnchor()); }

void PictureWindow::setZoom(double zoom) { setZoomAt(zoom, QRectF(scroll_->viewport()->rect()).center()); }

QPointF PictureWindow::zoomAnchor() const {
    const QWidget* viewport = scroll_->viewport();
    const QPoint mouse = viewport->mapFromGlobal(QCursor::pos());
    if (viewport->isVisible() && viewport->rect().contains(mouse)) return QPointF(mouse);
    return QRectF(viewport->rect()).center();
}

void PictureWindow::setZoomAt(double zoom, QPointF viewportPoint) {
    // The picture point under the anchor, before the box changes size.
    const QPointF pictureAt = picture_->toPicture(viewportPoint - QPointF(picture_->pos()));
    picture_->setZoom(zoom);
    // The scroll bars have taken the box's new size (a shown box is resized at once).
    QScrollBar* h = scroll_->horizontalScrollBar();
    QScrollBar* v = scroll_->verticalScrollBar();
    const QPointF boxAt = pictureAt * picture_->zoom();
    h->setValue(int(std::lround(boxAt.x() - viewportPoint.x())));
    v->setValue(int(std::lround(boxAt.y() - viewportPoint.y())));
}

void PictureWindow::zoomToFit() {
    const QSize picture = picture_->picture().size();
    if (picture.isEmpty()) return;
    const QSize room = scroll_->viewport()->size();
    setZoom(std::min(double(room.width()) / picture.width(), double(room.height()) / picture.height()));
}

void PictureWindow::popupMenu() {
    if (!menu_) return;
    // Over the visible part of the picture, near its top-left corner.
    const QPoint at = scroll_->viewport()->mapToGlobal(QPoint(8, 8));
    menu_->popup(at);
    menu_->setActiveAction(menu_->actions().value(0));
}

bool PictureWindow::eventFilter(QObject* watched, QEvent* e) {
    if (watched == scroll_->viewport() && e->type() == QEvent::Wheel) {
        auto* w = static_cast<QWheelEvent*>(e);
        if (w->modifiers() & Qt::ControlModifier) {
            const int dy = w->angleDelta().y();
            if (dy != 0) setZoomAt(nextZoom(zoom(), dy > 0 ? 1 : -1), w->position());
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

QAction* PictureWindow::menuAction(const QString& name) const {
    if (!menu_) return nullptr;
    for (QAction* a : menu_->actions())
        if (a->objectName() == name) return a;
    return nullptr;
}

void PictureWindow::fitToPicture(std::optional<int> top) {
    const QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
    QSize space = avail.size();
    if (top) space.setHeight(avail.bottom() + 1 - *top);
    const QSize room = space - QSize(16, 48 + statusHeight());
    QSize client = picture_->size();
    if (client.width() > room.width() || client.height() > room.height()) {
        const int bar = scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        client = QSize(std::min(client.width() + bar, std::max(100, room.width())),
                       std::min(client.height() + bar, std::max(100, room.height())));
    }
    resize(client + QSize(0, statusHeight()));
}

void PictureWindow::placeAt(int left, int top) {
    QSize client = picture_->size();
    // A picture larger than the screen keeps its full size inside the window, which scrolls.
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        const int maxW = std::max(100, avail.right() - left - 8);
        const int maxH = std::max(100, avail.bottom() - top - 40 - statusHeight());
        if (client.width() > maxW || client.height() > maxH) {
            const int bar = scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
            client = QSize(std::min(client.width() + bar, maxW), std::min(client.height() + bar, maxH));
        }
    }
    resize(client + QSize(0, statusHeight()));
    // Never placed beyond the screen's available area.
    if (const QScreen* s = QGuiApplication::primaryScreen()) {
        const QRect avail = s->availableGeometry();
        left = std::max(avail.left(), std::min(left, avail.right() - 100));
        top = std::max(avail.top(), std::min(top, avail.bottom() - 100));
    }
    // (left, top) is where the frame goes. A window that has not been on the screen has no frame
    // yet, and the window manager may take the place for its client area's and put the frame
    // round it, a title bar higher. Its client area goes inside the frame it will get, which the
    // window manager draws as it draws the main window's.
    const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    const QPoint inset = geometry().topLeft() - frameGeometry().topLeft();
    const QPoint mainInset = main && main->isVisible() ? main->geometry().topLeft() - main->frameGeometry().topLeft() : QPoint();
    if (inset.isNull() && !mainInset.isNull() && !testAttribute(Qt::WA_WState_Visible) &&
        !windowFlags().testFlag(Qt::FramelessWindowHint)) {
        setGeometry(QRect(QPoint(left, top) + mainInset, size()));
        return;
    }
    move(left, top);
}

bool PictureWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) emit focusHandOff();
    return QWidget::event(e);
}

void PictureWindow::closeEvent(QCloseEvent* e) {
    if (closeGuard_ && isVisible() && !closeGuard_()) {
        e->ignore();
        return;
    }
    e->accept();
    // Out of sight before the window lists are told, so they drop it.
    const QString caption = windowTitle();
    hide();
    emit closed(caption);
}

} // namespace orv
