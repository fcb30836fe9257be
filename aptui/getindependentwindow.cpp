#include "aptui/getindependentwindow.h"

#include <QWidget>

namespace TarnGUIToolkit {

QWidget *GetIndependentWindow(const QWidget *widget, QWidget *fallback)
{
    return widget ? widget->window() : fallback;
}

} // namespace TarnGUIToolkit
