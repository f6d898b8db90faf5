// The program's style: the platform's own, with the keyboard focus drawn plainly on every button
// and tick box (a two-pixel ring in the highlight colour), also on the default button, whose
// heavier border would otherwise hide where the focus is.
#pragma once

#include <QProxyStyle>

namespace orv {

class FocusVisibleStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
};

} // namespace orv
