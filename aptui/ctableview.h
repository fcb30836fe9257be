#pragma once

#include "aptui/cabstractitemview.h"

#include <QTableView>

namespace TarnGUIToolkit {

class CTableHeaderView;

// The toolkit's table view: a QTableView with switchable grid lines and a
// horizontal header (CTableHeaderView) that draws a check box on every
// section whose header data has the value 1 under role 162; clicking it
// checks or unchecks the whole column.
//
// Rows appended below the visible ones, and nothing else changed since the
// last layout, update the scroll bars without repainting the cells: a table
// that grows by thousands of rows in a burst repaints only what shows.
class CTableView final : public QTableView, public CAbstractItemView
{
    Q_OBJECT

public:
    explicit CTableView(QWidget *parent = nullptr);

    void ShowGridLine(bool show) override;

    // The horizontal header, as the concrete type.
    CTableHeaderView *tableHeader() const;

    void setModel(QAbstractItemModel *model) override;
    void doItemsLayout() override;
    void reset() override;

protected:
    void rowsInserted(const QModelIndex &parent, int start, int end) override;

private:
    // What changed since the last layout.
    enum class Changes { None, OnlyRowsAppendedOutOfSight, Other };
    Changes m_changes = Changes::None;
};

} // namespace TarnGUIToolkit
