#pragma once

#include "aptui/ctabledelegate.h"

namespace aptui {

// The device table's delegate: selected rows are drawn like hovered rows
// (the style sheet gives both one look), pixmaps sit left of the text.
class TreeViewWithLeftPixmapDelegate final : public TarnGUIToolkit::CTableDelegate
{
    Q_OBJECT

public:
    explicit TreeViewWithLeftPixmapDelegate(QAbstractItemView *view);

    // Qt's standard item painting, with State_Selected turned into
    // State_MouseOver.
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

protected:
    Qt::Alignment GetPixmapAlignment(const QModelIndex &index) const override;
    int GetPixmapLayout(const QModelIndex &index) const override;
};

} // namespace aptui
