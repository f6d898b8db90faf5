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
#include <QFontDatabase>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTimer>
#include <QScreen>
#include <QScrollArea>
#include <QSizeGrip>
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

FormMontagePicture::~FormMontagePicture() { emit goingAway(); }

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
    label_->hide();
    layout->addWidget(label_, 0, Qt::AlignLeft | Qt::AlignTop);
    view_ = new QPlainTextEdit(this);
    view_->setObjectName(QStringLiteral("textMap"));
    view_->setReadOnly(true);
    view_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFrameShape(QFrame::NoFrame);
    // The platform's fixed font; some platforms (offscreen) answer with a proportional one, so a
    // fixed pitch is asked for as well.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFixedPitch(true);
    fixed.setPointSizeF(9);
    view_->setFont(fixed);
    view_->setAccessibleName(QString::fromLatin1(kUsedCaption).trimmed());
    view_->setAccessibleDescription(
        QStringLiteral("One character per block of the montage, row by row: the number of the picture it was taken from"));
    layout->addWidget(view_, 1);
    setAccessibleName(QString::fromLatin1(kUsedCaption).trimmed());
}

void FormUsed::setMapText(const std::string& map) {
    map_ = map;
    label_->setText(QString::fromStdString(displayText(map)));
    showTextLater();
}

void FormUsed::showTextLater() {
    // While a montage grows the map changes after every block row: the view takes the text once
    // the events under way are done, at the pace the windows are repainted.
    if (textPending_) return;
    textPending_ = true;
    QTimer::singleShot(0, this, [this] {
        textPending_ = false;
        QString text = label_->text();
        if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
        if (view_->toPlainText() != text) view_->setPlainText(text);
    });
}

void FormUsed::setMapFontSize(double points) {
    QFont f = label_->font();
    if (points > 0) f.setPointSizeF(points);
    label_->setFont(f);
    QFont fixed = view_->font();
    if (points > 0) fixed.setPointSizeF(points);
    view_->setFont(fixed);
}

QSize FormUsed::frameExtra() const {
    const QMargins m = layout()->contentsMargins();
    const int doc = 2 * int(view_->document()->documentMargin()) + 2 * view_->frameWidth();
    return QSize(m.left() + m.right() + doc + 2, m.top() + m.bottom() + doc);
}

QSize FormUsed::roomOnScreen() const {
    const QSize room = screenRoomFrom(this);
    return QSize(std::max(100, room.width() - 16), std::max(60, room.height() - 48));
}

double FormUsed::mapFontSize() const { return label_->font().pointSizeF(); }

void FormUsed::sizeForGrid(int columns, int rows) {
    // Never larger than the screen: the view scrolls the rest.
    const QFontMetrics fm(view_->font());
    const QSize extra = frameExtra(), room = roomOnScreen();
    resize(std::min(room.width(), std::max(1, columns) * fm.horizontalAdvance(QLatin1Char('3')) + extra.width()),
           std::min(room.height(), std::max(1, rows) * fm.lineSpacing() + extra.height()));
}

void FormUsed::fitHeightToText() {
    const QFontMetrics fm(view_->font());
    const int lines = std::max(1, label_->lineCount());
    resize(width(), std::min(roomOnScreen().height(), lines * fm.lineSpacing() + frameExtra().height()));
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
    setWindowTitle(QStringLiteral("Properties"));
    setAccessibleName(QStringLiteral("Properties"));
    // The text scrolls when it is larger than the window, which the grip in its corner resizes.
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("scrollProperties"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(false);
    scroll_->setAccessibleName(QStringLiteral("Properties"));
    label_ = new QLabel;
    label_->setObjectName(QStringLiteral("LabelProperties"));
    label_->setAccessibleName(QStringLiteral("Properties"));
    label_->setTextInteractionFlags(Qt::TextSelectableByKeyboard);
    label_->setTextFormat(Qt::PlainText);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label_->setFont(QFont(QStringLiteral("Trebuchet MS"), 9));
    label_->setCursor(Qt::SizeAllCursor);
    label_->setToolTip(QStringLiteral("Drag me to move these properties"));
    label_->installEventFilter(this);
    scroll_->setWidget(label_);
    grip_ = new QSizeGrip(this);
    setAutoFillBackground(true);
}

void FormProperties::setText(const std::string& text) {
    text_ = text;
    label_->setText(QString::fromStdString(displayText(text)));
    fitToText();
}

namespace {
constexpr int kPropertiesMargin = 10;
}

void FormProperties::fitToText() {
    // The text's size, but never more than the screen holds.
    label_->adjustSize();
    const QSize room = screenRoomFrom(this) - QSize(8, 8);
    const QSize most(std::max(120, room.width()), std::max(80, room.height()));
    QSize want = label_->size() + QSize(2 * kPropertiesMargin, 2 * kPropertiesMargin);
    // A text taller than the screen scrolls up and down: the window widens by the scroll bar, so
    // that the bar does not cover the ends of the lines (and the other way round).
    const int bar = scroll_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, scroll_);
    if (want.height() > most.height()) want.rwidth() += bar;
    if (want.width() > most.width()) want.rheight() += bar;
    resize(std::min(want.width(), most.width()), std::min(want.height(), most.height()));
    layOut();
}

void FormProperties::layOut() {
    frame_->setGeometry(rect());
    scroll_->setGeometry(rect().adjusted(kPropertiesMargin, kPropertiesMargin, -kPropertiesMargin, -kPropertiesMargin));
    const QSize g = grip_->sizeHint();
    grip_->setGeometry(QRect(QPoint(width() - g.width(), height() - g.height()), g));
    grip_->raise();
}

void FormProperties::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    layOut();
}

void FormProperties::showBeside(QWidget* owner) {
    if (owner && parentWidget() != owner) setParent(owner, windowFlags());
    fitToText();
    if (owner) {
        // Left of the owner, else right of it, and always inside the screen's available area.
        const QScreen* s = owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
        const QRect avail = s ? s->availableGeometry() : QRect(0, 0, 1024, 768);
        const QRect o = owner->frameGeometry();
        int left = o.left() - width() - 4;
        if (left < avail.left()) left = o.right() + 4;
        left = std::max(avail.left(), std::min(left, avail.right() + 1 - width()));
        const int top = std::max(avail.top(), std::min(o.top(), avail.bottom() + 1 - height()));
        move(left, top);
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
