// The picture box: property checks, its scale (the unit arithmetic is in scale_units), the two
// drawing layers and the graphics methods. The translation of Qt's input events into the box's
// events is in picture_box_events.cpp.
#include "picture_box.h"

#include "control_error.h"

#include <QCursor>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <algorithm>
#include <climits>
#include <cmath>

namespace vantler {
namespace {

// `value` when it lies within [low, high]; otherwise error 380 (Invalid property value).
std::int16_t inRange(std::int16_t value, int low, int high) {
    if (value < low || value > high) throw VantlerError(errInvalidPropertyValue);
    return value;
}

// Changes one part of a widget's font.
template <class Change>
void changeFont(QWidget& widget, Change change) {
    QFont f = widget.font();
    change(f);
    widget.setFont(f);
}

Qt::PenStyle penStyleOf(int drawStyle, int drawWidth) {
    if (drawStyle == 5) return Qt::NoPen;
    if (drawWidth > 1) return Qt::SolidLine;  // dashes exist only for one-pixel lines
    switch (drawStyle) {
    case 1: return Qt::DashLine;
    case 2: return Qt::DotLine;
    case 3: return Qt::DashDotLine;
    case 4: return Qt::DashDotDotLine;
    default: return Qt::SolidLine;
    }
}

Qt::BrushStyle brushStyleOf(int fillStyle) {
    switch (fillStyle) {
    case 0: return Qt::SolidPattern;
    case 2: return Qt::HorPattern;
    case 3: return Qt::VerPattern;
    case 4: return Qt::BDiagPattern;
    case 5: return Qt::FDiagPattern;
    case 6: return Qt::CrossPattern;
    case 7: return Qt::DiagCrossPattern;
    default: return Qt::NoBrush;
    }
}

// The most pixels a part of a picture cut or stretched for PaintPicture may have (1 GiB at four
// bytes a pixel): a larger one is refused as out of memory, never left undrawn without a word.
constexpr double kLargestPartPixels = double(1 << 28);

// A position or length in whole pixels; one beyond 32 bits is an overflow.
int wholePixels(double value) {
    const double r = std::nearbyint(value);
    if (!std::isfinite(r) || r < -double(INT_MAX) || r > double(INT_MAX)) throw VantlerError(errOverflow);
    return int(r);
}

void requireDrawable(int width, int height) {
    if (double(std::abs(width)) * double(std::abs(height)) > kLargestPartPixels) throw VantlerError(errOutOfMemory);
}

QImage scaledPart(const QImage& picture, const QRect& source, int width, int height) {
    QImage part = picture.copy(source).convertToFormat(QImage::Format_RGB32);
    if (part.isNull() || width == 0 || height == 0) return {};
    QImage out = part.scaled(std::abs(width), std::abs(height), Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return out.mirrored(width < 0, height < 0);
}

}  // namespace

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("picVantler"));
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    applyFrame();
    dc_ = gdi::createSurfaceDC([this] { return &target(); }, [this] { drawn(); });
    resize(101, 117);  // a 97 x 113 pixel drawing area: 1455 x 1695 twips at 96 dpi
    syncSize();
}

PictureBox::~PictureBox() { gdi::deleteDC(dc_); }

// ---- colours and properties ----

QColor PictureBox::colorOf(quint32 color) const {
    if (color & 0x80000000u) {
        const quint32 index = color & 0x7FFFFFFFu;
        static const struct { QPalette::ColorGroup group; QPalette::ColorRole role; } roles[] = {
            {QPalette::Active, QPalette::Button},          // 0 scroll bars
            {QPalette::Active, QPalette::Window},          // 1 desktop
            {QPalette::Active, QPalette::Highlight},       // 2 active title bar
            {QPalette::Inactive, QPalette::Highlight},     // 3 inactive title bar
            {QPalette::Active, QPalette::Window},          // 4 menu bar
            {QPalette::Active, QPalette::Base},            // 5 window background
            {QPalette::Active, QPalette::Shadow},          // 6 window frame
            {QPalette::Active, QPalette::WindowText},      // 7 menu text
            {QPalette::Active, QPalette::Text},            // 8 window text
            {QPalette::Active, QPalette::HighlightedText}, // 9 title bar text
            {QPalette::Active, QPalette::Window},           // 10 active border
            {QPalette::Inactive, QPalette::Window},         // 11 inactive border
            {QPalette::Active, QPalette::Mid},              // 12 application workspace
            {QPalette::Active, QPalette::Highlight},        // 13 highlight
            {QPalette::Active, QPalette::HighlightedText},  // 14 highlight text
            {QPalette::Active, QPalette::Button},           // 15 button face
            {QPalette::Active, QPalette::Dark},             // 16 button shadow
            {QPalette::Disabled, QPalette::Text},           // 17 grey text
            {QPalette::Active, QPalette::ButtonText},       // 18 button text
            {QPalette::Inactive, QPalette::Text},           // 19 inactive title bar text
            {QPalette::Active, QPalette::Light},            // 20 button highlight
            {QPalette::Active, QPalette::Shadow},           // 21 3D dark shadow
            {QPalette::Active, QPalette::Midlight},         // 22 3D light
            {QPalette::Active, QPalette::ToolTipText},      // 23 tooltip text
            {QPalette::Active, QPalette::ToolTipBase},      // 24 tooltip background
        };
        if (index >= std::size(roles)) throw VantlerError(errInvalidPropertyValue);
        return palette().color(roles[index].group, roles[index].role);
    }
    if (color & 0xFF000000u) throw VantlerError(errInvalidPropertyValue);
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

void PictureBox::setBackColor(quint32 color) {
    colorOf(color);
    backColor_ = color;
    clearAll();  // a new background clears the drawing
}

void PictureBox::setForeColor(quint32 color) {
    colorOf(color);
    foreColor_ = color;
}

void PictureBox::setFillColor(quint32 color) {
    colorOf(color);
    fillColor_ = color;
}

void PictureBox::setDrawStyle(std::int16_t style) {
    drawStyle_ = inRange(style, 0, 6);
}

void PictureBox::setDrawMode(std::int16_t mode) {
    drawMode_ = inRange(mode, 1, 16);
}

void PictureBox::setDrawWidth(std::int16_t width) {
    drawWidth_ = inRange(width, 1, 32767);
}

void PictureBox::setFillStyle(std::int16_t style) {
    fillStyle_ = inRange(style, 0, 7);
}

void PictureBox::setAutoRedraw(bool on) {
    if (autoRedraw_ && !on) screen_ = image_;
    autoRedraw_ = on;
    update();
}

void PictureBox::setAppearance(std::int16_t appearance) {
    appearance_ = inRange(appearance, 0, 1);
    applyFrame();
    syncSize();
    fitToPicture();  // another border is another width round the same picture
}

void PictureBox::setBorderStyle(std::int16_t style) {
    borderStyle_ = inRange(style, 0, 1);
    applyFrame();
    syncSize();
    fitToPicture();
}

void PictureBox::setAutoSize(bool on) {
    autoSize_ = on;
    fitToPicture();
}

void PictureBox::fitToPicture() {
    if (!autoSize_ || picture_.isNull()) return;
    const int frame = 2 * frameWidth();
    resize(picture_.width() + frame, picture_.height() + frame);
    syncSize();
}

void PictureBox::setAlign(std::int16_t align) {
    align_ = inRange(align, 0, 4);
}

void PictureBox::setFontBold(bool on) {
    changeFont(*this, [&](QFont& f) { f.setBold(on); });
}

void PictureBox::setFontItalic(bool on) {
    changeFont(*this, [&](QFont& f) { f.setItalic(on); });
}

void PictureBox::setFontStrikethru(bool on) {
    changeFont(*this, [&](QFont& f) { f.setStrikeOut(on); });
}

void PictureBox::setFontUnderline(bool on) {
    changeFont(*this, [&](QFont& f) { f.setUnderline(on); });
}

void PictureBox::setFontName(const QString& name) {
    changeFont(*this, [&](QFont& f) { f.setFamily(name); });
}

void PictureBox::setFontSize(float points) {
    if (!(points > 0.0f) || points > 2160.0f) throw VantlerError(errInvalidPropertyValue);
    changeFont(*this, [&](QFont& f) { f.setPointSizeF(points); });
}

void PictureBox::setLinkMode(std::int16_t mode) {
    linkMode_ = inRange(mode, 0, 3);
}

void PictureBox::setMouseIcon(const QImage& icon) {
    mouseIcon_ = icon;
    applyCursor();
}

void PictureBox::setMousePointer(std::int16_t pointer) {
    mousePointer_ = pointer == 99 ? pointer : inRange(pointer, 0, 15); // 99: the MouseIcon
    applyCursor();
}

void PictureBox::setOLEDragMode(std::int16_t mode) {
    oleDragMode_ = inRange(mode, 0, 1);
}

void PictureBox::setOLEDropMode(std::int16_t mode) {
    oleDropMode_ = inRange(mode, 0, 2);
    setAcceptDrops(mode != 0);
}

void PictureBox::setPicture(const QImage& picture) {
    picture_ = picture;
    // The box counts a picture's pixels one to one. A picture made for a high-density screen (a
    // widget's grab at twice the density) would otherwise be drawn at its size in screen points,
    // filling only a quarter of a box sized to its pixels.
    picture_.setDevicePixelRatio(1.0);
    clearAll();
    fitToPicture();
    emit Change();
}

void PictureBox::setScaleHeight(float height) {
    if (height == 0.0f) throw VantlerError(errInvalidPropertyValue);
    scaleHeight_ = height;
    scaleMode_ = vbUser;
}

void PictureBox::setScaleWidth(float width) {
    if (width == 0.0f) throw VantlerError(errInvalidPropertyValue);
    scaleWidth_ = width;
    scaleMode_ = vbUser;
}

void PictureBox::setScaleLeft(float left) {
    scaleLeft_ = left;
    scaleMode_ = vbUser;
}

void PictureBox::setScaleTop(float top) {
    scaleTop_ = top;
    scaleMode_ = vbUser;
}

void PictureBox::setScaleMode(std::int16_t mode) {
    scaleMode_ = inRange(mode, vbUser, vbCentimeters);
    if (mode != vbUser) resetScale();
}

// ---- scale ----

int PictureBox::twipsPerPixelX() const { return twipsPerPixel(logicalDpiX()); }
int PictureBox::twipsPerPixelY() const { return twipsPerPixel(logicalDpiY()); }

ScaleAxis PictureBox::axis(bool horizontal) const {
    return {horizontal, horizontal ? twipsPerPixelX() : twipsPerPixelY(),
            horizontal ? contentsRect().width() : contentsRect().height(), horizontal ? scaleWidth_ : scaleHeight_};
}

void PictureBox::resetScale() {
    scaleLeft_ = 0;
    scaleTop_ = 0;
    scaleWidth_ = float(contentsRect().width() * unitsPerPixel(scaleMode_, true));
    scaleHeight_ = float(contentsRect().height() * unitsPerPixel(scaleMode_, false));
}

void PictureBox::Scale() { setScaleMode(vbTwips); }

void PictureBox::Scale(float x1, float y1, float x2, float y2) {
    if (x2 == x1 || y2 == y1) throw VantlerError(errInvalidProcedureCall);
    scaleLeft_ = x1;
    scaleTop_ = y1;
    scaleWidth_ = x2 - x1;
    scaleHeight_ = y2 - y1;
    scaleMode_ = vbUser;
}

float PictureBox::ScaleX(float width, int fromScale, std::optional<int> toScale) const {
    return convertLength(width, fromScale, toScale.value_or(scaleMode_), axis(true));
}

float PictureBox::ScaleY(float height, int fromScale, std::optional<int> toScale) const {
    return convertLength(height, fromScale, toScale.value_or(scaleMode_), axis(false));
}

float PictureBox::TextHeight(const QString& text) const {
    const QFontMetricsF metrics(font());
    const qsizetype lines = std::max<qsizetype>(1, text.split(QLatin1Char('\n')).size());
    return float(lines * metrics.height() * unitsPerPixel(scaleMode_, false));
}

float PictureBox::TextWidth(const QString& text) const {
    const QFontMetricsF metrics(font());
    double widest = 0;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return float(widest * unitsPerPixel(scaleMode_, true));
}

// ---- layers ----

QImage PictureBox::makeBase(QSize size) const {
    QImage base(size.expandedTo(QSize(0, 0)), QImage::Format_RGB32);
    if (base.isNull()) return base;
    base.fill(colorOf(backColor_));
    if (!picture_.isNull()) {
        QPainter p(&base);
        p.drawImage(0, 0, picture_);
    }
    return base;
}

void PictureBox::clearAll() {
    image_ = makeBase(contentsRect().size());
    screen_ = image_;
    drawn();
}

void PictureBox::drawn() {
    if (!inPaint_) update();
}

void PictureBox::syncSize() {
    const QSize client = contentsRect().size().expandedTo(QSize(0, 0));
    if (image_.size() != client) {
        auto grown = [&](const QImage& old) {
            QImage next = makeBase(client);
            if (!old.isNull() && !next.isNull()) {
                QPainter p(&next);
                p.drawImage(0, 0, old);
            }
            return next;
        };
        image_ = grown(image_);
        screen_ = grown(screen_);
    }
    if (scaleMode_ != vbUser) resetScale();
    if (size() != lastSize_) {
        lastSize_ = size();
        paintDue_ = true;
        emit Resize();
    }
}

void PictureBox::applyFrame() {
    if (borderStyle_ == 0) {
        setFrameStyle(QFrame::NoFrame);
    } else if (appearance_ == 1) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    } else {
        setFrameStyle(QFrame::Box | QFrame::Plain);
        setLineWidth(1);
    }
}

void PictureBox::applyCursor() {
    static const Qt::CursorShape shapes[] = {
        Qt::ArrowCursor, Qt::ArrowCursor, Qt::CrossCursor, Qt::IBeamCursor, Qt::ArrowCursor, Qt::SizeAllCursor,
        Qt::SizeBDiagCursor, Qt::SizeVerCursor, Qt::SizeFDiagCursor, Qt::SizeHorCursor, Qt::UpArrowCursor,
        Qt::WaitCursor, Qt::ForbiddenCursor, Qt::BusyCursor, Qt::WhatsThisCursor, Qt::SizeAllCursor,
    };
    if (mousePointer_ == 0) {
        unsetCursor();
    } else if (mousePointer_ == 99) {
        if (mouseIcon_.isNull())
            unsetCursor();
        else
            setCursor(QCursor(QPixmap::fromImage(mouseIcon_)));
    } else {
        setCursor(shapes[mousePointer_]);
    }
}

void PictureBox::drawMasked(const std::function<void(QPainter&)>& shape, const QColor& color) {
    QImage& surface = target();
    if (surface.isNull() || drawMode_ == 11) return;  // 11: the pen does nothing
    QImage mask(surface.size(), QImage::Format_ARGB32_Premultiplied);
    mask.fill(Qt::transparent);
    {
        QPainter p(&mask);
        p.setRenderHint(QPainter::Antialiasing, false);
        shape(p);
    }
    const std::uint8_t pen[3] = {std::uint8_t(color.blue()), std::uint8_t(color.green()), std::uint8_t(color.red())};
    for (int y = 0; y < surface.height(); ++y) {
        const QRgb* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
        QRgb* d = reinterpret_cast<QRgb*>(surface.scanLine(y));
        for (int x = 0; x < surface.width(); ++x) {
            if (qAlpha(m[x]) == 0) continue;
            const std::uint8_t b = gdi::applyPenMode(drawMode_, pen[0], std::uint8_t(qBlue(d[x])));
            const std::uint8_t g = gdi::applyPenMode(drawMode_, pen[1], std::uint8_t(qGreen(d[x])));
            const std::uint8_t r = gdi::applyPenMode(drawMode_, pen[2], std::uint8_t(qRed(d[x])));
            d[x] = qRgb(r, g, b);
        }
    }
    drawn();
}

// ---- methods ----

void PictureBox::Cls() {
    if (autoRedraw_)
        image_ = makeBase(contentsRect().size());
    screen_ = image_;
    currentX_ = 0;
    currentY_ = 0;
    drawn();
}

void PictureBox::Refresh() {
    if (!autoRedraw_) screen_ = image_;  // the screen is rebuilt; the host redraws on Paint
    paintDue_ = true;
    if (isVisible())
        repaint();
    else
        update();
}

void PictureBox::PaintPicture(const QImage& picture, float x1, float y1, std::optional<float> width1,
                              std::optional<float> height1, std::optional<float> x2, std::optional<float> y2,
                              std::optional<float> width2, std::optional<float> height2,
                              std::optional<std::uint32_t> opcode) {
    if (picture.isNull()) throw VantlerError(errInvalidPicture);
    const std::uint32_t rop = opcode.value_or(gdi::SRCCOPY);
    if (!gdi::ropSupported(rop)) throw VantlerError(errInvalidProcedureCall);
    const double ux = unitsPerPixel(scaleMode_, true);
    const double uy = unitsPerPixel(scaleMode_, false);
    // Source sizes and offsets are lengths in the box's units; the picture counts pixels.
    const int sx = wholePixels(x2.value_or(0) / ux);
    const int sy = wholePixels(y2.value_or(0) / uy);
    const int sw = width2 ? wholePixels(*width2 / ux) : checkedSub(picture.width(), sx);
    const int sh = height2 ? wholePixels(*height2 / uy) : checkedSub(picture.height(), sy);
    const int dw = width1 ? wholePixels(*width1 / ux) : std::abs(sw);
    const int dh = height1 ? wholePixels(*height1 / uy) : std::abs(sh);
    int left = wholePixels(toPixelX(x1));
    int top = wholePixels(toPixelY(y1));
    if (dw < 0) left = checkedAdd(left, dw);
    if (dh < 0) top = checkedAdd(top, dh);
    // The part is made whole before it is drawn: one too large to hold is refused before anything
    // is made or drawn.
    requireDrawable(sw, sh);
    requireDrawable(dw, dh);
    QRect source = QRect(sx, sy, std::abs(sw), std::abs(sh));
    if (sw < 0) source.moveLeft(checkedAdd(sx, sw));
    if (sh < 0) source.moveTop(checkedAdd(sy, sh));
    // A negative width on one side only mirrors the picture.
    const QImage part = scaledPart(picture, source, (sw < 0) != (dw < 0) ? -std::abs(dw) : std::abs(dw),
                                   (sh < 0) != (dh < 0) ? -std::abs(dh) : std::abs(dh));
    if (part.isNull()) {
        if (sw != 0 && sh != 0 && dw != 0 && dh != 0) throw VantlerError(errOutOfMemory);
        return;
    }
    checkedAdd(left, part.width());
    checkedAdd(top, part.height());
    QImage& surface = target();
    const QRect area = QRect(left, top, part.width(), part.height()).intersected(surface.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(part.constScanLine(y - top));
        QRgb* d = reinterpret_cast<QRgb*>(surface.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb sv = s[x - left];
            if (rop == gdi::SRCCOPY) {
                d[x] = sv | 0xFF000000u;
                continue;
            }
            d[x] = qRgb(gdi::applyRop(rop, std::uint8_t(qRed(sv)), std::uint8_t(qRed(d[x]))),
                        gdi::applyRop(rop, std::uint8_t(qGreen(sv)), std::uint8_t(qGreen(d[x]))),
                        gdi::applyRop(rop, std::uint8_t(qBlue(sv)), std::uint8_t(qBlue(d[x]))));
        }
    }
    drawn();
}

void PictureBox::Line(int flags, float x1, float y1, float x2, float y2, std::optional<quint32> color) {
    if (flags & LineStepStart) {
        x1 += currentX_;
        y1 += currentY_;
    }
    if (flags & LineStepEnd) {
        x2 += x1;
        y2 += y1;
    }
    const QColor lineColor = colorOf(color.value_or(foreColor_));
    const QPointF a(toPixelX(x1), toPixelY(y1));
    const QPointF b(toPixelX(x2), toPixelY(y2));
    QPen pen(Qt::white, drawWidth_, penStyleOf(drawStyle_, drawWidth_), Qt::RoundCap, Qt::MiterJoin);
    if (drawWidth_ == 1) pen.setCosmetic(true);
    if (flags & LineBox) {
        const QRectF box = QRectF(a, b).normalized();
        if (flags & LineFilled) {
            drawMasked([&](QPainter& p) { p.fillRect(box.adjusted(0, 0, 1, 1), Qt::white); }, lineColor);
        } else {
            if (fillStyle_ != 1)
                drawMasked([&](QPainter& p) { p.fillRect(box, QBrush(Qt::white, brushStyleOf(fillStyle_))); },
                           colorOf(fillColor_));
            drawMasked([&](QPainter& p) {
                p.setPen(pen);
                p.drawRect(box);
            }, lineColor);
        }
    } else {
        drawMasked([&](QPainter& p) {
            p.setPen(pen);
            p.drawLine(a, b);
        }, lineColor);
    }
    currentX_ = x2;
    currentY_ = y2;
}

void PictureBox::PSet(float x, float y, std::optional<quint32> color) {
    const QColor pointColor = colorOf(color.value_or(foreColor_));
    const QPointF centre(toPixelX(x), toPixelY(y));
    if (drawWidth_ <= 1) {
        const QPoint pixel(int(std::floor(centre.x())), int(std::floor(centre.y())));
        drawMasked([&](QPainter& p) { p.fillRect(QRect(pixel, QSize(1, 1)), Qt::white); }, pointColor);
    } else {
        const double radius = drawWidth_ / 2.0;
        drawMasked([&](QPainter& p) {
            p.setPen(Qt::NoPen);
            p.setBrush(Qt::white);
            p.drawEllipse(centre, radius, radius);
        }, pointColor);
    }
    currentX_ = x;
    currentY_ = y;
}

}  // namespace vantler
