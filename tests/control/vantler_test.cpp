// The Vantler control: Save and Quality, Important, persistence through property bags,
// pass-through properties, late binding (drawing, events and sizing are in vantler_drawing_test.cpp).
#include "control_error.h"
#include "dib_section.h"
#include "jpeg_inspect.h"
#include "property_bag.h"
#include "vantler.h"
#include "vantler_properties.h"
#include "vantler_checks.h"

#include <QApplication>
#include <QFileInfo>
#include <QImageReader>
#include <QMetaObject>
#include <QMouseEvent>
#include <QMetaProperty>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <ostream>

using testvantler::errorOf;
using testvantler::isRed;
using testvantler::kRed;
using vantler::Vantler;

namespace {

int savedQuality(const QString& path) {
    const auto table = testjpeg::luminanceTable(path);
    if (!table) return -1;
    for (int q = 1; q <= 100; ++q)
        if (*table == testjpeg::expectedLuminanceTable(q)) return q;
    return 0;
}

class ControlTest : public ::testing::Test {
protected:
    QString file(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

}  // namespace

// ---- Save and Quality ----

TEST_F(ControlTest, FreshControlSavesAtQuality95) {
    Vantler control;
    control.InitProperties();
    EXPECT_EQ(control.Quality(), 95);
    ASSERT_TRUE(control.Save(file("fresh.jpg")));
    EXPECT_EQ(savedQuality(file("fresh.jpg")), 95);
    const QImage decoded(file("fresh.jpg"));
    EXPECT_EQ(decoded.size(), control.box()->contentsRect().size()) << "the drawing area is saved, not the border";
}

TEST_F(ControlTest, QualitySetAtRunTimeIsUsedBySave) {
    Vantler control;
    QImage noise(60, 60, QImage::Format_RGB32);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x) noise.setPixel(x, y, qRgb((x * 37) % 256, (y * 91) % 256, (x * y) % 256));
    control.PaintPicture(QPixmap::fromImage(noise), 0, 0);
    ASSERT_TRUE(control.Save(file("q95.jpg")));
    control.setQuality(40);
    ASSERT_TRUE(control.Save(file("q40.jpg")));
    EXPECT_EQ(savedQuality(file("q40.jpg")), 40);
    EXPECT_LT(QFileInfo(file("q40.jpg")).size(), QFileInfo(file("q95.jpg")).size());
}

TEST_F(ControlTest, StoredQualityAppliesWithoutBeingSet) {
    vantler::MemoryPropertyBag bag;
    bag.WriteProperty(QStringLiteral("Quality"), 40, 95);
    Vantler control;
    control.ReadProperties(bag);
    ASSERT_TRUE(control.Save(file("stored.jpg")));
    EXPECT_EQ(savedQuality(file("stored.jpg")), 40);
}

TEST_F(ControlTest, QualityOutsideSixteenBitsIsOverflowAndNoRangeIsEnforcedInside) {
    Vantler control;
    EXPECT_EQ(errorOf([&] { control.setQuality(40000); }), vantler::errOverflow);
    EXPECT_EQ(control.Quality(), 95);
    control.setQuality(0);
    EXPECT_EQ(control.Quality(), 0);
    control.setQuality(300);
    EXPECT_EQ(control.Quality(), 300);
    EXPECT_FALSE(control.Save(file("q300.jpg"))) << "the encoder refuses 300: reported, not hidden";
}

TEST_F(ControlTest, LineDrawnOnTheControlIsInTheSavedJpeg) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.setDrawWidth(3);
    control.Line(0, 10, 50, 80, 50, kRed);
    ASSERT_TRUE(control.Save(file("line.jpg")));
    const QImage saved(file("line.jpg"));
    ASSERT_FALSE(saved.isNull());
    EXPECT_TRUE(isRed(saved.pixelColor(40, 50))) << saved.pixelColor(40, 50).name().toStdString();
    EXPECT_FALSE(isRed(saved.pixelColor(40, 30)));
    EXPECT_TRUE(isRed(QColor(control.Picture().toImage().pixel(40, 50)))) << "the drawing became the picture";
}

// The box fills the control whether or not the control is on screen: a host that sizes the
// control and saves without showing it (a batch job) gets a JPEG of the control's size, with what
// was drawn across all of it, as one that shows it first does.
TEST_F(ControlTest, AControlSizedWhileHiddenSavesItsOwnSize) {
    auto drawAndSave = [this](Vantler& control, const QString& name) {
        control.resize(160, 40);
        control.setScaleMode(vantler::vbPixels);
        control.setDrawWidth(3);
        control.Line(0, 2, 20, 150, 20, kRed);
        EXPECT_TRUE(control.Save(file(name)));
        return QImage(file(name));
    };
    QWidget form;
    auto* shownControl = new Vantler(&form);
    form.show();
    const QImage shown = drawAndSave(*shownControl, QStringLiteral("shown.jpg"));
    Vantler hidden;
    const QImage saved = drawAndSave(hidden, QStringLiteral("hidden.jpg"));
    ASSERT_FALSE(shown.isNull());
    ASSERT_FALSE(saved.isNull());
    EXPECT_EQ(saved.size(), shown.size());
    EXPECT_EQ(hidden.box()->size(), hidden.size());
    EXPECT_LE(saved.width(), 160);
    EXPECT_GT(saved.width(), 150);
    EXPECT_TRUE(isRed(saved.pixelColor(140, 20))) << "the line's far end, beyond the box's first size";
}

TEST_F(ControlTest, ASaveWithNoDrawingAreaFailsAndKeepsThePicture) {
    Vantler control;
    control.resize(104, 84);
    QImage picture = testvantler::filled(100, 80, qRgb(200, 10, 10));
    control.setPicture(QPixmap::fromImage(picture));
    control.resize(104, 3);  // no higher than its border, as in a splitter pulled shut
    EXPECT_FALSE(control.Save(file("collapsed.jpg")));
    EXPECT_FALSE(QFileInfo::exists(file("collapsed.jpg")));
    control.resize(104, 84);
    EXPECT_EQ(control.Picture().toImage().convertToFormat(QImage::Format_RGB32), picture);
    ASSERT_TRUE(control.Save(file("reopened.jpg")));
    EXPECT_TRUE(isRed(QImage(file("reopened.jpg")).pixelColor(50, 40)));
}

TEST_F(ControlTest, APictureFromAHighDensityScreenIsShownAndSavedPixelForPixel) {
    // What a widget's grab gives on a screen at twice the density: 60 x 40 pixels for 30 x 20 points.
    QImage picture = testvantler::filled(60, 40, qRgb(10, 200, 10));
    picture.setDevicePixelRatio(2.0);
    Vantler control;
    control.setAutoSize(true);
    control.setPicture(QPixmap::fromImage(picture));
    EXPECT_EQ(control.box()->contentsRect().size(), QSize(60, 40));
    EXPECT_EQ(control.box()->Image().pixel(59, 39), qRgb(10, 200, 10)) << "the picture fills the box";
    ASSERT_TRUE(control.Save(file("dense.jpg")));
    const QImage saved(file("dense.jpg"));
    ASSERT_EQ(saved.size(), QSize(60, 40));
    for (const QPoint corner : {QPoint(0, 0), QPoint(59, 0), QPoint(0, 39), QPoint(59, 39)})
        EXPECT_GT(saved.pixelColor(corner).green(), 180) << corner.x() << "," << corner.y();
}

TEST_F(ControlTest, LineIgnoresItsFlagsAndDrawsAPlainLine) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.Line(vantler::LineBox | vantler::LineFilled, 10, 10, 40, 40, kRed);
    const QImage shown = control.box()->shownImage();
    EXPECT_TRUE(isRed(shown.pixelColor(25, 25))) << "on the diagonal";
    EXPECT_FALSE(isRed(shown.pixelColor(35, 15))) << "inside the box a filled box would cover";
    EXPECT_FLOAT_EQ(control.CurrentX(), 40);
    EXPECT_FLOAT_EQ(control.CurrentY(), 40);
}

// ---- Important ----

TEST(Important, ReadingAtRunTimeIsError393AndAssignmentsChangeNothing) {
    Vantler control;
    control.InitProperties();
    EXPECT_EQ(errorOf([&] { (void)control.Important(); }), vantler::errPropertyNotReadableAtRunTime);
    EXPECT_EQ(errorOf([&] { (void)control.property("Important"); }), vantler::errPropertyNotReadableAtRunTime)
        << "a late-bound read fails the same way";
    control.setImportant(QStringLiteral("something else"));
    control.setUserMode(false);
    EXPECT_EQ(control.Important(), QStringLiteral("Don't forget to include the file 'ravenjpeg.dll' with your setup"));
    EXPECT_TRUE(control.setProperty("Important", QStringLiteral("via meta-object")));
    EXPECT_EQ(control.property("Important").toString(), vantler::kImportantNote);
}

// ---- persistence ----

TEST(Persistence, FreshControlStoresNoValueEqualToItsDefault) {
    Vantler control;
    control.InitProperties();
    vantler::MemoryPropertyBag bag;
    control.WriteProperties(bag);
    QStringList expected = {QStringLiteral("FontName"), QStringLiteral("FontSize")};  // the box's own font
    if (control.box()->twipsPerPixelX() != 15 || control.box()->twipsPerPixelY() != 15)
        expected << QStringLiteral("ScaleHeight") << QStringLiteral("ScaleWidth");  // stored defaults are at 96 dpi
    EXPECT_EQ(bag.names(), expected);
}

TEST(Persistence, ChangedValuesAreStoredAndRemovedWhenBackAtTheDefault) {
    Vantler control;
    vantler::MemoryPropertyBag bag;
    control.setQuality(40);
    control.setDrawWidth(3);
    control.WriteProperties(bag);
    EXPECT_EQ(bag.value(QStringLiteral("Quality")).toInt(), 40);
    EXPECT_EQ(bag.value(QStringLiteral("DrawWidth")).toInt(), 3);
    control.setDrawWidth(1);
    control.WriteProperties(bag);
    EXPECT_FALSE(bag.contains(QStringLiteral("DrawWidth")));
    EXPECT_TRUE(bag.contains(QStringLiteral("Quality")));
}

TEST(Persistence, SettingsBagRoundTripsTheStoredSet) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("form.ini"));
    QImage picture = testvantler::filled(20, 10, qRgb(12, 34, 56));
    {
        Vantler control;
        control.setBackColor(0x00336699);
        control.setDrawWidth(4);
        control.setDrawMode(7);
        control.setAutoRedraw(true);
        control.setToolTipText(QStringLiteral("a tip"));
        control.setFontBold(true);
        control.setPicture(QPixmap::fromImage(picture));
        control.setQuality(40);
        control.setScaleMode(vantler::vbPixels);
        control.setCurrentX(7.5);
        QSettings settings(ini, QSettings::IniFormat);
        vantler::SettingsPropertyBag bag(settings, QStringLiteral("vantler1"));
        control.WriteProperties(bag);
    }
    QSettings settings(ini, QSettings::IniFormat);
    vantler::SettingsPropertyBag bag(settings, QStringLiteral("vantler1"));
    Vantler control;
    control.ReadProperties(bag);
    EXPECT_EQ(control.BackColor(), 0x00336699u);
    EXPECT_EQ(control.DrawWidth(), 4);
    EXPECT_EQ(control.DrawMode(), 7);
    EXPECT_TRUE(control.AutoRedraw());
    EXPECT_EQ(control.ToolTipText(), QStringLiteral("a tip"));
    EXPECT_TRUE(control.FontBold());
    EXPECT_EQ(control.Picture().toImage().convertToFormat(QImage::Format_RGB32), picture);
    EXPECT_EQ(control.Quality(), 40);
    EXPECT_EQ(control.ScaleMode(), vantler::vbPixels);
    EXPECT_DOUBLE_EQ(control.ScaleWidth(), control.box()->contentsRect().width());
    EXPECT_DOUBLE_EQ(control.CurrentX(), 7.5);
    EXPECT_EQ(control.ClipControls(), true);
}

TEST(Persistence, AControlWithoutADrawingAreaIsReadBackWhole) {
    // A control no higher than its border has a drawing area 0 high, so its scale height is 0.
    vantler::MemoryPropertyBag bag;
    {
        Vantler flat;
        flat.resize(120, 4);
        flat.setQuality(50);
        flat.setDrawWidth(2);
        ASSERT_EQ(flat.ScaleHeight(), 0.0);
        flat.WriteProperties(bag);
    }
    Vantler control;
    EXPECT_EQ(errorOf([&] { control.ReadProperties(bag); }), 0);
    EXPECT_EQ(control.Quality(), 50);
    EXPECT_EQ(control.DrawWidth(), 2);
    EXPECT_EQ(control.ScaleMode(), vantler::vbTwips);
    EXPECT_GT(control.ScaleHeight(), 0.0);

    // A user scale running right to left keeps its negative width.
    vantler::MemoryPropertyBag flipped;
    {
        Vantler source;
        source.Scale_(100, 0, 0, 50);
        source.WriteProperties(flipped);
    }
    Vantler again;
    again.ReadProperties(flipped);
    EXPECT_EQ(again.ScaleMode(), vantler::vbUser);
    EXPECT_DOUBLE_EQ(again.ScaleLeft(), 100.0);
    EXPECT_DOUBLE_EQ(again.ScaleWidth(), -100.0);
    EXPECT_DOUBLE_EQ(again.ScaleHeight(), 50.0);
}

// ---- the property table ----

struct TableRow {
    const char* name;
    QMetaType type;
};

#define VANTLER_TABLE_ROW(Name, Type, Setter, Default, Rule) TableRow{#Name, QMetaType::fromType<Type>()},
const TableRow kTable[] = {VANTLER_PASS_THROUGH_PROPERTIES(VANTLER_TABLE_ROW)};
#undef VANTLER_TABLE_ROW

TEST(PropertyTable, StoredPropertiesOfTheControlAreTheTableRowsThenImportantAndQuality) {
    const QMetaObject& meta = Vantler::staticMetaObject;
    QStringList declared;
    for (int i = meta.propertyOffset(); i < meta.propertyCount(); ++i)
        if (meta.property(i).isStored()) declared << QString::fromLatin1(meta.property(i).name());
    QStringList table;
    for (const TableRow& row : kTable) table << QString::fromLatin1(row.name);
    table << QStringLiteral("Important") << QStringLiteral("Quality");
    EXPECT_EQ(declared.join(QLatin1Char(' ')).toStdString(), table.join(QLatin1Char(' ')).toStdString());
}

TEST(PropertyTable, EachRowIsAMetaPropertyOfItsTypeWhoseWriteMarksItChanged) {
    Vantler control;
    for (const TableRow& row : kTable) {
        const QMetaProperty property = control.metaObject()->property(control.metaObject()->indexOfProperty(row.name));
        if (!property.isValid()) {
            ADD_FAILURE() << row.name << " is not a property of the control";
            continue;
        }
        EXPECT_EQ(property.metaType(), row.type) << row.name;
        control.InitProperties();
        EXPECT_TRUE(property.write(&control, property.read(&control))) << row.name;
        EXPECT_EQ(control.changedProperties().join(QLatin1Char(' ')).toStdString(), row.name);
    }
}

// ---- pass-through properties ----

TEST(PassThrough, WritesReachTheBoxAndMarkThePropertyChanged) {
    Vantler control;
    control.InitProperties();
    QSignalSpy spy(&control, &Vantler::propertyChanged);
    control.setDrawWidth(5);
    control.setForeColor(kRed);
    control.setScaleLeft(10);
    control.setQuality(60);
    control.setDrawWidth(6);
    EXPECT_EQ(control.box()->DrawWidth(), 6);
    EXPECT_EQ(control.box()->ForeColor(), kRed);
    EXPECT_EQ(control.box()->ScaleMode(), vantler::vbUser) << "setting a scale property switches to user scale";
    EXPECT_EQ(control.changedProperties(),
              (QStringList{"DrawWidth", "ForeColor", "ScaleLeft", "Quality"}));
    EXPECT_EQ(spy.count(), 5);
}

struct InvalidCase {
    const char* name;
    std::function<void(Vantler&)> assign;
    int error;
    friend std::ostream& operator<<(std::ostream& o, const InvalidCase& c) { return o << c.name; }
};

class InvalidValue : public ::testing::TestWithParam<InvalidCase> {};

TEST_P(InvalidValue, ReachesTheCallerUnchanged) {
    Vantler control;
    EXPECT_EQ(errorOf([&] { GetParam().assign(control); }), GetParam().error);
    EXPECT_TRUE(control.changedProperties().isEmpty()) << "a refused value is not marked changed";
}

INSTANTIATE_TEST_SUITE_P(
    Properties, InvalidValue,
    ::testing::Values(InvalidCase{"DrawWidthZero", [](Vantler& c) { c.setDrawWidth(0); }, 380},
                      InvalidCase{"DrawModeSeventeen", [](Vantler& c) { c.setDrawMode(17); }, 380},
                      InvalidCase{"ColourWithHighByte", [](Vantler& c) { c.setBackColor(0x01000000); }, 380},
                      InvalidCase{"UnknownSystemColour", [](Vantler& c) { c.setForeColor(0x80000040); }, 380},
                      InvalidCase{"ScaleWidthZero", [](Vantler& c) { c.setScaleWidth(0); }, 380},
                      InvalidCase{"ScaleModeEight", [](Vantler& c) { c.setScaleMode(8); }, 380},
                      InvalidCase{"MousePointerTwenty", [](Vantler& c) { c.setMousePointer(20); }, 380},
                      InvalidCase{"DrawStyleBeyondSixteenBits", [](Vantler& c) { c.setDrawStyle(70000); }, 6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PassThrough, FreshControlDrawsInTwipsWithTheCopyPenOnTheButtonFace) {
    Vantler control;
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);
    EXPECT_EQ(control.ForeColor(), 0x80000012u);
    EXPECT_EQ(control.DrawMode(), 13);
    EXPECT_EQ(control.FillStyle(), 1);
    EXPECT_EQ(control.LinkTimeout(), 50);
    EXPECT_EQ(control.ScaleMode(), vantler::vbTwips);
    const int tpp = control.box()->twipsPerPixelX();
    EXPECT_DOUBLE_EQ(control.ScaleWidth(), control.box()->contentsRect().width() * tpp);
    EXPECT_EQ(control.box()->shownImage().pixelColor(5, 5), control.box()->palette().color(QPalette::Button))
        << "the background is the system button face";
}

// ---- late binding ----

TEST_F(ControlTest, MethodsAndPropertiesWorkThroughTheMetaObject) {
    Vantler control;
    QObject* host = &control;
    EXPECT_TRUE(host->setProperty("ScaleMode", 3));
    EXPECT_TRUE(host->setProperty("DrawWidth", 3));
    EXPECT_TRUE(host->setProperty("Quality", 40));
    EXPECT_EQ(host->property("Quality").toInt(), 40);
    EXPECT_TRUE(QMetaObject::invokeMethod(host, "Line", Q_ARG(int, 0), Q_ARG(double, 5), Q_ARG(double, 30),
                                          Q_ARG(double, 60), Q_ARG(double, 30), Q_ARG(uint, kRed)));
    double twips = 0;
    EXPECT_TRUE(QMetaObject::invokeMethod(host, "ScaleX", Q_RETURN_ARG(double, twips), Q_ARG(double, 1),
                                          Q_ARG(QVariant, 5), Q_ARG(QVariant, 1)));
    EXPECT_DOUBLE_EQ(twips, 1440.0);
    bool saved = false;
    EXPECT_TRUE(QMetaObject::invokeMethod(host, "Save", Q_RETURN_ARG(bool, saved), Q_ARG(QString, file("late.jpg"))));
    EXPECT_TRUE(saved);
    EXPECT_EQ(savedQuality(file("late.jpg")), 40);
    EXPECT_TRUE(isRed(QImage(file("late.jpg")).pixelColor(30, 30)));
    for (const char* signature : {"Cls()", "Refresh()", "PaintPicture(QPixmap,double,double)", "PSet_(double,double,uint)",
                                  "Scale_()", "Scale_(QVariant,QVariant,QVariant,QVariant)", "ScaleY(double)",
                                  "TextHeight(QString)", "TextWidth(QString)"})
        EXPECT_GE(control.metaObject()->indexOfMethod(signature), 0) << signature;
}
