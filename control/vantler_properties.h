// The Vantler control's pass-through properties, one row each, in the order they are read from
// and written to a property bag:
//
//   X(Name, Type, Setter, Default, Rule)
//
// Name     the property, the inner box's getter and the key it is stored under in a bag.
// Type     the control's type for it; the box keeps an int as a 16-bit integer (error 6 when it
//          does not fit), a double as a single and a QPixmap as a QImage.
// Setter   the setter on the control and on the box; letEnabled and letFont because QWidget
//          owns setEnabled and setFont.
// Default  what a freshly placed control stores, as the bag keeps it (16-bit values as int,
//          singles as float, pictures and data formats as no value); `control` is the control.
// Rule     how a stored value comes back (the rules are in vantler.cpp):
//          OnBox           applied to the box;
//          ThroughControl  applied through the control's own setter;
//          ByObjectName    kept as the object's name, found again among the window's children;
//          WhenGiven       applied only when not empty and above zero, so that an unstored
//                          font name or size leaves the font as it is.
//          UnlessZero      applied only when not zero: a control whose drawing area had no width
//                          or height stored a scale extent of 0, which the box refuses (error
//                          380); the stored scale mode sets the extents from the size anyway.
//
// The Q_PROPERTY lines in vantler.h repeat name, type and setter because moc reads them as
// written; the control's tests check that both lists agree.
#pragma once

#define VANTLER_PASS_THROUGH_PROPERTIES(X)                                      \
    X(BackColor, uint, setBackColor, quint32(kSystemButtonFace), OnBox)         \
    X(DrawStyle, int, setDrawStyle, 0, OnBox)                                   \
    X(DrawMode, int, setDrawMode, 13, OnBox)                                    \
    X(DrawWidth, int, setDrawWidth, 1, OnBox)                                   \
    X(AutoRedraw, bool, setAutoRedraw, false, OnBox)                            \
    X(ClipControls, bool, setClipControls, true, OnBox)                         \
    X(Appearance, int, setAppearance, 1, OnBox)                                 \
    X(BorderStyle, int, setBorderStyle, 1, OnBox)                               \
    X(CausesValidation, bool, setCausesValidation, true, OnBox)                 \
    X(AutoSize, bool, setAutoSize, false, OnBox)                                \
    X(Align, int, setAlign, 0, OnBox)                                           \
    X(DataMember, QString, setDataMember, QString(), OnBox)                     \
    X(DataFormat, QVariant, setDataFormat, QVariant(), ThroughControl)          \
    X(DataSource, QObject*, setDataSource, QString(), ByObjectName)             \
    X(Enabled, bool, letEnabled, true, OnBox)                                   \
    X(FillColor, uint, setFillColor, quint32(0), OnBox)                         \
    X(FillStyle, int, setFillStyle, 1, OnBox)                                   \
    X(Font, QFont, letFont, control.ambientFont(), OnBox)                       \
    X(FontTransparent, bool, setFontTransparent, true, OnBox)                   \
    X(FontBold, bool, setFontBold, false, OnBox)                                \
    X(FontItalic, bool, setFontItalic, false, OnBox)                            \
    X(FontStrikethru, bool, setFontStrikethru, false, OnBox)                    \
    X(FontUnderline, bool, setFontUnderline, false, OnBox)                      \
    X(FontName, QString, setFontName, QString(), WhenGiven)                     \
    X(FontSize, double, setFontSize, 0.0f, WhenGiven)                           \
    X(ForeColor, uint, setForeColor, quint32(kSystemButtonText), OnBox)         \
    X(LinkItem, QString, setLinkItem, QString(), OnBox)                         \
    X(LinkTopic, QString, setLinkTopic, QString(), OnBox)                       \
    X(LinkMode, int, setLinkMode, 0, OnBox)                                     \
    X(LinkTimeout, int, setLinkTimeout, 50, OnBox)                              \
    X(MouseIcon, QPixmap, setMouseIcon, QVariant(), ThroughControl)             \
    X(MousePointer, int, setMousePointer, 0, OnBox)                             \
    X(OLEDragMode, int, setOLEDragMode, 0, OnBox)                               \
    X(OLEDropMode, int, setOLEDropMode, 0, OnBox)                               \
    X(Picture, QPixmap, setPicture, QVariant(), OnBox)                          \
    X(RightToLeft, bool, setRightToLeft, false, OnBox)                          \
    X(ScaleHeight, double, setScaleHeight, 1695.0f, UnlessZero)                 \
    X(ScaleWidth, double, setScaleWidth, 1455.0f, UnlessZero)                   \
    X(ScaleLeft, double, setScaleLeft, 0.0f, OnBox)                             \
    X(ScaleTop, double, setScaleTop, 0.0f, OnBox)                               \
    X(ScaleMode, int, setScaleMode, 1, OnBox)                                   \
    X(ToolTipText, QString, setToolTipText, QString(), OnBox)                   \
    X(CurrentX, double, setCurrentX, 0.0f, OnBox)                               \
    X(CurrentY, double, setCurrentY, 0.0f, OnBox)
