#pragma once

#include "discovery/devicekey.h"
#include "operations/deviceoperations.h"
#include "vosk/vosk.h"

#include <QHostAddress>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVector>

#include <memory>

namespace Onvif {
class DiscoveryClient;
struct DiscoveredDevice;
} // namespace Onvif

namespace VoskTool {

// A user name and password for ONVIF devices. Held in memory only: never
// written to a file, a setting or a log.
struct OnvifCredentials
{
    QString username;
    QByteArray password;
    bool isEmpty() const { return username.isEmpty(); }
};

// What an operation needs to reach one ONVIF device: a copy, taken under
// the registry's lock, that stays valid however the list changes.
struct OnvifTarget
{
    QString endpointReference;
    QUrl serviceAddress;
    OnvifCredentials credentials; // the device's own, else the ones for all; may be empty
    bool factoryState = false;    // no user yet: listed as not activated
};

// The ONVIF side of the device list, beside VOSK::VoskHandler for our own
// protocol: WS-Discovery (Onvif::DiscoveryClient) turned into device
// records, and sign-in (device information, interfaces, gateway, protocols
// read with the user's credentials) turned into their cells.
//
// Each ONVIF device is one record made by VOSK::makeOnvifRecord() (keyed by
// its endpoint id, see discovery/onvifrecord.h) and reported through the
// same three signals as VoskHandler's, so the table's report queue, the
// store and the model take both kinds alike. Before sign-in a record holds
// only what discovery said (IPv4 address and HTTP port from the service
// address; name, hardware and location from the scopes); a device in
// factory state (the FactoryDefault scope, or GetUsers answered without
// credentials) has notActivated set.
//
// The object lives on the thread that made it (the GUI thread, or the
// console's main thread) and needs its event loop; signals are emitted
// there. target() may be called from any thread:
// the ONVIF device kind (OnvifDeviceOperations) calls them from the
// operation threads.
class OnvifDevices final : public QObject
{
    Q_OBJECT

public:
    explicit OnvifDevices(QObject *parent = nullptr);
    ~OnvifDevices() override;

    // The instance the device kind and the pages use; null when none was
    // made (the program makes one at start-up, tests their own).
    static OnvifDevices *instance();

    // Starts listening and a first probe on the discovery's interfaces
    // (VOSK_INTERFACES pins them, as for our protocol). False when no
    // interface could be used.
    bool start();
    void stop();
    // A new listening window (the tool's "refresh").
    void probe();
    // A directed probe to addresses another subnet holds. False, sending
    // nothing, when not started or for too many addresses.
    bool probeAddresses(const QList<QHostAddress> &addresses);

    // Credentials for every ONVIF device that has none of its own.
    void setCredentials(const OnvifCredentials &credentials);
    // Credentials for one device, before the ones for all.
    void setCredentials(const DeviceKey &device, const OnvifCredentials &credentials);
    // Reads every given device (all ONVIF devices when empty) with its
    // credentials and reports the filled records (signalDeviceUpdate);
    // signInFinished for each, then signInDone once.
    void signIn(const QVector<DeviceKey> &devices = {});

    // Thread-safe: where and as whom to reach the device. False when it is
    // not (or no longer) listed.
    bool target(const DeviceKey &device, OnvifTarget *target) const;

Q_SIGNALS:
    void signalDeviceOnline(VOSK_DEVICE_INFO record);
    void signalDeviceOffline(VOSK_DEVICE_INFO record);
    void signalDeviceUpdate(VOSK_DEVICE_INFO record);
    // Done: signed in and read; Denied: credentials refused; TimedOut,
    // Failed (code: the Onvif::ErrorKind).
    void signInFinished(const DeviceKey &device, const VoskTool::OperationOutcome &outcome);
    void signInDone();
};

} // namespace VoskTool
