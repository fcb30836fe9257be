#include "plugins/styles/commonstyle.h"

#include <QAbstractItemView>
#include <QStyleFactory>

CommonStyle::CommonStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion")))
{
    setObjectName(QStringLiteral("CommonStyle"));
}

int CommonStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    switch (metric) {
    case PM_ButtonShiftHorizontal:
    case PM_ButtonShiftVertical:
        return 0;
    case PM_ToolTipLabelFrameWidth:
        return 4;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

int CommonStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                           QStyleHintReturn *returnData) const
{
    switch (hint) {
    case SH_ToolTip_WakeUpDelay:
        return 500;
    case SH_DialogButtonBox_ButtonsHaveIcons:
        return 0;
    case SH_ItemView_ShowDecorationSelected:
        return 1;
    default:
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
}

void CommonStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                const QWidget *widget) const
{
    // Rows are highlighted whole; a dotted focus rectangle around one cell
    // of a table only adds noise.
    if (element == PE_FrameFocusRect && qobject_cast<const QAbstractItemView *>(widget))
        return;
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}
