#pragma once

#include "discovery/devicekey.h"
#include "operations/netparams.h"
#include "vosk/vosk.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

namespace VoskTool {

// How one operation on one device ended, in words every kind of device
// shares. The pane, the batch worker and the console word it through
// operationwords.h; `code` is the kind's own error number, shown in those
// words ("Error2011:time out").
enum class OperationStatus {
    Done,          // the device took it
    Denied,        // wrong password, not activated, bad key/answer/code
    Locked,        // locked out after repeated failures; lockedSeconds says how long
    NotActivated,  // the device takes this only once it has been activated
    TimedOut,      // no answer in time
    AlreadyActive, // activation of a device that is active already
    NotFound,      // the kind does not know the device (never seen, or gone)
    Unsupported,   // this kind of device does not offer the operation
    Cancelled,     // never sent: the batch was cancelled before its turn
    NotApplied,    // the device answered the change but still reports its old values (`detail`)
    NotSeen,       // the device took the change and was not seen with it since (`waitedMs`)
    Failed,        // anything else; see `code`
};

// Milliseconds on the monotonic clock, from any thread: what "sent, not
// seen since" counts with.
inline qint64 monotonicMs()
{
    return QDeadlineTimer::current().deadline();
}

struct OperationOutcome
{
    OperationStatus status = OperationStatus::Failed;
    int code = 0; // 0 for Done and Cancelled
    int lockedSeconds = 0; // with Locked: how long the device stays locked
    bool rebooted = false; // with Done: the device restarted to apply it (rebootedWord())
    // With Failed: the device's own reason (a SOAP fault's text); with
    // NotApplied: what the device still reports. Made safe for a terminal
    // and a table cell (deviceText()); empty when the device said nothing.
    QString detail = QString();
    // With NotSeen: how long the kind waited for the device after it took
    // the change, in milliseconds.
    int waitedMs = 0;
    // With Done of a change: when the device took it, on the clock of
    // monotonicMs() (OperationRunner stamps the
    // moment the call returned unless the kind knew an earlier one). What
    // "sent, not seen since" counts from.
    qint64 takenAtMs = 0;

    bool ok() const { return status == OperationStatus::Done; }
    static OperationOutcome done() { return {OperationStatus::Done, 0}; }
    static OperationOutcome cancelled() { return {OperationStatus::Cancelled, 0}; }
};


// The new-password block of a key reset: the reset service's answer (a
// typed key, or the path of an answer file) and the new password. The
// library's own layout, which a second kind of device reads as plain fields.
using ResetPasswdParam = VOSK_RESET_PASSWD_PARAM;

// The operations one kind of device offers, each asked of one device.
//
// Every call blocks until the device has answered or its time-out has
// passed, and may be made from any thread (the pane and the batch worker
// call from a thread pool, several at once), never from the thread that
// delivers the kind's device reports. An implementation keeps no state
// between calls that a concurrent call could disturb. Secrets (passwords,
// keys, codes) are never logged.
//
// One batch may hold devices of several kinds: the caller asks DeviceKinds
// for the implementation of each device, so a new kind joins by
// registering itself there, without a change in the pane, the batch worker
// or the console.
class DeviceOperations
{
public:
    virtual ~DeviceOperations() = default;

    // A short name of the kind for logs ("vosk").
    virtual QString kindName() const = 0;
    // Whether the passwords given to this kind are UTF-8 (an open
    // standard's encoding) rather than the front end's 8-bit conversion
    // (our protocol's); OperationRunner hands each kind its own bytes.
    virtual bool takesUtf8Passwords() const { return false; }
    // Whether this kind answers for the device (asked by DeviceKinds; the
    // discovery library's kind answers for every device of the store).
    virtual bool handles(const DeviceKey &device) const = 0;

    // New network parameters, authorised by the administrator password.
    virtual OperationOutcome setNetParams(const DeviceKey &device, const QByteArray &password,
                                          const NetParams &params) = 0;
    // The first administrator password of a device that is not activated.
    virtual OperationOutcome activate(const DeviceKey &device, const QByteArray &password) = 0;
    // A new administrator password, authorised by the current one; the old
    // one is refused afterwards.
    virtual OperationOutcome changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                            const QByteArray &newPassword) = 0;
    // The device's reset key: the new-style one (384 bytes of key space)
    // when `newStyle`, else the old one (256). Fills `key` on Done.
    virtual OperationOutcome exportKey(const DeviceKey &device, bool newStyle, QByteArray *key) = 0;
    // A new password through the reset service's answer for the key.
    virtual OperationOutcome resetPassword(const DeviceKey &device, const ResetPasswdParam &block) = 0;
    // The default password back, with the reset service's security code.
    virtual OperationOutcome restoreDefaultPassword(const DeviceKey &device, const QByteArray &securityCode) = 0;
};

} // namespace VoskTool
