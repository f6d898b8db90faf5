// PictureBox: the picture box inside the Vantler control (object name "picVantler"): colours
// with system colours, scale modes in twips and other units, persistent drawing (Image) over a
// background Picture, and the graphics methods, raising the box's events as Qt signals.
#pragma once

#include "gdi.h"
#include "scale_units.h"
#include "vantler_global.h"

#include <QFont>
#include <QFrame>
#include <QImage>
#include <QPointer>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <optional>

class QPainter;

namespace vantler {

// Colour values: 0x00BBGGRR, or 0x800000nn for system colour nn.
constexpr quint32 kSystemButtonFace = 0x8000000F;
constexpr quint32 kSystemButtonText = 0x80000012;

// Flags of the box's own Line method.
enum LineFlag : int { LineBox = 1, LineFilled = 2, LineStepStart = 4, LineStepEnd = 8 };

class VANTLER_EXPORT PictureBox : public QFrame {
    Q_OBJECT

public:
    explicit PictureBox(QWidget* parent = nullptr);
    ~PictureBox() override;

    // Properties. Setters are set<Name>, except letEnabled and letFont (QWidget owns those names).
    // Out-of-range values raise error 380 (Invalid property value).
    quint32 BackColor() const { return backColor_; }
    void setBackColor(quint32 color);
    quint32 ForeColor() const { return foreColor_; }
    void setForeColor(quint32 color);
    quint32 FillColor() const { return fillColor_; }
    void setFillColor(quint32 color);
    std::int16_t DrawStyle() const { return drawStyle_; }
    void setDrawStyle(std::int16_t style);
    std::int16_t DrawMode() const { return drawMode_; }
    void setDrawMode(std::int16_t mode);
    std::int16_t DrawWidth() const { return drawWidth_; }
    void setDrawWidth(std::int16_t width);
    std::int16_t FillStyle() const { return fillStyle_; }
    void setFillStyle(std::int16_t style);
    bool AutoRedraw() const { return autoRedraw_; }
    void setAutoRedraw(bool on);
    bool ClipControls() const { return clipControls_; }
    void setClipControls(bool on) { clipControls_ = on; }
    std::int16_t Appearance() const { return appearance_; }
    void setAppearance(std::int16_t appearance);
    std::int16_t BorderStyle() const { return borderStyle_; }
    void setBorderStyle(std::int16_t style);
    bool CausesValidation() const { return causesValidation_; }
    void setCausesValidation(bool on) { causesValidation_ = on; }
    bool AutoSize() const { return autoSize_; }
    void setAutoSize(bool on);
    // Docking inside the container; the Vantler control keeps the box filling it whatever
    // the value, so here it is held and validated (0 none, 1 top, 2 bottom, 3 left, 4 right).
    std::int16_t Align() const { return align_; }
    void setAlign(std::int16_t align);
    QString DataMember() const { return dataMember_; }
    void setDataMember(const QString& member) { dataMember_ = member; }
    QVariant DataFormat() const { return dataFormat_; }
    void setDataFormat(const QVariant& format) { dataFormat_ = format; }
    QObject* DataSource() const { return dataSource_; }
    void setDataSource(QObject* source) { dataSource_ = source; }
    bool Enabled() const { return isEnabled(); }
    void letEnabled(bool on) { setEnabled(on); }
    QFont Font() const { return font(); }
    void letFont(const QFont& f) { setFont(f); }
    bool FontTransparent() const { return fontTransparent_; }
    void setFontTransparent(bool on) { fontTransparent_ = on; }
    bool FontBold() const { return font().bold(); }
    void setFontBold(bool on);
    bool FontItalic() const { return font().italic(); }
    void setFontItalic(bool on);
    bool FontStrikethru() const { return font().strikeOut(); }
    void setFontStrikethru(bool on);
    bool FontUnderline() const { return font().underline(); }
    void setFontUnderline(bool on);
    QString FontName() const { return font().family(); }
    void setFontName(const QString& name);
    float FontSize() const { return float(font().pointSizeF()); }
    void setFontSize(float points);
    QString LinkItem() const { return linkItem_; }
    void setLinkItem(const QString& item) { linkItem_ = item; }
    QString LinkTopic() const { return linkTopic_; }
    void setLinkTopic(const QString& topic) { linkTopic_ = topic; }
    std::int16_t LinkMode() const { return linkMode_; }
    void setLinkMode(std::int16_t mode);
    std::int16_t LinkTimeout() const { return linkTimeout_; }
    void setLinkTimeout(std::int16_t timeout) { linkTimeout_ = timeout; }
    QImage MouseIcon() const { return mouseIcon_; }
    void setMouseIcon(const QImage& icon);
    std::int16_t MousePointer() const { return mousePointer_; }
    void setMousePointer(std::int16_t pointer);
    std::int16_t OLEDragMode() const { return oleDragMode_; }
    void setOLEDragMode(std::int16_t mode);
    std::int16_t OLEDropMode() const { return oleDropMode_; }
    void setOLEDropMode(std::int16_t mode);
    // The background picture (null: none). Assigning it clears the drawing and raises Change.
    QImage Picture() const { return picture_; }
    void setPicture(const QImage& picture);
    bool RightToLeft() const { return layoutDirection() == Qt::RightToLeft; }
    void setRightToLeft(bool on) { setLayoutDirection(on ? Qt::RightToLeft : Qt::LeftToRight); }
    float ScaleHeight() const { return scaleHeight_; }
    void setScaleHeight(float height);
    float ScaleWidth() const { return scaleWidth_; }
    void setScaleWidth(float width);
    float ScaleLeft() const { return scaleLeft_; }
    void setScaleLeft(float left);
    float ScaleTop() const { return scaleTop_; }
    void setScaleTop(float top);
    std::int16_t ScaleMode() const { return scaleMode_; }
    void setScaleMode(std::int16_t mode);
    QString ToolTipText() const { return toolTip(); }
    void setToolTipText(const QString& text) { setToolTip(text); }
    float CurrentX() const { return currentX_; }
    void setCurrentX(float x) { currentX_ = x; }
    float CurrentY() const { return currentY_; }
    void setCurrentY(float y) { currentY_ = y; }

    bool HasDC() const { return true; }
    // A drawing context for block copies: the persistent bitmap with AutoRedraw, else the screen.
    gdi::Handle hdc() const { return dc_; }
    quintptr hWnd() const { return quintptr(effectiveWinId()); }
    // The persistent bitmap: background, Picture and what was drawn with AutoRedraw on.
    QImage Image() const { return image_; }
    // What the box shows now (the persistent bitmap, or the screen when AutoRedraw is off).
    QImage shownImage() const { return autoRedraw_ ? image_ : screen_; }

    // Methods, in the current scale units.
    void Cls();
    void Refresh();
    void PaintPicture(const QImage& picture, float x1, float y1, std::optional<float> width1 = {},
                      std::optional<float> height1 = {}, std::optional<float> x2 = {}, std::optional<float> y2 = {},
                      std::optional<float> width2 = {}, std::optional<float> height2 = {},
                      std::optional<std::uint32_t> opcode = {});
    void Line(int flags, float x1, float y1, float x2, float y2, std::optional<quint32> color = {});
    void PSet(float x, float y, std::optional<quint32> color = {});
    void Scale();
    void Scale(float x1, float y1, float x2, float y2);
    float ScaleX(float width, int fromScale = vbHimetric, std::optional<int> toScale = {}) const;
    float ScaleY(float height, int fromScale = vbHimetric, std::optional<int> toScale = {}) const;
    float TextHeight(const QString& text) const;
    float TextWidth(const QString& text) const;

    // The Qt colour of a colour value (system colours from the palette); error 380 if invalid.
    QColor colorOf(quint32 color) const;
    int twipsPerPixelX() const;
    int twipsPerPixelY() const;
    // Brings the drawing surfaces and scale in line with the current size and raises Resize
    // once when the size changed. Qt tells hidden widgets about resizing only when shown.
    void syncSize();

signals:
    void Click();
    void DblClick();
    void Change();
    void KeyDown(short& KeyCode, short& Shift);
    void KeyPress(short& KeyAscii);
    void KeyUp(short& KeyCode, short& Shift);
    void MouseDown(short& Button, short& Shift, float& X, float& Y);
    void MouseMove(short& Button, short& Shift, float& X, float& Y);
    void MouseUp(short& Button, short& Shift, float& X, float& Y);
    void Paint();
    void Resize();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    QImage& target() { return autoRedraw_ ? image_ : screen_; }
    QImage makeBase(QSize size) const;
    void clearAll();
    void drawn();
    void applyFrame();
    // With AutoSize, the box takes its picture's size plus its border.
    void fitToPicture();
    void applyCursor();
    // Renders a shape as a coverage mask and combines the colour into the target pixel by pixel
    // with the pen mode (DrawMode), so every raster mode behaves exactly.
    void drawMasked(const std::function<void(QPainter&)>& shape, const QColor& color);
    // The drawing area's width (horizontal) or height as the unit conversions need it.
    ScaleAxis axis(bool horizontal) const;
    double unitsPerPixel(int mode, bool horizontal) const { return vantler::unitsPerPixel(mode, axis(horizontal)); }
    double toPixelX(float x) const { return unitToPixel(x, scaleLeft_, unitsPerPixel(scaleMode_, true)); }
    double toPixelY(float y) const { return unitToPixel(y, scaleTop_, unitsPerPixel(scaleMode_, false)); }
    float toUnitX(double px) const { return pixelToUnit(px, scaleLeft_, unitsPerPixel(scaleMode_, true)); }
    float toUnitY(double py) const { return pixelToUnit(py, scaleTop_, unitsPerPixel(scaleMode_, false)); }
    void resetScale();
    void raiseMouse(QMouseEvent* event, int which);

    quint32 backColor_ = kSystemButtonFace;
    quint32 foreColor_ = kSystemButtonText;
    quint32 fillColor_ = 0;
    std::int16_t drawStyle_ = 0;
    std::int16_t drawMode_ = 13;
    std::int16_t drawWidth_ = 1;
    std::int16_t fillStyle_ = 1;
    bool autoRedraw_ = false;
    bool clipControls_ = true;
    std::int16_t appearance_ = 1;
    std::int16_t borderStyle_ = 1;
    bool causesValidation_ = true;
    bool autoSize_ = false;
    std::int16_t align_ = 0;
    QString dataMember_;
    QVariant dataFormat_;
    QPointer<QObject> dataSource_;
    bool fontTransparent_ = true;
    QString linkItem_;
    QString linkTopic_;
    std::int16_t linkMode_ = 0;
    std::int16_t linkTimeout_ = 50;
    QImage mouseIcon_;
    std::int16_t mousePointer_ = 0;
    std::int16_t oleDragMode_ = 0;
    std::int16_t oleDropMode_ = 0;
    QImage picture_;
    float scaleHeight_ = 0;
    float scaleWidth_ = 0;
    float scaleLeft_ = 0;
    float scaleTop_ = 0;
    std::int16_t scaleMode_ = vbTwips;
    float currentX_ = 0;
    float currentY_ = 0;

    QImage image_;   // persistent bitmap
    QImage screen_;  // what is on screen while AutoRedraw is off
    gdi::Handle dc_ = 0;
    QSize lastSize_;
    bool inPaint_ = false;
    bool paintDue_ = true;  // shown, resized or refreshed since the last Paint event
    bool pressed_ = false;
    bool afterDoubleClick_ = false;
};

}  // namespace vantler
