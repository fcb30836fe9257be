#pragma once

#include <QtGlobal>

class QString;
class QWidget;

namespace VoskTool {

// Which recovery dialog "Forget Password" opens for a device.
enum class RecoveryDialog {
    ResetWithKey,    // device key as a QR code, answered with a key or an answer file
    RestoreWithCode, // default password back with a security code
};

// The choice from the capability byte of the device's stored record (zero
// when the device is no longer in the store): the key reset when it offers
// one, otherwise the security-code restore.
RecoveryDialog recoveryDialogFor(quint8 capabilities);

// Looks the device up in the device store, opens the dialog that
// recoveryDialogFor() chooses for it and runs it modally; returns when it
// closes. The dialog addresses the device by serial number and MAC, so
// that of two devices sharing a serial number only the chosen one is
// asked and reset. The caller covers and uncovers the main window around the call.
// GUI thread.
void runRecoveryDialog(QWidget *parent, const QString &serialNumber, const QString &deviceType,
                       const QString &mac);

} // namespace VoskTool
