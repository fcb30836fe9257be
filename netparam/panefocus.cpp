#include "netparam/panefocus.h"

#include <QApplication>
#include <QWidget>

namespace VoskTool {

void focusInPane(QWidget *target)
{
    if (!target)
        return;
    QWidget *focus = QApplication::focusWidget();
    if (focus) {
        // The pane is the outermost widget of that name above the target.
        QWidget *pane = nullptr;
        for (QWidget *w = target; w; w = w->parentWidget()) {
            if (w->objectName() == QLatin1String("DeviceModifyPage"))
                pane = w;
        }
        if (!pane || !pane->isAncestorOf(focus))
            return;
    }
    target->setFocus();
}

} // namespace VoskTool
