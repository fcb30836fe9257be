#pragma once

// The two phases of the batch password reset behind the device table's
// "Config Export" and "Config Reset" buttons. Both run a ResetPasswordThread
// behind the toolkit's waiting dialog, report through a message box and
// leave their failures in the working folder (resetWorkingFolder()), whose
// path the message shows beside an "Open Folder" button when there is
// something to look at (RecoveryUi::showFolderMessage). GUI thread only; each returns when its phase is over.

#include "discovery/devicekey.h"

#include <QVector>

class QWidget;

namespace VoskTool {

// Export phase: a key file for every device (command 1), in the given order.
// Nothing happens for no device. Start time and software version come from
// the device's stored record.
void runConfigExport(QWidget *page, const QVector<DeviceKey> &devices);

// Reset phase: asks for the new password and the folder of answer files,
// matches every device to the answer file named after exactly its serial
// number (matchAnswerFiles()), resets the matched devices and lists the
// others in mismatch.txt.
void runConfigReset(QWidget *page, const QVector<DeviceKey> &devices);

} // namespace VoskTool
