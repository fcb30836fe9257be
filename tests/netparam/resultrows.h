#pragma once

// The rows of a batch's result list as a test reads them, from the dialog
// the pane's dialog runner is handed.

#include "netparam/devicemodifyresultpage.h"

#include <QList>
#include <QStandardItemModel>
#include <QString>

namespace TestSupport {

struct ResultRow
{
    QString name;   // the text of the column asked for (serial number, address)
    QString result;
    bool ok = false;
};

// Every row of the page, named by the text in `nameColumn`.
inline QList<ResultRow> resultRows(VoskTool::DeviceModifyResultPage &page, int nameColumn)
{
    using Page = VoskTool::DeviceModifyResultPage;
    QList<ResultRow> rows;
    QStandardItemModel *model = page.model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QStandardItem *result = model->item(row, Page::ColumnResult);
        rows.append({model->item(row, nameColumn)->text(), result->text(), result->data(Page::SucceededRole).toBool()});
    }
    return rows;
}

} // namespace TestSupport
