#include "password/recoverydialogs.h"

#include "discovery/devicestore.h"
#include "password/resetpassworddialog.h"
#include "password/restorepassworddialog.h"
#include "vosk/vosk.h"

#include <QString>

#include <cstring>

namespace VoskTool {

RecoveryDialog recoveryDialogFor(quint8 capabilities)
{
    return (capabilities & VOSK_CAP_KEY_RESET) ? RecoveryDialog::ResetWithKey
                                               : RecoveryDialog::RestoreWithCode;
}

void runRecoveryDialog(QWidget *parent, const QString &serialNumber, const QString &deviceType,
                       const QString &mac)
{
    // A device gone from the store leaves the record zero: no key reset
    // offered, so the security-code restore, which needs no device key.
    VOSK_DEVICE_INFO record;
    std::memset(&record, 0, sizeof record);
    DeviceStore::instance()->getDevice(serialNumber, mac, record);
    if (recoveryDialogFor(record.capabilities) == RecoveryDialog::ResetWithKey) {
        ResetPasswordDialog dialog({serialNumber, mac}, deviceType, record.newResetType == 1,
                                   (record.capabilities & VOSK_CAP_RESET_CAMERAS) != 0, parent);
        dialog.exec();
    } else {
        RestorePasswordDialog dialog(parent, {serialNumber, mac}, deviceType);
        dialog.exec();
    }
}

} // namespace VoskTool
