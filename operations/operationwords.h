#pragma once

#include "netparam/rules/netparamrules.h"
#include "operations/deviceoperations.h"

#include <QString>
#include <QStringList>

namespace VoskTool {

// A text of the program, kept as its English source with its translation
// context (marked with QT_TRANSLATE_NOOP where it is made): the window shows
// translated(), the console english(). Arguments replace %1, %2, ... in
// order. Any thread (translated() reads the installed translators).
struct LocalText
{
    const char *context = nullptr;
    const char *source = nullptr;
    QStringList arguments;

    bool isEmpty() const { return !source; }
    QString translated() const;
    QString english() const;
};

// The longest device text an outcome carries (deviceText()).
inline constexpr int kMaxDeviceTextLength = 160;
// A text a device sent, fit to be shown in a table cell, a message or a
// terminal: line breaks and tabs as one blank, other C0 control characters
// as their pictures (ESC as U+241B), every other control or format
// character as U+FFFD, cut to kMaxDeviceTextLength characters with "..."
// at the cut. Any thread.
QString deviceText(const QString &text);

// The operations the pane, the batch and the console word results of.
enum class OperationKind {
    SetNetParams,
    Activate,
    ChangePassword,
};

// "Succeed": the result of a device that took the operation. The table
// refreshes the rows whose result is this word (translated).
LocalText successWord();

// The result of one device in a batch's result list: "Succeed", or the
// error word of the operation ("Error2011:time out" for a modification,
// "Error2021:reactive" for an activation, "Error2009:wrong old password"
// for a password change, ...), "Cancelled" for a device
// the batch never reached, "Not supported by this device", and for an ONVIF
// device that needs its maker's activation (Unsupported with
// kOnvifMakersActivationCode) "Error3100:activate it with its maker's
// tool". An ONVIF device's refusal reads "Error3001:wrong user name or
// password", a fault with the device's reason "Error3005:the device says
// "..."", a change the device did not apply "Error3101:not applied, the
// device still reports ...", one not seen since "sent, not seen since
// (N s)".
LocalText batchResultWord(OperationKind kind, const OperationOutcome &outcome);

// The message of one device's operation: on success "Modify network
// parameters succeed." / "Activate Succeed." / "Change password
// succeed.", on failure "Device deny." ("The old password is not
// correct." for a password change; "Wrong user name or password." for an
// ONVIF device), "Time out." or "Error%1:others" with the code (the
// device's reason, what it still reports or that it was not seen, as
// batchResultWord() words them, where the outcome carries them).
LocalText singleResultWord(OperationKind kind, const OperationOutcome &outcome);

// Whether a failed single operation also puts its words into the device's
// result (only the words that carry the code do).
bool singleFailureKeepsCode(const OperationOutcome &outcome);

// The message of a network field that failed its check, as the form words
// it ("IP Address not correct.", ...).
LocalText fieldMessage(NetField field, FieldError error);

// What became of a change the device took, once the tool waited for its
// report: "applied" (it reported the new values), "sent, not seen since"
// (it did not within `seconds`).
LocalText appliedWord();
LocalText notSeenWord(int seconds);
// The same for a device that took the change (`outcome`, Done) and had
// not reported it by `untilMs` (monotonicMs()):
// the seconds since the device took it, whatever the wait was set to.
LocalText notSeenWord(const OperationOutcome &outcome, qint64 untilMs);
// Beside "applied" or "sent, not seen since" for a device that had to
// restart to apply the change (OperationOutcome::rebooted).
LocalText rebootedWord();

} // namespace VoskTool
