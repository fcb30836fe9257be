#pragma once

#include "discovery/devicekey.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <functional>

class QWidget;

namespace VoskTool {

// The window's side of VOSK::DeviceIdentity: before a password, an answer,
// a security code or a key export goes to devices, the user confirms any
// of them whose MAC address or serial number another online device
// announces too. Confirming is the explicit choice of those devices: each
// is then addressed by both halves of its key, so it alone can answer and
// open what is sent. The pane and the table page call it; the console asks
// for the same choice on its command line. GUI thread.
class IdentityQuestion final
{
    Q_DECLARE_TR_FUNCTIONS(VoskTool::IdentityQuestion)

public:
    // How the question is put: (parent, text) -> whether the user confirmed.
    // By default a modal message box whose confirm button says yes and
    // whose close button says no.
    using Asker = std::function<bool(QWidget *parent, const QString &text)>;

    // True when the operation may go on for every one of `targets`: none is
    // ambiguous, or the user confirmed after reading which ones are and
    // why. False: nothing may be sent to any of them.
    static bool confirm(QWidget *parent, const QVector<DeviceKey> &targets);

    // Test seam; an empty function restores the message box.
    static void setAsker(Asker asker);
};

} // namespace VoskTool
