#pragma once

#include "operations/onvifdevices.h"
#include "vosk/vosk.h"

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

class QEventLoop;

// What the console program knows of the network: keeps the process's
// DeviceStore up to date with the devices the discovery handler reports,
// as the device table page does for the window (latest record of each
// (serial number, MAC), in order of arrival), and with the ONVIF devices
// of its own VoskTool::OnvifDevices (keyed by endpoint). Starts discovery
// through VOSK::VoskHandler (the only caller of the library) and
// WS-Discovery. The handler's reports are taken on the library's thread
// into an inbox and handed over on the thread this object lives on, which
// must run an event loop (the console program's main thread); the ONVIF
// side reports on that thread itself. Make it before start(); the
// library's thread must not be running yet.
//
// With ONVIF credentials set to be used for every device, each ONVIF
// device is signed in as soon as it is heard, so that its serial number
// and network cells are known; otherwise only the devices signIn() names
// are. A device whose identity is in question (OnvifDevices) is signed in
// only when picked. A refused sign-in is said on standard error with the
// device named.
class DeviceFinder final : public QObject
{
    Q_OBJECT

public:
    // Which devices to listen for: both kinds, or ours only (password
    // recovery, which ONVIF lacks).
    enum class Kinds { All, OursOnly };
    explicit DeviceFinder(Kinds kinds = Kinds::All, QObject *parent = nullptr);
    ~DeviceFinder() override;

    // Starts discovery. False (with the library's error code in
    // lastError()) when it cannot start, e.g. no usable interface.
    bool start();
    int lastError() const { return m_lastError; }

    // ONVIF sign-in credentials (memory only) and addresses to probe
    // directly (another subnet); before start().
    void setOnvifCredentials(const VoskTool::OnvifCredentials &credentials, bool everyDevice);
    // Signs these ONVIF devices in (the `picked` ones as the user's
    // choice, see OnvifDevices::pick()); waitForSignIns() waits for them.
    void signIn(const QVector<DeviceKey> &devices, const QSet<DeviceKey> &picked);
    void setProbeAddresses(const QList<QHostAddress> &addresses);
    // --accept-certificate: a new HTTPS certificate of these endpoints (or
    // of these fingerprints) replaces the one trusted. A certificate
    // refused otherwise is said on standard error, with both fingerprints,
    // when it is refused.
    void acceptCertificates(const QStringList &endpointsOrFingerprints);

    // Runs the event loop until every name in `serials` has been seen (see
    // matches()), or `count` devices (when count > 0 and serials is
    // empty), or `windowMs` has passed, whichever comes first.
    void waitFor(const QStringList &serials, int count, int windowMs);
    // Runs the event loop until every ONVIF sign-in begun has ended, at
    // most `windowMs`.
    void waitForSignIns(int windowMs);

    // How many ONVIF sign-ins were refused (each said on standard error,
    // the device named, as it happened).
    int refusedSignIns() const { return m_refusedSignIns; }

    // The devices online now, in order of arrival.
    QList<VOSK_DEVICE_INFO> devices() const;
    // The latest record of the device with that name (the first to arrive,
    // should two devices share one); false if none is online.
    bool find(const QString &serialNumber, VOSK_DEVICE_INFO *record) const;
    // Whether a record is the device a command names: its serial number;
    // for an ONVIF device also its endpoint reference ("urn:uuid:...",
    // which every row announced with it matches), its endpoint id, or its
    // IPv4 or IPv6 address (a device in factory state has no serial number
    // to name it by).
    static bool matches(const VOSK_DEVICE_INFO &record, const QString &name);
    static bool matchesOnvif(const VOSK_DEVICE_INFO &record, const QString &name);

Q_SIGNALS:
    // Every report, after the list above took it in; `event` is the
    // record's event with 4 folded into 1.
    void deviceEvent(const VOSK_DEVICE_INFO &record, int event);

private:
    // Library thread: copies the report into the inbox.
    void take(const VOSK_DEVICE_INFO &record);
    // Owner thread: hands the inbox's reports on, in order.
    void drain();
    void onOnline(const VOSK_DEVICE_INFO &record);
    void onUpdate(const VOSK_DEVICE_INFO &record);
    void onOffline(const VOSK_DEVICE_INFO &record);
    bool satisfied() const;
    void noteRefused(const DeviceKey &device);

    // The reports travel in our own locked inbox, not as a queued signal's
    // copied argument: the copy and its reader are then ordered by a lock
    // this program (and ThreadSanitizer) can see. m_drainPosted: one posted
    // drain at a time.
    QMutex m_inboxMutex;
    std::vector<VOSK_DEVICE_INFO> m_inbox;
    bool m_drainPosted = false;

    QStringList m_waitSerials;
    int m_waitCount = 0;
    QEventLoop *m_waitLoop = nullptr;
    int m_lastError = 0;
    void writeRefusals();

    std::unique_ptr<VoskTool::OnvifDevices> m_onvif; // null for ours only
    QSet<QString> m_refusalsWritten;
    bool m_signInOnFound = false;
    QList<QHostAddress> m_probeAddresses;
    QSet<QString> m_signingIn; // endpoint ids
    QEventLoop *m_signInLoop = nullptr;
    int m_refusedSignIns = 0;
};
