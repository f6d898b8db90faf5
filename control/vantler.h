// Vantler: a picture box control for host programs. Almost everything passes through to the
// inner box picVantler; the control adds Save (the box's picture as a JPEG at Quality), the
// developer note Important, property persistence through a property bag, and late binding.
#pragma once

#include "picture_box.h"
#include "vantler_global.h"

#include <QFont>
#include <QPixmap>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <cstdint>

namespace vantler {

class PropertyBag;
struct PersistedProperty;

inline const QString kImportantNote =
    QStringLiteral("Don't forget to include the file 'ravenjpeg.dll' with your setup");
constexpr std::int16_t kDefaultQuality = 95;

class VANTLER_EXPORT Vantler : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("Description:Quality", "Quality (1=poor to 100=best) to use when saving JPG")
    Q_PROPERTY(uint BackColor READ BackColor WRITE letBackColor)
    Q_PROPERTY(int DrawStyle READ DrawStyle WRITE letDrawStyle)
    Q_PROPERTY(int DrawMode READ DrawMode WRITE letDrawMode)
    Q_PROPERTY(int DrawWidth READ DrawWidth WRITE letDrawWidth)
    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE letAutoRedraw)
    Q_PROPERTY(bool ClipControls READ ClipControls WRITE letClipControls)
    Q_PROPERTY(int Appearance READ Appearance WRITE letAppearance)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE letBorderStyle)
    Q_PROPERTY(bool CausesValidation READ CausesValidation WRITE letCausesValidation)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE letAutoSize)
    Q_PROPERTY(int Align READ Align WRITE letAlign)
    Q_PROPERTY(QString DataMember READ DataMember WRITE letDataMember)
    Q_PROPERTY(QVariant DataFormat READ DataFormat WRITE letDataFormat DESIGNABLE false)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE letDataSource DESIGNABLE false)
    Q_PROPERTY(bool Enabled READ Enabled WRITE letEnabled)
    Q_PROPERTY(uint FillColor READ FillColor WRITE letFillColor)
    Q_PROPERTY(int FillStyle READ FillStyle WRITE letFillStyle)
    Q_PROPERTY(QFont Font READ Font WRITE letFont)
    Q_PROPERTY(bool FontTransparent READ FontTransparent WRITE letFontTransparent)
    Q_PROPERTY(bool FontBold READ FontBold WRITE letFontBold)
    Q_PROPERTY(bool FontItalic READ FontItalic WRITE letFontItalic)
    Q_PROPERTY(bool FontStrikethru READ FontStrikethru WRITE letFontStrikethru)
    Q_PROPERTY(bool FontUnderline READ FontUnderline WRITE letFontUnderline)
    Q_PROPERTY(QString FontName READ FontName WRITE letFontName)
    Q_PROPERTY(double FontSize READ FontSize WRITE letFontSize)
    Q_PROPERTY(uint ForeColor READ ForeColor WRITE letForeColor)
    Q_PROPERTY(QString LinkItem READ LinkItem WRITE letLinkItem)
    Q_PROPERTY(QString LinkTopic READ LinkTopic WRITE letLinkTopic)
    Q_PROPERTY(int LinkMode READ LinkMode WRITE letLinkMode)
    Q_PROPERTY(int LinkTimeout READ LinkTimeout WRITE letLinkTimeout)
    Q_PROPERTY(QPixmap MouseIcon READ MouseIcon WRITE letMouseIcon)
    Q_PROPERTY(int MousePointer READ MousePointer WRITE letMousePointer)
    Q_PROPERTY(int OLEDragMode READ OLEDragMode WRITE letOLEDragMode)
    Q_PROPERTY(int OLEDropMode READ OLEDropMode WRITE letOLEDropMode)
    Q_PROPERTY(QPixmap Picture READ Picture WRITE letPicture)
    Q_PROPERTY(bool RightToLeft READ RightToLeft WRITE letRightToLeft)
    Q_PROPERTY(double ScaleHeight READ ScaleHeight WRITE letScaleHeight)
    Q_PROPERTY(double ScaleWidth READ ScaleWidth WRITE letScaleWidth)
    Q_PROPERTY(double ScaleLeft READ ScaleLeft WRITE letScaleLeft)
    Q_PROPERTY(double ScaleTop READ ScaleTop WRITE letScaleTop)
    Q_PROPERTY(int ScaleMode READ ScaleMode WRITE letScaleMode)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE letToolTipText)
    Q_PROPERTY(double CurrentX READ CurrentX WRITE letCurrentX DESIGNABLE false)
    Q_PROPERTY(double CurrentY READ CurrentY WRITE letCurrentY DESIGNABLE false)
    Q_PROPERTY(bool HasDC READ HasDC STORED false)
    Q_PROPERTY(qulonglong hdc READ hdc STORED false DESIGNABLE false)
    Q_PROPERTY(qulonglong hWnd READ hWnd STORED false DESIGNABLE false)
    Q_PROPERTY(QPixmap Image READ Image STORED false DESIGNABLE false)
    Q_PROPERTY(QString Important READ Important WRITE letImportant)
    Q_PROPERTY(int Quality READ Quality WRITE letQuality)

public:
    explicit Vantler(QWidget* parent = nullptr);
    ~Vantler() override;

    // Pass-through properties: each write also marks the property as changed for the host.
    // Setters are named let<Name>: set<Name> would hide QWidget's own setters.
    uint BackColor() const;
    void letBackColor(uint v);
    int DrawStyle() const;
    void letDrawStyle(int v);
    int DrawMode() const;
    void letDrawMode(int v);
    int DrawWidth() const;
    void letDrawWidth(int v);
    bool AutoRedraw() const;
    void letAutoRedraw(bool v);
    bool ClipControls() const;
    void letClipControls(bool v);
    int Appearance() const;
    void letAppearance(int v);
    int BorderStyle() const;
    void letBorderStyle(int v);
    bool CausesValidation() const;
    void letCausesValidation(bool v);
    bool AutoSize() const;
    void letAutoSize(bool v);
    int Align() const;
    void letAlign(int v);
    QString DataMember() const;
    void letDataMember(const QString& v);
    QVariant DataFormat() const;
    void letDataFormat(const QVariant& v);
    QObject* DataSource() const;
    void letDataSource(QObject* v);
    bool Enabled() const;
    void letEnabled(bool v);
    uint FillColor() const;
    void letFillColor(uint v);
    int FillStyle() const;
    void letFillStyle(int v);
    QFont Font() const;
    void letFont(const QFont& v);
    bool FontTransparent() const;
    void letFontTransparent(bool v);
    bool FontBold() const;
    void letFontBold(bool v);
    bool FontItalic() const;
    void letFontItalic(bool v);
    bool FontStrikethru() const;
    void letFontStrikethru(bool v);
    bool FontUnderline() const;
    void letFontUnderline(bool v);
    QString FontName() const;
    void letFontName(const QString& v);
    double FontSize() const;
    void letFontSize(double v);
    uint ForeColor() const;
    void letForeColor(uint v);
    QString LinkItem() const;
    void letLinkItem(const QString& v);
    QString LinkTopic() const;
    void letLinkTopic(const QString& v);
    int LinkMode() const;
    void letLinkMode(int v);
    int LinkTimeout() const;
    void letLinkTimeout(int v);
    QPixmap MouseIcon() const;
    void letMouseIcon(const QPixmap& v);
    int MousePointer() const;
    void letMousePointer(int v);
    int OLEDragMode() const;
    void letOLEDragMode(int v);
    int OLEDropMode() const;
    void letOLEDropMode(int v);
    QPixmap Picture() const;
    void letPicture(const QPixmap& v);
    bool RightToLeft() const;
    void letRightToLeft(bool v);
    double ScaleHeight() const;
    void letScaleHeight(double v);
    double ScaleWidth() const;
    void letScaleWidth(double v);
    double ScaleLeft() const;
    void letScaleLeft(double v);
    double ScaleTop() const;
    void letScaleTop(double v);
    int ScaleMode() const;
    void letScaleMode(int v);
    QString ToolTipText() const;
    void letToolTipText(const QString& v);
    double CurrentX() const;
    void letCurrentX(double v);
    double CurrentY() const;
    void letCurrentY(double v);

    bool HasDC() const { return picVantler->HasDC(); }
    qulonglong hdc() const { return picVantler->hdc(); }
    qulonglong hWnd() const { return picVantler->hWnd(); }
    QPixmap Image() const { return QPixmap::fromImage(picVantler->Image()); }

    // At run time reading it raises error 393; at design time it is the note. Assignments are
    // accepted and change nothing.
    QString Important() const;
    void letImportant(const QString& value);
    int Quality() const { return quality_; }
    void letQuality(int quality);

    // Whether the host is running (true) or the control sits in a designer (false).
    bool UserMode() const { return userMode_; }
    void setUserMode(bool running) { userMode_ = running; }
    // The host's font: the one a freshly placed control uses.
    QFont ambientFont() const;

    // Methods, callable by name through the meta-object. Omitted optional arguments are
    // invalid QVariants.
    Q_INVOKABLE bool Save(const QString& asFile);
    Q_INVOKABLE void Cls();
    Q_INVOKABLE void Refresh();
    Q_INVOKABLE void PaintPicture(const QPixmap& picture, double x1, double y1, const QVariant& Width1 = {},
                                  const QVariant& Height1 = {}, const QVariant& X2 = {}, const QVariant& Y2 = {},
                                  const QVariant& Width2 = {}, const QVariant& Height2 = {},
                                  const QVariant& Opcode = {});
    // Draws a plain line from (x1, y1) to (x2, y2); the flags are not used.
    Q_INVOKABLE void Line(int flags, double x1, double y1, double x2, double y2, uint color);
    Q_INVOKABLE void PSet_(double x, double y, uint color);
    Q_INVOKABLE void Scale_(const QVariant& x1 = {}, const QVariant& y1 = {}, const QVariant& x2 = {},
                            const QVariant& y2 = {});
    Q_INVOKABLE double ScaleX(double Width, const QVariant& FromScale = {}, const QVariant& ToScale = {});
    Q_INVOKABLE double ScaleY(double Height, const QVariant& FromScale = {}, const QVariant& ToScale = {});
    Q_INVOKABLE double TextHeight(const QString& text);
    Q_INVOKABLE double TextWidth(const QString& text);

    // Persistence: defaults for a freshly placed control, and reading and writing the stored set.
    void InitProperties();
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;

    // Names marked changed since the properties were initialised or read, in order, once each.
    QStringList changedProperties() const { return changed_; }
    PictureBox* box() const { return picVantler; }

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
    // The host's cue that a property should be saved with its form.
    void propertyChanged(const QString& name);

protected:
    void resizeEvent(QResizeEvent* event) override;
    QSize sizeHint() const override { return {101, 117}; }

private:
    friend struct PersistedProperty;
    void PropertyChanged(const QString& name);
    void boxResized();
    QString dataSourceName() const;
    QObject* findDataSource(const QString& name) const;

    PictureBox* picVantler;
    QString important_ = kImportantNote;
    std::int16_t quality_ = kDefaultQuality;
    bool userMode_ = true;
    QStringList changed_;
};

// How many Vantler controls exist right now.
VANTLER_EXPORT int liveVantlerCount();

}  // namespace vantler
