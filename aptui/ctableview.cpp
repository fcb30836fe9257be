#include "aptui/ctableview.h"

#include "aptui/ctableheaderview.h"

namespace TarnGUIToolkit {

CTableView::CTableView(QWidget *parent)
    : QTableView(parent)
{
    auto *header = new CTableHeaderView(Qt::Horizontal, this);
    // Same behaviour as the header QTableView makes by itself.
    header->setSectionsClickable(true);
    header->setHighlightSections(true);
    setHorizontalHeader(header);
}

void CTableView::ShowGridLine(bool show)
{
    setShowGrid(show);
}

CTableHeaderView *CTableView::tableHeader() const
{
    return static_cast<CTableHeaderView *>(horizontalHeader());
}

void CTableView::setModel(QAbstractItemModel *model)
{
    m_changes = Changes::Other;
    QTableView::setModel(model);
    if (!model)
        return;
    // Any change but an append needs the full layout and repaint.
    const auto other = [this] { m_changes = Changes::Other; };
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this, other);
    connect(model, &QAbstractItemModel::rowsMoved, this, other);
    connect(model, &QAbstractItemModel::columnsInserted, this, other);
    connect(model, &QAbstractItemModel::columnsRemoved, this, other);
    connect(model, &QAbstractItemModel::columnsMoved, this, other);
    connect(model, &QAbstractItemModel::layoutChanged, this, other);
    connect(model, &QAbstractItemModel::modelReset, this, other);
}

void CTableView::reset()
{
    m_changes = Changes::Other;
    QTableView::reset();
}

void CTableView::rowsInserted(const QModelIndex &parent, int start, int end)
{
    QTableView::rowsInserted(parent, start, end);
    const bool appended = !parent.isValid() && start > 0 && end == model()->rowCount() - 1;
    if (!appended) {
        m_changes = Changes::Other;
        return;
    }
    // Rows appended behind rows found out of sight are out of sight too; the
    // position is looked up once per layout, not per row.
    if (m_changes != Changes::None)
        return;
    // Out of sight: behind a row whose bottom edge is already at or past the
    // bottom of the viewport. The first rows of an empty table may show.
    const bool outOfSight = rowViewportPosition(start - 1) + rowHeight(start - 1) >= viewport()->height();
    m_changes = outOfSight ? Changes::OnlyRowsAppendedOutOfSight : Changes::Other;
}

void CTableView::doItemsLayout()
{
    const Changes changes = m_changes;
    m_changes = Changes::None;
    if (changes == Changes::OnlyRowsAppendedOutOfSight) {
        // The scroll bars follow the new row count; no cell that shows has
        // changed.
        updateGeometries();
        return;
    }
    QTableView::doItemsLayout();
}

} // namespace TarnGUIToolkit
