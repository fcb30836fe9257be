#pragma once

#include "aptui/basedialog.h"
#include "discovery/deviceinfo.h"

#include <QVector>

class QLabel;
class QStandardItemModel;

namespace TarnGUIToolkit {
class CTableView;
}

namespace VoskTool {

// The modal list of a batch's outcome: one row per device (ID, type, IPv4
// address, serial number, and a success icon or the error icon with the
// error text) under two counters. Shows results only; sends nothing.
// Built without parent on the stack, filled once, run with exec().
// GUI thread only.
class DeviceModifyResultPage final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    enum Column { ColumnId, ColumnType, ColumnIpv4, ColumnSerial, ColumnResult, ColumnCount };

    explicit DeviceModifyResultPage(QWidget *parent = nullptr);
    ~DeviceModifyResultPage() override;

    void setResultColumnTitle(int column, const QString &text);
    // The captions before the counts; call before setResults, which appends
    // a blank and the count to each.
    void setTotalLabelText(const QString &text);
    void setFailedLabelText(const QString &text);
    void setResults(const QVector<DeviceInfo> &devices);

    QStandardItemModel *model() const { return m_model; }
    TarnGUIToolkit::CTableView *tableView() const { return m_tableViewResult; }

private:
    QLabel *m_labelDeviceAll;
    QLabel *m_labelDeviceFail;
    TarnGUIToolkit::CTableView *m_tableViewResult;
    QStandardItemModel *m_model; // child of the dialog
};

} // namespace VoskTool
