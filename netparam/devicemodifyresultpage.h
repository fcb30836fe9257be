#pragma once

#include "aptui/basedialog.h"
#include "discovery/deviceinfo.h"

#include <QHash>
#include <QVector>

#include <functional>

class QLabel;
class QPushButton;
class QStandardItemModel;

namespace TarnGUIToolkit {
class CTableView;
}

namespace VoskTool {

// The modal list of a batch's outcome: one row per device (ID, type, IPv4
// address, serial number, and a success icon, with the confirmation note
// when there is one, or the error icon with the error text) under two
// counters. It sends nothing itself: "Retry failed" ends it with
// RetryFailed for the caller to run the failed and cancelled devices
// again; "Save" writes the list as CSV (device, address, outcome).
// Built without parent on the stack, filled once, run with exec().
// GUI thread only.
class DeviceModifyResultPage final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    enum Column { ColumnId, ColumnType, ColumnIpv4, ColumnSerial, ColumnResult, ColumnCount };
    // exec()'s result when "Retry failed" was pressed.
    enum { RetryFailed = 2 };
    // Item data role of the result column: true for a device that succeeded.
    static constexpr int SucceededRole = Qt::UserRole + 1;
    // Asks where to save the list; an empty answer saves nothing. By
    // default QFileDialog::getSaveFileName.
    using SavePathChooser = std::function<QString(QWidget *parent)>;

    explicit DeviceModifyResultPage(QWidget *parent = nullptr);
    ~DeviceModifyResultPage() override;

    void setResultColumnTitle(int column, const QString &text);
    // The captions before the counts; call before setResults, which appends
    // a blank and the count to each.
    void setTotalLabelText(const QString &text);
    void setFailedLabelText(const QString &text);
    // The note shown beside the success icon of a device ("applied", "sent,
    // not seen since"); call before setResults.
    void setNotes(const QHash<DeviceKey, QString> &notes) { m_notes = notes; }
    void setResults(const QVector<DeviceInfo> &devices);
    void setSavePathChooser(SavePathChooser chooser);
    // Writes the list to `path`; false (and a message) when it cannot.
    bool saveTo(const QString &path);

    QPushButton *retryButton() const { return m_btnRetry; }
    QPushButton *saveButton() const { return m_btnSave; }

    QStandardItemModel *model() const { return m_model; }
    TarnGUIToolkit::CTableView *tableView() const { return m_tableViewResult; }

private:
    QLabel *m_labelDeviceAll;
    QLabel *m_labelDeviceFail;
    TarnGUIToolkit::CTableView *m_tableViewResult;
    QStandardItemModel *m_model; // child of the dialog
    QPushButton *m_btnRetry;
    QPushButton *m_btnSave;
    QHash<DeviceKey, QString> m_notes;
    SavePathChooser m_savePathChooser;

    void onSave();
};

} // namespace VoskTool
