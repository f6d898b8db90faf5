// The montage, dominant-image, preview and properties windows.
#include "ui/montage_windows.h"

#include "session/montage_rules.h"

#include <QAction>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>

namespace orv {

namespace {

QSize screenRoomFrom(const QWidget* w) {
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    return s ? s->availableGeometry().size() : QSize(1024, 768);
}

} // namespace

// --- FormMontagePicture -------------------------------------------------------------------------

FormMontagePicture::FormMontagePicture(QWidget* mainWindow)
    : PictureWindow(mainWindow, "FormMontagePicture", "PictureFile", montageWindowMenu()) {
    setWindowTitle(QString::fromLatin1(kMontageCaption));
    picture()->setToolTip(QString::fromLatin1(kMontageTooltip));
    picture()->setAccessibleName(QStringLiteral("Montage"));
    // Undo and Redo Retouch answer their keys while this window is in front.
    if (mnuMenu())
        for (QAction* a : mnuMenu()->actions())
            if (!a->shortcut().isEmpty()) addAction(a);
}

bool FormMontagePicture::handleOwnCommand(Command c) {
    // The tick is the command's to set: the entry reports the click and the handler decides.
    if (c == Command::PictureProperties) mnuProperties()->setChecked(!mnuProperties()->isChecked());
    if (c == Command::Retouch) action(c)->setChecked(!action(c)->isChecked());
    return false;
}

void FormMontagePicture::setBlankPicture(int w, int h) {
    picture()->setBlankPicture(w, h);
    fitToPicture();
}

// --- MapLabel -----------------------------------------------------------------------------------

MapLabel::MapLabel(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(QStringLiteral("Dominant image map"));
}

void MapLabel::setText(const QString& text) {
    if (text == text_) return;
    text_ = text;
    lines_ = text.split(QLatin1Char('\n'));
    if (!lines_.isEmpty() && lines_.back().isEmpty()) lines_.removeLast();
    // Lines repeat and move down a row at a time: keep their pictures, within reason.
    if (drawn_.size() > 4096) drawn_.clear();
    updateGeometry();
    update();
}

QSize MapLabel::sizeHint() const {
    const QFontMetrics fm(font());
    int longest = 0;
    for (const QString& l : lines_) longest = std::max(longest, int(l.size()));
    return QSize(longest * fm.horizontalAdvance(QLatin1Char('3')) + 2, int(lines_.size()) * fm.height());
}

void MapLabel::changeEvent(QEvent* e) {
    if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) {
        drawn_.clear();
        updateGeometry();
    }
    QWidget::changeEvent(e);
}

void MapLabel::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.fillRect(e->rect(), palette().window());
    const QFontMetrics fm(font());
    const int h = fm.height();
    const qreal dpr = devicePixelRatioF();
    const int first = std::max(0, e->rect().top() / std::max(1, h));
    for (int i = first; i < lines_.size() && i * h <= e->rect().bottom(); ++i) {
        auto it = drawn_.find(lines_[i]);
        if (it == drawn_.end()) {
            const QSize size(fm.horizontalAdvance(lines_[i]) + 2, h);
            QImage line(size * dpr, QImage::Format_ARGB32_Premultiplied);
            line.setDevicePixelRatio(dpr);
            line.fill(palette().color(QPalette::Window));
            QPainter q(&line);
            q.setFont(font());
            q.setPen(palette().color(QPalette::WindowText));
            q.drawText(QPoint(0, fm.ascent()), lines_[i]);
            q.end();
            it = drawn_.insert(lines_[i], line);
        }
        p.drawImage(QPoint(0, i * h), *it);
    }
}

// --- FormUsed -----------------------------------------------------------------------------------

FormUsed::FormUsed(QWidget* mainWindow) : QWidget(mainWindow, Qt::Window) {
    setObjectName(QStringLiteral("FormUsed"));
    setWindowTitle(QString::fromLatin1(kUsedCaption));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    label_ = new MapLabel(this);
    label_->setObjectName(QStringLiteral("LabelUsed"));
    QFont font(QStringLiteral("Times New Roman"));
    font.setPointSizeF(9);
    label_->setFont(font);
    layout->addWidget(label_, 0, Qt::AlignLeft | Qt::AlignTop);
}

void FormUsed::setMapText(const std::string& map) {
    map_ = map;
    label_->setText(QString::fromStdString(displayText(map)));
}

void FormUsed::setMapFontSize(double points) {
    QFont f = label_->font();
    if (points > 0) f.setPointSizeF(points);
    label_->setFont(f);
}

double FormUsed::mapFontSize() const { return label_->font().pointSizeF(); }

void FormUsed::sizeForGrid(int columns, int rows) {
    const QFontMetrics fm(label_->font());
    const QMargins m = layout()->contentsMargins();
    resize(std::max(1, columns) * fm.horizontalAdvance(QLatin1Char('3')) + m.left() + m.right() + 2,
           std::max(1, rows) * fm.height() + m.top() + m.bottom());
}

void FormUsed::fitHeightToText() {
    const QFontMetrics fm(label_->font());
    const QMargins m = layout()->contentsMargins();
    const int lines = std::max(1, label_->lineCount());
    resize(width(), lines * fm.height() + m.top() + m.bottom());
}

bool FormUsed::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) emit focusHandOff();
    return QWidget::event(e);
}

// --- FormPreview --------------------------------------------------------------------------------

FormPreview::FormPreview(QWidget* mainWindow) : PictureWindow(mainWindow, "FormPreview", "PicturePreview") {
    setWindowTitle(QString::fromLatin1(kPreviewCaption));
    picture()->setToolTip(QString::fromLatin1(kPreviewTooltip));
    picture()->setAccessibleName(QStringLiteral("Preview"));
    clearPreview();
}

void FormPreview::makeNew() {
    setWindowTitle(QString::fromLatin1(kPreviewCaption));
    clearPreview();
}

void FormPreview::clearPreview() {
    picture()->setBlankPicture(kPreviewWidth, kPreviewHeight);
    fitToPicture();
}

// --- FormProperties -----------------------------------------------------------------------------

FormProperties::FormProperties(std::optional<QPoint>& dragState, QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::FramelessWindowHint), dragState_(dragState) {
    setObjectName(QStringLiteral("FormProperties"));
    frame_ = new QFrame(this);
    frame_->setObjectName(QStringLiteral("ShapeProperties"));
    frame_->setFrameShape(QFrame::Box);
    frame_->setLineWidth(2);
    label_ = new QLabel(this);
    label_->setObjectName(QStringLiteral("LabelProperties"));
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setFont(QFont(QStringLiteral("Trebuchet MS"), 9));
    label_->setCursor(Qt::SizeAllCursor);
    label_->setToolTip(QStringLiteral("Drag me to move these properties"));
    label_->installEventFilter(this);
    setAutoFillBackground(true);
}

void FormProperties::setText(const std::string& text) {
    text_ = text;
    label_->setText(QString::fromStdString(displayText(text)));
    fitToText();
}

void FormProperties::fitToText() {
    label_->adjustSize();
    constexpr int margin = 10;
    label_->move(margin, margin);
    const QSize size = label_->size() + QSize(2 * margin, 2 * margin);
    frame_->setGeometry(QRect(QPoint(0, 0), size));
    resize(size);
}

void FormProperties::showBeside(QWidget* owner) {
    if (owner && parentWidget() != owner) setParent(owner, windowFlags());
    fitToText();
    if (owner) {
        const QRect o = owner->frameGeometry();
        int left = o.left() - width() - 4;
        if (left < 0) left = o.right() + 4;
        move(std::max(0, left), std::max(0, o.top()));
    }
    show();
    raise();
}

bool FormProperties::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate) {
        fitToText();
        emit focusHandOff();
    }
    return QWidget::event(e);
}

bool FormProperties::eventFilter(QObject* watched, QEvent* e) {
    if (watched == label_) {
        switch (e->type()) {
        case QEvent::MouseButtonPress: {
            auto* m = static_cast<QMouseEvent*>(e);
            pressed_ = m->globalPosition().toPoint();
            dragState_ = pressed_;
            return true;
        }
        case QEvent::MouseMove: {
            auto* m = static_cast<QMouseEvent*>(e);
            if (dragState_ && (m->buttons() & Qt::LeftButton)) {
                const QPoint now = m->globalPosition().toPoint();
                move(pos() + (now - pressed_));
                pressed_ = now;
            }
            return true;
        }
        case QEvent::MouseButtonRelease:
            dragState_.reset();
            return true;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, e);
}

} // namespace orv
