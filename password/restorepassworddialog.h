#pragma once

#include "aptui/basedialog.h"
#include "discovery/devicekey.h"

#include <QString>
#include <QStringList>

class QLabel;

namespace aptui {
class MultiStateLineEdit;
}

namespace VoskTool {

// Restores the default administrator password of a device that offers no
// key reset: the QR code (shown at once) carries the device type and serial
// number to the maker's reset service, which gives a security code; confirm
// sends the code to the device, addressed by both halves of its key
// through the operations of its kind (DeviceKinds): a device that shares
// its serial number is not sent the code.
//
// The confirm button does not close the dialog; a successful restore
// accepts it, cancel and the title's close button reject it. Modal, built
// on the caller's stack. GUI thread only.
class RestorePasswordDialog final : public aptui::BaseDialog
{
    Q_OBJECT

public:
    RestorePasswordDialog(QWidget *parent, const DeviceKey &device, const QString &deviceType);
    ~RestorePasswordDialog() override;

    // The model-family prefixes (two letters, '-', two digits) whose device
    // types write the serial number without the type text in the QR code.
    static QStringList modelPrefixes();
    // The QR text: "A:" + type + "**" + the serial number, from which every
    // occurrence of the whole type text is removed when the type contains
    // one of modelPrefixes() (case-sensitive).
    static QString qrTextFor(const QString &deviceType, const QString &serialNumber);

    QString qrText() const { return m_qrText; }

public Q_SLOTS:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void onRestorePassword();
    void onClearWarningInfo();
    void onGenerateQRcode();

private:
    QString m_strSerialNo;
    DeviceKey m_device;
    QString m_strDevType;
    QString m_qrText;

    QLabel *m_labelQcCode;
    aptui::MultiStateLineEdit *m_lineEditSecurityCode;
    QLabel *m_labelHintSecurityCode;
};

} // namespace VoskTool
