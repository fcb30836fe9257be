#pragma once

#include <QWidgetItem>

namespace TarnGUIToolkit {

// A layout item for one widget with the alignment it keeps in its cell.
// Give it to CHBoxLayout::AddItem, which takes it over and adopts the
// widget as a child of the layout's widget.
class CWidgetItem final : public QWidgetItem
{
public:
    CWidgetItem(QWidget *widget, Qt::Alignment alignment);
};

} // namespace TarnGUIToolkit
