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
#include <type_traits>

namespace vantler {
namespace {

std::atomic<int> liveControls{0};

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

// ---- the box's values ----
// The box keeps an int as a 16-bit integer (error 6 when it does not fit), a double as a
// single and a QPixmap as a QImage; everything else it keeps as the control gives it.

std::int16_t toBox(int value) { return toInt16(value); }
float toBox(double value) { return float(value); }
QImage toBox(const QPixmap& value) { return value.toImage(); }
template <class T>
const T& toBox(const T& value) {
    return value;
}

int fromBox(std::int16_t value) { return value; }
double fromBox(float value) { return double(value); }
QPixmap fromBox(const QImage& value) { return QPixmap::fromImage(value); }
template <class T>
T fromBox(const T& value) {
    return value;
}

// ---- the values a property bag keeps ----
// 16-bit integers as int, no picture as no value, everything else as it is.

QImage imageOf(const QVariant& v) {
    if (v.canConvert<QImage>()) return v.value<QImage>();
    if (v.canConvert<QPixmap>()) return v.value<QPixmap>().toImage();
    return {};
}

template <class T>
QVariant toStored(const T& value) {
    if constexpr (std::is_same_v<T, std::int16_t>)
        return int(value);
    else if constexpr (std::is_same_v<T, QImage>)
        return value.isNull() ? QVariant() : QVariant(value);
    else if constexpr (std::is_same_v<T, QVariant>)
        return value;
    else
        return QVariant::fromValue(value);
}

template <class T>
T fromStored(const QVariant& v) {
    if constexpr (std::is_same_v<T, std::int16_t>)
        return toInt16(v.toInt());
    else if constexpr (std::is_same_v<T, quint32>)
        return v.toUInt();
    else if constexpr (std::is_same_v<T, float>)
        return v.toFloat();
    else if constexpr (std::is_same_v<T, bool>)
        return v.toBool();
    else if constexpr (std::is_same_v<T, QString>)
        return v.toString();
    else if constexpr (std::is_same_v<T, QImage>)
        return imageOf(v);
    else if constexpr (std::is_same_v<T, QPixmap>)
        return QPixmap::fromImage(imageOf(v));
    else if constexpr (std::is_same_v<T, QVariant>)
        return v;
    else
        return v.value<T>();
}

// ---- the rules of the table's last column ----
// Each gets the value to store from the box and applies a stored value, given the box's getter,
// the box's setter and the control's setter of the property.

struct OnBox {
    template <class T>
    static QVariant get(const Vantler& control, T (PictureBox::*read)() const) {
        return toStored((control.box()->*read)());
    }
    template <class BoxArg, class ControlArg>
    static void apply(Vantler& control, const QVariant& stored, void (PictureBox::*write)(BoxArg),
                      void (Vantler::*)(ControlArg)) {
        (control.box()->*write)(fromStored<std::remove_cvref_t<BoxArg>>(stored));
    }
};

struct ThroughControl : OnBox {
    template <class BoxArg, class ControlArg>
    static void apply(Vantler& control, const QVariant& stored, void (PictureBox::*)(BoxArg),
                      void (Vantler::*write)(ControlArg)) {
        (control.*write)(fromStored<std::remove_cvref_t<ControlArg>>(stored));
    }
};

struct ByObjectName {
    static QVariant get(const Vantler& control, QObject* (PictureBox::*read)() const) {
        const QObject* object = (control.box()->*read)();
        return object ? object->objectName() : QString();
    }
    static void apply(Vantler& control, const QVariant& stored, void (PictureBox::*)(QObject*),
                      void (Vantler::*write)(QObject*)) {
        const QString name = stored.toString();
        (control.*write)(name.isEmpty() ? nullptr : control.window()->findChild<QObject*>(name));
    }
};

struct WhenGiven : OnBox {
    template <class BoxArg, class ControlArg>
    static void apply(Vantler& control, const QVariant& stored, void (PictureBox::*write)(BoxArg),
                      void (Vantler::*)(ControlArg)) {
        const auto value = fromStored<std::remove_cvref_t<BoxArg>>(stored);
        if (given(value)) (control.box()->*write)(value);
    }
    static bool given(const QString& text) { return !text.isEmpty(); }
    static bool given(float number) { return number > 0.0f; }
};

struct UnlessZero : OnBox {
    template <class BoxArg, class ControlArg>
    static void apply(Vantler& control, const QVariant& stored, void (PictureBox::*write)(BoxArg),
                      void (Vantler::*)(ControlArg)) {
        const auto value = fromStored<std::remove_cvref_t<BoxArg>>(stored);
        if (value != 0) (control.box()->*write)(value);
    }
};

// One stored property: its key, the value a fresh control stores, and how the stored value is
// taken from the control and applied to it.
struct PersistedProperty {
    const char* key;
    QVariant (*defaultValue)(const Vantler&);
    QVariant (*get)(const Vantler&);
    void (*apply)(Vantler&, const QVariant&);
};

#define VANTLER_PERSISTED(Name, Type, Setter, Default, Rule)                                          \
    PersistedProperty{#Name, []([[maybe_unused]] const Vantler& control) { return QVariant(Default); }, \
                      [](const Vantler& control) { return Rule::get(control, &PictureBox::Name); },    \
                      [](Vantler& control, const QVariant& stored) {                                  \
                          Rule::apply(control, stored, &PictureBox::Setter, &Vantler::Setter);        \
                      }},
constexpr PersistedProperty kPersisted[] = {VANTLER_PASS_THROUGH_PROPERTIES(VANTLER_PERSISTED)};
#undef VANTLER_PERSISTED

}  // namespace

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

void Vantler::fillWithBox() {
    // A control that is not on screen gets its resize event only once it is shown: the box is made
    // to fill it here too, before anything draws on it, reads its size or saves it.
    if (picVantler->geometry() != rect()) {
        picVantler->setGeometry(rect());
        picVantler->syncSize();
    }
}

void Vantler::boxResized() {
    // The box changed its own size (AutoSize, or following the control): the control follows.
    if (size() != picVantler->size()) resize(picVantler->size());
    emit Resize();
}

QFont Vantler::ambientFont() const { return parentWidget() ? parentWidget()->font() : QApplication::font(); }

// ---- pass-through properties ----

#define VANTLER_DEFINE_PASS_THROUGH(Name, Type, Setter, Default, Rule) \
    Type Vantler::Name() const { return fromBox(picVantler->Name()); } \
    void Vantler::Setter(PassedAs<Type> value) {                        \
        fillWithBox();                                                  \
        picVantler->Setter(toBox(value));                               \
        PropertyChanged(QStringLiteral(#Name));                         \
    }
VANTLER_PASS_THROUGH_PROPERTIES(VANTLER_DEFINE_PASS_THROUGH)
#undef VANTLER_DEFINE_PASS_THROUGH

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
    fillWithBox();
    // With no drawing area (a control no larger than its border) there is nothing to write, and
    // the picture stays: an empty image in its place would lose it.
    const QImage shown = picVantler->shownImage();
    if (shown.isNull()) return false;
    // What the box shows becomes its picture, so drawing done with the graphics methods is kept.
    picVantler->setPicture(shown);
    cDIBSection dib;
    dib.CreateFromPicture(picVantler->Picture());
    return SaveDibAsJpeg(dib, asFile, quality_);
}

void Vantler::Cls() {
    fillWithBox();
    picVantler->Cls();
}

void Vantler::Refresh() {
    fillWithBox();
    picVantler->Refresh();
}

void Vantler::PaintPicture(const QPixmap& picture, double x1, double y1, const QVariant& Width1,
                           const QVariant& Height1, const QVariant& X2, const QVariant& Y2, const QVariant& Width2,
                           const QVariant& Height2, const QVariant& Opcode) {
    fillWithBox();
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
    fillWithBox();
    picVantler->Line(0, float(x1), float(y1), float(x2), float(y2), color);
}

void Vantler::PSet_(double x, double y, uint color) {
    fillWithBox();
    picVantler->PSet(float(x), float(y), color);
}

void Vantler::Scale_(const QVariant& x1, const QVariant& y1, const QVariant& x2, const QVariant& y2) {
    fillWithBox();
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
    fillWithBox();
    return picVantler->ScaleX(float(Width), optionalScale(FromScale).value_or(vbHimetric), optionalScale(ToScale));
}

double Vantler::ScaleY(double Height, const QVariant& FromScale, const QVariant& ToScale) {
    fillWithBox();
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
    for (const PersistedProperty& p : kPersisted)
        p.apply(*this, bag.ReadProperty(QString::fromLatin1(p.key), p.defaultValue(*this)));
    important_ = bag.ReadProperty(QStringLiteral("Important"), kImportantNote).toString();
    quality_ = toInt16(bag.ReadProperty(QStringLiteral("Quality"), int(kDefaultQuality)).toInt());
    changed_.clear();  // what was just read is what is stored
}

void Vantler::WriteProperties(PropertyBag& bag) const {
    for (const PersistedProperty& p : kPersisted)
        bag.WriteProperty(QString::fromLatin1(p.key), p.get(*this), p.defaultValue(*this));
    bag.WriteProperty(QStringLiteral("Important"), important_, kImportantNote);
    bag.WriteProperty(QStringLiteral("Quality"), int(quality_), int(kDefaultQuality));
}

}  // namespace vantler
