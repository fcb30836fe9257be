#include "password/recoverydialogs.h"

#include "vosk/vosk.h"

#include <QString>

namespace VoskTool {

RecoveryDialog recoveryDialogFor(quint8 capabilities)
{
    return (capabilities & VOSK_CAP_KEY_RESET) ? RecoveryDialog::ResetWithKey
                                               : RecoveryDialog::RestoreWithCode;
}

void runRecoveryDialog(QWidget *parent, const QString &serialNumber, const QString &deviceType,
                       const QString &mac)
{
    // The dialogs come with the recovery work; until then nothing opens.
    Q_UNUSED(parent);
    Q_UNUSED(serialNumber);
    Q_UNUSED(deviceType);
    Q_UNUSED(mac);
}

} // namespace VoskTool
