#pragma once

#include "aptui/cabstractitemview.h"

#include <QTableView>

namespace TarnGUIToolkit {

class CTableHeaderView;

// The toolkit's table view: a QTableView with switchable grid lines and a
// horizontal header (CTableHeaderView) that draws a check box on every
// section whose header data has the value 1 under role 162; clicking it
// checks or unchecks the whole column.
class CTableView final : public QTableView, public CAbstractItemView
{
    Q_OBJECT

public:
    explicit CTableView(QWidget *parent = nullptr);

    void ShowGridLine(bool show) override;

    // The horizontal header, as the concrete type.
    CTableHeaderView *tableHeader() const;
};

} // namespace TarnGUIToolkit
