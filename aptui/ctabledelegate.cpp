#include "aptui/ctabledelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

namespace TarnGUIToolkit {

CTableDelegate::CTableDelegate(QAbstractItemView *view)
    : QStyledItemDelegate(view)
{
}

void CTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    opt.decorationAlignment = GetPixmapAlignment(index);
    opt.decorationPosition =
        GetPixmapLayout(index) == PixmapBeforeText ? QStyleOptionViewItem::Left : QStyleOptionViewItem::Top;
    const QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, opt.widget);
}

Qt::Alignment CTableDelegate::GetPixmapAlignment(const QModelIndex &index) const
{
    Q_UNUSED(index)
    return Qt::AlignCenter;
}

int CTableDelegate::GetPixmapLayout(const QModelIndex &index) const
{
    Q_UNUSED(index)
    return PixmapAboveText;
}

} // namespace TarnGUIToolkit
