// Vantler: a picture box control for host programs. Almost everything passes through to the
// inner box picVantler; the control adds Save (the box's picture as a JPEG at Quality), the
// developer note Important, property persistence through a property bag, and late binding.
#pragma once

#include "picture_box.h"
#include "vantler_global.h"
#include "vantler_properties.h"

#include <QFont>
#include <QPixmap>
#include <QStringList>
#include <QVariant>
#include <QWidget>

#include <cstdint>
#include <type_traits>

namespace vantler {

class PropertyBag;

// How a setter takes a value: numbers, flags and pointers by value, the rest by const reference.
template <class T>
using PassedAs = std::conditional_t<std::is_scalar_v<T>, T, const T&>;

inline const QString kImportantNote =
    QStringLiteral("Don't forget to include the file 'ravenjpeg.dll' with your setup");
constexpr std::int16_t kDefaultQuality = 95;

class VANTLER_EXPORT Vantler : public QWidget {
    Q_OBJECT
    Q_CLASSINFO("Description:Quality", "Quality (1=poor to 100=best) to use when saving JPG")
    // The pass-through properties, row for row as in vantler_properties.h, then the read-only
    // ones and the control's own.
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

    // Pass-through properties, declared from the table in vantler_properties.h: each reads the
    // box's property of the same name, and each write also marks the property as changed for
    // the host.
#define VANTLER_DECLARE_PASS_THROUGH(Name, Type, Setter, Default, Rule) \
    Type Name() const;                                                  \
    void Setter(PassedAs<Type> value);
    VANTLER_PASS_THROUGH_PROPERTIES(VANTLER_DECLARE_PASS_THROUGH)
#undef VANTLER_DECLARE_PASS_THROUGH

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
    void PropertyChanged(const QString& name);
    void boxResized();
    void fillWithBox(); // the box made to fill the control, also while the control is hidden

    PictureBox* picVantler;
    QString important_ = kImportantNote;
    std::int16_t quality_ = kDefaultQuality;
    bool userMode_ = true;
    QStringList changed_;
};

// How many Vantler controls exist right now.
VANTLER_EXPORT int liveVantlerCount();

}  // namespace vantler
