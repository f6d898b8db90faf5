// The Vantler control: pass-through properties and methods, events forwarded from the inner
// box with their by-reference arguments, sizing both ways, persistence, and Save.
#include "vantler.h"

#include "control_error.h"
#include "dib_section.h"
#include "jpeg_bridge.h"
#include "property_bag.h"

#include <QApplication>
#include <QResizeEvent>

#include <atomic>
#include <functional>
#include <vector>

namespace vantler {
namespace {

std::atomic<int> liveControls{0};

QVariant pictureValue(const QImage& image) { return image.isNull() ? QVariant() : QVariant(image); }

QImage imageOf(const QVariant& v) {
    if (v.canConvert<QImage>()) return v.value<QImage>();
    if (v.canConvert<QPixmap>()) return v.value<QPixmap>().toImage();
    return {};
}

std::optional<float> optionalFloat(const QVariant& v) {
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    const float f = v.toFloat(&ok);
    if (!ok) throw VantlerError(errInvalidProcedureCall);
    return f;
}

std::optional<int> optionalScale(const QVariant& v) {
    if (!v.isValid()) return std::nullopt;
    bool ok = false;
    const int mode = v.toInt(&ok);
    if (!ok) throw VantlerError(errInvalidProcedureCall);
    return toInt16(mode);
}

}  // namespace

// One stored property: its default, how to read it from the control and how to apply it.
struct PersistedProperty {
    const char* name;
    std::function<QVariant(const Vantler&)> defaultValue;
    std::function<QVariant(const Vantler&)> get;
    std::function<void(Vantler&, const QVariant&)> apply;

    // The stored set, in the order it is read and written.
    static const std::vector<PersistedProperty>& table();
};

const std::vector<PersistedProperty>& PersistedProperty::table() {
    static const std::vector<PersistedProperty> properties = {
        {"BackColor", [](const Vantler&) { return QVariant(quint32(kSystemButtonFace)); }, [](const Vantler& c) { return QVariant(c.picVantler->BackColor()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setBackColor(v.toUInt()); }},
        {"DrawStyle", [](const Vantler&) { return QVariant(int(0)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->DrawStyle())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setDrawStyle(toInt16(v.toInt())); }},
        {"DrawMode", [](const Vantler&) { return QVariant(int(13)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->DrawMode())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setDrawMode(toInt16(v.toInt())); }},
        {"DrawWidth", [](const Vantler&) { return QVariant(int(1)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->DrawWidth())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setDrawWidth(toInt16(v.toInt())); }},
        {"AutoRedraw", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->AutoRedraw()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setAutoRedraw(v.toBool()); }},
        {"ClipControls", [](const Vantler&) { return QVariant(true); }, [](const Vantler& c) { return QVariant(c.picVantler->ClipControls()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setClipControls(v.toBool()); }},
        {"Appearance", [](const Vantler&) { return QVariant(int(1)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->Appearance())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setAppearance(toInt16(v.toInt())); }},
        {"BorderStyle", [](const Vantler&) { return QVariant(int(1)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->BorderStyle())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setBorderStyle(toInt16(v.toInt())); }},
        {"CausesValidation", [](const Vantler&) { return QVariant(true); }, [](const Vantler& c) { return QVariant(c.picVantler->CausesValidation()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setCausesValidation(v.toBool()); }},
        {"AutoSize", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->AutoSize()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setAutoSize(v.toBool()); }},
        {"Align", [](const Vantler&) { return QVariant(int(0)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->Align())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setAlign(toInt16(v.toInt())); }},
        {"DataMember", [](const Vantler&) { return QVariant(QString()); }, [](const Vantler& c) { return QVariant(c.picVantler->DataMember()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setDataMember(v.toString()); }},
        {"DataFormat", [](const Vantler&) { return QVariant(); }, [](const Vantler& c) { return c.picVantler->DataFormat(); },
         [](Vantler& c, const QVariant& v) { c.setDataFormat(v); }},
        {"DataSource", [](const Vantler&) { return QVariant(QString()); }, [](const Vantler& c) { return QVariant(c.dataSourceName()); },
         [](Vantler& c, const QVariant& v) { c.setDataSource(c.findDataSource(v.toString())); }},
        {"Enabled", [](const Vantler&) { return QVariant(true); }, [](const Vantler& c) { return QVariant(c.picVantler->Enabled()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->letEnabled(v.toBool()); }},
        {"FillColor", [](const Vantler&) { return QVariant(quint32(0)); }, [](const Vantler& c) { return QVariant(c.picVantler->FillColor()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFillColor(v.toUInt()); }},
        {"FillStyle", [](const Vantler&) { return QVariant(int(1)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->FillStyle())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFillStyle(toInt16(v.toInt())); }},
        {"Font", [](const Vantler& c) { return QVariant(c.ambientFont()); }, [](const Vantler& c) { return QVariant(c.picVantler->Font()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->letFont(v.value<QFont>()); }},
        {"FontTransparent", [](const Vantler&) { return QVariant(true); }, [](const Vantler& c) { return QVariant(c.picVantler->FontTransparent()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFontTransparent(v.toBool()); }},
        {"FontBold", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->FontBold()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFontBold(v.toBool()); }},
        {"FontItalic", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->FontItalic()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFontItalic(v.toBool()); }},
        {"FontStrikethru", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->FontStrikethru()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFontStrikethru(v.toBool()); }},
        {"FontUnderline", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->FontUnderline()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setFontUnderline(v.toBool()); }},
        {"FontName", [](const Vantler&) { return QVariant(QString()); }, [](const Vantler& c) { return QVariant(c.picVantler->FontName()); },
         [](Vantler& c, const QVariant& v) { if (!v.toString().isEmpty()) c.picVantler->setFontName(v.toString()); }},
        {"FontSize", [](const Vantler&) { return QVariant(0.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->FontSize()); },
         [](Vantler& c, const QVariant& v) { if (v.toFloat() > 0.0f) c.picVantler->setFontSize(v.toFloat()); }},
        {"ForeColor", [](const Vantler&) { return QVariant(quint32(kSystemButtonText)); }, [](const Vantler& c) { return QVariant(c.picVantler->ForeColor()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setForeColor(v.toUInt()); }},
        {"LinkItem", [](const Vantler&) { return QVariant(QString()); }, [](const Vantler& c) { return QVariant(c.picVantler->LinkItem()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setLinkItem(v.toString()); }},
        {"LinkTopic", [](const Vantler&) { return QVariant(QString()); }, [](const Vantler& c) { return QVariant(c.picVantler->LinkTopic()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setLinkTopic(v.toString()); }},
        {"LinkMode", [](const Vantler&) { return QVariant(int(0)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->LinkMode())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setLinkMode(toInt16(v.toInt())); }},
        {"LinkTimeout", [](const Vantler&) { return QVariant(int(50)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->LinkTimeout())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setLinkTimeout(toInt16(v.toInt())); }},
        {"MouseIcon", [](const Vantler&) { return QVariant(); }, [](const Vantler& c) { return pictureValue(c.picVantler->MouseIcon()); },
         [](Vantler& c, const QVariant& v) { c.setMouseIcon(QPixmap::fromImage(imageOf(v))); }},
        {"MousePointer", [](const Vantler&) { return QVariant(int(0)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->MousePointer())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setMousePointer(toInt16(v.toInt())); }},
        {"OLEDragMode", [](const Vantler&) { return QVariant(int(0)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->OLEDragMode())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setOLEDragMode(toInt16(v.toInt())); }},
        {"OLEDropMode", [](const Vantler&) { return QVariant(int(0)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->OLEDropMode())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setOLEDropMode(toInt16(v.toInt())); }},
        {"Picture", [](const Vantler&) { return QVariant(); }, [](const Vantler& c) { return pictureValue(c.picVantler->Picture()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setPicture(imageOf(v)); }},
        {"RightToLeft", [](const Vantler&) { return QVariant(false); }, [](const Vantler& c) { return QVariant(c.picVantler->RightToLeft()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setRightToLeft(v.toBool()); }},
        {"ScaleHeight", [](const Vantler&) { return QVariant(1695.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->ScaleHeight()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setScaleHeight(v.toFloat()); }},
        {"ScaleWidth", [](const Vantler&) { return QVariant(1455.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->ScaleWidth()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setScaleWidth(v.toFloat()); }},
        {"ScaleLeft", [](const Vantler&) { return QVariant(0.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->ScaleLeft()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setScaleLeft(v.toFloat()); }},
        {"ScaleTop", [](const Vantler&) { return QVariant(0.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->ScaleTop()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setScaleTop(v.toFloat()); }},
        {"ScaleMode", [](const Vantler&) { return QVariant(int(1)); }, [](const Vantler& c) { return QVariant(int(c.picVantler->ScaleMode())); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setScaleMode(toInt16(v.toInt())); }},
        {"ToolTipText", [](const Vantler&) { return QVariant(QString()); }, [](const Vantler& c) { return QVariant(c.picVantler->ToolTipText()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setToolTipText(v.toString()); }},
        {"CurrentX", [](const Vantler&) { return QVariant(0.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->CurrentX()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setCurrentX(v.toFloat()); }},
        {"CurrentY", [](const Vantler&) { return QVariant(0.0f); }, [](const Vantler& c) { return QVariant(c.picVantler->CurrentY()); },
         [](Vantler& c, const QVariant& v) { c.picVantler->setCurrentY(v.toFloat()); }},
    };
    return properties;
}

int liveVantlerCount() { return liveControls.load(); }

Vantler::Vantler(QWidget* parent) : QWidget(parent), picVantler(new PictureBox(this)) {
    ++liveControls;
    setObjectName(QStringLiteral("Vantler"));
    setFocusProxy(picVantler);
    resize(picVantler->size());
    picVantler->move(0, 0);

    connect(picVantler, &PictureBox::Click, this, &Vantler::Click);
    connect(picVantler, &PictureBox::DblClick, this, &Vantler::DblClick);
    connect(picVantler, &PictureBox::Change, this, &Vantler::Change);
    connect(picVantler, &PictureBox::KeyDown, this, &Vantler::KeyDown);
    connect(picVantler, &PictureBox::KeyPress, this, &Vantler::KeyPress);
    connect(picVantler, &PictureBox::KeyUp, this, &Vantler::KeyUp);
    connect(picVantler, &PictureBox::MouseDown, this, &Vantler::MouseDown);
    connect(picVantler, &PictureBox::MouseMove, this, &Vantler::MouseMove);
    connect(picVantler, &PictureBox::MouseUp, this, &Vantler::MouseUp);
    connect(picVantler, &PictureBox::Paint, this, &Vantler::Paint);
    connect(picVantler, &PictureBox::Resize, this, &Vantler::boxResized);
}

Vantler::~Vantler() { --liveControls; }

void Vantler::PropertyChanged(const QString& name) {
    if (!changed_.contains(name)) changed_.append(name);
    emit propertyChanged(name);
}

void Vantler::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    picVantler->setGeometry(0, 0, width(), height());
    picVantler->syncSize();
}

void Vantler::boxResized() {
    // The box changed its own size (AutoSize, or following the control): the control follows.
    if (size() != picVantler->size()) resize(picVantler->size());
    emit Resize();
}

QFont Vantler::ambientFont() const { return parentWidget() ? parentWidget()->font() : QApplication::font(); }

QString Vantler::dataSourceName() const {
    QObject* source = picVantler->DataSource();
    return source ? source->objectName() : QString();
}

QObject* Vantler::findDataSource(const QString& name) const {
    if (name.isEmpty()) return nullptr;
    return window()->findChild<QObject*>(name);
}

// ---- pass-through properties ----

uint Vantler::BackColor() const { return picVantler->BackColor(); }

void Vantler::setBackColor(uint v) {
    picVantler->setBackColor(v);
    PropertyChanged(QStringLiteral("BackColor"));
}

int Vantler::DrawStyle() const { return picVantler->DrawStyle(); }

void Vantler::setDrawStyle(int v) {
    picVantler->setDrawStyle(toInt16(v));
    PropertyChanged(QStringLiteral("DrawStyle"));
}

int Vantler::DrawMode() const { return picVantler->DrawMode(); }

void Vantler::setDrawMode(int v) {
    picVantler->setDrawMode(toInt16(v));
    PropertyChanged(QStringLiteral("DrawMode"));
}

int Vantler::DrawWidth() const { return picVantler->DrawWidth(); }

void Vantler::setDrawWidth(int v) {
    picVantler->setDrawWidth(toInt16(v));
    PropertyChanged(QStringLiteral("DrawWidth"));
}

bool Vantler::AutoRedraw() const { return picVantler->AutoRedraw(); }

void Vantler::setAutoRedraw(bool v) {
    picVantler->setAutoRedraw(v);
    PropertyChanged(QStringLiteral("AutoRedraw"));
}

bool Vantler::ClipControls() const { return picVantler->ClipControls(); }

void Vantler::setClipControls(bool v) {
    picVantler->setClipControls(v);
    PropertyChanged(QStringLiteral("ClipControls"));
}

int Vantler::Appearance() const { return picVantler->Appearance(); }

void Vantler::setAppearance(int v) {
    picVantler->setAppearance(toInt16(v));
    PropertyChanged(QStringLiteral("Appearance"));
}

int Vantler::BorderStyle() const { return picVantler->BorderStyle(); }

void Vantler::setBorderStyle(int v) {
    picVantler->setBorderStyle(toInt16(v));
    PropertyChanged(QStringLiteral("BorderStyle"));
}

bool Vantler::CausesValidation() const { return picVantler->CausesValidation(); }

void Vantler::setCausesValidation(bool v) {
    picVantler->setCausesValidation(v);
    PropertyChanged(QStringLiteral("CausesValidation"));
}

bool Vantler::AutoSize() const { return picVantler->AutoSize(); }

void Vantler::setAutoSize(bool v) {
    picVantler->setAutoSize(v);
    PropertyChanged(QStringLiteral("AutoSize"));
}

int Vantler::Align() const { return picVantler->Align(); }

void Vantler::setAlign(int v) {
    picVantler->setAlign(toInt16(v));
    PropertyChanged(QStringLiteral("Align"));
}

QString Vantler::DataMember() const { return picVantler->DataMember(); }

void Vantler::setDataMember(const QString& v) {
    picVantler->setDataMember(v);
    PropertyChanged(QStringLiteral("DataMember"));
}

QVariant Vantler::DataFormat() const { return picVantler->DataFormat(); }

void Vantler::setDataFormat(const QVariant& v) {
    picVantler->setDataFormat(v);
    PropertyChanged(QStringLiteral("DataFormat"));
}

QObject* Vantler::DataSource() const { return picVantler->DataSource(); }

void Vantler::setDataSource(QObject* v) {
    picVantler->setDataSource(v);
    PropertyChanged(QStringLiteral("DataSource"));
}

bool Vantler::Enabled() const { return picVantler->Enabled(); }

void Vantler::letEnabled(bool v) {
    picVantler->letEnabled(v);
    PropertyChanged(QStringLiteral("Enabled"));
}

uint Vantler::FillColor() const { return picVantler->FillColor(); }

void Vantler::setFillColor(uint v) {
    picVantler->setFillColor(v);
    PropertyChanged(QStringLiteral("FillColor"));
}

int Vantler::FillStyle() const { return picVantler->FillStyle(); }

void Vantler::setFillStyle(int v) {
    picVantler->setFillStyle(toInt16(v));
    PropertyChanged(QStringLiteral("FillStyle"));
}

QFont Vantler::Font() const { return picVantler->Font(); }

void Vantler::letFont(const QFont& v) {
    picVantler->letFont(v);
    PropertyChanged(QStringLiteral("Font"));
}

bool Vantler::FontTransparent() const { return picVantler->FontTransparent(); }

void Vantler::setFontTransparent(bool v) {
    picVantler->setFontTransparent(v);
    PropertyChanged(QStringLiteral("FontTransparent"));
}

bool Vantler::FontBold() const { return picVantler->FontBold(); }

void Vantler::setFontBold(bool v) {
    picVantler->setFontBold(v);
    PropertyChanged(QStringLiteral("FontBold"));
}

bool Vantler::FontItalic() const { return picVantler->FontItalic(); }

void Vantler::setFontItalic(bool v) {
    picVantler->setFontItalic(v);
    PropertyChanged(QStringLiteral("FontItalic"));
}

bool Vantler::FontStrikethru() const { return picVantler->FontStrikethru(); }

void Vantler::setFontStrikethru(bool v) {
    picVantler->setFontStrikethru(v);
    PropertyChanged(QStringLiteral("FontStrikethru"));
}

bool Vantler::FontUnderline() const { return picVantler->FontUnderline(); }

void Vantler::setFontUnderline(bool v) {
    picVantler->setFontUnderline(v);
    PropertyChanged(QStringLiteral("FontUnderline"));
}

QString Vantler::FontName() const { return picVantler->FontName(); }

void Vantler::setFontName(const QString& v) {
    picVantler->setFontName(v);
    PropertyChanged(QStringLiteral("FontName"));
}

double Vantler::FontSize() const { return double(picVantler->FontSize()); }

void Vantler::setFontSize(double v) {
    picVantler->setFontSize(float(v));
    PropertyChanged(QStringLiteral("FontSize"));
}

uint Vantler::ForeColor() const { return picVantler->ForeColor(); }

void Vantler::setForeColor(uint v) {
    picVantler->setForeColor(v);
    PropertyChanged(QStringLiteral("ForeColor"));
}

QString Vantler::LinkItem() const { return picVantler->LinkItem(); }

void Vantler::setLinkItem(const QString& v) {
    picVantler->setLinkItem(v);
    PropertyChanged(QStringLiteral("LinkItem"));
}

QString Vantler::LinkTopic() const { return picVantler->LinkTopic(); }

void Vantler::setLinkTopic(const QString& v) {
    picVantler->setLinkTopic(v);
    PropertyChanged(QStringLiteral("LinkTopic"));
}

int Vantler::LinkMode() const { return picVantler->LinkMode(); }

void Vantler::setLinkMode(int v) {
    picVantler->setLinkMode(toInt16(v));
    PropertyChanged(QStringLiteral("LinkMode"));
}

int Vantler::LinkTimeout() const { return picVantler->LinkTimeout(); }

void Vantler::setLinkTimeout(int v) {
    picVantler->setLinkTimeout(toInt16(v));
    PropertyChanged(QStringLiteral("LinkTimeout"));
}

QPixmap Vantler::MouseIcon() const { return QPixmap::fromImage(picVantler->MouseIcon()); }

void Vantler::setMouseIcon(const QPixmap& v) {
    picVantler->setMouseIcon(v.toImage());
    PropertyChanged(QStringLiteral("MouseIcon"));
}

int Vantler::MousePointer() const { return picVantler->MousePointer(); }

void Vantler::setMousePointer(int v) {
    picVantler->setMousePointer(toInt16(v));
    PropertyChanged(QStringLiteral("MousePointer"));
}

int Vantler::OLEDragMode() const { return picVantler->OLEDragMode(); }

void Vantler::setOLEDragMode(int v) {
    picVantler->setOLEDragMode(toInt16(v));
    PropertyChanged(QStringLiteral("OLEDragMode"));
}

int Vantler::OLEDropMode() const { return picVantler->OLEDropMode(); }

void Vantler::setOLEDropMode(int v) {
    picVantler->setOLEDropMode(toInt16(v));
    PropertyChanged(QStringLiteral("OLEDropMode"));
}

QPixmap Vantler::Picture() const { return QPixmap::fromImage(picVantler->Picture()); }

void Vantler::setPicture(const QPixmap& v) {
    picVantler->setPicture(v.toImage());
    PropertyChanged(QStringLiteral("Picture"));
}

bool Vantler::RightToLeft() const { return picVantler->RightToLeft(); }

void Vantler::setRightToLeft(bool v) {
    picVantler->setRightToLeft(v);
    PropertyChanged(QStringLiteral("RightToLeft"));
}

double Vantler::ScaleHeight() const { return double(picVantler->ScaleHeight()); }

void Vantler::setScaleHeight(double v) {
    picVantler->setScaleHeight(float(v));
    PropertyChanged(QStringLiteral("ScaleHeight"));
}

double Vantler::ScaleWidth() const { return double(picVantler->ScaleWidth()); }

void Vantler::setScaleWidth(double v) {
    picVantler->setScaleWidth(float(v));
    PropertyChanged(QStringLiteral("ScaleWidth"));
}

double Vantler::ScaleLeft() const { return double(picVantler->ScaleLeft()); }

void Vantler::setScaleLeft(double v) {
    picVantler->setScaleLeft(float(v));
    PropertyChanged(QStringLiteral("ScaleLeft"));
}

double Vantler::ScaleTop() const { return double(picVantler->ScaleTop()); }

void Vantler::setScaleTop(double v) {
    picVantler->setScaleTop(float(v));
    PropertyChanged(QStringLiteral("ScaleTop"));
}

int Vantler::ScaleMode() const { return picVantler->ScaleMode(); }

void Vantler::setScaleMode(int v) {
    picVantler->setScaleMode(toInt16(v));
    PropertyChanged(QStringLiteral("ScaleMode"));
}

QString Vantler::ToolTipText() const { return picVantler->ToolTipText(); }

void Vantler::setToolTipText(const QString& v) {
    picVantler->setToolTipText(v);
    PropertyChanged(QStringLiteral("ToolTipText"));
}

double Vantler::CurrentX() const { return double(picVantler->CurrentX()); }

void Vantler::setCurrentX(double v) {
    picVantler->setCurrentX(float(v));
    PropertyChanged(QStringLiteral("CurrentX"));
}

double Vantler::CurrentY() const { return double(picVantler->CurrentY()); }

void Vantler::setCurrentY(double v) {
    picVantler->setCurrentY(float(v));
    PropertyChanged(QStringLiteral("CurrentY"));
}

// ---- own properties ----

QString Vantler::Important() const {
    if (userMode_) throw VantlerError(errPropertyNotReadableAtRunTime);
    return important_;
}

void Vantler::setImportant(const QString&) {}

void Vantler::setQuality(int quality) {
    quality_ = toInt16(quality);
    PropertyChanged(QStringLiteral("Quality"));
}

// ---- methods ----

bool Vantler::Save(const QString& asFile) {
    // What the box shows becomes its picture, so drawing done with the graphics methods is kept.
    picVantler->setPicture(picVantler->shownImage());
    cDIBSection dib;
    dib.CreateFromPicture(picVantler->Picture());
    return SaveDibAsJpeg(dib, asFile, quality_);
}

void Vantler::Cls() { picVantler->Cls(); }

void Vantler::Refresh() { picVantler->Refresh(); }

void Vantler::PaintPicture(const QPixmap& picture, double x1, double y1, const QVariant& Width1,
                           const QVariant& Height1, const QVariant& X2, const QVariant& Y2, const QVariant& Width2,
                           const QVariant& Height2, const QVariant& Opcode) {
    std::optional<std::uint32_t> opcode;
    if (Opcode.isValid()) {
        bool ok = false;
        opcode = Opcode.toUInt(&ok);
        if (!ok) throw VantlerError(errInvalidProcedureCall);
    }
    picVantler->PaintPicture(picture.toImage(), float(x1), float(y1), optionalFloat(Width1), optionalFloat(Height1),
                             optionalFloat(X2), optionalFloat(Y2), optionalFloat(Width2), optionalFloat(Height2),
                             opcode);
}

void Vantler::Line(int, double x1, double y1, double x2, double y2, uint color) {
    picVantler->Line(0, float(x1), float(y1), float(x2), float(y2), color);
}

void Vantler::PSet_(double x, double y, uint color) { picVantler->PSet(float(x), float(y), color); }

void Vantler::Scale_(const QVariant& x1, const QVariant& y1, const QVariant& x2, const QVariant& y2) {
    const auto a = optionalFloat(x1), b = optionalFloat(y1), c = optionalFloat(x2), d = optionalFloat(y2);
    if (!a && !b && !c && !d) {
        picVantler->Scale();
    } else if (a && b && c && d) {
        picVantler->Scale(*a, *b, *c, *d);
    } else {
        throw VantlerError(errInvalidProcedureCall);  // the corners come in full pairs or not at all
    }
}

double Vantler::ScaleX(double Width, const QVariant& FromScale, const QVariant& ToScale) {
    return picVantler->ScaleX(float(Width), optionalScale(FromScale).value_or(vbHimetric), optionalScale(ToScale));
}

double Vantler::ScaleY(double Height, const QVariant& FromScale, const QVariant& ToScale) {
    return picVantler->ScaleY(float(Height), optionalScale(FromScale).value_or(vbHimetric), optionalScale(ToScale));
}

double Vantler::TextHeight(const QString& text) { return picVantler->TextHeight(text); }

double Vantler::TextWidth(const QString& text) { return picVantler->TextWidth(text); }

// ---- persistence ----

void Vantler::InitProperties() {
    important_ = kImportantNote;
    quality_ = kDefaultQuality;
    changed_.clear();
}

void Vantler::ReadProperties(const PropertyBag& bag) {
    for (const PersistedProperty& p : PersistedProperty::table())
        p.apply(*this, bag.ReadProperty(QString::fromLatin1(p.name), p.defaultValue(*this)));
    important_ = bag.ReadProperty(QStringLiteral("Important"), kImportantNote).toString();
    quality_ = toInt16(bag.ReadProperty(QStringLiteral("Quality"), int(kDefaultQuality)).toInt());
    changed_.clear();  // what was just read is what is stored
}

void Vantler::WriteProperties(PropertyBag& bag) const {
    for (const PersistedProperty& p : PersistedProperty::table())
        bag.WriteProperty(QString::fromLatin1(p.name), p.get(*this), p.defaultValue(*this));
    bag.WriteProperty(QStringLiteral("Important"), important_, kImportantNote);
    bag.WriteProperty(QStringLiteral("Quality"), int(quality_), int(kDefaultQuality));
}

}  // namespace vantler
