#pragma once

#include <QHBoxLayout>

namespace TarnGUIToolkit {

// A horizontal box layout with the toolkit's spelling of the usual calls.
// GUI thread only.
class CHBoxLayout final : public QHBoxLayout
{
    Q_OBJECT

public:
    explicit CHBoxLayout(QWidget *parent = nullptr);

    void SetLayoutContentsMargins(int left, int top, int right, int bottom);
    void SetLayoutSpacing(int spacing);
    void AddWidget(QWidget *widget, int stretch = 0, Qt::Alignment alignment = Qt::Alignment());
    // Takes ownership of `item` (null is ignored). A widget item's widget
    // becomes a child of the layout's widget, as AddWidget would make it.
    void AddItem(QLayoutItem *item);
};

} // namespace TarnGUIToolkit
