#include "aptui/treeviewwithleftpixmapdelegate.h"

namespace aptui {

TreeViewWithLeftPixmapDelegate::TreeViewWithLeftPixmapDelegate(QAbstractItemView *view)
    : TarnGUIToolkit::CTableDelegate(view)
{
}

void TreeViewWithLeftPixmapDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                           const QModelIndex &index) const
{
    if (option.state & QStyle::State_Selected) {
        QStyleOptionViewItem hovered(option);
        hovered.state &= ~QStyle::State_Selected;
        hovered.state |= QStyle::State_MouseOver;
        QStyledItemDelegate::paint(painter, hovered, index);
        return;
    }
    QStyledItemDelegate::paint(painter, option, index);
}

Qt::Alignment TreeViewWithLeftPixmapDelegate::GetPixmapAlignment(const QModelIndex &index) const
{
    Q_UNUSED(index)
    return Qt::AlignLeft;
}

int TreeViewWithLeftPixmapDelegate::GetPixmapLayout(const QModelIndex &index) const
{
    Q_UNUSED(index)
    return PixmapBeforeText;
}

} // namespace aptui
