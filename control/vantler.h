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
    Q_PROPERTY(uint BackColor READ BackColor WRITE setBackColor)
    Q_PROPERTY(int DrawStyle READ DrawStyle WRITE setDrawStyle)
    Q_PROPERTY(int DrawMode READ DrawMode WRITE setDrawMode)
    Q_PROPERTY(int DrawWidth READ DrawWidth WRITE setDrawWidth)
    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE setAutoRedraw)
    Q_PROPERTY(bool ClipControls READ ClipControls WRITE setClipControls)
    Q_PROPERTY(int Appearance READ Appearance WRITE setAppearance)
    Q_PROPERTY(int BorderStyle READ BorderStyle WRITE setBorderStyle)
    Q_PROPERTY(bool CausesValidation READ CausesValidation WRITE setCausesValidation)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)
    Q_PROPERTY(int Align READ Align WRITE setAlign)
    Q_PROPERTY(QString DataMember READ DataMember WRITE setDataMember)
    Q_PROPERTY(QVariant DataFormat READ DataFormat WRITE setDataFormat DESIGNABLE false)
    Q_PROPERTY(QObject* DataSource READ DataSource WRITE setDataSource DESIGNABLE false)
    Q_PROPERTY(bool Enabled READ Enabled WRITE letEnabled)
    Q_PROPERTY(uint FillColor READ FillColor WRITE setFillColor)
    Q_PROPERTY(int FillStyle READ FillStyle WRITE setFillStyle)
    Q_PROPERTY(QFont Font READ Font WRITE letFont)
    Q_PROPERTY(bool FontTransparent READ FontTransparent WRITE setFontTransparent)
    Q_PROPERTY(bool FontBold READ FontBold WRITE setFontBold)
    Q_PROPERTY(bool FontItalic READ FontItalic WRITE setFontItalic)
    Q_PROPERTY(bool FontStrikethru READ FontStrikethru WRITE setFontStrikethru)
    Q_PROPERTY(bool FontUnderline READ FontUnderline WRITE setFontUnderline)
    Q_PROPERTY(QString FontName READ FontName WRITE setFontName)
    Q_PROPERTY(double FontSize READ FontSize WRITE setFontSize)
    Q_PROPERTY(uint ForeColor READ ForeColor WRITE setForeColor)
    Q_PROPERTY(QString LinkItem READ LinkItem WRITE setLinkItem)
    Q_PROPERTY(QString LinkTopic READ LinkTopic WRITE setLinkTopic)
    Q_PROPERTY(int LinkMode READ LinkMode WRITE setLinkMode)
    Q_PROPERTY(int LinkTimeout READ LinkTimeout WRITE setLinkTimeout)
    Q_PROPERTY(QPixmap MouseIcon READ MouseIcon WRITE setMouseIcon)
    Q_PROPERTY(int MousePointer READ MousePointer WRITE setMousePointer)
    Q_PROPERTY(int OLEDragMode READ OLEDragMode WRITE setOLEDragMode)
    Q_PROPERTY(int OLEDropMode READ OLEDropMode WRITE setOLEDropMode)
    Q_PROPERTY(QPixmap Picture READ Picture WRITE setPicture)
    Q_PROPERTY(bool RightToLeft READ RightToLeft WRITE setRightToLeft)
    Q_PROPERTY(double ScaleHeight READ ScaleHeight WRITE setScaleHeight)
    Q_PROPERTY(double ScaleWidth READ ScaleWidth WRITE setScaleWidth)
    Q_PROPERTY(double ScaleLeft READ ScaleLeft WRITE setScaleLeft)
    Q_PROPERTY(double ScaleTop READ ScaleTop WRITE setScaleTop)
    Q_PROPERTY(int ScaleMode READ ScaleMode WRITE setScaleMode)
    Q_PROPERTY(QString ToolTipText READ ToolTipText WRITE setToolTipText)
    Q_PROPERTY(double CurrentX READ CurrentX WRITE setCurrentX DESIGNABLE false)
    Q_PROPERTY(double CurrentY READ CurrentY WRITE setCurrentY DESIGNABLE false)
    Q_PROPERTY(bool HasDC READ HasDC STORED false)
    Q_PROPERTY(qulonglong hdc READ hdc STORED false DESIGNABLE false)
    Q_PROPERTY(qulonglong hWnd READ hWnd STORED false DESIGNABLE false)
    Q_PROPERTY(QPixmap Image READ Image STORED false DESIGNABLE false)
    Q_PROPERTY(QString Important READ Important WRITE setImportant)
    Q_PROPERTY(int Quality READ Quality WRITE setQuality)

public:
    explicit Vantler(QWidget* parent = nullptr);
    ~Vantler() override;

    // Pass-through properties: each write also marks the property as changed for the host.
    // Setters are set<Name>, as uic calls them, except letEnabled and letFont: QWidget owns
    // setEnabled and setFont.
    uint BackColor() const;
    void setBackColor(uint v);
    int DrawStyle() const;
    void setDrawStyle(int v);
    int DrawMode() const;
    void setDrawMode(int v);
    int DrawWidth() const;
    void setDrawWidth(int v);
    bool AutoRedraw() const;
    void setAutoRedraw(bool v);
    bool ClipControls() const;
    void setClipControls(bool v);
    int Appearance() const;
    void setAppearance(int v);
    int BorderStyle() const;
    void setBorderStyle(int v);
    bool CausesValidation() const;
    void setCausesValidation(bool v);
    bool AutoSize() const;
    void setAutoSize(bool v);
    int Align() const;
    void setAlign(int v);
    QString DataMember() const;
    void setDataMember(const QString& v);
    QVariant DataFormat() const;
    void setDataFormat(const QVariant& v);
    QObject* DataSource() const;
    void setDataSource(QObject* v);
    bool Enabled() const;
    void letEnabled(bool v);
    uint FillColor() const;
    void setFillColor(uint v);
    int FillStyle() const;
    void setFillStyle(int v);
    QFont Font() const;
    void letFont(const QFont& v);
    bool FontTransparent() const;
    void setFontTransparent(bool v);
    bool FontBold() const;
    void setFontBold(bool v);
    bool FontItalic() const;
    void setFontItalic(bool v);
    bool FontStrikethru() const;
    void setFontStrikethru(bool v);
    bool FontUnderline() const;
    void setFontUnderline(bool v);
    QString FontName() const;
    void setFontName(const QString& v);
    double FontSize() const;
    void setFontSize(double v);
    uint ForeColor() const;
    void setForeColor(uint v);
    QString LinkItem() const;
    void setLinkItem(const QString& v);
    QString LinkTopic() const;
    void setLinkTopic(const QString& v);
    int LinkMode() const;
    void setLinkMode(int v);
    int LinkTimeout() const;
    void setLinkTimeout(int v);
    QPixmap MouseIcon() const;
    void setMouseIcon(const QPixmap& v);
    int MousePointer() const;
    void setMousePointer(int v);
    int OLEDragMode() const;
    void setOLEDragMode(int v);
    int OLEDropMode() const;
    void setOLEDropMode(int v);
    QPixmap Picture() const;
    void setPicture(const QPixmap& v);
    bool RightToLeft() const;
    void setRightToLeft(bool v);
    double ScaleHeight() const;
    void setScaleHeight(double v);
    double ScaleWidth() const;
    void setScaleWidth(double v);
    double ScaleLeft() const;
    void setScaleLeft(double v);
    double ScaleTop() const;
    void setScaleTop(double v);
    int ScaleMode() const;
    void setScaleMode(int v);
    QString ToolTipText() const;
    void setToolTipText(const QString& v);
    double CurrentX() const;
    void setCurrentX(double v);
    double CurrentY() const;
    void setCurrentY(double v);

    bool HasDC() const { return picVantler->HasDC(); }
    qulonglong hdc() const { return picVantler->hdc(); }
    qulonglong hWnd() const { return picVantler->hWnd(); }
    QPixmap Image() const { return QPixmap::fromImage(picVantler->Image()); }

    // At run time reading it raises error 393; at design time it is the note. Assignments are
    // accepted and change nothing.
    QString Important() const;
    void setImportant(const QString& value);
    int Quality() const { return quality_; }
    void setQuality(int quality);

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
