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

} // namespace TarnGUIToolkit
