#include "aptui/chboxlayout.h"

#include <QWidget>

namespace TarnGUIToolkit {

CHBoxLayout::CHBoxLayout(QWidget *parent)
    : QHBoxLayout(parent)
{
}

void CHBoxLayout::SetLayoutContentsMargins(int left, int top, int right, int bottom)
{
    setContentsMargins(left, top, right, bottom);
}

void CHBoxLayout::SetLayoutSpacing(int spacing)
{
    setSpacing(spacing);
}

void CHBoxLayout::AddWidget(QWidget *widget, int stretch, Qt::Alignment alignment)
{
    addWidget(widget, stretch, alignment);
}

void CHBoxLayout::AddItem(QLayoutItem *item)
{
    if (!item)
        return;
    // addItem alone leaves a widget item's widget where it was; without
    // this it would not be shown inside the layout's widget.
    if (QWidget *widget = item->widget())
        addChildWidget(widget);
    addItem(item);
}

} // namespace TarnGUIToolkit
