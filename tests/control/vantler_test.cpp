// The Vantler control: Save and Quality, Important, persistence through property bags,
// pass-through properties, drawing, events with by-reference arguments, sizing, late binding.
#include "control_error.h"
#include "dib_section.h"
#include "jpeg_inspect.h"
#include "property_bag.h"
#include "vantler.h"
#include "vantler_properties.h"

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

using vantler::Vantler;

namespace {

constexpr uint kRed = 0x0000FF;  // colour values are 0x00BBGGRR

int errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const vantler::VantlerError& e) {
        return e.number();
    }
    return 0;
}

int savedQuality(const QString& path) {
    const auto table = testjpeg::luminanceTable(path);
    if (!table) return -1;
    for (int q = 1; q <= 100; ++q)
        if (*table == testjpeg::expectedLuminanceTable(q)) return q;
    return 0;
}

bool isRed(const QColor& c) { return c.red() > 170 && c.green() < 100 && c.blue() < 100; }

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
    QImage picture(100, 80, QImage::Format_RGB32);
    picture.fill(qRgb(200, 10, 10));
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
    QImage picture(60, 40, QImage::Format_RGB32);
    picture.fill(qRgb(10, 200, 10));
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
    QImage picture(20, 10, QImage::Format_RGB32);
    picture.fill(qRgb(12, 34, 56));
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

// ---- drawing in scale units ----

TEST(Drawing, UserScaleMapsCornersToTheDrawingArea) {
    Vantler control;
    control.Scale_(0, 0, 10, 10);
    const QSize area = control.box()->contentsRect().size();
    control.PSet_(5, 5, kRed);
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(area.width() / 2, area.height() / 2)));
    control.Scale_();
    EXPECT_EQ(control.ScaleMode(), vantler::vbTwips);
    EXPECT_EQ(errorOf([&] { control.Scale_(1, 2); }), vantler::errInvalidProcedureCall);
}

TEST(Drawing, XorPenTwiceRestoresTheBackground) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    const QImage before = control.box()->shownImage();
    control.setDrawMode(7);
    control.Line(0, 5, 5, 60, 40, 0x00FFFFFF);
    EXPECT_NE(control.box()->shownImage(), before);
    control.Line(0, 5, 5, 60, 40, 0x00FFFFFF);
    EXPECT_EQ(control.box()->shownImage(), before);
}

TEST(Drawing, PaintPictureWithSourceInvertTwiceRestores) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(qRgb(0x5A, 0x0F, 0xC3));
    const QImage before = control.box()->shownImage();
    control.PaintPicture(QPixmap::fromImage(picture), 3, 4, {}, {}, {}, {}, {}, {}, 0x00660046u);
    const QColor once = control.box()->shownImage().pixelColor(5, 6);
    EXPECT_EQ(once.red(), before.pixelColor(5, 6).red() ^ 0x5A);
    control.PaintPicture(QPixmap::fromImage(picture), 3, 4, {}, {}, {}, {}, {}, {}, 0x00660046u);
    EXPECT_EQ(control.box()->shownImage(), before);
}

// A picture stretched beyond what the box can make is refused with an error number, leaving the
// box as it was and Qt's own out-of-memory line unsaid; a large stretch that can be made is drawn.
TEST(Drawing, PaintPictureRefusesAStretchTooLargeToMake) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(qRgb(200, 30, 30));
    const QPixmap pixmap = QPixmap::fromImage(picture);
    const QImage before = control.box()->shownImage();
    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { logged << text; });
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 1e9, 1e9); }), vantler::errOutOfMemory);
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 1e9, 20); }), vantler::errOutOfMemory);
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 20, 20, 0, 0, 1e9, 1e9); }), vantler::errOutOfMemory);
    // Sizes and places beyond 32 bits are overflows, never converted with undefined results.
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 1e12, 20); }), vantler::errOverflow);
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 1e12, 0); }), vantler::errOverflow);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(logged.isEmpty()) << logged.join(QStringLiteral("\n")).toStdString();
    EXPECT_EQ(control.box()->shownImage(), before);

    // Stretched well past the box, the part that lands on it is drawn.
    EXPECT_EQ(errorOf([&] { control.PaintPicture(pixmap, 0, 0, 4000, 4000); }), 0);
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(30, 30)));
}

TEST(Drawing, ClsKeepsPersistentDrawingWhenAutoRedrawIsOff) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.setAutoRedraw(true);
    control.PSet_(3, 3, kRed);
    control.setAutoRedraw(false);
    control.PSet_(9, 9, kRed);
    control.Cls();
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(3, 3)));
    EXPECT_FALSE(isRed(control.box()->shownImage().pixelColor(9, 9)));
    EXPECT_TRUE(isRed(control.Image().toImage().pixelColor(3, 3)));
}

TEST(Drawing, CharacterHeightIsTwiceItsWidthInTwips) {
    Vantler control;
    EXPECT_NEAR(control.ScaleY(1, 4, 1), 240.0, 1e-3);
    EXPECT_GT(control.TextWidth(QStringLiteral("WWWW")), control.TextWidth(QStringLiteral("W")));
    EXPECT_NEAR(control.TextHeight(QStringLiteral("a\nb")), 2 * control.TextHeight(QStringLiteral("a")), 1e-3);
}

TEST(Drawing, TheBoxContextFeedsBlockCopies) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.setAutoRedraw(true);
    control.PSet_(2, 3, kRed);
    vantler::cDIBSection dib;
    ASSERT_TRUE(dib.Create(10, 10));
    ASSERT_NE(control.hdc(), 0u);
    dib.LoadPictureBlt(control.hdc(), 0, 0, -1, -1, vantler::gdi::SRCCOPY);
    EXPECT_EQ(dib.Byte(6, 6), 0);  // pixel (2, 3) from the top is storage row 10 - 1 - 3
    EXPECT_EQ(dib.Byte(6, 7), 0);
    EXPECT_EQ(dib.Byte(6, 8), 255);
    dib.PaintPicture(control.hdc(), 5, 5, 1, 1, 2, 3, vantler::gdi::SRCCOPY);  // block coordinates count from the top
    EXPECT_TRUE(isRed(control.Image().toImage().pixelColor(5, 5))) << "and copies back into the box";
}

// ---- events ----

TEST(Events, MouseArgumentsAreInScaleUnitsAndClickFollowsMouseUp) {
    Vantler control;
    control.show();
    QStringList order;
    float downX = -1, downY = -1;
    short downButton = 0;
    QObject::connect(&control, &Vantler::MouseDown, [&](short& b, short&, float& x, float& y) {
        order << "MouseDown";
        downButton = b;
        downX = x;
        downY = y;
    });
    QObject::connect(&control, &Vantler::MouseUp, [&](short&, short&, float&, float&) { order << "MouseUp"; });
    QObject::connect(&control, &Vantler::Click, [&] { order << "Click"; });
    QObject::connect(&control, &Vantler::DblClick, [&] { order << "DblClick"; });
    const QPoint origin = control.box()->contentsRect().topLeft();
    const int tpp = control.box()->twipsPerPixelX();
    QTest::mouseClick(control.box(), Qt::LeftButton, {}, origin + QPoint(10, 20));
    EXPECT_EQ(order, (QStringList{"MouseDown", "MouseUp", "Click"}));
    EXPECT_EQ(downButton, 1);
    EXPECT_FLOAT_EQ(downX, 10.0f * tpp);
    EXPECT_FLOAT_EQ(downY, 20.0f * control.box()->twipsPerPixelY());
    order.clear();
    QTest::mouseDClick(control.box(), Qt::LeftButton, {}, origin + QPoint(10, 20));
    EXPECT_TRUE(order.contains("DblClick"));
    EXPECT_EQ(order.count("Click"), 0) << "the second click of a double click is not a Click";
}

// On a screen at 150 % or 125 % the pointer lies between whole box pixels: a press and release on
// the box's last screen column (100.67 of a 101-pixel-wide box) is a click on the box, and one just
// past its edge is not.
TEST(Events, AClickAtAFractionOfAPixelCountsWhereThePointerIs) {
    Vantler control;
    control.show();
    int clicks = 0;
    QObject::connect(&control, &Vantler::Click, [&] { ++clicks; });
    vantler::PictureBox* box = control.box();
    auto pressAndRelease = [&](QPointF at) {
        for (const QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent e(t, at, box->mapToGlobal(at), Qt::LeftButton,
                          t == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(box, &e);
        }
    };
    const double right = box->width(), bottom = box->height();
    pressAndRelease(QPointF(right - 1.0 / 3, bottom - 1.0 / 3));
    EXPECT_EQ(clicks, 1);
    pressAndRelease(QPointF(right - 0.4, 5));
    EXPECT_EQ(clicks, 2);
    pressAndRelease(QPointF(-0.4, 5)); // released just left of the box: no click, though it rounds to 0
    EXPECT_EQ(clicks, 2);
}

TEST(Events, KeyArgumentsArePassedByReference) {
    Vantler control;
    control.show();
    short seenCode = 0, seenShift = 0;
    QObject::connect(&control, &Vantler::KeyDown, [&](short& code, short& shift) {
        seenCode = code;
        seenShift = shift;
        code = 99;  // the host changes the argument...
    });
    short codeAfterHost = 0;
    // ...and whoever listens to the box after the host sees the change.
    QObject::connect(control.box(), &vantler::PictureBox::KeyDown,
                     [&](short& code, short&) { codeAfterHost = code; });
    short ascii = 0;
    QObject::connect(&control, &Vantler::KeyPress, [&](short& a) { ascii = a; });
    QTest::keyClick(control.box(), 'A', Qt::ShiftModifier);
    EXPECT_EQ(seenCode, 65);
    EXPECT_EQ(seenShift, 1);
    EXPECT_EQ(codeAfterHost, 99);
    EXPECT_EQ(ascii, 'A');
}

TEST(Events, PaintAsksForRedrawingOnlyAfterRefreshAndTheHostDrawingShows) {
    Vantler control;
    control.setScaleMode(vantler::vbPixels);
    control.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&control));
    control.box()->repaint();
    int paints = 0;
    QObject::connect(&control, &Vantler::Paint, [&] {
        ++paints;
        control.PSet_(4, 4, kRed);  // drawing inside Paint must not start another paint
    });
    control.Line(0, 20, 20, 60, 20, kRed);
    control.box()->repaint();
    EXPECT_EQ(paints, 0) << "new drawing is shown without a Paint event";
    control.Refresh();
    EXPECT_EQ(paints, 1);
    EXPECT_TRUE(isRed(control.box()->shownImage().pixelColor(4, 4)));
    EXPECT_FALSE(isRed(control.box()->shownImage().pixelColor(40, 20))) << "Refresh rebuilt the screen";
    control.box()->repaint();
    EXPECT_EQ(paints, 1);
    control.setAutoRedraw(true);
    control.Refresh();
    EXPECT_EQ(paints, 1) << "with AutoRedraw the box repaints itself";
}

TEST(Events, PictureRaisesChange) {
    Vantler control;
    QSignalSpy change(&control, &Vantler::Change);
    control.setPicture(QPixmap(5, 5));
    EXPECT_EQ(change.count(), 1);
}

// ---- sizing ----

TEST(Sizing, TheBoxFillsTheControlAndTheControlFollowsAnAutoSizedBox) {
    QWidget form;
    auto* control = new Vantler(&form);
    form.resize(400, 300);
    form.show();
    QSignalSpy resized(control, &Vantler::Resize);
    control->resize(200, 150);
    EXPECT_EQ(control->box()->geometry(), QRect(0, 0, 200, 150));
    EXPECT_EQ(resized.count(), 1);
    const double tpp = control->box()->twipsPerPixelX();
    EXPECT_DOUBLE_EQ(control->ScaleWidth(), (200 - 4) * tpp) << "twips follow the new drawing area";

    control->setAutoSize(true);
    control->setPicture(QPixmap(60, 40));
    EXPECT_EQ(control->box()->size(), QSize(64, 44)) << "picture plus the 3D border";
    EXPECT_EQ(control->size(), QSize(64, 44));
    EXPECT_EQ(resized.count(), 2);
}

TEST(Sizing, AnAutoSizedBoxFitsItsPictureWhateverItsBorder) {
    Vantler control;
    control.setAutoSize(true);
    control.setPicture(QPixmap(60, 40));
    for (const int border : {0, 1}) {
        control.setBorderStyle(border);
        EXPECT_EQ(control.box()->contentsRect().size(), QSize(60, 40)) << "border style " << border;
    }
    control.setAppearance(0);  // flat: a one-pixel border
    EXPECT_EQ(control.box()->contentsRect().size(), QSize(60, 40)) << "flat";
    EXPECT_EQ(control.size(), QSize(62, 42));
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
