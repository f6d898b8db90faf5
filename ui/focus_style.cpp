// The focus ring.
#include "ui/focus_style.h"

#include <QPainter>
#include <QStyleOption>

namespace orv {

void FocusVisibleStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                                    const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    const bool button = element == CE_PushButton || element == CE_CheckBox || element == CE_RadioButton ||
                        element == CE_ToolButtonLabel;
    if (!button || !(option->state & State_HasFocus) || !(option->state & State_KeyboardFocusChange)) return;
    painter->save();
    QPen pen(option->palette.color(QPalette::Highlight));
    pen.setWidth(2);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(QRectF(option->rect).adjusted(2, 2, -2, -2));
    painter->restore();
}

} // namespace orv
