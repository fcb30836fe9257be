#include "aptui/cwidgetitem.h"

namespace TarnGUIToolkit {

CWidgetItem::CWidgetItem(QWidget *widget, Qt::Alignment alignment)
    : QWidgetItem(widget)
{
    setAlignment(alignment);
}

} // namespace TarnGUIToolkit
