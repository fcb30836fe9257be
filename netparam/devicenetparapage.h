#pragma once

#include "discovery/deviceinfo.h"
#include "netparam/panemessage.h"
#include "netparam/rules/netparamrules.h"
#include "operations/netparams.h"
#include "vosk/vosk.h"

#include <QVector>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

// The network-parameter form on page 0 of the right-hand pane: one device's
// parameters, or the values a batch shares with a start address. Fills its
// fields from the DeviceStore, enables them by the devices' capabilities and
// DHCP, checks them in a fixed order (reporting the first failure through
// the pane's messenger) and collects what was typed.
//
// Owned by the pane; holds no state beside its fields. GUI thread only.
class DeviceNetParaPage final : public QWidget
{
    Q_OBJECT

public:
    // The values a batch takes from the form, read once per batch.
    struct BatchValues
    {
        QString startIp, subnetMask, gateway; // trimmed
        int port = 0;                         // 0 when empty or not a number
        int httpPort = 0;
        // A disabled field has no value of its own: the devices keep theirs.
        bool startIpEnabled = false, subnetMaskEnabled = false, gatewayEnabled = false;
    };

    explicit DeviceNetParaPage(QWidget *parent = nullptr);
    ~DeviceNetParaPage() override;

    // Where field checks report; set by the pane before any check runs.
    void setMessenger(PaneMessenger messenger);

    void showSingleForm();
    void showBatchForm();
    // The device's stored values; both texts empty: clearAndDisable. With
    // `forceDhcpOff` the DHCP box stays unchecked whatever the device says.
    void fillSingle(const QString &serialNumber, const QString &mac, bool forceDhcpOff);
    // The same for any device's key. An ONVIF row has no device port (the
    // field stays empty and greyed), IPv6 only where it reported IPv6
    // settings, no IPv4 address, mask or gateway when it has IPv4 off
    // (greyed and not checked), and nothing to edit before sign-in (every
    // field greyed, saying so). A gateway it reports none of may stay
    // empty.
    void fillSingle(const DeviceKey &key, bool forceDhcpOff);
    void fillBatch(const QVector<DeviceInfo> &devices);
    void clearAndDisable();
    // Whether the user has typed into a field since the last fill (a
    // refresh of the same devices then keeps the form as it is).
    bool isEdited() const;
    void markUnedited();
    void enableAllFields();
    void applyDhcpOn();
    // Disabling empties the start address, mask and gateway first; enabling
    // gives back only those the batch's devices can take (fillBatch).
    void setBatchAddressFieldsEnabled(bool enabled);
    bool isBatchStatic() const;
    BatchValues batchValues() const;
    // A zero-filled block with the single form's texts (Latin-1) and numbers.
    VOSK_NET_PARAM collectNetParam() const;
    // What the single form gives: the trimmed text of every enabled field
    // and the DHCP box while it is enabled; a disabled field gives nothing,
    // so that the device keeps its value.
    NetChange collectChange() const;
    // What the batch form gives its devices (its enabled fields; the start
    // address only without batch DHCP).
    BatchSettings batchSettings() const;
    aptui::MultiStateLineEdit *startIpEdit() const { return m_startIp.edit; }
    QLabel *startIpHint() const { return m_startIp.hint; }
    void clearHints();

    // The checks; a failure is reported at `position` and returns false
    // once the message has closed.
    bool checkStartIp(const QPoint &position);
    bool checkIpAddress(const QPoint &position);
    bool checkSubnetMask(const QPoint &position);
    bool checkGateway(const QPoint &position);
    bool checkPort(const QPoint &position);
    bool checkHttpPort(const QPoint &position);
    bool checkSingleForm(const QPoint &position);
    bool checkBatchForm(const QPoint &position);
    // Whether the start address leaves an address for each of `devices`
    // (reported on the start field when not).
    bool checkBatchRoom(const QPoint &position, int devices);

    bool eventFilter(QObject *watched, QEvent *event) override;

Q_SIGNALS:
    void signalDhcpStateChanged(int iState);
    void signalBatchDhcpStateChanged(int iState);

private:
    struct Row
    {
        QLabel *label;
        aptui::MultiStateLineEdit *edit;
        QLabel *hint;
    };

    NetParamTexts texts() const;
    Row rowOf(NetField field) const;
    QString messageFor(NetField field, FieldError error) const;
    // Reports a failure; true when there was none.
    bool report(const FieldFailure &failure, const QPoint &position);
    bool checkOne(NetField field, const QPoint &position);
    void setRowVisible(const Row &row, bool visible);
    void clearHint(const Row &row);
    void disableUntilSignedIn();

    PaneMessenger m_messenger;
    // What fillSingle found of the device: IPv4 off (its IPv4 fields are
    // not asked for), and the gateways it does without (ONVIF).
    bool m_ipv4Off = false;
    bool m_gatewayOptional = false;
    bool m_ipv6GatewayOptional = false;
    // What fillBatch found the selected devices can take, and why not.
    bool m_batchAddressEditable = false;
    bool m_batchGatewayEditable = false;
    QString m_batchAddressReason;
    QString m_batchGatewayReason;
    QLabel *m_labelNetParaPicture;
    QLabel *m_labelDeviceNetPara;
    QPushButton *m_btnImportDevice;
    QCheckBox *m_checkBoxDHCP;
    QCheckBox *m_checkBoxBatchDHCP;
    QWidget *m_widgetStartIp;
    QWidget *m_WidgetItems;
    Row m_startIp, m_serial, m_ip, m_port, m_mask, m_gateway, m_ipv6, m_ipv6Gateway, m_prefix, m_httpPort;
};

} // namespace VoskTool
