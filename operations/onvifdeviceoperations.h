#pragma once

#include "operations/deviceoperations.h"

#include <QString>
#include <QUrl>

namespace VoskTool {

// The ONVIF devices' operations (the device management service), for every
// device whose key is an endpoint id. Each call looks the device up in
// OnvifDevices::instance() (target(): where it answers, its credentials,
// factory state) and talks to it with a blocking Onvif::DeviceSession of
// its own on the calling thread, so several run at once on the operation
// threads. NotFound when there is no OnvifDevices or the device is not
// listed.
//
// The user name: the pane and the console give a password only. A change
// is made as the user the device signs in with (its own credentials, else
// the ones for all ONVIF devices); with none set, as "admin", the name
// most devices ship with and the one activate() creates.
//
// setNetParams sends only what differs from what the device reports at
// that moment (read first, with the same password): the default gateway
// (SetNetworkDefaultGateway), the HTTP port (SetNetworkProtocols), then
// DHCP, IPv4 address and prefix and, where the device reports IPv6, the
// IPv6 address (SetNetworkInterfaces; a device port has no ONVIF
// counterpart and is ignored). A device with IPv4 off gets no IPv4 part
// unless the parameters give an address or DHCP. The device is then
// expected at the new address of the family it was reached by (an IPv6
// change moves a device reached at the manual IPv6 address it replaces).
// An empty address, mask or gateway keeps the device's value: a row not
// read (or not since a move) shows none. Only a device that answers
// RebootNeeded true is rebooted (SystemReboot; the outcome says so). The
// call then waits, at most moveWaitMs() (rebootWaitMs() after a reboot),
// for the device to answer at its new service address with everything
// sent read back (interface, gateway, HTTP port); once it has, Done, and
// OnvifDevices hears of the move and reads the row again, so that
// ChangeConfirmer sees "applied". Otherwise: NotApplied
// (kOnvifNotAppliedCode, `detail` what the device still reports) when it
// answers, at the new address or the old one, without the change; NotSeen
// (`waitedMs`) when it answers nowhere.
//
// Calls that carry a password go over HTTPS where the device offers it
// (OnvifTarget::secureAddress; activate() asks a device not known to
// offer it its protocols first), with the certificate kept for the device
// (OnvifDevices::certificateCheck): a changed one fails the call with
// code 3000 + CertificateChanged, and nothing is sent.
//
// activate() creates an Administrator with the password, without
// credentials, on a device in factory state; a device that refuses
// although it has no user needs its maker's own tool (Unsupported with
// kOnvifMakersActivationCode, and the row's OnvifMakersActivation flag).
// changePassword() sets the signed-in user's password (SetUser); the old
// one is refused afterwards. Key export, key reset and the default
// password's restore are not part of ONVIF: Unsupported.
//
// Errors: onvifOutcome() (NotAuthorized -> Denied, Timeout/Unreachable ->
// TimedOut, NotSupported -> Unsupported, others Failed with code
// 3000 + Onvif::ErrorKind and a fault's reason in `detail`). A call to a device in factory state other than
// activate() is NotActivated without a word sent; activate() of one that
// is not is AlreadyActive. Passwords are never logged. Thread-safe.
class OnvifDeviceOperations final : public DeviceOperations
{
public:
    static constexpr int kCallTimeoutMs = 4000;
    static constexpr int kMoveWaitMs = 8000;
    static constexpr int kRebootWaitMs = 30000;

    // Whether activating the device would send its first password in
    // clear: an ONVIF device listed, not known to offer HTTPS (the
    // standard's CreateUsers has no other protection over HTTP). Any thread.
    static bool activatesInClear(const DeviceKey &device);

    QString kindName() const override;
    bool takesUtf8Passwords() const override { return true; }
    bool handles(const DeviceKey &device) const override;
    OperationOutcome setNetParams(const DeviceKey &device, const QByteArray &password,
                                  const NetParams &params) override;
    OperationOutcome activate(const DeviceKey &device, const QByteArray &password) override;
    OperationOutcome changePassword(const DeviceKey &device, const QByteArray &oldPassword,
                                    const QByteArray &newPassword) override;
    OperationOutcome exportKey(const DeviceKey &device, bool newStyle, QByteArray *key) override;
    OperationOutcome resetPassword(const DeviceKey &device, const ResetPasswdParam &block) override;
    OperationOutcome restoreDefaultPassword(const DeviceKey &device, const QByteArray &securityCode) override;

    // Tuning for tests and benchmarks (milliseconds; any thread, before
    // the operations run): each HTTP exchange, and the waits for a moved
    // device.
    void setCallTimeout(int ms) { m_callTimeoutMs = ms; }
    void setMoveWait(int ms) { m_moveWaitMs = ms; }
    void setRebootWait(int ms) { m_rebootWaitMs = ms; }
    int moveWaitMs() const { return m_moveWaitMs; }
    int rebootWaitMs() const { return m_rebootWaitMs; }

    // The service address a device answers at after a change to `host`
    // and `httpPort` (0: the port stays): the same path. A link-local IPv6
    // host without a zone keeps the zone of the old host.
    static QUrl movedAddress(const QUrl &service, const QString &host, int httpPort);

private:
    int m_callTimeoutMs = kCallTimeoutMs;
    int m_moveWaitMs = kMoveWaitMs;
    int m_rebootWaitMs = kRebootWaitMs;
};

} // namespace VoskTool
